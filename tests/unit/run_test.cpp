// Whole runs: the operation word, the fixed start of a run, the sequences of
// the operations and every way a run ends with -1.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/operation.h"
#include "environment/environment.h"
#include "machine.h"
#include "run/run.h"

namespace {

const std::string kBanner = std::string(16, '*') + " KWE Driver Install " + std::string(16, '*') + "\n\n";
const std::string kVersionLine = "Version    : 1.0.1.17 \n";
const std::string kFinish = std::string(25, '*') + "Finish" + std::string(23, '*') + "\n\n";

const char kFlagKey32[] = "SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag";
const char kFlagKey64[] = "SOFTWARE\\KWEUSBDriverFlag";
const char kUninstallEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver";

// Index of the first journalled call at or after from whose arguments hold
// part, whatever the operation; -1 when there is none.
int FindAnyCall(const std::string& part, int from = 0) {
    const std::vector<sim::Call>& journal = sim::Journal();
    for (size_t i = static_cast<size_t>(from); i < journal.size(); ++i) {
        if (journal[i].args.find(part) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

class RunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
    }
    // A Windows 7 package of one driver and one INF.
    static void AddSmallPackage() {
        sim::AddPackageFile("WIN7", "kwemdm.sys", "driver");
        sim::AddPackageFile("WIN7", "kwemdm.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    }
};

// ------------------------------------------------------------ the operation word

struct WordRow {
    const char* word;
    int code;
    const char* line;
};

class RunWordTest : public RunTest, public ::testing::WithParamInterface<WordRow> {};

TEST_P(RunWordTest, SetsTheCodeAndLogsItsLine) {
    const WordRow& row = GetParam();
    AddSmallPackage();
    EXPECT_EQ(0, sim::Run({row.word}));
    EXPECT_EQ(row.code, g_OperationCode);
    std::vector<std::string> messages = sim::LogMessages();
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(kBanner, messages[0]);
    EXPECT_EQ(kVersionLine, messages[1]);
    EXPECT_EQ(row.line, messages[2]);
    EXPECT_EQ("OS Version : ", messages[3]);
    EXPECT_EQ(kFinish, messages.back());
}

INSTANTIATE_TEST_SUITE_P(Words, RunWordTest,
                         ::testing::Values(WordRow{"Uninstall", 3, "OperateCode: Uninstall\n"},
                                           WordRow{"Clean", 9, "OperateCode: Clean\n"},
                                           WordRow{"Preinstall", 6, "OperateCode: Preinstall\n"},
                                           WordRow{"Install", 8, "OperateCode: Install\n"},
                                           WordRow{"Preinstall_f", 7, "OperateCode: Preinstall_f\n"},
                                           WordRow{"Preinstall_cfg", 11, "OperateCode: Preinstall_cfg\n"},
                                           WordRow{"Preinstall_cu", 12, "OperateCode: Preinstall_cu\n"},
                                           WordRow{"Preinstall_BYT", 13, "OperateCode: Preinstall Type5\n"},
                                           // Letter case, prefixes and longer words are not the word.
                                           WordRow{"install", 8, "OperateCode: NULL\n"},
                                           WordRow{"INSTALL", 8, "OperateCode: NULL\n"},
                                           WordRow{"Install ", 8, "OperateCode: NULL\n"},
                                           WordRow{"Installx", 8, "OperateCode: NULL\n"},
                                           WordRow{"Uninstal", 8, "OperateCode: NULL\n"},
                                           WordRow{"clean", 8, "OperateCode: NULL\n"},
                                           WordRow{"Preinstall_byt", 8, "OperateCode: NULL\n"},
                                           WordRow{"Preinstall_BYTE", 8, "OperateCode: NULL\n"},
                                           WordRow{"Preinstall_", 8, "OperateCode: NULL\n"},
                                           WordRow{"", 8, "OperateCode: NULL\n"}));

TEST_F(RunTest, AnyOtherArgumentCountMeansInstall) {
    AddSmallPackage();
    const std::vector<std::vector<std::string>> commandLines = {
        {}, {"Uninstall", "Uninstall"}, {"Clean", "x"}, {"Preinstall", "Install", "Clean"}};
    for (const std::vector<std::string>& words : commandLines) {
        SCOPED_TRACE(words.size());
        SetUp();
        AddSmallPackage();
        EXPECT_EQ(0, sim::Run(words));
        EXPECT_EQ(OPERATION_INSTALL, g_OperationCode);
        std::vector<std::string> messages = sim::LogMessages();
        ASSERT_GE(messages.size(), 3u);
        EXPECT_EQ("OperateCode: Install\n", messages[2]);
    }
}

TEST_F(RunTest, WindowsSevenInstallStartsAsDescribed) {
    AddSmallPackage();
    EXPECT_EQ(0, sim::Run({"Install"}));
    std::vector<std::string> messages = sim::LogMessages();
    std::vector<std::string> head = {kBanner,
                                     kVersionLine,
                                     "OperateCode: Install\n",
                                     "OS Version : ",
                                     "dwMajorVersion : 6;dwMinorVersion : 1",
                                     "Windows 7 ",
                                     "Service Pack 1 (Build 7601)\n",
                                     "Directory : C:\\Setup\n",
                                     "Search file name: C:\\Setup\\Drivers\\64bit\\WIN7\\*.sys\n",
                                     "Sys file list:\n",
                                     "1.kwemdm.sys\n",
                                     "Search file name: C:\\Setup\\Drivers\\64bit\\WIN7\\*.inf\n",
                                     "Inf file list:\n",
                                     "1.kwemdm.inf\n"};
    ASSERT_GE(messages.size(), head.size());
    EXPECT_EQ(head,
              std::vector<std::string>(messages.begin(), messages.begin() + static_cast<long>(head.size())));
    EXPECT_EQ(kFinish, messages.back());
    EXPECT_EQ(OS_CODE_WIN7, g_OsCode);
    EXPECT_STREQ("C:\\Windows\\system32\\drivers\\", g_SystemDriversFolder);
    // What the package supersedes goes before the install: the OEM INFs, the
    // listed driver files, then the support library.
    int oemSearch = sim::FindCall("FindFirstFileA", "\"C:\\Windows\\inf\\oem*.inf\", ptr");
    int oldDriver = sim::FindCall("DeleteFileA", "\"C:\\Windows\\system32\\drivers\\kwemdm.sys\"");
    int library = sim::FindCall("DeleteFileA", "\"C:\\Windows\\system32\\brommet.dll\"");
    ASSERT_GE(oemSearch, 0);
    EXPECT_LT(oemSearch, oldDriver);
    EXPECT_LT(oldDriver, library);
    EXPECT_LT(library, sim::FindCall("CopyFileA"));
    // Every record ends in CR LF in the file.
    std::string text = sim::LogText();
    EXPECT_EQ("\r\n\r\n", text.substr(text.size() - 4));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "a line feed without carriage return at " << i;
        }
    }
}

// ------------------------------------------------------------ runs that end with -1

TEST_F(RunTest, LogThatCannotBeOpenedEndsTheRunSilently) {
    AddSmallPackage();
    sim::RemovePath("C:\\Windows\\Temp");
    EXPECT_EQ(RUN_FAILED, sim::Run({"Install"}));
    EXPECT_FALSE(sim::FileExists("C:\\Windows\\Temp\\HandsetInstallInfo.log"));
    EXPECT_EQ(0, sim::CallCount("GetVersionExA"));
    EXPECT_EQ(0, sim::CallCount("FindFirstFileA"));
}

TEST_F(RunTest, LogPathUpTo259Characters) {
    // "\Temp\HandsetInstallInfo.log" adds 28 characters.
    std::string windows = "C:\\" + std::string(228, 'w'); // 231
    sim::SetWindowsDirectory(windows);
    sim::AddDirectory(windows + "\\Temp");
    sim::Run({"Clean"});
    EXPECT_TRUE(sim::FileExists(windows + "\\Temp\\HandsetInstallInfo.log"));

    SetUp();
    windows += "w"; // 232: the log path would need 260 characters
    sim::SetWindowsDirectory(windows);
    sim::AddDirectory(windows + "\\Temp");
    EXPECT_EQ(RUN_FAILED, sim::Run({"Clean"}));
    EXPECT_TRUE(sim::ListFolder(windows + "\\Temp").empty());
    EXPECT_EQ(0, sim::CallCount("GetVersionExA"));
}

TEST_F(RunTest, WithoutWindowsFolderTheLogGoesToTheCurrentDrive) {
    sim::SetWindowsDirectory("");
    sim::AddDirectory("C:\\Temp");
    EXPECT_EQ(RUN_FAILED, sim::Run({"Clean"}));
    std::vector<std::string> messages = sim::LogMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ("Error: Couldn't find the system folder\n", messages[messages.size() - 2]);
    EXPECT_EQ("Error : Get windows driver directory fail\n", messages.back());
    EXPECT_TRUE(sim::FileExists("C:\\Temp\\HandsetInstallInfo.log"));
}

TEST_F(RunTest, SystemFoldersFailing) {
    AddSmallPackage();
    sim::FailCall("GetWindowsDirectoryA", 2, ERROR_ACCESS_DENIED); // the first builds the log path
    EXPECT_EQ(RUN_FAILED, sim::Run({"Install"}));
    std::vector<std::string> messages = sim::LogMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ("Error: Couldn't find the system folder\n", messages[messages.size() - 2]);
    EXPECT_EQ("Error : Get windows driver directory fail\n", messages.back());
    EXPECT_EQ(0, sim::CallCount("FindFirstFileA"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(RunTest, MissingPackageReportsOneForBothCounts) {
    EXPECT_EQ(RUN_FAILED, sim::Run({"Install"}));
    std::vector<std::string> messages = sim::LogMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(0u, messages[messages.size() - 2].find("FindFirstFile(sys) FAILURE: "));
    EXPECT_EQ("Error:Search sys file 1; inf file 1\n", messages.back());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(RunTest, PackageWithoutInfRemovesNothing) {
    sim::AddPackageFile("WIN7", "kwemdm.sys", "new");
    sim::AddPackageFile("WIN7", "kwenmea.sys", "new");
    sim::AddFile(sim::SystemDriversFolder() + "kwemdm.sys", "old");
    EXPECT_EQ(RUN_FAILED, sim::Run({"Preinstall"}));
    EXPECT_EQ("Error:Search sys file 3; inf file 1\n", sim::LogMessages().back());
    EXPECT_EQ("old", sim::FileData(sim::SystemDriversFolder() + "kwemdm.sys"));
    EXPECT_EQ(-1, sim::FindCall("WinExec"));
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey64));
}

TEST_F(RunTest, OversizedPackageIsNotTouched) {
    for (int i = 0; i < 51; ++i) {
        std::string name = "drv" + std::to_string(100 + i) + ".sys";
        sim::AddPackageFile("WIN7", name, "new");
        sim::AddFile(sim::SystemDriversFolder() + name, "old");
    }
    sim::AddPackageFile("WIN7", "kwemdm.inf");
    EXPECT_EQ(RUN_FAILED, sim::Run({"Install"}));
    std::vector<std::string> messages = sim::LogMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ("Error : The driver package holds more than 50 sys files\n", messages[messages.size() - 2]);
    EXPECT_EQ("Error:Search sys file 51; inf file 1\n", messages.back());
    EXPECT_EQ("old", sim::FileData(sim::SystemDriversFolder() + "drv100.sys"));
    EXPECT_EQ("old", sim::FileData(sim::SystemDriversFolder() + "drv150.sys"));
    EXPECT_EQ(0, sim::CallCount("CopyFileA"));
}

TEST_F(RunTest, OverlongNameInThePackageEndsTheRun) {
    AddSmallPackage();
    sim::AddPackageFile("WIN7", std::string(70, 'x') + ".inf");
    EXPECT_EQ(RUN_FAILED, sim::Run({"Install"}));
    EXPECT_EQ("Error:Search sys file 2; inf file 2\n", sim::LogMessages().back());
    EXPECT_EQ(0, sim::CallCount("SetupCopyOEMInfA"));
}

// ------------------------------------------------------------ runs that go on

TEST_F(RunTest, UnknownVersionIsNotFatal) {
    sim::M().version.extendedRecordAvailable = false;
    sim::M().version.basicRecordAvailable = false;
    sim::AddPackageFile("", "kwemdm.sys");
    sim::AddPackageFile("", "kwemdm.inf");
    EXPECT_EQ(0, sim::Run({"Install"}));
    std::vector<std::string> messages = sim::LogMessages();
    ASSERT_GE(messages.size(), 5u);
    EXPECT_EQ("OS Version : ", messages[3]);
    EXPECT_EQ("Get OS version failed!\n", messages[4]);
    EXPECT_GE(sim::FindCall("FindFirstFileA", "\"C:\\Setup\\Drivers\\64bit\\\\*.sys\", ptr"), 0);
    EXPECT_EQ(0, g_OsCode);
}

TEST_F(RunTest, CleanNeedsNoPackage) {
    EXPECT_EQ(0, sim::Run({"Clean"}));
    EXPECT_EQ(std::vector<std::string>{"FindFirstFileA(\"C:\\Windows\\inf\\oem*.inf\", ptr)"},
              sim::CallLines({"FindFirstFileA"}));
    EXPECT_EQ(-1, sim::FindCall("GetModuleFileNameA"));
    EXPECT_EQ(kFinish, sim::LogMessages().back());
}

TEST_F(RunTest, FailedStepsDoNotChangeTheExitCode) {
    AddSmallPackage();
    sim::FailAllCalls("CopyFileA", ERROR_ACCESS_DENIED);
    sim::FailAllCalls("SetupCopyOEMInfA", ERROR_ACCESS_DENIED);
    sim::FailAllCalls("RegCreateKeyExA", ERROR_ACCESS_DENIED);
    sim::FailAllCalls("RegDeleteKeyA", ERROR_ACCESS_DENIED);
    for (const char* word : {"Install", "Preinstall", "Preinstall_BYT", "Uninstall"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(0, sim::Run({word}));
        EXPECT_EQ(kFinish, sim::LogMessages().back());
    }
}

TEST_F(RunTest, EachRunStartsFromProcessStartValues) {
    AddSmallPackage();
    EXPECT_EQ(0, sim::Run({"Clean"}));
    EXPECT_EQ(OPERATION_CLEAN, g_OperationCode);

    // A later run on Windows 8 gets no OS folder name: the old one is gone.
    sim::SetWindowsVersion(6, 2, 9200, "");
    sim::AddPackageFile("", "other.sys");
    sim::AddPackageFile("", "other.inf");
    sim::ClearJournal();
    EXPECT_EQ(0, sim::Run({}));
    EXPECT_EQ(OPERATION_INSTALL, g_OperationCode);
    EXPECT_EQ(0, g_OsCode);
    EXPECT_STREQ("C:\\Setup\\Drivers\\64bit\\\\", g_DriverPackageFolder);
    EXPECT_STREQ("other.sys", g_DriverFiles[0]);
    EXPECT_EQ(1, g_DriverFileCount);
    // The log holds this run's records only.
    std::vector<std::string> messages = sim::LogMessages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ("OperateCode: Install\n", messages[2]);
    EXPECT_EQ(1, static_cast<int>(std::count(messages.begin(), messages.end(), kBanner)));
}

// ------------------------------------------------------------ sequences

struct SequenceRow {
    const char* word;
    bool installFlag;
    bool uninstallEntry;
    bool ejectTool;
};

class RunSequenceTest : public RunTest, public ::testing::WithParamInterface<SequenceRow> {};

TEST_P(RunSequenceTest, WritesOnlyItsOwnRecords) {
    const SequenceRow& row = GetParam();
    AddSmallPackage();
    EXPECT_EQ(0, sim::Run({row.word}));
    EXPECT_EQ(row.installFlag, sim::RegKeyExists(kFlagKey32));
    EXPECT_EQ(row.installFlag, sim::RegKeyExists(kFlagKey64));
    EXPECT_EQ(row.uninstallEntry, sim::RegKeyExists(kUninstallEntry));
    EXPECT_EQ(row.ejectTool, sim::FindCall("WinExec", "\"\"C:\\Setup\\lantrope.exe\"\", 0") >= 0);
}

INSTANTIATE_TEST_SUITE_P(Operations, RunSequenceTest,
                         ::testing::Values(SequenceRow{"Install", false, false, false},
                                           SequenceRow{"Preinstall", true, false, true},
                                           SequenceRow{"Preinstall_f", true, false, false},
                                           SequenceRow{"Preinstall_cu", false, true, true},
                                           SequenceRow{"Preinstall_BYT", false, true, true},
                                           SequenceRow{"Preinstall_cfg", false, false, true}));

// The last pass of the device removal (all devices of the USB enumerator).
int LastRemovalPass() {
    std::vector<int> passes = sim::FindCalls("SetupDiGetClassDevsA", "NULL, \"USB\", NULL, 4");
    return passes.empty() ? -1 : passes.back();
}

// Preinstall_cfg removes the devices, preinstalls, then sets the power
// settings; Preinstall_BYT preinstalls (ending with the tool), installs, then
// writes the uninstall entry.
TEST_F(RunTest, CompoundWordsKeepTheirStepOrder) {
    AddSmallPackage();
    sim::AddRegKey("SYSTEM\\CurrentControlSet\\Services\\KWEusbmdm6k");
    EXPECT_EQ(0, sim::Run({"Preinstall_cfg"}));
    const std::string toolArgs = "\"\"C:\\Setup\\lantrope.exe\"\", 0";
    int tool = sim::FindCall("WinExec", toolArgs);
    ASSERT_GE(tool, 0);
    int removal = LastRemovalPass();
    ASSERT_GE(removal, 0);
    EXPECT_LT(removal, sim::FindCall("SetupCopyOEMInfA"));
    EXPECT_GT(FindAnyCall("KWEusbmdm6k", tool), tool);

    SetUp();
    AddSmallPackage();
    EXPECT_EQ(0, sim::Run({"Preinstall_BYT"}));
    tool = sim::FindCall("WinExec", toolArgs);
    int installWalk =
        sim::FindCall("SetupOpenInfFileA", "\"" + sim::PackageFolder("WIN7") + "kwemdm.inf\", NULL, 2, NULL");
    int entry = sim::FindCall("RegCreateKeyExA", "HKLM, \"" + std::string(kUninstallEntry) + "\\\", ...");
    ASSERT_GE(tool, 0);
    EXPECT_LT(tool, installWalk);
    EXPECT_LT(installWalk, entry);
}

TEST_F(RunTest, UninstallTakesTheRecordsAway) {
    AddSmallPackage();
    sim::SetRegDword(kFlagKey32, "IsDriverInstalled", 1);
    sim::SetRegDword(kFlagKey64, "IsDriverInstalled", 1);
    sim::SetRegString(kUninstallEntry, "DisplayName", "KWE USB Driver", REG_EXPAND_SZ);
    sim::SetRegDword("SYSTEM\\CurrentControlSet\\Services\\gorvel", "gorvel", 1);
    for (const char* service : {"KWEusbmdm6k", "KWEusbnmea", "KWEusbser6k"}) {
        sim::AddRegKey(std::string("SYSTEM\\CurrentControlSet\\Services\\") + service);
    }
    EXPECT_EQ(0, sim::Run({"Uninstall"}));
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey32));
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey64));
    EXPECT_FALSE(sim::RegKeyExists(kUninstallEntry));
    EXPECT_EQ(nullptr, sim::FindRegValue("SYSTEM\\CurrentControlSet\\Services\\gorvel", "gorvel"));
    // The three service keys in their order, then the filter's value.
    int entry = sim::FindCall("RegDeleteKeyA", "HKLM, \"" + std::string(kUninstallEntry) + "\\\"");
    int flag = sim::FindCall("RegDeleteKeyA", "HKLM, \"" + std::string(kFlagKey32) + "\"");
    int mdm = FindAnyCall("Services\\KWEusbmdm6k");
    int nmea = FindAnyCall("Services\\KWEusbnmea");
    int ser = FindAnyCall("Services\\KWEusbser6k");
    int filter = FindAnyCall("Services\\gorvel");
    EXPECT_LT(LastRemovalPass(), entry);
    EXPECT_LT(entry, flag);
    EXPECT_LT(flag, mdm);
    EXPECT_LT(mdm, nmea);
    EXPECT_LT(nmea, ser);
    EXPECT_LT(ser, filter);
    EXPECT_EQ(-1, sim::FindCall("WinExec"));
}

} // namespace
