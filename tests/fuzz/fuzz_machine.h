// A simulated machine built from arbitrary bytes, one run of the installer on
// it, and the checks that every run must pass. Shared by the libFuzzer target
// (hallimor_fuzz.cpp) and the host test that replays the corpus and every
// input that once failed (tests/unit/reliability_fuzz_replay_test.cpp).
//
// Input layout, read front to back; missing bytes read as 0 and missing texts
// as empty. A text is a run of bytes ended by a backslash followed by any
// byte but a backslash ("\\\\" stands for one backslash), or by the end of
// the input.
//   byte   operation word: 0-7 the eight words, 8 no word, 9 a word from the
//          next text, anything else modulo 10
//   byte   Windows version: index into kFuzzVersions (modulo)
//   byte   flags: 1 no extended version record, 2 shadow-copy service,
//          4 database locked by another party, 8 shadow-copy service
//          running, 16 filter service exists, 32 the program in a drive root
//   byte   shadow-copy start type: automatic, demand, disabled (modulo 3)
//   byte   product type value type; text: its bytes
//   byte   driver file count (modulo 8); per file: text (name stem)
//   byte   INF count (modulo 8); per INF: text (name stem), text (contents)
//   byte   OEM INF count (modulo 8); per OEM INF: byte flags (1 PNF beside
//          it, 2 read-only), text (contents)
//   byte   device count (modulo 8); per device: byte flags (1 present,
//          2 without hardware IDs, 4 with configuration flags, the upper
//          four bits choose an instance-ID prefix), text (instance ID),
//          text (raw hardware-ID bytes: a multi-string, or anything)
#ifndef HALLIMOR_TESTS_FUZZ_FUZZ_MACHINE_H
#define HALLIMOR_TESTS_FUZZ_FUZZ_MACHINE_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "machine.h"
#include "../unit/reliability_support.h"

namespace fuzzmachine {

class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() {
        return at_ < size_ ? data_[at_++] : 0;
    }

    std::string Text(size_t maxLength) {
        std::string text;
        while (at_ < size_ && text.size() < maxLength) {
            char c = static_cast<char>(data_[at_++]);
            if (c == '\\') {
                if (at_ < size_ && data_[at_] == '\\') {
                    ++at_;
                } else {
                    if (at_ < size_) {
                        ++at_;
                    }
                    break;
                }
            }
            text.push_back(c);
        }
        return text;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

struct FuzzVersion {
    DWORD major, minor, build;
    const char* osFolder;
};

const FuzzVersion kFuzzVersions[] = {
    {6, 1, 7601, "WIN7"}, {6, 0, 6002, "VISTA"}, {5, 2, 3790, "WNET"}, {5, 1, 2600, "WNET"},
    {5, 0, 2195, "WNET"}, {6, 2, 9200, ""},      {7, 3, 1, "WIN7"},    {4, 0, 1381, ""},
};

const char* const kFuzzWords[] = {"Install",      "Uninstall",      "Clean",         "Preinstall",
                                  "Preinstall_f", "Preinstall_cfg", "Preinstall_cu", "Preinstall_BYT"};

const char* const kInstancePrefixes[] = {
    "",      "USB\\VID_3E1F&PID_C301\\", "USB\\VID_3E1F&PID_A101\\", "USB\\Vid_3E1F&PID_D40B&MI_01\\",
    "USB\\", "USB\\VID_1234&PID_5678\\", "HID\\VID_3E1F&PID_A101\\", "USB\\VID_3E1F&PID_C307\\"};

// A file name from a text: no separators or terminators inside it.
inline std::string FileName(std::string stem, const char* extension) {
    std::string name;
    for (char c : stem) {
        if (c != '\0' && c != '\\' && c != '/' && c != ':') {
            name.push_back(c);
        }
    }
    return name + extension;
}

inline std::string WithoutNul(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\0') {
            out.push_back(c);
        }
    }
    return out;
}

// What the machine held before the run, for the checks after it.
struct Built {
    std::vector<std::string> words; // the command-line words
    std::string osFolder;
    bool vssPresent = false;
    DWORD vssStartType = 0;
    std::vector<std::string> packageIds; // usable first hardware IDs, upper-cased
    struct Oem {
        std::string path, data;
        reliability::InfRead firstId, provider;
    };
    std::vector<Oem> oemInfs;
    std::vector<sim::Device> devices;
};

