// The install log: record format, text mode, failure records.
#include <gtest/gtest.h>

#include <string>

#include "log/log.h"
#include "machine.h"
#include "platform/platform.h"
#include "run/run.h"

namespace {

std::string LogPath() {
    return sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log";
}

// The system's own text for an error code, as the platform gives it; "" when
// it has none.
std::string SystemText(DWORD code) {
    LPSTR text = NULL;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    std::string result = length != 0 && text != NULL ? std::string(text, length) : std::string();
    if (text != NULL) {
        LocalFree(text);
    }
    return result;
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
        ASSERT_EQ(1, OpenInstallLog(LogPath().c_str()));
    }
    void TearDown() override {
        CloseInstallLog();
    }
    // Closes the log and gives the file's bytes.
    std::string Written() {
        CloseInstallLog();
        return sim::FileData(LogPath());
    }
    std::vector<std::string> Messages() {
        CloseInstallLog();
        return sim::LogMessages();
    }
    std::string Body() {
        CloseInstallLog();
        return sim::LogBody();
    }
};

TEST_F(LogTest, RecordHasUnpaddedTimeStampAndCrLf) {
    sim::SetLocalTime(2009, 3, 7, 9, 5, 2);
    LogMessage("Directory : %s\n", "C:\\Setup");
    sim::SetLocalTime(2010, 12, 31, 23, 59, 58);
    LogMessage("%d.%s\n", 1, "a.sys");
    sim::SetLocalTime(2011, 1, 1, 0, 0, 0);
    LogMessage("%08x\n", 0x1fu);
    EXPECT_EQ("(2009/3/7 9:5:2) Directory : C:\\Setup\r\n"
              "(2010/12/31 23:59:58) 1.a.sys\r\n"
              "(2011/1/1 0:0:0) 0000001f\r\n",
              Written());
}

TEST_F(LogTest, RecordsWithoutLineBreakShareOneLine) {
    LogMessage("OS Version : ");
    LogMessage("dwMajorVersion : %d;dwMinorVersion : %d", 6, 1);
    LogMessage("end\n");
    EXPECT_EQ("(2009/3/7 9:5:2) OS Version : (2009/3/7 9:5:2) dwMajorVersion : 6;dwMinorVersion : 1"
              "(2009/3/7 9:5:2) end\r\n",
              Written());
}

TEST_F(LogTest, CarriageReturnInTextIsKeptBeforeTheTranslatedLineFeed) {
    LogMessage("a\r\nb\n\n");
    EXPECT_EQ("(2009/3/7 9:5:2) a\r\r\nb\r\n\r\n", Written());
}

TEST_F(LogTest, MessagesAreCutAt2047Characters) {
    std::string exact(2047, 'e');
    std::string longer(5000, 'l');
    LogMessage("%s", exact.c_str());
    LogMessage("%s", longer.c_str());
    LogMessage("%s|", exact.c_str());
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ(exact, messages[0]);
    EXPECT_EQ(std::string(2047, 'l'), messages[1]);
    EXPECT_EQ(exact, messages[2]); // the "|" is the 2048th character
}

TEST_F(LogTest, NothingIsWrittenAfterTheClose) {
    LogMessage("before\n");
    CloseInstallLog();
    LogMessage("after\n");
    CloseInstallLog();
    EXPECT_EQ("(2009/3/7 9:5:2) before\r\n", sim::FileData(LogPath()));
}

TEST_F(LogTest, FailureWithSystemTextCarriesTheText) {
    std::string text = SystemText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    sim::ClearJournal();
    SetLastError(ERROR_FILE_NOT_FOUND);
    LogFailure("Preinstall");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    // The text in the machine's own language: neutral, default sublanguage.
    EXPECT_EQ(std::vector<std::string>{"FormatMessageA(4864, NULL, 2, 1024, ptr, 0, NULL)"},
              sim::CallLines({"FormatMessageA"}));
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Preinstall FAILURE: " + text, messages[0]);
}

TEST_F(LogTest, StepWithLineFeedPutsTheBreakBeforeFailure) {
    std::string text = SystemText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(text.empty());
    SetLastError(ERROR_ACCESS_DENIED);
    LogFailure("RegSetValueEx\n");
    std::string written = Written();
    EXPECT_NE(std::string::npos, written.find(") RegSetValueEx\r\n FAILURE: "));
    EXPECT_EQ("RegSetValueEx\n FAILURE: " + text, Body());
}

