// Properties over randomised machines: packages, driver-store INFs, devices
// and the shadow-copy service drawn from pools of ordinary and awkward
// values with a seeded generator, so that every run repeats. Whatever the
// machine holds, after any operation word:
// - Clean has deleted only OEM INFs whose provider is exactly a vendor name;
// - the superseded removal has deleted only OEM INFs whose first hardware ID
//   is the first hardware ID of a package INF;
// - only devices with a hardware ID of the vendor were removed (with a
//   removal-table entry for Uninstall and Preinstall_cfg), and every such
//   device was;
// - the shadow-copy service is not left disabled unless it was before.
// The judgement reads INFs and devices through the platform, as the program
// does, but with buffers large enough to see every field whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/vendor_config.h"
#include "machine.h"
#include "reliability_support.h"

namespace {

using reliability::FirstHardwareId;
using reliability::InfRead;
using reliability::InfText;
using reliability::ProviderOf;
using reliability::StartsWithNoCase;
using reliability::Upper;
using reliability::UsableId;

const std::vector<std::string> kWords = {"Install",      "Uninstall",      "Clean",         "Preinstall",
                                         "Preinstall_f", "Preinstall_cfg", "Preinstall_cu", "Preinstall_BYT"};

class Draw {
  public:
    explicit Draw(unsigned seed) : engine_(seed) {}
    int Below(int n) {
        return static_cast<int>(std::uniform_int_distribution<int>(0, n - 1)(engine_));
    }
    bool Chance(int percent) {
        return Below(100) < percent;
    }
    template <class T> const T& From(const std::vector<T>& pool) {
        return pool[static_cast<size_t>(Below(static_cast<int>(pool.size())))];
    }

