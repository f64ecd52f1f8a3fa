// hallimor-check machine on the simulated machine: the installer runs first,
// then the machine is changed the way a failed or partial run leaves it, and
// the verb must say which item is found, missing or cannot be told, and
// never write anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "install_test_support.h"
#include "machine.h"

using installtest::ModelInf;

namespace {

const char kFlag64[] = "SOFTWARE\\KWEUSBDriverFlag";
const char kEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver";
const char kDrivers[] = "C:\\Windows\\system32\\drivers\\";

struct VerbResult {
    int code;
    std::string out;
    std::string err;
};

VerbResult RunVerb(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    int code = RunMachineVerb(args, out, err);
    return VerbResult{code, out.str(), err.str()};
}

// The lines of the report, each the item's word, its kind and its name
// ("found  driver file  a.sys"), without the detail.
std::vector<std::string> ItemLines(const std::string& report) {
    std::vector<std::string> lines;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 5, "found") != 0 && line.compare(0, 7, "missing") != 0 &&
            line.compare(0, 7, "unknown") != 0 && line.compare(0, 7, "restart") != 0) {
            continue;
        }
        size_t kindEnd = line.find("  ", 9);
        size_t nameEnd = line.find("  ", kindEnd + 2);
        lines.push_back(line.substr(0, nameEnd));
    }
    return lines;
}

// A package of two modem drivers and the filter driver, whose file stands
// below the INF count so that the flows bring the filter into force; b.inf
// names its driver file.
void AddPackage(const std::string& osFolder = "WIN7") {
    sim::AddPackageFile(osFolder, "a.sys", "driver a");
    sim::AddPackageFile(osFolder, "b.sys", "driver b");
    sim::AddPackageFile(osFolder, "gorvel.sys", "filter");
    installtest::AddPackageInfFile(osFolder, "a.inf", ModelInf("USB\\VID_3E1F&PID_A101"));
    installtest::AddPackageInfFile(osFolder, "b.inf",
                                   ModelInf("USB\\VID_3E1F&PID_A102") + "[SourceDisksFiles]\r\nb.sys=1\r\n");
    installtest::AddPackageInfFile(osFolder, "gorvel.inf", ModelInf("USB\\VID_3E1F&PID_C301"));
}

const std::vector<std::string> kAllFound = {
    "found    driver file  a.sys",  "found    driver file  b.sys",  "found    driver file  gorvel.sys",
    "found    driver store  a.inf", "found    driver store  b.inf", "found    driver store  gorvel.inf",
    "found    service  gorvel",
};

// The store's copy of a package INF (oemN.inf), found by its bytes.
std::string StoredCopy(const std::string& infName) {
    std::string content = sim::FileData(sim::PackageFolder("WIN7") + infName);
    for (const std::string& name : sim::ListFolder(sim::InfFolder())) {
        if (name.size() > 4 && name.substr(name.size() - 4) == ".inf" &&
            sim::FileData(sim::InfFolder() + name) == content) {
            return sim::InfFolder() + name;
        }
    }
    return "";
}

