// The install and preinstall flows, driven as whole runs where that is
// natural and directly where the set-up must reach past the package scan.
#include <gtest/gtest.h>

#include "common/operation.h"
#include "install/install.h"
#include "install_test_support.h"

using namespace installtest;

namespace {

const char kUsbStor[] = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR";
const char kEjectCommand[] = "\"C:\\Setup\\lantrope.exe\"";

// A package whose directory order puts the filter driver's file at index 2
// of the driver file list (at index 3 when filterLast), one INF and one
// present device per model.
void AddPackage(const std::string& osFolder, const std::string& filterName, bool filterLast = false) {
    for (const char* name : {"a.sys", "b.sys", filterLast ? "c.sys" : "h.sys"}) {
        sim::AddPackageFile(osFolder, name, "driver");
    }
    sim::AddPackageFile(osFolder, filterName, "filter");
    const char* infs[] = {"a.inf", "b.inf", "g.inf", "h.inf"};
    for (int i = 0; i < 4; ++i) {
        std::string id = "USB\\VID_1234&PID_000" + std::to_string(i);
        AddPackageInfFile(osFolder, infs[i], ModelInf(id));
        sim::AddDevice(id + "\\1", {id});
    }
    sim::AddFile(sim::ExeFolder() + "lantrope.exe");
}

std::vector<std::string> Preinstalled(const std::vector<std::string>& log) {
    return Matching(log, "INFO: Preinstalling ");
}

std::vector<std::string> Names(std::initializer_list<const char*> infs) {
    std::vector<std::string> lines;
    for (const char* inf : infs) {
        lines.push_back(std::string("INFO: Preinstalling ") + inf + "\n");
    }
    return lines;
}

// The filter driver's INF is stored last and not bound; the filter comes
// into force after it, also when that INF cannot be stored.
TEST(InstallFlows, InstallBindsAllButTheFilterDriversInfWhichComesLast) {
    for (bool filterInfStored : {true, false}) {
        SCOPED_TRACE(filterInfStored);
        sim::Reset();
        AddPackage("WIN7", "gorvel.sys");
        if (!filterInfStored) {
            sim::FailCall("SetupCopyOEMInfA", 4, ERROR_ACCESS_DENIED);
        }
        EXPECT_EQ(0, sim::Run({"Install"}));
        std::vector<std::string> log = sim::LogMessages();
        EXPECT_EQ(Names({"a.inf", "b.inf", "h.inf", "g.inf"}), Preinstalled(log));
        int last = IndexOf(log, "INFO: Preinstalling g.inf\n");
        int found = IndexOf(log, "Found KWE Mass Storage Device Driver!\n");
        EXPECT_LT(IndexOf(log, "INFO: Preinstalling b.inf"), found);
        EXPECT_LT(found, IndexOf(log, "INFO: Preinstalling h.inf"));
        ASSERT_LT(last + 1, static_cast<int>(log.size()));
        EXPECT_EQ(0u, log[last + 1].find(filterInfStored ? "SUCCESS: preinstalled driver.\n"
                                                         : "Preinstall FAILURE: "));
        EXPECT_EQ(last + 2, IndexOf(log, "Found KWE Mass Storage Device,Active...\n"));
        std::string package = sim::PackageFolder("WIN7");
        std::vector<std::string> bound;
        for (int at : sim::FindCalls("UpdateDriverForPlugAndPlayDevicesA")) {
            bound.push_back(sim::Journal()[static_cast<size_t>(at)].args);
        }
        EXPECT_EQ((std::vector<std::string>{UpdateDriverArgs("usb\\vid_1234&pid_0000", package + "a.inf"),
                                            UpdateDriverArgs("usb\\vid_1234&pid_0001", package + "b.inf"),
                                            UpdateDriverArgs("usb\\vid_1234&pid_0003", package + "h.inf")}),
                  bound);
        EXPECT_EQ(0, sim::FindDevice("USB\\VID_1234&PID_0002\\1")->updateCount);
        EXPECT_EQ(1, sim::FindDevice("USB\\VID_1234&PID_0003\\1")->updateCount);
        DWORD flag = 0;
        EXPECT_TRUE(sim::GetRegDword(kUsbStor, "gorvel", &flag));
        EXPECT_EQ(1u, flag);
        int filterInf = sim::FindCall("SetupCopyOEMInfA", CopyOemInfArgs(package + "g.inf"));
        EXPECT_LT(sim::FindCall("SetupCopyOEMInfA", CopyOemInfArgs(package + "h.inf")), filterInf);
        EXPECT_LT(filterInf, sim::FindCall("RegCreateKeyExA", kUsbStorKeyArgs));
        EXPECT_EQ(0, sim::CallCount("WinExec"));
        EXPECT_EQ(-1, sim::FindCall("OpenServiceA", "*, \"VSS\", *"));
    }
}

TEST(InstallFlows, PreinstallStoresEveryInfInListOrderThenTheFilter) {
    sim::Reset();
    AddPackage("WIN7", "gorvel.sys");
    sim::Run({"Preinstall"});
    std::vector<std::string> log = sim::LogMessages();
    EXPECT_EQ(Names({"a.inf", "b.inf", "g.inf", "h.inf"}), Preinstalled(log));
    EXPECT_LT(IndexOf(log, "INFO: Preinstalling h.inf"),
              IndexOf(log, "Found KWE Mass Storage Device,Active...\n"));
    EXPECT_EQ(0, sim::CallCount("UpdateDriverForPlugAndPlayDevicesA"));
    EXPECT_LT(sim::FindCall("SetupCopyOEMInfA", CopyOemInfArgs(sim::PackageFolder("WIN7") + "h.inf")),
              sim::FindCall("RegCreateKeyExA", kUsbStorKeyArgs));
}

TEST(InstallFlows, FilterDriverNotDetectedInOtherCaseOrPastTheInfCount) {
    for (bool filterLast : {false, true}) {
        sim::Reset();
        AddPackage("WIN7", filterLast ? "gorvel.sys" : "Gorvel.sys", filterLast);
        sim::RemovePath(sim::PackageFolder("WIN7") + "h.inf"); // three INFs
        sim::Run({"Install"});
        std::vector<std::string> log = sim::LogMessages();
        EXPECT_EQ(Names({"a.inf", "b.inf", "g.inf"}), Preinstalled(log));
        EXPECT_EQ(-1, IndexOf(log, "Found KWE"));
        EXPECT_EQ(3, sim::CallCount("UpdateDriverForPlugAndPlayDevicesA"));
        EXPECT_EQ(-1, sim::FindCall("RegCreateKeyExA", kUsbStorKeyAnyArgs));
    }
}

TEST(InstallFlows, EjectToolOnlyAfterPreinstallsButPreinstallF) {
    struct Case {
        const char* word;
        bool started;
    } cases[] = {{"Preinstall", true},     {"Preinstall_cfg", true}, {"Preinstall_cu", true},
                 {"Preinstall_BYT", true}, {"Preinstall_f", false},  {"Install", false}};
    for (const Case& c : cases) {
        sim::Reset();
        AddPackage("WIN7", "gorvel.sys");
        sim::Run({c.word});
        std::vector<std::string> log = sim::LogMessages();
        SCOPED_TRACE(c.word);
        EXPECT_EQ(c.started ? 1u : 0u, Matching(log, "Call lantrope.exe...\n").size());
        ASSERT_EQ(c.started ? 1u : 0u, sim::M().executed.size());
        if (c.started) {
            EXPECT_EQ(kEjectCommand, sim::M().executed[0]);
            EXPECT_EQ(static_cast<UINT>(SW_HIDE), sim::M().executedShow[0]);
            EXPECT_LT(sim::FindCall("RegCreateKeyExA", kUsbStorKeyArgs),
                      sim::FindCall("WinExec", Quoted(kEjectCommand) + ", 0"));
        }
    }
}

// Direct preinstall-only run with the program at exePath.
std::vector<std::string> EjectFrom(const std::string& exePath) {
    Begin(OS_CODE_WIN7, "WIN7");
    sim::SetExePath(exePath);
    AddSys("a.sys");
    AddInf("a.inf", ModelInf("USB\\VID_1234&PID_0001"));
    RunPreinstallOnly();
    return Finish();
}

std::vector<std::string> Commands() {
    std::vector<std::string> commands;
    for (const sim::Call& c : sim::Journal()) {
        if (c.name == "WinExec") {
            commands.push_back(c.args);
        }
    }
    return commands;
}

TEST(InstallFlows, EjectToolByQuotedFullPath) {
    EjectFrom("D:\\Hallimor_x64.exe");
    EXPECT_EQ(std::vector<std::string>{"\"\"D:\\lantrope.exe\"\", 0"}, Commands());
    EjectFrom("C:\\Program Files\\KWE\\Hallimor_x64.exe");
    EXPECT_EQ(std::vector<std::string>{"\"\"C:\\Program Files\\KWE\\lantrope.exe\"\", 0"}, Commands());
    // Folder plus "\lantrope.exe" at 259 characters, then at 260.
    std::string folder259 = "C:\\" + std::string(259 - 3 - 13, 'k');
    EjectFrom(folder259 + "\\h.exe");
    EXPECT_EQ(1u, Commands().size());
    std::vector<std::string> log = EjectFrom(folder259 + "k\\h.exe");
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(Contains(log, "Error: lantrope.exe not started, its path is too long\n"));
}

TEST(InstallFlows, EjectToolNotStartedWithoutTheProgramFolder) {
    Begin(OS_CODE_WIN7, "WIN7");
    AddSys("a.sys");
    AddInf("a.inf", ModelInf("USB\\VID_1234&PID_0001"));
    sim::FailCall("GetModuleFileNameA", 1, ERROR_ACCESS_DENIED);
    RunPreinstall(OPERATION_PREINSTALL);
    std::vector<std::string> log = Finish();
    EXPECT_TRUE(Contains(log, "Call lantrope.exe...\n"));
    EXPECT_TRUE(Contains(log, "Error: lantrope.exe not started, the program folder is unknown\n"));
    EXPECT_EQ(0, sim::CallCount("WinExec"));
}

TEST(InstallFlows, CopyFailureStopsPreinstallsButRestoresShadowCopy) {
    for (int flow = 0; flow < 3; ++flow) {
        Begin(OS_CODE_VISTA, "VISTA");
        sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, true);
        AddSys("a.sys");
        AddSys("gorvel.sys");
        AddSys("c.sys");
        for (const char* inf : {"a.inf", "b.inf", "c.inf"}) {
            AddInf(inf, ModelInf("USB\\VID_1234&PID_0001"));
        }
        sim::FailCall("CopyFileA", 2, ERROR_ACCESS_DENIED);
        if (flow == 0) {
            RunPreinstall(OPERATION_PREINSTALL);
        } else if (flow == 1) {
            RunPreinstallOnly();
        } else {
            RunInstall(OPERATION_INSTALL);
        }
        std::vector<std::string> log = Finish();
        EXPECT_LT(IndexOf(log, "Copy SYS file to system folder\n FAILURE: "),
                  IndexOf(log, "Copy sys file fail\n"));
        EXPECT_EQ(0, sim::CallCount("SetupCopyOEMInfA"));
        EXPECT_EQ(-1, IndexOf(log, "Found KWE"));
        EXPECT_EQ(-1, sim::FindCall("RegCreateKeyExA", kUsbStorKeyAnyArgs));
        EXPECT_EQ(0, sim::CallCount("WinExec"));
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), sim::FindService("VSS")->startType);
        // Install leaves the service alone altogether.
        EXPECT_EQ(flow == 2 ? 0 : 1, sim::FindService("VSS")->stopRequests);
    }
}

