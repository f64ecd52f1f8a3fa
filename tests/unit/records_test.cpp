// The registry records: install flag, uninstall entry and the modem drivers'
// power-management values, driven directly on the simulated machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/vendor_config.h"
#include "log/log.h"
#include "machine.h"
#include "records/records.h"
#include "run/run.h"

namespace {

const char kLogPath[] = "C:\\Windows\\Temp\\HandsetInstallInfo.log";
const char kFlagKey32[] = "SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag";
const char kFlagKey64[] = "SOFTWARE\\KWEUSBDriverFlag";
const char kEntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver";
const char kMdmKey[] = "SYSTEM\\CurrentControlSet\\Services\\KWEusbmdm6k";
const char kNmeaKey[] = "SYSTEM\\CurrentControlSet\\Services\\KWEusbnmea";
const char kSerKey[] = "SYSTEM\\CurrentControlSet\\Services\\KWEusbser6k";
const char kGorvelKey[] = "SYSTEM\\CurrentControlSet\\Services\\gorvel";
const char kPowerValue[] = "QCDriverPowerManagementEnabled";
const char kIdleValue[] = "QCDriverSelectiveSuspendIdleTime";
const char kTooLong[] = "Program path too long, uninstall entry not written!\n";

// Each test starts from a fresh machine and process-start state, with the
// install log open so that the records can be read back.
class RecordsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
        ASSERT_EQ(1, OpenInstallLog(kLogPath));
        logOpen_ = true;
        sim::ClearJournal();
    }
    void TearDown() override {
        CloseLog();
    }
    void CloseLog() {
        if (logOpen_) {
            CloseInstallLog();
            logOpen_ = false;
        }
    }
    // The records written so far (closes the log).
    std::vector<std::string> Messages() {
        CloseLog();
        return sim::LogMessages();
    }

    // The failure record for a step and an error, with the text the platform
    // gives for that error (or the code when it has none).
    static std::string FailureRecord(const std::string& step, DWORD code) {
        char* text = nullptr;
        DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                                 nullptr);
        std::string record = step + " FAILURE: ";
        if (n != 0 && text != nullptr) {
            record += text;
        } else {
            char hex[16];
            snprintf(hex, sizeof(hex), "(0x%08x)", static_cast<unsigned>(code));
            record += hex;
        }
        if (text != nullptr) {
            LocalFree(text);
        }
        return record;
    }

    // Names of the values set, in call order: the first quoted argument of
    // every RegSetValueExA call.
    static std::vector<std::string> SetValueNames() {
        std::vector<std::string> names;
        for (const sim::Call& c : sim::Journal()) {
            if (c.name != "RegSetValueExA") {
                continue;
            }
            size_t open = c.args.find('"');
            size_t close = c.args.find('"', open + 1);
            names.push_back(open == std::string::npos ? "" : c.args.substr(open + 1, close - open - 1));
        }
        return names;
    }

    static void ExpectDword(const std::string& key, const std::string& name, DWORD expected) {
        const sim::RegValue* v = sim::FindRegValue(key, name);
        ASSERT_NE(nullptr, v) << key << " " << name;
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v->type) << name;
        DWORD value = 0;
        ASSERT_TRUE(sim::GetRegDword(key, name, &value)) << name;
        EXPECT_EQ(expected, value) << name;
        EXPECT_EQ(4u, v->data.size()) << name;
    }

    // An entry value: REG_EXPAND_SZ, stored with its terminator.
    static void ExpectEntryText(const std::string& name, const std::string& text) {
        const sim::RegValue* v = sim::FindRegValue(kEntryKey, name);
        ASSERT_NE(nullptr, v) << name;
        EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), v->type) << name;
        EXPECT_EQ(text + std::string(1, '\0'), v->data) << name;
    }

    // The log holds exactly this one record.
    void ExpectOnlyRecord(const std::string& record) {
        EXPECT_EQ(std::vector<std::string>{record}, Messages());
    }

    bool logOpen_ = false;
};