TEST_F(LogTest, FailureWithoutSystemTextGivesTheCodeAndNoLineBreak) {
    ASSERT_TRUE(SystemText(0xE000020B).empty());
    SetLastError(0xE000020B);
    LogFailure("UpdateDriverForPlugAndPlayDevices");
    EXPECT_EQ(0xE000020Bu, GetLastError());
    LogMessage("next\n");
    EXPECT_EQ("(2009/3/7 9:5:2) UpdateDriverForPlugAndPlayDevices FAILURE: (0xe000020b)"
              "(2009/3/7 9:5:2) next\r\n",
              Written());
}

TEST_F(LogTest, LastErrorSurvivesAFailingTextLookup) {
    // The text lookup itself sets another last error when it fails.
    sim::FailCall("FormatMessageA", 1, ERROR_INVALID_PARAMETER);
    SetLastError(ERROR_ACCESS_DENIED);
    LogFailure("DeleteFile");
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("DeleteFile FAILURE: (0x00000005)", Body());
}

TEST_F(LogTest, SystemTextWithInsertsIsLoggedAsItIsAndReleased) {
    // The system's text for 193 holds an insert: it is kept literally, no
    // argument is read for it.
    std::string text = SystemText(193);
    ASSERT_NE(std::string::npos, text.find("%1"));
    sim::ClearJournal();
    SetLastError(193);
    LogFailure("WinExec");
    EXPECT_EQ(static_cast<DWORD>(193), GetLastError());
    EXPECT_EQ(1, sim::CallCount("LocalFree"));
    EXPECT_EQ("WinExec FAILURE: %1 is not a valid Win32 application.\r\n", Body());
    for (const std::string& kind : sim::OpenHandleKinds()) {
        EXPECT_NE("local", kind);
    }
}

// Whatever an ordinary user leaves at the log's name in the shared temporary
// folder (an old log, a link to another file) is replaced as a name, never
// written through: the other file keeps its bytes and the log is a new
// regular file with one name.
TEST(LogOpen, WhateverStandsAtTheNameIsReplacedNotWrittenThrough) {
    const std::string outside = "C:\\Windows\\system32\\drivers\\kwenet.sys";
    struct Row {
        const char* what;
        void (*leave)(const std::string& log, const std::string& outside);
        int opened;
    };
    const Row rows[] = {
        {"nothing", [](const std::string&, const std::string&) {}, 1},
        {"an old log",
         [](const std::string& log, const std::string&) { sim::AddFile(log, "old records\r\n"); }, 1},
        {"a symbolic link",
         [](const std::string& log, const std::string& target) { sim::AddSymbolicLink(log, target); }, 1},
        {"a dangling symbolic link",
         [](const std::string& log, const std::string&) {
             sim::AddSymbolicLink(log, "C:\\Windows\\system32\\drivers\\new.sys");
         },
         1},
        {"a hard link",
         [](const std::string& log, const std::string& target) { sim::AddHardLink(log, target); }, 1},
        // The new file itself gets a second name before it is checked: it is
        // never taken, however few names it shows.
        {"a link to each new file",
         [](const std::string&, const std::string&) { sim::LinkNewFilesInto("C:\\Users\\Public"); }, 0},
        // A rename cannot replace these: no log, as before.
        {"a read-only old log",
         [](const std::string& log, const std::string&) {
             sim::AddFile(log, "old\r\n", FILE_ATTRIBUTE_READONLY);
         },
         0},
        {"a folder", [](const std::string& log, const std::string&) { sim::AddDirectory(log); }, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        ResetRunState();
        sim::AddFile(outside, "MZ driver bytes");
        row.leave(LogPath(), outside);
        std::vector<std::string> before = sim::ListFolder(sim::WindowsFolder() + "Temp");

        ASSERT_EQ(row.opened, OpenInstallLog(LogPath().c_str()));
        LogMessage("new\n");
        CloseInstallLog();

        EXPECT_EQ("MZ driver bytes", sim::FileData(outside));
        EXPECT_FALSE(sim::FileExists("C:\\Windows\\system32\\drivers\\new.sys"));
        EXPECT_EQ(0, sim::OpenHandleCount());
        if (row.opened == 1) {
            EXPECT_EQ("(2009/3/7 9:5:2) new\r\n", sim::FileData(LogPath()));
            EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), sim::FileAttributes(LogPath()));
            EXPECT_EQ(std::vector<std::string>{"HandsetInstallInfo.log"},
                      sim::ListFolder(sim::WindowsFolder() + "Temp"));
        } else {
            EXPECT_EQ(before, sim::ListFolder(sim::WindowsFolder() + "Temp"));
        }
    }
}

