// Windows version classification: version table, edition table, registry
// fallback for the basic record, and the closing text.
#include <gtest/gtest.h>

#include <string>

#include "environment/environment.h"
#include "log/log.h"
#include "machine.h"
#include "run/run.h"

namespace {

const char kProductOptions[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const char kHotfix[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

class VersionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
    }
    // Runs the classification with the log open; gives its result.
    int Classify() {
        std::string path = sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log";
        EXPECT_EQ(1, OpenInstallLog(path.c_str()));
        int result = DetectWindowsVersion();
        CloseInstallLog();
        return result;
    }
    static std::string Head(int major, int minor) {
        return "OS Version : dwMajorVersion : " + std::to_string(major) +
               ";dwMinorVersion : " + std::to_string(minor);
    }
};

// ------------------------------------------------------------ version table

struct VersionRow {
    DWORD major, minor;
    const char* text;
    int osCode;
    const char* folder;
};

class VersionTableTest : public VersionTest, public ::testing::WithParamInterface<VersionRow> {};

TEST_P(VersionTableTest, LogsTextAndSetsCodeAndFolder) {
    const VersionRow& row = GetParam();
    // An x64 workstation: no edition text, so the line is the row's text
    // between the version numbers and the closing text.
    sim::SetWindowsVersion(row.major, row.minor, 1234, "Service Pack 2");
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(row.major, row.minor) + row.text + "Service Pack 2 (Build 1234)\n", sim::LogBody());
    EXPECT_EQ(row.osCode, g_OsCode);
    EXPECT_STREQ(row.folder, g_OsFolderName);
}

INSTANTIATE_TEST_SUITE_P(Rows, VersionTableTest,
                         ::testing::Values(VersionRow{6, 1, "Windows 7 ", 61, "WIN7"},
                                           VersionRow{7, 0, "Windows 7 ", 61, "WIN7"},
                                           VersionRow{7, 9, "Windows 7 ", 61, "WIN7"},
                                           VersionRow{6, 0, "Windows Vista ", 60, "VISTA"},
                                           VersionRow{5, 2, "Microsoft Windows Server 2003", 52, "WNET"},
                                           VersionRow{5, 1, "Microsoft Windows XP ", 51, "WNET"},
                                           VersionRow{5, 0, "Microsoft Windows 2000 ", 50, "WNET"},
                                           VersionRow{4, 0, "Microsoft Windows NT ", 0, ""},
                                           VersionRow{3, 51, "Microsoft Windows NT ", 0, ""},
                                           VersionRow{6, 2, "", 0, ""}, VersionRow{6, 3, "", 0, ""},
                                           VersionRow{10, 0, "", 0, ""}, VersionRow{5, 3, "", 0, ""},
                                           VersionRow{8, 0, "", 0, ""}));

TEST_F(VersionTest, FolderNameIsClearedButCodeIsNotReset) {
    g_OsCode = 61;
    snprintf(g_OsFolderName, sizeof(g_OsFolderName), "%s", "WIN7");
    sim::SetWindowsVersion(6, 2, 9200, "");
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(61, g_OsCode);
    EXPECT_STREQ("", g_OsFolderName);
}

