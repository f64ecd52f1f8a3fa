// The uninstall loop on the simulated machine: the command that a preinstall
// leaves in the list of installed programs, split the way Windows splits a
// command line, starts this program again with "Uninstall", and that run
// takes the entry away.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "machine.h"
#include "run/run.h"

namespace {

const char kEntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Splits a command line by the system's rules for a program's arguments:
// the program name ends at the next quote when it starts with one (no
// escapes there), else at the first blank; in the other words blanks
// separate, quotes group, 2n backslashes before a quote give n backslashes
// and a grouping quote, 2n+1 give n backslashes and a literal quote, and
// backslashes before anything else stand for themselves.
std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> argv;
    size_t i = 0;
    std::string program;
    if (i < line.size() && line[i] == '"') {
        ++i;
        while (i < line.size() && line[i] != '"') {
            program += line[i++];
        }
        if (i < line.size()) {
            ++i;
        }
    } else {
        while (i < line.size() && !IsBlank(line[i])) {
            program += line[i++];
        }
    }
    argv.push_back(program);

    for (;;) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        std::string word;
        bool quoted = false;
        while (i < line.size() && (quoted || !IsBlank(line[i]))) {
            if (line[i] == '\\') {
                size_t backslashes = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    word.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        word += '"';
                        ++i;
                    }
                } else {
                    word.append(backslashes, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    word += '"'; // a doubled quote inside a group is one quote
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                word += line[i++];
            }
        }
        argv.push_back(word);
    }
    return argv;
}

TEST(RecordsCommandLineSplit, FollowsTheSystemRules) {
    EXPECT_EQ((std::vector<std::string>{"C:\\Program", "Files\\a.exe", "Uninstall"}),
              SplitCommandLine("C:\\Program Files\\a.exe Uninstall"));
    EXPECT_EQ((std::vector<std::string>{"C:\\Program Files\\a.exe", "Uninstall"}),
              SplitCommandLine("\"C:\\Program Files\\a.exe\" Uninstall"));
    EXPECT_EQ((std::vector<std::string>{"a", "b c", "d\\\"e", "f\\"}),
              SplitCommandLine("a \"b c\"  d\\\\\\\"e f\\\\\"\""));
    EXPECT_EQ((std::vector<std::string>{"x"}), SplitCommandLine("x   "));
}

// A Windows 7 machine with the program at exePath and a small package beside it.
void PrepareMachine(const std::string& exePath) {
    sim::Reset();
    ResetRunState();
    sim::SetExePath(exePath);
    sim::AddPackageFile("WIN7", "kwemdm.sys", "driver");
    sim::AddPackageFile("WIN7", "kwemdm.inf",
                        "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\nKWE=Models\r\n"
                        "[Models]\r\nModem=Inst,USB\\Vid_3E1F&Pid_C301\r\n");
}

// Preinstall_cu, then the uninstall command as the system would run it.
void RunUninstallLoop(const std::string& exePath) {
    PrepareMachine(exePath);
    ASSERT_EQ(0, sim::Run({"Preinstall_cu"}));
    ASSERT_TRUE(sim::RegKeyExists(kEntryKey));
    std::string command = sim::GetRegString(kEntryKey, "UninstallString");

    std::vector<std::string> argv = SplitCommandLine(command);
    ASSERT_EQ(2u, argv.size()) << command;
    EXPECT_EQ(exePath, argv[0]);
    EXPECT_EQ(sim::GetRegString(kEntryKey, "DisplayIcon"), argv[0]);
    EXPECT_TRUE(sim::FileExists(argv[0]));
    EXPECT_EQ("Uninstall", argv[1]);

    sim::ClearJournal();
    EXPECT_EQ(0, sim::Run({argv[1]}));
    std::vector<std::string> log = sim::LogMessages();
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(), "OperateCode: Uninstall\n"));
    EXPECT_FALSE(sim::RegKeyExists(kEntryKey));
    EXPECT_GE(
        sim::FindCall("RegDeleteKeyA",
                      "HKLM, \"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver\\\""),
        0);
}

TEST(RecordsUninstallLoop, EntryStartsTheUninstallThatRemovesIt) {
    RunUninstallLoop("C:\\Setup\\Hallimor_x64.exe");
}

TEST(RecordsUninstallLoop, FolderWithBlanksStaysOneProgramPath) {
    RunUninstallLoop("C:\\Program Files\\KWE Setup\\Hallimor_x64.exe");
}

} // namespace
