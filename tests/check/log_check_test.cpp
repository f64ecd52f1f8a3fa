// hallimor-check log: the class of each failure record and fixed error text
// in its place in a run, the verdict on whole logs, and inputs that are not
// install logs.
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "check.h"
#include "log_classes.h"
#include "log_messages.h"
#include "log_reader.h"
#include "log_report.h"

namespace {

const char kFinish[] = "*************************Finish***********************\n\n";

// One record as the installer writes it: time stamp, message, each line
// feed as carriage return and line feed.
std::string Record(const std::string& message) {
    std::string out = "(2009/3/7 9:5:2) ";
    for (char c : message) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::string Records(const std::vector<std::string>& messages) {
    std::string out;
    for (const std::string& m : messages) {
        out += Record(m);
    }
    return out;
}

// The records of a run up to its operation's own steps: banner, version,
// operation line, the Windows 7 line, and for every word but Clean the scan
// of a package of three driver files and two INFs.
std::vector<std::string> RunStart(const std::string& operationLine) {
    std::vector<std::string> r = {"**************** KWE Driver Install ****************\n\n",
                                  "Version    : 1.0.1.17 \n",
                                  "OperateCode: " + operationLine + "\n",
                                  "OS Version : ",
                                  "dwMajorVersion : 6;dwMinorVersion : 1",
                                  "Windows 7 ",
                                  "Service Pack 1 (Build 7601)\n"};
    if (operationLine != "Clean") {
        for (const char* m :
             {"Directory : C:\\Setup\n", "Search file name: C:\\Setup\\Drivers\\64bit\\WIN7\\*.sys\n",
              "Sys file list:\n", "1.gorvel.sys\n", "2.KWEusbmdm6k.sys\n", "3.KWEusbser6k.sys\n",
              "Search file name: C:\\Setup\\Drivers\\64bit\\WIN7\\*.inf\n", "Inf file list:\n",
              "1.gorvel.inf\n", "2.kwemdm.inf\n"}) {
            r.push_back(m);
        }
    }
    return r;
}

struct Analyzed {
    InstallLogText text;
    LogReport report;
};

void Analyze(const std::string& bytes, Analyzed* a) {
    SplitInstallLog(bytes.data(), bytes.size(), &a->text);
    AnalyzeInstallLog(a->text, &a->report);
}

const LogFinding* FindingAt(const LogReport& report, size_t record) {
    for (const LogFinding& f : report.findings) {
        if (f.record == record) {
            return &f;
        }
    }
    return nullptr;
}

// A record in its place: the records before it in the operation's part of
// the run, the record itself, and what the tool makes of it.
struct ClassCase {
    const char* operation;
    std::vector<std::string> before;
    std::string record;
    LogClass cls;
    int64_t error;       // kAnyError: no number
    const char* subject; // nullptr: not checked
    std::vector<std::string> after = {};
};

TEST(LogClassification, EachRecordInItsPlaceGetsItsClass) {
    const std::string drivers = "C:\\Windows\\system32\\drivers\\";
    const std::string copy0 =
        "Copy C:\\Setup\\Drivers\\64bit\\WIN7\\gorvel.sys to C:\\Windows\\system32\\drivers\\gorvel.sys\n";
    const std::string oemFound = "Found [USB\\VID_1234&PID_0001] from C:\\Windows\\inf\\oem3.inf\n";
    const std::vector<ClassCase> cases = {
        // Superseded removal before the operation.
        {"Install", {}, "Error : Search Oem*.inf file \n", LOG_CLASS_EXPECTED, kAnyError, ""},
        {"Install",
         {},
         "SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102)",
         LOG_CLASS_EXPECTED,
         0xE0000102,
         "a driver-store INF (oem*.inf; the log names only those it can read)"},
        {"Install",
         {},
         "SetupFindFirstLine ->[Manufacturer]  FAILURE: The required line was not found in the INF.\n",
         LOG_CLASS_EXPECTED,
         0xE0000102,
         nullptr},
        {"Install", {}, "SetupOpenInfFile\n FAILURE: (0xe0000100)", LOG_CLASS_EXPECTED, 0xE0000100, nullptr},
        {"Install", {}, "SetupOpenInfFile\n FAILURE: Access is denied.\n", LOG_CLASS_REAL, 5, nullptr},
        {"Install",
         {},
         "SetupGetStringField -> [Model]  FAILURE: (0xe0000102)",
         LOG_CLASS_REAL,
         0xE0000102,
         nullptr},
        // The same failure on a package INF read after the OEM INF's.
        {"Install",
         {oemFound},
         "SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102)",
         LOG_CLASS_REAL,
         0xE0000102,
         "C:\\Setup\\Drivers\\64bit\\WIN7\\gorvel.inf"},
        {"Install",
         {oemFound, "Found [USB\\VID_3E1F&PID_C301] from C:\\Setup\\Drivers\\64bit\\WIN7\\gorvel.inf\n"},
         "SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102)",
         LOG_CLASS_REAL,
         0xE0000102,
         "C:\\Setup\\Drivers\\64bit\\WIN7\\kwemdm.inf"},
        // Every package INF read: the next one is the next OEM INF's.
        {"Install",
         {oemFound, "Found [USB\\VID_3E1F&PID_C301] from C:\\Setup\\Drivers\\64bit\\WIN7\\gorvel.inf\n",
          "Found [USB\\VID_3E1F&PID_A101&MI_00] from C:\\Setup\\Drivers\\64bit\\WIN7\\kwemdm.inf\n"},
         "SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102)",
         LOG_CLASS_EXPECTED,
         0xE0000102,
         nullptr},
        {"Install",
         {"Found [USB\\VID_3E1F&PID_C301] from C:\\Windows\\inf\\oem7.inf\n",
          "Found [USB\\VID_3E1F&PID_C301] from C:\\Setup\\Drivers\\64bit\\WIN7\\gorvel.inf\n"},
         "Remove  FAILURE: Access is denied.\n",
         LOG_CLASS_REAL,
         5,
         "C:\\Windows\\inf\\oem7.inf"},
        {"Install",
         {"Found [USB\\VID_3E1F&PID_C301] from C:\\Windows\\inf\\oem7.inf\n",
          "Found [USB\\VID_3E1F&PID_C301] from C:\\Setup\\Drivers\\64bit\\WIN7\\gorvel.inf\n",
          "Remove: C:\\Windows\\inf\\oem7.inf success!\n"},
         "Remove:  FAILURE: The system cannot find the file specified.\n",
         LOG_CLASS_EXPECTED,
         2,
         "C:\\Windows\\inf\\oem7.PNF"},
        {"Install",
         {"Error : Search Oem*.inf file \n"},
         "Remove sysfile  FAILURE: The system cannot find the file specified.\n",
         LOG_CLASS_EXPECTED,
         2,
         "gorvel.sys (system drivers folder)"},
        {"Install",
         {"Error : Search Oem*.inf file \n"},
         "Remove sysfile  FAILURE: File not found.\n",
         LOG_CLASS_EXPECTED,
         2,
         nullptr},
        {"Install",
         {"Error : Search Oem*.inf file \n", "Remove: gorvel.sys Success!\n"},
         "Remove sysfile  FAILURE: (0x00000002)",
         LOG_CLASS_EXPECTED,
         2,
         "KWEusbmdm6k.sys (system drivers folder)"},
        {"Install", {}, "Remove sysfile  FAILURE: Access denied.\n", LOG_CLASS_REAL, 5, nullptr},
        {"Install", {}, "Remove sysfile  FAILURE: Zugriff verweigert\n", LOG_CLASS_REAL, kAnyError, nullptr},
        {"Install", {}, "Remove sysfile  FAILURE: (0x00000003)", LOG_CLASS_REAL, 3, nullptr},
        {"Install",
         {"Remove sysfile  FAILURE: File not found.\n", "Remove sysfile  FAILURE: File not found.\n",
          "Remove sysfile  FAILURE: File not found.\n"},
         "Remove Dllfile  FAILURE: File not found.\n",
         LOG_CLASS_EXPECTED,
         2,
         "brommet.dll (system32)"},
        {"Install", {}, "Remove Dllfile  FAILURE: Access is denied.\n", LOG_CLASS_REAL, 5, nullptr},
        // Staging, preinstall, binding.
        {"Install",
         {copy0},
         "Copy SYS file to system folder\n FAILURE: Access is denied.\n",
         LOG_CLASS_REAL,
         5,
         "C:\\Windows\\system32\\drivers\\KWEusbmdm6k.sys"},
        {"Install",
         {copy0, "Copy SYS file to system folder\n FAILURE: Access denied.\n"},
         "Copy sys file fail\n",
         LOG_CLASS_REAL,
         kAnyError,
         "C:\\Windows\\system32\\drivers\\KWEusbmdm6k.sys"},
        {"Install",
         {},
         "Copy SYS file to system folder\n FAILURE: (0x00000020)",
         LOG_CLASS_REAL,
         32,
         "gorvel.sys"},
        {"Install",
         {"INFO: Preinstalling kwemdm.inf\n"},
         "Preinstall FAILURE: (0xe000022f)",
         LOG_CLASS_REAL,
         0xE000022F,
         "kwemdm.inf"},
        {"Install",
         {"INFO: Preinstalling kwemdm.inf\n", "Updating usb\\vid_3e1f&pid_a101&mi_00\n"},
         "UpdateDriver FAILURE: (0xe000020b)",
         LOG_CLASS_EXPECTED,
         0xE000020B,
         "hardware ID usb\\vid_3e1f&pid_a101&mi_00 of kwemdm.inf"},
        {"Install",
         {},
         "UpdateDriver FAILURE: The device instance does not exist in the hardware tree.\n",
         LOG_CLASS_EXPECTED,
         0xE000020B,
         nullptr},
        {"Install", {}, "UpdateDriver FAILURE: Access is denied.\n", LOG_CLASS_REAL, 5, nullptr},
        {"Install",
         {"INFO: Preinstalling kwemdm.inf\n"},
         "Error: Skipping invalid description\n",
         LOG_CLASS_REAL,
         kAnyError,
         "kwemdm.inf"},
        // Uninstall's deletions of records and values never written.
        {"Uninstall",
         {},
         "RegDeleteKey\n FAILURE: File not found.\n",
         LOG_CLASS_EXPECTED,
         2,
         "the uninstall entry or the install flag (the log does not say which)"},
        {"Uninstall", {}, "RegDeleteKey\n FAILURE: Access is denied.\n", LOG_CLASS_REAL, 5, nullptr},
        {"Uninstall",
         {"Open And Delete Custom Key for --SYSTEM\\X-- start...\n"},
         "Error: Open Custome Key-- SYSTEM\\X -- Failed\n",
         LOG_CLASS_EXPECTED,
         kAnyError,
         "SYSTEM\\X"},
        {"Uninstall",
         {"Open And Delete Custom Key for --SYSTEM\\X-- start...\n"},
         "Warning: Delete Key Value QCDriverPowerManagementEnabled Failed\n",
         LOG_CLASS_EXPECTED,
         kAnyError,
         "QCDriverPowerManagementEnabled of SYSTEM\\X"},
        {"Uninstall",
         {"Found! [USB\\Vid_3E1F&Pid_A101]\n", "\nBegin Uninstall operation...\n"},
         "CallClassInstaller(REMOVE) FAILURE: Access is denied.\n",
         LOG_CLASS_REAL,
         5,
         "USB\\Vid_3E1F&Pid_A101"},
        // Preinstall_cfg's power values on drivers never installed.
        {"Preinstall_cfg",
         {"Opent And Set CustomKey Start for SYSTEM\\Y \n"},
         "Error: Opent Custom Key Failed\n",
         LOG_CLASS_REAL,
         kAnyError,
         "SYSTEM\\Y"},
        // Clean: services that do not exist, the repeated entries, files.
        // A fixed text takes the error of the failure record that follows it.
        {"Clean",
         {},
         "Can't open KWEusbnet service!\n",
         LOG_CLASS_EXPECTED,
         1060,
         "KWEusbnet",
         {"OpenService FAILURE: Service does not exist.\n"}},
        {"Clean",
         {},
         "Can't open KWEusbnet service!\n",
         LOG_CLASS_REAL,
         5,
         "KWEusbnet",
         {"OpenService FAILURE: Access denied.\n"}},
        {"Clean", {}, "Can't open KWEusbnet service!\n", LOG_CLASS_REAL, kAnyError, "KWEusbnet"},
        {"Clean",
         {"Can't open KWEusbnet service!\n"},
         "OpenService FAILURE: Service does not exist.\n",
         LOG_CLASS_EXPECTED,
         1060,
         "KWEusbnet"},
        {"Clean",
         {"Can't open KWEusbnet service!\n"},
         "OpenService FAILURE: The specified service does not exist as an installed service.\n",
         LOG_CLASS_EXPECTED,
         1060,
         nullptr},
        {"Clean",
         {"Can't open KWEusbnet service!\n"},
         "OpenService FAILURE: Access is denied.\n",
         LOG_CLASS_REAL,
         5,
         nullptr},
        {"Clean",
         {"Delete KWETDModem service success! \n", "Can't delete KWETDModem service!\n"},
         "DeleteService FAILURE: Service marked for delete.\n",
         LOG_CLASS_EXPECTED,
         1072,
         "KWETDModem"},
        {"Clean",
         {"Can't delete KWETDModem service!\n"},
         "DeleteService FAILURE: Service marked for delete.\n",
         LOG_CLASS_REAL,
         1072,
         "KWETDModem"},
        {"Clean",
         {"Can't open service manager!\n"},
         "OpenSCManager\n FAILURE: Access is denied.\n",
         LOG_CLASS_REAL,
         5,
         nullptr},
        {"Clean",
         {"Delete: " + drivers + "KWEusbnet.sys\n"},
         "Error: FAILURE: File not found.\n",
         LOG_CLASS_EXPECTED,
         2,
         "C:\\Windows\\system32\\drivers\\KWEusbnet.sys"},
        {"Clean",
         {"Delete: " + drivers + "KWEusbnet.sys\n"},
         "Error: FAILURE: Access is denied.\n",
         LOG_CLASS_REAL,
         5,
         nullptr},
        {"Clean",
         {"Change file attributes: C:\\Windows\\inf\\oem5.inf\n", "Delete: C:\\Windows\\inf\\oem5.inf\n"},
         "Error: FAILURE: File not found.\n",
         LOG_CLASS_REAL,
         2,
         "C:\\Windows\\inf\\oem5.inf"},
        {"Clean",
         {},
         "error: C:\\Windows\\inf\\oem4.inf does not contain any device descriptions\n",
         LOG_CLASS_EXPECTED,
         kAnyError,
         "C:\\Windows\\inf\\oem4.inf"},
        {"Clean", {}, "Open C:\\Windows\\inf\\oem4.inf fail!\n", LOG_CLASS_REAL, kAnyError, nullptr},
        {"Clean", {}, "Error : Search Oem*.inf file \n", LOG_CLASS_EXPECTED, kAnyError, nullptr},
        // Records the installer does not write.
        {"Install", {}, "Hello from another program\n", LOG_CLASS_REAL, kAnyError, ""},
        {"Install", {}, "Frobnicate FAILURE: Access is denied.\n", LOG_CLASS_REAL, 5, ""},
        {"Install",
         {"Error : Search Oem*.inf file \n"},
         "3.KWEusbser6k.sys\n",
         LOG_CLASS_REAL,
         kAnyError,
         ""},
    };
    for (const ClassCase& c : cases) {
        std::vector<std::string> records = RunStart(c.operation);
        records.insert(records.end(), c.before.begin(), c.before.end());
        records.push_back(c.record);
        size_t number = records.size();
        records.insert(records.end(), c.after.begin(), c.after.end());
        records.push_back(kFinish);
        Analyzed a;
        Analyze(Records(records), &a);
        SCOPED_TRACE(std::string(c.operation) + ": " + c.record);
        ASSERT_EQ("", a.report.problem);
        const LogFinding* f = FindingAt(a.report, number);
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(c.cls, f->cls) << f->reason;
        EXPECT_EQ(c.error != kAnyError, f->hasError);
        if (c.error != kAnyError) {
            EXPECT_EQ(static_cast<uint32_t>(c.error), f->error);
        }
        if (c.subject != nullptr) {
            EXPECT_EQ(c.subject, f->subject);
        }
        EXPECT_NE(std::string(), f->reason);
    }
}

// The two records of an Uninstall on a machine without records: the first
// is the uninstall entry, the second the install flag.
TEST(LogClassification, TwoRegistryDeletionsNameTheEntryAndThenTheFlag) {
    std::vector<std::string> records = RunStart("Uninstall");
    records.push_back("RegDeleteKey\n FAILURE: (0x00000002)");
    records.push_back("RegDeleteKey\n FAILURE: (0x00000002)");
    records.push_back(kFinish);
    Analyzed a;
    Analyze(Records(records), &a);
    ASSERT_EQ(2u, a.report.findings.size());
    EXPECT_EQ(0u, a.report.findings[0].subject.find("the uninstall entry (HKLM"));
    EXPECT_EQ(0u, a.report.findings[1].subject.find("the install flag (HKLM"));
    EXPECT_EQ(0, a.report.verdict);
}

// The table holds a rule for every failure step and fixed error text, one
// for any error in any context among them, and only patterns that the
// installer writes.
TEST(LogClassification, TheTableCoversEveryStepAndErrorText) {
    std::set<std::string> patterns;
    for (const LogFailureStep& step : LogFailureSteps()) {
        EXPECT_NE(nullptr, FindLogClassRule(LOG_RULE_STEP, step.step, kAnyError, LOG_CONTEXT_ANY))
            << step.step;
        patterns.insert(std::string("step:") + step.step);
    }
    for (const LogMessageFormat& format : LogMessageFormats()) {
        if (format.role == LOG_ROLE_PROGRESS || format.role == LOG_ROLE_LIST_ENTRY) {
            continue;
        }
        EXPECT_NE(nullptr, FindLogClassRule(LOG_RULE_TEXT, format.format, kAnyError, LOG_CONTEXT_ANY))
            << format.format;
        patterns.insert(std::string("text:") + format.format);
    }
    for (const LogClassRule& rule : LogClassRules()) {
        std::string key = std::string(rule.kind == LOG_RULE_STEP ? "step:" : "text:") + rule.pattern;
        EXPECT_EQ(1u, patterns.count(key)) << key;
        EXPECT_NE(std::string(), rule.reason);
    }
}

// The row of a rule in the table of docs/log-verdicts.md.
std::string DocRow(const LogClassRule& rule) {
    std::string pattern;
    for (const char* p = rule.pattern; *p != '\0'; ++p) {
        pattern += *p == '\n' ? std::string("\\n") : std::string(1, *p);
    }
    std::string error = "any";
    if (rule.error != kAnyError) {
        char hex[16];
        snprintf(hex, sizeof(hex), "0x%08x", static_cast<unsigned>(rule.error));
        const char* name = SystemErrorName(static_cast<uint32_t>(rule.error));
        error = std::string(hex) + " " + (name != nullptr ? name : "");
    }
    const char* where = "";
    switch (rule.context) {
    case LOG_CONTEXT_ANY:
        where = "anywhere";
        break;
    case LOG_CONTEXT_OEM_INF:
        where = "reading a driver-store INF";
        break;
    case LOG_CONTEXT_PACKAGE_INF:
        where = "reading a package INF";
        break;
    case LOG_CONTEXT_DRIVER_FILE:
        where = "Clean, a driver file";
        break;
    case LOG_CONTEXT_SERVICE_AGAIN:
        where = "Clean, a service deleted before";
        break;
    }
    return std::string("| ") + (rule.kind == LOG_RULE_STEP ? "step" : "text") + " `" + pattern + "` | " +
           error + " | " + where + " | " + (rule.cls == LOG_CLASS_EXPECTED ? "expected" : "real") + " | " +
           rule.reason + " |";
}

// docs/log-verdicts.md lists every rule of the table, in its order.
TEST(LogClassification, TheDocumentListsTheTable) {
    std::ifstream file(std::string(HALLIMOR_SOURCE_DIR) + "/docs/log-verdicts.md");
    std::string doc((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(doc.empty());
    size_t at = 0;
    for (const LogClassRule& rule : LogClassRules()) {
        std::string row = DocRow(rule) + "\n";
        size_t found = doc.find(row, at);
        EXPECT_NE(std::string::npos, found) << row;
        if (found != std::string::npos) {
            at = found + row.size();
        }
    }
}

TEST(LogErrorTexts, WindowsAndWineTextsAndTheNumberFormGiveTheNumber) {
    struct Case {
        const char* text;
        bool known;
        uint32_t code;
    };
    const std::vector<Case> cases = {
        {"The system cannot find the file specified.\n", true, 2},
        {"File not found.\n", true, 2},
        {"File not found.", true, 2},
        {"Access is denied.\n", true, 5},
        {"Access denied.\n", true, 5},
        {"Service does not exist.\n", true, 1060},
        {"The device instance does not exist in the hardware tree.\n", true, 0xE000020B},
        {"(0xe000020b)", true, 0xE000020B},
        {"(0x00000002)", true, 2},
        {"(0xE000020B)", false, 0}, // the installer prints lower case
        {"(0x0000002)", false, 0},  // seven digits
        {"(0x00000002", false, 0},  // cut off
        {"File not", false, 0},     // cut off
        {"Datei nicht gefunden.\n", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        uint32_t code = 0;
        EXPECT_EQ(c.known, ErrorFromFailureText(c.text, &code)) << c.text;
        if (c.known) {
            EXPECT_EQ(c.code, code) << c.text;
        }
    }
}

struct VerdictCase {
    const char* name;
    std::string bytes;
    int verdict;
    LogOutcome outcome;
    LogStartStatus start;
};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(LogVerdict, WholeLogs) {
    const std::vector<std::string> expectedOnly = {
        "Error : Search Oem*.inf file \n", "Remove sysfile  FAILURE: File not found.\n",
        "Remove sysfile  FAILURE: File not found.\n", "Remove sysfile  FAILURE: File not found.\n",
        "Remove Dllfile  FAILURE: File not found.\n"};
    const std::string sound = Records(Join(Join(RunStart("Install"), expectedOnly), {kFinish}));
    const std::vector<VerdictCase> cases = {
        {"sound install", sound, 0, LOG_OUTCOME_SOUND, LOG_START_THROUGH},
        {"real failure",
         Records(Join(Join(RunStart("Install"), expectedOnly),
                      {"Copy SYS file to system folder\n FAILURE: Access is denied.\n",
                       "Copy sys file fail\n", kFinish})),
         1, LOG_OUTCOME_REAL_FAILURE, LOG_START_THROUGH},
        {"unknown word", Records(Join(RunStart("NULL"), {kFinish})), 0, LOG_OUTCOME_SOUND, LOG_START_THROUGH},
        {"clean", Records(Join(RunStart("Clean"), {"Error : Search Oem*.inf file \n", kFinish})), 0,
         LOG_OUTCOME_SOUND, LOG_START_THROUGH},
        {"no package",
         Records({"**************** KWE Driver Install ****************\n\n", "Version    : 1.0.1.17 \n",
                  "OperateCode: Install\n", "OS Version : ", "dwMajorVersion : 6;dwMinorVersion : 1",
                  "Windows 7 ", "Service Pack 1 (Build 7601)\n", "Directory : C:\\Setup\n",
                  "Search file name: C:\\Setup\\Drivers\\64bit\\WIN7\\*.sys\n",
                  "FindFirstFile(sys) FAILURE: Path not found.\n", "Error:Search sys file 1; inf file 1\n"}),
         2, LOG_OUTCOME_START_FAILED, LOG_START_FAILED},
        {"no system folder",
         Records({"**************** KWE Driver Install ****************\n\n", "Version    : 1.0.1.17 \n",
                  "OperateCode: Clean\n", "OS Version : ", "Error: Couldn't find the system folder\n",
                  "Error : Get windows driver directory fail\n"}),
         2, LOG_OUTCOME_START_FAILED, LOG_START_FAILED},
        {"no closing line", Records(Join(RunStart("Install"), expectedOnly)), 2, LOG_OUTCOME_CUT_SHORT,
         LOG_START_THROUGH},
        {"cut in a record", sound.substr(0, sound.size() / 2), 2, LOG_OUTCOME_CUT_SHORT,
         LOG_START_NOT_REACHED},
        {"banner only", Records({"**************** KWE Driver Install ****************\n\n"}), 2,
         LOG_OUTCOME_CUT_SHORT, LOG_START_NOT_REACHED},
        {"records after the closing line", sound + Record("Updated success!\n"), 2, LOG_OUTCOME_NOT_A_LOG,
         LOG_START_THROUGH},
        {"two runs at once", sound.substr(0, 400) + sound, 2, LOG_OUTCOME_NOT_A_LOG, LOG_START_NOT_REACHED},
        {"another program's log", Records({"Starting service\n", "Done\n"}), 2, LOG_OUTCOME_NOT_A_LOG,
         LOG_START_NOT_REACHED},
        {"unknown operation line",
         Records({"**************** KWE Driver Install ****************\n\n", "Version    : 1.0.1.17 \n",
                  "OperateCode: Frobnicate\n"}),
         2, LOG_OUTCOME_NOT_A_LOG, LOG_START_NOT_REACHED},
    };
    // The piece of a record where a log is cut is no failure of its own;
    // a whole failure record before the cut still is one.
    {
        Analyzed a;
        Analyze(
            Records(Join(RunStart("Install"), {"Copy SYS file to system folder\n FAILURE: (0x00000005)"})) +
                Record("Copy sys fi"),
            &a);
        EXPECT_EQ(LOG_OUTCOME_CUT_SHORT, a.report.outcome);
        ASSERT_EQ(1u, a.report.findings.size());
        EXPECT_EQ(5u, a.report.findings[0].error);
        Analyze(Records(Join(RunStart("Install"), {"Remove sysfile  FAILURE: File n"})), &a);
        EXPECT_EQ(0u, a.report.findings.size());
    }
    for (const VerdictCase& c : cases) {
        Analyzed a;
        Analyze(c.bytes, &a);
        EXPECT_EQ(c.verdict, a.report.verdict) << c.name << ": " << a.report.verdictReason;
        EXPECT_EQ(c.outcome, a.report.outcome) << c.name;
        EXPECT_EQ(c.start, a.report.start) << c.name;
    }
}

TEST(LogVerdict, TheReportNamesTheRunAndTheRecordThatEndedIt) {
    Analyzed a;
    Analyze(Records({"**************** KWE Driver Install ****************\n\n", "Version    : 1.0.1.17 \n",
                     "OperateCode: Preinstall Type5\n", "OS Version : ",
                     "dwMajorVersion : 6;dwMinorVersion : 2", " (Build 9200)\n", "Directory : C:\\Setup\n",
                     "Search file name: C:\\Setup\\Drivers\\64bit\\\\*.sys\n", "Sys file list:\n",
                     "1.a.sys\n", "Search file name: C:\\Setup\\Drivers\\64bit\\\\*.inf\n",
                     "FindFirstFile(inf) FAILURE: (0x00000002)", "Error:Search sys file 2; inf file 1\n"}),
            &a);
    EXPECT_EQ("Preinstall_BYT", a.report.operation);
    EXPECT_EQ("OperateCode: Preinstall Type5", a.report.operationLine);
    EXPECT_EQ("1.0.1.17", a.report.programVersion);
    EXPECT_EQ("OS Version : dwMajorVersion : 6;dwMinorVersion : 2 (Build 9200)", a.report.windows);
    EXPECT_EQ(12u, a.report.startFailureRecord);
    EXPECT_EQ("FindFirstFile(inf) FAILURE: (0x00000002)", a.report.startFailure);
    ASSERT_EQ(2u, a.report.findings.size());
    EXPECT_EQ("C:\\Setup\\Drivers\\64bit\\\\*.inf", a.report.findings[0].subject);
}

// The record that follows a failure record with an error number stands on
// the same line of the file; a system text ends in two carriage returns.
TEST(LogReader, RecordsSplitAtTimeStampsNotLineEnds) {
    std::string bytes = "(2009/3/7 9:5:2) **************** KWE Driver Install ****************\r\n\r\n"
                        "(2009/3/7 9:5:2) UpdateDriver FAILURE: (0xe000020b)(2009/3/7 9:5:2) Updating x\r\n"
                        "(2009/3/7 9:5:2) Remove sysfile  FAILURE: File not found.\r\r\n"
                        "(2009/13/7 9:5:2) a bracket that is no time stamp\r\n"
                        "(2009/12/31 23:59:59) (10/1/1 1:1) Updated success!\r\n";
    InstallLogText log;
    SplitInstallLog(bytes.data(), bytes.size(), &log);
    ASSERT_EQ("", log.problem);
    ASSERT_EQ(5u, log.records.size());
    EXPECT_EQ("UpdateDriver FAILURE: (0xe000020b)", log.records[1].message);
    EXPECT_EQ("Updating x\n", log.records[2].message);
    EXPECT_EQ("Remove sysfile  FAILURE: File not found.\n(2009/13/7 9:5:2) a bracket that is no time stamp\n",
              log.records[3].message);
    EXPECT_EQ("2009/12/31 23:59:59", log.records[4].stamp);
    EXPECT_EQ("(10/1/1 1:1) Updated success!\n", log.records[4].message);
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("hallimor_log_test_" + name)).string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
}

TEST(LogReader, InputsThatAreNotInstallLogsGetAReason) {
    std::string utf16;
    for (char c : std::string("(2009/3/7 9:5:2) Version")) {
        utf16 += c;
        utf16 += '\0';
    }
    std::string longRecord = Record(std::string(2048, 'x'));
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"empty", "", "empty file"},
        {"binary",
         std::string("(2009/3/7 9:5:2) \x7f"
                     "ELF\x02\x01\x01\0\0",
                     27),
         "binary data (byte 0x02"},
        {"UTF-16 with mark", "\xFF\xFE" + utf16, "UTF-16"},
        {"UTF-16 without mark", utf16, "UTF-16"},
        {"not time-stamped", "Version 1.0\r\n(2009/3/7 9:5:2) x\r\n",
         "does not begin with a time-stamped record"},
        {"record over the limit", longRecord, "record 1 holds 2048 characters, more than the 2047"},
    };
    for (const Case& c : cases) {
        Analyzed a;
        Analyze(c.bytes, &a);
        EXPECT_EQ(2, a.report.verdict) << c.name;
        EXPECT_EQ(LOG_OUTCOME_NOT_A_LOG, a.report.outcome) << c.name;
        EXPECT_NE(std::string::npos, a.report.problem.find(c.reason)) << c.name << ": " << a.report.problem;
    }
    // The limit itself is a record the installer can write.
    Analyzed atLimit;
    Analyze(Record("**************** KWE Driver Install ****************\n\n") +
                Record(std::string(2047, 'x')),
            &atLimit);
    EXPECT_EQ(std::string::npos, atLimit.report.problem.find("characters")) << atLimit.report.problem;
    // A UTF-8 mark that an editor added changes nothing.
    Analyzed marked;
    Analyze("\xEF\xBB\xBF" + Records(Join(RunStart("Clean"), {kFinish})), &marked);
    EXPECT_EQ(0, marked.report.verdict) << marked.report.verdictReason;

    // A file of 50 MB is refused unread; a missing file is reported.
    std::string big = TempPath("big.log");
    {
        std::ofstream file(big, std::ios::binary);
        std::string block(1024 * 1024, 'x');
        file << Record("**************** KWE Driver Install ****************\n\n");
        for (int i = 0; i < 50; ++i) {
            file << block;
        }
    }
    InstallLogText log;
    ReadInstallLog(big, &log);
    EXPECT_NE(std::string::npos, log.problem.find("more than 32 MiB")) << log.problem;
    EXPECT_TRUE(log.records.empty());
    std::filesystem::remove(big);
    ReadInstallLog(TempPath("missing.log"), &log);
    EXPECT_EQ(0u, log.problem.find("cannot be read: ")) << log.problem;
}

int RunVerb(const std::vector<std::string>& args, std::string* out, std::string* err) {
    std::ostringstream o;
    std::ostringstream e;
    int code = RunLogVerb(args, o, e);
    *out = o.str();
    *err = e.str();
    return code;
}

TEST(LogVerb, ExitCodeIsTheWorstVerdictAndFoldersAreWalked) {
    namespace fs = std::filesystem;
    fs::path folder = TempPath("fleet");
    fs::remove_all(folder);
    fs::create_directories(folder / "pc2");
    const std::string sound =
        Records(Join(RunStart("Install"), {"Error : Search Oem*.inf file \n", kFinish}));
    const std::string failed =
        Records(Join(RunStart("Install"), {"Copy SYS file to system folder\n FAILURE: Access is denied.\n",
                                           "Copy sys file fail\n", kFinish}));
    WriteFile((folder / "pc1.log").string(), sound);
    WriteFile((folder / "pc2" / "HandsetInstallInfo.LOG").string(), failed);
    WriteFile((folder / "notes.txt").string(), "not read");

    std::string out;
    std::string err;
    EXPECT_EQ(0, RunVerb({(folder / "pc1.log").string()}, &out, &err));
    EXPECT_EQ(1, RunVerb({folder.string()}, &out, &err));
    EXPECT_NE(std::string::npos, out.find("pc1.log: verdict 0"));
    EXPECT_NE(std::string::npos, out.find("HandsetInstallInfo.LOG: verdict 1"));
    EXPECT_EQ(std::string::npos, out.find("notes.txt"));
    EXPECT_NE(
        std::string::npos,
        out.find("step \"Copy SYS file to system folder\\n\", error 5 ERROR_ACCESS_DENIED (0x00000005), "
                 "gorvel.sys\n"))
        << out;

    WriteFile((folder / "cut.log").string(), sound.substr(0, sound.size() - 20));
    EXPECT_EQ(2, RunVerb({folder.string(), "--summary"}, &out, &err));
    EXPECT_NE(std::string::npos, out.find("logs: 3 (sound 1, real failure 1, start failed 0, cut short 1, "
                                          "not an install log 0)"))
        << out;
    EXPECT_NE(std::string::npos, out.find("Install                 3        1             1             0  "
                                          "        1                   0"))
        << out;
    EXPECT_NE(
        std::string::npos,
        out.find("       1        1  step \"Copy SYS file to system folder\\n\"  5 ERROR_ACCESS_DENIED"))
        << out;

    EXPECT_EQ(1, RunVerb({"--json", (folder / "pc2").string()}, &out, &err));
    EXPECT_EQ(0u, out.find("{\"logs\": [\n{\"file\": "));
    EXPECT_NE(std::string::npos,
              out.find("\"step\": \"Copy SYS file to system folder\\n\", \"error\": 5, "
                       "\"error_hex\": \"0x00000005\", \"error_name\": \"ERROR_ACCESS_DENIED\""))
        << out;
    EXPECT_NE(std::string::npos, out.find("\n], \"exit\": 1}\n"));

    EXPECT_EQ(2, RunVerb({"--summary", "--json", folder.string()}, &out, &err));
    EXPECT_EQ(0u, out.find("{\"summary\": {\"logs\": 3, \"outcomes\": {\"sound\": 1, \"real failure\": 1, "
                           "\"start failed\": 0, \"cut short\": 1, \"not an install log\": 0}"))
        << out;
    fs::remove_all(folder);
}

TEST(LogVerb, WrongCallsEndWithTwoAndAReason) {
    std::string out;
    std::string err;
    EXPECT_EQ(2, RunVerb({}, &out, &err));
    EXPECT_NE(std::string::npos, err.find("no log file given"));
    EXPECT_EQ(2, RunVerb({"--jsn", "x.log"}, &out, &err));
    EXPECT_NE(std::string::npos, err.find("unknown option '--jsn'"));
    EXPECT_EQ("", out);
}

} // namespace
