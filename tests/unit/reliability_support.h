// Shared support of the reliability tests: a rich simulated machine with the
// vendor's package, devices, driver-store INFs, services and registry records
// beside foreign ones; snapshots of the whole machine; and the judgement of
// which differences between two snapshots touch something that is not the
// vendor's.
#ifndef HALLIMOR_TESTS_UNIT_RELIABILITY_SUPPORT_H
#define HALLIMOR_TESTS_UNIT_RELIABILITY_SUPPORT_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "machine.h"

namespace reliability {

// ------------------------------------------------------------ text helpers

inline std::string Upper(const std::string& s) {
    std::string r = s;
    for (char& c : r) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return r;
}

inline bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == Upper(prefix);
}

// The strings of a raw multi-string, read only within its bytes; an
// unterminated last string is taken up to the end of the data.
inline std::vector<std::string> SplitMultiSz(const std::string& raw) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < raw.size() && raw[at] != '\0') {
        size_t end = raw.find('\0', at);
        if (end == std::string::npos) {
            end = raw.size();
        }
        out.push_back(raw.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// Folder part of a Windows path (upper-cased, with its trailing backslash)
// and the name after it (upper-cased).
inline std::string FolderOf(const std::string& path) {
    size_t cut = path.rfind('\\');
    return cut == std::string::npos ? "" : Upper(path.substr(0, cut + 1));
}
inline std::string NameOf(const std::string& path) {
    size_t cut = path.rfind('\\');
    return Upper(cut == std::string::npos ? path : path.substr(cut + 1));
}

// ------------------------------------------------------------ vendor facts

const char kVendorPrefix[] = "USB\\VID_3E1F";
const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";
const char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\";

// The vendor's provider names, as the purge knows them.
inline const std::vector<std::string>& VendorProviders() {
    static const std::vector<std::string> names = {"KWE Corporation",   "KWE Communication",
                                                   "KWE Incorporated",  "ZEFO Corporation",
                                                   "ZEFO Incorporated", "ZEFO Communication"};
    return names;
}

// The vendor's service names (the purge's table and the filter service).
inline const std::set<std::string>& VendorServiceNames() {
    static const std::set<std::string> names = {
        "KWEUSBNET",   "KWEUSBSER6K", "KWEUSBNMEA", "KWEUSBMDM6K",  "KWEUSBNMEAEXT", "KWEUSBDVBH",
        "KWEUSBVOICE", "USBKWECCID",  "ZEFOUSBNET", "ZEFOUSBMDM6K", "ZEFOUSBSER6K",  "ZEFOUSBNMEA",
        "ZEFODVBH",    "KWETDMODEM",  "KWETDNMEA",  "KWETDDIAG",    "KWETDSOUND",    "KWEGSMDATACARD",
        "KWEGSMMODEM", "KWEGSMSOUND", "GORVEL"};
    return names;
}

// The vendor's driver files that the purge deletes from the drivers folder.
inline const std::set<std::string>& VendorDriverFileNames() {
    static const std::set<std::string> names = {
        "KWEUSBMDM6K.SYS",  "KWEUSBNMEA.SYS",   "KWEUSBNMEAEXT.SYS", "KWEUSBSER6K.SYS",  "KWEUSBCCID.SYS",
        "KWEUSBNET.SYS",    "ZEFODVBH.SYS",     "ZEFOUSBMDM6K.SYS",  "ZEFOUSBNET.SYS",   "ZEFOUSBNMEA.SYS",
        "ZEFOUSBSER6K.SYS", "KWETDDIAG.SYS",    "KWETDMODEM.SYS",    "KWETDNMEA.SYS",    "KWETDSOUND.SYS",
        "KWECDMADIAG.SYS",  "KWECDMAMODEM.SYS", "KWECDMANMEA.SYS",   "KWECDMASOUND.SYS", "KWEGSMMODEM.SYS",
        "KWEGSMSOUND.SYS",  "KWEUSBGSER.SYS",   "GORVEL.SYS"};
    return names;
}

// Registry keys that belong to the vendor's records (with everything below).
inline const std::vector<std::string>& VendorRecordKeys() {
    static const std::vector<std::string> keys = {
        "SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag", "SOFTWARE\\KWEUSBDriverFlag",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver"};
    return keys;
}

inline bool IsVendorDeviceIds(const std::string& instanceId, const std::string& hardwareIds) {
    if (StartsWithNoCase(instanceId, kVendorPrefix)) {
        return true;
    }
    for (const std::string& id : SplitMultiSz(hardwareIds)) {
        if (StartsWithNoCase(id, kVendorPrefix)) {
            return true;
        }
    }
    return false;
}

// ------------------------------------------------------------ snapshots

struct RegValueImage {
    DWORD type;
    std::string data;
    bool operator==(const RegValueImage& o) const {
        return type == o.type && data == o.data;
    }
};

struct FileImage {
    std::string path;
    bool isDirectory;
    DWORD attributes;
    std::string data;
};

struct ServiceImage {
    sim::Service service;
};

struct MachineImage {
    std::map<std::string, FileImage> files;       // upper-case path
    std::set<std::string> keys;                   // upper-case key path
    std::map<std::string, std::string> keyNames;  // upper-case -> as created
    std::map<std::string, RegValueImage> values;  // KEY|VALUE, upper-case
    std::map<std::string, sim::Service> services; // upper-case name
    std::map<std::string, sim::Device> devices;   // upper-case instance ID
};

inline MachineImage Capture() {
    MachineImage image;
    const sim::Machine& m = sim::M();
    for (const auto& f : m.files) {
        image.files[f.first] =
            FileImage{f.second.path, f.second.isDirectory, f.second.attributes, f.second.data};
    }
    for (const auto& k : m.registry) {
        std::string key = Upper(k.second.path);
        image.keys.insert(key);
        image.keyNames[key] = k.second.path;
        for (const sim::RegValue& v : k.second.values) {
            image.values[key + "|" + Upper(v.name)] = RegValueImage{v.type, v.data};
        }
    }
    for (const auto& s : m.services) {
        image.services[Upper(s.second.name)] = s.second;
    }
    for (const sim::Device& d : m.devices) {
        image.devices[Upper(d.instanceId)] = d;
    }
    return image;
}

// What the operations may change: the vendor's items, described by the
// package the run found and the OEM INFs that a test knows to be the vendor's.
struct VendorScope {
    std::set<std::string> packageSysNames;    // upper-case names
    std::vector<std::string> packageInfTexts; // contents of the package INFs
    std::set<std::string> vendorOemFiles;     // upper-case paths of vendor OEM INFs and PNFs
    std::string logPath;                      // upper-case
    std::string driversFolder;                // upper-case, with backslash
    std::string infFolder;                    // upper-case, with backslash
    std::string supportLibrary;               // upper-case path
};

inline VendorScope DefaultScope() {
    VendorScope scope;
    scope.logPath = Upper(sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log");
    scope.driversFolder = Upper(sim::SystemDriversFolder());
    scope.infFolder = Upper(sim::InfFolder());
    scope.supportLibrary = Upper(sim::WindowsFolder() + "system32\\brommet.dll");
    return scope;
}

// Whether a file that changed, appeared or went away is the vendor's.
inline bool IsVendorFile(const VendorScope& scope, const std::string& upperPath, const FileImage* before,
                         const FileImage* after) {
    if (upperPath == scope.logPath || upperPath == scope.supportLibrary) {
        return true;
    }
    std::string folder = FolderOf(upperPath);
    std::string name = NameOf(upperPath);
    if (folder == scope.driversFolder) {
        return scope.packageSysNames.count(name) != 0 || VendorDriverFileNames().count(name) != 0;
    }
    if (folder == scope.infFolder) {
        if (scope.vendorOemFiles.count(upperPath) != 0) {
            return true;
        }
        // A copy that the driver store published from the package.
        if (before == nullptr && after != nullptr && name.compare(0, 3, "OEM") == 0) {
            if (name.size() > 4 && name.substr(name.size() - 4) == ".PNF") {
                return true;
            }
            for (const std::string& text : scope.packageInfTexts) {
                if (after->data == text) {
                    return true;
                }
            }
        }
    }
    return false;
}

// Whether a registry key (upper-case path) lies within the vendor's records,
// the vendor's services or a vendor device's Enum key.
inline bool IsVendorKey(const MachineImage& before, const std::string& upperKey) {
    for (const std::string& k : VendorRecordKeys()) {
        std::string u = Upper(k);
        if (upperKey == u || upperKey.compare(0, u.size() + 1, u + "\\") == 0) {
            return true;
        }
    }
    std::string services = Upper(kServicesKey);
    if (upperKey.compare(0, services.size(), services) == 0) {
        std::string rest = upperKey.substr(services.size());
        std::string service = rest.substr(0, rest.find('\\'));
        if (VendorServiceNames().count(service) != 0) {
            return true;
        }
    }
    std::string enumKey = Upper(kEnumKey);
    if (upperKey.compare(0, enumKey.size(), enumKey) == 0) {
        std::string rest = upperKey.substr(enumKey.size());
        for (const auto& d : before.devices) {
            if (!IsVendorDeviceIds(d.second.instanceId, d.second.hardwareIds)) {
                continue;
            }
            if (rest == d.first || rest.compare(0, d.first.size() + 1, d.first + "\\") == 0) {
                return true;
            }
        }
        // A key the filter creates for a vendor device that was added later
        // than the snapshot would start with the vendor prefix as well.
        if (StartsWithNoCase(rest, kVendorPrefix)) {
            return true;
        }
    }
    return false;
}

inline bool IsVendorValue(const MachineImage& before, const std::string& upperKey,
                          const std::string& upperName) {
    if (upperKey == Upper(std::string(kServicesKey) + "USBSTOR") && upperName == "GORVEL") {
        return true;
    }
    return IsVendorKey(before, upperKey);
}

// Services whose start type the preinstall flows suspend and restore; their
// running state and stop requests are the documented effect of suspension.
inline bool IsShadowCopyItem(const std::string& upperName) {
    return upperName == "VSS";
}

// Every difference between before and after that touches an item that is
// not the vendor's, described in one line each. The shadow-copy service is
// left out (its start type is judged on its own).
inline std::vector<std::string> ForeignChanges(const MachineImage& before, const MachineImage& after,
                                               const VendorScope& scope) {
    std::vector<std::string> changes;
    // Files.
    for (const auto& f : before.files) {
        auto it = after.files.find(f.first);
        const FileImage* now = it == after.files.end() ? nullptr : &it->second;
        bool same = now != nullptr && now->isDirectory == f.second.isDirectory &&
                    now->attributes == f.second.attributes && now->data == f.second.data;
        if (!same && !IsVendorFile(scope, f.first, &f.second, now)) {
            changes.push_back((now == nullptr ? "file removed: " : "file changed: ") + f.second.path);
        }
    }
    for (const auto& f : after.files) {
        if (before.files.count(f.first) == 0 && !IsVendorFile(scope, f.first, nullptr, &f.second)) {
            changes.push_back("file added: " + f.second.path);
        }
    }
    // Registry keys and values.
    std::string vssKey = Upper(std::string(kServicesKey) + "VSS");
    for (const std::string& k : before.keys) {
        if (after.keys.count(k) == 0 && !IsVendorKey(before, k)) {
            changes.push_back("key removed: " + k);
        }
    }
    // The storage driver's service key is created when missing: it carries
    // the vendor's filter flag.
    std::string usbStorKey = Upper(std::string(kServicesKey) + "USBSTOR");
    for (const std::string& k : after.keys) {
        if (before.keys.count(k) == 0 && k != usbStorKey && !IsVendorKey(before, k)) {
            changes.push_back("key added: " + k);
        }
    }
    for (const auto& v : before.values) {
        std::string key = v.first.substr(0, v.first.find('|'));
        std::string name = v.first.substr(v.first.find('|') + 1);
        if (key == vssKey) {
            continue;
        }
        auto it = after.values.find(v.first);
        if ((it == after.values.end() || !(it->second == v.second)) && !IsVendorValue(before, key, name)) {
            changes.push_back("value changed or removed: " + v.first);
        }
    }
    for (const auto& v : after.values) {
        std::string key = v.first.substr(0, v.first.find('|'));
        std::string name = v.first.substr(v.first.find('|') + 1);
        if (key != vssKey && before.values.count(v.first) == 0 && !IsVendorValue(before, key, name)) {
            changes.push_back("value added: " + v.first);
        }
    }
    // Services.
    for (const auto& s : before.services) {
        if (VendorServiceNames().count(s.first) != 0 || IsShadowCopyItem(s.first)) {
            continue;
        }
        auto it = after.services.find(s.first);
        if (it == after.services.end()) {
            changes.push_back("service removed: " + s.first);
            continue;
        }
        const sim::Service& a = s.second;
        const sim::Service& b = it->second;
        if (a.startType != b.startType || a.type != b.type || a.errorControl != b.errorControl ||
            a.running != b.running || a.markedForDelete != b.markedForDelete ||
            a.stopRequests != b.stopRequests || a.binaryPath != b.binaryPath ||
            a.displayName != b.displayName) {
            changes.push_back("service changed: " + s.first);
        }
    }
    for (const auto& s : after.services) {
        if (before.services.count(s.first) == 0 && VendorServiceNames().count(s.first) == 0) {
            changes.push_back("service added: " + s.first);
        }
    }
    // Devices.
    for (const auto& d : before.devices) {
        if (IsVendorDeviceIds(d.second.instanceId, d.second.hardwareIds)) {
            continue;
        }
        auto it = after.devices.find(d.first);
        if (it == after.devices.end()) {
            changes.push_back("device removed: " + d.second.instanceId);
            continue;
        }
        const sim::Device& a = d.second;
        const sim::Device& b = it->second;
        if (a.present != b.present || a.hardwareIds != b.hardwareIds ||
            a.hasLowerFilters != b.hasLowerFilters || a.lowerFilters != b.lowerFilters ||
            a.hasFriendlyName != b.hasFriendlyName || a.friendlyName != b.friendlyName ||
            a.hasConfigFlags != b.hasConfigFlags || a.configFlags != b.configFlags ||
            a.boundInf != b.boundInf || a.updateCount != b.updateCount) {
            changes.push_back("device changed: " + d.second.instanceId);
        }
    }
    for (const auto& d : after.devices) {
        if (before.devices.count(d.first) == 0) {
            changes.push_back("device added: " + d.second.instanceId);
        }
    }
    return changes;
}

// Number of items a snapshot holds that are not the vendor's (for figures).
inline int ForeignItemCount(const MachineImage& image, const VendorScope& scope) {
    int n = 0;
    for (const auto& f : image.files) {
        if (!IsVendorFile(scope, f.first, &f.second, &f.second)) {
            ++n;
        }
    }
    for (const auto& v : image.values) {
        std::string key = v.first.substr(0, v.first.find('|'));
        std::string name = v.first.substr(v.first.find('|') + 1);
        if (!IsVendorValue(image, key, name)) {
            ++n;
        }
    }
    for (const auto& s : image.services) {
        if (VendorServiceNames().count(s.first) == 0) {
            ++n;
        }
    }
    for (const auto& d : image.devices) {
        if (!IsVendorDeviceIds(d.second.instanceId, d.second.hardwareIds)) {
            ++n;
        }
    }
    return n;
}

// ------------------------------------------------------------ INF texts

// A signed INF (catalog "kwe.cat", see AddSignedPackageInf) whose models
// stand in the section that the installer reads and in the one that 64-bit
// Windows binds devices through.
inline std::string InfText(const std::string& provider, const std::vector<std::string>& hardwareIds) {
    std::string models;
    for (size_t i = 0; i < hardwareIds.size(); ++i) {
        models +=
            "%Dev" + std::to_string(i) + "%=Install" + std::to_string(i) + "," + hardwareIds[i] + "\r\n";
    }
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\nProvider=" + provider +
           "\r\nCatalogFile=kwe.cat\r\n\r\n[Manufacturer]\r\n%Mfg%=Models,NTamd64\r\n\r\n[Models]\r\n" +
           models + "\r\n[Models.NTamd64]\r\n" + models + "\r\n[Strings]\r\nMfg=\"Maker\"\r\n";
}

// A package INF with the catalog that InfText names beside it.
inline void AddSignedPackageInf(const std::string& osFolder, const std::string& name,
                                const std::string& text) {
    sim::AddPackageFile(osFolder, name, text);
    sim::AddPackageFile(osFolder, "kwe.cat", "catalog");
}

// ------------------------------------------------------------ the rich machine

// Package of the rich machine: five driver files and five INFs, the filter
// driver and its INF both at index 1 of their lists (search order).
struct PackageFile {
    const char* name;
    std::vector<std::string> ids; // empty for driver files
};

inline const std::vector<PackageFile>& RichPackageInfs() {
    static const std::vector<PackageFile> infs = {
        {"diag3e1f.inf", {"USB\\VID_3E1F&PID_A105&MI_02", "USB\\VID_3E1F&PID_B205&MI_02"}},
        {"gorvel.inf", {"USB\\VID_3E1F&PID_C301", "USB\\VID_3E1F&PID_C302"}},
        {"kwemdm.inf", {"USB\\VID_3E1F&PID_A101&MI_00", "USB\\VID_3E1F&PID_B201&MI_00"}},
        {"kwenmea.inf", {"USB\\VID_3E1F&PID_A101&MI_01", "USB\\VID_3E1F&PID_B201&MI_01"}},
        {"kweser.inf", {"USB\\VID_3E1F&PID_A101&MI_03"}},
    };
    return infs;
}

inline const std::vector<std::string>& RichPackageSysNames() {
    static const std::vector<std::string> names = {"diag3e1f.sys", "gorvel.sys", "KWEusbmdm6k.sys",
                                                   "KWEusbnmea.sys", "KWEusbser6k.sys"};
    return names;
}

// A 64-bit machine (Windows 7, or Vista when vista is set) holding:
// - the package (filter driver included) beside the program, and the
//   disk-eject tool;
// - vendor devices (present and phantom; a storage function; one whose
//   product ID no table knows) and foreign devices (another vendor, a vendor
//   ID that differs in one digit, other enumerators, one carrying the vendor's
//   IDs outside the USB enumerator);
// - driver-store INFs: oem1 (vendor, superseded by the package), oem3 (vendor
//   provider, not in the package) and foreign ones (oem2, oem4 with a provider
//   that only begins like the vendor's, oem5 without models), with PNFs;
// - old copies of package and vendor driver files, the support library, and
//   foreign system files;
// - vendor services with power values and foreign services, the shadow-copy
//   service set to automatic start and running;
// - the install flag and uninstall entry, and foreign registry records.
// Returns the scope of what the operations may change.
inline VendorScope BuildRichMachine(bool vista) {
    sim::Reset();
    std::string osFolder = "WIN7";
    if (vista) {
        sim::SetWindowsVersion(6, 0, 6002, "Service Pack 2");
        osFolder = "VISTA";
    }
    VendorScope scope = DefaultScope();

    for (const std::string& name : RichPackageSysNames()) {
        sim::AddPackageFile(osFolder, name, "driver:" + name);
        scope.packageSysNames.insert(Upper(name));
    }
    for (const PackageFile& inf : RichPackageInfs()) {
        std::string text = InfText("KWE Corporation", inf.ids);
        AddSignedPackageInf(osFolder, inf.name, text);
        scope.packageInfTexts.push_back(text);
    }
    sim::AddFile(sim::ExeFolder() + "lantrope.exe", "MZ eject tool");

    // Devices.
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\5&1A2B3C4D&0&1",
                   {"USB\\VID_3E1F&PID_A101&REV_0100", "USB\\VID_3E1F&PID_A101"});
    sim::AddDevice("USB\\VID_3E1F&PID_A101&MI_00\\6&2&0&0",
                   {"USB\\VID_3E1F&PID_A101&REV_0100&MI_00", "USB\\VID_3E1F&PID_A101&MI_00"});
    sim::AddDevice("USB\\VID_1234&PID_5678\\7&3&0&1",
                   {"USB\\VID_1234&PID_5678&REV_0001", "USB\\VID_1234&PID_5678"});
    sim::AddDevice("USB\\VID_3E1F&PID_C301\\0123456789ABCDEF",
                   {"USB\\VID_3E1F&PID_C301&REV_0200", "USB\\VID_3E1F&PID_C301"});
    sim::AddDevice("USB\\VID_3E1E&PID_A101\\8&4&0&2",
                   {"USB\\VID_3E1E&PID_A101&REV_0100", "USB\\VID_3E1E&PID_A101"});
    sim::AddDevice("USB\\VID_3E1F&PID_B201\\5&9&0&3",
                   {"USB\\Vid_3E1F&Pid_B201&Rev_0100", "USB\\Vid_3E1F&Pid_B201"}, false);
    sim::AddDevice("USB\\VID_0781&PID_5567\\4C530001",
                   {"USB\\VID_0781&PID_5567&REV_0100", "USB\\VID_0781&PID_5567"});
    sim::AddDevice("HID\\VID_3E1F&PID_A101&MI_04\\7&5&0&0", {"HID\\VID_3E1F&PID_A101&MI_04"});
    sim::AddDevice("USBSTOR\\DISK&VEN_KWE&PROD_STORAGE&REV_1.00\\0123456789ABCDEF&0",
                   {"USBSTOR\\DiskKWE_____STORAGE"});
    sim::AddDevice("USB\\VID_3E1F&PID_FFFF\\9&6&0&4", {"USB\\VID_3E1F&PID_FFFF"});
    sim::AddDevice("USB\\ROOT_HUB30\\4&1&0", {"USB\\ROOT_HUB30&VID8086&PID1E31", "USB\\ROOT_HUB30"});

    // Driver-store INFs.
    std::string inf = sim::InfFolder();
    sim::AddFile(inf + "oem1.inf", InfText("KWE Corporation", {"usb\\vid_3e1f&pid_a101&mi_00"}));
    sim::AddFile(inf + "oem1.PNF", "PNF of oem1");
    sim::AddFile(inf + "oem2.inf", InfText("Other Corp", {"USB\\VID_1234&PID_5678"}));
    sim::AddFile(inf + "oem2.PNF", "PNF of oem2");
    sim::AddFile(inf + "oem3.inf", InfText("ZEFO Incorporated", {"USB\\VID_3E1F&PID_D401"}),
                 FILE_ATTRIBUTE_READONLY);
    sim::AddFile(inf + "oem3.PNF", "PNF of oem3");
    sim::AddFile(inf + "oem4.inf", InfText("KWE Corporation Ltd", {"USB\\VID_0781&PID_5567"}));
    sim::AddFile(inf + "oem5.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=Other\r\n");
    sim::AddFile(inf + "machine.inf", InfText("Microsoft", {"*PNP0A03"}));
    for (const char* name : {"oem1.inf", "oem1.PNF", "oem3.inf", "oem3.PNF"}) {
        scope.vendorOemFiles.insert(Upper(inf + name));
    }

    // Driver files and libraries.
    std::string drivers = sim::SystemDriversFolder();
    sim::AddFile(drivers + "KWEusbmdm6k.sys", "old modem driver", FILE_ATTRIBUTE_READONLY);
    sim::AddFile(drivers + "gorvel.sys", "old filter driver");
    sim::AddFile(drivers + "ZEFOusbnet.sys", "old network driver");
    sim::AddFile(drivers + "usbstor.sys", "system storage driver");
    sim::AddFile(drivers + "disk.sys", "system disk driver", FILE_ATTRIBUTE_READONLY);
    sim::AddFile(sim::WindowsFolder() + "system32\\brommet.dll", "old support library");
    sim::AddFile(sim::WindowsFolder() + "system32\\kernel32.dll", "system library");
    sim::AddFile(sim::WindowsFolder() + "Temp\\other.log", "another program's log");
    // Another program's library of the same name outside the Windows folder.
    sim::AddFile("C:\\system32\\brommet.dll", "not the vendor's library");

    // Services.
    sim::AddService("KWEusbmdm6k", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, true, "KWE modem",
                    "system32\\drivers\\KWEusbmdm6k.sys");
    sim::AddService("KWEusbnmea", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::AddService("KWEusbser6k", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::AddService("KWETDModem", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::AddService("USBSTOR", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, true, "USB Mass Storage Driver",
                    "system32\\drivers\\usbstor.sys");
    sim::AddService("disk", SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START, true);
    sim::AddService("KWEusbmdm6kx", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false, "look-alike");
    sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, true, "Volume Shadow Copy");
    sim::SetRegDword(std::string(kServicesKey) + "KWEusbmdm6k", "QCDriverPowerManagementEnabled", 1);
    sim::SetRegDword(std::string(kServicesKey) + "KWEusbmdm6k", "QCDriverSelectiveSuspendIdleTime", 48);
    sim::SetRegDword(std::string(kServicesKey) + "USBSTOR", "Other", 7);

    // Registry records.
    sim::SetRegDword("SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag", "IsDriverInstalled", 1);
    sim::SetRegDword("SOFTWARE\\KWEUSBDriverFlag", "IsDriverInstalled", 1);
    sim::SetRegString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver",
                      "DisplayName", "KWE USB Driver", REG_EXPAND_SZ);
    sim::SetRegString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other App", "DisplayName",
                      "Other App");
    sim::SetRegDword("SOFTWARE\\Wow6432Node\\KWEUSBDriverFlagOther", "IsDriverInstalled", 1);
    sim::SetRegString("SOFTWARE\\Other Vendor\\Settings", "Path", "C:\\Other");

    sim::ClearJournal();
    return scope;
}

// ------------------------------------------------------------ reading as the platform does

// A field of one INF line, read through the platform into a buffer that
// holds any field; not ok when the line or field is not there.
struct InfRead {
    bool ok = false;
    std::string text;
};

inline InfRead ReadField(INFCONTEXT* context, DWORD index) {
    std::vector<char> buffer(16384, '\0');
    InfRead read;
    if (SetupGetStringFieldA(context, index, buffer.data(), static_cast<DWORD>(buffer.size()), NULL)) {
        read.ok = true;
        read.text = buffer.data();
    }
    return read;
}

// The first hardware ID of an INF as the model walk defines it, whole.
inline InfRead FirstHardwareId(const std::string& path) {
    InfRead none;
    HINF inf = SetupOpenInfFileA(path.c_str(), NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) {
        return none;
    }
    INFCONTEXT context;
    InfRead result;
    if (SetupFindFirstLineA(inf, "Manufacturer", NULL, &context)) {
        InfRead models = ReadField(&context, 1);
        if (models.ok && SetupFindFirstLineA(inf, models.text.c_str(), NULL, &context)) {
            result = ReadField(&context, 2);
        }
    }
    SetupCloseInfFile(inf);
    return result;
}

inline InfRead ProviderOf(const std::string& path) {
    InfRead none;
    HINF inf = SetupOpenInfFileA(path.c_str(), NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) {
        return none;
    }
    INFCONTEXT context;
    InfRead result;
    if (SetupFindFirstLineA(inf, "Version", "Provider", &context)) {
        result = ReadField(&context, 1);
    }
    SetupCloseInfFile(inf);
    return result;
}

// An ID that the program can have read: present, not empty, within 259.
inline bool UsableId(const InfRead& id) {
    return id.ok && !id.text.empty() && id.text.size() <= 259;
}

// Run outcome checks shared by the sweep and the hostile inputs.
const char kFinishRecord[] = "*************************Finish***********************\n\n";

inline bool LogEndsWithFinish() {
    std::vector<std::string> messages = sim::LogMessages();
    return !messages.empty() && messages.back() == kFinishRecord;
}

} // namespace reliability

#endif