TEST_F(VersionTest, Windows7Example) {
    sim::SetWindowsVersion(6, 1, 7601, "Service Pack 1", VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_EQ(1, Classify());
    std::vector<std::string> messages = sim::LogMessages();
    std::vector<std::string> expected = {"OS Version : ", "dwMajorVersion : 6;dwMinorVersion : 1",
                                         "Windows 7 ", "Service Pack 1 (Build 7601)\n"};
    EXPECT_EQ(expected, messages);
    EXPECT_EQ(1, sim::CallCount("GetVersionExA"));
    EXPECT_EQ((std::vector<std::string>{"GetModuleHandleA(\"kernel32.dll\")",
                                        "GetProcAddress(ptr, \"GetNativeSystemInfo\")"}),
              sim::CallLines({"GetModuleHandleA", "GetProcAddress"}));
    EXPECT_EQ(0, sim::CallCount("GetSystemInfo"));
}

TEST_F(VersionTest, BuildPrintsOnlyItsLow16Bits) {
    sim::SetWindowsVersion(5, 1, 0x12340A28, "Service Pack 3", VER_NT_WORKSTATION, 0,
                           PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP Service Pack 3 (Build 2600)\n", sim::LogBody());
}

TEST_F(VersionTest, LongestServicePackTextIsLoggedWhole) {
    std::string text(127, 's');
    sim::SetWindowsVersion(6, 1, 7601, text);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(6, 1) + "Windows 7 " + text + " (Build 7601)\n", sim::LogBody());
}

// ------------------------------------------------------------ edition table

struct EditionRow {
    BYTE productType;
    DWORD major, minor;
    WORD architecture;
    WORD suiteMask;
    const char* edition;
};

// The version table's text of the versions the edition rows use.
std::string VersionText(DWORD major, DWORD minor) {
    if (major == 4) {
        return "Microsoft Windows NT ";
    }
    if (major == 5) {
        const char* texts[] = {"Microsoft Windows 2000 ", "Microsoft Windows XP ",
                               "Microsoft Windows Server 2003"};
        return texts[minor];
    }
    if (major == 6 && minor == 1) {
        return "Windows 7 ";
    }
    return "";
}

class EditionTableTest : public VersionTest, public ::testing::WithParamInterface<EditionRow> {};

TEST_P(EditionTableTest, LogsTheEditionText) {
    const EditionRow& row = GetParam();
    sim::SetWindowsVersion(row.major, row.minor, 100, "SP", row.productType, row.suiteMask, row.architecture);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(row.major, row.minor) + VersionText(row.major, row.minor) + row.edition +
                  "SP (Build 100)\n",
              sim::LogBody());
}

const WORD kDc = VER_SUITE_DATACENTER;
const WORD kEnt = VER_SUITE_ENTERPRISE;
const WORD kBlade = VER_SUITE_BLADE;
const WORD kIa64 = PROCESSOR_ARCHITECTURE_IA64;
const WORD kX64 = PROCESSOR_ARCHITECTURE_AMD64;
const WORD kX86 = PROCESSOR_ARCHITECTURE_INTEL;

INSTANTIATE_TEST_SUITE_P(
    Rows, EditionTableTest,
    ::testing::Values(
        EditionRow{1, 6, 1, kX64, VER_SUITE_PERSONAL, ""}, EditionRow{1, 4, 0, kX86, 0, "Workstation 4.0 "},
        EditionRow{1, 5, 1, kX86, VER_SUITE_PERSONAL, "Home Edition "},
        EditionRow{1, 5, 1, kX86, 0, "Professional "}, EditionRow{1, 6, 1, kIa64, 0, "Professional "},
        EditionRow{3, 5, 2, kIa64, kDc | kEnt, "Datacenter Edition for Itanium-based Systems "},
        EditionRow{2, 5, 2, kIa64, kEnt, "Enterprise Edition for Itanium-based Systems "},
        EditionRow{3, 5, 2, kIa64, kBlade, ""},
        EditionRow{3, 5, 2, kX64, kDc | kEnt, "Datacenter x64   Edition  "},
        EditionRow{2, 5, 2, kX64, kEnt, "Enterprise x64 Edition  "},
        EditionRow{3, 5, 2, kX64, kBlade, "Standard x64 Edition "},
        EditionRow{3, 5, 2, kX86, kDc | kBlade, "Datacenter Edition "},
        EditionRow{3, 5, 2, kX86, kEnt | kBlade, "Enterprise Edition "},
        EditionRow{3, 5, 2, kX86, kBlade, "Web Edition "}, EditionRow{3, 5, 2, kX86, 0, "Standard  Edition "},
        EditionRow{3, 5, 0, kX86, kDc | kEnt, "Datacenter Server "},
        EditionRow{2, 5, 0, kX64, kEnt, "Advanced  Server "}, EditionRow{3, 5, 0, kX86, 0, "Server  "},
        EditionRow{3, 6, 1, kX64, 0, "Server 4.0 "},
        EditionRow{3, 6, 1, kX64, kEnt | kDc, "Server 4.0, Enterprise Edition "},
        EditionRow{2, 4, 0, kX86, kDc, "Server 4.0 "}, EditionRow{3, 5, 1, kX86, 0, "Server 4.0 "},
        EditionRow{3, 6, 2, kX64, 0, "Server 4.0 "}, EditionRow{0, 6, 1, kX86, kEnt, ""},
        EditionRow{4, 5, 2, kX86, kEnt, ""}));

