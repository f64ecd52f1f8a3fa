// hallimor-check log FILE... [--json] [--summary]: the verdict on install
// logs. A FILE may be a folder: every file under it whose name ends in
// ".log" is read, in path order (a fleet's collected logs).
#include <stdio.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "check.h"
#include "log_reader.h"
#include "log_report.h"

namespace {

const size_t kTopFailures = 20;
const size_t kListedProblems = 20;

void Usage(std::ostream& err) {
    err << "usage: hallimor-check log FILE... [--json] [--summary]\n"
           "  FILE     an install log (HandsetInstallInfo.log), or a folder: every *.log under it\n"
           "  --json   one JSON document on standard output\n"
           "  --summary  runs per operation and outcome and the most frequent real failures,\n"
           "           instead of one report per log\n"
           "exit: 0 every log reached its closing line without a real failure; 1 some log holds a\n"
           "      real failure; 2 some run ended with -1, a log was cut short, or a file is not an\n"
           "      install log (or the call was wrong)\n";
}

bool EndsWithLogNoCase(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return tail == ".log";
}

// The files that the arguments name: files as given, folders walked.
bool CollectFiles(const std::vector<std::string>& arguments, std::vector<std::string>* files,
                  std::ostream& err) {
    namespace fs = std::filesystem;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        fs::path path(argument);
        if (!fs::is_directory(path, ec)) {
            files->push_back(argument);
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
        if (ec) {
            err << "hallimor-check log: cannot read the folder " << argument << ": " << ec.message() << "\n";
            return false;
        }
        for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) {
                err << "hallimor-check log: cannot read the folder " << argument << ": " << ec.message()
                    << "\n";
                return false;
            }
            std::error_code typeError;
            if (it->is_regular_file(typeError) && EndsWithLogNoCase(it->path().filename().string())) {
                found.push_back(it->path().string());
            }
        }
        std::sort(found.begin(), found.end());
        files->insert(files->end(), found.begin(), found.end());
    }
    return true;
}

// A record's text on one line: line feeds and tabs as \n and \t.
std::string Shown(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out;
}