inline Built BuildMachine(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    Built built;
    sim::Reset();

    uint8_t word = in.Byte() % 10;
    if (word < 8) {
        built.words.push_back(kFuzzWords[word]);
    } else if (word == 9) {
        built.words.push_back(WithoutNul(in.Text(40)));
    }

    const FuzzVersion& version =
        kFuzzVersions[in.Byte() % (sizeof(kFuzzVersions) / sizeof(kFuzzVersions[0]))];
    sim::SetWindowsVersion(version.major, version.minor, version.build, "Service Pack 1");
    built.osFolder = version.osFolder;

    uint8_t flags = in.Byte();
    if (flags & 1) {
        sim::M().version.extendedRecordAvailable = false;
    }
    if (flags & 32) {
        sim::SetExePath("D:\\Hallimor_x64.exe");
    }
    built.vssPresent = (flags & 2) != 0;
    // A service of its own process starts automatically, on demand or not at
    // all (boot and system start are for drivers only).
    static const DWORD kStartTypes[] = {SERVICE_AUTO_START, SERVICE_DEMAND_START, SERVICE_DISABLED};
    built.vssStartType = kStartTypes[in.Byte() % 3];
    if (built.vssPresent) {
        sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, built.vssStartType, (flags & 8) != 0);
    }
    if (flags & 4) {
        sim::LockDatabaseByOther("Other Setup", 3);
    }
    if (flags & 16) {
        sim::AddService("gorvel", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    }

    DWORD productType = in.Byte() % 8;
    sim::SetRegValue("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", productType,
                     in.Text(200));

    std::string package = sim::PackageFolder(built.osFolder);
    // The catalog that a signed package INF names ("CatalogFile=kwe.cat").
    sim::AddFile(package + "kwe.cat", "catalog");
    int sysCount = in.Byte() % 8;
    for (int i = 0; i < sysCount; ++i) {
        sim::AddFile(package + FileName(in.Text(90), ".sys"), "driver");
    }
    std::vector<std::string> infPaths;
    int infCount = in.Byte() % 8;
    for (int i = 0; i < infCount; ++i) {
        std::string path = package + FileName(in.Text(90), ".inf");
        sim::AddFile(path, in.Text(6000));
        infPaths.push_back(path);
    }
    int oemCount = in.Byte() % 8;
    for (int i = 0; i < oemCount; ++i) {
        uint8_t oemFlags = in.Byte();
        std::string name = sim::InfFolder() + "oem" + std::to_string(i + 1);
        sim::AddFile(name + ".inf", in.Text(6000),
                     (oemFlags & 2) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE);
        if (oemFlags & 1) {
            sim::AddFile(name + ".PNF", "PNF");
        }
    }
    int deviceCount = in.Byte() % 8;
    for (int i = 0; i < deviceCount; ++i) {
        uint8_t deviceFlags = in.Byte();
        std::string instance = kInstancePrefixes[(deviceFlags >> 4) % 8] + WithoutNul(in.Text(300));
        if (instance.empty() || sim::FindDevice(instance) != nullptr) {
            instance += "#" + std::to_string(i);
        }
        std::string raw = in.Text(5000);
        sim::Device& device = sim::AddDevice(instance, {}, (deviceFlags & 1) != 0);
        device.hardwareIds = raw;
        device.hasHardwareIds = (deviceFlags & 2) == 0;
        device.hasConfigFlags = (deviceFlags & 4) != 0;
    }

    // The judgement's view of the machine, read as the platform reads it.
    for (const std::string& path : infPaths) {
        reliability::InfRead id = reliability::FirstHardwareId(path);
        if (reliability::UsableId(id)) {
            built.packageIds.push_back(reliability::Upper(id.text));
        }
    }
    for (const std::string& name : sim::ListFolder(sim::InfFolder())) {
        std::string upper = reliability::Upper(name);
        if (upper.size() > 7 && upper.compare(0, 3, "OEM") == 0 && upper.substr(upper.size() - 4) == ".INF") {
            std::string path = sim::InfFolder() + name;
            built.oemInfs.push_back({path, sim::FileData(path), reliability::FirstHardwareId(path),
                                     reliability::ProviderOf(path)});
        }
    }
    built.devices = sim::M().devices;
    sim::ClearJournal();
    return built;
}

// Runs the installer on the machine and returns what broke a rule, or "".
inline std::string RunAndCheck(const Built& built) {
    std::string word = built.words.empty() ? std::string("Install") : built.words[0];
    int code = sim::Run(built.words);
    if (code != 0 && code != -1) {
        return "exit code " + std::to_string(code);
    }
    if (code == 0 && !reliability::LogEndsWithFinish()) {
        return "exit code 0 without the Finish record";
    }
    if (sim::OpenHandleCount() != 0) {
        return "handle left open: " + sim::OpenHandleKinds()[0];
    }
    if (built.vssPresent && built.vssStartType != SERVICE_DISABLED) {
        sim::Service* vss = sim::FindService("VSS");
        if (vss == nullptr || vss->startType == SERVICE_DISABLED) {
            return "shadow-copy service left disabled";
        }
    }
    for (const sim::Device& device : built.devices) {
        if (sim::FindDevice(device.instanceId) != nullptr) {
            continue;
        }
        bool vendor = false;
        if (device.hasHardwareIds) {
            for (const std::string& id : reliability::SplitMultiSz(device.hardwareIds)) {
                vendor = vendor || reliability::StartsWithNoCase(id, reliability::kVendorPrefix);
            }
        }
        if (!vendor) {
            return "device removed without a vendor hardware ID: " + device.instanceId;
        }
    }
    bool clean = word == "Clean";
    for (const Built::Oem& oem : built.oemInfs) {
        if (sim::FileExists(oem.path) && sim::FileData(oem.path) == oem.data) {
            continue;
        }
        bool allowed = false;
        if (clean) {
            for (const std::string& name : reliability::VendorProviders()) {
                allowed = allowed || (oem.provider.ok && oem.provider.text == name);
            }
        } else {
            for (const std::string& id : built.packageIds) {
                allowed = allowed ||
                          (reliability::UsableId(oem.firstId) && reliability::Upper(oem.firstId.text) == id);
            }
        }
        if (!allowed) {
            return "OEM INF deleted that is not superseded or the vendor's: " + oem.path;
        }
    }
    return "";
}

} // namespace fuzzmachine

#endif
