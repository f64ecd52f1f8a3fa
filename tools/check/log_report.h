// The report on one install log: what the run was, how far it got, and
// every failure record and fixed error text with its class.
#ifndef HALLIMOR_TOOLS_CHECK_LOG_REPORT_H
#define HALLIMOR_TOOLS_CHECK_LOG_REPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "log_classes.h"
#include "log_reader.h"

enum LogStartStatus {
    LOG_START_THROUGH,     // the run got through its start sequence
    LOG_START_FAILED,      // the start sequence failed: the run ended with -1
    LOG_START_NOT_REACHED, // the log ends before the start sequence was through
};

// One log's outcome; the verdict follows from it.
enum LogOutcome {
    LOG_OUTCOME_SOUND,        // 0: closing line reached, no real failure
    LOG_OUTCOME_REAL_FAILURE, // 1: closing line reached, some real failure
    LOG_OUTCOME_START_FAILED, // 2: the run ended with -1
    LOG_OUTCOME_CUT_SHORT,    // 2: no closing line: the run was stopped or the machine went down
    LOG_OUTCOME_NOT_A_LOG,    // 2: not an install log, or not one run's
};

struct LogFinding {
    size_t record = 0; // 1-based record number
    std::string text;  // the record's message as logged (carriage returns removed)
    bool failureRecord = false;
    std::string step; // the failure step, or the fixed text's format; empty when unknown
    bool hasError = false;
    uint32_t error = 0;  // the error number, when hasError
    std::string subject; // the file, INF, device, service or key the record concerns, when known
    LogClass cls = LOG_CLASS_REAL;
    const char* reason = ""; // why the class
};

struct LogReport {
    std::string problem; // why this is not an install log of one run; empty when it is
    size_t records = 0;
    std::string programVersion; // "1.0.1.17"
    std::string operationLine;  // "OperateCode: Install", without its line feed
    std::string operation;      // "Install", ..., "Preinstall_BYT", or "NULL" for an unknown word
    std::string windows;        // the Windows version line, without its line feed
    LogStartStatus start = LOG_START_NOT_REACHED;
    size_t startFailureRecord = 0; // the failure record that ended the run with -1
    std::string startFailure;
    bool closed = false; // the closing line was reached
    std::vector<LogFinding> findings;
    size_t realFailures = 0;
    size_t expectedFailures = 0;
    LogOutcome outcome = LOG_OUTCOME_NOT_A_LOG;
    int verdict = 2;
    std::string verdictReason;
};

void AnalyzeInstallLog(const InstallLogText& log, LogReport* report);

// The text of an outcome, as the reports and the summary name it.
const char* LogOutcomeName(LogOutcome outcome);

#endif
