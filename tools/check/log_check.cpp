// hallimor-check log: a truthful verdict on install logs. The installer's
// exit code is 0 once its start sequence is behind it, whatever failed
// later; this verb reads what the run wrote and tells a clean run, a run
// with real failures and a run that did not get through (or was cut short)
// apart.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "inf/inf_reader.h"
#include "log/log_texts.h"
#include "log_classes.h"
#include "log_reader.h"
#include "ordered_work.h"

namespace fs = std::filesystem;

namespace {

// What a failure concerns, where the records around it name it: a kind and
// up to two names of the log's text ("file " and "a.sys"), made into text
// only for a report.
struct LogSubject {
    const char* what = nullptr; // nullptr: nothing known
    std::string_view name;
    std::string_view more;
};

// One failure record or fixed error text of a run. The record, its step and
// its subject are views of the log's text, which outlives the item.
struct LogFailureItem {
    std::string_view record; // the message as written (line feeds kept)
    std::string_view step;   // the failure step, "" for a fixed text
    int64_t error = kAnyError;
    LogSubject subject;
    bool expected = false;
    const char* reason = "";    // why a sound machine writes it, or what did not get done
    const char* text = nullptr; // the format of the table's fixed text that wrote it, if one did
};

struct LogVerdict {
    std::string path;
    std::string problem;        // not an install log: why
    std::string_view operation; // "Install", "Preinstall Type5", ...
    std::string windows;        // the Windows version line, records joined
    bool startPassed = true;
    std::string startFailure; // the records that ended the run with -1
    bool closed = false;      // the closing line was reached
    std::vector<LogFailureItem> failures;
    int exit = CHECK_EXIT_OK;
};

bool StartsWith(std::string_view text, const char* prefix) {
    return !text.empty() && text[0] == prefix[0] &&
           text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string OneLine(std::string_view text) {
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            line += "\\n";
        } else {
            line += c;
        }
    }
    return line;
}

// The name of a "N.name\n" list entry, or "".
std::string_view ListEntryName(std::string_view message) {
    if (message.empty() || message[0] < '0' || message[0] > '9' || message.back() != '\n') {
        return {};
    }
    size_t dot = message.find('.');
    if (dot == 0 || dot == std::string_view::npos) {
        return {};
    }
    for (size_t i = 0; i < dot; ++i) {
        if (message[i] < '0' || message[i] > '9') {
            return {};
        }
    }
    return message.substr(dot + 1, message.size() - dot - 2);
}

// The staging walks the .sys list in order and logs each copy after it
// succeeds: the copy that failed is the entry after the last one logged.
std::string_view NextAfter(const std::vector<std::string_view>& list, std::string_view lastCopied) {
    if (lastCopied.empty()) {
        return list.empty() ? std::string_view() : list.front();
    }
    for (size_t i = 0; i + 1 < list.size(); ++i) {
        if (list[i] == lastCopied) {
            return list[i + 1];
        }
    }
    return {};
}

std::string_view BaseName(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return infreader::SameNameNoCase(std::string(a), std::string(b));
}

// The text between prefix and the suffix that ends message, or "" when
// message is not prefix ... suffix.
std::string_view Between(std::string_view message, const char* prefix, const char* suffix) {
    size_t p = std::char_traits<char>::length(prefix);
    size_t s = std::char_traits<char>::length(suffix);
    if (message.size() < p + s || !StartsWith(message, prefix) ||
        message.compare(message.size() - s, s, suffix) != 0) {
        return {};
    }
    return message.substr(p, message.size() - p - s);
}

// The steps of the first-hardware-ID reads of the superseded removal.
const char* const kInfReadSteps[] = {
    "SetupOpenInfFile\n",
    "SetupFindFirstLine ->[Manufacturer] ",
    "SetupGetStringField -> [Manufacturer] ",
    "SetupFindFirstLine -> [Model] ",
    "SetupGetStringField -> [Model] ",
};

// The records that end the run with -1 once the log is open.
const char* const kStartFailureTexts[] = {
    "Error : Get windows driver directory fail\n",
    "Error:Search sys file %d; inf file %d\n",
};

// Records that read like the installer's error texts: a text of this kind
// that the table does not hold is reported as unknown, never passed over.
const char* const kErrorTextPrefixes[] = {"Error", "error", "Warning", "Can't ", "Refused "};

