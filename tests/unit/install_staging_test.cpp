// Driver file staging, INF preinstall and the INF model walk.
#include <gtest/gtest.h>

#include "common/operation.h"
#include "install/install.h"
#include "install_test_support.h"

using namespace installtest;

namespace {

const std::string kDrivers = "C:\\Windows\\system32\\drivers\\";

TEST(InstallStaging, EmptyListSucceedsWithoutTouchingFiles) {
    Begin(OS_CODE_WIN7, "WIN7");
    EXPECT_EQ(1, StageDriverFiles());
    EXPECT_EQ(0, sim::CallCount("CopyFileA"));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
    Finish();
}

TEST(InstallStaging, ReplacesReadOnlyCopy) {
    Begin(OS_CODE_WIN7, "WIN7");
    AddSys("a.sys", "new a");
    sim::AddFile(kDrivers + "a.sys", "old a", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(1, StageDriverFiles());
    EXPECT_EQ("new a", sim::FileData(kDrivers + "a.sys"));
    const std::string destination = Quoted(kDrivers + "a.sys");
    EXPECT_EQ((std::vector<std::string>{
                  "GetFileAttributesA(" + destination + ")", "SetFileAttributesA(" + destination + ", 128)",
                  "DeleteFileA(" + destination + ")",
                  "CopyFileA(" + Quoted(sim::PackageFolder("WIN7") + "a.sys") + ", " + destination + ", 0)"}),
              sim::CallLines({"GetFileAttributesA", "SetFileAttributesA", "DeleteFileA", "CopyFileA"}));
    std::vector<std::string> log = Finish();
    EXPECT_TRUE(Contains(log, "Copy " + sim::PackageFolder("WIN7") + "a.sys to " + kDrivers + "a.sys\n"));
}

TEST(InstallStaging, CopyFailureAtSecondOfThree) {
    Begin(OS_CODE_WIN7, "WIN7");
    for (const char* name : {"a.sys", "b.sys", "c.sys"}) {
        AddSys(name, std::string("new ") + name);
        sim::AddFile(kDrivers + name, std::string("old ") + name);
    }
    sim::FailCall("CopyFileA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, StageDriverFiles());
    EXPECT_EQ("new a.sys", sim::FileData(kDrivers + "a.sys"));
    EXPECT_FALSE(sim::FileExists(kDrivers + "b.sys"));
    EXPECT_EQ("old c.sys", sim::FileData(kDrivers + "c.sys"));
    std::vector<std::string> log = Finish();
    std::string from = sim::PackageFolder("WIN7");
    EXPECT_EQ(std::vector<std::string>{"Copy " + from + "a.sys to " + kDrivers + "a.sys\n"},
              Matching(log, "Copy " + from));
    EXPECT_NE(-1, IndexOf(log, "Copy SYS file to system folder\n FAILURE: "));
}

// A destination folder of the given length plus "a.sys".
void StageIntoFolderOfLength(size_t pathLength) {
    std::string folder = "C:\\" + std::string(pathLength - 3 - 1 - 5, 'd') + "\\";
    sim::AddFile(folder + "a.sys", "old");
    CopyText(g_SystemDriversFolder, PATH_BUFFER_SIZE, folder.c_str());
}

TEST(InstallStaging, PathOf259IsCopied) {
    Begin(OS_CODE_WIN7, "WIN7");
    AddSys("a.sys");
    StageIntoFolderOfLength(259);
    EXPECT_EQ(1, StageDriverFiles());
    EXPECT_EQ("new", sim::FileData(std::string(g_SystemDriversFolder) + "a.sys"));
    Finish();
}

TEST(InstallStaging, PathOf260IsRefusedBeforeAnythingIsTouched) {
    Begin(OS_CODE_WIN7, "WIN7");
    AddSys("a.sys");
    StageIntoFolderOfLength(260);
    EXPECT_EQ(0, StageDriverFiles());
    EXPECT_EQ("old", sim::FileData(std::string(g_SystemDriversFolder) + "a.sys"));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
    EXPECT_EQ(0, sim::CallCount("CopyFileA"));
    EXPECT_TRUE(Contains(Finish(), "Error: Path of a.sys is too long, not copied\n"));
}

TEST(InstallPreinstallInf, PreinstallCodesNeverOpenTheInf) {
    for (int code : {OPERATION_PREINSTALL, OPERATION_PREINSTALL_F}) {
        Begin(OS_CODE_WIN7, "WIN7");
        AddInf("m.inf", ModelInf("USB\\VID_1234&PID_0001"));
        sim::AddDevice("USB\\VID_1234&PID_0001\\1", {"USB\\VID_1234&PID_0001"});
        EXPECT_EQ(1, PreinstallInf("m.inf", code));
        sim::FailCall("SetupCopyOEMInfA", 1, ERROR_ACCESS_DENIED);
        EXPECT_EQ(1, PreinstallInf("m.inf", code));
        EXPECT_EQ(0, sim::CallCount("SetupOpenInfFileA"));
        EXPECT_EQ(0, sim::CallCount("UpdateDriverForPlugAndPlayDevicesA"));
        std::vector<std::string> log = Finish();
        EXPECT_EQ(2u, Matching(log, "INFO: Preinstalling m.inf\n").size());
        EXPECT_EQ(1u, Matching(log, "SUCCESS: preinstalled driver.\n").size());
        EXPECT_EQ(1u, Matching(log, "Preinstall FAILURE: ").size());
    }
}

TEST(InstallPreinstallInf, PathOf260IsRefused) {
    for (size_t length : {259u, 260u}) {
        Begin(OS_CODE_WIN7, "WIN7");
        std::string folder = "C:\\" + std::string(length - 3 - 1 - 5, 'p') + "\\";
        CopyText(g_DriverPackageFolder, PATH_BUFFER_SIZE, folder.c_str());
        AddInf("m.inf", ModelInf("USB\\VID_1234&PID_0001"));
        EXPECT_EQ(length == 259u ? 1 : 0, PreinstallInf("m.inf", OPERATION_INSTALL));
        EXPECT_EQ(length == 259u ? 1 : 0, PreinstallInfOnly("m.inf"));
        EXPECT_EQ(length == 259u ? 2 : 0, sim::CallCount("SetupCopyOEMInfA"));
        EXPECT_EQ(length == 259u ? 1 : 0, sim::CallCount("SetupOpenInfFileA"));
        EXPECT_EQ(length == 259u ? 0u : 2u,
                  Matching(Finish(), "Error: Path of m.inf is too long, not preinstalled\n").size());
    }
}

// Install's model walk over an INF with the given sections.
std::vector<std::string> Walk(const std::string& sections, int expectedResult) {
    Begin(OS_CODE_WIN7, "WIN7");
    AddInf("m.inf", Inf(sections));
    sim::AddDevice("USB\\VID_1234&PID_0001\\1", {"USB\\VID_1234&PID_0001"});
    EXPECT_EQ(expectedResult, PreinstallInf("m.inf", OPERATION_INSTALL));
    EXPECT_EQ(0, sim::OpenHandleCount());
    return Finish();
}

std::vector<std::string> UpdatedIds() {
    std::vector<std::string> ids;
    for (const sim::Call& c : sim::Journal()) {
        if (c.name == "UpdateDriverForPlugAndPlayDevicesA") {
            size_t start = c.args.find('"') + 1;
            ids.push_back(c.args.substr(start, c.args.find('"', start) - start));
        }
    }
    return ids;
}

TEST(InstallInfWalk, FirstManufacturerOnlyEveryLineLowerCased) {
    std::vector<std::string> log =
        Walk("[Manufacturer]\r\nKWE=Models,NTamd64\r\nOther=OtherModels,NTamd64\r\n"
             "[Models]\r\nA=Inst,USB\\VID_1234&PID_0001\r\nB=Inst,Usb\\Vid_1234&Pid_0002\r\n"
             "C=Inst\r\nD=Inst,usb\\vid_1234&pid_0001\r\n"
             "[Models.NTamd64]\r\nA=Inst,USB\\VID_1234&PID_0001\r\n"
             "[OtherModels]\r\nE=Inst,USB\\VID_9999&PID_0009\r\n",
             1);
    EXPECT_EQ((std::vector<std::string>{"usb\\vid_1234&pid_0001", "usb\\vid_1234&pid_0002",
                                        "usb\\vid_1234&pid_0001"}),
              UpdatedIds());
    EXPECT_EQ(1u, Matching(log, "Error: Skipping invalid description\n").size());
    EXPECT_TRUE(Contains(log, "Updating usb\\vid_1234&pid_0002\n"));
    EXPECT_EQ(2u, Matching(log, "Updated success!\n").size());
    EXPECT_EQ(1u, Matching(log, "UpdateDriver FAILURE: ").size());
    // The device is bound to the INF only after the INF went into the store.
    int stored = sim::FindCall("SetupCopyOEMInfA", CopyOemInfArgs(sim::PackageFolder("WIN7") + "m.inf"));
    ASSERT_NE(-1, stored);
    EXPECT_LT(stored, sim::FindCall("UpdateDriverForPlugAndPlayDevicesA"));
    EXPECT_EQ(2, sim::FindDevice("USB\\VID_1234&PID_0001\\1")->updateCount);
}

TEST(InstallInfWalk, ModelsSectionTakenExactlyAsNamed) {
    std::vector<std::string> log = Walk("[Manufacturer]\r\nKWE=Models,NTamd64\r\n"
                                        "[Models.NTamd64]\r\nA=Inst,USB\\VID_1234&PID_0001\r\n",
                                        0);
    EXPECT_TRUE(Contains(log, "Error: m.inf does not contain any device descriptions [Models]\n"));
    EXPECT_TRUE(UpdatedIds().empty());
    EXPECT_EQ(1u, sim::M().driverStore.size());
}

TEST(InstallInfWalk, FailureRecordsWhenTheWalkCannotStart) {
    EXPECT_TRUE(Contains(Walk("[Strings]\r\n", 0), "Error:does not contain any device descriptions\n"));
    EXPECT_TRUE(Contains(Walk("[Manufacturer]\r\nKWE=" + std::string(260, 'x') + "\r\n", 0),
                         "Error: skipping invalid description [Manufacturer]\n"));
    Begin(OS_CODE_WIN7, "WIN7");
    AddInf("m.inf", ModelInf("USB\\VID_1234&PID_0001"));
    sim::FailCall("SetupOpenInfFileA", 1, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(0, PreinstallInf("m.inf", OPERATION_INSTALL));
    EXPECT_TRUE(Contains(Finish(), "Error:Open m.inf file fail\n"));
}

TEST(InstallInfWalk, HardwareIdOf260CharactersIsUnreadable) {
    std::vector<std::string> log = Walk("[Manufacturer]\r\nKWE=Models\r\n[Models]\r\nA=Inst," +
                                            std::string(260, 'h') + "\r\nB=Inst,USB\\VID_1234&PID_0001\r\n",
                                        1);
    EXPECT_EQ(1u, Matching(log, "Error: Skipping invalid description\n").size());
    EXPECT_EQ(std::vector<std::string>{"usb\\vid_1234&pid_0001"}, UpdatedIds());
}

} // namespace