TEST_F(VersionTest, Server2003AsX64WorkstationHasNoEdition) {
    sim::SetWindowsVersion(5, 2, 3790, "Service Pack 2", VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(5, 2) + "Microsoft Windows Server 2003Service Pack 2 (Build 3790)\n", sim::LogBody());
    EXPECT_EQ(52, g_OsCode);
    EXPECT_STREQ("WNET", g_OsFolderName);
}

TEST_F(VersionTest, ProcessorComesFromSystemInfoWhenNativeIsNotExported) {
    sim::SetWindowsVersion(5, 1, 2600, "Service Pack 3", VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_INTEL);
    sim::M().version.nativeSystemInfoExported = false;
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(1, sim::CallCount("GetSystemInfo"));
    EXPECT_EQ(0, sim::CallCount("GetNativeSystemInfo"));
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP Professional Service Pack 3 (Build 2600)\n", sim::LogBody());
}

TEST_F(VersionTest, BothQueriesFailing) {
    sim::M().version.extendedRecordAvailable = false;
    sim::M().version.basicRecordAvailable = false;
    EXPECT_EQ(0, Classify());
    EXPECT_EQ("OS Version : ", sim::LogBody());
    EXPECT_EQ(0, g_OsCode);
    EXPECT_STREQ("", g_OsFolderName);
    EXPECT_EQ(2, sim::CallCount("GetVersionExA"));
}

TEST_F(VersionTest, PlatformOutsideNtSetsNothing) {
    sim::SetWindowsVersion(4, 10, 2222, " A ");
    sim::M().version.platformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(4, 10), sim::LogBody());
    EXPECT_EQ(0, g_OsCode);
    EXPECT_STREQ("", g_OsFolderName);
}

// ------------------------------------------------------------ registry fallback

class VersionFallbackTest : public VersionTest {
  protected:
    void SetUp() override {
        VersionTest::SetUp();
        sim::SetWindowsVersion(5, 1, 2600, "Service Pack 3", VER_NT_SERVER, VER_SUITE_ENTERPRISE,
                               PROCESSOR_ARCHITECTURE_INTEL);
        sim::M().version.extendedRecordAvailable = false;
    }
    std::string Closing() {
        return "Service Pack 3 (Build 2600)\n";
    }
};