// What the walk over a run's records knows from the records before the
// current one. Its names are views of the log's text.
struct LogWalk {
    std::string_view packageFolder; // "Directory : %s"
    std::vector<std::string_view> sysList;
    std::vector<std::string_view> infList;
    int listing = 0; // 1 while the .sys list is logged, 2 for the .inf list
    size_t removedSys = 0;
    std::string_view lastCopied;
    std::string_view preinstalling; // the INF of the last "INFO: Preinstalling %s"
    std::string_view updating;      // the hardware ID of the last "Updating %s"
    // Superseded removal: for every driver-store INF its own read, then one
    // read per package INF up to the first with the same first hardware ID.
    size_t packageReadsLeft = 0;
    size_t packageIndex = 0;
    std::string_view oemId;
    std::string_view oemPath;
    std::string_view lastRemovedInf;
    // Clean.
    std::vector<std::string_view> deletedServices;
    std::string_view lastDeletePath;
    std::string_view lastAttributesPath;
    // A paired text waiting for its failure record: its item and the step.
    int pendingItem = -1;
    const char* pendingStep = nullptr;
    LogContext pendingContext = LOG_CONTEXT_ANY;
    // The header of the run and the start sequence.
    bool inWindowsLine = false;
    std::string_view lastFailure;
    // Preinstall_cfg's power settings: the key being written, whether a
    // value write failed, and the items that hold only while none did.
    bool inPowerSettings = false;
    bool powerWriteFailed = false;
    std::string_view powerKey;
    std::vector<size_t> powerItems;
};

// The paired text that the record before the current one left waiting.
struct PendingText {
    int item = -1;
    const char* step = nullptr;
    LogContext context = LOG_CONTEXT_ANY;
};

// True when path names a file in the logged package folder.
bool UnderPackageFolder(const LogWalk& w, std::string_view path) {
    return !w.packageFolder.empty() && path.size() > w.packageFolder.size() &&
           SameNoCase(path.substr(0, w.packageFolder.size()), w.packageFolder);
}

void Classify(LogFailureItem* item, const LogClassRule* rule, const char* unknown) {
    item->expected = rule != nullptr && rule->cls == LOG_CLASS_EXPECTED;
    item->reason = rule != nullptr ? rule->reason : unknown;
    if (rule != nullptr && rule->kind == LOG_RULE_TEXT) {
        item->text = rule->pattern;
    }
}

const char kUnknownStep[] = "a failure record that the tool does not know";
const char kUnknownText[] = "an error text that the tool does not know";

LogSubject Named(const char* what, std::string_view name = {}, std::string_view more = {}) {
    return LogSubject{what, name, more};
}

std::string SubjectText(const LogSubject& subject) {
    if (subject.what == nullptr) {
        return "";
    }
    std::string text = subject.what;
    text.append(subject.name.data(), subject.name.size());
    return text.append(subject.more.data(), subject.more.size());
}

// A first-hardware-ID read: a "Found [%s] from %s" line (found true) or the
// failure record of one of its steps. Gives the read's context and what it
// concerns.
LogContext InfRead(LogWalk* w, bool found, std::string_view id, std::string_view path, LogSubject* subject) {
    bool package;
    if (found) {
        package = UnderPackageFolder(*w, path);
    } else {
        package = w->packageReadsLeft > 0;
    }
    if (!package) {
        w->oemId = found ? id : std::string_view();
        w->oemPath = found ? path : std::string_view();
        w->packageReadsLeft = w->infList.size();
        w->packageIndex = 0;
        *subject = Named("a driver-store INF (the log names only those it can read)");
        return LOG_CONTEXT_OEM_INF;
    }
    if (found) {
        for (size_t k = 0; k < w->infList.size(); ++k) {
            if (SameNoCase(BaseName(path), w->infList[k])) {
                w->packageIndex = k;
                w->packageReadsLeft = w->infList.size() - k;
                break;
            }
        }
    }
    if (w->packageIndex < w->infList.size()) {
        *subject = Named("INF ", w->packageFolder, w->infList[w->packageIndex]);
    }
    ++w->packageIndex;
    if (w->packageReadsLeft > 0) {
        --w->packageReadsLeft;
    }
    if (found && !w->oemId.empty() && id == w->oemId) {
        w->packageReadsLeft = 0; // the match: the driver-store INF is deleted next
    }
    return LOG_CONTEXT_ANY;
}

