// Removal of what a new driver package supersedes: driver-store INFs with the
// same first hardware ID, old driver file copies and the support library.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "cleanup/cleanup.h"
#include "cleanup_fixture.h"

namespace {

using cleanup_test::CleanupFixture;
using cleanup_test::ModelInf;

const char kModemId[] = "USB\\VID_3E1F&PID_A101";
const char kDiagId[] = "USB\\VID_3E1F&PID_A102";
const char kForeignId[] = "USB\\VID_1234&PID_0001";

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// ------------------------------------------------------------ matching

class CleanupSupersededMatch : public CleanupFixture {};

TEST_F(CleanupSupersededMatch, IdInOtherLetterCaseDeletesInfThenPnf) {
    sim::AddFile(InfPath("oem7.inf"), ModelInf({"usb\\vid_3e1f&pid_a101"}));
    sim::AddFile(InfPath("oem7.PNF"), "pnf");
    AddPackageInf("modem.inf", ModelInf({"USB\\Vid_3E1F&Pid_A101"}));

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_FALSE(sim::FileExists(InfPath("oem7.inf")));
    EXPECT_FALSE(sim::FileExists(InfPath("oem7.PNF")));
    int infDelete = sim::FindCall("DeleteFileA", Quoted(InfPath("oem7.inf")));
    int pnfDelete = sim::FindCall("DeleteFileA", Quoted(InfPath("oem7.PNF")));
    ASSERT_GE(infDelete, 0);
    EXPECT_GT(pnfDelete, infDelete);

    std::vector<std::string> log = Messages();
    int oemFound = IndexOf(log, "Found [USB\\VID_3E1F&PID_A101] from " + InfPath("oem7.inf") + "\n");
    int packageFound = IndexOf(log, "Found [USB\\VID_3E1F&PID_A101] from " + PackagePath("modem.inf") + "\n");
    int infRemoved = IndexOf(log, "Remove: " + InfPath("oem7.inf") + " success!\n");
    int pnfRemoved = IndexOf(log, "Remove: " + InfPath("oem7.PNF") + " success!\n");
    ASSERT_GE(oemFound, 0);
    EXPECT_GT(packageFound, oemFound);
    EXPECT_GT(infRemoved, packageFound);
    EXPECT_GT(pnfRemoved, infRemoved);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(CleanupSupersededMatch, OnlyTheFirstModelLineOfTheFirstManufacturerCounts) {
    // The package's ID only on the second model line.
    sim::AddFile(InfPath("oem1.inf"), ModelInf({kForeignId, kModemId}));
    // The package's ID only under the second manufacturer.
    sim::AddFile(InfPath("oem2.inf"), "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=Other\r\n\r\n"
                                      "[Manufacturer]\r\nFirst=FirstModels\r\nSecond=SecondModels\r\n\r\n"
                                      "[FirstModels]\r\nA=InstA,USB\\VID_1234&PID_0002\r\n\r\n"
                                      "[SecondModels]\r\nB=InstB,USB\\VID_3E1F&PID_A101\r\n");
    // Matches the package INF's second line only.
    sim::AddFile(InfPath("oem3.inf"), ModelInf({kDiagId}));
    AddPackageInf("modem.inf", ModelInf({kModemId, kDiagId}));

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem2.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem3.inf")));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
}

TEST_F(CleanupSupersededMatch, APrefixIsNotTheSameId) {
    sim::AddFile(InfPath("oem1.inf"), ModelInf({"USB\\VID_3E1F&PID_A101&MI_02"}));
    sim::AddFile(InfPath("oem2.inf"), ModelInf({"USB\\VID_3E1F&PID_A10"}));
    AddPackageInf("modem.inf", ModelInf({kModemId}));

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem2.inf")));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
}

TEST_F(CleanupSupersededMatch, FirstMatchingPackageInfEndsTheSearch) {
    sim::AddFile(InfPath("oem4.inf"), ModelInf({kModemId}));
    AddPackageInf("first.inf", ModelInf({kModemId}));
    AddPackageInf("second.inf", ModelInf({kModemId}));

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_FALSE(sim::FileExists(InfPath("oem4.inf")));
    EXPECT_EQ(-1, sim::FindCall("SetupOpenInfFileA", Quoted(PackagePath("second.inf")) + ", ..."));
    std::vector<std::string> log = Messages();
    int fromPackage = 0;
    for (const std::string& m : log) {
        if (StartsWith(m, "Found [") && m.find(sim::PackageFolder("WIN7")) != std::string::npos) {
            ++fromPackage;
        }
    }
    EXPECT_EQ(1, fromPackage);
    EXPECT_EQ(1, Count(log, "Found [USB\\VID_3E1F&PID_A101] from " + PackagePath("first.inf") + "\n"));
}

TEST_F(CleanupSupersededMatch, PackageInfsAreReadAgainForEveryOemInf) {
    sim::AddFile(InfPath("oem1.inf"), ModelInf({kForeignId}));
    sim::AddFile(InfPath("oem2.inf"), ModelInf({kDiagId}));
    sim::AddFile(InfPath("oem3.inf"), ModelInf({"USB\\VID_5555&PID_0001"}));
    AddPackageInf("modem.inf", ModelInf({kModemId}));
    AddPackageInf("diag.inf", ModelInf({kDiagId}));

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_FALSE(sim::FileExists(InfPath("oem2.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem3.inf")));
    // oem1 and oem3 read both package INFs; oem2 stops at the second.
    EXPECT_EQ(3u, sim::FindCalls("SetupOpenInfFileA", OpenInfArgs(PackagePath("modem.inf"))).size());
    EXPECT_EQ(3u, sim::FindCalls("SetupOpenInfFileA", OpenInfArgs(PackagePath("diag.inf"))).size());
    std::vector<std::string> log = Messages();
    EXPECT_EQ(3, Count(log, "Found [USB\\VID_3E1F&PID_A101] from " + PackagePath("modem.inf") + "\n"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(CleanupSupersededMatch, SearchGoesOnAfterDeletions) {
    sim::AddFile(InfPath("oem1.inf"), ModelInf({kModemId}));
    sim::AddFile(InfPath("oem1.PNF"), "");
    sim::AddFile(InfPath("oem2.inf"), ModelInf({kForeignId}));
    sim::AddFile(InfPath("oem3.inf"), ModelInf({kModemId}));
    sim::AddFile(InfPath("oem3.PNF"), "");
    sim::AddFile(InfPath("machine.inf"), ModelInf({kModemId}));
    AddPackageInf("modem.inf", ModelInf({kModemId}));

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_FALSE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_FALSE(sim::FileExists(InfPath("oem1.PNF")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem2.inf")));
    EXPECT_FALSE(sim::FileExists(InfPath("oem3.inf")));
    EXPECT_FALSE(sim::FileExists(InfPath("oem3.PNF")));
    // Only "oem*.inf" files are looked at.
    EXPECT_TRUE(sim::FileExists(InfPath("machine.inf")));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(CleanupSupersededMatch, NoOemInfIsReportedAndNothingIsRead) {
    sim::AddFile(InfPath("machine.inf"), ModelInf({kModemId}));
    AddPackageInf("modem.inf", ModelInf({kModemId}));

    EXPECT_EQ(0, RemoveSupersededOemInfs());

    EXPECT_EQ(0, sim::CallCount("SetupOpenInfFileA"));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
    EXPECT_TRUE(sim::FileExists(InfPath("machine.inf")));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("Error : Search Oem*.inf file \n", log[0]);
}

TEST_F(CleanupSupersededMatch, EmptyPackageListReadsNothing) {
    sim::AddFile(InfPath("oem1.inf"), ModelInf({kModemId}));

    EXPECT_EQ(0, PackageHasHardwareId("USB\\VID_3E1F&PID_A101"));
    EXPECT_EQ(0, sim::CallCount("SetupOpenInfFileA"));

    EXPECT_EQ(1, RemoveSupersededOemInfs());
    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
}

// ------------------------------------------------------------ empty and unreadable IDs

class CleanupSupersededEmptyId : public CleanupFixture {};

TEST_F(CleanupSupersededEmptyId, TwoUnreadableInfsNeverMatch) {
    // No [Manufacturer] section on either side.
    std::string noManufacturer = "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=Other\r\n";
    sim::AddFile(InfPath("oem1.inf"), noManufacturer);
    sim::AddFile(InfPath("oem1.PNF"), "");
    AddPackageInf("broken.inf", noManufacturer);

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem1.PNF")));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
}

TEST_F(CleanupSupersededEmptyId, EmptyFieldsOnBothSidesNeverMatch) {
    sim::AddFile(InfPath("oem1.inf"), ModelInf({""}));
    AddPackageInf("empty.inf", ModelInf({""}));

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
}

TEST_F(CleanupSupersededEmptyId, EmptyFieldAgainstUnreadablePackageInfNeverMatches) {
    sim::AddFile(InfPath("oem1.inf"), ModelInf({""}));
    // Listed, but missing from the package folder.
    CopyText(g_InfFiles[0], PACKAGE_NAME_SIZE, "gone.inf");
    g_InfCount = 1;

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
}

TEST_F(CleanupSupersededEmptyId, EmptyOrUnreadableIdAsArgumentNeverMatches) {
    AddPackageInf("empty.inf", ModelInf({""}));
    AddPackageInf("broken.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");

    EXPECT_EQ(0, PackageHasHardwareId(""));
    // Every package INF is still read for the caller.
    EXPECT_EQ(1u, sim::FindCalls("SetupOpenInfFileA", OpenInfArgs(PackagePath("empty.inf"))).size());
    EXPECT_EQ(1u, sim::FindCalls("SetupOpenInfFileA", OpenInfArgs(PackagePath("broken.inf"))).size());
}

TEST_F(CleanupSupersededEmptyId, UnreadablePackageInfIsSkippedForTheNext) {
    sim::AddFile(InfPath("oem1.inf"), ModelInf({kModemId}));
    CopyText(g_InfFiles[0], PACKAGE_NAME_SIZE, "gone.inf");
    g_InfCount = 1;
    AddPackageInf("modem.inf", ModelInf({kModemId}));

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_FALSE(sim::FileExists(InfPath("oem1.inf")));
    std::vector<std::string> log = Messages();
    int openFailure = -1;
    for (size_t i = 0; i < log.size(); ++i) {
        if (StartsWith(log[i], "SetupOpenInfFile\n FAILURE: ")) {
            openFailure = static_cast<int>(i);
        }
    }
    EXPECT_GE(openFailure, 0);
    EXPECT_GT(IndexOf(log, "Found [USB\\VID_3E1F&PID_A101] from " + PackagePath("modem.inf") + "\n"),
              openFailure);
}

// ------------------------------------------------------------ reading the first hardware ID

class CleanupSupersededFirstId : public CleanupFixture {};

TEST_F(CleanupSupersededFirstId, UpperCasesAsciiLettersOnly) {
    sim::AddFile(InfPath("oem1.inf"), ModelInf({"usb\\vid_3e1f&pid_a1\xe9z", kDiagId}));
    char id[260];

    EXPECT_EQ(1, FirstInfHardwareId(InfPath("oem1.inf").c_str(), id));

    EXPECT_STREQ("USB\\VID_3E1F&PID_A1\xe9Z", id);
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> log = Messages();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("Found [USB\\VID_3E1F&PID_A1\xe9Z] from " + InfPath("oem1.inf") + "\n", log[0]);
}

TEST_F(CleanupSupersededFirstId, EachFailingStepIsNamedAndLeavesTheOutput) {
    const std::string version = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n";
    struct Case {
        const char* name;
        std::string text; // "" leaves the file missing
        const char* step;
    };
    const std::vector<Case> cases = {
        {"oem1.inf", "", "SetupOpenInfFile\n"},
        {"oem2.inf", version, "SetupFindFirstLine ->[Manufacturer] "},
        {"oem3.inf", version + "[Manufacturer]\r\nMaker=" + std::string(260, 'M') + "\r\n",
         "SetupGetStringField -> [Manufacturer] "},
        // The models section exists only under a decorated name.
        {"oem4.inf",
         version + "[Manufacturer]\r\nMaker=Models,NTamd64\r\n\r\n[Models.NTamd64]\r\nA=InstA,USB\\VID_3E1F&"
                   "PID_A101\r\n",
         "SetupFindFirstLine -> [Model] "},
        {"oem5.inf", ModelInf({}) + "A=InstA\r\n", "SetupGetStringField -> [Model] "},
        {"oem6.inf", ModelInf({"USB\\VID_3E1F&PID_" + std::string(260, 'A')}),
         "SetupGetStringField -> [Model] "},
    };
    for (const Case& c : cases) {
        if (!c.text.empty()) {
            sim::AddFile(InfPath(c.name), c.text);
        }
        char id[260];
        memset(id, 'x', sizeof(id));
        EXPECT_EQ(0, FirstInfHardwareId(InfPath(c.name).c_str(), id)) << c.name;
        EXPECT_EQ(std::string(sizeof(id), 'x'), std::string(id, sizeof(id))) << c.name;
        EXPECT_EQ(0, sim::OpenHandleCount()) << c.name;
    }
    std::vector<std::string> log = Messages();
    ASSERT_EQ(cases.size(), log.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_TRUE(StartsWith(log[i], std::string(cases[i].step) + " FAILURE: ")) << log[i];
    }
}

// ------------------------------------------------------------ deleting files

class CleanupSupersededDelete : public CleanupFixture {};

TEST_F(CleanupSupersededDelete, ReadOnlyFilesAreMadeNormalAndDeleted) {
    sim::AddFile(InfPath("oem5.inf"), ModelInf({kModemId}), FILE_ATTRIBUTE_READONLY);
    sim::AddFile(InfPath("oem5.PNF"), "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    sim::AddFile(DriverPath("KWEusbser6k.sys"), "old", FILE_ATTRIBUTE_READONLY);
    sim::AddFile(sim::WindowsFolder() + "system32\\brommet.dll", "lib", FILE_ATTRIBUTE_READONLY);
    AddPackageInf("modem.inf", ModelInf({kModemId}));
    AddDriverFileEntry("KWEusbser6k.sys");

    RemoveSupersededOemInfs();
    RemoveStagedDriverFiles();
    RemoveSupportLibrary();

    const std::vector<std::string> paths = {InfPath("oem5.inf"), InfPath("oem5.PNF"),
                                            DriverPath("KWEusbser6k.sys"),
                                            sim::WindowsFolder() + "system32\\brommet.dll"};
    for (const std::string& path : paths) {
        EXPECT_FALSE(sim::FileExists(path)) << path;
        int normal = sim::FindCall("SetFileAttributesA", Quoted(path) + ", 128");
        int removed = sim::FindCall("DeleteFileA", Quoted(path));
        EXPECT_GE(normal, 0) << path;
        EXPECT_GT(removed, normal) << path;
    }
}

TEST_F(CleanupSupersededDelete, PnfIsLeftWhenTheInfCannotBeDeleted) {
    sim::AddFile(InfPath("oem7.inf"), ModelInf({kModemId}));
    sim::AddFile(InfPath("oem7.PNF"), "");
    AddPackageInf("modem.inf", ModelInf({kModemId}));
    sim::FailCall("DeleteFileA", 1, ERROR_ACCESS_DENIED);

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("oem7.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem7.PNF")));
    EXPECT_EQ(1, sim::CallCount("DeleteFileA"));
    EXPECT_EQ(-1, sim::FindCall("GetFileAttributesA", Quoted(InfPath("oem7.PNF"))));
    std::vector<std::string> log = Messages();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(StartsWith(log.back(), "Remove  FAILURE: "));
    EXPECT_EQ(-1, IndexOf(log, "Remove: " + InfPath("oem7.inf") + " success!\n"));
}

TEST_F(CleanupSupersededDelete, MissingPnfIsReportedAfterTheInfIsGone) {
    sim::AddFile(InfPath("oem7.inf"), ModelInf({kModemId}));

    EXPECT_EQ(0, DeleteOemInf("oem7.inf"));

    EXPECT_FALSE(sim::FileExists(InfPath("oem7.inf")));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Remove: " + InfPath("oem7.inf") + " success!\n", log[0]);
    EXPECT_TRUE(StartsWith(log[1], "Remove:  FAILURE: "));
}

TEST_F(CleanupSupersededDelete, FailureWithLastErrorZeroCountsAsSuccess) {
    sim::AddFile(InfPath("oem7.inf"), ModelInf({kModemId}));
    sim::AddFile(InfPath("oem7.PNF"), "");
    sim::FailCall("DeleteFileA", 1, 0);

    EXPECT_EQ(1, DeleteOemInf("oem7.inf"));

    // The wrapper took the failure for a success and went on to the PNF.
    EXPECT_TRUE(sim::FileExists(InfPath("oem7.inf")));
    EXPECT_FALSE(sim::FileExists(InfPath("oem7.PNF")));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Remove: " + InfPath("oem7.inf") + " success!\n", log[0]);
    EXPECT_EQ("Remove: " + InfPath("oem7.PNF") + " success!\n", log[1]);
}

TEST_F(CleanupSupersededDelete, PnfNameReplacesTheLastExtension) {
    sim::AddFile(InfPath("oem.1.inf"), "");
    sim::AddFile(InfPath("oem.1.PNF"), "");

    EXPECT_EQ(1, DeleteOemInf("oem.1.inf"));

    EXPECT_FALSE(sim::FileExists(InfPath("oem.1.PNF")));
    EXPECT_GE(sim::FindCall("DeleteFileA", Quoted(InfPath("oem.1.PNF"))), 0);
}

TEST_F(CleanupSupersededDelete, StagedFilesLogTheBareNameAndEveryEntryIsTried) {
    sim::AddFile(DriverPath("KWEusbser6k.sys"), "old");
    sim::AddFile(DriverPath("KWEusbnmea.sys"), "old");
    sim::AddFile(DriverPath("usbser.sys"), "system");
    AddDriverFileEntry("KWEusbser6k.sys");
    AddDriverFileEntry("missing.sys");
    AddDriverFileEntry("KWEusbnmea.sys");

    RemoveStagedDriverFiles();

    EXPECT_FALSE(sim::FileExists(DriverPath("KWEusbser6k.sys")));
    EXPECT_FALSE(sim::FileExists(DriverPath("KWEusbnmea.sys")));
    EXPECT_TRUE(sim::FileExists(DriverPath("usbser.sys")));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("Remove: KWEusbser6k.sys Success!\n", log[0]);
    EXPECT_TRUE(StartsWith(log[1], "Remove sysfile  FAILURE: "));
    EXPECT_EQ("Remove: KWEusbnmea.sys Success!\n", log[2]);
}

TEST_F(CleanupSupersededDelete, EmptyDriverFileListDoesNothing) {
    RemoveStagedDriverFiles();
    EXPECT_TRUE(sim::Journal().empty());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CleanupSupersededDelete, SupportLibraryIsDeletedFromSystem32) {
    std::string library = sim::WindowsFolder() + "system32\\brommet.dll";
    sim::AddFile(library, "lib");

    RemoveSupportLibrary();
    EXPECT_FALSE(sim::FileExists(library));
    EXPECT_GE(sim::FindCall("DeleteFileA", Quoted("C:\\Windows\\system32\\brommet.dll")), 0);

    RemoveSupportLibrary();
    std::vector<std::string> log = Messages();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Remove: brommet.dll Success!\n", log[0]);
    EXPECT_TRUE(StartsWith(log[1], "Remove Dllfile  FAILURE: "));
}

// ------------------------------------------------------------ paths that do not fit

class CleanupSupersededLongPath : public CleanupFixture {};

TEST_F(CleanupSupersededLongPath, OverlongOemInfPathIsRefusedNotCut) {
    // 250 + 10 characters: one more than a path buffer holds.
    std::string folder = "C:\\" + std::string(246, 'd') + "\\";
    ASSERT_EQ(250u, folder.size());
    CopyText(g_SystemInfFolder, sizeof(g_SystemInfFolder), folder.c_str());
    // The name a cut path would end in exists.
    sim::AddFile(folder + "oem12.inf", "");

    EXPECT_EQ(0, DeleteOemInf("oem12.inf1"));

    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
    EXPECT_TRUE(sim::FileExists(folder + "oem12.inf"));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Error : Path too long: " + folder + "oem12.inf1\n", log[0]);
    EXPECT_TRUE(StartsWith(log[1], "Remove  FAILURE: "));
}

TEST_F(CleanupSupersededLongPath, OverlongDriverPathIsRefusedAndTheNextEntryFollows) {
    std::string folder = "C:\\" + std::string(196, 'd') + "\\";
    ASSERT_EQ(200u, folder.size());
    CopyText(g_SystemDriversFolder, sizeof(g_SystemDriversFolder), folder.c_str());
    std::string longName = std::string(56, 'n') + ".sys"; // 260 characters with the folder
    sim::AddFile(folder + "short.sys", "");
    AddDriverFileEntry(longName);
    AddDriverFileEntry("short.sys");

    RemoveStagedDriverFiles();

    EXPECT_EQ(1, sim::CallCount("DeleteFileA"));
    EXPECT_FALSE(sim::FileExists(folder + "short.sys"));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("Error : Path too long: " + folder + longName + "\n", log[0]);
    EXPECT_TRUE(StartsWith(log[1], "Remove sysfile  FAILURE: "));
    EXPECT_EQ("Remove: short.sys Success!\n", log[2]);
}

TEST_F(CleanupSupersededLongPath, OverlongPackageInfPathIsSkipped) {
    std::string folder = "C:\\" + std::string(206, 'p') + "\\";
    CopyText(g_DriverPackageFolder, sizeof(g_DriverPackageFolder), folder.c_str());
    sim::AddFile(folder + "m.inf", ModelInf({kModemId}));
    CopyText(g_InfFiles[0], PACKAGE_NAME_SIZE, (std::string(60, 'l') + ".inf").c_str());
    CopyText(g_InfFiles[1], PACKAGE_NAME_SIZE, "m.inf");
    g_InfCount = 2;

    EXPECT_EQ(1, PackageHasHardwareId(kModemId));
    EXPECT_EQ(1, sim::CallCount("SetupOpenInfFileA"));
    std::vector<std::string> log = Messages();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(StartsWith(log[0], "Error : Path too long: " + folder));
}

} // namespace
