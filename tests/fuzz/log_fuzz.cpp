// libFuzzer target of hallimor-check's log reader: the input bytes are an
// install log. Reading and judging any bytes ends with a report that keeps
// the rules every report keeps, and never crashes. Built with
// tests/fuzz/CMakeLists.txt; scripts/test-reliability runs it from the seed
// logs in tests/fuzz/log_corpus.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "log_reader.h"
#include "log_report.h"

namespace {

void Broken(const char* rule) {
    fprintf(stderr, "hallimor_fuzz_log: %s\n", rule);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InstallLogText text;
    LogReport report;
    SplitInstallLog(reinterpret_cast<const char*>(data), size, &text);
    AnalyzeInstallLog(text, &report);

    if (text.problem.empty() == text.records.empty()) {
        Broken("a log without a problem has records, one with a problem none");
    }
    for (const LogRecord& record : text.records) {
        if (record.message.size() > kLogMessageLimit) {
            Broken("a record longer than the installer writes was accepted");
        }
    }
    int verdict = report.outcome == LOG_OUTCOME_SOUND ? 0 : report.outcome == LOG_OUTCOME_REAL_FAILURE ? 1 : 2;
    if (report.verdict != verdict || report.verdictReason.empty()) {
        Broken("the verdict does not follow from the outcome, or has no reason");
    }
    if (report.realFailures + report.expectedFailures != report.findings.size()) {
        Broken("the failure counts do not add up to the findings");
    }
    if (report.outcome == LOG_OUTCOME_SOUND && report.realFailures != 0) {
        Broken("a sound log with a real failure");
    }
    if ((report.outcome == LOG_OUTCOME_SOUND || report.outcome == LOG_OUTCOME_REAL_FAILURE) && !report.closed) {
        Broken("a verdict of 0 or 1 without the closing line");
    }
    if (report.start == LOG_START_FAILED &&
        (report.startFailureRecord == 0 || report.startFailureRecord > report.records)) {
        Broken("the record that ended the run is not in the log");
    }
    for (const LogFinding& f : report.findings) {
        if (f.record == 0 || f.record > report.records || f.reason == nullptr || f.reason[0] == '\0') {
            Broken("a finding outside the log or without a reason");
        }
    }
    return 0;
}