// A failure record: its context and what it concerns, from the records before it.
LogContext FailureContext(LogWalk* w, std::string_view step, LogSubject* subject) {
    for (const char* read : kInfReadSteps) {
        if (step == read) {
            return InfRead(w, false, {}, {}, subject);
        }
    }
    if (step == "Remove sysfile ") {
        if (w->removedSys < w->sysList.size()) {
            *subject = Named("file ", w->sysList[w->removedSys]);
        }
        ++w->removedSys;
    } else if (step == "Copy SYS file to system folder\n") {
        std::string_view next = NextAfter(w->sysList, w->lastCopied);
        if (!next.empty()) {
            *subject = Named("file ", next);
        }
    } else if (step == "Remove Dllfile ") {
        *subject = Named("file brommet.dll");
    } else if (step == "Remove ") {
        if (!w->oemPath.empty()) {
            *subject = Named("INF ", w->oemPath);
        }
    } else if (step == "Remove: ") {
        size_t dot = w->lastRemovedInf.rfind('.');
        if (dot != std::string_view::npos && dot > 0) {
            *subject = Named("file ", w->lastRemovedInf.substr(0, dot + 1), "PNF");
        }
    } else if (step == "Preinstall") {
        if (!w->preinstalling.empty()) {
            *subject = Named("INF ", w->preinstalling);
        }
    } else if (step == "UpdateDriver") {
        if (!w->updating.empty()) {
            *subject = Named("hardware ID ", w->updating);
        }
    } else if (step == "Error:") {
        if (!w->lastDeletePath.empty()) {
            *subject = Named("file ", w->lastDeletePath);
        }
        // Clean's driver file deletions log no attribute change; its
        // driver-store INF deletions do.
        if (w->lastDeletePath != w->lastAttributesPath) {
            return LOG_CONTEXT_DRIVER_FILE;
        }
    }
    return LOG_CONTEXT_ANY;
}

// The records of progress that later records are named from. True when the
// message is one of them (it is then no failure or error text).
bool Progress(LogWalk* w, std::string_view message, std::vector<std::string_view>* fields) {
    const LogProgressRule* rule = nullptr;
    for (const LogProgressRule& candidate : LogProgressRules()) {
        // Every format begins with a plain character: most end there.
        if (!message.empty() && message[0] == candidate.format[0] &&
            MatchFormatFields(candidate.format, message, fields)) {
            rule = &candidate;
            break;
        }
    }
    if (rule == nullptr || (rule->textRequired && (*fields)[0].empty())) {
        return false;
    }
    std::string_view field = fields->empty() ? std::string_view() : (*fields)[0];
    switch (rule->progress) {
    case LOG_PROGRESS_PACKAGE_FOLDER:
        w->packageFolder = field;
        break;
    case LOG_PROGRESS_PREINSTALLING:
        w->preinstalling = field;
        break;
    case LOG_PROGRESS_UPDATING:
        w->updating = field;
        break;
    case LOG_PROGRESS_SERVICE_DELETED:
        w->deletedServices.push_back(field);
        break;
    case LOG_PROGRESS_ATTRIBUTES:
        w->lastAttributesPath = field;
        break;
    case LOG_PROGRESS_DELETING:
        w->lastDeletePath = field;
        break;
    case LOG_PROGRESS_INF_REMOVED:
        w->lastRemovedInf = field;
        break;
    case LOG_PROGRESS_FIRST_ID: {
        LogSubject unused;
        InfRead(w, true, field, (*fields)[1], &unused);
        break;
    }
    case LOG_PROGRESS_FILE_COPIED:
        // A staging failure's record begins alike: it is no copy.
        if (message.find(kLogFailureMark) != std::string_view::npos) {
            return false;
        }
        w->lastCopied = BaseName((*fields)[1]);
        break;
    case LOG_PROGRESS_DRIVER_FILE_GONE:
        // The driver files are named without their folder; the support
        // library's record is no driver file's.
        if (field.find('\\') != std::string_view::npos || field.find(".dll") != std::string_view::npos) {
            return false;
        }
        ++w->removedSys;
        break;
    case LOG_PROGRESS_POWER_SETTINGS:
        w->inPowerSettings = true;
        w->powerWriteFailed = false;
        w->powerKey = {};
        w->powerItems.clear();
        break;
    case LOG_PROGRESS_POWER_KEY:
        w->powerKey = field;
        break;
    }
    return true;
}

// True when message is an error text: one of the table, or one that reads
// like the installer's error texts but that the tool does not know.
bool IsErrorText(std::string_view message) {
    if (IsFixedText(message)) {
        return true;
    }
    for (const char* prefix : kErrorTextPrefixes) {
        if (StartsWith(message, prefix)) {
            return true;
        }
    }
    return false;
}

// The run's header: the operation line and the Windows version line, whose
// parts may span several records. True when message belongs to it.
bool ReadRunHeader(LogWalk* w, std::string_view message, LogVerdict* v) {
    if (StartsWith(message, "OperateCode: ")) {
        v->operation = message.substr(13);
        if (!v->operation.empty() && v->operation.back() == '\n') {
            v->operation.remove_suffix(1);
        }
        return true;
    }
    if (StartsWith(message, "OS Version : ")) {
        w->inWindowsLine = true;
        v->windows.clear();
        return true;
    }
    if (w->inWindowsLine) {
        v->windows.append(message.data(), message.size());
        if (!message.empty() && message.back() == '\n') {
            v->windows.pop_back();
            w->inWindowsLine = false;
        }
        return true;
    }
    return false;
}

