// The platform calls of a run, counted against what the installer's work
// requires for the machine it runs on: the superseded removal reads every
// package INF once for every OEM INF that none matched before, the device
// removal builds the USB device set once per table entry and reads each
// device's hardware-ID list twice (size, then data), the filter passes read
// each present device once. No call is repeated and none is added: each
// expectation below is built from those rules, call by call, and compared
// with the machine's journal for every name.
//
// Whole runs are checked by growth: one more OEM INF, USB device or package
// INF must add exactly its own calls, for every operation word.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cleanup/cleanup.h"
#include "common/operation.h"
#include "common/text.h"
#include "common/vendor_config.h"
#include "devices/devices.h"
#include "environment/environment.h"
#include "log/log.h"
#include "machine.h"
#include "run/run.h"

namespace {

using Counts = std::map<std::string, long>;

Counts JournalCounts() {
    Counts counts;
    for (const sim::Call& call : sim::Journal()) {
        counts[call.name]++;
    }
    return counts;
}

// a + k * b, dropping names whose count ends at zero.
Counts Add(const Counts& a, const Counts& b, long k = 1) {
    Counts sum = a;
    for (const auto& entry : b) {
        sum[entry.first] += k * entry.second;
    }
    for (auto it = sum.begin(); it != sum.end();) {
        it = it->second == 0 ? sum.erase(it) : std::next(it);
    }
    return sum;
}

Counts Difference(const Counts& after, const Counts& before) {
    return Add(after, before, -1);
}

// One log record: the time stamp is read for every record.
const Counts kRecord = {{"GetLocalTime", 1}};

// The first hardware ID of one INF: open, the first line of "Manufacturer",
// its field 1, the first line of the models section, its field 2, close, and
// the "Found" record.
const Counts kFirstIdRead = {{"SetupOpenInfFileA", 1},
                             {"SetupFindFirstLineA", 2},
                             {"SetupGetStringFieldA", 2},
                             {"SetupCloseInfFile", 1},
                             {"GetLocalTime", 1}};

// A file that exists and is not read-only, deleted through the two steps.
const Counts kDeleteWritableFile = {{"GetFileAttributesA", 1}, {"DeleteFileA", 1}};

// A signed INF (catalog "kwe.cat") with its models in the section that the
// installer reads and in the one that 64-bit Windows binds through.
std::string ModelInf(const std::string& provider, const std::vector<std::string>& ids) {
    std::string lines;
    for (size_t i = 0; i < ids.size(); ++i) {
        lines += "Device" + std::to_string(i) + "=Install," + ids[i] + "\r\n";
    }
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=kwe.cat\r\nProvider=" + provider +
           "\r\n\r\n[Manufacturer]\r\nMaker=Models,NTamd64\r\n\r\n[Models]\r\n" + lines +
           "[Models.NTamd64]\r\n" + lines;
}

std::string ForeignOemInf(int n) {
    return ModelInf("Other Maker", {"PCI\\VEN_8086&DEV_" + std::to_string(1000 + n)});
}

// The removal passes compare the list's strings; the platform's string
// length helper may step from one to the next, but the program may as well
// measure within its buffer itself. Either way it is no work on the machine,
// so it is left out of the comparison and only bounded.
long TakeStringLengthCalls(Counts* counts) {
    long n = (*counts)["lstrlenA"];
    counts->erase("lstrlenA");
    return n;
}

// A fresh machine with the run-wide state of a Windows 7 run and an open log,
// for calling one operation directly.
class PerformanceStepCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
        g_OperationCode = OPERATION_INSTALL;
        g_OsCode = OS_CODE_WIN7;
        CopyText(g_OsFolderName, sizeof(g_OsFolderName), "WIN7");
        CopyText(g_SystemInfFolder, sizeof(g_SystemInfFolder), sim::InfFolder().c_str());
        CopyText(g_SystemDriversFolder, sizeof(g_SystemDriversFolder), sim::SystemDriversFolder().c_str());
        CopyText(g_DriverPackageFolder, sizeof(g_DriverPackageFolder), sim::PackageFolder("WIN7").c_str());
        ASSERT_EQ(1, OpenInstallLog((sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log").c_str()));
    }
    void TearDown() override {
        CloseInstallLog();
    }

    void AddPackageInf(const std::string& name, const std::string& id) {
        sim::AddPackageFile("WIN7", name, ModelInf("KWE Corporation", {id, id + "&MI_00"}));
        CopyText(g_InfFiles[g_InfCount], PACKAGE_NAME_SIZE, name.c_str());
        ++g_InfCount;
    }
};

TEST_F(PerformanceStepCalls, SupersededRemovalOpensEachPackageInfOncePerOemInfUntilTheFirstMatch) {
    const std::vector<std::string> packageIds = {"USB\\VID_3E1F&PID_A101", "USB\\VID_3E1F&PID_A102",
                                                 "USB\\VID_3E1F&PID_A103", "USB\\VID_3E1F&PID_A104"};
    for (size_t i = 0; i < packageIds.size(); ++i) {
        AddPackageInf("kwe" + std::to_string(i + 1) + ".inf", packageIds[i]);
    }
    const long packageInfs = static_cast<long>(packageIds.size());
    const long oemInfs = 12;
    // oem3 is an older copy of the third package INF, oem7 of the first; the
    // others serve other devices.
    std::map<int, int> matchAt = {{3, 3}, {7, 1}};
    for (int n = 1; n <= oemInfs; ++n) {
        std::string text =
            matchAt.count(n) ? ModelInf("KWE Corporation", {packageIds[matchAt[n] - 1]}) : ForeignOemInf(n);
        sim::AddFile(sim::InfFolder() + "oem" + std::to_string(n) + ".inf", text);
        sim::AddFile(sim::InfFolder() + "oem" + std::to_string(n) + ".PNF", "pnf");
    }
    sim::ClearJournal();

    EXPECT_EQ(1, RemoveSupersededOemInfs());

    long packageReads = 0;
    for (int n = 1; n <= oemInfs; ++n) {
        packageReads += matchAt.count(n) ? matchAt[n] : packageInfs;
    }
    Counts expected = {{"FindFirstFileA", 1}, {"FindNextFileA", oemInfs}, {"FindClose", 1}};
    expected = Add(expected, kFirstIdRead, oemInfs + packageReads);
    // Each match deletes the INF and its PNF file, each with its record.
    expected = Add(expected, kDeleteWritableFile, 2 * 2);
    expected = Add(expected, kRecord, 2 * 2);
    EXPECT_EQ(expected, JournalCounts());

    // Every OEM INF is opened once; a package INF once for every OEM INF that
    // reached it.
    for (int n = 1; n <= oemInfs; ++n) {
        std::string path = sim::InfFolder() + "oem" + std::to_string(n) + ".inf";
        EXPECT_EQ(1u, sim::FindCalls("SetupOpenInfFileA", "\"" + path + "\", NULL, 2, NULL").size()) << path;
    }
    for (long i = 0; i < packageInfs; ++i) {
        std::string path = sim::PackageFolder("WIN7") + "kwe" + std::to_string(i + 1) + ".inf";
        size_t reached = 0;
        for (int n = 1; n <= oemInfs; ++n) {
            reached += (!matchAt.count(n) || matchAt[n] > i) ? 1 : 0;
        }
        EXPECT_EQ(reached, sim::FindCalls("SetupOpenInfFileA", "\"" + path + "\", NULL, 2, NULL").size())
            << path;
    }
}

TEST_F(PerformanceStepCalls, DeviceRemovalBuildsTheSetOncePerTableEntryAndReadsEachListTwice) {
    const long foreignDevices = 5;
    for (long i = 0; i < foreignDevices; ++i) {
        std::string id = "USB\\VID_046D&PID_C52" + std::to_string(i);
        sim::AddDevice(id + "\\5&1&0&" + std::to_string(i), {id + "&REV_2201", id}, i % 2 == 0);
    }
    // Not of the USB enumerator: never in the set.
    sim::AddDevice("PCI\\VEN_8086&DEV_1E31\\3&11583659&0&A0", {"PCI\\VEN_8086&DEV_1E31"});
    // A USB device without a hardware-ID list: one read tells it.
    sim::Device& bare = sim::AddDevice("USB\\ROOT_HUB30\\4&1&0", {"USB\\ROOT_HUB30"});
    bare.hasHardwareIds = false;
    // The vendor's device of the last table entry: seen by every pass and
    // removed by the last one.
    const std::string last = kRemovalHardwareIds[REMOVAL_HARDWARE_ID_COUNT - 1];
    sim::AddDevice(last + "\\7&2&0&1", {last + "&REV_0100", last});
    sim::ClearJournal();

    RemoveVendorDevices();

    const long passes = REMOVAL_HARDWARE_ID_COUNT;
    const long withList = foreignDevices + 1;
    const long usbDevices = withList + 1;
    Counts expected = {{"SetupDiGetClassDevsA", passes}, {"SetupDiDestroyDeviceInfoList", passes}};
    // Every index of the set, and the one past its end.
    expected = Add(expected, {{"SetupDiEnumDeviceInfo", usbDevices + 1}}, passes);
    // The end of the enumeration is told by the last error.
    expected = Add(expected, {{"GetLastError", 1}}, passes);
    // A device with a list: the size query (whose error is looked at), the
    // buffer of that size, the read, the buffer released.
    expected = Add(
        expected,
        {{"SetupDiGetDeviceRegistryPropertyA", 2}, {"GetLastError", 1}, {"LocalAlloc", 1}, {"LocalFree", 1}},
        passes * withList);
    // The device without a list: the size query and its error.
    expected = Add(expected, {{"SetupDiGetDeviceRegistryPropertyA", 1}, {"GetLastError", 1}}, passes);
    // The one removal: "Found!", the class installer between its two records.
    expected = Add(expected, {{"SetupDiCallClassInstaller", 1}});
    expected = Add(expected, kRecord, 3);

    Counts actual = JournalCounts();
    long lengths = TakeStringLengthCalls(&actual);
    EXPECT_EQ(expected, actual);
    EXPECT_LE(lengths, passes * withList * 2);
    EXPECT_EQ(nullptr, sim::FindDevice(last + "\\7&2&0&1"));
}

TEST_F(PerformanceStepCalls, FilterPassesReadEachPresentDeviceOncePerStorageEntry) {
    g_OperationCode = OPERATION_INSTALL;
    const long foreignDevices = 3;
    for (long i = 0; i < foreignDevices; ++i) {
        std::string id = "USB\\VID_046D&PID_C52" + std::to_string(i);
        sim::AddDevice(id + "\\5&1&0&" + std::to_string(i), {id + "&REV_2201", id});
    }
    const std::string storage = kStorageHardwareIds[0];
    sim::AddDevice(storage + "\\7&2&0&1", {storage + "&REV_0100", storage});
    // Unplugged: not in the sets of present devices.
    sim::AddDevice(std::string(kStorageHardwareIds[1]) + "\\7&2&0&2", {kStorageHardwareIds[1]}, false);
    sim::Device& bare = sim::AddDevice("USB\\ROOT_HUB30\\4&1&0", {"USB\\ROOT_HUB30"});
    bare.hasHardwareIds = false;
    sim::ClearJournal();

    ApplyMassStorageFilter();

    const long passes = STORAGE_HARDWARE_ID_COUNT;
    const long readable = foreignDevices + 1;
    const long present = readable + 1;
    // The storage flag; the version; the filter service looked up, found
    // missing by its error and created.
    Counts expected = {{"RegCreateKeyExA", 1}, {"RegSetValueExA", 1}, {"RegCloseKey", 1},
                       {"GetVersionExA", 1},   {"OpenSCManagerA", 1}, {"OpenServiceA", 1},
                       {"GetLastError", 1},    {"CreateServiceA", 1}, {"CloseServiceHandle", 2}};
    expected = Add(expected, kRecord, 2);
    expected = Add(expected, {{"SetupDiGetClassDevsA", 1}, {"SetupDiDestroyDeviceInfoList", 1}}, passes);
    expected = Add(expected, {{"SetupDiEnumDeviceInfo", present + 1}}, passes);
    expected = Add(expected, {{"SetupDiGetDeviceRegistryPropertyA", present}}, passes);
    // Every readable list begins with "USB\VID_": its "Buffer" record, the
    // instance ID and its "IBuffer" record.
    expected = Add(expected, {{"SetupDiGetDeviceInstanceIdA", 1}, {"GetLocalTime", 2}}, passes * readable);
    // The storage device, in the first pass: "id", the lower filter and its
    // record, the friendly name, the device flag with its record, "Set
    // FilterInfo Success!" and "Set LowFilter Success!".
    expected = Add(expected, {{"SetupDiSetDeviceRegistryPropertyA", 2},
                              {"RegCreateKeyExA", 1},
                              {"RegSetValueExA", 1},
                              {"RegCloseKey", 1},
                              {"GetLocalTime", 5}});
    EXPECT_EQ(expected, JournalCounts());
}

// ------------------------------------------------------------ whole runs

struct Shape {
    int foreignOemInfs;
    int foreignUsbDevices;
    int modemPackageInfs; // besides the filter's INF, which is always there
};

// The package: "gorvel.sys" and "gorvel.inf" first in both lists, then
// "kwe<n>.sys" and "kwe<n>.inf"; an older copy of every driver file in the
// system drivers folder; each modem INF names one device of the PCI
// enumerator, which is present, so that binding it succeeds.
void BuildMachine(const Shape& shape) {
    sim::Reset();
    sim::AddPackageFile("WIN7", "kwe.cat", "catalog");
    sim::AddPackageFile("WIN7", "gorvel.sys", "driver");
    sim::AddPackageFile("WIN7", "gorvel.inf", ModelInf("KWE Corporation", {"USB\\VID_3E1F&PID_C301"}));
    sim::AddFile(sim::SystemDriversFolder() + "gorvel.sys", "old");
    for (int i = 1; i <= shape.modemPackageInfs; ++i) {
        std::string name = "kwe" + std::to_string(i);
        std::string id = "PCI\\VEN_3E1F&DEV_00" + std::to_string(10 + i);
        sim::AddPackageFile("WIN7", name + ".sys", "driver");
        sim::AddPackageFile("WIN7", name + ".inf", ModelInf("KWE Corporation", {id}));
        sim::AddFile(sim::SystemDriversFolder() + name + ".sys", "old");
        sim::AddDevice(id + "\\3&1&0&" + std::to_string(i), {id});
    }
    for (int n = 1; n <= shape.foreignOemInfs; ++n) {
        sim::AddFile(sim::InfFolder() + "oem" + std::to_string(n) + ".inf", ForeignOemInf(n));
    }
    for (int i = 0; i < shape.foreignUsbDevices; ++i) {
        std::string id = "USB\\VID_046D&PID_C5" + std::to_string(10 + i);
        sim::AddDevice(id + "\\5&1&0&" + std::to_string(i), {id + "&REV_2201", id});
    }
    sim::ClearJournal();
}

Counts RunCounts(const std::string& word, const Shape& shape) {
    BuildMachine(shape);
    EXPECT_EQ(0, sim::Run({word})) << word;
    Counts counts = JournalCounts();
    TakeStringLengthCalls(&counts);
    return counts;
}

const char* const kWords[] = {"Install",       "Preinstall",     "Preinstall_f", "Preinstall_cfg",
                              "Preinstall_cu", "Preinstall_BYT", "Uninstall",    "Clean"};

bool Is(const std::string& word, const char* name) {
    return word == name;
}

// Passes over the USB devices that a word makes with the package above:
// the device removal (once per removal table entry; the purge once with the
// vendor's prefix) and the filter (once per storage table entry, each time
// the filter is brought into force).
long RemovalPasses(const std::string& word) {
    if (Is(word, "Uninstall") || Is(word, "Preinstall_cfg")) {
        return REMOVAL_HARDWARE_ID_COUNT;
    }
    return Is(word, "Clean") ? 1 : 0;
}

long FilterPasses(const std::string& word) {
    if (Is(word, "Uninstall")) {
        return 0; // switched off through the registry only
    }
    // Preinstall_BYT brings it into force in both of its flows,
    // Preinstall_cfg before removing the devices and after preinstalling.
    if (Is(word, "Preinstall_BYT") || Is(word, "Preinstall_cfg")) {
        return 2 * STORAGE_HARDWARE_ID_COUNT;
    }
    return STORAGE_HARDWARE_ID_COUNT;
}

class PerformanceRunGrowth : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ResetRunState();
    }
    void TearDown() override {
        ResetRunState();
    }
};

