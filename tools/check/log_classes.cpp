// The classification table of hallimor-check log (docs/log-verdicts.md).
#include "log_classes.h"

#include <stdlib.h>
#include <string.h>

namespace {

const long long kNoSuchDevinst = 0xE000020Bll;

// Records that a sound machine writes, with the reason. A failure rule
// names the step exactly as the record carries it and the error it must
// carry; a text rule names the fixed message.
const ExpectedRecord kExpected[] = {
    {"UpdateDriver", nullptr, kNoSuchDevinst, nullptr,
     "the device of this model line is not plugged in (ERROR_NO_SUCH_DEVINST): Install tries every model "
     "line of "
     "every INF"},
    {"Remove sysfile ", nullptr, 2, nullptr,
     "no older copy of this package driver file is in the system drivers folder: the removal before every "
     "operation tries each one"},
    {"Remove sysfile ", nullptr, 3, nullptr,
     "the system drivers folder holds no older copy (path not found): the removal tries each package driver "
     "file"},
    {"Remove Dllfile ", nullptr, 2, nullptr,
     "the support library brommet.dll is not installed: the removal before every operation tries it"},
    {nullptr, "Error : Search Oem*.inf file \n", kNoError, nullptr,
     "the system INF folder holds no OEM INF (\"oem*.inf\"): nothing to compare with the package"},
    {"RegDeleteKey\n", nullptr, 2, "Uninstall", "the record was never written on this machine"},
    {nullptr, "Warning: Delete Key Value %s Failed\n", kNoError, "Uninstall",
     "the modem power-management value was never written: Uninstall deletes it whether or not it is there"},
    {nullptr, "Error: Open Custome Key-- %s -- Failed\n", kNoError, "Uninstall",
     "this driver is not installed: its service key does not exist"},
    {nullptr, "Can't open %s service!\n", kNoError, "Clean",
     "Clean tries every service of its table; a service that is not installed cannot be opened"},
    {"OpenService", nullptr, 1060, "Clean", "the service is not installed (ERROR_SERVICE_DOES_NOT_EXIST)"},
    {"Error:", nullptr, 2, "Clean",
     "Clean deletes every driver file of its table; a file that is not installed is not found"},
};

struct ErrorText {
    long long number;
    const char* text;
};

// The English system texts of the errors that the installer meets: Windows'
// first, then Wine's where they differ.
const ErrorText kErrorTexts[] = {
    {2, "The system cannot find the file specified."},
    {2, "File not found."},
    {3, "The system cannot find the path specified."},
    {3, "Path not found."},
    {5, "Access is denied."},
    {5, "Access denied."},
    {6, "The handle is invalid."},
    {6, "Invalid handle."},
    {8, "Not enough memory resources are available to process this command."},
    {8, "Not enough memory."},
    {32, "The process cannot access the file because it is being used by another process."},
    {32, "Sharing violation."},
    {80, "The file exists."},
    {80, "File exists."},
    {87, "The parameter is incorrect."},
    {87, "Invalid parameter."},
    {122, "The data area passed to a system call is too small."},
    {122, "Insufficient buffer."},
    {206, "The filename or extension is too long."},
    {206, "Filename too long."},
    {259, "No more data is available."},
    {259, "No more items."},
    {1060, "The specified service does not exist as an installed service."},
    {1060, "Service does not exist."},
    {1072, "The specified service has been marked for deletion."},
    {1072, "Service marked for deletion."},
    {1073, "The specified service already exists."},
    {1073, "Service already exists."},
    {1055, "The service database is locked."},
    {1055, "Service database locked."},
    {1061, "The service cannot accept control messages at this time."},
    {1061, "Service cannot accept control messages."},
};

// Fixed error texts of the installer that carry no failure record.
const char* const kFixedErrorPrefixes[] = {
    "Error",
    "Warning:",
    "Can't ",
    "Copy sys file fail",
    "Get OS version failed!",
    "Get current exe directory fail!",
    "Refused to remove devices:",
};

bool MatchFrom(const char* format, const char* text) {
    while (*format != '\0') {
        if (format[0] == '%' && (format[1] == 's' || format[1] == 'd')) {
            const char* rest = format + 2;
            for (const char* t = text;; ++t) {
                if (MatchFrom(rest, t)) {
                    return true;
                }
                if (*t == '\0') {
                    return false;
                }
            }
        }
        if (strncmp(format, "%.*s", 4) == 0) {
            const char* rest = format + 4;
            for (const char* t = text;; ++t) {
                if (MatchFrom(rest, t)) {
                    return true;
                }
                if (*t == '\0') {
                    return false;
                }
            }
        }
        if (*text != *format) {
            return false;
        }
        ++format;
        ++text;
    }
    return *text == '\0';
}

bool OperationApplies(const char* rule, const std::string& operation) {
    return rule == nullptr || operation == rule;
}

} // namespace

bool MatchesFormat(const char* format, const std::string& text) {
    // The text must not hold a NUL of its own: the installer never writes one.
    if (text.find('\0') != std::string::npos) {
        return false;
    }
    return MatchFrom(format, text.c_str());
}

const ExpectedRecord* FindExpectedFailure(const std::string& step, long long error,
                                          const std::string& operation) {
    for (const ExpectedRecord& rule : kExpected) {
        if (rule.step != nullptr && step == rule.step && (rule.error == kNoError || rule.error == error) &&
            OperationApplies(rule.operation, operation)) {
            return &rule;
        }
    }
    return nullptr;
}

const ExpectedRecord* FindExpectedText(const std::string& message, const std::string& operation) {
    for (const ExpectedRecord& rule : kExpected) {
        if (rule.text != nullptr && OperationApplies(rule.operation, operation) &&
            MatchesFormat(rule.text, message)) {
            return &rule;
        }
    }
    return nullptr;
}

long long ErrorNumberOfText(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r' || trimmed.back() == ' ')) {
        trimmed.pop_back();
    }
    if (trimmed.size() == 12 && trimmed.compare(0, 3, "(0x") == 0 && trimmed.back() == ')') {
        char* end = nullptr;
        std::string digits = trimmed.substr(3, 8);
        long long value = strtoll(digits.c_str(), &end, 16);
        if (end != nullptr && *end == '\0') {
            return value;
        }
        return kNoError;
    }
    for (const ErrorText& known : kErrorTexts) {
        if (trimmed == known.text) {
            return known.number;
        }
    }
    return kNoError;
}

bool IsFixedErrorText(const std::string& message) {
    for (const char* prefix : kFixedErrorPrefixes) {
        if (message.compare(0, strlen(prefix), prefix) == 0) {
            return true;
        }
    }
    return false;
}

const ExpectedRecord* ExpectedRecords(int* count) {
    *count = static_cast<int>(sizeof(kExpected) / sizeof(kExpected[0]));
    return kExpected;
}
