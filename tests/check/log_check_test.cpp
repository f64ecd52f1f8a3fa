// hallimor-check log: the class of each record (one per row), the verdicts,
// and input that is not an install log.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "check.h"

namespace fs = std::filesystem;

namespace {

const char kBanner[] = "**************** KWE Driver Install ****************\n\n";
const char kFinish[] = "*************************Finish***********************\n\n";

// The bytes the installer writes for these messages: a time stamp before
// each, every line feed as CR LF.
std::string LogBytes(const std::vector<std::string>& messages) {
    std::string bytes;
    for (const std::string& m : messages) {
        bytes += "(2026/12/9 7:5:2) ";
        for (char c : m) {
            bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
        }
    }
    return bytes;
}

std::vector<std::string> RunOf(const std::string& word, const std::vector<std::string>& body,
                               bool finish = true) {
    std::vector<std::string> m = {kBanner, "Version    : 1.0.1.17 \n", "OperateCode: " + word + "\n"};
    m.insert(m.end(), body.begin(), body.end());
    if (finish) {
        m.push_back(kFinish);
    }
    return m;
}

struct Verdict {
    int exit;
    std::string out;
    std::string err;
};

Verdict CheckBytes(const std::vector<std::string>& contents, std::vector<std::string> extra = {}) {
    std::vector<std::string> args;
    int n = 0;
    for (const std::string& c : contents) {
        fs::path path = fs::temp_directory_path() /
                        ("hallimor-log-" + std::to_string(::getpid()) + "-" + std::to_string(n++) + ".log");
        std::ofstream(path, std::ios::binary) << c;
        args.push_back(path.string());
    }
    args.insert(args.end(), extra.begin(), extra.end());
    std::ostringstream out;
    std::ostringstream err;
    int code = RunLogVerb(args, out, err);
    for (size_t i = 0; i < contents.size(); ++i) {
        fs::remove(args[i]);
    }
    return Verdict{code, out.str(), err.str()};
}

// One record per row: the run's operation, the record, its class (and the
// error number the report gives it).
TEST(LogCheckClasses, EachRecordGetsItsClass) {
    struct Row {
        const char* operation;
        std::string record;
        const char* reported; // the report's line for it
    };
    const Row rows[] = {
        {"Install", "UpdateDriver FAILURE: (0xe000020b)",
         "expected: UpdateDriver FAILURE: (0xe000020b) [error 3758096907 (0xe000020b)]"},
        {"Install", "UpdateDriver FAILURE: (0xe0000203)",
         "real: UpdateDriver FAILURE: (0xe0000203) [error 3758096899 (0xe0000203)]"},
        {"Install", "Preinstall FAILURE: The system cannot find the file specified.\n",
         "real: Preinstall FAILURE: The system cannot find the file specified.\\n [error 2 (0x00000002)]"},
        {"Install", "Remove sysfile  FAILURE: The system cannot find the file specified.\n",
         "expected: Remove sysfile  FAILURE: The system cannot find the file specified.\\n [error 2 "
         "(0x00000002)] [file a.sys]"},
        {"Install", "Remove sysfile  FAILURE: File not found.\n",
         "expected: Remove sysfile  FAILURE: File not found.\\n [error 2 (0x00000002)] [file a.sys]"},
        {"Install", "Remove sysfile  FAILURE: Access is denied.\n",
         "real: Remove sysfile  FAILURE: Access is denied.\\n [error 5 (0x00000005)] [file a.sys]"},
        {"Install", "Remove Dllfile  FAILURE: File not found.\n",
         "expected: Remove Dllfile  FAILURE: File not found.\\n [error 2 (0x00000002)] [file brommet.dll]"},
        {"Install", "Error : Search Oem*.inf file \n", "expected: Error : Search Oem*.inf file \\n --"},
        {"Uninstall", "RegDeleteKey\n FAILURE: File not found.\n",
         "expected: RegDeleteKey\\n FAILURE: File not found.\\n [error 2 (0x00000002)]"},
        {"Install", "RegDeleteKey\n FAILURE: File not found.\n",
         "real: RegDeleteKey\\n FAILURE: File not found.\\n [error 2 (0x00000002)]"},
        {"Uninstall", "RegDeleteKey\n FAILURE: Access denied.\n",
         "real: RegDeleteKey\\n FAILURE: Access denied.\\n [error 5 (0x00000005)]"},
        {"Uninstall", "Warning: Delete Key Value EnableSelectiveSuspend Failed\n",
         "expected: Warning: Delete Key Value EnableSelectiveSuspend Failed\\n --"},
        {"Uninstall", "Error: Open Custome Key-- SYSTEM\\X -- Failed\n",
         "expected: Error: Open Custome Key-- SYSTEM\\X -- Failed\\n --"},
        {"Preinstall_cfg", "Error: Opent Custom Key Failed\n", "real: Error: Opent Custom Key Failed\\n"},
        {"Clean", "Can't open KWEusbnet service!\n", "expected: Can't open KWEusbnet service!\\n --"},
        {"Clean", "OpenService FAILURE: Service does not exist.\n",
         "expected: OpenService FAILURE: Service does not exist.\\n [error 1060 (0x00000424)]"},
        {"Clean", "OpenService FAILURE: Access denied.\n",
         "real: OpenService FAILURE: Access denied.\\n [error 5 (0x00000005)]"},
        {"Clean", "Error: FAILURE: File not found.\n",
         "expected: Error: FAILURE: File not found.\\n [error 2 (0x00000002)]"},
        {"Install", "Copy sys file fail\n", "real: Copy sys file fail\\n [file a.sys]"},
        {"Install", "Refused to remove devices: no hardware ID\n",
         "real: Refused to remove devices: no hardware ID\\n"},
        {"Install", "Remove sysfile  FAILURE: Something new.\n",
         "real: Remove sysfile  FAILURE: Something new.\\n [file a.sys]"},
    };
    for (const Row& row : rows) {
        Verdict v = CheckBytes({LogBytes(RunOf(
            row.operation, {"Sys file list:\n", "1.a.sys\n", "Inf file list:\n", "1.a.inf\n", row.record}))});
        EXPECT_NE(std::string::npos, v.out.find("\n  " + std::string(row.reported))) << row.record << "\n"
                                                                                     << v.out;
        bool real = std::string(row.reported).compare(0, 5, "real:") == 0;
        EXPECT_EQ(real ? CHECK_EXIT_FINDINGS : CHECK_EXIT_OK, v.exit) << row.record;
    }
}

TEST(LogCheckVerdicts, StartSequenceCutLogsAndTheWorstVerdictWins) {
    std::string clean = LogBytes(RunOf("Install", {"OS Version : ", "dwMajorVersion : 6;dwMinorVersion : 1",
                                                   "Windows 7 ", "Service Pack 1 (Build 7601)\n"}));
    Verdict v = CheckBytes({clean});
    EXPECT_EQ(CHECK_EXIT_OK, v.exit);
    EXPECT_NE(std::string::npos,
              v.out.find(
                  "  windows: dwMajorVersion : 6;dwMinorVersion : 1Windows 7 Service Pack 1 (Build 7601)\n"));
    EXPECT_NE(std::string::npos, v.out.find("  start sequence: passed\n  closing line: reached\n"));

    std::string noPackage = LogBytes(RunOf(
        "Install", {"FindFirstFile(sys) FAILURE: File not found.\n", "Error:Search sys file 1; inf file 1\n"},
        false));
    v = CheckBytes({noPackage});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);
    EXPECT_NE(std::string::npos,
              v.out.find("  start sequence: ended the run with -1: FindFirstFile(sys) FAILURE: File not "
                         "found.\\n / Error:Search sys file 1; inf file 1\\n\n"));
    v = CheckBytes({LogBytes(RunOf("Install", {"Error : Get windows driver directory fail\n"}, false))});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);

    // Cut short: no closing line, also in the middle of a record.
    std::string cut = clean.substr(0, clean.size() / 2);
    v = CheckBytes({cut});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);
    EXPECT_NE(std::string::npos, v.out.find("cut short: the closing line is missing"));

    std::string real = LogBytes(RunOf("Install", {"Preinstall FAILURE: Access denied.\n"}));
    EXPECT_EQ(CHECK_EXIT_FINDINGS, CheckBytes({clean, real}).exit);
    EXPECT_EQ(CHECK_EXIT_CANNOT, CheckBytes({real, cut, clean}).exit);

    // The fleet summary: runs by operation and outcome, real failures ranked.
    v = CheckBytes({clean, real, real, noPackage, LogBytes(RunOf("Uninstall", {}))}, {"--summary"});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);
    EXPECT_EQ("5 logs\nruns by operation and outcome:\n  Install: 1 clean; 1 exit -1; 2 real failures;\n"
              "  Uninstall: 1 clean;\nmost frequent real failures by step and error:\n"
              "  2  Preinstall [error 5 (0x00000005)]\n  1  FindFirstFile(sys) [error 2 (0x00000002)]\n",
              v.out);

    v = CheckBytes({real}, {"--json"});
    EXPECT_NE(std::string::npos,
              v.out.find("\"verdict\": 1, \"summary\": \"real failures\", \"operation\": \"Install\""));
    EXPECT_NE(std::string::npos,
              v.out.find("{\"record\": \"Preinstall FAILURE: Access denied.\\n\", \"step\": \"Preinstall\", "
                         "\"error\": 5, \"file\": \"\", \"class\": \"real\""));
}

// What is not an install log gets verdict 2 with a reason, never a crash.
TEST(LogCheckVerdicts, InputThatIsNoInstallLog) {
    std::string utf16 = "\xFF\xFE";
    for (char c : LogBytes(RunOf("Install", {}))) {
        utf16 += c;
        utf16 += '\0';
    }
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", "empty file"},
        {std::string("MZ\x90\0\x03\0\0\0", 8), "binary data"},
        {utf16, "UTF-16 text"},
        {"hello\r\n", "does not begin with a time-stamped record"},
        {LogBytes({"OperateCode: Install\n"}), "does not begin with the installer's banner"},
        {LogBytes(RunOf("Install", {std::string(3000, 'x')})),
         "more than the 2047 that the installer writes"},
        {std::string(33u * 1024u * 1024u, 'x'), "more than 32 MiB"},
    };
    for (const auto& row : rows) {
        Verdict v = CheckBytes({row.first});
        EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit) << row.second;
        EXPECT_NE(std::string::npos, v.out.find(row.second)) << v.out.substr(0, 300);
    }
    Verdict v = CheckBytes({}, {"--fast"});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);
    EXPECT_EQ(0u, v.err.find("hallimor-check log: "));
    v = CheckBytes({});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);
}

} // namespace