const Shape kBase = {2, 2, 1};

TEST_P(PerformanceRunGrowth, EachOemInfAddsOneSearchStepAndItsReads) {
    const std::string word = GetParam();
    const int added = 3;
    Counts base = RunCounts(word, kBase);
    Counts grown =
        RunCounts(word, {kBase.foreignOemInfs + added, kBase.foreignUsbDevices, kBase.modemPackageInfs});

    Counts perOemInf = {{"FindNextFileA", 1}};
    if (Is(word, "Clean")) {
        // The provider test: open, the "Provider" line, its field, close.
        perOemInf = Add(perOemInf, {{"SetupOpenInfFileA", 1},
                                    {"SetupFindFirstLineA", 1},
                                    {"SetupGetStringFieldA", 1},
                                    {"SetupCloseInfFile", 1}});
    } else {
        // Its own first hardware ID, then that of every package INF, none of
        // which matches.
        const long packageInfs = 1 + kBase.modemPackageInfs;
        perOemInf = Add(perOemInf, kFirstIdRead, 1 + packageInfs);
    }
    EXPECT_EQ(Add({}, perOemInf, added), Difference(grown, base));
}

TEST_P(PerformanceRunGrowth, EachUsbDeviceAddsItsReadsToEveryPass) {
    const std::string word = GetParam();
    const int added = 3;
    Counts base = RunCounts(word, kBase);
    Counts grown =
        RunCounts(word, {kBase.foreignOemInfs, kBase.foreignUsbDevices + added, kBase.modemPackageInfs});

    // Removal: the enumeration step, the list's size query with its error,
    // the buffer, the read, the buffer released.
    const Counts perRemovalPass = {{"SetupDiEnumDeviceInfo", 1},
                                   {"SetupDiGetDeviceRegistryPropertyA", 2},
                                   {"GetLastError", 1},
                                   {"LocalAlloc", 1},
                                   {"LocalFree", 1}};
    // Filter: the enumeration step, the list read into the fixed buffer and
    // its record, the instance ID and its record.
    const Counts perFilterPass = {{"SetupDiEnumDeviceInfo", 1},
                                  {"SetupDiGetDeviceRegistryPropertyA", 1},
                                  {"SetupDiGetDeviceInstanceIdA", 1},
                                  {"GetLocalTime", 2}};
    Counts perDevice = Add(Add({}, perRemovalPass, RemovalPasses(word)), perFilterPass, FilterPasses(word));
    EXPECT_EQ(Add({}, perDevice, added), Difference(grown, base));
}