  private:
    std::mt19937 engine_;
};

// ---------------------------------------------------------------- pools

std::string HardwareId(Draw& d) {
    static const std::vector<std::string> suffixes = {"", "&MI_00", "&REV_0100", "&Rev_0200&MI_02", "X"};
    switch (d.Below(10)) {
    case 0:
    case 1:
    case 2: {
        std::string id = kRemovalHardwareIds[d.Below(REMOVAL_HARDWARE_ID_COUNT)];
        id += d.From(suffixes);
        return d.Chance(30) ? Upper(id) : id;
    }
    case 3:
        return "USB\\VID_3E1F&PID_" + std::string(d.Chance(50) ? "FFFF" : "0001");
    case 4:
        return d.From(std::vector<std::string>{"USB\\VID_1234&PID_5678", "USB\\VID_3E1E&PID_A101",
                                               "USB\\VID_3E1&PID_A101", "USB\\ROOT_HUB30"});
    case 5:
        return d.From(std::vector<std::string>{"HID\\VID_3E1F&PID_A101", "USBSTOR\\DiskKWE",
                                               "usb\\vid_3e1f&pid_c301", "USB\\Vid_3E1F&Pid_C30"});
    case 6:
        return "";
    case 7:
        return "USB\\VID_3E1F&PID_A101&" + std::string(static_cast<size_t>(230 + d.Below(60)), 'Q');
    default:
        return kStorageHardwareIds[d.Below(STORAGE_HARDWARE_ID_COUNT)];
    }
}

std::string Provider(Draw& d) {
    static const std::vector<std::string> pool = {"KWE Corporation",
                                                  "KWE Communication",
                                                  "KWE Incorporated",
                                                  "ZEFO Corporation",
                                                  "ZEFO Incorporated",
                                                  "ZEFO Communication",
                                                  "kwe corporation",
                                                  "KWE CORPORATION",
                                                  "KWE Corporation Ltd",
                                                  "KWE Corp",
                                                  "\"KWE Corporation\"",
                                                  "%Provider%",
                                                  "Other Corp",
                                                  "",
                                                  "ZEFO",
                                                  "Microsoft"};
    return d.From(pool);
}

std::string RandomInf(Draw& d) {
    std::vector<std::string> ids;
    int lines = d.Below(4);
    for (int i = 0; i < lines; ++i) {
        ids.push_back(HardwareId(d));
    }
    std::string provider = Provider(d);
    switch (d.Below(12)) {
    case 0:
        return "";
    case 1:
        return "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=" + provider + "\r\n";
    case 2:
        return "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=" + provider +
               "\r\n[Manufacturer]\r\nM=Missing\r\n";
    case 3:
        return "[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I," + HardwareId(d) + "\r\n";
    default: {
        std::string text = InfText(provider, ids);
        if (provider == "%Provider%") {
            text += "Provider=\"" + std::string(d.Chance(50) ? "KWE Corporation" : "Other") + "\"\r\n";
        }
        return text;
    }
    }
}

// ---------------------------------------------------------------- machine

struct MachinePlan {
    std::string word;
    std::string osFolder;
    std::vector<std::string> packageInfNames;
    bool vssPresent = false;
    DWORD vssStartType = 0;
};

MachinePlan BuildRandomMachine(Draw& d) {
    MachinePlan plan;
    sim::Reset();
    plan.word = d.From(kWords);
    switch (d.Below(4)) {
    case 0:
        plan.osFolder = "WIN7";
        break;
    case 1:
        sim::SetWindowsVersion(6, 0, 6002, "Service Pack 2");
        plan.osFolder = "VISTA";
        break;
    case 2:
        sim::SetWindowsVersion(5, 1, 2600, "Service Pack 3");
        plan.osFolder = "WNET";
        break;
    default:
        sim::SetWindowsVersion(6, 0, 6001, "Service Pack 1");
        plan.osFolder = "VISTA";
        break;
    }

    // Package: driver files (at least one) and INFs (at least one).
    static const std::vector<std::string> sysPool = {"gorvel.sys",     "GORVEL.sys",      "KWEusbmdm6k.sys",
                                                     "KWEusbnmea.sys", "KWEusbser6k.sys", "a.sys",
                                                     "zz.sys",         "ZEFOusbnet.sys"};
    int sysCount = 1 + d.Below(4);
    for (int i = 0; i < sysCount; ++i) {
        sim::AddPackageFile(plan.osFolder, d.From(sysPool), "driver");
    }
    if (d.Chance(10)) {
        // A folder among the driver files: its copy fails, staging stops.
        sim::AddDirectory(sim::PackageFolder(plan.osFolder) + "broken.sys");
    }
    int infCount = 1 + d.Below(5);
    for (int i = 0; i < infCount; ++i) {
        std::string name = std::string(1, static_cast<char>('a' + i)) + ".inf";
        sim::AddPackageFile(plan.osFolder, name, RandomInf(d));
        plan.packageInfNames.push_back(name);
    }

    // Driver store: copies of package INFs and INFs of every kind.
    int oemCount = d.Below(8);
    for (int i = 0; i < oemCount; ++i) {
        std::string text = RandomInf(d);
        if (d.Chance(30)) {
            text = sim::FileData(sim::PackageFolder(plan.osFolder) + d.From(plan.packageInfNames));
        }
        std::string name = "oem" + std::to_string(i + 1);
        sim::AddFile(sim::InfFolder() + name + ".inf", text,
                     d.Chance(20) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE);
        if (d.Chance(70)) {
            sim::AddFile(sim::InfFolder() + name + ".PNF", "PNF");
        }
    }

    // Devices.
    int deviceCount = d.Below(9);
    for (int i = 0; i < deviceCount; ++i) {
        std::vector<std::string> ids;
        int idCount = 1 + d.Below(3);
        for (int k = 0; k < idCount; ++k) {
            std::string id = HardwareId(d);
            if (!id.empty()) {
                ids.push_back(id);
            }
        }
        std::string first = ids.empty() ? "USB\\VID_9999&PID_0000" : ids[0];
        std::string enumerator = d.Chance(85) ? "USB" : "HID";
        std::string instance = enumerator +
                               first.substr(first.find('\\') == std::string::npos ? 0 : first.find('\\')) +
                               "\\" + std::to_string(i) + "&" + std::to_string(d.Below(1000));
        sim::Device& device = sim::AddDevice(instance, ids, d.Chance(80));
        switch (d.Below(10)) {
        case 0:
            device.hasHardwareIds = false;
            break;
        case 1:
            // The list without its closing terminators.
            while (!device.hardwareIds.empty() && device.hardwareIds.back() == '\0') {
                device.hardwareIds.pop_back();
            }
            break;
        default:
            break;
        }
    }

    // Services, and sometimes another party holding the database lock.
    plan.vssPresent = d.Chance(85);
    if (plan.vssPresent) {
        static const std::vector<DWORD> startTypes = {SERVICE_AUTO_START, SERVICE_DEMAND_START,
                                                      SERVICE_DEMAND_START, SERVICE_DISABLED};
        plan.vssStartType = d.From(startTypes);
        sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, plan.vssStartType, d.Chance(50));
    }
    if (d.Chance(15)) {
        sim::LockDatabaseByOther("Other Setup", 12);
    }
    if (d.Chance(50)) {
        sim::AddService("gorvel", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    }
    if (d.Chance(50)) {
        sim::AddService("KWEusbmdm6k", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, d.Chance(50));
    }
    sim::ClearJournal();
    return plan;
}

// ---------------------------------------------------------------- oracles

bool BeginsWithTableEntry(const std::string& id) {
    for (int i = 0; i < REMOVAL_HARDWARE_ID_COUNT; ++i) {
        if (StartsWithNoCase(id, kRemovalHardwareIds[i])) {
            return true;
        }
    }
    return false;
}

struct Figures {
    int machines = 0;
    int oemInfsJudged = 0;
    int oemInfsDeleted = 0;
    int devicesJudged = 0;
    int devicesRemoved = 0;
    int shadowCopyChecks = 0;
    int violations = 0;
    std::map<std::string, int> words;
};

void CheckMachine(unsigned seed, Figures* figures) {
    Draw d(seed);
    MachinePlan plan = BuildRandomMachine(d);
    std::string label = "seed " + std::to_string(seed) + " " + plan.word + " " + plan.osFolder;
    auto violation = [&](const std::string& what) {
        ++figures->violations;
        ADD_FAILURE() << label << ": " << what;
    };

    // What the machine holds before the run, read through the platform.
    std::vector<std::string> packageIds;
    for (const std::string& name : plan.packageInfNames) {
        InfRead id = FirstHardwareId(sim::PackageFolder(plan.osFolder) + name);
        if (UsableId(id)) {
            packageIds.push_back(Upper(id.text));
        }
    }
    struct OemInf {
        std::string path;
        std::string data;
        InfRead firstId;
        InfRead provider;
    };
    std::vector<OemInf> oemInfs;
    for (const std::string& name : sim::ListFolder(sim::InfFolder())) {
        std::string path = sim::InfFolder() + name;
        if (Upper(name).compare(0, 3, "OEM") == 0 && name.size() > 4 &&
            Upper(name.substr(name.size() - 4)) == ".INF") {
            oemInfs.push_back({path, sim::FileData(path), FirstHardwareId(path), ProviderOf(path)});
        }
    }
    std::vector<sim::Device> devices = sim::M().devices;
    sim::ClearJournal();

    int code = sim::Run({plan.word});
    ++figures->machines;
    figures->words[plan.word]++;
    if (code != 0 || !reliability::LogEndsWithFinish()) {
        violation("run did not end with exit code 0 and its Finish record");
    }
    if (sim::OpenHandleCount() != 0) {
        violation("handles left open");
    }

    // OEM INFs.
    for (const OemInf& oem : oemInfs) {
        ++figures->oemInfsJudged;
        bool deleted = !sim::FileExists(oem.path) || sim::FileData(oem.path) != oem.data;
        if (!deleted) {
            continue;
        }
        ++figures->oemInfsDeleted;
        if (plan.word == "Clean") {
            bool vendor = false;
            for (const std::string& name : reliability::VendorProviders()) {
                vendor = vendor || (oem.provider.ok && oem.provider.text == name);
            }
            if (!vendor) {
                violation("Clean deleted " + oem.path + " of provider \"" + oem.provider.text + "\"");
            }
        } else {
            bool superseded = false;
            for (const std::string& id : packageIds) {
                superseded = superseded || (UsableId(oem.firstId) && Upper(oem.firstId.text) == id);
            }
            if (!superseded) {
                violation("superseded removal deleted " + oem.path + " with first ID \"" + oem.firstId.text +
                          "\"");
            }
        }
    }

    // Devices.
    bool tableRemoval = plan.word == "Uninstall" || plan.word == "Preinstall_cfg";
    for (const sim::Device& device : devices) {
        ++figures->devicesJudged;
        bool removed = sim::FindDevice(device.instanceId) == nullptr;
        bool usb = Upper(device.enumerator) == "USB";
        bool vendorId = false;
        bool tableId = false;
        if (device.hasHardwareIds) {
            for (const std::string& id : reliability::SplitMultiSz(device.hardwareIds)) {
                vendorId = vendorId || StartsWithNoCase(id, kVendorHardwareIdPrefix);
                tableId = tableId || BeginsWithTableEntry(id);
            }
        }
        bool mustGo = usb && ((plan.word == "Clean" && vendorId) || (tableRemoval && tableId));
        if (removed) {
            ++figures->devicesRemoved;
        }
        if (removed && !mustGo) {
            violation("device removed that is not the vendor's for this word: " + device.instanceId);
        }
        if (!removed && mustGo) {
            violation("vendor device left in place: " + device.instanceId);
        }
    }

    // The shadow-copy service.
    if (plan.vssPresent) {
        ++figures->shadowCopyChecks;
        sim::Service* vss = sim::FindService("VSS");
        if (vss == nullptr) {
            violation("shadow-copy service gone");
        } else if (vss->startType == SERVICE_DISABLED && plan.vssStartType != SERVICE_DISABLED) {
            violation("shadow-copy service left disabled");
        }
    }
}

const unsigned kFirstSeed = 20090307;
const int kMachines = 320;

TEST(ReliabilityProperties, RandomisedMachinesKeepTheInvariants) {
    Figures figures;
    for (int i = 0; i < kMachines; ++i) {
        CheckMachine(kFirstSeed + static_cast<unsigned>(i), &figures);
    }
    std::printf("properties: %d machines (seeds %u..%u), %d OEM INFs judged (%d deleted), %d devices judged "
                "(%d removed), %d shadow-copy checks, %d violations\n",
                figures.machines, kFirstSeed, kFirstSeed + kMachines - 1, figures.oemInfsJudged,
                figures.oemInfsDeleted, figures.devicesJudged, figures.devicesRemoved,
                figures.shadowCopyChecks, figures.violations);
    // Every word drawn, and the properties had something to judge.
    EXPECT_EQ(kWords.size(), figures.words.size());
    EXPECT_GT(figures.oemInfsDeleted, 0);
    EXPECT_GT(figures.devicesRemoved, 0);
    EXPECT_EQ(0, figures.violations);
}

// The same seed gives the same machine: a failure can be replayed alone.
TEST(ReliabilityProperties, SeedsRepeat) {
    Draw a(kFirstSeed + 7);
    MachinePlan first = BuildRandomMachine(a);
    reliability::MachineImage one = reliability::Capture();
    Draw b(kFirstSeed + 7);
    MachinePlan second = BuildRandomMachine(b);
    reliability::MachineImage two = reliability::Capture();
    EXPECT_EQ(first.word, second.word);
    EXPECT_EQ(one.files.size(), two.files.size());
    EXPECT_EQ(one.values, two.values);
    EXPECT_EQ(one.devices.size(), two.devices.size());
}

} // namespace