// The scan's two lists: their headings and their "N.name" entries. True when
// message is one of them; any other record ends a list.
bool ReadPackageList(LogWalk* w, std::string_view message) {
    if (message == "Sys file list:\n") {
        w->listing = 1;
        w->sysList.clear();
        w->removedSys = 0;
        return true;
    }
    if (message == "Inf file list:\n") {
        w->listing = 2;
        w->infList.clear();
        return true;
    }
    if (w->listing != 0) {
        std::string_view entry = ListEntryName(message);
        if (!entry.empty()) {
            (w->listing == 1 ? w->sysList : w->infList).push_back(entry);
            return true;
        }
    }
    w->listing = 0;
    return false;
}

// A record that ends the run with -1: the start sequence did not pass.
bool ReadStartFailure(const LogWalk& w, std::string_view message, LogVerdict* v) {
    for (const char* text : kStartFailureTexts) {
        if (!message.empty() && message[0] == text[0] && MatchesFormat(text, message)) {
            v->startPassed = false;
            v->startFailure =
                (w.lastFailure.empty() ? std::string() : OneLine(w.lastFailure) + " / ") + OneLine(message);
            return true;
        }
    }
    return false;
}

// A failure record: its step, error, subject and class. The failure record
// that follows a paired text gives that text its error and class.
void AddFailureRecord(LogWalk* w, std::string_view message, size_t mark, const PendingText& pending,
                      LogVerdict* v) {
    v->failures.emplace_back();
    LogFailureItem& item = v->failures.back();
    item.record = message;
    item.step = message.substr(0, mark);
    uint32_t code = 0;
    if (ErrorFromFailureText(message.substr(mark + std::char_traits<char>::length(kLogFailureMark)), &code)) {
        item.error = code;
    }
    LogContext context;
    if (pending.item >= 0 && item.step == pending.step) {
        // The same call, the same subject; the text takes its class from the error.
        LogFailureItem& text = v->failures[static_cast<size_t>(pending.item)];
        context = pending.context;
        item.subject = text.subject;
        text.error = item.error;
        Classify(&text, FindTextRule(text.record, text.error, context), kUnknownText);
    } else {
        context = FailureContext(w, item.step, &item.subject);
    }
    Classify(&item, FindStepRule(item.step, item.error, context), kUnknownStep);
    w->lastFailure = message;
}

// The rule that first writes an error text, whatever its error and context,
// with the texts of its conversions; nullptr when no rule writes it.
const LogClassRule* TextRuleFields(std::string_view message, std::vector<std::string_view>* fields) {
    for (const LogClassRule& rule : LogClassRules()) {
        if (rule.kind == LOG_RULE_TEXT && !message.empty() && message[0] == rule.pattern[0] &&
            MatchFormatFields(rule.pattern, message, fields)) {
            return &rule;
        }
    }
    return nullptr;
}

// A text of Preinstall_cfg's power settings: what key it concerns, and its
// context. A failed open of a key and the line after three failed keys hold
// as expected only while no key of the step failed at a value's write (the
// keys are then missing, not refused); such a write failure, which may come
// after them, takes that back.
LogContext PowerSettingsText(LogWalk* w, const LogClassRule* rule, LogFailureItem* item, LogVerdict* v) {
    if (!w->inPowerSettings || rule == nullptr) {
        return LOG_CONTEXT_ANY;
    }
    const char* text = rule->pattern;
    if (text == kPowerSwitchNotWritten || text == kPowerIdleTimeNotWritten) {
        item->subject = Named("service key ", w->powerKey);
        w->powerWriteFailed = true;
        for (size_t at : w->powerItems) {
            LogFailureItem& earlier = v->failures[at];
            Classify(&earlier, FindTextRule(earlier.record, kAnyError, LOG_CONTEXT_ANY), kUnknownText);
        }
        w->powerItems.clear();
        return LOG_CONTEXT_ANY;
    }
    if (text != kPowerKeyNotOpened && text != kPowerAllKeysFailed) {
        return LOG_CONTEXT_ANY;
    }
    if (text == kPowerKeyNotOpened && !w->powerKey.empty()) {
        item->subject = Named("service key ", w->powerKey);
    }
    if (w->powerWriteFailed) {
        return LOG_CONTEXT_ANY;
    }
    w->powerItems.push_back(v->failures.size() - 1);
    return LOG_CONTEXT_POWER_OPEN_ONLY;
}