// ------------------------------------------------------------ install flag

using RecordsInstallFlag = RecordsTest;

TEST_F(RecordsInstallFlag, WritesTheFlagUnderBothKeysThirtyTwoBitViewFirst) {
    EXPECT_EQ(1, SetInstallFlag());
    ExpectDword(kFlagKey32, "IsDriverInstalled", 1);
    ExpectDword(kFlagKey64, "IsDriverInstalled", 1);
    const std::string rest = "\", 0, NULL, 0, 131103, NULL, ptr, ptr";
    int first = sim::FindCall("RegCreateKeyExA", "HKLM, \"SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag" + rest);
    int second = sim::FindCall("RegCreateKeyExA", "HKLM, \"SOFTWARE\\KWEUSBDriverFlag" + rest);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_LT(first, second);
    EXPECT_EQ(2, sim::CallCount("RegCloseKey"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(RecordsInstallFlag, SecondRunOpensTheExistingKeysAndLeavesTheSameValues) {
    sim::SetRegDword(kFlagKey64, "IsDriverInstalled", 0);
    EXPECT_EQ(1, SetInstallFlag());
    EXPECT_EQ(1, SetInstallFlag());
    ExpectDword(kFlagKey32, "IsDriverInstalled", 1);
    ExpectDword(kFlagKey64, "IsDriverInstalled", 1);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(RecordsInstallFlag, FirstKeyFailureStopsBeforeTheSecondAndCarriesTheReturnedCode) {
    SetLastError(ERROR_FILE_NOT_FOUND); // an unrelated earlier error
    sim::FailCall("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, SetInstallFlag());
    EXPECT_EQ(1, sim::CallCount("RegCreateKeyExA"));
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey32));
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey64));
    ExpectOnlyRecord(FailureRecord("RegCreateKeyEx\n", ERROR_ACCESS_DENIED));
}

TEST_F(RecordsInstallFlag, FailedWriteClosesTheKeyAndSkipsTheSecondKey) {
    sim::FailCall("RegSetValueExA", 1, ERROR_CANTWRITE);
    EXPECT_EQ(0, SetInstallFlag());
    EXPECT_EQ(nullptr, sim::FindRegValue(kFlagKey32, "IsDriverInstalled"));
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey64));
    EXPECT_EQ(1, sim::CallCount("RegCloseKey"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    ExpectOnlyRecord(FailureRecord("RegSetValueEx\n", ERROR_CANTWRITE));
}

TEST_F(RecordsInstallFlag, SecondKeyFailureKeepsTheFirstFlag) {
    sim::FailCall("RegCreateKeyExA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, SetInstallFlag());
    ExpectDword(kFlagKey32, "IsDriverInstalled", 1);
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey64));
    EXPECT_EQ(0, sim::OpenHandleCount());
    ExpectOnlyRecord(FailureRecord("RegCreateKeyEx\n", ERROR_ACCESS_DENIED));
}

TEST_F(RecordsInstallFlag, DeleteRemovesBothKeys) {
    ASSERT_EQ(1, SetInstallFlag());
    EXPECT_EQ(1, DeleteInstallFlag());
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey32));
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey64));
    EXPECT_TRUE(sim::RegKeyExists("SOFTWARE\\Wow6432Node"));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(RecordsInstallFlag, DeleteWithoutTheThirtyTwoBitKeyLeavesTheOtherKey) {
    sim::SetRegDword(kFlagKey64, "IsDriverInstalled", 1);
    EXPECT_EQ(0, DeleteInstallFlag());
    EXPECT_EQ(1, sim::CallCount("RegDeleteKeyA"));
    EXPECT_TRUE(sim::RegKeyExists(kFlagKey64));
    ExpectOnlyRecord(FailureRecord("RegDeleteKey\n", ERROR_FILE_NOT_FOUND));
}