TEST_P(PerformanceRunGrowth, EachPackageInfAddsItsOwnWorkAndOneReadPerOemInf) {
    const std::string word = GetParam();
    const int added = 2;
    Counts base = RunCounts(word, kBase);
    Counts grown =
        RunCounts(word, {kBase.foreignOemInfs, kBase.foreignUsbDevices, kBase.modemPackageInfs + added});

    Counts perPair;
    if (!Is(word, "Clean")) {
        // The scan lists the driver file and the INF, each with its record;
        // every OEM INF reads the new INF's first hardware ID; the old copy
        // of the driver file is deleted, with its record.
        perPair = Add(perPair, {{"FindNextFileA", 2}, {"GetLocalTime", 2}});
        perPair = Add(perPair, kFirstIdRead, kBase.foreignOemInfs);
        perPair = Add(perPair, kDeleteWritableFile);
        perPair = Add(perPair, kRecord);
    }
    // Staging a driver file whose old copy is gone: its attributes (missing
    // reads as read-only), the attribute change, the deletion, the copy and
    // the record. Staged again, the copy is there and writable.
    const Counts stageMissing = {{"GetFileAttributesA", 1},
                                 {"SetFileAttributesA", 1},
                                 {"DeleteFileA", 1},
                                 {"CopyFileA", 1},
                                 {"GetLocalTime", 1}};
    const Counts stageAgain = {
        {"GetFileAttributesA", 1}, {"DeleteFileA", 1}, {"CopyFileA", 1}, {"GetLocalTime", 1}};
    // Into the driver store, between its two records.
    const Counts preinstall = {{"SetupCopyOEMInfA", 1}, {"GetLocalTime", 2}};
    // Binding its one model line: open, "Manufacturer" and its field, the
    // models section, the line's field, the update between its two records,
    // the step to the next line, close.
    const Counts bind = {{"SetupOpenInfFileA", 1},    {"SetupFindFirstLineA", 2},
                         {"SetupGetStringFieldA", 2}, {"UpdateDriverForPlugAndPlayDevicesA", 1},
                         {"GetLocalTime", 2},         {"SetupFindNextLine", 1},
                         {"SetupCloseInfFile", 1}};
    if (Is(word, "Install")) {
        perPair = Add(Add(Add(perPair, stageMissing), preinstall), bind);
    } else if (Is(word, "Preinstall_BYT")) {
        perPair = Add(Add(Add(Add(Add(perPair, stageMissing), preinstall), stageAgain), preinstall), bind);
    } else if (!Is(word, "Uninstall") && !Is(word, "Clean")) {
        perPair = Add(Add(perPair, stageMissing), preinstall);
    }
    EXPECT_EQ(Add({}, perPair, added), Difference(grown, base));
}

