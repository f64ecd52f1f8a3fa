// Device nodes and device information sets: sets are snapshots of the
// machine's devices taken when they are built; a member whose device has
// since been removed stays in the set, and reading its properties fails.
#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "sim_internal.h"

namespace sim {

namespace {

const char* const kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\";

// The setup class that every simulated device belongs to (USB).
const GUID kDeviceClass = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Enumerators that exist on every machine, whether or not a device of theirs
// is installed.
const char* const kStandardEnumerators[] = {"ROOT", "PCI", "USB",     "USBSTOR", "HID",     "ACPI", "SCSI",
                                            "SW",   "SWD", "STORAGE", "DISPLAY", "HDAUDIO", "BTH"};

struct Member {
    DWORD devInst;
    std::string instanceId;
};

struct DeviceSet {
    std::vector<Member> members;
};

struct DeviceState {
    std::vector<DeviceSet> sets;
    DWORD nextDevInst = 1;
};

DeviceState& D() {
    static DeviceState state;
    return state;
}

Device* DeviceByDevInst(DWORD devInst) {
    for (Device& d : M().devices) {
        if (d.devInst == devInst) {
            return &d;
        }
    }
    return nullptr;
}

// The levels of an instance ID, split at its backslashes.
std::vector<std::string> IdLevels(const std::string& id) {
    std::vector<std::string> levels;
    size_t start = 0;
    for (;;) {
        size_t end = id.find('\\', start);
        levels.push_back(id.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return levels;
        }
        start = end + 1;
    }
}

bool TreeLess(const std::string& a, const std::string& b) {
    std::vector<std::string> la = IdLevels(a);
    std::vector<std::string> lb = IdLevels(b);
    for (size_t i = 0; i < la.size() && i < lb.size(); ++i) {
        if (NtfsLess(la[i], lb[i])) {
            return true;
        }
        if (NtfsLess(lb[i], la[i])) {
            return false;
        }
    }
    return la.size() < lb.size();
}

bool KnownEnumerator(const std::string& name) {
    for (const char* e : kStandardEnumerators) {
        if (EqualNoCase(name, e)) {
            return true;
        }
    }
    for (const Device& d : M().devices) {
        if (EqualNoCase(d.enumerator, name)) {
            return true;
        }
    }
    return RegKeyExists(kEnumKey + name);
}

// Removes one value from a registry key of the model, if both exist.
void DeleteRegValue(const std::string& keyPath, const std::string& name) {
    auto key = M().registry.find(UpperAscii(keyPath));
    if (key == M().registry.end()) {
        return;
    }
    std::vector<RegValue>& values = key->second.values;
    for (size_t i = 0; i < values.size(); ++i) {
        if (EqualNoCase(values[i].name, name)) {
            values.erase(values.begin() + static_cast<long>(i));
            return;
        }
    }
}

} // namespace

void ResetDevices() {
    D() = DeviceState();
    // Keeps references returned by AddDevice valid while a test adds more.
    M().devices.reserve(256);
}

std::string MultiSz(const std::vector<std::string>& strings) {
    std::string out;
    for (const std::string& s : strings) {
        out += s;
        out.push_back('\0');
    }
    out.push_back('\0');
    return out;
}

Device& AddDevice(const std::string& instanceId, const std::vector<std::string>& hardwareIds, bool present) {
    Device d;
    d.devInst = D().nextDevInst++;
    d.instanceId = instanceId;
    d.enumerator = instanceId.substr(0, instanceId.find('\\'));
    d.present = present;
    d.hasHardwareIds = true;
    d.hardwareIds = MultiSz(hardwareIds);
    M().devices.push_back(d);
    std::string key = kEnumKey + instanceId;
    AddRegKey(key);
    SetRegValue(key, "HardwareID", REG_MULTI_SZ, d.hardwareIds);
    return M().devices.back();
}

Device* FindDevice(const std::string& instanceId) {
    for (Device& d : M().devices) {
        if (EqualNoCase(d.instanceId, instanceId)) {
            return &d;
        }
    }
    return nullptr;
}

void SetCompatibleIds(const std::string& instanceId, const std::vector<std::string>& compatibleIds) {
    Device* d = FindDevice(instanceId);
    if (d != nullptr) {
        d->hasCompatibleIds = true;
        d->compatibleIds = MultiSz(compatibleIds);
        SetRegValue(kEnumKey + d->instanceId, "CompatibleIDs", REG_MULTI_SZ, d->compatibleIds);
    }
}

void SetDeviceInUse(const std::string& instanceId, bool inUse) {
    Device* d = FindDevice(instanceId);
    if (d != nullptr) {
        d->inUse = inUse;
    }
}

void SetDeviceStatus(const std::string& instanceId, DWORD status, DWORD problem) {
    Device* d = FindDevice(instanceId);
    if (d != nullptr) {
        d->problem = problem;
        d->status = problem != 0 ? (status | DN_HAS_PROBLEM) : (status & ~static_cast<DWORD>(DN_HAS_PROBLEM));
    }
}

} // namespace sim

