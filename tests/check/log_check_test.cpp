// hallimor-check log: the class of each record (one per row), the verdicts,
// and input that is not an install log.
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "check.h"
#include "log/log_texts.h"
#include "log_classes.h"

namespace fs = std::filesystem;

namespace {

const char* const kBanner = kLogBanner;
const char* const kFinish = kLogClosingLine;

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

// One record per row: the run's operation, the records before it that give
// its context, the record, and the report's lines for the failures (class,
// record, error number, what it concerns).
TEST(LogCheckClasses, EachRecordGetsItsClass) {
    struct Row {
        const char* operation;
        std::vector<std::string> records;
        std::vector<const char*> reported;
    };
    const std::string found = "Found [USB\\VID_3E1F&PID_C301] from ";
    const Row rows[] = {
        {"Install",
         {"Updating USB\\VID_3E1F&PID_C301\n", "UpdateDriver FAILURE: (0xe000020b)"},
         {"expected: UpdateDriver FAILURE: (0xe000020b) [error 3758096907 (0xe000020b, "
          "ERROR_NO_SUCH_DEVINST)] "
          "[hardware ID USB\\VID_3E1F&PID_C301]"}},
        {"Install",
         {"UpdateDriver FAILURE: The device instance does not exist in the hardware tree.\n"},
         {"expected: UpdateDriver FAILURE: The device instance does not exist in the hardware tree.\\n "
          "[error "
          "3758096907 (0xe000020b, ERROR_NO_SUCH_DEVINST)]"}},
        {"Install",
         {"UpdateDriver FAILURE: (0xe0000203)"},
         {"real: UpdateDriver FAILURE: (0xe0000203) [error 3758096899 (0xe0000203, "
          "ERROR_NO_DRIVER_SELECTED)]"}},
        {"Install",
         {"INFO: Preinstalling a.inf\n", "Preinstall FAILURE: The system cannot find the file specified.\n"},
         {"real: Preinstall FAILURE: The system cannot find the file specified.\\n [error 2 (0x00000002, "
          "ERROR_FILE_NOT_FOUND)] [INF a.inf]"}},
        {"Install",
         {"INFO: Preinstalling a.inf\n",
          "Preinstall FAILURE: The hash for the file is not present in the specified "
          "catalog file. The file is likely corrupt or the victim of tampering.\n"},
         {"real: Preinstall FAILURE: The hash for the file is not present in the specified catalog file. The "
          "file "
          "is likely corrupt or the victim of tampering.\\n [error 3758096971 (0xe000024b, "
          "ERROR_FILE_HASH_NOT_IN_CATALOG)] [INF a.inf] -- the package's catalog holds no hash of the INF"}},
        {"Install",
         {"UpdateDriver FAILURE: (0x800b010a)"},
         {"real: UpdateDriver FAILURE: (0x800b010a) [error 2148204810 (0x800b010a, CERT_E_CHAINING)] -- "
          "Windows does not trust the package's publisher"}},
        {"Install",
         {"Remove sysfile  FAILURE: The system cannot find the file specified.\n"},
         {"expected: Remove sysfile  FAILURE: The system cannot find the file specified.\\n [error 2 "
          "(0x00000002, ERROR_FILE_NOT_FOUND)] [file a.sys]"}},
        {"Install",
         {"Remove sysfile  FAILURE: File not found.\n", "Remove sysfile  FAILURE: Access denied.\n"},
         {"expected: Remove sysfile  FAILURE: File not found.\\n [error 2 (0x00000002, "
          "ERROR_FILE_NOT_FOUND)] "
          "[file a.sys]",
          "real: Remove sysfile  FAILURE: Access denied.\\n [error 5 (0x00000005, ERROR_ACCESS_DENIED)] "
          "[file "
          "b.sys]"}},
        {"Install",
         {"Remove Dllfile  FAILURE: File not found.\n"},
         {"expected: Remove Dllfile  FAILURE: File not found.\\n [error 2 (0x00000002, "
          "ERROR_FILE_NOT_FOUND)] "
          "[file brommet.dll]"}},
        {"Install", {"Error : Search Oem*.inf file \n"}, {"expected: Error : Search Oem*.inf file \\n"}},
        // The superseded removal: a driver-store INF's own read, then the
        // package INF's.
        {"Install",
         {"SetupOpenInfFile\n FAILURE: (0xe0000100)", found + "C:\\pkg\\Win7\\a.inf\n"},
         {"expected: SetupOpenInfFile\\n FAILURE: (0xe0000100) [error 3758096640 (0xe0000100, "
          "ERROR_WRONG_INF_STYLE)] [a driver-store INF"}},
        {"Install",
         {found + "C:\\windows\\inf\\oem3.inf\n", "SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102)"},
         {"real: SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102) [error 3758096642 (0xe0000102, "
          "ERROR_LINE_NOT_FOUND)] [INF C:\\pkg\\Win7\\a.inf]"}},
        {"Install",
         {found + "C:\\windows\\inf\\oem3.inf\n", "Found [USB\\VID_1] from C:\\pkg\\Win7\\a.inf\n",
          "Found [USB\\VID_2] from C:\\pkg\\Win7\\b.inf\n",
          "SetupFindFirstLine ->[Manufacturer]  FAILURE: (0xe0000102)",
          "SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102)"},
         {"expected: SetupFindFirstLine ->[Manufacturer]  FAILURE: (0xe0000102) [error 3758096642 "
          "(0xe0000102, "
          "ERROR_LINE_NOT_FOUND)] [a driver-store INF",
          "real: SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102) [error 3758096642 (0xe0000102, "
          "ERROR_LINE_NOT_FOUND)] [INF C:\\pkg\\Win7\\a.inf]"}},
        {"Install",
         {found + "C:\\windows\\inf\\oem3.inf\n", "Error : Path too long: C:\\pkg\\Win7\\a.inf\n",
          "SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102)"},
         {"real: Error : Path too long: C:\\pkg\\Win7\\a.inf\\n [file C:\\pkg\\Win7\\a.inf]",
          "real: SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102) [error 3758096642 (0xe0000102, "
          "ERROR_LINE_NOT_FOUND)] [INF C:\\pkg\\Win7\\b.inf]"}},
        {"Install",
         {found + "C:\\windows\\inf\\oem3.inf\n", found + "C:\\pkg\\Win7\\a.inf\n",
          "Remove  FAILURE: Access denied.\n"},
         {"real: Remove  FAILURE: Access denied.\\n [error 5 (0x00000005, ERROR_ACCESS_DENIED)] [INF "
          "C:\\windows\\inf\\oem3.inf]"}},
        {"Install",
         {"Remove: C:\\windows\\inf\\oem3.inf success!\n", "Remove:  FAILURE: File not found.\n",
          "Remove:  FAILURE: Access denied.\n"},
         {"expected: Remove:  FAILURE: File not found.\\n [error 2 (0x00000002, ERROR_FILE_NOT_FOUND)] [file "
          "C:\\windows\\inf\\oem3.PNF]",
          "real: Remove:  FAILURE: Access denied.\\n [error 5 (0x00000005, ERROR_ACCESS_DENIED)] [file "
          "C:\\windows\\inf\\oem3.PNF]"}},
        // Uninstall's deletions of what was never written.
        {"Uninstall",
         {"RegDeleteKey\n FAILURE: File not found.\n", "RegDeleteKey\n FAILURE: Access denied.\n"},
         {"expected: RegDeleteKey\\n FAILURE: File not found.\\n [error 2 (0x00000002, "
          "ERROR_FILE_NOT_FOUND)]",
          "real: RegDeleteKey\\n FAILURE: Access denied.\\n [error 5 (0x00000005, ERROR_ACCESS_DENIED)]"}},
        {"Uninstall",
         {"Warning: Delete Key Value EnableSelectiveSuspend Failed\n"},
         {"expected: Warning: Delete Key Value EnableSelectiveSuspend Failed\\n"}},
        {"Uninstall",
         {"Error: Open Custome Key-- SYSTEM\\X -- Failed\n"},
         {"expected: Error: Open Custome Key-- SYSTEM\\X -- Failed\\n"}},
        {"Preinstall_cfg", {"Error: Opent Custom Key Failed\n"}, {"real: Error: Opent Custom Key Failed\\n"}},
        // The power settings: keys that are missing, or refused while a
        // value write on another key failed.
        {"Preinstall_cfg",
         {"Set Registry For Preinstall Start... \n", "Opent And Set CustomKey Start for S\\KWEusbmdm6k \n",
          "Error: Opent Custom Key Failed\n", "Opent And Set CustomKey Start for S\\KWEusbser6k \n",
          "Error: Opent Custom Key Failed\n", "Set Registry For Preinstall All Failed \n"},
         {"expected: Error: Opent Custom Key Failed\\n [service key S\\KWEusbmdm6k] -- the modem driver's",
          "expected: Error: Opent Custom Key Failed\\n [service key S\\KWEusbser6k]",
          "expected: Set Registry For Preinstall All Failed \\n -- none of the three"}},
        {"Preinstall_cfg",
         {"Set Registry For Preinstall Start... \n", "Opent And Set CustomKey Start for S\\KWEusbmdm6k \n",
          "Error: Opent Custom Key Failed\n", "Opent And Set CustomKey Start for S\\KWEusbnmea \n",
          "Open reg key Success!\n", "Error:  Set Key Value for powermagner Failed\n",
          "Set Registry For Preinstall All Failed \n"},
         {"real: Error: Opent Custom Key Failed\\n [service key S\\KWEusbmdm6k]",
          "real: Error:  Set Key Value for powermagner Failed\\n [service key S\\KWEusbnmea]",
          "real: Set Registry For Preinstall All Failed \\n"}},
        // Clean: services of the table that are not there, and the second
        // attempt at a service that the table lists twice.
        {"Clean",
         {"Can't open KWEusbnet service!\n", "OpenService FAILURE: Service does not exist.\n"},
         {"expected: Can't open KWEusbnet service!\\n [error 1060 (0x00000424, "
          "ERROR_SERVICE_DOES_NOT_EXIST)] "
          "[service KWEusbnet]",
          "expected: OpenService FAILURE: Service does not exist.\\n [error 1060 (0x00000424, "
          "ERROR_SERVICE_DOES_NOT_EXIST)] [service KWEusbnet]"}},
        {"Clean",
         {"Can't open KWEusbnet service!\n", "OpenService FAILURE: Access denied.\n"},
         {"real: Can't open KWEusbnet service!\\n [error 5 (0x00000005, ERROR_ACCESS_DENIED)]",
          "real: OpenService FAILURE: Access denied.\\n [error 5"}},
        {"Clean",
         {"Delete KWETDModem service success! \n", "Can't open KWETDModem service!\n",
          "OpenService FAILURE: Service marked for delete.\n", "Can't open KWETDNMEA service!\n",
          "OpenService FAILURE: The specified service has been marked for deletion.\n"},
         {"expected: Can't open KWETDModem service!\\n [error 1072 (0x00000430, "
          "ERROR_SERVICE_MARKED_FOR_DELETE)] [service KWETDModem]",
          "expected: OpenService FAILURE: Service marked for delete.\\n [error 1072",
          "real: Can't open KWETDNMEA service!\\n [error 1072",
          "real: OpenService FAILURE: The specified "
          "service has been marked for deletion.\\n [error 1072"}},
        {"Clean",
         {"Delete KWETDModem service success! \n", "Can't delete KWETDModem service!\n",
          "DeleteService FAILURE: Service marked for delete.\n"},
         {"expected: Can't delete KWETDModem service!\\n [error 1072",
          "expected: DeleteService FAILURE: Service marked for delete.\\n [error 1072"}},
        {"Clean",
         {"Delete: C:\\windows\\system32\\drivers\\KWEusbnet.sys\n", "Error: FAILURE: File not found.\n",
          "Change file attributes: C:\\windows\\inf\\oem2.inf\n", "Delete: C:\\windows\\inf\\oem2.inf\n",
          "Error: FAILURE: File not found.\n"},
         {"expected: Error: FAILURE: File not found.\\n [error 2 (0x00000002, ERROR_FILE_NOT_FOUND)] [file "
          "C:\\windows\\system32\\drivers\\KWEusbnet.sys]",
          "real: Error: FAILURE: File not found.\\n [error 2 (0x00000002, ERROR_FILE_NOT_FOUND)] [file "
          "C:\\windows\\inf\\oem2.inf]"}},
        {"Clean",
         {"error: C:\\windows\\inf\\oem4.inf does not contain any device descriptions\n",
          "Open C:\\windows\\inf\\oem5.inf fail!\n"},
         {"expected: error: C:\\windows\\inf\\oem4.inf does not contain any device descriptions\\n",
          "real: Open C:\\windows\\inf\\oem5.inf fail!\\n"}},
        // Texts of other forms, and what the tool does not know.
        {"Install", {"Copy sys file fail\n"}, {"real: Copy sys file fail\\n [file a.sys]"}},
        {"Preinstall_BYT", {"QueryServiceConfig() Failsed\n"}, {"real: QueryServiceConfig() Failsed\\n"}},
        {"Install",
         {"Refused to remove devices: no hardware ID\n"},
         {"real: Refused to remove devices: no hardware ID\\n"}},
        {"Install",
         {"Remove sysfile  FAILURE: Something new.\n", "Error: something new\n"},
         {"real: Remove sysfile  FAILURE: Something new.\\n [file a.sys] -- the old copy of a driver file",
          "real: Error: something new\\n -- an error text that the tool does not know"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> body = {"Directory : C:\\pkg\\Win7\\\n",
                                         "Sys file list:\n",
                                         "1.a.sys\n",
                                         "2.b.sys\n",
                                         "Inf file list:\n",
                                         "1.a.inf\n",
                                         "2.b.inf\n"};
        body.insert(body.end(), row.records.begin(), row.records.end());
        Verdict v = CheckBytes({LogBytes(RunOf(row.operation, body))});
        bool real = false;
        for (const char* reported : row.reported) {
            EXPECT_NE(std::string::npos, v.out.find("\n  " + std::string(reported))) << reported << "\n"
                                                                                     << v.out;
            real = real || std::string(reported).compare(0, 5, "real:") == 0;
        }
        // Each failure of the row is reported once, and nothing else is.
        size_t lines = 0;
        for (size_t at = v.out.find("\n  "); at != std::string::npos; at = v.out.find("\n  ", at + 1)) {
            lines += v.out.compare(at + 3, 5, "real:") == 0 || v.out.compare(at + 3, 9, "expected:") == 0;
        }
        EXPECT_EQ(row.reported.size(), lines) << v.out;
        EXPECT_EQ(real ? CHECK_EXIT_FINDINGS : CHECK_EXIT_OK, v.exit) << row.records.back();
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
              "  2  Preinstall [error 5 (0x00000005, ERROR_ACCESS_DENIED)]\n  1  FindFirstFile(sys) [error 2 "
              "(0x00000002, "
              "ERROR_FILE_NOT_FOUND)]\n",
              v.out);

    // A folder stands for every .log file under it; a folder without one
    // gets no verdict.
    fs::path folder = fs::temp_directory_path() / ("hallimor-logs-" + std::to_string(::getpid()));
    fs::create_directories(folder / "pc2");
    std::ofstream(folder / "pc1.log", std::ios::binary) << clean;
    std::ofstream(folder / "pc2" / "HandsetInstallInfo.LOG", std::ios::binary) << real;
    std::ofstream(folder / "notes.txt", std::ios::binary) << "not a log";
    fs::create_directories(folder / "empty");
    v = CheckBytes({}, {folder.string(), "--summary"});
    EXPECT_EQ(CHECK_EXIT_FINDINGS, v.exit) << v.err;
    EXPECT_EQ(0u,
              v.out.find("2 logs\nruns by operation and outcome:\n  Install: 1 clean; 1 real failures;\n"))
        << v.out;
    v = CheckBytes({}, {(folder / "empty").string()});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);
    EXPECT_NE(std::string::npos, v.err.find("no .log file under this folder"));
    fs::remove_all(folder);

    v = CheckBytes({real}, {"--json"});
    EXPECT_NE(std::string::npos,
              v.out.find("\"verdict\": 1, \"summary\": \"real failures\", \"operation\": \"Install\""));
    EXPECT_NE(std::string::npos,
              v.out.find("{\"record\": \"Preinstall FAILURE: Access denied.\\n\", \"step\": \"Preinstall\", "
                         "\"error\": 5, \"subject\": \"\", \"class\": \"real\""));
}

// True when line is one JSON object: its braces and brackets, outside
// strings, close at its end and not before.
bool OneJsonObject(const std::string& line) {
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            i += c == '\\' ? 1 : 0;
            quoted = c != '"';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && (--depth < 0 || (depth == 0 && i + 1 != line.size()))) {
            return false;
        }
    }
    return !line.empty() && line[0] == '{' && depth == 0 && !quoted;
}