TEST_P(PerformanceRunGrowth, OemInfsTimesPackageInfsIsTheOnlyProductTerm) {
    const std::string word = GetParam();
    // The calls that grow with both inputs at once: grow both together and
    // take away what each adds alone.
    const int oem = 3;
    const int pkg = 2;
    Counts base = RunCounts(word, kBase);
    Counts moreOem =
        RunCounts(word, {kBase.foreignOemInfs + oem, kBase.foreignUsbDevices, kBase.modemPackageInfs});
    Counts morePkg =
        RunCounts(word, {kBase.foreignOemInfs, kBase.foreignUsbDevices, kBase.modemPackageInfs + pkg});
    Counts both =
        RunCounts(word, {kBase.foreignOemInfs + oem, kBase.foreignUsbDevices, kBase.modemPackageInfs + pkg});
    Counts interaction = Difference(Difference(Add(both, base), moreOem), morePkg);

    Counts expected;
    if (!Is(word, "Clean")) {
        expected = Add(expected, kFirstIdRead, static_cast<long>(oem) * pkg);
    }
    EXPECT_EQ(expected, interaction);

    // Devices interact with nothing: growing devices with OEM INFs adds no
    // more than each alone.
    Counts moreDev =
        RunCounts(word, {kBase.foreignOemInfs, kBase.foreignUsbDevices + 3, kBase.modemPackageInfs});
    Counts devAndOem =
        RunCounts(word, {kBase.foreignOemInfs + oem, kBase.foreignUsbDevices + 3, kBase.modemPackageInfs});
    EXPECT_EQ(Counts(), Difference(Difference(Add(devAndOem, base), moreOem), moreDev));
}

INSTANTIATE_TEST_SUITE_P(PerformanceWords, PerformanceRunGrowth, ::testing::ValuesIn(kWords),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

} // namespace
