// Follows one install log through the run that wrote it: the start
// sequence, the superseded removal before the operation, the operation's
// steps and the closing line, and classifies every failure record and fixed
// error text on the way.
#include "log_report.h"

#include <stdio.h>

#include <set>
#include <string_view>

#include "log_messages.h"

namespace {

const char kFailureMark[] = " FAILURE: ";
const char kUnknownRecord[] =
    "not a record that this installer writes (another program's text, a damaged log, or an installer "
    "version that this tool does not know)";
const char kUnknownStep[] = "a failure record of a step that this tool does not know";
const char kUninstallEntry[] =
    "the uninstall entry (HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "KWE USB Driver)";
const char kInstallFlag[] = "the install flag (HKLM\\SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag, or after it "
                            "HKLM\\SOFTWARE\\KWEUSBDriverFlag)";

struct OperationLine {
    const char* word;
    const char* line;
};

const OperationLine kOperationLines[] = {
    {"Uninstall", "Uninstall"},
    {"Clean", "Clean"},
    {"Preinstall", "Preinstall"},
    {"Install", "Install"},
    {"Preinstall_f", "Preinstall_f"},
    {"Preinstall_cfg", "Preinstall_cfg"},
    {"Preinstall_cu", "Preinstall_cu"},
    {"Preinstall_BYT", "Preinstall Type5"},
    {"NULL", "NULL"},
};

enum Phase {
    PHASE_START,       // version line, folders, package scan
    PHASE_SYS_LIST,    // after "Sys file list:"
    PHASE_INF_LIST,    // after "Inf file list:"
    PHASE_OEM,         // superseded driver-store INFs
    PHASE_SYS_REMOVAL, // old copies of the package's driver files
    PHASE_DLL,         // the stale support library
    PHASE_OPERATION,   // the operation's own sequence
    PHASE_DONE,        // after the closing line, or after the -1 end
};

// A record taken apart: a failure record's step and text, or the format
// it matches with its fields.
struct Parsed {
    const LogFailureStep* step = nullptr;
    bool failure = false; // "STEP FAILURE: TEXT", known step or not
    std::string_view stepText;
    std::string_view failureText;
    const LogMessageFormat* format = nullptr;
    std::vector<std::string_view> fields;
};

void Parse(std::string_view message, Parsed* parsed) {
    parsed->step = nullptr;
    parsed->failure = false;
    parsed->format = nullptr;
    parsed->fields.clear();
    size_t mark = message.find(kFailureMark);
    if (mark != std::string_view::npos) {
        const LogFailureStep* step = FindFailureStep(message.substr(0, mark));
        if (step != nullptr) {
            parsed->step = step;
            parsed->failure = true;
            parsed->stepText = message.substr(0, mark);
            parsed->failureText = message.substr(mark + sizeof(kFailureMark) - 1);
            return;
        }
    }
    parsed->format = MatchLogMessage(message, &parsed->fields);
    if (parsed->format == nullptr && mark != std::string_view::npos) {
        parsed->failure = true;
        parsed->stepText = message.substr(0, mark);
        parsed->failureText = message.substr(mark + sizeof(kFailureMark) - 1);
    }
}

bool Is(const Parsed& p, LogMessageId id) {
    return p.format != nullptr && p.format->id == id;
}

bool IsStep(const Parsed& p, LogStepId id) {
    return p.step != nullptr && p.step->id == id;
}