// An error text: what it concerns from the records around it, and its class;
// a paired text waits for the failure record of its call.
void AddErrorText(LogWalk* w, std::string_view message, std::vector<std::string_view>* fields,
                  LogVerdict* v) {
    v->failures.emplace_back();
    LogFailureItem& item = v->failures.back();
    item.record = message;
    LogContext context = LOG_CONTEXT_ANY;
    const LogClassRule* rule = TextRuleFields(message, fields);
    std::string_view tooLong = Between(message, "Error : Path too long: ", "\n");
    if (!tooLong.empty()) {
        item.subject = Named("file ", tooLong);
        // A package INF whose path does not fit is passed over without a
        // read of its own.
        if (w->packageReadsLeft > 0 && UnderPackageFolder(*w, tooLong)) {
            ++w->packageIndex;
            --w->packageReadsLeft;
        }
    }
    if (message == "Copy sys file fail\n") {
        std::string_view next = NextAfter(w->sysList, w->lastCopied);
        if (!next.empty()) {
            item.subject = Named("file ", next);
        }
    }
    if (rule != nullptr && rule->pairedStep != nullptr) {
        // The service that Clean's text names, if it names one.
        std::string_view name = fields->empty() ? std::string_view() : (*fields)[0];
        if (!name.empty()) {
            item.subject = Named("service ", name);
            if (std::find(w->deletedServices.begin(), w->deletedServices.end(), name) !=
                w->deletedServices.end()) {
                context = LOG_CONTEXT_SERVICE_AGAIN;
            }
        }
        w->pendingItem = static_cast<int>(v->failures.size() - 1);
        w->pendingStep = rule->pairedStep;
        w->pendingContext = context;
    } else {
        context = PowerSettingsText(w, rule, &item, v);
    }
    Classify(&item, FindTextRule(message, kAnyError, context), kUnknownText);
}

// The verdict: 2 when the run did not get through or was cut short, 1 for
// any real failure, 0 otherwise.
void Conclude(LogVerdict* v) {
    if (!v->startPassed || !v->closed) {
        v->exit = CHECK_EXIT_CANNOT;
        return;
    }
    for (const LogFailureItem& item : v->failures) {
        if (!item.expected) {
            v->exit = CHECK_EXIT_FINDINGS;
        }
    }
}

// Makes v ready for the next log, keeping its storage.
void ResetVerdict(LogVerdict* v, const std::string& path) {
    v->path = path;
    v->problem.clear();
    v->operation = {};
    v->windows.clear();
    v->startPassed = true;
    v->startFailure.clear();
    v->closed = false;
    v->failures.clear();
    v->exit = CHECK_EXIT_OK;
}

// The verdict on a log that was read: its problem when it is none, or what
// its records say.
void Analyse(const InstallLogText& log, LogVerdict* v) {
    if (!log.problem.empty()) {
        v->problem = log.problem;
        v->exit = CHECK_EXIT_CANNOT;
        return;
    }
    if (log.records[0].message != kLogBanner) {
        v->problem = "does not begin with the installer's banner";
        v->exit = CHECK_EXIT_CANNOT;
        return;
    }
    LogWalk w;
    std::vector<std::string_view> fields;
    for (const LogRecord& record : log.records) {
        std::string_view message = record.message;
        // A paired text waits for the very next record only.
        PendingText pending{w.pendingItem, w.pendingStep, w.pendingContext};
        w.pendingItem = -1;
        if (ReadRunHeader(&w, message, v) || ReadPackageList(&w, message)) {
            continue;
        }
        if (message == kLogClosingLine) {
            v->closed = true;
            continue;
        }
        if (ReadStartFailure(w, message, v) || Progress(&w, message, &fields)) {
            continue;
        }
        size_t mark = message.find(kLogFailureMark);
        if (mark != std::string_view::npos) {
            AddFailureRecord(&w, message, mark, pending, v);
        } else if (IsErrorText(message)) {
            AddErrorText(&w, message, &fields, v);
        }
    }
    Conclude(v);
}

std::string ErrorText(int64_t error) {
    if (error == kAnyError) {
        return "";
    }
    char buffer[32];
    snprintf(buffer, sizeof(buffer), "0x%08llx", static_cast<unsigned long long>(error));
    const char* name = SystemErrorName(static_cast<uint32_t>(error));
    return std::to_string(error) + " (" + buffer + (name != nullptr ? std::string(", ") + name : "") + ")";
}

std::string VerdictText(const LogVerdict& v) {
    if (!v.problem.empty()) {
        return "not an install log: " + v.problem;
    }
    if (!v.startPassed) {
        return "the run did not get through its start sequence (exit -1)";
    }
    if (!v.closed) {
        return "cut short: the closing line is missing (the run was killed or the machine went down)";
    }
    return v.exit == CHECK_EXIT_FINDINGS ? "real failures" : "clean";
}

