// The simulated machine's files: searches, copies, deletion, attributes, the
// folder and module paths, the path helper and the C runtime stream.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "machine.h"
#include "sim_internal.h"

namespace {

class MachineFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
    }
};

// Every name a search returns, in order; the last error after the search.
std::vector<std::string> SearchNames(const std::string& pattern, DWORD* endError = nullptr,
                                     std::vector<DWORD>* attributes = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        if (endError != nullptr) {
            *endError = sim::M().lastError;
        }
        return names;
    }
    do {
        names.push_back(data.cFileName);
        if (attributes != nullptr) {
            attributes->push_back(data.dwFileAttributes);
        }
    } while (FindNextFileA(h, &data));
    if (endError != nullptr) {
        *endError = sim::M().lastError;
    }
    EXPECT_TRUE(FindClose(h));
    return names;
}

TEST_F(MachineFilesTest, SearchListsMatchesInNtfsOrderIgnoringCase) {
    std::string dir = "C:\\Pkg\\";
    sim::AddFile(dir + "b.sys");
    sim::AddFile(dir + "_x.sys");
    sim::AddFile(dir + "A.SYS");
    sim::AddFile(dir + "Z.sys");
    sim::AddFile(dir + "a.inf");
    sim::AddFile(dir + "c.sys.bak");
    sim::AddDirectory(dir + "dir.sys");

    DWORD endError = 0;
    std::vector<DWORD> attributes;
    // Upper-cased byte order puts "_" (0x5F) after the letters.
    EXPECT_EQ(SearchNames(dir + "*.SyS", &endError, &attributes),
              (std::vector<std::string>{"A.SYS", "b.sys", "dir.sys", "Z.sys", "_x.sys"}));
    EXPECT_EQ(endError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    ASSERT_EQ(attributes.size(), 5u);
    EXPECT_TRUE(attributes[2] & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(attributes[0] & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(sim::ListFolder(dir), (std::vector<std::string>{"a.inf", "A.SYS", "b.sys", "c.sys.bak",
                                                              "dir.sys", "Z.sys", "_x.sys"}));
    EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(MachineFilesTest, SearchWildcardsFollowWindowsRules) {
    std::string dir = "C:\\W\\";
    sim::AddFile(dir + "oem1.inf");
    sim::AddFile(dir + "oem12.inf");
    sim::AddFile(dir + "oem1.PNF");
    sim::AddFile(dir + "README");
    EXPECT_EQ(SearchNames(dir + "oem?.inf"), (std::vector<std::string>{"oem1.inf"}));
    EXPECT_EQ(SearchNames(dir + "OEM*.INF"), (std::vector<std::string>{"oem1.inf", "oem12.inf"}));
    // "*.*" also matches a name without a dot; a folder lists "." and "..".
    EXPECT_EQ(SearchNames(dir + "*.*"),
              (std::vector<std::string>{".", "..", "oem1.inf", "oem1.PNF", "oem12.inf", "README"}));
    EXPECT_EQ(SearchNames(dir + "*."), (std::vector<std::string>{".", "..", "README"}));
    // A doubled separator and forward slashes are accepted.
    EXPECT_EQ(SearchNames("C:/W\\\\oem1.*"), (std::vector<std::string>{"oem1.inf", "oem1.PNF"}));
}

// A volume that keeps 8.3 names (C: by default) matches a pattern against
// them too; a name that is a valid 8.3 name has no second one.
TEST_F(MachineFilesTest, SearchMatchesShortNamesWhereTheVolumeKeepsThem) {
    const std::vector<std::string> names = {"ab.sys",        "kwenet.sys_old", "kwenet2.sys_bak",
                                            "oem12.inf_old", "my file+x.sys",  "c.sys.bak"};
    sim::SetShortNames('E', true);
    for (const char* dir : {"C:\\N\\", "D:\\N\\", "E:\\N\\"}) {
        for (const std::string& name : names) {
            sim::AddFile(dir + name);
        }
    }
    EXPECT_EQ(sim::ShortName("C:\\N\\ab.sys"), "");
    EXPECT_EQ(sim::ShortName("C:\\N\\kwenet.sys_old"), "KWENET~1.SYS");
    EXPECT_EQ(sim::ShortName("C:\\N\\kwenet2.sys_bak"), "KWENET~2.SYS");
    EXPECT_EQ(sim::ShortName("C:\\N\\oem12.inf_old"), "OEM12~1.INF");
    EXPECT_EQ(sim::ShortName("C:\\N\\my file+x.sys"), "MYFILE~1.SYS");
    EXPECT_EQ(sim::ShortName("C:\\N\\c.sys.bak"), "CSYS~1.BAK");
    EXPECT_EQ(sim::ShortName("D:\\N\\kwenet.sys_old"), "");
    const std::vector<std::string> withShortNames = {"ab.sys", "kwenet.sys_old", "kwenet2.sys_bak",
                                                     "my file+x.sys"};
    EXPECT_EQ(SearchNames("C:\\N\\*.sys"), withShortNames);
    EXPECT_EQ(SearchNames("E:\\N\\*.sys"), withShortNames);
    EXPECT_EQ(SearchNames("D:\\N\\*.sys"), (std::vector<std::string>{"ab.sys", "my file+x.sys"}));
    EXPECT_EQ(SearchNames("C:\\N\\oem*.inf"), (std::vector<std::string>{"oem12.inf_old"}));
    EXPECT_EQ(SearchNames("D:\\N\\oem*.inf"), std::vector<std::string>{});
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA("C:\\N\\kwenet.*", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "kwenet.sys_old");
    EXPECT_STREQ(data.cAlternateFileName, "KWENET~1.SYS");
    FindClose(h);
    // Switched off, the volume makes no more short names; those made stay.
    sim::SetShortNames('C', false);
    sim::AddFile("C:\\N\\kwenet3.sys_new");
    EXPECT_EQ(sim::ShortName("C:\\N\\kwenet3.sys_new"), "");
    EXPECT_EQ(SearchNames("C:\\N\\*.sys").size(), 4u);
}

TEST_F(MachineFilesTest, SearchFailuresGiveWindowsErrors) {
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA("C:\\Missing\\*.sys", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    sim::AddDirectory("C:\\Empty");
    EXPECT_EQ(FindFirstFileA("C:\\Empty\\*.sys", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFileA("C:\\Empty\\", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1234));
    EXPECT_FALSE(FindNextFileA(bogus, &data));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INVALID_HANDLE));

    sim::AddFile("C:\\Empty\\one.sys");
    HANDLE h = FindFirstFileA("C:\\Empty\\*.sys", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::OpenHandleKinds(), (std::vector<std::string>{"find"}));
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(MachineFilesTest, SearchIsASnapshotWithBoundedNames) {
    std::string dir = "C:\\S\\";
    std::string longName(300, 'n');
    sim::AddFile(dir + "a.sys", "12345");
    sim::AddFile(dir + longName + ".sys");
    WIN32_FIND_DATAA data;
    memset(&data, 0x7F, sizeof(data));
    HANDLE h = FindFirstFileA((dir + "*.sys").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "a.sys");
    EXPECT_EQ(data.nFileSizeLow, 5u);
    sim::RemovePath(dir + "a.sys");
    sim::AddFile(dir + "b.sys"); // after the start: not seen
    ASSERT_TRUE(FindNextFileA(h, &data));
    EXPECT_EQ(strlen(data.cFileName), static_cast<size_t>(MAX_PATH - 1));
    EXPECT_FALSE(FindNextFileA(h, &data));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    FindClose(h);
}

TEST_F(MachineFilesTest, NamesAreFoundIgnoringCaseAndKeepTheirCase) {
    sim::AddFile("C:\\Data\\Mixed.Txt", "x");
    EXPECT_TRUE(sim::FileExists("c:/data/MIXED.TXT"));
    EXPECT_TRUE(sim::FileExists("C:\\Windows\\inf\\..\\..\\Data\\.\\mixed.txt"));
    EXPECT_EQ(sim::ListFolder("C:\\DATA"), (std::vector<std::string>{"Mixed.Txt"}));
    // A relative path starts in the program's folder.
    sim::AddFile(sim::ExeFolder() + "tool.exe");
    EXPECT_NE(GetFileAttributesA("tool.exe"), INVALID_FILE_ATTRIBUTES);
    // Overwriting a file keeps the name it was created with.
    sim::AddFile("C:\\Data\\Copy.txt");
    ASSERT_TRUE(CopyFileA("C:\\Data\\mixed.txt", "C:\\DATA\\COPY.TXT", FALSE));
    EXPECT_EQ(sim::ListFolder("C:\\Data"), (std::vector<std::string>{"Copy.txt", "Mixed.Txt"}));
    EXPECT_EQ(sim::FileData("C:\\Data\\Copy.txt"), "x");
}

TEST_F(MachineFilesTest, CopyFileErrorsAndEffects) {
    sim::AddFile("C:\\Src\\ro.sys", "driver", FILE_ATTRIBUTE_READONLY);
    sim::AddDirectory("C:\\Dst");
    struct Case {
        const char* src;
        const char* dst;
        BOOL failIfExists;
        DWORD error;
    };
    sim::AddFile("C:\\Dst\\locked.sys", "old", FILE_ATTRIBUTE_READONLY);
    sim::AddFile("C:\\Dst\\plain.sys", "old");
    sim::AddFile("C:\\Dst\\hidden.sys", "old", FILE_ATTRIBUTE_HIDDEN);
    sim::AddFile("C:\\Dst\\system.sys", "old", FILE_ATTRIBUTE_SYSTEM);
    sim::AddFile("C:\\Src\\hidden.sys", "hidden driver", FILE_ATTRIBUTE_HIDDEN);
    const Case failures[] = {
        {"C:\\Src\\missing.sys", "C:\\Dst\\a.sys", FALSE, ERROR_FILE_NOT_FOUND},
        {"C:\\Nowhere\\x.sys", "C:\\Dst\\a.sys", FALSE, ERROR_PATH_NOT_FOUND},
        {"C:\\Src", "C:\\Dst\\a.sys", FALSE, ERROR_ACCESS_DENIED},
        {"C:\\Src\\ro.sys", "C:\\Nowhere\\a.sys", FALSE, ERROR_PATH_NOT_FOUND},
        {"C:\\Src\\ro.sys", "C:\\Dst\\locked.sys", FALSE, ERROR_ACCESS_DENIED},
        {"C:\\Src\\ro.sys", "C:\\Dst\\plain.sys", TRUE, ERROR_FILE_EXISTS},
        {"C:\\Src\\ro.sys", "C:\\Dst", FALSE, ERROR_ACCESS_DENIED},
        // A hidden or system target is replaced only by a file with those attributes.
        {"C:\\Src\\ro.sys", "C:\\Dst\\hidden.sys", FALSE, ERROR_ACCESS_DENIED},
        {"C:\\Src\\ro.sys", "C:\\Dst\\system.sys", FALSE, ERROR_ACCESS_DENIED},
        {"C:\\Src\\hidden.sys", "C:\\Dst\\system.sys", FALSE, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : failures) {
        sim::M().lastError = 0;
        EXPECT_FALSE(CopyFileA(c.src, c.dst, c.failIfExists)) << c.src << " -> " << c.dst;
        EXPECT_EQ(sim::M().lastError, c.error) << c.src << " -> " << c.dst;
    }
    EXPECT_EQ(sim::FileData("C:\\Dst\\locked.sys"), "old");
    EXPECT_EQ(sim::FileData("C:\\Dst\\plain.sys"), "old");
    EXPECT_EQ(sim::FileData("C:\\Dst\\hidden.sys"), "old");
    EXPECT_FALSE(sim::FileExists("C:\\Dst\\a.sys"));
    ASSERT_TRUE(CopyFileA("C:\\Src\\hidden.sys", "C:\\Dst\\hidden.sys", FALSE));
    EXPECT_EQ(sim::FileData("C:\\Dst\\hidden.sys"), "hidden driver");

    ASSERT_TRUE(CopyFileA("C:\\Src\\ro.sys", "C:\\Dst\\plain.sys", FALSE));
    EXPECT_EQ(sim::FileData("C:\\Dst\\plain.sys"), "driver");
    EXPECT_EQ(sim::FileAttributes("C:\\Dst\\plain.sys"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CopyFileA("C:\\Src\\ro.sys", "C:\\Dst\\New.sys", TRUE));
    EXPECT_EQ(sim::ListFolder("C:\\Dst"),
              (std::vector<std::string>{"hidden.sys", "locked.sys", "New.sys", "plain.sys", "system.sys"}));
}

TEST_F(MachineFilesTest, DeleteFileErrorsAndEffects) {
    sim::AddFile("C:\\D\\ro.sys", "", FILE_ATTRIBUTE_READONLY);
    sim::AddFile("C:\\D\\rw.sys");
    EXPECT_FALSE(DeleteFileA("C:\\D\\missing.sys"));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA("C:\\Nowhere\\x.sys"));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA("C:\\D\\ro.sys"));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileA("C:\\D"));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::FileExists("C:\\D\\ro.sys"));

    ASSERT_TRUE(SetFileAttributesA("C:\\D\\RO.SYS", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA("c:\\d\\ro.sys"));
    EXPECT_TRUE(DeleteFileA("C:\\D\\rw.sys"));
    EXPECT_TRUE(sim::ListFolder("C:\\D").empty());
}

TEST_F(MachineFilesTest, AttributesAsWindowsKeepsThem) {
    sim::AddFile("C:\\A\\f.sys", "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(GetFileAttributesA("C:\\A\\f.sys"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA("C:\\A\\f.sys", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\A\\f.sys"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    // FILE_ATTRIBUTE_NORMAL counts only alone.
    ASSERT_TRUE(SetFileAttributesA("C:\\A\\f.sys", FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA("C:\\A\\f.sys"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    // A folder stays a folder.
    ASSERT_TRUE(SetFileAttributesA("C:\\A", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\A"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    EXPECT_EQ(GetFileAttributesA("C:\\A\\none.sys"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("C:\\B\\none.sys"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(SetFileAttributesA("C:\\A\\none.sys", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(MachineFilesTest, WindowsDirectorySizeProtocol) {
    char buffer[32];
    memset(buffer, 'x', sizeof(buffer));
    // "C:\Windows" is 10 characters: 10 bytes are too few.
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 10), 11u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 11), 10u);
    EXPECT_STREQ(buffer, "C:\\Windows");

    sim::SetWindowsDirectory("D:\\");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof(buffer)), 3u);
    EXPECT_STREQ(buffer, "D:\\");
    EXPECT_EQ(sim::WindowsFolder(), "D:\\");

    sim::SetWindowsDirectory("");
    sim::M().lastError = 0;
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof(buffer)), 0u);
    EXPECT_NE(sim::M().lastError, 0u);
}

TEST_F(MachineFilesTest, ModuleFileNameIsCutAsWindowsCutsIt) {
    char buffer[64];
    EXPECT_EQ(GetModuleFileNameA(NULL, buffer, sizeof(buffer)), 25u);
    EXPECT_STREQ(buffer, "C:\\Setup\\Hallimor_x64.exe");
    memset(buffer, 'x', sizeof(buffer));
    sim::M().lastError = 0;
    EXPECT_EQ(GetModuleFileNameA(NULL, buffer, 5), 5u);
    EXPECT_STREQ(buffer, "C:\\S");
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer[5], 'x');

    sim::SetExePath("");
    strcpy(buffer, "stale");
    EXPECT_EQ(GetModuleFileNameA(NULL, buffer, sizeof(buffer)), 0u);
    EXPECT_STREQ(buffer, "");
}

TEST_F(MachineFilesTest, PathRemoveFileSpecAsDocumented) {
    struct Case {
        const char* in;
        const char* out;
        BOOL removed;
    };
    const Case cases[] = {
        {"C:\\a\\b.exe", "C:\\a", TRUE},
        {"C:\\b.exe", "C:\\", TRUE},
        {"b.exe", "", TRUE},
        {"C:\\", "C:\\", FALSE},
        {"C:\\a\\", "C:\\a", TRUE},
        {"\\b.exe", "\\", TRUE},
        {"", "", FALSE},
        {"\\\\srv\\share\\f", "\\\\srv\\share", TRUE},
    };
    for (const Case& c : cases) {
        char buffer[MAX_PATH];
        strcpy(buffer, c.in);
        EXPECT_EQ(PathRemoveFileSpecA(buffer), c.removed) << c.in;
        EXPECT_STREQ(buffer, c.out) << c.in;
    }
}

TEST_F(MachineFilesTest, StreamWritesInTextModeAndIsVisibleAtOnce) {
    std::string path = "C:\\Windows\\Temp\\log.txt";
    sim::AddFile(path, "old content");
    FILE* f = fopen(path.c_str(), "w+");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(sim::FileData(path), ""); // truncated
    fprintf(f, "%s %d\n", "one", 1);
    EXPECT_EQ(sim::FileData(path), "one 1\r\n");
    fputs("two\r\nthree", f);
    EXPECT_EQ(sim::FileData(path), "one 1\r\ntwo\r\r\nthree");
    // Reading back turns CR LF into LF again.
    rewind(f);
    char line[32];
    ASSERT_NE(fgets(line, sizeof(line), f), nullptr);
    EXPECT_STREQ(line, "one 1\n");
    // The file cannot be deleted while the stream holds it.
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(fclose(f), 0);
    EXPECT_EQ(sim::FileData(path), "one 1\r\ntwo\r\r\nthree");
    EXPECT_TRUE(DeleteFileA(path.c_str()));

    FILE* b = fopen("C:\\Windows\\Temp\\bin.dat", "wb");
    ASSERT_NE(b, nullptr);
    fputs("a\nb", b);
    fclose(b);
    EXPECT_EQ(sim::FileData("C:\\Windows\\Temp\\bin.dat"), "a\nb");
    EXPECT_EQ(sim::CallCount("fopen"), 2);
    EXPECT_EQ(sim::FindCall("fopen", "\"C:\\Windows\\Temp\\bin.dat\", \"wb\""), 3);
}

TEST_F(MachineFilesTest, StreamOpenFailures) {
    sim::AddFile("C:\\Windows\\Temp\\ro.log", "keep", FILE_ATTRIBUTE_READONLY);
    sim::M().lastError = 0;
    EXPECT_EQ(fopen("C:\\Windows\\NoTemp\\x.log", "w+"), nullptr);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(fopen("C:\\Windows\\Temp", "w+"), nullptr);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(fopen("C:\\Windows\\Temp\\ro.log", "w+"), nullptr);
    EXPECT_EQ(sim::FileData("C:\\Windows\\Temp\\ro.log"), "keep");
    EXPECT_EQ(fopen("C:\\Windows\\Temp\\none.log", "r"), nullptr);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    sim::FailCall("fopen", 1, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(fopen("C:\\Windows\\Temp\\new.log", "w+"), nullptr);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(sim::FileExists("C:\\Windows\\Temp\\new.log"));
}

TEST_F(MachineFilesTest, FaultsHitTheNthCallAndChangeNothing) {
    sim::AddFile("C:\\F\\a.sys");
    sim::AddFile("C:\\F\\b.sys");
    sim::FailCall("DeleteFileA", 2, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileA("C:\\F\\a.sys"));
    EXPECT_FALSE(DeleteFileA("C:\\F\\b.sys"));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::FileExists("C:\\F\\b.sys"));
    EXPECT_TRUE(DeleteFileA("C:\\F\\b.sys")); // only the one call fails

    sim::FailAllCalls("FindFirstFileA", 0);
    WIN32_FIND_DATAA data;
    sim::M().lastError = 99;
    EXPECT_EQ(FindFirstFileA("C:\\Windows\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::M().lastError, 0u);
    EXPECT_EQ(FindFirstFileA("C:\\Windows\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::CallNames(), (std::vector<std::string>{"DeleteFileA", "DeleteFileA", "DeleteFileA",
                                                          "FindFirstFileA", "FindFirstFileA"}));
    EXPECT_EQ(sim::FindCall("DeleteFileA", "\"C:\\F\\b.sys\""), 1);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
}

// Links at a name, as a user can leave them: opens reach the target, except
// CREATE_NEW (any taken name fails) and opens of the reparse point itself; a
// rename replaces the name, link or not, and needs FILE_SHARE_DELETE from
// every handle of the file it moves; an open file cannot be replaced.
TEST_F(MachineFilesTest, LinksHandlesAndRenames) {
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    sim::AddFile("C:\\Data\\target.sys", "bytes");
    sim::AddSymbolicLink("C:\\Windows\\Temp\\link.log", "C:\\Data\\target.sys");
    sim::AddHardLink("C:\\Windows\\Temp\\hard.log", "C:\\Data\\target.sys");
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT),
              sim::FileAttributes("C:\\Windows\\Temp\\link.log"));

    for (const char* taken : {"C:\\Windows\\Temp\\link.log", "C:\\Windows\\Temp\\hard.log"}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE,
                  CreateFileA(taken, rw, all, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), sim::M().lastError);
    }
    // Truncating through the link empties the target; through the hard
    // link, every name of the file.
    HANDLE through = CreateFileA("C:\\Windows\\Temp\\link.log", rw, 0, NULL, TRUNCATE_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, through);
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(through, &info));
    EXPECT_EQ(2u, info.nNumberOfLinks);
    EXPECT_EQ("", sim::FileData("C:\\Data\\target.sys"));
    EXPECT_EQ("", sim::FileData("C:\\Windows\\Temp\\hard.log"));
    // Share mode 0: the target cannot be renamed, deleted or opened again.
    EXPECT_FALSE(MoveFileExA("C:\\Data\\target.sys", "C:\\Data\\moved.sys", 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), sim::M().lastError);
    EXPECT_FALSE(DeleteFileA("C:\\Data\\target.sys"));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA("C:\\Data\\target.sys", GENERIC_READ, all, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), sim::M().lastError);
    ASSERT_TRUE(CloseHandle(through));
    EXPECT_FALSE(CloseHandle(through));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), sim::M().lastError);

    HANDLE fresh = CreateFileA("C:\\Windows\\Temp\\new.tmp", rw, all, NULL, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, fresh);
    ASSERT_TRUE(GetFileInformationByHandle(fresh, &info));
    EXPECT_EQ(1u, info.nNumberOfLinks);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), info.dwFileAttributes);
    EXPECT_FALSE(MoveFileExA("C:\\Windows\\Temp\\new.tmp", "C:\\Windows\\Temp\\link.log", 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), sim::M().lastError);
    ASSERT_TRUE(
        MoveFileExA("C:\\Windows\\Temp\\new.tmp", "C:\\Windows\\Temp\\link.log", MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(sim::FileExists("C:\\Windows\\Temp\\new.tmp"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), sim::FileAttributes("C:\\Windows\\Temp\\link.log"));
    // The handle follows its file to the new name, and that open file
    // cannot be replaced in turn.
    sim::AddFile("C:\\Windows\\Temp\\other.tmp");
    EXPECT_FALSE(MoveFileExA("C:\\Windows\\Temp\\other.tmp", "C:\\Windows\\Temp\\link.log",
                             MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), sim::M().lastError);
    // A descriptor takes the handle over; its stream writes text and its
    // close releases everything.
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(fresh), _O_TEXT);
    ASSERT_GE(descriptor, 0);
    FILE* stream = _fdopen(descriptor, "w+");
    ASSERT_NE(nullptr, stream);
    fputs("a\n", stream);
    fclose(stream);
    EXPECT_EQ("a\r\n", sim::FileData("C:\\Windows\\Temp\\link.log"));
    EXPECT_TRUE(sim::FileExists("C:\\Data\\target.sys"));
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_TRUE(MoveFileExA("C:\\Windows\\Temp\\other.tmp", "C:\\Windows\\Temp\\link.log",
                            MOVEFILE_REPLACE_EXISTING));
}

} // namespace
