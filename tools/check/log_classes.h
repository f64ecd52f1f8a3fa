// The classification of an install log's failure records and error texts:
// which of them a sound machine writes, each with its reason, and the system
// texts of the errors the installer meets, as Windows and Wine write them.
// Everything that no rule covers is a real failure.
#ifndef HALLIMOR_TOOLS_CHECK_LOG_CLASSES_H
#define HALLIMOR_TOOLS_CHECK_LOG_CLASSES_H

#include <string>

// An error number not known, or not carried by the record.
const long long kNoError = -1;

// A record that a sound run writes.
struct ExpectedRecord {
    const char* step;      // failure step as the record carries it ("Remove sysfile "), or nullptr
    const char* text;      // a fixed message with %s and %d for its inserts, or nullptr
    long long error;       // the error the failure must carry, kNoError for any
    const char* operation; // the operation line's word ("Uninstall"), or nullptr for every operation
    const char* reason;
};

// The rule that makes a failure record (step and error) or a fixed message
// expected in a run of that operation, or nullptr: the record is real.
const ExpectedRecord* FindExpectedFailure(const std::string& step, long long error,
                                          const std::string& operation);
const ExpectedRecord* FindExpectedText(const std::string& message, const std::string& operation);

// The error number of a failure record's text: "(0x%08x)" or a system text
// of Windows or Wine that the tool knows (trailing line ends ignored).
// kNoError for any other text.
long long ErrorNumberOfText(const std::string& text);

// True when message is one of the installer's fixed error texts (an error,
// warning or refusal it logs without a failure record).
bool IsFixedErrorText(const std::string& message);

// True when text is written by format (%s, %d and %.*s stand for any text).
bool MatchesFormat(const char* format, const std::string& text);

// Every rule, for the documentation check.
const ExpectedRecord* ExpectedRecords(int* count);

#endif
