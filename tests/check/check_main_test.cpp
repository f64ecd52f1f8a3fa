// The verb dispatch of hallimor-check: every wrong call ends with 2 and a
// reason on the error stream, never with a verdict.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "check.h"

namespace {

int RunTool(std::vector<std::string> words, std::string* out, std::string* err) {
    std::vector<char*> argv;
    static char program[] = "hallimor-check";
    argv.push_back(program);
    for (std::string& w : words) {
        argv.push_back(&w[0]);
    }
    std::ostringstream o;
    std::ostringstream e;
    int code = RunCheckTool(static_cast<int>(argv.size()), argv.data(), o, e);
    *out = o.str();
    *err = e.str();
    return code;
}

TEST(CheckMain, WrongCallsEndWithTwoAndAReason) {
    const std::vector<std::vector<std::string>> calls = {{}, {"packages"}, {"Package"}, {""}};
    for (const std::vector<std::string>& words : calls) {
        std::string out;
        std::string err;
        EXPECT_EQ(CHECK_EXIT_CANNOT, RunTool(words, &out, &err)) << (words.empty() ? "(none)" : words[0]);
        EXPECT_EQ("", out);
        EXPECT_NE(std::string::npos, err.find("usage: hallimor-check package FOLDER"));
    }
}

TEST(CheckMain, HelpGoesToStandardOutput) {
    std::string out;
    std::string err;
    EXPECT_EQ(CHECK_EXIT_OK, RunTool({"--help"}, &out, &err));
    EXPECT_EQ(0u, out.find("usage: hallimor-check package FOLDER"));
    EXPECT_EQ("", err);
}

// The host tool has no platform layer: the machine verb says so, whatever
// its arguments, and gives no verdict.
TEST(CheckMain, MachineVerbRunsOnWindowsOnly) {
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"machine"}, {"machine", "--records"}, {"machine", "C:\\Setup"}}) {
        std::string out;
        std::string err;
        EXPECT_EQ(CHECK_EXIT_CANNOT, RunTool(words, &out, &err));
        EXPECT_EQ("", out);
        EXPECT_EQ("hallimor-check machine: the machine verb runs on Windows only\n", err);
    }
}

} // namespace