std::string SkippedText(const LogVerdict& v) {
    return "skipped, not an install log: " + v.problem;
}

void PrintText(const LogVerdict& v, std::ostream& out) {
    out << v.path << ": " << VerdictText(v) << "\n";
    if (!v.problem.empty()) {
        return;
    }
    out << "  operation: " << (v.operation.empty() ? std::string_view("(none)") : v.operation) << "\n";
    out << "  windows: " << (v.windows.empty() ? "(none)" : v.windows) << "\n";
    out << "  start sequence: " << (v.startPassed ? "passed" : "ended the run with -1: " + v.startFailure)
        << "\n";
    out << "  closing line: " << (v.closed ? "reached" : "missing") << "\n";
    for (const LogFailureItem& item : v.failures) {
        out << "  " << (item.expected ? "expected" : "real") << ": " << OneLine(item.record);
        if (item.error != kAnyError) {
            out << " [error " << ErrorText(item.error) << "]";
        }
        if (item.subject.what != nullptr) {
            out << " [" << SubjectText(item.subject) << "]";
        }
        if (item.reason[0] != '\0') {
            out << " -- " << item.reason;
        }
        out << "\n";
    }
}

// One log's JSON object, on one line.
void PrintJson(const LogVerdict& v, std::ostream& out) {
    out << "{\"file\": " << JsonString(v.path) << ", \"verdict\": " << v.exit
        << ", \"summary\": " << JsonString(VerdictText(v));
    if (v.problem.empty()) {
        out << ", \"operation\": " << JsonString(std::string(v.operation))
            << ", \"windows\": " << JsonString(v.windows)
            << ", \"startSequence\": " << (v.startPassed ? "true" : "false")
            << ", \"startFailure\": " << JsonString(v.startFailure)
            << ", \"closingLine\": " << (v.closed ? "true" : "false") << ", \"failures\": [";
        for (size_t i = 0; i < v.failures.size(); ++i) {
            const LogFailureItem& item = v.failures[i];
            out << (i == 0 ? "" : ", ") << "{\"record\": " << JsonString(std::string(item.record))
                << ", \"step\": " << JsonString(std::string(item.step)) << ", \"error\": " << item.error
                << ", \"subject\": " << JsonString(SubjectText(item.subject))
                << ", \"class\": " << (item.expected ? "\"expected\"" : "\"real\"")
                << ", \"reason\": " << JsonString(item.reason)
                << ", \"format\": " << JsonString(item.text != nullptr ? item.text : "") << "}";
        }
        out << "]";
    }
    out << "}";
}

// What the summary keeps of one log: its line in the table of runs and the
// keys of its real failures in the table of the most frequent ones.
struct LogFigures {
    std::string run;     // the operation, "(none)", or "(not a log)"
    const char* outcome; // "clean", "real failures", ...
    std::vector<std::string> realKeys;
};

void TakeFigures(const LogVerdict& v, LogFigures* f) {
    f->outcome = !v.problem.empty()              ? "not a log"
                 : !v.startPassed                ? "exit -1"
                 : !v.closed                     ? "cut short"
                 : v.exit == CHECK_EXIT_FINDINGS ? "real failures"
                                                 : "clean";
    f->run = !v.problem.empty() ? "(not a log)" : v.operation.empty() ? "(none)" : std::string(v.operation);
    f->realKeys.clear();
    for (const LogFailureItem& item : v.failures) {
        if (!item.expected) {
            // A failure record by its step, a fixed text by its format (the
            // names and paths it holds vary from machine to machine).
            std::string key = OneLine(!item.step.empty()     ? item.step
                                      : item.text != nullptr ? std::string_view(item.text)
                                                             : item.record);
            if (item.error != kAnyError) {
                key += " [error " + ErrorText(item.error) + "]";
            }
            f->realKeys.push_back(std::move(key));
        }
    }
}

// The fleet's figures, whatever the number of logs: counts per operation and
// outcome and per real failure, and the first of the skipped files.
struct FleetFigures {
    size_t logs = 0;
    std::map<std::string, std::map<std::string, size_t>> runs;
    std::map<std::string, size_t> real;
    size_t skipped = 0;
    std::vector<std::string> firstSkipped;
};

const size_t kSummaryRows = 10;

void AddFigures(const LogFigures& f, FleetFigures* fleet) {
    ++fleet->logs;
    ++fleet->runs[f.run][f.outcome];
    for (const std::string& key : f.realKeys) {
        ++fleet->real[key];
    }
}

void AddSkipped(const std::string& line, FleetFigures* fleet) {
    if (fleet->firstSkipped.size() < kSummaryRows) {
        fleet->firstSkipped.push_back(line);
    }
    ++fleet->skipped;
}

