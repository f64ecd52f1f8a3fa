// hallimor-check log: a truthful verdict on install logs. The installer's
// exit code is 0 once its start sequence is behind it, whatever failed
// later; this verb reads what the run wrote and tells a clean run, a run
// with real failures and a run that did not get through (or was cut short)
// apart.
#include <stdio.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "log_classes.h"
#include "log_reader.h"

namespace {

const char kBanner[] = "**************** KWE Driver Install ****************\n\n";
const char kFinish[] = "*************************Finish***********************\n\n";
const char kFailureMark[] = " FAILURE: ";

// One failure record or fixed error text of a run.
struct LogFailureItem {
    std::string record; // the message as written (line feeds kept)
    std::string step;   // the failure step, "" for a fixed text
    long long error = kNoError;
    std::string file; // the file it concerns, where the records around name it
    bool expected = false;
    std::string reason; // why it is expected
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

void Analyse(const InstallLogText& log, LogVerdict* v) {
    if (log.records.empty() || log.records[0].message != kBanner) {
        v->problem = "does not begin with the installer's banner: not an install log";
        v->exit = CHECK_EXIT_CANNOT;
        return;
    }
    std::string operationWord;
    std::vector<std::string> sysList;
    int listing = 0; // 1 while the .sys list is logged, 2 for the .inf list
    size_t removedSys = 0;
    std::string lastCopied;
    bool inWindowsLine = false;
    std::string lastFailure;

    for (const LogRecord& record : log.records) {
        std::string message(record.message);
        if (StartsWith(message, "OperateCode: ")) {
            v->operation = message.substr(13);
            if (!v->operation.empty() && v->operation.back() == '\n') {
                v->operation.pop_back();
            }
            operationWord = v->operation == "Preinstall Type5" ? "Preinstall_BYT" : v->operation;
            continue;
        }
        if (StartsWith(message, "OS Version : ")) {
            inWindowsLine = true;
            v->windows.clear();
            continue;
        }
        if (inWindowsLine) {
            v->windows += message;
            if (!message.empty() && message.back() == '\n') {
                v->windows.pop_back();
                inWindowsLine = false;
            }
            continue;
        }
        if (message == "Sys file list:\n") {
            listing = 1;
            sysList.clear();
            removedSys = 0;
            continue;
        }
        if (message == "Inf file list:\n") {
            listing = 2;
            continue;
        }
        std::string entry = ListEntryName(message);
        if (listing != 0 && !entry.empty()) {
            if (listing == 1) {
                sysList.push_back(entry);
            }
            continue;
        }
        listing = 0;
        if (StartsWith(message, "Copy ") && message.find(" to ") != std::string::npos &&
            message.find(kFailureMark) == std::string::npos) {
            lastCopied = BaseName(message.substr(message.rfind(" to ") + 4));
            if (!lastCopied.empty() && lastCopied.back() == '\n') {
                lastCopied.pop_back();
            }
            continue;
        }
        if (StartsWith(message, "Remove: ") && message.size() > 18 &&
            message.compare(message.size() - 10, 10, " Success!\n") == 0 &&
            message.find('\\') == std::string::npos && message.find(".dll") == std::string::npos) {
            ++removedSys;
            continue;
        }
        if (message == kFinish) {
            v->closed = true;
            continue;
        }
        if (message == "Error : Get windows driver directory fail\n" ||
            MatchesFormat("Error:Search sys file %d; inf file %d\n", message)) {
            v->startPassed = false;
            v->startFailure =
                (lastFailure.empty() ? std::string() : OneLine(lastFailure) + " / ") + OneLine(message);
            continue;
        }

        size_t mark = message.find(kFailureMark);
        if (mark != std::string::npos) {
            LogFailureItem item;
            item.record = message;
            item.step = message.substr(0, mark);
            item.error =
                ErrorNumberOfText(message.substr(mark + std::char_traits<char>::length(kFailureMark)));
            if (item.step == "Remove sysfile ") {
                if (removedSys < sysList.size()) {
                    item.file = sysList[removedSys];
                }
                ++removedSys;
            } else if (item.step == "Copy SYS file to system folder\n") {
                item.file = NextAfter(sysList, lastCopied);
            } else if (item.step == "Remove Dllfile ") {
                item.file = "brommet.dll";
            }
            const ExpectedRecord* rule = FindExpectedFailure(item.step, item.error, operationWord);
            item.expected = rule != nullptr;
            item.reason = rule != nullptr ? rule->reason : "";
            lastFailure = message;
            v->failures.push_back(item);
            continue;
        }
        if (IsFixedErrorText(message)) {
            LogFailureItem item;
            item.record = message;
            if (message == "Copy sys file fail\n") {
                item.file = NextAfter(sysList, lastCopied);
            }
            const ExpectedRecord* rule = FindExpectedText(message, operationWord);
            item.expected = rule != nullptr;
            item.reason = rule != nullptr ? rule->reason : "";
            v->failures.push_back(item);
        }
    }

    if (!v->startPassed || !v->closed) {
        v->exit = CHECK_EXIT_CANNOT;
    } else {
        for (const LogFailureItem& item : v->failures) {
            if (!item.expected) {
                v->exit = CHECK_EXIT_FINDINGS;
            }
        }
    }
}

std::string ErrorText(long long error) {
    if (error == kNoError) {
        return "";
    }
    char buffer[32];
    snprintf(buffer, sizeof(buffer), "0x%08llx", static_cast<unsigned long long>(error));
    return std::to_string(error) + " (" + buffer + ")";
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
        if (item.error != kNoError) {
            out << " [error " << ErrorText(item.error) << "]";
        }
        if (!item.file.empty()) {
            out << " [file " << item.file << "]";
        }
        if (item.expected) {
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
                << ", \"file\": " << JsonString(item.file)
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
                                  (item.error != kNoError ? " [error " + ErrorText(item.error) + "]" : "");
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

} // namespace

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
            err << "hallimor-check log: unknown option " << a
                << "\nusage: hallimor-check log FILE... [--json] [--summary]\n";
            return CHECK_EXIT_CANNOT;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        err << "hallimor-check log: no FILE given\nusage: hallimor-check log FILE... [--json] [--summary]\n";
        return CHECK_EXIT_CANNOT;
    }
    std::vector<LogVerdict> verdicts;
    int exit = CHECK_EXIT_OK;
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