// JSON strings: the log's bytes are single-byte ANSI text, so a byte above
// 0x7F is written as the character of the same number.
std::string Json(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        char buffer[8];
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                snprintf(buffer, sizeof(buffer), "\\u%04x", c);
                out += buffer;
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

std::string Hex(uint32_t code) {
    char buffer[16];
    snprintf(buffer, sizeof(buffer), "0x%08x", code);
    return buffer;
}

std::string ErrorText(const LogFinding& f) {
    if (!f.hasError) {
        return "";
    }
    const char* name = SystemErrorName(f.error);
    std::string text = std::to_string(f.error);
    if (name != nullptr) {
        text += std::string(" ") + name;
    }
    return text + " (" + Hex(f.error) + ")";
}

const char* ClassName(LogClass cls) {
    return cls == LOG_CLASS_EXPECTED ? "expected" : "real";
}

const char* StartName(LogStartStatus start) {
    switch (start) {
    case LOG_START_THROUGH:
        return "through";
    case LOG_START_FAILED:
        return "failed";
    case LOG_START_NOT_REACHED:
        return "not reached";
    }
    return "";
}

void WriteText(const std::string& file, const LogReport& r, std::ostream& out) {
    out << file << ": verdict " << r.verdict << " (" << LogOutcomeName(r.outcome) << "): " << r.verdictReason
        << "\n";
    if (r.outcome == LOG_OUTCOME_NOT_A_LOG && r.operation.empty()) {
        return;
    }
    out << "  program version: " << (r.programVersion.empty() ? "-" : r.programVersion) << "\n";
    out << "  operation:       " << (r.operation.empty() ? "-" : r.operation);
    if (!r.operationLine.empty()) {
        out << " (" << r.operationLine << ")";
    }
    out << "\n";
    out << "  windows:         " << (r.windows.empty() ? "-" : Shown(r.windows)) << "\n";
    out << "  start sequence:  " << StartName(r.start);
    if (r.start == LOG_START_FAILED) {
        out << ", the run ended with -1 after record " << r.startFailureRecord << ": "
            << Shown(r.startFailure);
    }
    out << "\n";
    out << "  closing line:    " << (r.closed ? "reached" : "missing") << "\n";
    out << "  findings:        " << r.realFailures << " real, " << r.expectedFailures << " expected\n";
    for (const LogFinding& f : r.findings) {
        out << "  record " << f.record << " " << ClassName(f.cls) << ": " << Shown(f.text) << "\n";
        out << "      ";
        if (f.step.empty()) {
            out << (f.failureRecord ? "unknown step" : "unknown record");
        } else {
            out << (f.failureRecord ? "step \"" : "text \"") << Shown(f.step) << "\"";
        }
        if (f.hasError) {
            out << ", error " << ErrorText(f);
        }
        if (!f.subject.empty()) {
            out << ", " << f.subject;
        }
        out << "\n      " << f.reason << "\n";
    }
}

void WriteJson(const std::string& file, const LogReport& r, std::ostream& out) {
    out << "{\"file\": " << Json(file) << ", \"verdict\": " << r.verdict
        << ", \"outcome\": " << Json(LogOutcomeName(r.outcome)) << ", \"reason\": " << Json(r.verdictReason);
    out << ", \"install_log\": " << (r.problem.empty() ? "true" : "false");
    out << ", \"records\": " << r.records;
    out << ", \"program_version\": " << Json(r.programVersion);
    out << ", \"operation\": " << Json(r.operation) << ", \"operation_line\": " << Json(r.operationLine);
    out << ", \"windows\": " << Json(r.windows);
    out << ", \"start_sequence\": " << Json(StartName(r.start));
    if (r.start == LOG_START_FAILED) {
        out << ", \"start_failure\": {\"record\": " << r.startFailureRecord
            << ", \"text\": " << Json(r.startFailure) << "}";
    } else {
        out << ", \"start_failure\": null";
    }
    out << ", \"closing_line\": " << (r.closed ? "true" : "false");
    out << ", \"real_failures\": " << r.realFailures << ", \"expected_failures\": " << r.expectedFailures;
    out << ", \"findings\": [";
    for (size_t k = 0; k < r.findings.size(); ++k) {
        const LogFinding& f = r.findings[k];
        out << (k == 0 ? "" : ", ") << "{\"record\": " << f.record << ", \"text\": " << Json(f.text)
            << ", \"failure_record\": " << (f.failureRecord ? "true" : "false")
            << ", \"step\": " << Json(f.step);
        if (f.hasError) {
            const char* name = SystemErrorName(f.error);
            out << ", \"error\": " << f.error << ", \"error_hex\": " << Json(Hex(f.error))
                << ", \"error_name\": " << (name != nullptr ? Json(name) : "null");
        } else {
            out << ", \"error\": null, \"error_hex\": null, \"error_name\": null";
        }
        out << ", \"subject\": " << Json(f.subject) << ", \"class\": " << Json(ClassName(f.cls))
            << ", \"reason\": " << Json(f.reason) << "}";
    }
    out << "]}";
}

// ---- the summary over many logs

const LogOutcome kOutcomes[] = {LOG_OUTCOME_SOUND, LOG_OUTCOME_REAL_FAILURE, LOG_OUTCOME_START_FAILED,
                                LOG_OUTCOME_CUT_SHORT, LOG_OUTCOME_NOT_A_LOG};

struct FailureCount {
    std::string step; // step or text format; the record itself when unknown
    bool failureRecord = false;
    bool hasError = false;
    uint32_t error = 0;
    std::string text; // the failure's own text when it carries no known number
    size_t runs = 0;
    size_t records = 0;
    size_t lastLog = static_cast<size_t>(-1);
};

struct Summary {
    size_t logs = 0;
    size_t byOutcome[5] = {0, 0, 0, 0, 0};
    std::map<std::string, std::array<size_t, 5>> byOperation;
    std::map<std::string, FailureCount> failures;
    std::vector<std::pair<std::string, std::string>> problems;
};

void Count(Summary* s, const std::string& file, const LogReport& r) {
    size_t index = s->logs++;
    ++s->byOutcome[r.outcome];
    std::string operation = r.operation.empty() ? "-" : r.operation;
    std::array<size_t, 5>& row = s->byOperation[operation];
    ++row[r.outcome];
    if (r.outcome == LOG_OUTCOME_NOT_A_LOG && s->problems.size() < kListedProblems) {
        s->problems.push_back({file, r.verdictReason});
    }
    for (const LogFinding& f : r.findings) {
        if (f.cls != LOG_CLASS_REAL) {
            continue;
        }
        std::string label = f.step.empty() ? f.text : f.step;
        std::string detail;
        if (f.hasError) {
            detail = Hex(f.error);
        } else if (f.failureRecord) {
            size_t mark = f.text.find(" FAILURE: ");
            detail = mark == std::string::npos ? std::string() : f.text.substr(mark + 10);
        }
        std::string key = label + '\x01' + detail;
        FailureCount& c = s->failures[key];
        if (c.records == 0) {
            c.step = label;
            c.failureRecord = f.failureRecord;
            c.hasError = f.hasError;
            c.error = f.error;
            c.text = f.hasError ? "" : detail;
        }
        ++c.records;
        if (c.lastLog != index) {
            c.lastLog = index;
            ++c.runs;
        }
    }
}

std::vector<const FailureCount*> TopFailures(const Summary& s) {
    std::vector<const FailureCount*> top;
    for (const auto& entry : s.failures) {
        top.push_back(&entry.second);
    }
    std::stable_sort(top.begin(), top.end(), [](const FailureCount* a, const FailureCount* b) {
        if (a->runs != b->runs) {
            return a->runs > b->runs;
        }
        return a->records > b->records;
    });
    if (top.size() > kTopFailures) {
        top.resize(kTopFailures);
    }
    return top;
}

std::string CountError(const FailureCount& c) {
    if (c.hasError) {
        const char* name = SystemErrorName(c.error);
        return std::to_string(c.error) + (name != nullptr ? std::string(" ") + name : "") + " (" +
               Hex(c.error) + ")";
    }
    return c.text.empty() ? "-" : Shown(c.text);
}

void WriteSummaryText(const Summary& s, std::ostream& out) {
    out << "logs: " << s.logs;
    for (LogOutcome o : kOutcomes) {
        out << (o == LOG_OUTCOME_SOUND ? " (" : ", ") << LogOutcomeName(o) << " " << s.byOutcome[o];
    }
    out << ")\n";
    out << "runs by operation and outcome:\n";
    char line[200];
    snprintf(line, sizeof(line), "  %-16s %8s %8s %13s %13s %10s %19s\n", "operation", "runs", "sound",
             "real failure", "start failed", "cut short", "not an install log");
    out << line;
    for (const auto& entry : s.byOperation) {
        const std::array<size_t, 5>& row = entry.second;
        size_t runs = row[0] + row[1] + row[2] + row[3] + row[4];
        snprintf(line, sizeof(line), "  %-16s %8zu %8zu %13zu %13zu %10zu %19zu\n", entry.first.c_str(), runs,
                 row[0], row[1], row[2], row[3], row[4]);
        out << line;
    }
    std::vector<const FailureCount*> top = TopFailures(s);
    out << "most frequent real failures (runs, records, step or text, error):\n";
    if (top.empty()) {
        out << "  none\n";
    }
    for (const FailureCount* c : top) {
        snprintf(line, sizeof(line), "  %8zu %8zu  ", c->runs, c->records);
        out << line << (c->failureRecord ? "step \"" : "text \"") << Shown(c->step) << "\"  "
            << CountError(*c) << "\n";
    }
    if (!s.problems.empty()) {
        out << "not install logs";
        if (s.byOutcome[LOG_OUTCOME_NOT_A_LOG] > s.problems.size()) {
            out << " (the first " << s.problems.size() << ")";
        }
        out << ":\n";
        for (const auto& p : s.problems) {
            out << "  " << p.first << ": " << p.second << "\n";
        }
    }
}

void WriteSummaryJson(const Summary& s, std::ostream& out) {
    out << "\"summary\": {\"logs\": " << s.logs << ", \"outcomes\": {";
    for (LogOutcome o : kOutcomes) {
        out << (o == LOG_OUTCOME_SOUND ? "" : ", ") << Json(LogOutcomeName(o)) << ": " << s.byOutcome[o];
    }
    out << "}, \"by_operation\": [";
    bool first = true;
    for (const auto& entry : s.byOperation) {
        out << (first ? "" : ", ") << "{\"operation\": " << Json(entry.first);
        for (LogOutcome o : kOutcomes) {
            out << ", " << Json(LogOutcomeName(o)) << ": " << entry.second[o];
        }
        out << "}";
        first = false;
    }
    out << "], \"top_real_failures\": [";
    std::vector<const FailureCount*> top = TopFailures(s);
    for (size_t k = 0; k < top.size(); ++k) {
        const FailureCount* c = top[k];
        out << (k == 0 ? "" : ", ") << "{\"runs\": " << c->runs << ", \"records\": " << c->records
            << ", \"failure_record\": " << (c->failureRecord ? "true" : "false")
            << ", \"step\": " << Json(c->step);
        if (c->hasError) {
            out << ", \"error\": " << c->error << ", \"error_hex\": " << Json(Hex(c->error));
        } else {
            out << ", \"error\": null, \"error_hex\": null";
        }
        out << ", \"text\": " << Json(c->text) << "}";
    }
    out << "], \"not_install_logs\": [";
    for (size_t k = 0; k < s.problems.size(); ++k) {
        out << (k == 0 ? "" : ", ") << "{\"file\": " << Json(s.problems[k].first)
            << ", \"reason\": " << Json(s.problems[k].second) << "}";
    }
    out << "]}";
}

} // namespace

int RunLogVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    bool summary = false;
    std::vector<std::string> names;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (arg == "--summary") {
            summary = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(out);
            return CHECK_EXIT_OK;
        } else if (arg.size() > 1 && arg[0] == '-') {
            err << "hallimor-check log: unknown option '" << arg << "'\n";
            Usage(err);
            return CHECK_EXIT_CANNOT;
        } else {
            names.push_back(arg);
        }
    }
    if (names.empty()) {
        err << "hallimor-check log: no log file given\n";
        Usage(err);
        return CHECK_EXIT_CANNOT;
    }
    std::vector<std::string> files;
    if (!CollectFiles(names, &files, err)) {
        return CHECK_EXIT_CANNOT;
    }
    if (files.empty()) {
        err << "hallimor-check log: no *.log file in the folders given\n";
        return CHECK_EXIT_CANNOT;
    }

    int exitCode = CHECK_EXIT_OK;
    Summary counts;
    InstallLogText text;
    LogReport report;
    if (json) {
        out << "{";
        if (!summary) {
            out << "\"logs\": [";
        }
    }
    for (size_t k = 0; k < files.size(); ++k) {
        ReadInstallLog(files[k], &text);
        AnalyzeInstallLog(text, &report);
        exitCode = std::max(exitCode, report.verdict);
        if (summary) {
            Count(&counts, files[k], report);
        } else if (json) {
            out << (k == 0 ? "\n" : ",\n");
            WriteJson(files[k], report, out);
        } else {
            WriteText(files[k], report, out);
        }
    }
    if (json) {
        if (summary) {
            WriteSummaryJson(counts, out);
            out << ", ";
        } else {
            out << "\n], ";
        }
        out << "\"exit\": " << exitCode << "}\n";
    } else if (summary) {
        WriteSummaryText(counts, out);
    }
    return exitCode;
}