// The log is created under a new name beside it, checked, renamed over the
// log's name and handed to a text stream, with these exact arguments; a
// failed step removes the new file and the next attempt starts over; after
// four failed attempts there is no log.
TEST(LogOpen, CreatedBesideRenamedOverAndRetried) {
    sim::Reset();
    ResetRunState();
    ASSERT_EQ(1, OpenInstallLog(LogPath().c_str()));
    CloseInstallLog();
    int create = sim::FindCall("CreateFileA");
    int move = sim::FindCall("MoveFileExA");
    ASSERT_GE(create, 0);
    ASSERT_GT(move, create);
    const std::string& createArgs = sim::Journal()[create].args;
    // "C:\Windows\Temp\~" and 16 hex digits and ".tmp"
    ASSERT_GT(createArgs.size(), 39u);
    std::string temporary = createArgs.substr(0, 39);
    EXPECT_EQ(0u, temporary.find("\"C:\\Windows\\Temp\\~"));
    EXPECT_EQ(temporary.size() - 5, temporary.find(".tmp\""));
    EXPECT_EQ(temporary + ", 3221225472, 7, NULL, 1, 2097280, NULL", createArgs);
    EXPECT_EQ(temporary + ", \"" + LogPath() + "\", 1", sim::Journal()[move].args);
    EXPECT_GT(sim::FindCall("GetFileInformationByHandle"), create);
    EXPECT_LT(sim::FindCall("GetFileInformationByHandle"), move);
    int descriptor = sim::FindCall("_open_osfhandle");
    EXPECT_GT(descriptor, move);
    EXPECT_EQ("file, 16384", sim::Journal()[descriptor].args);
    EXPECT_EQ("3, \"w+\"", sim::Journal()[sim::FindCall("_fdopen")].args);

    const char* steps[] = {"RtlGenRandom", "CreateFileA",     "GetFileInformationByHandle",
                           "MoveFileExA",  "_open_osfhandle", "_fdopen"};
    for (const char* step : steps) {
        SCOPED_TRACE(step);
        for (int failures : {1, 4}) {
            sim::Reset();
            ResetRunState();
            sim::AddFile(LogPath(), "old records\r\n");
            for (int n = 1; n <= failures; ++n) {
                sim::FailCall(step, n, ERROR_ACCESS_DENIED);
            }
            int opened = OpenInstallLog(LogPath().c_str());
            LogMessage("new\n");
            CloseInstallLog();
            EXPECT_EQ(failures < 4 ? 1 : 0, opened);
            EXPECT_EQ(opened == 1 ? failures + 1 : 4, sim::CallCount("RtlGenRandom"));
            std::vector<std::string> names = sim::ListFolder(sim::WindowsFolder() + "Temp");
            EXPECT_EQ(std::vector<std::string>{"HandsetInstallInfo.log"}, names);
            EXPECT_EQ(0, sim::OpenHandleCount());
            if (opened == 1) {
                EXPECT_EQ("(2009/3/7 9:5:2) new\r\n", sim::FileData(LogPath()));
            }
        }
    }
}

TEST(LogOpen, FailsWithoutPathOrFolder) {
    sim::Reset();
    ResetRunState();
    EXPECT_EQ(0, OpenInstallLog(NULL));
    sim::RemovePath("C:\\Windows\\Temp");
    EXPECT_EQ(0, OpenInstallLog(LogPath().c_str()));
    EXPECT_FALSE(sim::FileExists(LogPath()));
    LogMessage("nowhere\n"); // no stream: dropped, no crash
    CloseInstallLog();
}

} // namespace
