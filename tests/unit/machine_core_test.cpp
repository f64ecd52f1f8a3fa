// The machine's journal and fault injection, on which every failure test relies.
#include <gtest/gtest.h>

#include "machine.h"

namespace {

TEST(MachineCore, FaultsOnCallsOneAndThreeFailExactlyThoseCalls) {
    sim::Reset();
    sim::FailCall("GetFileAttributesA", 1, ERROR_ACCESS_DENIED);
    sim::FailCall("GetFileAttributesA", 3, ERROR_SHARING_VIOLATION);
    std::vector<DWORD> errors;
    for (int i = 0; i < 4; ++i) {
        SetLastError(0);
        DWORD attributes = GetFileAttributesA("C:\\Windows");
        errors.push_back(attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0);
    }
    EXPECT_EQ((std::vector<DWORD>{ERROR_ACCESS_DENIED, 0, ERROR_SHARING_VIOLATION, 0}), errors);
}

TEST(MachineCore, FailAllCallsLastsUntilCleared) {
    sim::Reset();
    sim::FailAllCalls("DeleteFileA", ERROR_ACCESS_DENIED);
    sim::AddFile("C:\\a.txt");
    EXPECT_FALSE(DeleteFileA("C:\\a.txt"));
    EXPECT_FALSE(DeleteFileA("C:\\a.txt"));
    EXPECT_TRUE(sim::FileExists("C:\\a.txt"));
    sim::ClearFaults();
    EXPECT_TRUE(DeleteFileA("C:\\a.txt"));
}

TEST(MachineCore, JournalKeepsOrderAndArguments) {
    sim::Reset();
    GetFileAttributesA("C:\\x.sys");
    DeleteFileA("C:\\x.sys");
    EXPECT_EQ((std::vector<std::string>{"GetFileAttributesA", "DeleteFileA"}), sim::CallNames());
    EXPECT_EQ(1, sim::FindCall("DeleteFileA", "\"C:\\x.sys\""));
    EXPECT_EQ(-1, sim::FindCall("DeleteFileA", "x.sys"));
    EXPECT_EQ(1, sim::FindCall("DeleteFileA"));
}

// Arguments match whole and one by one: a part of an argument or of the list
// is no match, * stands for one argument and a trailing ... for the rest.
TEST(MachineCore, ArgumentsMatchExactlyWithExplicitWildcards) {
    const std::vector<std::string> args = {"ptr", "\"VSS, and more\"", "268435456"};
    for (const char* yes : {"ptr, \"VSS, and more\", 268435456", "*, \"VSS, and more\", *", "*, *, *",
                            "ptr, ...", "...", "ptr, \"VSS, and more\", 268435456, ..."}) {
        EXPECT_TRUE(sim::ArgumentsMatch(args, yes)) << yes;
    }
    for (const char* no : {"ptr, \"VSS, and more\", 2", "\"VSS, and more\", 268435456", "*, *", "*, *, *, *",
                           "ptr, \"VSS\", ...", "", "ptr, \"VSS, and more\", 268435456, 1"}) {
        EXPECT_FALSE(sim::ArgumentsMatch(args, no)) << no;
    }
    EXPECT_TRUE(sim::ArgumentsMatch({}, ""));
    EXPECT_FALSE(sim::ArgumentsMatch({}, "*"));
}

} // namespace