// The fleet's figures do not depend on the order of the logs or on the
// number of threads; --json-lines streams one object per line, in the order
// given, each the object that --json gives.
TEST(LogCheckVerdicts, FiguresAndStreamWhateverTheOrderAndThreads) {
    std::string real = LogBytes(RunOf("Install", {"Preinstall FAILURE: Access denied.\n"}));
    const std::vector<std::string> logs = {
        LogBytes(RunOf("Install", {})),
        real,
        LogBytes(RunOf("Clean", {"Can't open x service!\n"}, false)),
        real,
        LogBytes(RunOf("Uninstall", {"RegDeleteKey\n FAILURE: Access denied.\n"})),
        "not a log"};
    const struct {
        std::vector<size_t> order;
        const char* threads;
    } rows[] = {{{0, 1, 2, 3, 4, 5}, "1"},
                {{5, 4, 3, 2, 1, 0}, "2"},
                {{3, 0, 5, 1, 4, 2}, "3"},
                {{2, 3, 4, 5, 0, 1}, "8"}};
    std::string reference;
    for (const auto& row : rows) {
        std::vector<std::string> files;
        for (size_t i : row.order) {
            files.push_back(logs[i]);
        }
        Verdict summary = CheckBytes(files, {"--summary", "--threads", row.threads});
        reference = reference.empty() ? summary.out : reference;
        EXPECT_EQ(reference, summary.out) << row.threads;
        EXPECT_EQ(CHECK_EXIT_CANNOT, summary.exit);
        // "[\n  A,\n  B\n]\n" streams as "A\nB\n".
        std::string array = CheckBytes(files, {"--json", "--threads", "1"}).out;
        std::string objects = array.substr(4, array.size() - 7) + "\n";
        for (size_t at = objects.find(",\n  "); at != std::string::npos; at = objects.find(",\n  ", at)) {
            objects.replace(at, 4, "\n");
        }
        Verdict stream = CheckBytes(files, {"--json-lines", "--threads", row.threads});
        EXPECT_EQ(objects, stream.out);
        std::istringstream lines(stream.out);
        size_t count = 0;
        for (std::string line; std::getline(lines, line); ++count) {
            EXPECT_TRUE(OneJsonObject(line)) << line;
        }
        EXPECT_EQ(files.size(), count);
        EXPECT_EQ(CHECK_EXIT_CANNOT, stream.exit);
    }
    EXPECT_EQ(0u, reference.find(
                      "6 logs\nruns by operation and outcome:\n  (not a log): 1 not a log;\n  Clean: 1 "
                      "cut short;\n  Install: 1 clean; 2 real failures;\n  Uninstall: 1 real failures;\n"))
        << reference;
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
    // Named, such a file gets verdict 2; in a folder, as a diagnostics bundle
    // holds other programs' logs, it is skipped beside an install log, and a
    // folder of such files alone gives no verdict.
    fs::path folder = fs::temp_directory_path() / ("hallimor-skip-" + std::to_string(::getpid()));
    for (const auto& row : rows) {
        Verdict v = CheckBytes({row.first});
        EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit) << row.second;
        EXPECT_NE(std::string::npos, v.out.find(row.second)) << v.out.substr(0, 300);
        fs::create_directories(folder);
        std::ofstream(folder / "other.log", std::ios::binary) << row.first;
        v = CheckBytes({}, {folder.string()});
        EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit) << row.second;
        EXPECT_EQ("hallimor-check log: " + folder.string() + ": no install log under this folder\n", v.err);
        std::ofstream(folder / "pc1.log", std::ios::binary) << LogBytes(RunOf("Install", {}));
        v = CheckBytes({}, {folder.string()});
        EXPECT_EQ(CHECK_EXIT_OK, v.exit) << row.second;
        EXPECT_EQ(0u, v.out.find((folder / "other.log").string() + ": skipped, not an install log: "));
        EXPECT_LT(v.out.find(row.second), v.out.find("\n")) << v.out.substr(0, 300);
        v = CheckBytes({}, {folder.string(), "--summary"});
        EXPECT_EQ(0u, v.out.find("1 logs\nruns by operation and outcome:\n  Install: 1 clean;\n")) << v.out;
        size_t skipped =
            v.out.find("\n1 files skipped, not install logs:\n  " + (folder / "other.log").string());
        ASSERT_NE(std::string::npos, skipped) << v.out;
        EXPECT_NE(std::string::npos, v.out.find(row.second, skipped)) << v.out;
        fs::remove_all(folder);
    }
    Verdict v = CheckBytes({}, {"--fast"});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);
    EXPECT_EQ(0u, v.err.find("hallimor-check log: "));
    v = CheckBytes({});
    EXPECT_EQ(CHECK_EXIT_CANNOT, v.exit);
}

} // namespace