void PrintSummary(const FleetFigures& fleet, std::ostream& out) {
    out << fleet.logs << " logs\n";
    out << "runs by operation and outcome:\n";
    for (const auto& op : fleet.runs) {
        out << "  " << op.first << ":";
        for (const auto& outcome : op.second) {
            out << " " << outcome.second << " " << outcome.first << ";";
        }
        out << "\n";
    }
    std::vector<std::pair<size_t, const std::string*>> ranked;
    for (const auto& r : fleet.real) {
        ranked.push_back({r.second, &r.first});
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : *a.second < *b.second;
    });
    out << "most frequent real failures by step and error:\n";
    if (ranked.empty()) {
        out << "  none\n";
    }
    for (size_t i = 0; i < ranked.size() && i < kSummaryRows; ++i) {
        out << "  " << ranked[i].first << "  " << *ranked[i].second << "\n";
    }
    if (fleet.skipped != 0) {
        out << fleet.skipped << " files skipped, not install logs:\n";
        for (const std::string& line : fleet.firstSkipped) {
            out << "  " << line << "\n";
        }
        if (fleet.skipped > fleet.firstSkipped.size()) {
            out << "  and " << fleet.skipped - fleet.firstSkipped.size() << " more\n";
        }
    }
}

// A file to read: named on the command line, or found under the folder of
// that index among the words.
struct LogInput {
    std::string path;
    int folder = -1;
};

// A folder stands for every log under it, in path order: a fleet's collected
// logs are one folder, too many paths for a command line. False when a
// folder cannot be read or holds no .log file (each said on err).
bool ExpandFolders(const std::vector<std::string>& words, std::vector<LogInput>* inputs, std::ostream& err) {
    bool complete = true;
    for (size_t f = 0; f < words.size(); ++f) {
        std::error_code error;
        if (!fs::is_directory(fs::path(words[f]), error)) {
            inputs->push_back({words[f], -1});
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(fs::path(words[f]), fs::directory_options::skip_permission_denied,
                                            error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            std::string name = it->path().filename().string();
            if (name.size() > 4 && infreader::SameNameNoCase(name.substr(name.size() - 4), ".log") &&
                it->is_regular_file(error)) {
                found.push_back(it->path().string());
            }
        }
        if (error || found.empty()) {
            err << "hallimor-check log: " << words[f]
                << (error ? ": the folder cannot be read: " + error.message()
                          : ": no .log file under this folder")
                << "\n";
            complete = false;
            continue;
        }
        std::sort(found.begin(), found.end());
        for (std::string& path : found) {
            inputs->push_back({std::move(path), static_cast<int>(f)});
        }
    }
    return complete;
}

enum LogReport {
    LOG_REPORT_TEXT,
    LOG_REPORT_JSON,       // one array
    LOG_REPORT_JSON_LINES, // one object per line
    LOG_REPORT_SUMMARY,
};

// What one log leaves for the writer: its report, or what the summary keeps.
struct LogSlot {
    std::string report;
    LogFigures figures;
    bool skipped = false;
    int exit = CHECK_EXIT_OK;
};

// What each worker reuses from log to log.
struct LogWorker {
    InstallLogText log;
    LogVerdict verdict;
};

// Reads and judges one log into its slot. A file of a folder that is read
// but is no install log is skipped: a diagnostics bundle holds the logs of
// many programs.
void JudgeLog(const LogInput& input, LogReport report, LogWorker* worker, LogSlot* slot) {
    LogVerdict& v = worker->verdict;
    ResetVerdict(&v, input.path);
    ReadInstallLog(input.path, &worker->log);
    Analyse(worker->log, &v);
    slot->skipped = input.folder >= 0 && !v.problem.empty() && !worker->log.unreadable;
    slot->exit = slot->skipped ? CHECK_EXIT_OK : v.exit;
    slot->report.clear();
    if (report == LOG_REPORT_SUMMARY) {
        if (slot->skipped) {
            slot->report = v.path + ": " + v.problem;
        } else {
            TakeFigures(v, &slot->figures);
        }
        return;
    }
    std::ostringstream out;
    if (slot->skipped) {
        if (report == LOG_REPORT_TEXT) {
            out << v.path << ": " << SkippedText(v) << "\n";
        } else {
            out << "{\"file\": " << JsonString(v.path)
                << ", \"skipped\": true, \"summary\": " << JsonString(SkippedText(v)) << "}";
        }
    } else if (report == LOG_REPORT_TEXT) {
        PrintText(v, out);
    } else {
        PrintJson(v, out);
    }
    slot->report = out.str();
}

} // namespace

int ReportOnLogBytes(const char* data, size_t size, std::ostream& out) {
    LogVerdict v;
    v.path = "(bytes)";
    InstallLogText log;
    SplitInstallLog(data, size, &log);
    Analyse(log, &v);
    PrintText(v, out);
    PrintJson(v, out);
    return v.exit;
}