// Preinstall and Preinstall_f alike keep the service suspended from before
// the staging to after the filter step, on Vista only.
TEST(InstallFlows, ShadowCopySuspendedAroundPreinstallOnVistaOnly) {
    const std::string unchanged = ", NULL, NULL, NULL, NULL, NULL, NULL, NULL";
    for (int code : {OPERATION_PREINSTALL, OPERATION_PREINSTALL_F}) {
        for (int os : {OS_CODE_VISTA, OS_CODE_WIN7, OS_CODE_WIN2003}) {
            SCOPED_TRACE(std::to_string(code) + " " + std::to_string(os));
            Begin(os, "VISTA");
            sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, true);
            AddSys("gorvel.sys");
            AddInf("g.inf", ModelInf("USB\\VID_1234&PID_0001"));
            sim::AddFile(sim::ExeFolder() + "lantrope.exe");
            RunPreinstall(code);
            Finish();
            if (os != OS_CODE_VISTA) {
                EXPECT_EQ(-1, sim::FindCall("OpenServiceA", "*, \"VSS\", *"));
                EXPECT_TRUE(sim::FindService("VSS")->running);
                continue;
            }
            int disabled =
                sim::FindCall("ChangeServiceConfigA", "service, 4294967295, 4, 4294967295" + unchanged);
            int restored =
                sim::FindCall("ChangeServiceConfigA", "service, 4294967295, 2, 4294967295" + unchanged);
            ASSERT_NE(-1, disabled);
            EXPECT_LT(disabled, sim::FindCall("CopyFileA"));
            EXPECT_LT(sim::FindCall("RegCreateKeyExA", kUsbStorKeyArgs), restored);
            int tool = sim::FindCall("WinExec", Quoted(kEjectCommand) + ", 0");
            if (code == OPERATION_PREINSTALL) {
                EXPECT_LT(restored, tool);
            } else {
                EXPECT_EQ(-1, tool);
            }
            EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), sim::FindService("VSS")->startType);
            EXPECT_FALSE(sim::FindService("VSS")->running);
        }
    }
}

} // namespace
