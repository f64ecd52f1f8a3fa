// System folders and the driver package scan: folder building, list order,
// failure records and the package limits.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "environment/environment.h"
#include "log/log.h"
#include "machine.h"
#include "run/run.h"

namespace {

// A folder path of exactly length characters, "C:\" and 40-character
// components, without a trailing backslash.
std::string FolderOfLength(size_t length) {
    std::string path = "C:";
    char letter = 'a';
    while (path.size() < length) {
        size_t remaining = length - path.size();
        size_t part = remaining - 1; // after the separator
        if (part > 40) {
            part = remaining - 1 - 40 == 1 ? 39 : 40; // never leave room for a bare separator
        }
        path += "\\" + std::string(part, letter);
        letter = letter == 'z' ? 'a' : static_cast<char>(letter + 1);
    }
    return path;
}

class FoldersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
        std::string path = sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log";
        ASSERT_EQ(1, OpenInstallLog(path.c_str()));
    }
    void TearDown() override {
        CloseInstallLog();
    }
    std::vector<std::string> Messages() {
        CloseInstallLog();
        return sim::LogMessages();
    }
    std::string Body() {
        CloseInstallLog();
        return sim::LogBody();
    }
    // The classification's run-wide values for Windows 7.
    static void UseWin7() {
        g_OsCode = OS_CODE_WIN7;
        snprintf(g_OsFolderName, sizeof(g_OsFolderName), "%s", "WIN7");
    }
    // Places the package's own folder where a program at exePath looks.
    static void SetExeFolder(const std::string& folder) {
        sim::SetExePath(folder + "\\Hallimor_x64.exe");
    }
};

// ------------------------------------------------------------ system folders

TEST_F(FoldersTest, SystemFoldersFromTheWindowsFolder) {
    EXPECT_EQ(1, ResolveSystemFolders());
    EXPECT_STREQ("C:\\Windows\\system32\\drivers\\", g_SystemDriversFolder);
    EXPECT_STREQ("C:\\Windows\\inf\\", g_SystemInfFolder);
    EXPECT_EQ("", Body());
}

TEST_F(FoldersTest, OneTrailingBackslashIsRemoved) {
    sim::SetWindowsDirectory("C:\\Windows\\");
    EXPECT_EQ(1, ResolveSystemFolders());
    EXPECT_STREQ("C:\\Windows\\system32\\drivers\\", g_SystemDriversFolder);
    EXPECT_STREQ("C:\\Windows\\inf\\", g_SystemInfFolder);

    sim::SetWindowsDirectory("D:\\");
    EXPECT_EQ(1, ResolveSystemFolders());
    EXPECT_STREQ("D:\\system32\\drivers\\", g_SystemDriversFolder);
    EXPECT_STREQ("D:\\inf\\", g_SystemInfFolder);
}