// docs/log-verdicts.md lists every rule of the classification table, with
// its error and class, so that the guide says what the tool does.
TEST(LogCheckClasses, TheGuideListsEveryRule) {
    std::ifstream in(std::string(HALLIMOR_SAMPLE_DIR) + "/../docs/log-verdicts.md", std::ios::binary);
    std::stringstream doc;
    doc << in.rdbuf();
    ASSERT_FALSE(doc.str().empty());
    std::map<std::string, size_t> seen; // rules of one record and error differ in place: in table order
    for (const LogClassRule& rule : LogClassRules()) {
        std::string pattern;
        for (const char* p = rule.pattern; *p != '\0'; ++p) {
            pattern += *p == '\n' ? std::string("\\n") : *p == '|' ? std::string("\\|") : std::string(1, *p);
        }
        std::string record = rule.kind == LOG_RULE_STEP ? "`" + pattern + "` failure" : "\"" + pattern + "\"";
        char error[32] = "any";
        if (rule.error >= 0x80000000ll) {
            snprintf(error, sizeof(error), "0x%08llX", static_cast<unsigned long long>(rule.error));
            error[1] = 'x';
        } else if (rule.error != kAnyError) {
            snprintf(error, sizeof(error), "%lld", static_cast<long long>(rule.error));
        }
        std::string row = "\n| " + record + " | " + error + " | ";
        size_t at = doc.str().find(row);
        for (size_t n = seen[row]++; n > 0 && at != std::string::npos; --n) {
            at = doc.str().find(row, at + 1);
        }
        ASSERT_NE(std::string::npos, at) << row;
        std::string line = doc.str().substr(at + 1, doc.str().find('\n', at + 1) - at - 1);
        EXPECT_NE(std::string::npos,
                  line.find(rule.cls == LOG_CLASS_EXPECTED ? " | expected | " : " | real | "))
            << line;
    }
}