TEST(CheckMachine, EachItemsFoundAndMissingRuleAfterInstall) {
    struct Row {
        const char* what;
        std::function<void()> change;
        int code;
        std::vector<std::string> changed; // the item lines that differ from kAllFound
        const char* detail;               // a part of the first changed line's detail
        std::vector<std::string> args = {};
        std::function<void()> before = [] {}; // before the install
    };
    const char* const kModem = "USB\\VID_3E1F&PID_A101\\5&1&0&1";
    const char* const kDisk = "USB\\VID_3E1F&PID_C301\\6&1&0&2";
    const std::vector<Row> rows = {
        {"nothing changed", [] {}, CHECK_EXIT_OK, {}, ""},
        {"driver file deleted",
         [] { sim::RemovePath(std::string(kDrivers) + "b.sys"); },
         CHECK_EXIT_FINDINGS,
         {"missing  driver file  b.sys"},
         "C:\\Windows\\system32\\drivers\\b.sys does not exist"},
        {"driver file of the same size, other bytes",
         [] { sim::AddFile(std::string(kDrivers) + "a.sys", "driver z"); },
         CHECK_EXIT_FINDINGS,
         {"missing  driver file  a.sys"},
         "(other bytes)"},
        {"driver file of another size",
         [] { sim::AddFile(std::string(kDrivers) + "a.sys", "older driver a"); },
         CHECK_EXIT_FINDINGS,
         {"missing  driver file  a.sys"},
         "(other size)"},
        {"a folder at the driver file's name",
         [] {
             sim::RemovePath(std::string(kDrivers) + "a.sys");
             sim::AddDirectory(std::string(kDrivers) + "a.sys");
         },
         CHECK_EXIT_FINDINGS,
         {"missing  driver file  a.sys"},
         "is a folder"},
        {"store copy deleted",
         [] { sim::RemovePath(StoredCopy("b.inf")); },
         CHECK_EXIT_FINDINGS,
         {"missing  driver store  b.inf"},
         "no INF in C:\\Windows\\inf\\ holds its bytes"},
        {"store copy of the same size with other bytes",
         [] {
             std::string copy = StoredCopy("a.inf");
             std::string data = sim::FileData(copy);
             data[data.size() - 3] = '9';
             sim::AddFile(copy, data);
         },
         CHECK_EXIT_FINDINGS,
         {"missing  driver store  a.inf", "missing  superseded copy  oem0.inf"},
         "holds its bytes"},
        {"store copy under the INF's own name, as Wine keeps it",
         [] {
             std::string copy = StoredCopy("a.inf");
             std::string data = sim::FileData(copy);
             sim::RemovePath(copy);
             sim::AddFile(sim::InfFolder() + "a.inf", data);
         },
         CHECK_EXIT_OK,
         {},
         ""},
        {"filter service deleted",
         [] { sim::M().services.erase("GORVEL"); },
         CHECK_EXIT_FINDINGS,
         {"missing  service  gorvel"},
         "does not exist"},
        {"filter service with another image path",
         [] { sim::FindService("gorvel")->binaryPath = "system32\\drivers\\other.sys"; },
         CHECK_EXIT_FINDINGS,
         {"missing  service  gorvel"},
         "image path system32\\drivers\\other.sys, expected system32\\drivers\\gorvel.sys"},
        {"filter service image path below \\SystemRoot, other letter case",
         [] { sim::FindService("gorvel")->binaryPath = "\\SystemRoot\\System32\\DRIVERS\\gorvel.sys"; },
         CHECK_EXIT_OK,
         {},
         ""},
        {"filter service image path as the full path",
         [] { sim::FindService("gorvel")->binaryPath = "C:\\Windows\\system32\\drivers\\gorvel.sys"; },
         CHECK_EXIT_OK,
         {},
         ""},
        {"a package .sys that cannot be read",
         [] { sim::FailCall("fopen", 1, ERROR_ACCESS_DENIED); },
         CHECK_EXIT_CANNOT,
         {"unknown  driver file  a.sys"},
         "cannot be read"},
        {"missing wins over cannot tell",
         [] {
             sim::FailCall("fopen", 1, ERROR_ACCESS_DENIED);
             sim::RemovePath(std::string(kDrivers) + "b.sys");
         },
         CHECK_EXIT_FINDINGS,
         {"missing  driver file  b.sys", "unknown  driver file  a.sys"},
         "does not exist"},
        {"the service manager cannot be opened",
         [] { sim::FailCall("OpenSCManagerA", 1, ERROR_ACCESS_DENIED); },
         CHECK_EXIT_CANNOT,
         {"unknown  service  gorvel"},
         "(error 5)"},
        {"the package lacks a file that its INF names",
         [] { sim::RemovePath(sim::PackageFolder("WIN7") + "b.sys"); },
         CHECK_EXIT_FINDINGS,
         {"missing  driver file  b.sys"},
         "named by b.inf, not in the package"},
        {"an older copy that the removal left in the store",
         [] { sim::AddFile(sim::InfFolder() + "oem7.inf", ModelInf("USB\\VID_3E1F&PID_A102") + ";old\r\n"); },
         CHECK_EXIT_FINDINGS,
         {"missing  superseded copy  oem7.inf"},
         "has the first hardware ID of b.inf (USB\\VID_3E1F&PID_A102), not its bytes"},
        {"no device: no restart", [] {}, CHECK_EXIT_OK, {}, "", {"--restart"}},
        {"a device in use while Install updated it",
         [] {},
         CHECK_EXIT_RESTART,
         {std::string("restart  device  ") + kModem},
         "the device waits for a restart (DN_NEED_RESTART)",
         {"--restart"},
         [=] {
             sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_A101"});
             sim::SetDeviceInUse(kModem, true);
         }},
        {"devices bound, the filter running: no restart",
         [] { sim::FindService("gorvel")->running = true; },
         CHECK_EXIT_OK,
         {},
         "",
         {"--restart"},
         [=] {
             sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_A101"});
             sim::AddDevice(kDisk, {"USB\\VID_3E1F&PID_C301"});
         }},
        {"a storage device while the filter service does not run",
         [=] { sim::AddDevice(kDisk, {"USB\\VID_3E1F&PID_C301"}); },
         CHECK_EXIT_RESTART,
         {std::string("restart  device  ") + kDisk},
         "the filter service gorvel is registered but not running",
         {"--restart"}},
        {"a device of the vendor's tables with the restart problem",
         [] {
             sim::AddDevice("USB\\VID_3E1F&PID_B201\\1", {"USB\\VID_3E1F&PID_B201&REV_0100"});
             sim::SetDeviceStatus("USB\\VID_3E1F&PID_B201\\1", DN_DRIVER_LOADED, CM_PROB_NEED_RESTART);
         },
         CHECK_EXIT_RESTART,
         {"restart  device  USB\\VID_3E1F&PID_B201\\1"},
         "problem CM_PROB_NEED_RESTART",
         {"--restart"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        AddPackage();
        row.before();
        ASSERT_EQ(0, sim::Run({"Install"}));
        row.change();
        VerbResult result = RunVerb(row.args);
        EXPECT_EQ(row.code, result.code) << result.out << result.err;
        std::vector<std::string> expected = kAllFound;
        for (const std::string& changed : row.changed) {
            auto same = std::find_if(expected.begin(), expected.end(), [&](const std::string& line) {
                return changed.substr(9) == line.substr(9);
            });
            // A line of no item of kAllFound (a superseded copy, a device) comes last.
            *(same != expected.end() ? same : expected.insert(expected.end(), "")) = changed;
        }
        EXPECT_EQ(expected, ItemLines(result.out)) << result.out;
        if (!row.changed.empty()) {
            size_t at = result.out.find(row.changed[0]);
            ASSERT_NE(std::string::npos, at) << result.out;
            std::string line = result.out.substr(at, result.out.find('\n', at) - at);
            EXPECT_NE(std::string::npos, line.find(row.detail)) << line;
        }
        EXPECT_EQ(0, sim::OpenHandleCount());
    }
}

TEST(CheckMachine, ClosingLineAndPackageLine) {
    sim::Reset();
    AddPackage();
    ASSERT_EQ(0, sim::Run({"Install"}));
    VerbResult all = RunVerb({});
    EXPECT_EQ(0u, all.out.find("package  C:\\Setup\\Drivers\\64bit\\WIN7\\  (3 driver files, 3 INFs)\n"));
    EXPECT_NE(std::string::npos, all.out.find("found    driver store  a.inf  C:\\Windows\\inf\\oem0.inf\n"));
    EXPECT_EQ("machine: all 7 items found\n", all.out.substr(all.out.rfind("machine: ")));
    EXPECT_EQ("", all.err);
    // The same report as one JSON object.
    VerbResult json = RunVerb({"--json", "--restart"});
    EXPECT_EQ(0u,
              json.out.find(
                  "{\"package\": \"C:\\\\Setup\\\\Drivers\\\\64bit\\\\WIN7\\\\\", \"driverFiles\": 3, "
                  "\"infs\": 3, \"items\": [\n  {\"state\": \"found\", \"kind\": \"driver file\", \"name\": "
                  "\"a.sys\""))
        << json.out;
    EXPECT_NE(
        std::string::npos,
        json.out.find("\n], \"found\": 7, \"missing\": 0, \"unknown\": 0, \"restartChecked\": true, "
                      "\"restartNeeded\": false, \"restarts\": [\n], \"summary\": \"all 7 items found, no "
                      "device waits for a restart\", \"exitCode\": 0}\n"))
        << json.out;

    sim::RemovePath(std::string(kDrivers) + "a.sys");
    sim::RemovePath(std::string(kDrivers) + "b.sys");
    VerbResult two = RunVerb({});
    EXPECT_EQ("machine: 2 of 7 items missing\n", two.out.substr(two.out.rfind("machine: ")));
}

TEST(CheckMachine, FilterServiceOnlyWhenTheFlowsBringTheFilterIntoForce) {
    // Without gorvel.sys, with gorvel.sys at an index that the INF loop does
    // not reach (three .sys files sorted before it, two INFs), and on
    // Windows 2000, where the flows mark the storage devices for
    // reinstallation instead, no service is looked for.
    for (int variant : {0, 1, 2}) {
        SCOPED_TRACE(variant);
        sim::Reset();
        if (variant == 2) {
            sim::SetWindowsVersion(5, 0, 2195, "Service Pack 4");
            AddPackage("WNET");
        }
        sim::AddPackageFile("WIN7", "a.sys", "driver a");
        sim::AddPackageFile("WIN7", "b.sys", "driver b");
        if (variant == 1) {
            sim::AddPackageFile("WIN7", "c.sys", "driver c");
            sim::AddPackageFile("WIN7", "gorvel.sys", "filter");
        }
        installtest::AddPackageInfFile("WIN7", "a.inf", ModelInf("USB\\VID_3E1F&PID_A101"));
        installtest::AddPackageInfFile("WIN7", "b.inf", ModelInf("USB\\VID_3E1F&PID_A102"));
        ASSERT_EQ(0, sim::Run({"Install"}));
        ASSERT_EQ(nullptr, sim::FindService("gorvel"));
        sim::ClearJournal();
        VerbResult result = RunVerb({});
        EXPECT_EQ(CHECK_EXIT_OK, result.code) << result.out;
        EXPECT_EQ(std::string::npos, result.out.find("service")) << result.out;
        EXPECT_EQ(0, sim::CallCount("OpenSCManagerA"));
    }
}

TEST(CheckMachine, RecordsAreTheInstallFlagOrTheUninstallEntry) {
    struct Row {
        const char* word;
        std::function<void()> change;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"Install", [] {},
         "missing  records  install records  neither the install flag nor the uninstall entry "
         "with DisplayVersion 1.0.1.14"},
        {"Preinstall_cu", [] {},
         "found    records  install records  uninstall entry " + std::string(kEntry) +
             " with DisplayVersion 1.0.1.14"},
        {"Preinstall", [] {},
         "found    records  install records  install flag SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag, "
         "install flag SOFTWARE\\KWEUSBDriverFlag"},
        {"Preinstall", [] { sim::RemoveRegKeyTree("SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag"); },
         "found    records  install records  install flag SOFTWARE\\KWEUSBDriverFlag"},
        {"Preinstall",
         [] {
             sim::SetRegDword(kFlag64, "IsDriverInstalled", 0);
             sim::RemoveRegKeyTree("SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag");
         },
         "missing  records  install records"},
        {"Preinstall",
         [] {
             sim::SetRegString(kFlag64, "IsDriverInstalled", "1");
             sim::RemoveRegKeyTree("SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag");
         },
         "missing  records  install records"},
        {"Preinstall_cu", [] { sim::SetRegString(kEntry, "DisplayVersion", "1.0.1.13", REG_EXPAND_SZ); },
         "missing  records  install records"},
        {"Preinstall_cu", [] { sim::SetRegString(kEntry, "DisplayVersion", "1.0.1.14", REG_SZ); },
         "found    records  install records  uninstall entry"},
        {"Preinstall_cu", [] { sim::SetRegString(kEntry, "DisplayVersion", std::string(100, '1'), REG_SZ); },
         "missing  records  install records"},
        {"Preinstall_cu", [] { sim::FailCall("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED); },
         "found    records  install records  uninstall entry"},
        {"Install", [] { sim::FailCall("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED); },
         "unknown  records  install records  cannot read SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag (error 5)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.word) + ": " + row.line);
        sim::Reset();
        AddPackage();
        sim::AddFile(sim::ExeFolder() + "lantrope.exe");
        ASSERT_EQ(0, sim::Run({row.word}));
        row.change();
        VerbResult result = RunVerb({"--records"});
        size_t at = result.out.find(row.line);
        EXPECT_NE(std::string::npos, at) << result.out;
        int expected = row.line.compare(0, 5, "found") == 0     ? CHECK_EXIT_OK
                       : row.line.compare(0, 7, "missing") == 0 ? CHECK_EXIT_FINDINGS
                                                                : CHECK_EXIT_CANNOT;
        EXPECT_EQ(expected, result.code) << result.out;
        // Without --records nothing of the records is read.
        sim::ClearFaults();
        sim::ClearJournal();
        VerbResult plain = RunVerb({});
        EXPECT_EQ(std::string::npos, plain.out.find("records")) << plain.out;
        EXPECT_EQ(-1, sim::FindCall("RegOpenKeyExA", "KWE"));
    }
}

TEST(CheckMachine, CannotTellWithoutPackageOrSystemFolders) {
    struct Row {
        const char* what;
        std::function<void()> change;
        const char* reason;
    };
    const std::vector<Row> rows = {
        {"no package folder", [] { sim::RemovePath(sim::ExeFolder() + "Drivers"); },
         "no driver package that the installer would take in C:\\Setup\\Drivers\\64bit\\WIN7\\"},
        {"no INF in the package",
         [] {
             for (const char* name : {"a.inf", "b.inf", "gorvel.inf"}) {
                 sim::RemovePath(sim::PackageFolder("WIN7") + name);
             }
         },
         "no driver package that the installer would take in C:\\Setup\\Drivers\\64bit\\WIN7\\"},
        {"only another version's package",
         [] {
             sim::RemovePath(sim::ExeFolder() + "Drivers");
             AddPackage("VISTA");
         },
         "no driver package that the installer would take in C:\\Setup\\Drivers\\64bit\\WIN7\\"},
        {"no Windows folder", [] { sim::SetWindowsDirectory(""); },
         "the system drivers folder or the system INF folder"},
        {"no system INF folder", [] { sim::RemovePath("C:\\Windows\\inf"); },
         "the system drivers folder or the system INF folder is missing (C:\\Windows\\system32\\drivers\\, "
         "C:\\Windows\\inf\\)"},
        {"no system drivers folder", [] { sim::RemovePath("C:\\Windows\\system32\\drivers"); },
         "the system drivers folder or the system INF folder is missing"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        AddPackage();
        row.change();
        VerbResult result = RunVerb({"--records"});
        EXPECT_EQ(CHECK_EXIT_CANNOT, result.code);
        EXPECT_EQ("", result.out);
        EXPECT_EQ(0u, result.err.find("hallimor-check machine: cannot tell: ")) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(row.reason)) << result.err;
    }
}

TEST(CheckMachine, PackageFolderFollowsTheWindowsVersionAndTheFolderArgument) {
    struct Row {
        const char* what;
        DWORD major, minor;
        std::string osFolder;
        std::vector<std::string> args;
        std::string packageLine;
    };
    const std::vector<Row> rows = {
        {"Vista, own folder", 6, 0, "VISTA", {}, "package  C:\\Setup\\Drivers\\64bit\\VISTA\\"},
        {"Windows 8: the package folder itself", 6, 2, "", {}, "package  C:\\Setup\\Drivers\\64bit\\\\"},
        {"folder argument", 6, 1, "WIN7", {"D:\\Other"}, "package  D:\\Other\\Drivers\\64bit\\WIN7\\"},
        {"folder argument with a trailing backslash, after --records",
         6,
         1,
         "WIN7",
         {"--records", "D:\\Other\\"},
         "package  D:\\Other\\Drivers\\64bit\\WIN7\\"},
        {"a drive's root", 6, 1, "WIN7", {"D:\\"}, "package  D:\\Drivers\\64bit\\WIN7\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        sim::SetWindowsVersion(row.major, row.minor, 7601, "");
        AddPackage(row.osFolder);
        sim::AddFile(sim::ExeFolder() + "lantrope.exe");
        ASSERT_EQ(0, sim::Run({"Preinstall_cu"}));
        std::string folder = row.args.empty() ? "" : row.args.back();
        if (!folder.empty()) {
            // The same package beside another folder; the one beside the
            // tool is gone, so only the argument can find it.
            std::string base = folder.back() == '\\' ? folder : folder + "\\";
            for (const std::string& name : sim::ListFolder(sim::PackageFolder(row.osFolder))) {
                sim::AddFile(base + "Drivers\\64bit\\" + row.osFolder + "\\" + name,
                             sim::FileData(sim::PackageFolder(row.osFolder) + name));
            }
            sim::RemovePath(sim::ExeFolder() + "Drivers");
        }
        VerbResult result = RunVerb(row.args);
        EXPECT_EQ(CHECK_EXIT_OK, result.code) << result.out << result.err;
        EXPECT_EQ(0u, result.out.find(row.packageLine + "  (3 driver files, 3 INFs)\n")) << result.out;
    }
}

TEST(CheckMachine, WrongArgumentsEndWithTwoAndUsage) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--record"}, {"C:\\a", "C:\\b"}, {""}, {"--reboot"}}) {
        sim::Reset();
        AddPackage();
        sim::ClearJournal();
        VerbResult result = RunVerb(args);
        EXPECT_EQ(CHECK_EXIT_CANNOT, result.code);
        EXPECT_EQ("", result.out);
        EXPECT_NE(
            std::string::npos,
            result.err.find("usage: hallimor-check machine [FOLDER] [--records] [--restart] [--json]\n"));
        EXPECT_TRUE(sim::Journal().empty());
    }
}

// Every call the verb makes only reads, with read access asked for; the
// machine is the same afterwards.
TEST(CheckMachine, ChangesNothingOnTheMachine) {
    sim::Reset();
    AddPackage();
    sim::AddFile(sim::ExeFolder() + "lantrope.exe");
    ASSERT_EQ(0, sim::Run({"Preinstall_cu"}));
    sim::RemovePath(std::string(kDrivers) + "b.sys"); // some items missing, so that every path runs
    sim::AddFile(sim::InfFolder() + "other.inf", sim::FileData(sim::PackageFolder("WIN7") + "a.inf") + "x");
    DWORD node = sim::AddDevice("USB\\VID_3E1F&PID_C301\\1", {"USB\\VID_3E1F&PID_C301"}).devInst;
    sim::ClearJournal();
    const sim::Machine before = sim::M();

    VerbResult result = RunVerb({"--records", "--restart"});
    EXPECT_EQ(CHECK_EXIT_FINDINGS, result.code);

    const std::set<std::string> reads = {"GetVersionExA",
                                         "GetModuleHandleA",
                                         "GetProcAddress",
                                         "GetNativeSystemInfo",
                                         "GetSystemInfo",
                                         "GetWindowsDirectoryA",
                                         "GetModuleFileNameA",
                                         "PathRemoveFileSpecA",
                                         "GetFileAttributesA",
                                         "FindFirstFileA",
                                         "FindNextFileA",
                                         "FindClose",
                                         "fopen",
                                         "OpenSCManagerA",
                                         "OpenServiceA",
                                         "QueryServiceConfigA",
                                         "CloseServiceHandle",
                                         "RegOpenKeyExA",
                                         "RegQueryValueExA",
                                         "RegCloseKey",
                                         "lstrcmpiA",
                                         "GetLocalTime",
                                         "GetLastError",
                                         "SetLastError",
                                         "FormatMessageA",
                                         "LocalFree",
                                         "SetupOpenInfFileA",
                                         "SetupFindFirstLineA",
                                         "SetupGetStringFieldA",
                                         "SetupCloseInfFile",
                                         "SetupDiGetClassDevsA",
                                         "SetupDiEnumDeviceInfo",
                                         "SetupDiGetDeviceRegistryPropertyA",
                                         "SetupDiGetDeviceInstanceIdA",
                                         "SetupDiDestroyDeviceInfoList",
                                         "CM_Get_DevNode_Status",
                                         "QueryServiceStatus"};
    // The present devices of every enumerator and class, the device's status.
    EXPECT_GE(sim::FindCall("SetupDiGetClassDevsA", "NULL, NULL, NULL, 6"), 0);
    EXPECT_GE(sim::FindCall("CM_Get_DevNode_Status", "ptr, ptr, " + std::to_string(node) + ", 0"), 0);
    std::set<std::string> opened;
    for (const sim::Call& call : sim::Journal()) {
        EXPECT_EQ(1u, reads.count(call.name)) << call.name << "(" << call.args << ")";
        if (call.name == "fopen") {
            EXPECT_EQ(", \"rb\"", call.args.substr(call.args.rfind(','))) << call.args;
        } else if (call.name == "RegOpenKeyExA") {
            opened.insert(call.args);
        } else if (call.name == "OpenSCManagerA") {
            EXPECT_EQ("NULL, NULL, " + std::to_string(SC_MANAGER_CONNECT), call.args);
        } else if (call.name == "OpenServiceA") {
            EXPECT_TRUE(call.args == "scm, \"gorvel\", " + std::to_string(SERVICE_QUERY_CONFIG) ||
                        call.args == "scm, \"gorvel\", " + std::to_string(SERVICE_QUERY_STATUS))
                << call.args;
        } else if (call.name == "SetupOpenInfFileA") {
            EXPECT_EQ("\", NULL, 2, NULL", call.args.substr(call.args.find("\", NULL"))) << call.args;
        }
    }
    const std::set<std::string> recordOpens = {
        "HKLM, \"SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag\", 0, 1, ptr",
        "HKLM, \"SOFTWARE\\KWEUSBDriverFlag\", 0, 1, ptr",
        "HKLM, \"" + std::string(kEntry) + "\", 0, 1, ptr",
    };
    for (const std::string& open : recordOpens) {
        EXPECT_EQ(1u, opened.count(open)) << open;
    }
    EXPECT_EQ(1, sim::CallCount("QueryServiceConfigA"));
    // The INF folder is listed once, whatever the number of package INFs.
    EXPECT_EQ(1, sim::FindCall("FindFirstFileA", "\"C:\\Windows\\inf\\*.inf\", ...") >= 0 ? 1 : 0);
    int infListings = 0;
    for (const sim::Call& call : sim::Journal()) {
        infListings += call.name == "FindFirstFileA" && call.args.find("inf\\*.inf\"") != std::string::npos;
    }
    EXPECT_EQ(1, infListings);

    const sim::Machine& after = sim::M();
    EXPECT_EQ(before.files.size(), after.files.size());
    for (const auto& entry : before.files) {
        auto it = after.files.find(entry.first);
        ASSERT_NE(after.files.end(), it) << entry.second.path;
        EXPECT_EQ(entry.second.data, it->second.data) << entry.second.path;
        EXPECT_EQ(entry.second.attributes, it->second.attributes) << entry.second.path;
    }
    EXPECT_EQ(before.registry.size(), after.registry.size());
    EXPECT_EQ(before.services.size(), after.services.size());
    EXPECT_EQ(before.driverStore.size(), after.driverStore.size());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

} // namespace