TEST_F(RecordsInstallFlag, DeleteWithoutTheSixtyFourBitKeyStillRemovesTheFirst) {
    sim::SetRegDword(kFlagKey32, "IsDriverInstalled", 1);
    EXPECT_EQ(0, DeleteInstallFlag());
    EXPECT_FALSE(sim::RegKeyExists(kFlagKey32));
    ExpectOnlyRecord(FailureRecord("RegDeleteKey\n", ERROR_FILE_NOT_FOUND));
}

// ------------------------------------------------------------ uninstall entry

using RecordsUninstallEntry = RecordsTest;

TEST_F(RecordsUninstallEntry, WritesTheEightValuesInOrder) {
    EXPECT_EQ(1, WriteUninstallEntry());
    std::vector<std::string> expectedOrder = {"DisplayName", "DisplayVersion", "UninstallString",
                                              "flag",        "Publisher",      "URLInfoAbout",
                                              "DisplayIcon", "InstallLocation"};
    EXPECT_EQ(expectedOrder, SetValueNames());
    ExpectEntryText("DisplayName", "KWE USB Driver");
    ExpectEntryText("DisplayVersion", "1.0.1.14");
    ExpectEntryText("UninstallString", "\"C:\\Setup\\Hallimor_x64.exe\" Uninstall");
    ExpectEntryText("flag", "Installed");
    ExpectEntryText("Publisher", "KWE Corporation");
    ExpectEntryText("URLInfoAbout", kVendorUrlInfoAbout);
    ExpectEntryText("DisplayIcon", "C:\\Setup\\Hallimor_x64.exe");
    ExpectEntryText("InstallLocation", "C:\\Setup");
    EXPECT_EQ(1, sim::CallCount("RegCreateKeyExA"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(RecordsUninstallEntry, UsesTheFixedFileNameAndQuotesAFolderWithBlanks) {
    sim::SetExePath("D:\\Setup Files\\x.exe");
    EXPECT_EQ(1, WriteUninstallEntry());
    ExpectEntryText("UninstallString", "\"D:\\Setup Files\\Hallimor_x64.exe\" Uninstall");
    ExpectEntryText("DisplayIcon", "D:\\Setup Files\\Hallimor_x64.exe");
    ExpectEntryText("InstallLocation", "D:\\Setup Files");
}

TEST_F(RecordsUninstallEntry, ProgramInADriveRootKeepsTheRootBackslash) {
    sim::SetExePath("E:\\x.exe");
    EXPECT_EQ(1, WriteUninstallEntry());
    ExpectEntryText("InstallLocation", "E:\\");
    ExpectEntryText("DisplayIcon", "E:\\\\Hallimor_x64.exe");
    ExpectEntryText("UninstallString", "\"E:\\\\Hallimor_x64.exe\" Uninstall");
}

TEST_F(RecordsUninstallEntry, WritingAgainOpensTheExistingEntry) {
    sim::SetRegString(kEntryKey, "DisplayVersion", "0.9", REG_SZ);
    sim::SetRegString(kEntryKey, "Comments", "kept", REG_SZ);
    EXPECT_EQ(1, WriteUninstallEntry());
    ExpectEntryText("DisplayVersion", "1.0.1.14");
    EXPECT_EQ("kept", sim::GetRegString(kEntryKey, "Comments"));
}

// Folder lengths around the limit: the quoted command adds 29 characters to
// the folder ("\"" + "\\Hallimor_x64.exe" + "\"" + " Uninstall").
static std::string FolderOfLength(size_t length) {
    std::string folder = "C:";
    while (folder.size() < length) {
        size_t part = std::min<size_t>(60, length - folder.size() - 1);
        folder += "\\" + std::string(part, 'd');
    }
    return folder;
}

TEST_F(RecordsUninstallEntry, LongestFolderThatFitsIsWrittenWhole) {
    std::string folder = FolderOfLength(230);
    ASSERT_EQ(230u, folder.size());
    sim::SetExePath(folder + "\\x.exe");
    EXPECT_EQ(1, WriteUninstallEntry());
    std::string command = "\"" + folder + "\\Hallimor_x64.exe\" Uninstall";
    ASSERT_EQ(259u, command.size());
    ExpectEntryText("UninstallString", command);
    ExpectEntryText("InstallLocation", folder);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(RecordsUninstallEntry, FolderOneCharacterTooLongIsRefusedNotTruncated) {
    std::string folder = FolderOfLength(231);
    ASSERT_EQ(231u, folder.size());
    sim::SetExePath(folder + "\\x.exe");
    EXPECT_EQ(0, WriteUninstallEntry());
    EXPECT_EQ(0, sim::CallCount("RegCreateKeyExA"));
    EXPECT_EQ(0, sim::CallCount("RegSetValueExA"));
    EXPECT_FALSE(sim::RegKeyExists(kEntryKey));
    ExpectOnlyRecord(kTooLong);
}

TEST_F(RecordsUninstallEntry, ProgramPathCutByTheBufferIsRefused) {
    // The folder alone would fit, but the program path does not: the module
    // path comes back cut at the buffer and must not be used.
    std::string folder = FolderOfLength(200);
    sim::SetExePath(folder + "\\" + std::string(70, 'p') + ".exe");
    EXPECT_EQ(0, WriteUninstallEntry());
    EXPECT_FALSE(sim::RegKeyExists(kEntryKey));
    ExpectOnlyRecord(kTooLong);
}

TEST_F(RecordsUninstallEntry, NoProgramPathWritesNothing) {
    sim::FailCall("GetModuleFileNameA", 1, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(0, WriteUninstallEntry());
    EXPECT_EQ(0, sim::CallCount("RegCreateKeyExA"));
    EXPECT_FALSE(sim::RegKeyExists(kEntryKey));
    ExpectOnlyRecord("Get current exe directory fail!\n");
}

TEST_F(RecordsUninstallEntry, CreateFailureWritesNoValue) {
    sim::FailCall("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, WriteUninstallEntry());
    EXPECT_EQ(0, sim::CallCount("RegSetValueExA"));
    EXPECT_FALSE(sim::RegKeyExists(kEntryKey));
    ExpectOnlyRecord(FailureRecord("RegCreateKeyEx\n", ERROR_ACCESS_DENIED));
}

TEST_F(RecordsUninstallEntry, FailureOnTheFourthValueKeepsTheFirstThree) {
    SetLastError(ERROR_SUCCESS);
    sim::FailCall("RegSetValueExA", 4, ERROR_CANTWRITE);
    EXPECT_EQ(0, WriteUninstallEntry());
    EXPECT_EQ(4, sim::CallCount("RegSetValueExA"));
    ExpectEntryText("DisplayName", "KWE USB Driver");
    ExpectEntryText("DisplayVersion", "1.0.1.14");
    ExpectEntryText("UninstallString", "\"C:\\Setup\\Hallimor_x64.exe\" Uninstall");
    for (const char* name : {"flag", "Publisher", "URLInfoAbout", "DisplayIcon", "InstallLocation"}) {
        EXPECT_EQ(nullptr, sim::FindRegValue(kEntryKey, name)) << name;
    }
    EXPECT_EQ(1, sim::CallCount("RegCloseKey"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    ExpectOnlyRecord(FailureRecord("RegSetValueEx\n", ERROR_CANTWRITE));
}

TEST_F(RecordsUninstallEntry, DeleteRemovesTheEntry) {
    ASSERT_EQ(1, WriteUninstallEntry());
    EXPECT_EQ(1, DeleteUninstallEntry());
    EXPECT_FALSE(sim::RegKeyExists(kEntryKey));
    EXPECT_TRUE(sim::RegKeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(RecordsUninstallEntry, DeleteWithoutAnEntryReportsOnce) {
    EXPECT_EQ(0, DeleteUninstallEntry());
    ExpectOnlyRecord(FailureRecord("RegDeleteKey\n", ERROR_FILE_NOT_FOUND));
}

// ------------------------------------------------------------ power settings

using RecordsPowerSettings = RecordsTest;

static std::string OpenLine(const char* key) {
    return std::string("Opent And Set CustomKey Start for ") + key + " \n";
}

TEST_F(RecordsPowerSettings, WritesBothValuesOnTheThreeKeysInOrder) {
    sim::AddRegKey(kMdmKey);
    sim::AddRegKey(kNmeaKey);
    sim::AddRegKey(kSerKey);
    EXPECT_EQ(1, SetModemPowerSettings());
    for (const char* key : {kMdmKey, kNmeaKey, kSerKey}) {
        ExpectDword(key, kPowerValue, 1);
        ExpectDword(key, kIdleValue, 48);
    }
    std::vector<std::string> names = SetValueNames();
    std::vector<std::string> expectedNames = {kPowerValue, kIdleValue,  kPowerValue,
                                              kIdleValue,  kPowerValue, kIdleValue};
    EXPECT_EQ(expectedNames, names);
    // Opened for reading and writing (0x2001F), never created.
    EXPECT_EQ(3, sim::CallCount("RegOpenKeyExA"));
    EXPECT_EQ(0, sim::CallCount("RegCreateKeyExA"));
    EXPECT_EQ(3u, sim::FindCalls("RegOpenKeyExA", "HKLM, *, 0, 131103, ptr").size());
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> expected = {"Set Registry For Preinstall Start... \n",
                                         OpenLine(kMdmKey),
                                         "Open reg key Success!\n",
                                         OpenLine(kNmeaKey),
                                         "Open reg key Success!\n",
                                         OpenLine(kSerKey),
                                         "Open reg key Success!\n"};
    EXPECT_EQ(expected, Messages());
}

TEST_F(RecordsPowerSettings, NoServiceKeysGivesTheSummaryAndCreatesNothing) {
    EXPECT_EQ(0, SetModemPowerSettings());
    EXPECT_FALSE(sim::RegKeyExists(kMdmKey));
    EXPECT_FALSE(sim::RegKeyExists(kNmeaKey));
    EXPECT_FALSE(sim::RegKeyExists(kSerKey));
    EXPECT_EQ(0, sim::CallCount("RegSetValueExA"));
    std::vector<std::string> expected = {
        "Set Registry For Preinstall Start... \n", OpenLine(kMdmKey),
        "Error: Opent Custom Key Failed\n",        OpenLine(kNmeaKey),
        "Error: Opent Custom Key Failed\n",        OpenLine(kSerKey),
        "Error: Opent Custom Key Failed\n",        "Set Registry For Preinstall All Failed \n"};
    EXPECT_EQ(expected, Messages());
}

TEST_F(RecordsPowerSettings, OneMissingKeyGivesNoSummary) {
    sim::AddRegKey(kNmeaKey);
    sim::AddRegKey(kSerKey);
    EXPECT_EQ(1, SetModemPowerSettings());
    EXPECT_FALSE(sim::RegKeyExists(kMdmKey));
    ExpectDword(kNmeaKey, kIdleValue, 48);
    ExpectDword(kSerKey, kPowerValue, 1);
    std::vector<std::string> log = Messages();
    ASSERT_EQ(7u, log.size());
    EXPECT_EQ("Error: Opent Custom Key Failed\n", log[2]);
    EXPECT_EQ("Open reg key Success!\n", log.back());
}

TEST_F(RecordsPowerSettings, TwoFailedKeysGiveNoSummary) {
    sim::AddRegKey(kSerKey);
    EXPECT_EQ(1, SetModemPowerSettings());
    ExpectDword(kSerKey, kIdleValue, 48);
    std::vector<std::string> log = Messages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("Open reg key Success!\n", log.back());
}

TEST_F(RecordsPowerSettings, FirstValueFailureSkipsTheSecondOnThatKeyOnly) {
    sim::AddRegKey(kMdmKey);
    sim::AddRegKey(kNmeaKey);
    sim::AddRegKey(kSerKey);
    sim::FailCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(1, SetModemPowerSettings());
    EXPECT_EQ(nullptr, sim::FindRegValue(kMdmKey, kPowerValue));
    EXPECT_EQ(nullptr, sim::FindRegValue(kMdmKey, kIdleValue));
    EXPECT_EQ(5, sim::CallCount("RegSetValueExA"));
    ExpectDword(kNmeaKey, kPowerValue, 1);
    ExpectDword(kSerKey, kIdleValue, 48);
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> log = Messages();
    ASSERT_EQ(8u, log.size());
    EXPECT_EQ("Error:  Set Key Value for powermagner Failed\n", log[3]);
    EXPECT_EQ(OpenLine(kNmeaKey), log[4]);
}

TEST_F(RecordsPowerSettings, SecondValueFailureKeepsTheFirst) {
    sim::AddRegKey(kMdmKey);
    sim::AddRegKey(kNmeaKey);
    sim::AddRegKey(kSerKey);
    sim::FailCall("RegSetValueExA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(1, SetModemPowerSettings());
    ExpectDword(kMdmKey, kPowerValue, 1);
    EXPECT_EQ(nullptr, sim::FindRegValue(kMdmKey, kIdleValue));
    ExpectDword(kNmeaKey, kIdleValue, 48);
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> log = Messages();
    ASSERT_EQ(8u, log.size());
    EXPECT_EQ("Error:  Set Key Value for Suspend Idle Time Failed\n", log[3]);
}

TEST_F(RecordsPowerSettings, MissingKeyAndFailedFirstValuesCountAsThreeFailures) {
    sim::AddRegKey(kNmeaKey);
    sim::AddRegKey(kSerKey);
    sim::FailAllCalls("RegSetValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, SetModemPowerSettings());
    EXPECT_EQ(2, sim::CallCount("RegSetValueExA"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> log = Messages();
    std::vector<std::string> expected = {"Set Registry For Preinstall Start... \n",
                                         OpenLine(kMdmKey),
                                         "Error: Opent Custom Key Failed\n",
                                         OpenLine(kNmeaKey),
                                         "Open reg key Success!\n",
                                         "Error:  Set Key Value for powermagner Failed\n",
                                         OpenLine(kSerKey),
                                         "Open reg key Success!\n",
                                         "Error:  Set Key Value for powermagner Failed\n",
                                         "Set Registry For Preinstall All Failed \n"};
    EXPECT_EQ(expected, log);
}

TEST_F(RecordsPowerSettings, FailedSecondValueCountsTheKeyOnce) {
    // Two keys missing and the third failing at its second value: all three
    // failed, and the summary comes once.
    sim::AddRegKey(kSerKey);
    sim::FailCall("RegSetValueExA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, SetModemPowerSettings());
    ExpectDword(kSerKey, kPowerValue, 1);
    EXPECT_EQ(nullptr, sim::FindRegValue(kSerKey, kIdleValue));
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> log = Messages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("Error:  Set Key Value for Suspend Idle Time Failed\n", log[log.size() - 2]);
    EXPECT_EQ("Set Registry For Preinstall All Failed \n", log.back());
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "Set Registry For Preinstall All Failed \n"));
}

using RecordsPowerDelete = RecordsTest;

TEST_F(RecordsPowerDelete, DeletesBothValuesAndKeepsTheRest) {
    sim::SetRegDword(kMdmKey, kPowerValue, 1);
    sim::SetRegDword(kMdmKey, kIdleValue, 48);
    sim::SetRegDword(kMdmKey, "Start", 3);
    EXPECT_EQ(1, DeletePowerSettings(kMdmKey));
    EXPECT_EQ(nullptr, sim::FindRegValue(kMdmKey, kPowerValue));
    EXPECT_EQ(nullptr, sim::FindRegValue(kMdmKey, kIdleValue));
    ExpectDword(kMdmKey, "Start", 3);
    // Opened for setting values only (KEY_SET_VALUE).
    EXPECT_EQ(std::vector<std::string>{"RegOpenKeyExA(HKLM, \"" + std::string(kMdmKey) + "\", 0, 2, ptr)"},
              sim::CallLines({"RegOpenKeyExA"}));
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> expected = {std::string("Open And Delete Custom Key for --") + kMdmKey +
                                             "-- start...\n",
                                         "Delete Key Value QCDriverPowerManagementEnabled Success\n",
                                         "Delete Key Value QCDriverSelectiveSuspendIdleTime Success\n"};
    EXPECT_EQ(expected, Messages());
}

TEST_F(RecordsPowerDelete, MissingValuesAreWarnedAboutAndStillSucceed) {
    sim::AddRegKey(kNmeaKey);
    sim::SetRegDword(kSerKey, kIdleValue, 48);
    EXPECT_EQ(1, DeletePowerSettings(kNmeaKey));
    EXPECT_EQ(1, DeletePowerSettings(kSerKey));
    EXPECT_EQ(nullptr, sim::FindRegValue(kSerKey, kIdleValue));
    std::vector<std::string> expected = {
        std::string("Open And Delete Custom Key for --") + kNmeaKey + "-- start...\n",
        "Warning: Delete Key Value QCDriverPowerManagementEnabled Failed\n",
        "Warning: Delete Key Value QCDriverSelectiveSuspendIdleTime Failed\n",
        std::string("Open And Delete Custom Key for --") + kSerKey + "-- start...\n",
        "Warning: Delete Key Value QCDriverPowerManagementEnabled Failed\n",
        "Delete Key Value QCDriverSelectiveSuspendIdleTime Success\n"};
    EXPECT_EQ(expected, Messages());
}

TEST_F(RecordsPowerDelete, MissingKeyIsReportedAndNotCreated) {
    EXPECT_EQ(0, DeletePowerSettings(kSerKey));
    EXPECT_FALSE(sim::RegKeyExists(kSerKey));
    EXPECT_EQ(0, sim::CallCount("RegDeleteValueA"));
    std::vector<std::string> expected = {
        std::string("Open And Delete Custom Key for --") + kSerKey + "-- start...\n",
        std::string("Error: Open Custome Key-- ") + kSerKey + " -- Failed\n"};
    EXPECT_EQ(expected, Messages());
}

TEST_F(RecordsPowerDelete, SingleValueIsDeleted) {
    sim::SetRegString(kGorvelKey, "gorvel", "x");
    sim::SetRegDword(kGorvelKey, "Start", 0);
    EXPECT_EQ(1, DeleteRegistryValue(kGorvelKey, "gorvel"));
    EXPECT_EQ(nullptr, sim::FindRegValue(kGorvelKey, "gorvel"));
    ExpectDword(kGorvelKey, "Start", 0);
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> expected = {std::string("Open And Delete Key Value --subkey:") + kGorvelKey +
                                             "--keygorvel-- start...\n",
                                         "Delete Key Value gorvel Success\n"};
    EXPECT_EQ(expected, Messages());
}

TEST_F(RecordsPowerDelete, SingleValueMissingOrKeyMissing) {
    sim::AddRegKey(kGorvelKey);
    EXPECT_EQ(1, DeleteRegistryValue(kGorvelKey, "gorvel"));
    sim::RemoveRegKeyTree(kGorvelKey);
    EXPECT_EQ(0, DeleteRegistryValue(kGorvelKey, "gorvel"));
    EXPECT_FALSE(sim::RegKeyExists(kGorvelKey));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(4u, log.size());
    EXPECT_EQ("Warning: Delete Key Value gorvel Failed\n", log[1]);
    EXPECT_EQ(std::string("Error: Open Custome Key-- ") + kGorvelKey + " -- Failed\n", log[3]);
}

} // namespace
