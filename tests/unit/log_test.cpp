// The install log: record format, text mode, failure records.
#include <gtest/gtest.h>

#include <string>

#include "machine.h"
#include "platform/platform.h"
#include "run/log.h"
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
    SetLastError(ERROR_FILE_NOT_FOUND);
    LogFailure("Preinstall");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
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

TEST(LogOpen, RecreatesAnOlderLog) {
    sim::Reset();
    ResetRunState();
    sim::AddFile(LogPath(), "old records\r\n");
    ASSERT_EQ(1, OpenInstallLog(LogPath().c_str()));
    LogMessage("new\n");
    CloseInstallLog();
    EXPECT_EQ("(2009/3/7 9:5:2) new\r\n", sim::FileData(LogPath()));
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