using sim::Args;
using sim::Enter;
using sim::M;

namespace {

void Fail(DWORD error) {
    M().lastError = error;
}

bool LookupSet(HDEVINFO handle, sim::DeviceSet** set) {
    size_t index = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !sim::LookupHandle(handle, "devinfo", &index) || index >= sim::D().sets.size()) {
        return false;
    }
    *set = &sim::D().sets[index];
    return true;
}

// Resolves a device record given as input: the set, a record of the right
// size naming one of its members. Sets the error and returns false otherwise.
bool LookupMember(HDEVINFO handle, PSP_DEVINFO_DATA data, sim::Member** member) {
    sim::DeviceSet* set = nullptr;
    if (!LookupSet(handle, &set)) {
        Fail(ERROR_INVALID_HANDLE);
        return false;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        Fail(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (sim::Member& m : set->members) {
        if (m.devInst == data->DevInst) {
            *member = &m;
            return true;
        }
    }
    Fail(ERROR_INVALID_PARAMETER);
    return false;
}

// The device behind a member that must still exist.
sim::Device* LiveDevice(const sim::Member& member) {
    sim::Device* device = sim::DeviceByDevInst(member.devInst);
    if (device == nullptr) {
        Fail(ERROR_NO_SUCH_DEVINST);
    }
    return device;
}

std::string DwordBytes(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

} // namespace

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent, DWORD Flags) {
    DWORD err = 0;
    if (Enter("SetupDiGetClassDevsA", Args(ClassGuid, Enumerator, hwndParent, Flags), &err)) {
        Fail(err);
        return INVALID_HANDLE_VALUE;
    }
    if (Flags & DIGCF_DEVICEINTERFACE) {
        // Device interfaces are not part of the model.
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (ClassGuid == nullptr && !(Flags & DIGCF_ALLCLASSES)) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool anyEnumerator = Enumerator == nullptr || Enumerator[0] == '\0';
    if (!anyEnumerator && !sim::KnownEnumerator(Enumerator)) {
        Fail(ERROR_INVALID_DATA);
        return INVALID_HANDLE_VALUE;
    }
    bool classFilter = ClassGuid != nullptr && !(Flags & DIGCF_ALLCLASSES);
    sim::DeviceSet set;
    for (const sim::Device& d : M().devices) {
        if (!anyEnumerator && !sim::EqualNoCase(d.enumerator, Enumerator)) {
            continue;
        }
        if ((Flags & DIGCF_PRESENT) && !d.present) {
            continue;
        }
        if (classFilter && memcmp(ClassGuid, &sim::kDeviceClass, sizeof(GUID)) != 0) {
            continue;
        }
        set.members.push_back(sim::Member{d.devInst, d.instanceId});
    }
    // Devices come back in the order of the device tree, whatever order they
    // were added in: enumerator, then device ID, then instance, each level
    // sorted without regard to case, so that a composite device comes before
    // its functions (PID_C301\6&1 before PID_C301&MI_02\7&2).
    std::stable_sort(set.members.begin(), set.members.end(), [](const sim::Member& a, const sim::Member& b) {
        return sim::TreeLess(a.instanceId, b.instanceId);
    });
    sim::D().sets.push_back(set);
    return sim::NewHandle("devinfo", sim::D().sets.size() - 1);
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData) {
    DWORD err = 0;
    if (Enter("SetupDiEnumDeviceInfo", Args(DeviceInfoSet, MemberIndex, DeviceInfoData), &err)) {
        Fail(err);
        return FALSE;
    }
    sim::DeviceSet* set = nullptr;
    if (!LookupSet(DeviceInfoSet, &set)) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (DeviceInfoData == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        Fail(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (MemberIndex >= set->members.size()) {
        Fail(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    DeviceInfoData->ClassGuid = sim::kDeviceClass;
    DeviceInfoData->DevInst = set->members[MemberIndex].devInst;
    DeviceInfoData->Reserved = MemberIndex + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                              DWORD Property, PDWORD PropertyRegDataType,
                                              PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                              PDWORD RequiredSize) {
    DWORD err = 0;
    if (Enter("SetupDiGetDeviceRegistryPropertyA",
              Args(DeviceInfoSet, DeviceInfoData, Property, PropertyRegDataType,
                   static_cast<void*>(PropertyBuffer), PropertyBufferSize, RequiredSize),
              &err)) {
        Fail(err);
        return FALSE;
    }
    sim::Member* member = nullptr;
    if (!LookupMember(DeviceInfoSet, DeviceInfoData, &member)) {
        return FALSE;
    }
    if (Property >= SPDRP_MAXIMUM_PROPERTY) {
        Fail(ERROR_INVALID_REG_PROPERTY);
        return FALSE;
    }
    if (PropertyBuffer == nullptr && PropertyBufferSize != 0) {
        Fail(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    sim::Device* device = LiveDevice(*member);
    if (device == nullptr) {
        return FALSE;
    }
    bool has = false;
    DWORD type = REG_NONE;
    std::string bytes;
    switch (Property) {
    case SPDRP_HARDWAREID:
        has = device->hasHardwareIds;
        type = REG_MULTI_SZ;
        bytes = device->hardwareIds;
        break;
    case SPDRP_COMPATIBLEIDS:
        has = device->hasCompatibleIds;
        type = REG_MULTI_SZ;
        bytes = device->compatibleIds;
        break;
    case SPDRP_LOWERFILTERS:
        has = device->hasLowerFilters;
        type = REG_MULTI_SZ;
        bytes = device->lowerFilters;
        break;
    case SPDRP_FRIENDLYNAME:
        has = device->hasFriendlyName;
        type = REG_SZ;
        bytes = device->friendlyName;
        break;
    case SPDRP_CONFIGFLAGS:
        has = device->hasConfigFlags;
        type = REG_DWORD;
        bytes = DwordBytes(device->configFlags);
        break;
    default:
        break;
    }
    if (!has) {
        Fail(ERROR_INVALID_DATA);
        return FALSE;
    }
    if (PropertyRegDataType != nullptr) {
        *PropertyRegDataType = type;
    }
    if (RequiredSize != nullptr) {
        *RequiredSize = static_cast<DWORD>(bytes.size());
    }
    if (PropertyBuffer == nullptr || PropertyBufferSize < bytes.size()) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(PropertyBuffer, bytes.data(), bytes.size());
    return TRUE;
}

BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                              DWORD Property, const BYTE* PropertyBuffer,
                                              DWORD PropertyBufferSize) {
    DWORD err = 0;
    if (Enter("SetupDiSetDeviceRegistryPropertyA",
              Args(DeviceInfoSet, DeviceInfoData, Property, static_cast<const void*>(PropertyBuffer),
                   PropertyBufferSize),
              &err)) {
        Fail(err);
        return FALSE;
    }
    sim::Member* member = nullptr;
    if (!LookupMember(DeviceInfoSet, DeviceInfoData, &member)) {
        return FALSE;
    }
    bool* has = nullptr;
    const char* valueName = nullptr;
    DWORD type = REG_NONE;
    sim::Device* device = sim::DeviceByDevInst(member->devInst);
    if (device == nullptr) {
        Fail(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    switch (Property) {
    case SPDRP_HARDWAREID:
        has = &device->hasHardwareIds;
        valueName = "HardwareID";
        type = REG_MULTI_SZ;
        break;
    case SPDRP_LOWERFILTERS:
        has = &device->hasLowerFilters;
        valueName = "LowerFilters";
        type = REG_MULTI_SZ;
        break;
    case SPDRP_FRIENDLYNAME:
        has = &device->hasFriendlyName;
        valueName = "FriendlyName";
        type = REG_SZ;
        break;
    case SPDRP_CONFIGFLAGS:
        has = &device->hasConfigFlags;
        valueName = "ConfigFlags";
        type = REG_DWORD;
        break;
    default:
        Fail(ERROR_INVALID_REG_PROPERTY);
        return FALSE;
    }
    if (PropertyBuffer == nullptr && PropertyBufferSize != 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Property == SPDRP_CONFIGFLAGS && PropertyBuffer != nullptr && PropertyBufferSize != sizeof(DWORD)) {
        Fail(ERROR_INVALID_DATA);
        return FALSE;
    }
    std::string key = sim::kEnumKey + device->instanceId;
    if (PropertyBuffer == nullptr) {
        // No data: the property is deleted.
        *has = false;
        sim::DeleteRegValue(key, valueName);
        return TRUE;
    }
    std::string bytes(reinterpret_cast<const char*>(PropertyBuffer), PropertyBufferSize);
    *has = true;
    switch (Property) {
    case SPDRP_HARDWAREID:
        device->hardwareIds = bytes;
        break;
    case SPDRP_LOWERFILTERS:
        device->lowerFilters = bytes;
        break;
    case SPDRP_FRIENDLYNAME:
        device->friendlyName = bytes;
        break;
    default:
        memcpy(&device->configFlags, PropertyBuffer, sizeof(DWORD));
        break;
    }
    sim::SetRegValue(key, valueName, type, bytes);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        PSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                        PDWORD RequiredSize) {
    DWORD err = 0;
    if (Enter("SetupDiGetDeviceInstanceIdA",
              Args(DeviceInfoSet, DeviceInfoData, static_cast<void*>(DeviceInstanceId), DeviceInstanceIdSize,
                   RequiredSize),
              &err)) {
        Fail(err);
        return FALSE;
    }
    sim::Member* member = nullptr;
    if (!LookupMember(DeviceInfoSet, DeviceInfoData, &member)) {
        return FALSE;
    }
    if (DeviceInstanceId == nullptr && DeviceInstanceIdSize != 0) {
        Fail(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (LiveDevice(*member) == nullptr) {
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(member->instanceId.size() + 1);
    if (RequiredSize != nullptr) {
        *RequiredSize = needed;
    }
    if (DeviceInstanceId == nullptr || DeviceInstanceIdSize < needed) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(DeviceInstanceId, member->instanceId.c_str(), needed);
    return TRUE;
}

BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
    DWORD err = 0;
    if (Enter("SetupDiCallClassInstaller", Args(InstallFunction, DeviceInfoSet, DeviceInfoData), &err)) {
        Fail(err);
        return FALSE;
    }
    sim::DeviceSet* set = nullptr;
    if (!LookupSet(DeviceInfoSet, &set)) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (InstallFunction != DIF_REMOVE) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::Member* member = nullptr;
    if (!LookupMember(DeviceInfoSet, DeviceInfoData, &member)) {
        return FALSE;
    }
    sim::Device* device = LiveDevice(*member);
    if (device == nullptr) {
        return FALSE;
    }
    std::string key = sim::kEnumKey + device->instanceId;
    std::vector<sim::Device>& devices = M().devices;
    devices.erase(devices.begin() + (device - devices.data()));
    sim::RemoveRegKeyTree(key);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    DWORD err = 0;
    if (Enter("SetupDiDestroyDeviceInfoList", Args(DeviceInfoSet), &err)) {
        Fail(err);
        return FALSE;
    }
    if (DeviceInfoSet == nullptr || DeviceInfoSet == INVALID_HANDLE_VALUE ||
        !sim::ReleaseHandle(DeviceInfoSet, "devinfo")) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// A device node handle is the SP_DEVINFO_DATA.DevInst that a device set gave
// out. A device that is not plugged in has a node but no status.
CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG pulStatus, PULONG pulProblemNumber, DEVINST dnDevInst,
                                       ULONG ulFlags) {
    DWORD err = 0;
    if (Enter("CM_Get_DevNode_Status", Args(pulStatus, pulProblemNumber, dnDevInst, ulFlags), &err)) {
        return err;
    }
    if (pulStatus == nullptr || pulProblemNumber == nullptr) {
        return CR_INVALID_POINTER;
    }
    *pulStatus = 0;
    *pulProblemNumber = 0;
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    const sim::Device* device = sim::DeviceByDevInst(dnDevInst);
    if (device == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    if (!device->present) {
        return CR_NO_SUCH_DEVNODE;
    }
    *pulStatus = device->status;
    *pulProblemNumber = (device->status & DN_HAS_PROBLEM) ? device->problem : 0;
    return CR_SUCCESS;
}
