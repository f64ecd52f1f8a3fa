// The scenario files and the dump format that the Wine comparison shares
// with the simulated machine, and the machine behaviours that the comparison
// maps because Wine cannot show them (docs/wine-limitations.md).
#include <gtest/gtest.h>

#include "machine.h"
#include "scenario.h"

namespace {

TEST(CompareScenarioParse, DirectivesWordsAndWindows) {
    compare::Scenario s;
    std::string error;
    ASSERT_TRUE(
        compare::ParseScenario("# comment\r\n\nwindows|vista\npackage\ndevice|USB\\A\\1|USB\\A|USB\\B\n"
                               "words|Preinstall_cu\nfile|system32\\x.dll|\n",
                               ".", &s, &error))
        << error;
    EXPECT_EQ("vista", s.windows);
    ASSERT_TRUE(s.hasWords);
    EXPECT_EQ(std::vector<std::string>{"Preinstall_cu"}, s.words);
    ASSERT_EQ(3u, s.directives.size());
    EXPECT_EQ("package", s.directives[0].name);
    EXPECT_EQ((std::vector<std::string>{"USB\\A\\1", "USB\\A", "USB\\B"}), s.directives[1].fields);
    EXPECT_EQ(5, s.directives[1].line);
    // A trailing separator is an empty last field, not a lost one.
    EXPECT_EQ((std::vector<std::string>{"system32\\x.dll", ""}), s.directives[2].fields);
}

TEST(CompareScenarioParse, NoWordAndBadLines) {
    compare::Scenario s;
    std::string error;
    ASSERT_TRUE(compare::ParseScenario("words|\n", ".", &s, &error));
    EXPECT_TRUE(s.hasWords);
    EXPECT_TRUE(s.words.empty());
    compare::Scenario bad;
    EXPECT_FALSE(compare::ParseScenario("windows|win95\n", ".", &bad, &error));
    EXPECT_NE(std::string::npos, error.find("line 1"));
    EXPECT_FALSE(compare::ParseScenario("package\ninclude|no-such-file.scn\n", ".", &bad, &error));
    EXPECT_NE(std::string::npos, error.find("line 2"));
}

TEST(CompareScenarioVersions, AsWineReportsThem) {
    const compare::WindowsVersion* v = compare::FindWindowsVersion("win2003");
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(5u, v->major);
    EXPECT_EQ(2u, v->minor);
    EXPECT_EQ(3, v->productType);
    v = compare::FindWindowsVersion("win10");
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(6u, v->major); // nothing above 6.2 reaches a program without a manifest
    EXPECT_EQ(2u, v->minor);
    EXPECT_STREQ("", v->csdVersion);
    EXPECT_EQ(nullptr, compare::FindWindowsVersion("winxp"));
}

TEST(CompareLogRecords, StampsGoLineFeedsAreEscapedAndKnownTextsBecomeCodes) {
    std::string log =
        "(2009/3/7 9:5:2) OS Version : (2009/3/7 9:5:2) Windows 7 \r\n"
        "(2010/12/31 23:59:59) Remove  FAILURE: The system cannot find the file specified.\r\r\n"
        "(2010/12/31 23:59:59) UpdateDriver FAILURE: (0xe000020b)"
        "(2010/12/31 23:59:59) Error: FAILURE: Something new.\r\r\n";
    std::vector<std::string> records =
        compare::LogRecords(log, {{"The system cannot find the file specified.\n", 2}});
    ASSERT_EQ(5u, records.size());
    EXPECT_EQ("OS Version : ", records[0]);
    EXPECT_EQ("Windows 7 \\n", records[1]);
    EXPECT_EQ("Remove  FAILURE: [error 2]", records[2]);
    EXPECT_EQ("UpdateDriver FAILURE: (0xe000020b)", records[3]);
    EXPECT_EQ("Error: FAILURE: Something new.\\n", records[4]);
    EXPECT_TRUE(compare::LogRecords("no stamp at all\r\n", {}).empty());
}

TEST(CompareRegistryDump, WhichKeysAndValues) {
    std::string name;
    EXPECT_TRUE(compare::DumpedRegistryKey("SOFTWARE\\WOW6432NODE\\KWEUSBDRIVERFLAG"));
    EXPECT_TRUE(compare::DumpedRegistryKey("SYSTEM\\CURRENTCONTROLSET\\SERVICES\\GORVEL"));
    EXPECT_FALSE(compare::DumpedRegistryKey("SYSTEM\\CURRENTCONTROLSET\\SERVICES\\USBSTOR"));
    EXPECT_FALSE(compare::DumpedRegistryKey("SYSTEM\\CURRENTCONTROLSET\\SERVICES\\KWEUSBMDM6KX"));
    EXPECT_TRUE(
        compare::DumpedRegistryKey("SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_3E1F&PID_C301\\6&1&0&1"));
    EXPECT_FALSE(compare::DumpedRegistryKey("SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_3E1F&PID_C301"));

    EXPECT_TRUE(
        compare::DumpedRegistryValue("SYSTEM\\CURRENTCONTROLSET\\SERVICES\\USBSTOR", "GORVEL", &name));
    EXPECT_EQ("gorvel", name);
    EXPECT_FALSE(
        compare::DumpedRegistryValue("SYSTEM\\CURRENTCONTROLSET\\SERVICES\\USBSTOR", "Start", &name));
    EXPECT_TRUE(compare::DumpedRegistryValue("SYSTEM\\CURRENTCONTROLSET\\SERVICES\\VSS", "start", &name));
    EXPECT_EQ("Start", name);
    EXPECT_TRUE(compare::DumpedRegistryValue(
        "SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_3E1F&PID_C301\\6&1&0&1\\DEVICE PARAMETERS", "gorvel",
        &name));
    EXPECT_FALSE(compare::DumpedRegistryValue(
        "SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_3E1F&PID_C301\\6&1&0&1", "Driver", &name));
    EXPECT_TRUE(compare::DumpedRegistryValue(
        "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\KWE USB DRIVER", "flag", &name));
    EXPECT_EQ("flag", name);
}

TEST(CompareRegistryDump, CanonicalData) {
    EXPECT_EQ("REG_DWORD 0x00000030", compare::RegistryData(REG_DWORD, std::string("\x30\0\0\0", 4)));
    EXPECT_EQ("REG_DWORD 0x80000001", compare::RegistryData(REG_DWORD, std::string("\x01\0\0\x80", 4)));
    // A 256-byte property buffer ends at its first terminator.
    std::string friendly = std::string("KWE Mass Storage Device") + std::string(233, '\0');
    EXPECT_EQ("REG_SZ KWE Mass Storage Device", compare::RegistryData(REG_SZ, friendly));
    std::string filters = std::string("gorvel") + std::string(250, '\0');
    EXPECT_EQ("REG_MULTI_SZ gorvel", compare::RegistryData(REG_MULTI_SZ, filters));
    EXPECT_EQ("REG_MULTI_SZ a;b", compare::RegistryData(REG_MULTI_SZ, std::string("a\0b\0\0", 5)));
    EXPECT_EQ("REG_MULTI_SZ a", compare::RegistryData(REG_MULTI_SZ, std::string("a", 1)));
    EXPECT_EQ("REG_EXPAND_SZ x", compare::RegistryData(REG_EXPAND_SZ, std::string("x\0", 2)));
    EXPECT_EQ("REG_3 00ff", compare::RegistryData(REG_BINARY, std::string("\0\xff", 2)));
    EXPECT_EQ("REG_4 01", compare::RegistryData(REG_DWORD, std::string("\x01", 1)));
}

TEST(CompareDriverFiles, VendorNamesOnly) {
    EXPECT_TRUE(compare::DumpedDriverFile("gorvel.sys"));
    EXPECT_TRUE(compare::DumpedDriverFile("KWEusbnmea.sys"));
    EXPECT_TRUE(compare::DumpedDriverFile("kweusbgser.sys"));
    EXPECT_TRUE(compare::DumpedDriverFile("ZEFODVBH.sys"));
    EXPECT_FALSE(compare::DumpedDriverFile("usbstor.sys"));
    EXPECT_FALSE(compare::DumpedDriverFile("KW.sys"));
}

// Wine stores a created service's ImagePath as REG_SZ; on Windows, and on the
// simulated machine, it is an expandable string (wine-limitations W2).
TEST(CompareWineLimitations, CreatedServiceImagePathIsAnExpandableString) {
    sim::Reset();
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    SC_HANDLE service = CreateServiceA(manager, "gorvel", "KWE Mass Storage Filter Driver", 0,
                                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       "system32\\drivers\\gorvel.sys", NULL, NULL, NULL, NULL, NULL);
    ASSERT_NE(nullptr, service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    const sim::RegValue* v = sim::FindRegValue("SYSTEM\\CurrentControlSet\\Services\\gorvel", "ImagePath");
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), v->type);
}

// Wine binds nothing and reports success for any ID (wine-limitations W1):
// the simulated machine refuses an ID that no present device carries, with
// the code the install log then shows.
TEST(CompareWineLimitations, UpdateDriverWithoutADeviceFails) {
    sim::Reset();
    sim::AddFile("C:\\Setup\\a.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    sim::AddDevice("USB\\VID_3E1F&PID_A101&MI_00\\1", {"USB\\VID_3E1F&PID_A101&MI_00"}, false);
    BOOL reboot = FALSE;
    SetLastError(0);
    EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesA(NULL, "usb\\vid_3e1f&pid_a101&mi_00", "C:\\Setup\\a.inf",
                                                    1, &reboot));
    EXPECT_EQ(static_cast<DWORD>(0xE000020B), GetLastError());
}

} // namespace