TEST_F(FoldersTest, WindowsFolderUnavailable) {
    sim::FailCall("GetWindowsDirectoryA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ResolveSystemFolders());
    EXPECT_STREQ("", g_SystemDriversFolder);
    EXPECT_STREQ("", g_SystemInfFolder);
    EXPECT_EQ("Error: Couldn't find the system folder\n", Body());
}

TEST_F(FoldersTest, SystemFoldersUpTo259Characters) {
    // "\system32\drivers\" adds 18 characters: a 241-character Windows folder
    // gives a drivers folder of 259.
    sim::SetWindowsDirectory(FolderOfLength(241));
    EXPECT_EQ(1, ResolveSystemFolders());
    EXPECT_EQ(259u, strlen(g_SystemDriversFolder));
    EXPECT_EQ(FolderOfLength(241) + "\\inf\\", g_SystemInfFolder);

    sim::SetWindowsDirectory(FolderOfLength(242));
    EXPECT_EQ(0, ResolveSystemFolders());
    sim::SetWindowsDirectory("C:\\Windows"); // where the log is read from
    EXPECT_STREQ("", g_SystemDriversFolder);
    EXPECT_STREQ("", g_SystemInfFolder);
    EXPECT_EQ("Error : The system folder path is longer than 259 characters\n", Body());
}

TEST_F(FoldersTest, WindowsFolderTooLongForTheBuffer) {
    sim::SetWindowsDirectory(FolderOfLength(300));
    EXPECT_EQ(0, ResolveSystemFolders());
    sim::SetWindowsDirectory("C:\\Windows"); // where the log is read from
    EXPECT_STREQ("", g_SystemDriversFolder);
    EXPECT_EQ("Error : The system folder path is longer than 259 characters\n", Body());
}

// ------------------------------------------------------------ package scan

// The system volume keeps 8.3 names, through which "*.sys" also matches a
// longer extension that begins with "sys": such a file is listed (and then
// staged) like any driver file, as the search gives it.
TEST_F(FoldersTest, ListsKeepTheSearchOrder) {
    UseWin7();
    sim::AddPackageFile("WIN7", "kwenet.sys_old");
    sim::AddPackageFile("WIN7", "usbser.sys");
    sim::AddPackageFile("WIN7", "Modem.sys");
    sim::AddPackageFile("WIN7", "a_nmea.SYS");
    sim::AddPackageFile("WIN7", "z.inf");
    sim::AddPackageFile("WIN7", "B.inf");
    sim::AddPackageFile("WIN7", "readme.txt");
    EXPECT_EQ(1, ScanDriverPackage());
    EXPECT_STREQ("C:\\Setup\\Drivers\\64bit\\WIN7\\", g_DriverPackageFolder);
    ASSERT_EQ(4, g_DriverFileCount);
    EXPECT_STREQ("a_nmea.SYS", g_DriverFiles[0]);
    EXPECT_STREQ("kwenet.sys_old", g_DriverFiles[1]);
    EXPECT_STREQ("Modem.sys", g_DriverFiles[2]);
    EXPECT_STREQ("usbser.sys", g_DriverFiles[3]);
    ASSERT_EQ(2, g_InfCount);
    EXPECT_STREQ("B.inf", g_InfFiles[0]);
    EXPECT_STREQ("z.inf", g_InfFiles[1]);
    std::vector<std::string> expected = {"Directory : C:\\Setup\n",
                                         "Search file name: C:\\Setup\\Drivers\\64bit\\WIN7\\*.sys\n",
                                         "Sys file list:\n",
                                         "1.a_nmea.SYS\n",
                                         "2.kwenet.sys_old\n",
                                         "3.Modem.sys\n",
                                         "4.usbser.sys\n",
                                         "Search file name: C:\\Setup\\Drivers\\64bit\\WIN7\\*.inf\n",
                                         "Inf file list:\n",
                                         "1.B.inf\n",
                                         "2.z.inf\n"};
    EXPECT_EQ(expected, Messages());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(FoldersTest, EmptyOsFolderNameSearchesBehindADoubleBackslash) {
    sim::AddPackageFile("", "a.sys");
    sim::AddPackageFile("", "a.inf");
    EXPECT_EQ(1, ScanDriverPackage());
    EXPECT_STREQ("C:\\Setup\\Drivers\\64bit\\\\", g_DriverPackageFolder);
    EXPECT_GE(sim::FindCall("FindFirstFileA", "\"C:\\Setup\\Drivers\\64bit\\\\*.sys\", ptr"), 0);
    EXPECT_EQ(1, g_DriverFileCount);
    EXPECT_EQ(1, g_InfCount);
}

TEST_F(FoldersTest, FolderMatchingThePatternIsListed) {
    UseWin7();
    sim::AddDirectory(sim::PackageFolder("WIN7") + "old.sys");
    sim::AddPackageFile("WIN7", "new.sys");
    sim::AddPackageFile("WIN7", "new.inf");
    EXPECT_EQ(1, ScanDriverPackage());
    ASSERT_EQ(2, g_DriverFileCount);
    EXPECT_STREQ("new.sys", g_DriverFiles[0]);
    EXPECT_STREQ("old.sys", g_DriverFiles[1]);
}

TEST_F(FoldersTest, NoSysFile) {
    UseWin7();
    sim::AddPackageFile("WIN7", "a.inf");
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ(0, g_DriverFileCount);
    EXPECT_EQ(0, g_InfCount);
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ(0u, messages[2].find("FindFirstFile(sys) FAILURE: ")) << messages[2];
    EXPECT_EQ(1, sim::CallCount("FindFirstFileA")); // no search for INFs
}

TEST_F(FoldersTest, NoInfFileKeepsTheDriverList) {
    UseWin7();
    sim::AddPackageFile("WIN7", "a.sys");
    sim::AddPackageFile("WIN7", "b.sys");
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ(2, g_DriverFileCount);
    EXPECT_STREQ("b.sys", g_DriverFiles[1]);
    EXPECT_EQ(0, g_InfCount);
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(7u, messages.size());
    EXPECT_EQ("Search file name: C:\\Setup\\Drivers\\64bit\\WIN7\\*.inf\n", messages[5]);
    EXPECT_EQ(0u, messages[6].find("FindFirstFile(inf) FAILURE: ")) << messages[6];
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(FoldersTest, ExecutablePathUnavailable) {
    sim::FailCall("GetModuleFileNameA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ("Get current exe directory fail!\n", Body());
    EXPECT_EQ(0, sim::CallCount("FindFirstFileA"));
}

TEST_F(FoldersTest, ExecutableWithoutFolder) {
    sim::M().exePath = "Hallimor_x64.exe";
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ("Get current exe directory fail!\n", Body());
    EXPECT_EQ(0, sim::CallCount("FindFirstFileA"));
}

TEST_F(FoldersTest, ScanStartsFromEmptyLists) {
    UseWin7();
    sim::AddPackageFile("WIN7", "a.sys");
    sim::AddPackageFile("WIN7", "b.sys");
    sim::AddPackageFile("WIN7", "a.inf");
    EXPECT_EQ(1, ScanDriverPackage());
    sim::RemovePath(sim::PackageFolder("WIN7") + "b.sys");
    EXPECT_EQ(1, ScanDriverPackage());
    EXPECT_EQ(1, g_DriverFileCount);
    EXPECT_STREQ("", g_DriverFiles[1]);
}

// ------------------------------------------------------------ package limits

TEST_F(FoldersTest, FiftyFilesOfEachKindFit) {
    UseWin7();
    for (int i = 0; i < 50; ++i) {
        char name[16];
        snprintf(name, sizeof(name), "d%02d", i);
        sim::AddPackageFile("WIN7", std::string(name) + ".sys");
        sim::AddPackageFile("WIN7", std::string(name) + ".inf");
    }
    EXPECT_EQ(1, ScanDriverPackage());
    EXPECT_EQ(50, g_DriverFileCount);
    EXPECT_EQ(50, g_InfCount);
    EXPECT_STREQ("d49.sys", g_DriverFiles[49]);
    EXPECT_STREQ("d49.inf", g_InfFiles[49]);
}

TEST_F(FoldersTest, FiftyOneSysFilesFailTheScan) {
    UseWin7();
    for (int i = 0; i < 51; ++i) {
        char name[16];
        snprintf(name, sizeof(name), "d%02d.sys", i);
        sim::AddPackageFile("WIN7", name);
    }
    sim::AddPackageFile("WIN7", "a.inf");
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ(50, g_DriverFileCount);
    EXPECT_EQ(0, g_InfCount);
    std::vector<std::string> messages = Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ("50.d49.sys\n", messages[messages.size() - 2]);
    EXPECT_EQ("Error : The driver package holds more than 50 sys files\n", messages.back());
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_EQ(1, sim::CallCount("FindFirstFileA")); // no search for INFs
}

TEST_F(FoldersTest, FiftyOneInfFilesFailTheScan) {
    UseWin7();
    sim::AddPackageFile("WIN7", "a.sys");
    for (int i = 0; i < 51; ++i) {
        char name[16];
        snprintf(name, sizeof(name), "d%02d.inf", i);
        sim::AddPackageFile("WIN7", name);
    }
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ(1, g_DriverFileCount);
    EXPECT_EQ(50, g_InfCount);
    EXPECT_EQ("Error : The driver package holds more than 50 inf files\n", Messages().back());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(FoldersTest, NamesUpTo73Characters) {
    UseWin7();
    std::string longest = std::string(69, 'n') + ".sys"; // 73
    sim::AddPackageFile("WIN7", longest);
    sim::AddPackageFile("WIN7", std::string(69, 'i') + ".inf");
    EXPECT_EQ(1, ScanDriverPackage());
    EXPECT_EQ(longest, g_DriverFiles[0]);
    EXPECT_EQ(std::string(69, 'i') + ".inf", g_InfFiles[0]);
}

TEST_F(FoldersTest, NameOf74CharactersFailsTheScan) {
    UseWin7();
    std::string name = std::string(70, 'n') + ".inf"; // 74
    sim::AddPackageFile("WIN7", "a.sys");
    sim::AddPackageFile("WIN7", "a.inf");
    sim::AddPackageFile("WIN7", name);
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ(1, g_InfCount);
    EXPECT_EQ("Error : The file name " + name + " is longer than 73 characters\n", Messages().back());
    // Nothing was written beyond the filled entries.
    EXPECT_STREQ("", g_InfFiles[1]);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(FoldersTest, ProgramPathOf259CharactersIsAccepted) {
    // A 259-character program path still fits; its package folder does not.
    std::string folder = FolderOfLength(259 - 17);
    SetExeFolder(folder);
    ASSERT_EQ(259u, sim::M().exePath.size());
    UseWin7();
    EXPECT_EQ(0, ScanDriverPackage());
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("Directory : " + folder + "\n", messages[0]);
    EXPECT_EQ("Error : The driver package folder path is longer than 259 characters\n", messages[1]);
    EXPECT_STREQ("", g_DriverPackageFolder);
}

TEST_F(FoldersTest, ProgramPathOf260CharactersIsCut) {
    SetExeFolder(FolderOfLength(260 - 17));
    ASSERT_EQ(260u, sim::M().exePath.size());
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ("Error : The program path is longer than 259 characters\n", Body());
    EXPECT_STREQ("", g_DriverPackageFolder);
    EXPECT_EQ(0, sim::CallCount("FindFirstFileA"));
}

TEST_F(FoldersTest, SearchPatternUpTo259Characters) {
    // The package folder adds 20 characters to the program's folder with
    // "WIN7", the pattern five more.
    UseWin7();
    std::string folder = FolderOfLength(259 - 5 - 20);
    SetExeFolder(folder);
    sim::AddFile(folder + "\\Drivers\\64bit\\WIN7\\a.sys");
    sim::AddFile(folder + "\\Drivers\\64bit\\WIN7\\a.inf");
    EXPECT_EQ(1, ScanDriverPackage());
    EXPECT_EQ(254u, strlen(g_DriverPackageFolder));
    EXPECT_EQ(1, g_DriverFileCount);
    EXPECT_EQ(1, g_InfCount);
}

TEST_F(FoldersTest, SearchPatternOf260CharactersFailsTheScan) {
    UseWin7();
    std::string folder = FolderOfLength(260 - 5 - 20);
    SetExeFolder(folder);
    sim::AddFile(folder + "\\Drivers\\64bit\\WIN7\\a.sys");
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ(255u, strlen(g_DriverPackageFolder));
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("Error : The search path for sys files is longer than 259 characters\n", messages[1]);
    EXPECT_EQ(0, sim::CallCount("FindFirstFileA"));
    EXPECT_EQ(0, g_DriverFileCount);
}

TEST_F(FoldersTest, PackageFolderOf259CharactersIsTheLongestKept) {
    UseWin7();
    SetExeFolder(FolderOfLength(259 - 20));
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ(259u, strlen(g_DriverPackageFolder));
    EXPECT_EQ("Error : The search path for sys files is longer than 259 characters\n", Messages().back());

    SetUp();
    UseWin7();
    SetExeFolder(FolderOfLength(260 - 20));
    EXPECT_EQ(0, ScanDriverPackage());
    EXPECT_EQ("Error : The driver package folder path is longer than 259 characters\n", Messages().back());
}

TEST(FoldersReset, EnvironmentBackToProcessStart) {
    sim::Reset();
    g_OsCode = 61;
    snprintf(g_OsFolderName, sizeof(g_OsFolderName), "%s", "WIN7");
    snprintf(g_SystemDriversFolder, sizeof(g_SystemDriversFolder), "%s", "x");
    snprintf(g_DriverFiles[3], sizeof(g_DriverFiles[3]), "%s", "x");
    snprintf(g_InfFiles[49], sizeof(g_InfFiles[49]), "%s", "x");
    g_DriverFileCount = 4;
    g_InfCount = 50;
    ResetRunState();
    EXPECT_EQ(0, g_OsCode);
    EXPECT_STREQ("", g_OsFolderName);
    EXPECT_STREQ("", g_SystemDriversFolder);
    EXPECT_STREQ("", g_DriverFiles[3]);
    EXPECT_STREQ("", g_InfFiles[49]);
    EXPECT_EQ(0, g_DriverFileCount);
    EXPECT_EQ(0, g_InfCount);
}

} // namespace