std::string_view WithoutLineFeed(std::string_view text) {
    if (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view FolderOf(std::string_view path) {
    size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string_view NameOf(std::string_view path) {
    size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    for (size_t i = 0; i < suffix.size(); ++i) {
        char a = text[text.size() - suffix.size() + i];
        char b = suffix[i];
        if (a >= 'A' && a <= 'Z') {
            a = static_cast<char>(a - 'A' + 'a');
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

// The closing piece of the version line: "... (Build N)\n".
bool IsVersionClosing(std::string_view message) {
    if (message.size() < 10 || message.back() != '\n') {
        return false;
    }
    size_t open = message.rfind("(Build ");
    if (open == std::string_view::npos) {
        return false;
    }
    size_t p = open + 7;
    while (p < message.size() && message[p] == ' ') {
        ++p;
    }
    if (p < message.size() && message[p] == '-') {
        ++p;
    }
    size_t digits = p;
    while (p < message.size() && message[p] >= '0' && message[p] <= '9') {
        ++p;
    }
    return p > digits && message.substr(p) == ")\n";
}

// What the walk knows at a record.
struct Walk {
    const InstallLogText* log = nullptr;
    LogReport* report = nullptr;
    Phase phase = PHASE_START;
    bool clean = false;
    size_t lastStartError = 0;

    std::vector<std::string> sysList;
    std::vector<std::string> infList;
    std::string packageFolder; // from the .sys search pattern
    std::string searchPattern; // the last search of the package scan

    // Superseded removal: one block per driver-store INF, its read and then
    // the package INFs' reads until one has the same first hardware ID.
    bool blockOpen = false;
    bool blockMatched = false;
    size_t packageReads = 0;
    std::string oemId;
    std::string oemPath;
    std::string lastRemoved;
    size_t sysRemoved = 0;

    // The operation's steps.
    size_t stagingNext = 0;
    std::string stagingFolder;
    std::string stagingFailure;
    std::string preinstalling;
    std::string updating;
    std::string device;
    std::string instance;
    std::set<std::string> deletedServices;
    std::string attributesPath;
    std::string deletePath;
    std::string powerKey;
    std::string powerDeleteKey;
    size_t regDeleteFailures = 0;
    size_t regDeleteSeen = 0;
};

void SetProblem(Walk* w, size_t record, const std::string& text) {
    if (w->report->problem.empty()) {
        char prefix[40];
        snprintf(prefix, sizeof(prefix), "record %zu: ", record);
        w->report->problem = prefix + text;
    }
}

// Adds a finding for record index i (0-based) with its class from the
// table; error is taken from the record itself for a failure record, or
// passed in for a fixed text that its failure record follows.
void AddFinding(Walk* w, size_t i, const Parsed& p, const std::string& subject, LogContext context,
                bool hasError = false, uint32_t error = 0) {
    LogFinding f;
    f.record = i + 1;
    f.text = std::string(w->log->records[i].message);
    f.subject = subject;
    f.failureRecord = p.failure;
    if (p.failure) {
        f.step = std::string(p.stepText);
        f.hasError = ErrorFromFailureText(p.failureText, &f.error);
    } else if (p.format != nullptr) {
        f.step = p.format->format;
        f.hasError = hasError;
        f.error = error;
    }
    const LogClassRule* rule = nullptr;
    if (p.step != nullptr) {
        rule = FindLogClassRule(LOG_RULE_STEP, p.step->step, f.hasError ? f.error : kAnyError, context);
        f.reason = kUnknownStep;
    } else if (p.format != nullptr) {
        rule = FindLogClassRule(LOG_RULE_TEXT, p.format->format, f.hasError ? f.error : kAnyError, context);
        f.reason = kUnknownRecord;
    } else {
        f.reason = p.failure ? kUnknownStep : kUnknownRecord;
    }
    if (rule != nullptr) {
        f.cls = rule->cls;
        f.reason = rule->reason;
    } else {
        f.cls = LOG_CLASS_REAL;
    }
    w->report->findings.push_back(f);
}

// The error of the failure record right after record i, when it has the
// given step: a fixed text announces the failure that follows it.
bool FollowingError(const Walk& w, size_t i, LogStepId step, uint32_t* error) {
    if (i + 1 >= w.log->records.size()) {
        return false;
    }
    Parsed next;
    Parse(w.log->records[i + 1].message, &next);
    return IsStep(next, step) && ErrorFromFailureText(next.failureText, error);
}

std::string PackagePath(const Walk& w, const std::string& name) {
    return w.packageFolder + name;
}

// The start sequence: version line, system folders and the package scan.
// Returns false when record i belongs to the sequence after it.
bool StartRecord(Walk* w, size_t i, const Parsed& p) {
    if (p.failure && p.step != nullptr && p.step->startSequence) {
        AddFinding(w, i, p, w->searchPattern, LOG_CONTEXT_ANY);
        w->lastStartError = i + 1;
        return true;
    }
    if (p.format == nullptr) {
        return false;
    }
    switch (p.format->role) {
    case LOG_ROLE_START_ERROR:
        AddFinding(w, i, p, "", LOG_CONTEXT_ANY);
        w->lastStartError = i + 1;
        return true;
    case LOG_ROLE_START_END:
        AddFinding(w, i, p, "", LOG_CONTEXT_ANY);
        w->report->start = LOG_START_FAILED;
        w->report->startFailureRecord = w->lastStartError != 0 ? w->lastStartError : i + 1;
        w->report->startFailure =
            std::string(WithoutLineFeed(w->log->records[w->report->startFailureRecord - 1].message));
        w->phase = PHASE_DONE;
        return true;
    default:
        break;
    }
    switch (p.format->id) {
    case MSG_OS_VERSION_FAILED:
        AddFinding(w, i, p, "", LOG_CONTEXT_ANY);
        return true;
    case MSG_DIRECTORY:
        return !w->clean;
    case MSG_SEARCH_FILE_NAME:
        if (w->clean) {
            return false;
        }
        if (w->packageFolder.empty()) {
            w->packageFolder = std::string(FolderOf(p.fields[0]));
        }
        w->searchPattern = std::string(p.fields[0]);
        return true;
    case MSG_SYS_LIST:
        if (w->clean) {
            return false;
        }
        w->phase = PHASE_SYS_LIST;
        return true;
    case MSG_INF_LIST:
        if (w->clean) {
            return false;
        }
        w->phase = PHASE_INF_LIST;
        return true;
    case MSG_LIST_ENTRY:
        if (w->phase == PHASE_SYS_LIST) {
            w->sysList.push_back(std::string(p.fields[1]));
            return true;
        }
        if (w->phase == PHASE_INF_LIST) {
            w->infList.push_back(std::string(p.fields[1]));
            return true;
        }
        return false;
    default:
        return false;
    }
}

// The first hardware ID reads of the superseded removal.
bool IsInfRead(const Parsed& p) {
    return Is(p, MSG_FOUND_ID) || IsStep(p, STEP_OPEN_INF) || IsStep(p, STEP_FIND_MANUFACTURER) ||
           IsStep(p, STEP_READ_MANUFACTURER) || IsStep(p, STEP_FIND_MODELS) || IsStep(p, STEP_READ_MODEL);
}

bool OemRecord(Walk* w, size_t i, const Parsed& p) {
    if (Is(p, MSG_SEARCH_OEM_FAILED)) {
        AddFinding(w, i, p, "", LOG_CONTEXT_ANY);
        w->phase = PHASE_SYS_REMOVAL;
        return true;
    }
    if (Is(p, MSG_PATH_TOO_LONG)) {
        AddFinding(w, i, p, std::string(p.fields[0]) + std::string(p.fields[1]), LOG_CONTEXT_ANY);
        return true;
    }
    if (IsInfRead(p)) {
        bool package;
        size_t index = w->packageReads;
        if (Is(p, MSG_FOUND_ID)) {
            std::string_view path = p.fields[1];
            package = !w->packageFolder.empty() && FolderOf(path) == w->packageFolder;
            if (package) {
                for (size_t k = 0; k < w->infList.size(); ++k) {
                    if (NameOf(path) == w->infList[k]) {
                        index = k;
                        break;
                    }
                }
            }
        } else {
            package = w->blockOpen && !w->blockMatched && w->packageReads < w->infList.size();
        }
        if (!package) {
            w->blockOpen = true;
            w->blockMatched = false;
            w->packageReads = 0;
            w->oemId = Is(p, MSG_FOUND_ID) ? std::string(p.fields[0]) : std::string();
            w->oemPath = Is(p, MSG_FOUND_ID) ? std::string(p.fields[1]) : std::string();
            if (p.failure) {
                AddFinding(w, i, p, "a driver-store INF (oem*.inf; the log names only those it can read)",
                           LOG_CONTEXT_OEM_INF);
            }
            return true;
        }
        w->packageReads = index + 1;
        if (Is(p, MSG_FOUND_ID)) {
            if (!w->oemId.empty() && p.fields[0] == w->oemId) {
                w->blockMatched = true;
            }
        } else {
            std::string subject = index < w->infList.size() ? PackagePath(*w, w->infList[index]) : "";
            AddFinding(w, i, p, subject, LOG_CONTEXT_PACKAGE_INF);
        }
        return true;
    }
    if (Is(p, MSG_REMOVED_OEM_FILE)) {
        w->lastRemoved = std::string(p.fields[0]);
        if (!EndsWithNoCase(w->lastRemoved, ".inf")) {
            w->blockOpen = false; // the PNF file ends the block
        }
        return true;
    }
    if (IsStep(p, STEP_REMOVE_OEM_INF)) {
        AddFinding(w, i, p, w->oemPath, LOG_CONTEXT_ANY);
        w->blockOpen = false;
        return true;
    }
    if (IsStep(p, STEP_REMOVE_PNF)) {
        std::string pnf = w->lastRemoved;
        size_t dot = pnf.rfind('.');
        if (dot != std::string::npos && dot > 0) {
            pnf = pnf.substr(0, dot + 1) + "PNF";
        }
        AddFinding(w, i, p, pnf, LOG_CONTEXT_ANY);
        w->blockOpen = false;
        return true;
    }
    return false;
}

bool SysRemovalRecord(Walk* w, size_t i, const Parsed& p) {
    if (w->sysRemoved >= w->sysList.size()) {
        return false;
    }
    if (Is(p, MSG_PATH_TOO_LONG)) {
        AddFinding(w, i, p, std::string(p.fields[0]) + std::string(p.fields[1]), LOG_CONTEXT_ANY);
        return true;
    }
    if (Is(p, MSG_REMOVED_DRIVER_FILE) || IsStep(p, STEP_REMOVE_SYS)) {
        if (p.failure) {
            AddFinding(w, i, p, w->sysList[w->sysRemoved] + " (system drivers folder)", LOG_CONTEXT_ANY);
        }
        ++w->sysRemoved;
        return true;
    }
    return false;
}

bool DllRecord(Walk* w, size_t i, const Parsed& p) {
    if (Is(p, MSG_PATH_TOO_LONG)) {
        AddFinding(w, i, p, std::string(p.fields[0]) + std::string(p.fields[1]), LOG_CONTEXT_ANY);
        return true;
    }
    if (IsStep(p, STEP_REMOVE_DLL)) {
        AddFinding(w, i, p, "brommet.dll (system32)", LOG_CONTEXT_ANY);
        w->phase = PHASE_OPERATION;
        return true;
    }
    if (Is(p, MSG_REMOVED_DRIVER_FILE) && p.fields[0] == "brommet.dll") {
        w->phase = PHASE_OPERATION;
        return true;
    }
    return false;
}

void OperationFailure(Walk* w, size_t i, const Parsed& p) {
    std::string subject;
    LogContext context = LOG_CONTEXT_ANY;
    switch (p.step->id) {
    case STEP_COPY_SYS:
        if (w->stagingNext < w->sysList.size()) {
            subject = w->stagingFolder + w->sysList[w->stagingNext];
        }
        w->stagingFailure = subject;
        w->stagingNext = 0;
        break;
    case STEP_PREINSTALL:
        subject = w->preinstalling;
        break;
    case STEP_UPDATE_DRIVER:
        subject = "hardware ID " + w->updating + (w->preinstalling.empty() ? "" : " of " + w->preinstalling);
        break;
    case STEP_REMOVE_DEVICE:
        subject = w->device;
        break;
    case STEP_OPEN_SERVICE:
    case STEP_DELETE_SERVICE: {
        Parsed before;
        if (i > 0) {
            Parse(w->log->records[i - 1].message, &before);
            if ((Is(before, MSG_SERVICE_OPEN_FAILED) || Is(before, MSG_SERVICE_DELETE_FAILED)) &&
                !before.fields.empty()) {
                subject = std::string(before.fields[0]);
            }
        }
        if (!subject.empty() && w->deletedServices.count(subject) != 0) {
            context = LOG_CONTEXT_SERVICE_AGAIN;
        }
        break;
    }
    case STEP_PURGE_DELETE:
        subject = w->deletePath;
        if (w->attributesPath != w->deletePath) {
            context = LOG_CONTEXT_DRIVER_FILE;
        }
        break;
    case STEP_REG_DELETE:
        ++w->regDeleteSeen;
        if (w->regDeleteFailures == 2) {
            subject = w->regDeleteSeen == 1 ? kUninstallEntry : kInstallFlag;
        } else {
            subject = "the uninstall entry or the install flag (the log does not say which)";
        }
        break;
    case STEP_REMOVE_DLL:
        subject = "brommet.dll (system32)";
        break;
    default:
        break;
    }
    AddFinding(w, i, p, subject, context);
}

void OperationText(Walk* w, size_t i, const Parsed& p) {
    std::string subject;
    LogContext context = LOG_CONTEXT_ANY;
    bool hasError = false;
    uint32_t error = 0;
    const std::vector<std::string_view>& f = p.fields;
    switch (p.format->id) {
    case MSG_COPY_PATH_TOO_LONG:
        subject = std::string(f[0]);
        w->stagingFailure = subject;
        w->stagingNext = 0;
        break;
    case MSG_COPY_FAILED:
        subject = w->stagingFailure;
        w->stagingNext = 0;
        break;
    case MSG_PREINSTALL_PATH_TOO_LONG:
    case MSG_INF_OPEN_FAILED:
        subject = std::string(f[0]);
        break;
    case MSG_NO_MODELS:
        subject = std::string(f[0]) + " [" + std::string(f[1]) + "]";
        break;
    case MSG_NO_MANUFACTURER:
    case MSG_MANUFACTURER_UNREADABLE:
    case MSG_MODEL_LINE_UNREADABLE:
        subject = w->preinstalling;
        break;
    case MSG_LOWER_FILTERS_FAILED:
        subject = w->instance;
        break;
    case MSG_PURGE_OPEN_FAILED:
    case MSG_PURGE_NO_PROVIDER:
    case MSG_POWER_DELETE_OPEN_FAILED:
        subject = std::string(f[0]);
        break;
    case MSG_SERVICE_NO_MANAGER:
        hasError = FollowingError(*w, i, STEP_OPEN_MANAGER, &error);
        break;
    case MSG_SERVICE_OPEN_FAILED:
    case MSG_SERVICE_DELETE_FAILED:
        subject = std::string(f[0]);
        hasError = FollowingError(
            *w, i, p.format->id == MSG_SERVICE_OPEN_FAILED ? STEP_OPEN_SERVICE : STEP_DELETE_SERVICE, &error);
        if (w->deletedServices.count(subject) != 0) {
            context = LOG_CONTEXT_SERVICE_AGAIN;
        }
        break;
    case MSG_POWER_KEY_OPEN_FAILED:
    case MSG_POWER_ENABLED_FAILED:
    case MSG_POWER_IDLE_FAILED:
        subject = w->powerKey;
        break;
    case MSG_POWER_VALUE_NOT_DELETED:
        subject = std::string(f[0]) + (w->powerDeleteKey.empty() ? "" : " of " + w->powerDeleteKey);
        break;
    default:
        break;
    }
    AddFinding(w, i, p, subject, context, hasError, error);
}

void OperationProgress(Walk* w, const Parsed& p) {
    const std::vector<std::string_view>& f = p.fields;
    switch (p.format->id) {
    case MSG_COPIED: {
        std::string_view destination = f[1];
        w->stagingFolder = std::string(FolderOf(destination));
        std::string_view name = NameOf(destination);
        for (size_t k = 0; k < w->sysList.size(); ++k) {
            if (w->sysList[k] == name) {
                w->stagingNext = k + 1 < w->sysList.size() ? k + 1 : 0;
                break;
            }
        }
        break;
    }
    case MSG_PREINSTALLING:
        w->preinstalling = std::string(f[0]);
        break;
    case MSG_UPDATING:
        w->updating = std::string(f[0]);
        break;
    case MSG_DEVICE_FOUND:
        w->device = std::string(f[0]);
        break;
    case MSG_FILTER_INSTANCE:
        w->instance = std::string(f[0]);
        break;
    case MSG_SERVICE_DELETED:
        w->deletedServices.insert(std::string(f[0]));
        break;
    case MSG_PURGE_ATTRIBUTES:
        w->attributesPath = std::string(f[0]);
        break;
    case MSG_PURGE_DELETE:
        w->deletePath = std::string(f[0]);
        break;
    case MSG_POWER_KEY_START:
        w->powerKey = std::string(f[0]);
        break;
    case MSG_POWER_DELETE_START:
    case MSG_POWER_DELETE_VALUE_START:
        w->powerDeleteKey = std::string(f[0]);
        break;
    default:
        break;
    }
}

// The messages that may stand among the operation's records.
bool IsOperationMessage(const LogMessageFormat* format) {
    switch (format->id) {
    case MSG_BANNER:
    case MSG_VERSION:
    case MSG_OPERATION:
    case MSG_OS_VERSION:
    case MSG_OS_VERSION_FAILED:
    case MSG_DIRECTORY:
    case MSG_SEARCH_FILE_NAME:
    case MSG_SYS_LIST:
    case MSG_INF_LIST:
    case MSG_LIST_ENTRY:
    case MSG_FOUND_ID:
    case MSG_REMOVED_OEM_FILE:
        return false;
    default:
        return format->role != LOG_ROLE_START_END &&
               (format->role != LOG_ROLE_START_ERROR || format->id == MSG_EXE_FOLDER_FAILED);
    }
}

void OperationRecord(Walk* w, size_t i, const Parsed& p) {
    if (Is(p, MSG_FINISH)) {
        w->report->closed = true;
        w->phase = PHASE_DONE;
        return;
    }
    if (p.step != nullptr && !p.step->startSequence) {
        OperationFailure(w, i, p);
        return;
    }
    if (p.format == nullptr || !IsOperationMessage(p.format)) {
        Parsed unknown;
        unknown.failure = p.failure;
        unknown.stepText = p.stepText;
        unknown.failureText = p.failureText;
        AddFinding(w, i, unknown, "", LOG_CONTEXT_ANY);
        return;
    }
    if (p.format->role == LOG_ROLE_ERROR_TEXT || p.format->role == LOG_ROLE_START_ERROR) {
        OperationText(w, i, p);
        return;
    }
    OperationProgress(w, p);
}

// Banner, program version and operation line: the first three records of
// every run. False when the log is not an install log.
bool Head(Walk* w) {
    const std::vector<LogRecord>& records = w->log->records;
    std::vector<std::string_view> fields;
    if (records[0].message != LogMessageFormats()[0].format) {
        SetProblem(w, 1, "not the installer's banner, so this is not an install log");
        return false;
    }
    if (records.size() < 2) {
        return true;
    }
    if (!MatchFormat("Version    : %s \n", records[1].message, &fields)) {
        SetProblem(w, 2, "not the installer's version line, so this is not an install log");
        return false;
    }
    w->report->programVersion = std::string(fields[0]);
    if (records.size() < 3) {
        return true;
    }
    bool known = false;
    if (MatchFormat("OperateCode: %s\n", records[2].message, &fields)) {
        for (const OperationLine& line : kOperationLines) {
            if (fields[0] == line.line) {
                w->report->operation = line.word;
                known = true;
                break;
            }
        }
    }
    if (!known) {
        SetProblem(w, 3, "not one of the installer's operation lines, so this is not an install log");
        return false;
    }
    w->report->operationLine = std::string(WithoutLineFeed(records[2].message));
    w->clean = w->report->operation == "Clean";
    return true;
}

// The Windows version line: "OS Version : " and the pieces that follow it
// up to its closing "(Build N)\n". Returns the index after it.
size_t VersionLine(Walk* w, size_t i) {
    const std::vector<LogRecord>& records = w->log->records;
    if (i >= records.size() || records[i].message != "OS Version : ") {
        return i;
    }
    std::string line(records[i].message);
    ++i;
    while (i < records.size()) {
        std::string_view m = records[i].message;
        if (m.empty() || m.back() != '\n') {
            line += m;
            ++i;
            continue;
        }
        if (IsVersionClosing(m)) {
            line += WithoutLineFeed(m);
            ++i;
        }
        break;
    }
    w->report->windows = line;
    return i;
}

void Conclude(Walk* w) {
    LogReport* r = w->report;
    for (const LogFinding& f : r->findings) {
        if (f.cls == LOG_CLASS_REAL) {
            ++r->realFailures;
        } else {
            ++r->expectedFailures;
        }
    }
    char text[160];
    if (!r->problem.empty()) {
        r->outcome = LOG_OUTCOME_NOT_A_LOG;
        r->verdictReason = r->problem;
    } else if (r->start == LOG_START_FAILED) {
        r->outcome = LOG_OUTCOME_START_FAILED;
        r->verdictReason = "the run did not get through its start sequence and ended with -1 after record " +
                           std::to_string(r->startFailureRecord) + ": " + r->startFailure;
    } else if (!r->closed) {
        r->outcome = LOG_OUTCOME_CUT_SHORT;
        snprintf(text, sizeof(text),
                 "the log ends at record %zu without its closing line: the run was stopped or the machine "
                 "went down",
                 r->records);
        r->verdictReason = text;
    } else if (r->realFailures > 0) {
        r->outcome = LOG_OUTCOME_REAL_FAILURE;
        snprintf(text, sizeof(text), "%zu real failure%s", r->realFailures, r->realFailures == 1 ? "" : "s");
        r->verdictReason = text;
    } else {
        r->outcome = LOG_OUTCOME_SOUND;
        snprintf(text, sizeof(text), "closing line reached, no real failure (%zu expected)",
                 r->expectedFailures);
        r->verdictReason = text;
    }
    r->verdict = r->outcome == LOG_OUTCOME_SOUND ? 0 : r->outcome == LOG_OUTCOME_REAL_FAILURE ? 1 : 2;
}

} // namespace

const char* LogOutcomeName(LogOutcome outcome) {
    switch (outcome) {
    case LOG_OUTCOME_SOUND:
        return "sound";
    case LOG_OUTCOME_REAL_FAILURE:
        return "real failure";
    case LOG_OUTCOME_START_FAILED:
        return "start failed";
    case LOG_OUTCOME_CUT_SHORT:
        return "cut short";
    case LOG_OUTCOME_NOT_A_LOG:
        return "not an install log";
    }
    return "";
}

void AnalyzeInstallLog(const InstallLogText& log, LogReport* report) {
    *report = LogReport();
    report->records = log.records.size();
    Walk w;
    w.log = &log;
    w.report = report;
    if (!log.problem.empty()) {
        report->problem = log.problem;
        Conclude(&w);
        return;
    }
    if (!Head(&w)) {
        Conclude(&w);
        return;
    }
    Parsed p;
    for (const LogRecord& record : log.records) {
        Parse(record.message, &p);
        if (IsStep(p, STEP_REG_DELETE)) {
            ++w.regDeleteFailures;
        }
    }
    size_t i = VersionLine(&w, log.records.size() < 3 ? log.records.size() : 3);
    for (; i < log.records.size(); ++i) {
        Parse(log.records[i].message, &p);
        if (Is(p, MSG_BANNER)) {
            SetProblem(&w, i + 1, "a second run's banner: two runs wrote this log at the same time");
            break;
        }
        if (w.phase == PHASE_DONE) {
            SetProblem(&w, i + 1,
                       report->closed ? "records follow the closing line: more than one run wrote this log"
                                      : "records follow the end of a run that ended with -1");
            break;
        }
        if (w.phase <= PHASE_INF_LIST) {
            if (StartRecord(&w, i, p)) {
                continue;
            }
            bool through = w.clean ? w.phase == PHASE_START : w.phase == PHASE_INF_LIST;
            if (!through) {
                // Something else in the middle of the start sequence.
                Parsed unknown;
                unknown.failure = p.failure;
                unknown.stepText = p.stepText;
                unknown.failureText = p.failureText;
                AddFinding(&w, i, unknown, "", LOG_CONTEXT_ANY);
                continue;
            }
            report->start = LOG_START_THROUGH;
            w.phase = w.clean ? PHASE_OPERATION : PHASE_OEM;
        }
        if (w.phase == PHASE_OEM) {
            if (OemRecord(&w, i, p)) {
                continue;
            }
            w.phase = PHASE_SYS_REMOVAL;
        }
        if (w.phase == PHASE_SYS_REMOVAL) {
            if (SysRemovalRecord(&w, i, p)) {
                continue;
            }
            w.phase = PHASE_DLL;
        }
        if (w.phase == PHASE_DLL) {
            if (DllRecord(&w, i, p)) {
                continue;
            }
            w.phase = PHASE_OPERATION;
        }
        OperationRecord(&w, i, p);
    }
    if (report->closed) {
        report->start = LOG_START_THROUGH;
    }
    // A log cut short usually ends inside a record: that piece is no record
    // of its own and no failure.
    if (report->problem.empty() && !report->closed && report->start != LOG_START_FAILED &&
        !report->findings.empty() && report->findings.back().record == report->records) {
        const LogFinding& last = report->findings.back();
        bool complete = !last.step.empty() && (!last.failureRecord || last.hasError ||
                                               (!last.text.empty() && last.text.back() == '\n'));
        if (!complete) {
            report->findings.pop_back();
        }
    }
    Conclude(&w);
}
