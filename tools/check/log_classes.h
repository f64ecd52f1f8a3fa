// The classification of the installer's failure records and fixed error
// texts: one table of data, each entry with its reason (documented in
// docs/log-verdicts.md), and the system texts of the errors that the
// installer meets, by which a record's text gives its error number.
#ifndef HALLIMOR_TOOLS_CHECK_LOG_CLASSES_H
#define HALLIMOR_TOOLS_CHECK_LOG_CLASSES_H

#include <stdint.h>

#include <string_view>
#include <vector>

enum LogClass {
    LOG_CLASS_EXPECTED, // what a run on a sound machine writes
    LOG_CLASS_REAL,     // something did not get done
};

// What a rule is about: the step of a failure record, or a fixed text.
enum LogRuleKind {
    LOG_RULE_STEP,
    LOG_RULE_TEXT,
};

// Where a record stands in the run, as far as its class depends on it.
enum LogContext {
    LOG_CONTEXT_ANY,
    LOG_CONTEXT_OEM_INF,         // reading the first hardware ID of a driver-store INF
    LOG_CONTEXT_DRIVER_FILE,     // Clean deleting a name of its driver file table
    LOG_CONTEXT_SERVICE_AGAIN,   // Clean's second attempt at a service its first attempt deleted
    LOG_CONTEXT_POWER_OPEN_ONLY, // Preinstall_cfg's power settings, where no key failed at a value's write
};

// The texts of Preinstall_cfg's power settings that the walk over a run
// places: a service key that could not be opened, a value that could not be
// written on an opened key, and the line after three failed keys.
extern const char kPowerKeyNotOpened[];
extern const char kPowerSwitchNotWritten[];
extern const char kPowerIdleTimeNotWritten[];
extern const char kPowerAllKeysFailed[];

// A rule's error: one number, or any error (also none known).
constexpr int64_t kAnyError = -1;

struct LogClassRule {
    LogRuleKind kind;
    const char* pattern; // the step exactly as logged, or the text's format
    int64_t error;       // the error number the rule holds for, or kAnyError
    LogContext context;  // LOG_CONTEXT_ANY: wherever the record stands
    LogClass cls;
    const char* reason;
    // A text that Clean logs just before the failure record of the same call:
    // that record's step. The text takes its error, and so its class, from
    // that record. nullptr for every other rule.
    const char* pairedStep = nullptr;
};

// The table, in the order of lookup: the first rule whose pattern, error and
// context fit decides. Every step and fixed error text ends in a rule for
// any error in any context.
const std::vector<LogClassRule>& LogClassRules();

// The rule for a failure record: its step exactly as logged, its error
// number (kAnyError when the record carries none that the tool knows) and
// its context. nullptr for a step the table does not hold.
const LogClassRule* FindStepRule(std::string_view step, int64_t error, LogContext context);

// The rule for a message that one of the table's fixed texts writes (its %s,
// %d and %.*s stand for any text), with the error of the failure record that
// goes with it (kAnyError when none) and its context. nullptr when no fixed
// text of the table writes the message.
const LogClassRule* FindTextRule(std::string_view message, int64_t error, LogContext context);

// True when one of the table's fixed texts writes message, whatever its
// error and context.
bool IsFixedText(std::string_view message);

// True when format writes text (%s, %d and %.*s stand for any text).
bool MatchesFormat(const char* format, std::string_view text);

// The same, giving in *fields the text that each conversion stands for, each
// as short as lets the rest match.
bool MatchFormatFields(const char* format, std::string_view text, std::vector<std::string_view>* fields);

// What a record of progress tells the walk over a run: the records after it
// are named and placed by it.
enum LogProgress {
    LOG_PROGRESS_PACKAGE_FOLDER,   // the package folder the scan reads
    LOG_PROGRESS_PREINSTALLING,    // the INF going into the driver store
    LOG_PROGRESS_UPDATING,         // the hardware ID being bound
    LOG_PROGRESS_SERVICE_DELETED,  // a service Clean deleted
    LOG_PROGRESS_ATTRIBUTES,       // a file whose attributes Clean changes
    LOG_PROGRESS_DELETING,         // a file Clean deletes
    LOG_PROGRESS_INF_REMOVED,      // a superseded INF or its PNF deleted
    LOG_PROGRESS_FIRST_ID,         // the first hardware ID read from an INF
    LOG_PROGRESS_FILE_COPIED,      // a driver file staged
    LOG_PROGRESS_DRIVER_FILE_GONE, // an old copy of a driver file removed
    LOG_PROGRESS_POWER_SETTINGS,   // Preinstall_cfg's power settings begin
    LOG_PROGRESS_POWER_KEY,        // the service key the power settings write next
};

struct LogProgressRule {
    const char* format; // %s stands for any text
    LogProgress progress;
    bool textRequired; // the record counts only when each %s stands for some text
};

// The records of progress, in the order of lookup.
const std::vector<LogProgressRule>& LogProgressRules();

// The error number of a failure record's text: "(0x%08x)", or a system text
// of the table (line end and trailing blanks ignored). False when the text
// is none of these.
bool ErrorFromFailureText(std::string_view text, uint32_t* code);

// The symbolic name of an error number, or nullptr.
const char* SystemErrorName(uint32_t code);

#endif