namespace {

// The verb's words: the options and the files or folders. False after the
// refusal of the arguments, with *refused its exit code.
struct LogOptions {
    LogReport report = LOG_REPORT_TEXT;
    unsigned workers = WorkerCount();
    std::vector<std::string> words;
};

bool ParseLogOptions(const std::vector<std::string>& args, LogOptions* options, std::ostream& err,
                     int* refused) {
    bool json = false;
    bool jsonLines = false;
    bool summary = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--json-lines") {
            jsonLines = true;
        } else if (a == "--summary") {
            summary = true;
        } else if (a == "--threads") {
            char* end = nullptr;
            unsigned long n = i + 1 < args.size() ? strtoul(args[i + 1].c_str(), &end, 10) : 0;
            if (end == nullptr || *end != '\0' || n < 1 || n > 256) {
                *refused = RefuseArguments(err, kLogVerbUsage, "--threads takes a number from 1 to 256");
                return false;
            }
            options->workers = static_cast<unsigned>(n);
            ++i;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            *refused = RefuseArguments(err, kLogVerbUsage, "unknown option " + a);
            return false;
        } else {
            options->words.push_back(a);
        }
    }
    if (options->words.empty()) {
        *refused = RefuseArguments(err, kLogVerbUsage, "no FILE given");
        return false;
    }
    if (json && jsonLines) {
        *refused = RefuseArguments(err, kLogVerbUsage, "--json and --json-lines exclude each other");
        return false;
    }
    // --summary prints the fleet's figures only.
    options->report = summary     ? LOG_REPORT_SUMMARY
                      : json      ? LOG_REPORT_JSON
                      : jsonLines ? LOG_REPORT_JSON_LINES
                                  : LOG_REPORT_TEXT;
    return true;
}

} // namespace

int RunLogVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    LogOptions options;
    int refused = CHECK_EXIT_CANNOT;
    if (!ParseLogOptions(args, &options, err, &refused)) {
        return refused;
    }
    const LogReport report = options.report;
    const std::vector<std::string>& words = options.words;
    unsigned workers = options.workers;
    std::vector<LogInput> inputs;
    int exit = ExpandFolders(words, &inputs, err) ? CHECK_EXIT_OK : CHECK_EXIT_CANNOT;

    // Each log is read by one of the workers into its slot and written, or
    // counted, in path order as soon as those before it are: memory holds a
    // window of logs, not the fleet.
    workers = std::max(
        1u, std::min<unsigned>(workers, static_cast<unsigned>(std::min<size_t>(inputs.size(), 256))));
    const size_t window = 4 * static_cast<size_t>(workers);
    std::vector<LogWorker> state(workers);
    std::vector<LogSlot> slots(window);
    std::vector<size_t> judged(words.size(), 0);
    FleetFigures fleet;
    size_t written = 0;
    if (report == LOG_REPORT_JSON) {
        out << "[";
    }
    RunInOrder(
        inputs.size(), workers, window,
        [&](size_t index, unsigned worker) {
            JudgeLog(inputs[index], report, &state[worker], &slots[index % window]);
        },
        [&](size_t index) {
            LogSlot& slot = slots[index % window];
            exit = std::max(exit, slot.exit);
            if (!slot.skipped && inputs[index].folder >= 0) {
                ++judged[static_cast<size_t>(inputs[index].folder)];
            }
            if (report == LOG_REPORT_SUMMARY) {
                if (slot.skipped) {
                    AddSkipped(slot.report, &fleet);
                } else {
                    AddFigures(slot.figures, &fleet);
                }
                return;
            }
            if (report == LOG_REPORT_JSON) {
                out << (written == 0 ? "\n  " : ",\n  ");
            }
            out << slot.report;
            if (report == LOG_REPORT_JSON_LINES) {
                out << "\n";
            }
            ++written;
        });
    if (report == LOG_REPORT_JSON) {
        out << "\n]\n";
    }
    if (report == LOG_REPORT_SUMMARY) {
        PrintSummary(fleet, out);
    }
    // A folder whose .log files are all skipped gives no verdict.
    std::vector<size_t> listed(words.size(), 0);
    for (const LogInput& input : inputs) {
        if (input.folder >= 0) {
            ++listed[static_cast<size_t>(input.folder)];
        }
    }
    for (size_t f = 0; f < words.size(); ++f) {
        if (listed[f] != 0 && judged[f] == 0) {
            err << "hallimor-check log: " << words[f] << ": no install log under this folder\n";
            exit = CHECK_EXIT_CANNOT;
        }
    }
    return exit;
}
