// Bounded text building and ASCII case handling shared by every subsystem.
#include <gtest/gtest.h>

#include <string.h>

#include "common/ascii_case.h"
#include "common/text.h"

namespace {

TEST(CommonText, CopyFitsExactlyAndRefusesOneMore) {
    char buf[8];
    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(1, CopyText(buf, sizeof(buf), "1234567"));
    EXPECT_STREQ("1234567", buf);
    EXPECT_EQ(0, CopyText(buf, sizeof(buf), "12345678"));
    EXPECT_STREQ("", buf);
}

TEST(CommonText, AppendLeavesTextUnchangedWhenItDoesNotFit) {
    char buf[8] = "abc";
    EXPECT_EQ(1, AppendText(buf, sizeof(buf), "defg"));
    EXPECT_STREQ("abcdefg", buf);
    EXPECT_EQ(0, AppendText(buf, sizeof(buf), "h"));
    EXPECT_STREQ("abcdefg", buf);
}

TEST(CommonText, AppendToUnterminatedBufferFails) {
    char buf[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(0, AppendText(buf, sizeof(buf), ""));
    EXPECT_EQ('d', buf[3]);
}

TEST(CommonText, JoinPathAtTheLimit) {
    char path[260];
    std::string folder(250, 'f');
    std::string name9(9, 'n');
    EXPECT_EQ(1, JoinPath(path, sizeof(path), folder.c_str(), name9.c_str()));
    EXPECT_EQ(259u, strlen(path));
    std::string name10(10, 'n');
    EXPECT_EQ(0, JoinPath(path, sizeof(path), folder.c_str(), name10.c_str()));
    EXPECT_STREQ("", path);
}

TEST(CommonText, CaseFoldingTouchesOnlyAsciiLetters) {
    char text[] = "USB\\Vid_3E1F&Pid_C301\xC4\xE4";
    LowerAscii(text);
    EXPECT_STREQ("usb\\vid_3e1f&pid_c301\xC4\xE4", text);
    UpperAscii(text);
    EXPECT_STREQ("USB\\VID_3E1F&PID_C301\xC4\xE4", text);
}

TEST(CommonText, CompareNoCaseStopsAtLengthOrEnd) {
    EXPECT_EQ(0, CompareNoCaseN("USB\\VID_3E1F&PID_C301&REV_0001", "usb\\vid_3e1f&pid_c301", 21));
    EXPECT_NE(0, CompareNoCaseN("USB\\VID_3E1F", "usb\\vid_3e1f&pid_c301", 21));
    EXPECT_EQ(0, CompareNoCaseN("abc", "abc", 50));
    EXPECT_NE(0, CompareNoCaseN("[", "{", 1));  // not letters: no folding
}

TEST(CommonText, SameTextIsExactAndWhole) {
    EXPECT_EQ(1, SameText("gorvel.sys", "gorvel.sys"));
    EXPECT_EQ(0, SameText("Gorvel.sys", "gorvel.sys"));
    EXPECT_EQ(0, SameText("gorvel.sys.bak", "gorvel.sys"));
}

TEST(CommonText, BoundedLengthNeverReadsPastItsLimit) {
    char buf[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(4u, BoundedLength(buf, sizeof(buf)));
    EXPECT_EQ(2u, BoundedLength("ab", 10));
}

}  // namespace
