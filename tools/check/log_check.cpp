// hallimor-check log: a truthful verdict on install logs. The installer's
// exit code is 0 once its start sequence is behind it, whatever failed
// later; this verb reads what the run wrote and tells a clean run, a run
// with real failures and a run that did not get through (or was cut short)
// apart.
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "inf/inf_reader.h"
#include "log/log_texts.h"
#include "log_classes.h"
#include "log_reader.h"

namespace fs = std::filesystem;

namespace {

// One failure record or fixed error text of a run.
struct LogFailureItem {
    std::string record; // the message as written (line feeds kept)
    std::string step;   // the failure step, "" for a fixed text
    int64_t error = kAnyError;
    std::string subject; // what it concerns ("file a.sys"), where the records around name it
    bool expected = false;
    std::string reason; // why a sound machine writes it, or what did not get done
};

struct LogVerdict {
    std::string path;
    std::string problem;   // not an install log: why
    std::string operation; // "Install", "Preinstall Type5", ...
    std::string windows;   // the Windows version line, records joined
    bool startPassed = true;
    std::string startFailure; // the records that ended the run with -1
    bool closed = false;      // the closing line was reached
    std::vector<LogFailureItem> failures;
    int exit = CHECK_EXIT_OK;
};

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        line += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return line;
}

// The name of a "N.name\n" list entry, or "".
std::string ListEntryName(const std::string& message) {
    size_t dot = message.find('.');
    if (dot == 0 || dot == std::string::npos || message.empty() || message.back() != '\n') {
        return "";
    }
    for (size_t i = 0; i < dot; ++i) {
        if (message[i] < '0' || message[i] > '9') {
            return "";
        }
    }
    return message.substr(dot + 1, message.size() - dot - 2);
}