TEST_F(VersionFallbackTest, ProductTypesIgnoringCase) {
    const struct {
        const char* value;
        const char* text;
    } cases[] = {{"WinNT", "Workstation "},
                 {"LANMANNT", "Server "},
                 {"servernt", "Advanced  Server "},
                 {"WinNT2", ""},
                 {"", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        SetUp();
        sim::SetRegString(kProductOptions, "ProductType", c.value);
        EXPECT_EQ(1, Classify());
        EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP " + c.text + "5.1 " + Closing(), sim::LogBody());
        EXPECT_EQ(51, g_OsCode);
        EXPECT_EQ(2, sim::CallCount("GetVersionExA"));
        EXPECT_EQ(0, sim::OpenHandleCount());
    }
}

TEST_F(VersionFallbackTest, MissingKeyOrValueEndsWithoutClosing) {
    sim::RemoveRegKeyTree(kProductOptions);
    EXPECT_EQ(0, Classify());
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP ", sim::LogBody());
    EXPECT_EQ(51, g_OsCode);
    EXPECT_STREQ("WNET", g_OsFolderName);

    SetUp(); // the key without the value
    sim::RemoveRegKeyTree(kProductOptions);
    sim::AddRegKey(kProductOptions);
    EXPECT_EQ(0, Classify());
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP ", sim::LogBody());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(VersionFallbackTest, FailedQueryStillClosesTheKey) {
    sim::FailCall("RegQueryValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, Classify());
    EXPECT_GE(sim::FindCall("RegOpenKeyExA", "HKLM, \"" + std::string(kProductOptions) + "\", 0, 1, ptr"), 0);
    EXPECT_GE(sim::FindCall("RegQueryValueExA", "*, \"ProductType\", NULL, NULL, ptr, ptr"), 0);
    EXPECT_EQ(1, sim::CallCount("RegCloseKey"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(VersionFallbackTest, ValueLongerThanTheBuffer) {
    sim::SetRegValue(kProductOptions, "ProductType", REG_SZ, std::string(80, 'W') + std::string(1, '\0'));
    EXPECT_EQ(0, Classify());
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP ", sim::LogBody());
}

TEST_F(VersionFallbackTest, EightyBytesWithoutTerminatorAreRefused) {
    // "WinNT" followed by 75 more non-NUL bytes: no terminator anywhere.
    sim::SetRegValue(kProductOptions, "ProductType", REG_SZ, "WinNT" + std::string(75, ' '));
    EXPECT_EQ(0, Classify());
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP ", sim::LogBody());
}

TEST_F(VersionFallbackTest, EightyBytesEndingInTerminatorAreAccepted) {
    sim::SetRegValue(kProductOptions, "ProductType", REG_SZ, "LanmanNT" + std::string(72, '\0'));
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP Server 5.1 " + Closing(), sim::LogBody());

    SetUp();
    sim::SetRegValue(kProductOptions, "ProductType", REG_SZ, std::string(79, 'x') + std::string(1, '\0'));
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP 5.1 " + Closing(), sim::LogBody());
}

TEST_F(VersionFallbackTest, ValueOfAnotherTypeMatchesNoText) {
    sim::SetRegDword(kProductOptions, "ProductType", 1);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(5, 1) + "Microsoft Windows XP 5.1 " + Closing(), sim::LogBody());

    SetUp();
    sim::SetRegValue(kProductOptions, "ProductType", REG_BINARY, std::string(200, '\x01'));
    EXPECT_EQ(0, Classify());
}

TEST_F(VersionFallbackTest, NotUsedWithTheExtendedRecord) {
    sim::M().version.extendedRecordAvailable = true;
    sim::RemoveRegKeyTree(kProductOptions);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(-1, sim::FindCall("RegOpenKeyExA"));
}

// ------------------------------------------------------------ closing text

TEST_F(VersionTest, ServicePack6aNeedsVersion4AndTheHotfixKey) {
    sim::SetWindowsVersion(4, 0, 1381, "service pack 6", VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_INTEL);
    sim::AddRegKey(kHotfix);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(4, 0) + "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build  1381)\n",
              sim::LogBody());
    EXPECT_EQ(0, sim::OpenHandleCount());

    SetUp(); // without the hotfix
    sim::SetWindowsVersion(4, 0, 1381, "Service Pack 6", VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_INTEL);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(4, 0) + "Microsoft Windows NT Workstation 4.0 Service Pack 6 (Build 1381)\n",
              sim::LogBody());
    EXPECT_GE(sim::FindCall("RegOpenKeyExA", "HKLM, \"" + std::string(kHotfix) + "\", 0, 1, ptr"), 0);

    SetUp(); // another version: the hotfix key is not consulted
    sim::SetWindowsVersion(5, 0, 2195, "Service Pack 6", VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_INTEL);
    sim::AddRegKey(kHotfix);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(5, 0) + "Microsoft Windows 2000 Professional Service Pack 6 (Build 2195)\n",
              sim::LogBody());
    EXPECT_EQ(-1, sim::FindCall("RegOpenKeyExA"));

    SetUp(); // another service pack
    sim::SetWindowsVersion(4, 0, 1381, "Service Pack 6b", VER_NT_WORKSTATION, 0,
                           PROCESSOR_ARCHITECTURE_INTEL);
    sim::AddRegKey(kHotfix);
    EXPECT_EQ(1, Classify());
    EXPECT_EQ(Head(4, 0) + "Microsoft Windows NT Workstation 4.0 Service Pack 6b (Build 1381)\n",
              sim::LogBody());
}

} // namespace
