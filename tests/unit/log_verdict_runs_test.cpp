// hallimor-check log on the logs of real runs of the installer on the
// simulated machine: every record that the installer writes is one the log
// verdict knows, and the verdict's view of the run (start sequence, closing
// line) is the run's own exit code, whichever platform call fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_reader.h"
#include "log_report.h"
#include "machine.h"
#include "reliability_support.h"

namespace {

const char* const kWords[] = {"Install",      "Uninstall",      "Clean",         "Preinstall",
                              "Preinstall_f", "Preinstall_cfg", "Preinstall_cu", "Preinstall_BYT"};

// The verdict on the log of the run that just ended with exit code code.
void ExpectKnownRun(int code, const std::string& what) {
    std::string bytes = sim::LogText();
    InstallLogText text;
    LogReport report;
    SplitInstallLog(bytes.data(), bytes.size(), &text);
    AnalyzeInstallLog(text, &report);
    if (bytes.empty()) {
        // No log: the log could not be opened, and the run ended with -1.
        EXPECT_EQ(-1, code) << what;
        return;
    }
    ASSERT_EQ("", report.problem) << what;
    for (const LogFinding& f : report.findings) {
        EXPECT_NE("", f.step) << what << ": record " << f.record << " [" << f.text << "] is not known";
    }
    if (code == 0) {
        EXPECT_TRUE(report.closed) << what;
        EXPECT_EQ(LOG_START_THROUGH, report.start) << what;
        EXPECT_LE(report.verdict, 1) << what << ": " << report.verdictReason;
    } else {
        EXPECT_EQ(LOG_START_FAILED, report.start) << what << ": " << report.verdictReason;
        EXPECT_EQ(2, report.verdict) << what;
    }
}

TEST(LogVerdictRuns, EveryWordOnTheRichMachineWritesOnlyKnownRecords) {
    for (bool vista : {false, true}) {
        for (const char* word : kWords) {
            reliability::BuildRichMachine(vista);
            int code = sim::Run({word});
            ExpectKnownRun(code, std::string(word) + (vista ? " on Vista" : ""));
        }
    }
}

// The first and the last call of each name failing, with an error that the
// call typically gives: the failure records and error texts of every step.
TEST(LogVerdictRuns, FailingCallsWriteOnlyKnownRecords) {
    struct Fault {
        const char* call;
        DWORD error;
    };
    const Fault faults[] = {
        {"fopen", ERROR_ACCESS_DENIED},
        {"GetWindowsDirectoryA", ERROR_PATH_NOT_FOUND},
        {"GetModuleFileNameA", ERROR_INSUFFICIENT_BUFFER},
        {"GetVersionExA", ERROR_INVALID_PARAMETER},
        {"FormatMessageA", ERROR_MR_MID_NOT_FOUND},
        {"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY},
        {"FindFirstFileA", ERROR_FILE_NOT_FOUND},
        {"DeleteFileA", ERROR_ACCESS_DENIED},
        {"CopyFileA", ERROR_SHARING_VIOLATION},
        {"RegOpenKeyExA", ERROR_ACCESS_DENIED},
        {"RegCreateKeyExA", ERROR_ACCESS_DENIED},
        {"RegSetValueExA", ERROR_ACCESS_DENIED},
        {"RegDeleteValueA", ERROR_ACCESS_DENIED},
        {"RegDeleteKeyA", ERROR_ACCESS_DENIED},
        {"OpenSCManagerA", ERROR_ACCESS_DENIED},
        {"OpenServiceA", ERROR_ACCESS_DENIED},
        {"CreateServiceA", ERROR_ACCESS_DENIED},
        {"DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE},
        {"QueryServiceConfigA", ERROR_INSUFFICIENT_BUFFER},
        {"LockServiceDatabase", ERROR_SERVICE_DATABASE_LOCKED},
        {"SetupOpenInfFileA", ERROR_FILE_NOT_FOUND},
        {"SetupFindFirstLineA", ERROR_LINE_NOT_FOUND},
        {"SetupGetStringFieldA", ERROR_INSUFFICIENT_BUFFER},
        {"SetupCopyOEMInfA", ERROR_ACCESS_DENIED},
        {"UpdateDriverForPlugAndPlayDevicesA", ERROR_NO_SUCH_DEVINST},
        {"SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY},
        {"SetupDiEnumDeviceInfo", ERROR_INVALID_HANDLE},
        {"SetupDiGetDeviceRegistryPropertyA", ERROR_INVALID_DATA},
        {"SetupDiSetDeviceRegistryPropertyA", ERROR_ACCESS_DENIED},
        {"SetupDiGetDeviceInstanceIdA", ERROR_INSUFFICIENT_BUFFER},
        {"SetupDiCallClassInstaller", ERROR_ACCESS_DENIED},
    };
    for (bool vista : {false, true}) {
        for (const char* word : kWords) {
            // Windows Vista changes only the preinstall flows (the shadow-copy
            // service); one of them stands for all.
            if (vista && std::string(word) != "Preinstall_cu") {
                continue;
            }
            reliability::BuildRichMachine(vista);
            sim::Run({word});
            std::vector<std::pair<std::string, int>> counts;
            for (const Fault& fault : faults) {
                counts.push_back({fault.call, sim::CallCount(fault.call)});
            }
            for (size_t k = 0; k < counts.size(); ++k) {
                for (int nth : {1, counts[k].second}) {
                    if (nth < 1) {
                        continue;
                    }
                    reliability::BuildRichMachine(vista);
                    sim::FailCall(faults[k].call, nth, faults[k].error);
                    int code = sim::Run({word});
                    ExpectKnownRun(code, std::string(word) + (vista ? " on Vista" : "") + ", " +
                                             faults[k].call + " #" + std::to_string(nth) + " failing");
                }
            }
        }
    }
}

} // namespace