// The staging walks the .sys list in order and logs each copy after it
// succeeds: the copy that failed is the entry after the last one logged.
std::string NextAfter(const std::vector<std::string>& list, const std::string& lastCopied) {
    if (lastCopied.empty()) {
        return list.empty() ? "" : list.front();
    }
    for (size_t i = 0; i + 1 < list.size(); ++i) {
        if (list[i] == lastCopied) {
            return list[i + 1];
        }
    }
    return "";
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The text between prefix and the suffix that ends message, or "" when
// message is not prefix ... suffix.
std::string Between(const std::string& message, const char* prefix, const char* suffix) {
    size_t p = std::char_traits<char>::length(prefix);
    size_t s = std::char_traits<char>::length(suffix);
    if (message.size() < p + s || !StartsWith(message, prefix) ||
        message.compare(message.size() - s, s, suffix) != 0) {
        return "";
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
// current one.
struct LogWalk {
    std::string packageFolder; // "Directory : %s"
    std::vector<std::string> sysList;
    std::vector<std::string> infList;
    int listing = 0; // 1 while the .sys list is logged, 2 for the .inf list
    size_t removedSys = 0;
    std::string lastCopied;
    std::string preinstalling; // the INF of the last "INFO: Preinstalling %s"
    std::string updating;      // the hardware ID of the last "Updating %s"
    // Superseded removal: for every driver-store INF its own read, then one
    // read per package INF up to the first with the same first hardware ID.
    size_t packageReadsLeft = 0;
    size_t packageIndex = 0;
    std::string oemId;
    std::string oemPath;
    std::string lastRemovedInf;
    // Clean.
    std::set<std::string> deletedServices;
    std::string lastDeletePath;
    std::string lastAttributesPath;
    // A paired text waiting for its failure record: its item and the step.
    int pendingItem = -1;
    const char* pendingStep = nullptr;
    LogContext pendingContext = LOG_CONTEXT_ANY;
    // The header of the run and the start sequence.
    bool inWindowsLine = false;
    std::string lastFailure;
};

// The paired text that the record before the current one left waiting.
struct PendingText {
    int item = -1;
    const char* step = nullptr;
    LogContext context = LOG_CONTEXT_ANY;
};

// True when path names a file in the logged package folder.
bool UnderPackageFolder(const LogWalk& w, const std::string& path) {
    return !w.packageFolder.empty() && path.size() > w.packageFolder.size() &&
           infreader::SameNameNoCase(path.substr(0, w.packageFolder.size()), w.packageFolder);
}

void Classify(LogFailureItem* item, const LogClassRule* rule, const char* unknown) {
    item->expected = rule != nullptr && rule->cls == LOG_CLASS_EXPECTED;
    item->reason = rule != nullptr ? rule->reason : unknown;
}

const char kUnknownStep[] = "a failure record that the tool does not know";
const char kUnknownText[] = "an error text that the tool does not know";

// A first-hardware-ID read: a "Found [%s] from %s" line (found true) or the
// failure record of one of its steps. Gives the read's context and what it
// concerns.
LogContext InfRead(LogWalk* w, bool found, const std::string& id, const std::string& path,
                   std::string* subject) {
    bool package;
    if (found) {
        package = UnderPackageFolder(*w, path);
    } else {
        package = w->packageReadsLeft > 0;
    }
    if (!package) {
        w->oemId = found ? id : "";
        w->oemPath = found ? path : "";
        w->packageReadsLeft = w->infList.size();
        w->packageIndex = 0;
        *subject = "a driver-store INF (the log names only those it can read)";
        return LOG_CONTEXT_OEM_INF;
    }
    if (found) {
        for (size_t k = 0; k < w->infList.size(); ++k) {
            if (infreader::SameNameNoCase(BaseName(path), w->infList[k])) {
                w->packageIndex = k;
                w->packageReadsLeft = w->infList.size() - k;
                break;
            }
        }
    }
    if (w->packageIndex < w->infList.size()) {
        *subject = "INF " + w->packageFolder + w->infList[w->packageIndex];
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
LogContext FailureContext(LogWalk* w, const std::string& step, std::string* subject) {
    for (const char* read : kInfReadSteps) {
        if (step == read) {
            return InfRead(w, false, "", "", subject);
        }
    }
    if (step == "Remove sysfile ") {
        if (w->removedSys < w->sysList.size()) {
            *subject = "file " + w->sysList[w->removedSys];
        }
        ++w->removedSys;
    } else if (step == "Copy SYS file to system folder\n") {
        std::string next = NextAfter(w->sysList, w->lastCopied);
        if (!next.empty()) {
            *subject = "file " + next;
        }
    } else if (step == "Remove Dllfile ") {
        *subject = "file brommet.dll";
    } else if (step == "Remove ") {
        if (!w->oemPath.empty()) {
            *subject = "INF " + w->oemPath;
        }
    } else if (step == "Remove: ") {
        size_t dot = w->lastRemovedInf.rfind('.');
        if (dot != std::string::npos && dot > 0) {
            *subject = "file " + w->lastRemovedInf.substr(0, dot + 1) + "PNF";
        }
    } else if (step == "Preinstall") {
        if (!w->preinstalling.empty()) {
            *subject = "INF " + w->preinstalling;
        }
    } else if (step == "UpdateDriver") {
        if (!w->updating.empty()) {
            *subject = "hardware ID " + w->updating;
        }
    } else if (step == "Error:") {
        if (!w->lastDeletePath.empty()) {
            *subject = "file " + w->lastDeletePath;
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
bool Progress(LogWalk* w, const std::string& message) {
    std::vector<std::string_view> fields;
    const LogProgressRule* rule = nullptr;
    for (const LogProgressRule& candidate : LogProgressRules()) {
        // Every format begins with a plain character: most end there.
        if (!message.empty() && message[0] == candidate.format[0] &&
            MatchFormatFields(candidate.format, message, &fields)) {
            rule = &candidate;
            break;
        }
    }
    if (rule == nullptr || (rule->textRequired && fields[0].empty())) {
        return false;
    }
    std::string field(fields[0]);
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
        w->deletedServices.insert(field);
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
        std::string unused;
        InfRead(w, true, field, std::string(fields[1]), &unused);
        break;
    }
    case LOG_PROGRESS_FILE_COPIED:
        // A staging failure's record begins alike: it is no copy.
        if (message.find(kLogFailureMark) != std::string::npos) {
            return false;
        }
        w->lastCopied = BaseName(std::string(fields[1]));
        break;
    case LOG_PROGRESS_DRIVER_FILE_GONE:
        // The driver files are named without their folder; the support
        // library's record is no driver file's.
        if (field.find('\\') != std::string::npos || field.find(".dll") != std::string::npos) {
            return false;
        }
        ++w->removedSys;
        break;
    }
    return true;
}

// True when message is an error text: one of the table, or one that reads
// like the installer's error texts but that the tool does not know.
bool IsErrorText(const std::string& message) {
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
bool ReadRunHeader(LogWalk* w, const std::string& message, LogVerdict* v) {
    if (StartsWith(message, "OperateCode: ")) {
        v->operation = message.substr(13);
        if (!v->operation.empty() && v->operation.back() == '\n') {
            v->operation.pop_back();
        }
        return true;
    }
    if (StartsWith(message, "OS Version : ")) {
        w->inWindowsLine = true;
        v->windows.clear();
        return true;
    }
    if (w->inWindowsLine) {
        v->windows += message;
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
bool ReadPackageList(LogWalk* w, const std::string& message) {
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
    std::string entry = ListEntryName(message);
    if (w->listing != 0 && !entry.empty()) {
        (w->listing == 1 ? w->sysList : w->infList).push_back(entry);
        return true;
    }
    w->listing = 0;
    return false;
}

// A record that ends the run with -1: the start sequence did not pass.
bool ReadStartFailure(const LogWalk& w, const std::string& message, LogVerdict* v) {
    for (const char* text : kStartFailureTexts) {
        if (MatchesFormat(text, message)) {
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
void AddFailureRecord(LogWalk* w, const std::string& message, size_t mark, const PendingText& pending,
                      LogVerdict* v) {
    LogFailureItem item;
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
    v->failures.push_back(item);
}

// The rule that first writes an error text, whatever its error and context,
// with the texts of its conversions; nullptr when no rule writes it.
const LogClassRule* TextRuleFields(const std::string& message, std::vector<std::string_view>* fields) {
    for (const LogClassRule& rule : LogClassRules()) {
        if (rule.kind == LOG_RULE_TEXT && !message.empty() && message[0] == rule.pattern[0] &&
            MatchFormatFields(rule.pattern, message, fields)) {
            return &rule;
        }
    }
    return nullptr;
}

// An error text: what it concerns from the records around it, and its class;
// a paired text waits for the failure record of its call.
void AddErrorText(LogWalk* w, const std::string& message, LogVerdict* v) {
    LogFailureItem item;
    item.record = message;
    LogContext context = LOG_CONTEXT_ANY;
    std::vector<std::string_view> fields;
    const LogClassRule* rule = TextRuleFields(message, &fields);
    std::string tooLong = Between(message, "Error : Path too long: ", "\n");
    if (!tooLong.empty()) {
        item.subject = "file " + tooLong;
        // A package INF whose path does not fit is passed over without a
        // read of its own.
        if (w->packageReadsLeft > 0 && UnderPackageFolder(*w, tooLong)) {
            ++w->packageIndex;
            --w->packageReadsLeft;
        }
    }
    if (message == "Copy sys file fail\n") {
        std::string next = NextAfter(w->sysList, w->lastCopied);
        if (!next.empty()) {
            item.subject = "file " + next;
        }
    }
    if (rule != nullptr && rule->pairedStep != nullptr) {
        // The service that Clean's text names, if it names one.
        std::string name = fields.empty() ? std::string() : std::string(fields[0]);
        if (!name.empty()) {
            item.subject = "service " + name;
            if (w->deletedServices.count(name) != 0) {
                context = LOG_CONTEXT_SERVICE_AGAIN;
            }
        }
        w->pendingItem = static_cast<int>(v->failures.size());
        w->pendingStep = rule->pairedStep;
        w->pendingContext = context;
    }
    Classify(&item, FindTextRule(message, kAnyError, context), kUnknownText);
    v->failures.push_back(item);
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

void Analyse(const InstallLogText& log, LogVerdict* v) {
    if (log.records.empty() || log.records[0].message != kLogBanner) {
        v->problem = "does not begin with the installer's banner: not an install log";
        v->exit = CHECK_EXIT_CANNOT;
        return;
    }
    LogWalk w;
    for (const LogRecord& record : log.records) {
        std::string message(record.message);
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
        if (ReadStartFailure(w, message, v) || Progress(&w, message)) {
            continue;
        }
        size_t mark = message.find(kLogFailureMark);
        if (mark != std::string::npos) {
            AddFailureRecord(&w, message, mark, pending, v);
        } else if (IsErrorText(message)) {
            AddErrorText(&w, message, v);
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

void PrintText(const LogVerdict& v, std::ostream& out) {
    out << v.path << ": " << VerdictText(v) << "\n";
    if (!v.problem.empty()) {
        return;
    }
    out << "  operation: " << (v.operation.empty() ? "(none)" : v.operation) << "\n";
    out << "  windows: " << (v.windows.empty() ? "(none)" : v.windows) << "\n";
    out << "  start sequence: " << (v.startPassed ? "passed" : "ended the run with -1: " + v.startFailure)
        << "\n";
    out << "  closing line: " << (v.closed ? "reached" : "missing") << "\n";
    for (const LogFailureItem& item : v.failures) {
        out << "  " << (item.expected ? "expected" : "real") << ": " << OneLine(item.record);
        if (item.error != kAnyError) {
            out << " [error " << ErrorText(item.error) << "]";
        }
        if (!item.subject.empty()) {
            out << " [" << item.subject << "]";
        }
        if (!item.reason.empty()) {
            out << " -- " << item.reason;
        }
        out << "\n";
    }
}

void PrintJson(const LogVerdict& v, std::ostream& out) {
    out << "{\"file\": " << JsonString(v.path) << ", \"verdict\": " << v.exit
        << ", \"summary\": " << JsonString(VerdictText(v));
    if (v.problem.empty()) {
        out << ", \"operation\": " << JsonString(v.operation) << ", \"windows\": " << JsonString(v.windows)
            << ", \"startSequence\": " << (v.startPassed ? "true" : "false")
            << ", \"startFailure\": " << JsonString(v.startFailure)
            << ", \"closingLine\": " << (v.closed ? "true" : "false") << ", \"failures\": [";
        for (size_t i = 0; i < v.failures.size(); ++i) {
            const LogFailureItem& item = v.failures[i];
            out << (i == 0 ? "" : ", ") << "{\"record\": " << JsonString(item.record)
                << ", \"step\": " << JsonString(item.step) << ", \"error\": " << item.error
                << ", \"subject\": " << JsonString(item.subject)
                << ", \"class\": " << (item.expected ? "\"expected\"" : "\"real\"")
                << ", \"reason\": " << JsonString(item.reason) << "}";
        }
        out << "]";
    }
    out << "}";
}

void PrintSummary(const std::vector<LogVerdict>& verdicts, std::ostream& out) {
    std::map<std::string, std::map<std::string, int>> runs;
    std::map<std::string, int> real;
    for (const LogVerdict& v : verdicts) {
        std::string outcome = !v.problem.empty()              ? "not a log"
                              : !v.startPassed                ? "exit -1"
                              : !v.closed                     ? "cut short"
                              : v.exit == CHECK_EXIT_FINDINGS ? "real failures"
                                                              : "clean";
        runs[v.problem.empty() ? (v.operation.empty() ? "(none)" : v.operation) : "(not a log)"][outcome]++;
        for (const LogFailureItem& item : v.failures) {
            if (!item.expected) {
                std::string key = (item.step.empty() ? OneLine(item.record) : OneLine(item.step)) +
                                  (item.error != kAnyError ? " [error " + ErrorText(item.error) + "]" : "");
                real[key]++;
            }
        }
    }
    out << verdicts.size() << " logs\n";
    out << "runs by operation and outcome:\n";
    for (const auto& op : runs) {
        out << "  " << op.first << ":";
        for (const auto& outcome : op.second) {
            out << " " << outcome.second << " " << outcome.first << ";";
        }
        out << "\n";
    }
    std::vector<std::pair<int, std::string>> ranked;
    for (const auto& r : real) {
        ranked.push_back({r.second, r.first});
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    out << "most frequent real failures by step and error:\n";
    if (ranked.empty()) {
        out << "  none\n";
    }
    for (size_t i = 0; i < ranked.size() && i < 10; ++i) {
        out << "  " << ranked[i].first << "  " << ranked[i].second << "\n";
    }
}

// A folder stands for every log under it, in path order: a fleet's collected
// logs are one folder, too many paths for a command line. False when a
// folder cannot be read or holds no log (each said on err).
bool ExpandFolders(std::vector<std::string>* files, std::ostream& err) {
    bool complete = true;
    std::vector<std::string> paths;
    for (const std::string& f : *files) {
        std::error_code error;
        if (!fs::is_directory(fs::path(f), error)) {
            paths.push_back(f);
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(fs::path(f), fs::directory_options::skip_permission_denied,
                                            error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            std::string name = it->path().filename().string();
            if (name.size() > 4 && infreader::SameNameNoCase(name.substr(name.size() - 4), ".log") &&
                it->is_regular_file(error)) {
                found.push_back(it->path().string());
            }
        }
        if (error || found.empty()) {
            err << "hallimor-check log: " << f
                << (error ? ": the folder cannot be read: " + error.message()
                          : ": no .log file under this folder")
                << "\n";
            complete = false;
            continue;
        }
        std::sort(found.begin(), found.end());
        paths.insert(paths.end(), found.begin(), found.end());
    }
    files->swap(paths);
    return complete;
}

} // namespace

int ReportOnLogBytes(const char* data, size_t size, std::ostream& out) {
    LogVerdict v;
    v.path = "(bytes)";
    InstallLogText log;
    SplitInstallLog(data, size, &log);
    if (!log.problem.empty()) {
        v.problem = log.problem;
        v.exit = CHECK_EXIT_CANNOT;
    } else {
        Analyse(log, &v);
    }
    PrintText(v, out);
    PrintJson(v, out);
    return v.exit;
}

int RunLogVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    bool summary = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--json") {
            json = true;
        } else if (a == "--summary") {
            summary = true;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return RefuseArguments(err, kLogVerbUsage, "unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        return RefuseArguments(err, kLogVerbUsage, "no FILE given");
    }
    std::vector<LogVerdict> verdicts;
    int exit = CHECK_EXIT_OK;
    if (!ExpandFolders(&files, err)) {
        exit = CHECK_EXIT_CANNOT;
    }
    // --summary prints the fleet's figures only.
    json = json && !summary;
    if (json) {
        out << "[";
    }
    for (size_t i = 0; i < files.size(); ++i) {
        LogVerdict v;
        v.path = files[i];
        InstallLogText log;
        ReadInstallLog(files[i], &log);
        if (!log.problem.empty()) {
            v.problem = log.problem;
            v.exit = CHECK_EXIT_CANNOT;
        } else {
            Analyse(log, &v);
        }
        exit = std::max(exit, v.exit);
        if (json) {
            out << (i == 0 ? "\n  " : ",\n  ");
            PrintJson(v, out);
        } else if (!summary) {
            PrintText(v, out);
        }
        if (summary) {
            // Only what the summary needs is kept.
            v.windows.clear();
            for (LogFailureItem& item : v.failures) {
                item.reason.clear();
            }
            verdicts.push_back(std::move(v));
        }
    }
    if (json) {
        out << "\n]\n";
    }
    if (summary) {
        PrintSummary(verdicts, out);
    }
    return exit;
}
