// Fault sweep: every platform call of a clean run of each operation word is
// made to fail in a run of its own, with the error that call typically gives
// (NULL for allocations). Whatever fails, the run must keep to its failure
// handling: the exit code of that failure, the log closed with its Finish
// record once the start sequence is behind it, every handle released, and no
// item that is not the vendor's changed.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "machine.h"
#include "reliability_support.h"

namespace {

using reliability::Capture;
using reliability::ForeignChanges;
using reliability::MachineImage;
using reliability::VendorScope;

// The error each platform call fails with in the sweep.
const std::map<std::string, DWORD>& TypicalErrors() {
    static const std::map<std::string, DWORD> errors = {
        {"RtlGenRandom", ERROR_NOT_ENOUGH_MEMORY},
        {"CreateFileA", ERROR_FILE_EXISTS},
        {"GetFileInformationByHandle", ERROR_INVALID_HANDLE},
        {"MoveFileExA", ERROR_ACCESS_DENIED},
        {"_open_osfhandle", ERROR_INVALID_HANDLE},
        {"_fdopen", ERROR_NOT_ENOUGH_MEMORY},
        {"GetWindowsDirectoryA", ERROR_PATH_NOT_FOUND},
        {"GetModuleFileNameA", ERROR_INSUFFICIENT_BUFFER},
        {"PathRemoveFileSpecA", ERROR_INVALID_PARAMETER},
        {"GetVersionExA", ERROR_INVALID_PARAMETER},
        {"GetModuleHandleA", ERROR_MOD_NOT_FOUND},
        {"GetProcAddress", ERROR_PROC_NOT_FOUND},
        {"FormatMessageA", ERROR_MR_MID_NOT_FOUND},
        {"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY},
        {"LocalFree", ERROR_INVALID_HANDLE},
        {"FindFirstFileA", ERROR_FILE_NOT_FOUND},
        {"FindNextFileA", ERROR_NO_MORE_FILES},
        {"FindClose", ERROR_INVALID_HANDLE},
        {"GetFileAttributesA", ERROR_FILE_NOT_FOUND},
        {"SetFileAttributesA", ERROR_ACCESS_DENIED},
        {"DeleteFileA", ERROR_ACCESS_DENIED},
        {"CopyFileA", ERROR_SHARING_VIOLATION},
        {"WinExec", ERROR_FILE_NOT_FOUND},
        {"RegOpenKeyExA", ERROR_ACCESS_DENIED},
        {"RegCreateKeyExA", ERROR_ACCESS_DENIED},
        {"RegQueryValueExA", ERROR_FILE_NOT_FOUND},
        {"RegSetValueExA", ERROR_ACCESS_DENIED},
        {"RegDeleteValueA", ERROR_ACCESS_DENIED},
        {"RegDeleteKeyA", ERROR_ACCESS_DENIED},
        {"RegCloseKey", ERROR_INVALID_HANDLE},
        {"OpenSCManagerA", ERROR_ACCESS_DENIED},
        {"OpenServiceA", ERROR_ACCESS_DENIED},
        {"CreateServiceA", ERROR_ACCESS_DENIED},
        {"DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE},
        {"QueryServiceConfigA", ERROR_INSUFFICIENT_BUFFER},
        {"ChangeServiceConfigA", ERROR_ACCESS_DENIED},
        {"ControlService", ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
        {"LockServiceDatabase", ERROR_SERVICE_DATABASE_LOCKED},
        {"QueryServiceLockStatusA", ERROR_INSUFFICIENT_BUFFER},
        {"UnlockServiceDatabase", ERROR_INVALID_SERVICE_LOCK},
        {"CloseServiceHandle", ERROR_INVALID_HANDLE},
        {"SetupOpenInfFileA", ERROR_FILE_NOT_FOUND},
        {"SetupFindFirstLineA", ERROR_LINE_NOT_FOUND},
        {"SetupFindNextLine", ERROR_LINE_NOT_FOUND},
        {"SetupGetStringFieldA", ERROR_INSUFFICIENT_BUFFER},
        {"SetupCloseInfFile", ERROR_INVALID_HANDLE},
        {"SetupCopyOEMInfA", ERROR_ACCESS_DENIED},
        {"UpdateDriverForPlugAndPlayDevicesA", ERROR_NO_SUCH_DEVINST},
        {"SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY},
        {"SetupDiEnumDeviceInfo", ERROR_INVALID_HANDLE},
        {"SetupDiGetDeviceRegistryPropertyA", ERROR_INVALID_DATA},
        {"SetupDiSetDeviceRegistryPropertyA", ERROR_ACCESS_DENIED},
        {"SetupDiGetDeviceInstanceIdA", ERROR_INSUFFICIENT_BUFFER},
        {"SetupDiCallClassInstaller", ERROR_ACCESS_DENIED},
        {"SetupDiDestroyDeviceInfoList", ERROR_INVALID_HANDLE},
    };
    return errors;
}

// Calls that cannot fail on the platform; they are journaled but not swept.
const std::set<std::string>& InfallibleCalls() {
    static const std::set<std::string> calls = {"GetLocalTime", "GetLastError", "SetLastError",
                                                "lstrcmpiA",    "lstrlenA",     "GetNativeSystemInfo",
                                                "GetSystemInfo"};
    return calls;
}

// Release calls: when one fails, the handle it was to release stays open.
const std::map<std::string, std::set<std::string>>& ReleaseCalls() {
    static const std::map<std::string, std::set<std::string>> calls = {
        {"FindClose", {"find"}},
        {"SetupCloseInfFile", {"inf"}},
        {"RegCloseKey", {"key"}},
        {"CloseServiceHandle", {"scm", "service"}},
        {"LocalFree", {"local"}},
        {"SetupDiDestroyDeviceInfoList", {"devinfo"}},
        {"UnlockServiceDatabase", {"lock"}},
    };
    return calls;
}

// Calls whose failure in the start sequence ends the run with -1: the log,
// the system folders and the package scan depend on them.
bool FatalInStartSequence(const std::string& name) {
    return name == "GetWindowsDirectoryA" || name == "GetModuleFileNameA" || name == "PathRemoveFileSpecA" ||
           name == "FindFirstFileA";
}

// At most this many occurrences of one call are swept one by one; beyond
// that, every occurrence at a stride that keeps the sweep near the cap, and
// always the last one.
const int kOccurrenceCap = 12;

std::vector<int> OccurrencesToSweep(int count) {
    std::vector<int> picked;
    if (count <= kOccurrenceCap) {
        for (int n = 1; n <= count; ++n) {
            picked.push_back(n);
        }
        return picked;
    }
    int head = kOccurrenceCap / 2;
    for (int n = 1; n <= head; ++n) {
        picked.push_back(n);
    }
    int stride = (count - head + (kOccurrenceCap - head) - 1) / (kOccurrenceCap - head);
    for (int n = head + stride; n < count; n += stride) {
        picked.push_back(n);
    }
    picked.push_back(count);
    return picked;
}

struct WordPlan {
    const char* word;
    bool vista;
    // The calls before the operation's own sequence (start sequence and
    // superseded removal) are the same for every word but Clean on one
    // machine: they are swept with one word per machine only.
    bool sweepSharedStart;
};

struct SweepFigures {
    int runs = 0;
    int faultsInjected = 0;
    int callsInCleanRun = 0;
    int distinctCalls = 0;
    int occurrencesSkippedByCap = 0;
    int occurrencesSweptElsewhere = 0;
    int foreignItemsWatched = 0;
    int foreignChanges = 0;
    int exitMinusOne = 0;
};

// The journal positions that bound the shadow-copy steps of a clean run.
struct ShadowCopyMarks {
    int suspendStart = -1;      // its OpenSCManagerA
    int suspendConfigRead = -1; // its QueryServiceConfigA
    int suspendUnlock = -1;     // its UnlockServiceDatabase
    int restoreStart = -1;      // the restoration's OpenSCManagerA
    int restoreChange = -1;     // the restoration's ChangeServiceConfigA
};

ShadowCopyMarks FindShadowCopyMarks() {
    ShadowCopyMarks marks;
    // 0xC0000008: the access both shadow-copy steps ask of the manager.
    const std::string access = "NULL, NULL, " + std::to_string(0xC0000008u);
    marks.suspendStart = sim::FindCall("OpenSCManagerA", access);
    if (marks.suspendStart < 0) {
        return marks;
    }
    marks.suspendConfigRead = sim::FindCall("QueryServiceConfigA", "...", marks.suspendStart);
    marks.suspendUnlock = sim::FindCall("UnlockServiceDatabase", "...", marks.suspendStart);
    marks.restoreStart = sim::FindCall("OpenSCManagerA", access, marks.suspendStart + 1);
    if (marks.restoreStart >= 0) {
        marks.restoreChange = sim::FindCall("ChangeServiceConfigA", "...", marks.restoreStart);
    }
    return marks;
}

// The start types that the shadow-copy service may be left with when the
// call at journal position index fails: its own, or what the described
// failure handling gives (demand start when the suspension never read the
// configuration, disabled when the restoration could not run).
std::set<DWORD> AllowedShadowCopyStartTypes(const ShadowCopyMarks& marks, int index, DWORD original) {
    std::set<DWORD> allowed = {original};
    if (marks.suspendStart < 0 || index < 0) {
        return allowed;
    }
    if (index >= marks.suspendStart && index <= marks.suspendConfigRead) {
        allowed.insert(SERVICE_DEMAND_START);
    }
    if (index == marks.suspendUnlock ||
        (marks.restoreStart >= 0 && index >= marks.restoreStart && index <= marks.restoreChange)) {
        allowed.insert(SERVICE_DISABLED);
    }
    return allowed;
}

DWORD ShadowCopyStartType() {
    sim::Service* vss = sim::FindService("VSS");
    return vss == nullptr ? 0xFFFFFFFFu : vss->startType;
}

// The faulted call's position in the clean journal: the run is the same up
// to the fault, so the nth call of a name stands where it stood there.
int PositionOf(const std::vector<sim::Call>& journal, const std::string& name, int nth) {
    int seen = 0;
    for (size_t i = 0; i < journal.size(); ++i) {
        if (journal[i].name == name && ++seen == nth) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool IsStartFailureRecord(const std::string& message) {
    return message == "Error : Get windows driver directory fail\n" ||
           message.compare(0, 21, "Error:Search sys file") == 0;
}

SweepFigures SweepWord(const WordPlan& plan, std::vector<std::string>* failures) {
    SweepFigures figures;
    auto fail = [&](const std::string& what) {
        if (failures->size() < 40) {
            failures->push_back(what);
        }
    };

    // The clean run: the calls it makes and the marks of its phases.
    VendorScope scope = reliability::BuildRichMachine(plan.vista);
    MachineImage before = Capture();
    DWORD vssOriginal = ShadowCopyStartType();
    figures.foreignItemsWatched = reliability::ForeignItemCount(before, scope);
    int exitCode = sim::Run({plan.word});
    std::vector<sim::Call> clean = sim::Journal();
    if (exitCode != 0 || !reliability::LogEndsWithFinish() || sim::OpenHandleCount() != 0) {
        fail(std::string(plan.word) + ": the clean run itself is not clean");
    }
    for (const std::string& change : ForeignChanges(before, Capture(), scope)) {
        fail(std::string(plan.word) + " clean run: " + change);
        ++figures.foreignChanges;
    }
    if (ShadowCopyStartType() != vssOriginal) {
        fail(std::string(plan.word) + " clean run: shadow-copy start type changed");
    }
    ShadowCopyMarks marks = FindShadowCopyMarks();
    int startEnd = sim::FindCall("FindFirstFileA", "\"" + sim::InfFolder() + "oem*.inf\", ptr");
    // The operation's own sequence begins after the support library's removal.
    int operationStart = 0;
    if (!plan.sweepSharedStart) {
        int library = sim::FindCall("DeleteFileA", "\"" + sim::WindowsFolder() + "system32\\brommet.dll\"");
        operationStart = library < 0 ? 0 : library + 1;
    }
    ++figures.runs;
    figures.callsInCleanRun = static_cast<int>(clean.size());

    std::map<std::string, int> counts;
    for (const sim::Call& call : clean) {
        counts[call.name]++;
    }

    for (const auto& entry : counts) {
        const std::string& name = entry.first;
        if (InfallibleCalls().count(name) != 0) {
            continue;
        }
        auto typical = TypicalErrors().find(name);
        if (typical == TypicalErrors().end()) {
            fail(std::string(plan.word) + ": no typical error known for " + name);
            continue;
        }
        ++figures.distinctCalls;
        // Occurrences within this word's own part of the run, 1-based.
        int first = 1;
        while (first <= entry.second && PositionOf(clean, name, first) < operationStart) {
            ++first;
        }
        figures.occurrencesSweptElsewhere += first - 1;
        int own = entry.second - (first - 1);
        if (own == 0) {
            continue;
        }
        std::vector<int> occurrences = OccurrencesToSweep(own);
        figures.occurrencesSkippedByCap += own - static_cast<int>(occurrences.size());
        for (int& nth : occurrences) {
            nth += first - 1;
        }

        for (int nth : occurrences) {
            std::string label = std::string(plan.word) + ": " + name + " #" + std::to_string(nth);
            reliability::BuildRichMachine(plan.vista);
            MachineImage start = Capture();
            sim::FailCall(name, nth, typical->second);
            int code = sim::Run({plan.word});
            ++figures.runs;

            if (sim::CallCount(name) < nth) {
                fail(label + ": the faulted call was never made");
                continue;
            }
            ++figures.faultsInjected;
            int position = PositionOf(clean, name, nth);
            bool inStart = position >= 0 && startEnd >= 0 && position < startEnd;
            int expected = (inStart && FatalInStartSequence(name)) ? -1 : 0;
            if (code != expected) {
                fail(label + ": exit code " + std::to_string(code) + ", expected " +
                     std::to_string(expected));
            }
            std::vector<std::string> messages = sim::LogMessages();
            if (code == 0) {
                if (messages.empty() || messages.back() != reliability::kFinishRecord) {
                    fail(label + ": the log does not end with its Finish record");
                }
            } else {
                ++figures.exitMinusOne;
                // Either no log at all, or one that ends with the start
                // sequence's failure record and nothing after it.
                if (!messages.empty() && !IsStartFailureRecord(messages.back())) {
                    fail(label + ": a failed start sequence left the log ending with: " + messages.back());
                }
            }

            auto release = ReleaseCalls().find(name);
            std::vector<std::string> open = sim::OpenHandleKinds();
            if (release == ReleaseCalls().end()) {
                if (!open.empty()) {
                    fail(label + ": " + std::to_string(open.size()) +
                         " handle(s) left open, first: " + open[0]);
                }
            } else if (open.size() > 1 || (open.size() == 1 && release->second.count(open[0]) == 0)) {
                fail(label + ": handles left open beyond the one whose release failed");
            }

            for (const std::string& change : ForeignChanges(start, Capture(), scope)) {
                fail(label + ": " + change);
                ++figures.foreignChanges;
            }
            std::set<DWORD> allowed = AllowedShadowCopyStartTypes(marks, position, vssOriginal);
            if (allowed.count(ShadowCopyStartType()) == 0) {
                fail(label + ": shadow-copy service left with start type " +
                     std::to_string(ShadowCopyStartType()));
            }
        }
    }
    sim::ClearFaults();
    return figures;
}

void SweepAndReport(const WordPlan& plan) {
    std::vector<std::string> failures;
    SweepFigures f = SweepWord(plan, &failures);
    std::printf("sweep %s: %d runs, %d faults injected, %d distinct calls of %d in the clean run, "
                "%d occurrences left out by the cap, %d swept with another word, %d exit -1, %d foreign "
                "items watched, "
                "%d foreign items changed\n",
                plan.word, f.runs, f.faultsInjected, f.distinctCalls, f.callsInCleanRun,
                f.occurrencesSkippedByCap, f.occurrencesSweptElsewhere, f.exitMinusOne, f.foreignItemsWatched,
                f.foreignChanges);
    EXPECT_GT(f.faultsInjected, 0);
    EXPECT_EQ(0, f.foreignChanges);
    for (const std::string& failure : failures) {
        ADD_FAILURE() << failure;
    }
}

TEST(ReliabilitySweep, Install) {
    SweepAndReport({"Install", false, true});
}

TEST(ReliabilitySweep, Uninstall) {
    SweepAndReport({"Uninstall", false, false});
}

TEST(ReliabilitySweep, Clean) {
    SweepAndReport({"Clean", false, true});
}

TEST(ReliabilitySweep, PreinstallOnVista) {
    SweepAndReport({"Preinstall", true, true});
}

TEST(ReliabilitySweep, PreinstallFOnVista) {
    SweepAndReport({"Preinstall_f", true, false});
}

TEST(ReliabilitySweep, PreinstallCfgOnVista) {
    SweepAndReport({"Preinstall_cfg", true, false});
}

TEST(ReliabilitySweep, PreinstallCuOnVista) {
    SweepAndReport({"Preinstall_cu", true, false});
}

TEST(ReliabilitySweep, PreinstallBytOnVista) {
    SweepAndReport({"Preinstall_BYT", true, false});
}

// The sweep's own judgement must be able to fail: a foreign item changed
// behind the program's back is reported, and so is a vendor item not.
TEST(ReliabilitySweepJudgement, ForeignChangesAreSeenVendorChangesAreNot) {
    VendorScope scope = reliability::BuildRichMachine(false);
    MachineImage before = Capture();
    sim::RemovePath(sim::InfFolder() + "oem2.inf");
    sim::SetRegDword("SOFTWARE\\Other Vendor\\Settings", "Added", 1);
    sim::FindDevice("USB\\VID_1234&PID_5678\\7&3&0&1")->lowerFilters = "gorvel";
    sim::FindService("disk")->startType = SERVICE_DISABLED;
    std::vector<std::string> foreign = ForeignChanges(before, Capture(), scope);
    EXPECT_EQ(4u, foreign.size());

    reliability::BuildRichMachine(false);
    before = Capture();
    sim::RemovePath(sim::InfFolder() + "oem1.inf");
    sim::RemovePath(sim::SystemDriversFolder() + "KWEusbmdm6k.sys");
    sim::SetRegDword("SYSTEM\\CurrentControlSet\\Services\\USBSTOR", "gorvel", 1);
    sim::RemoveRegKeyTree("SOFTWARE\\KWEUSBDriverFlag");
    sim::FindDevice("USB\\VID_3E1F&PID_C301\\0123456789ABCDEF")->lowerFilters = "gorvel";
    EXPECT_TRUE(ForeignChanges(before, Capture(), scope).empty());
}

TEST(ReliabilitySweepJudgement, OccurrencesBeyondTheCapAreSpreadAndKeepTheLast) {
    std::vector<int> few = OccurrencesToSweep(5);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), few);
    std::vector<int> many = OccurrencesToSweep(1000);
    EXPECT_LE(many.size(), static_cast<size_t>(kOccurrenceCap + 1));
    EXPECT_EQ(1, many.front());
    EXPECT_EQ(1000, many.back());
    for (size_t i = 1; i < many.size(); ++i) {
        EXPECT_LT(many[i - 1], many[i]);
    }
}

} // namespace
