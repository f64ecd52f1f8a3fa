// Helpers shared by the device-handling tests: a fresh machine with an open
// install log, the log's records, and the package's driver file list.
#ifndef HALLIMOR_TESTS_UNIT_DEVICES_TEST_SUPPORT_H
#define HALLIMOR_TESTS_UNIT_DEVICES_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/operation.h"
#include "environment/environment.h"
#include "log/log.h"
#include "machine.h"
#include "run/run.h"

namespace devices_test {

// A fresh Windows 7 machine, process-start run state and an open log.
inline void StartOnFreshMachine(int operationCode) {
    sim::Reset();
    ResetRunState();
    g_OperationCode = operationCode;
    std::string logPath = sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log";
    ASSERT_EQ(1, OpenInstallLog(logPath.c_str()));
}

// Closes the log and returns its records without time stamps.
inline std::vector<std::string> FinishLog() {
    CloseInstallLog();
    return sim::LogMessages();
}

inline int CountOf(const std::vector<std::string>& records, const std::string& text) {
    int n = 0;
    for (const std::string& r : records) {
        if (r == text) {
            ++n;
        }
    }
    return n;
}

inline int IndexOf(const std::vector<std::string>& records, const std::string& text, int from = 0) {
    for (size_t i = static_cast<size_t>(from); i < records.size(); ++i) {
        if (records[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

inline int CountStartingWith(const std::vector<std::string>& records, const std::string& prefix) {
    int n = 0;
    for (const std::string& r : records) {
        if (r.compare(0, prefix.size(), prefix) == 0) {
            ++n;
        }
    }
    return n;
}

// The machine's own text for an error code, as a failure record carries it.
inline std::string SystemText(DWORD error) {
    LPSTR text = NULL;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
        error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    std::string result;
    if (length != 0 && text != NULL) {
        result.assign(text, length);
    }
    if (text != NULL) {
        LocalFree(text);
    }
    return result;
}

inline std::string WithoutCr(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c != '\r') {
            out += c;
        }
    }
    return out;
}

// True when some record reports step as failed with the given error.
inline bool HasFailureRecord(const std::vector<std::string>& records, const std::string& step, DWORD error) {
    std::string text = SystemText(error);
    if (text.empty()) {
        char code[16];
        snprintf(code, sizeof(code), "(0x%08x)", static_cast<unsigned int>(error));
        text = code;
    }
    // Line ends of the system text differ once written through a text-mode
    // stream: compare without carriage returns.
    std::string expected = WithoutCr(step + " FAILURE: " + text);
    for (const std::string& r : records) {
        if (WithoutCr(r) == expected) {
            return true;
        }
    }
    return false;
}

inline int CountFailures(const std::vector<std::string>& records, const std::string& step) {
    return CountStartingWith(records, step + " FAILURE: ");
}

// The package's driver file list as the scan would leave it.
inline void SetDriverFiles(const std::vector<std::string>& names, int count) {
    memset(g_DriverFiles, 0, sizeof(g_DriverFiles));
    for (size_t i = 0; i < names.size() && i < PACKAGE_LIST_CAPACITY; ++i) {
        strncpy(g_DriverFiles[i], names[i].c_str(), PACKAGE_NAME_SIZE - 1);
    }
    g_DriverFileCount = count;
}

} // namespace devices_test

#endif
