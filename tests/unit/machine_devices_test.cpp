// The simulated devices: device sets as snapshots, the property size
// protocol, property writes mirrored into the registry, and removal while a
// set is being enumerated.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "machine.h"
#include "run/run.h"

namespace {

const char* const kModem = "USB\\VID_3E1F&PID_C301\\6&1&0&1";
const char* const kDisk = "USB\\VID_3E1F&PID_C302\\6&1&0&2";
const char* const kMouse = "USB\\VID_413C&PID_301A\\5&2&0&3";

class MachineDevices : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
    }
    void TearDown() override {
        sim::Reset();
    }

    static SP_DEVINFO_DATA Record() {
        SP_DEVINFO_DATA data;
        memset(&data, 0, sizeof(data));
        data.cbSize = sizeof(data);
        return data;
    }

    static HDEVINFO UsbSet(DWORD flags = DIGCF_PRESENT | DIGCF_ALLCLASSES) {
        return SetupDiGetClassDevsA(NULL, "USB", NULL, flags);
    }
};

TEST_F(MachineDevices, AddDeviceLaysOutTheNode) {
    sim::Device& modem =
        sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301&REV_0100", "USB\\VID_3E1F&PID_C301"});
    DWORD modemInst = modem.devInst;
    sim::Device& root = sim::AddDevice("ROOT\\LEGACY_GORVEL\\0000", {"ROOT\\GORVEL"}, false);
    EXPECT_NE(modemInst, root.devInst);
    EXPECT_EQ("ROOT", root.enumerator);
    EXPECT_FALSE(root.present);
    const sim::Device* found = sim::FindDevice("usb\\vid_3e1f&pid_c301\\6&1&0&1");
    ASSERT_NE(nullptr, found);
    EXPECT_EQ("USB", found->enumerator);
    EXPECT_EQ(std::string("USB\\VID_3E1F&PID_C301&REV_0100\0USB\\VID_3E1F&PID_C301\0\0", 54),
              found->hardwareIds);
    EXPECT_EQ(std::string("a\0b\0\0", 5), sim::MultiSz({"a", "b"}));
    EXPECT_TRUE(sim::RegKeyExists(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kModem));
}

TEST_F(MachineDevices, ClassDevsSelectsByEnumeratorAndPresence) {
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"});
    sim::AddDevice("ROOT\\LEGACY_GORVEL\\0000", {"ROOT\\GORVEL"});
    sim::AddDevice(kDisk, {"USB\\VID_3E1F&PID_C302"}, false);
    sim::AddDevice(kMouse, {"USB\\VID_413C&PID_301A"});

    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsA(NULL, "USB", NULL, DIGCF_PRESENT));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsA(NULL, "NOSUCHBUS", NULL, DIGCF_ALLCLASSES));
    EXPECT_EQ(ERROR_INVALID_DATA, GetLastError());

    HDEVINFO present = SetupDiGetClassDevsA(NULL, "usb", NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(INVALID_HANDLE_VALUE, present);
    SP_DEVINFO_DATA data = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(present, 0, &data));
    EXPECT_EQ(sim::FindDevice(kModem)->devInst, data.DevInst);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(present, 1, &data));
    EXPECT_EQ(sim::FindDevice(kMouse)->devInst, data.DevInst);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(present, 2, &data));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, GetLastError());

    // Without DIGCF_PRESENT the unplugged device is listed too, in order.
    HDEVINFO all = UsbSet(DIGCF_ALLCLASSES);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(all, 1, &data));
    EXPECT_EQ(sim::FindDevice(kDisk)->devInst, data.DevInst);
    EXPECT_TRUE(SetupDiEnumDeviceInfo(all, 2, &data));
    EXPECT_FALSE(SetupDiEnumDeviceInfo(all, 3, &data));

    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(present));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(all));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(all));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(MachineDevices, EmptyUsbSetAndSnapshot) {
    HDEVINFO set = UsbSet();
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"});
    SP_DEVINFO_DATA data = Record();
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, GetLastError());
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(MachineDevices, EnumChecksTheRecordSize) {
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"});
    HDEVINFO set = UsbSet();
    SP_DEVINFO_DATA data = Record();
    data.cbSize = 28;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(ERROR_INVALID_USER_BUFFER, GetLastError());
    data = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_NE(0u, data.ClassGuid.Data1);
    // As input, a record of the wrong size is a bad parameter.
    data.cbSize = 0;
    char id[256];
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof(id), NULL));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(MachineDevices, PropertySizeProtocol) {
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301&REV_0100", "USB\\VID_3E1F&PID_C301"});
    const DWORD size = 54; // both IDs with their terminators, and the final one
    HDEVINFO set = UsbSet();
    SP_DEVINFO_DATA data = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));

    DWORD type = 0;
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type, NULL, 0, &required));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(size, required);

    BYTE buffer[64];
    memset(buffer, 0x77, sizeof(buffer));
    required = 0;
    EXPECT_FALSE(
        SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type, buffer, size - 1, &required));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(size, required);
    EXPECT_EQ(0x77, buffer[0]);

    required = 0;
    ASSERT_TRUE(
        SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type, buffer, size, &required));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(size, required);
    EXPECT_EQ(sim::FindDevice(kModem)->hardwareIds, std::string(reinterpret_cast<char*>(buffer), size));
    EXPECT_EQ(0x77, buffer[size]);

    EXPECT_FALSE(
        SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_LOWERFILTERS, &type, buffer, 64, &required));
    EXPECT_EQ(ERROR_INVALID_DATA, GetLastError());
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_CONFIGFLAGS, NULL, buffer, 4, NULL));
    EXPECT_EQ(ERROR_INVALID_DATA, GetLastError());
    EXPECT_FALSE(
        SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_MAXIMUM_PROPERTY, &type, buffer, 64, NULL));
    EXPECT_EQ(ERROR_INVALID_REG_PROPERTY, GetLastError());
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(MachineDevices, RawPropertyBytesComeBackAsStored) {
    sim::Device& d = sim::AddDevice(kModem, {});
    d.hardwareIds = std::string(300, 'A'); // no terminator at all
    sim::AddDevice(kDisk, {}).hasHardwareIds = false;
    HDEVINFO set = UsbSet();
    SP_DEVINFO_DATA data = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    BYTE buffer[256];
    DWORD required = 0;
    EXPECT_FALSE(
        SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, NULL, buffer, 256, &required));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(300u, required);
    std::string big(300, '\0');
    EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, NULL,
                                                  reinterpret_cast<BYTE*>(&big[0]), 300, &required));
    EXPECT_EQ(std::string(300, 'A'), big);

    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &data));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, NULL, NULL, 0, &required));
    EXPECT_EQ(ERROR_INVALID_DATA, GetLastError());
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(MachineDevices, PropertyWritesLandInTheDeviceAndItsEnumKey) {
    sim::AddDevice(kDisk, {"USB\\VID_3E1F&PID_C302"});
    std::string key = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kDisk;
    HDEVINFO set = UsbSet();
    SP_DEVINFO_DATA data = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));

    char filters[256];
    memset(filters, 0, sizeof(filters));
    strcpy(filters, "gorvel");
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_LOWERFILTERS, (const BYTE*)filters, 256));
    const char* name = "KWE Mass Storage Device";
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_FRIENDLYNAME, (const BYTE*)name,
                                                  static_cast<DWORD>(strlen(name) + 1)));
    DWORD flags = CONFIGFLAG_REINSTALL;
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_CONFIGFLAGS, (const BYTE*)&flags, 4));

    const sim::Device* d = sim::FindDevice(kDisk);
    EXPECT_TRUE(d->hasLowerFilters);
    EXPECT_EQ(std::string(filters, 256), d->lowerFilters);
    EXPECT_EQ(std::string(name, strlen(name) + 1), d->friendlyName);
    EXPECT_TRUE(d->hasConfigFlags);
    EXPECT_EQ(static_cast<DWORD>(CONFIGFLAG_REINSTALL), d->configFlags);

    const sim::RegValue* v = sim::FindRegValue(key, "LowerFilters");
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), v->type);
    EXPECT_EQ(256u, v->data.size());
    EXPECT_EQ(name, sim::GetRegString(key, "FriendlyName"));
    DWORD stored = 0;
    EXPECT_TRUE(sim::GetRegDword(key, "ConfigFlags", &stored));
    EXPECT_EQ(static_cast<DWORD>(CONFIGFLAG_REINSTALL), stored);

    DWORD type = 0;
    DWORD read = 0;
    ASSERT_TRUE(
        SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_CONFIGFLAGS, &type, (BYTE*)&read, 4, NULL));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(static_cast<DWORD>(CONFIGFLAG_REINSTALL), read);

    EXPECT_FALSE(SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_CONFIGFLAGS, (const BYTE*)&flags, 3));
    EXPECT_FALSE(SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_SERVICE, (const BYTE*)"x", 2));
    EXPECT_EQ(ERROR_INVALID_REG_PROPERTY, GetLastError());
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(MachineDevices, InstanceIdSizeProtocol) {
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"});
    HDEVINFO set = UsbSet();
    SP_DEVINFO_DATA data = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    const DWORD length = static_cast<DWORD>(strlen(kModem));
    char id[64];
    memset(id, 0x55, sizeof(id));
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set, &data, id, length, &required));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(length + 1, required);
    EXPECT_EQ(0x55, id[0]);
    ASSERT_TRUE(SetupDiGetDeviceInstanceIdA(set, &data, id, length + 1, &required));
    EXPECT_STREQ(kModem, id);
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(MachineDevices, SetsListDevicesInInstanceIdOrder) {
    sim::AddDevice(kMouse, {"USB\\VID_413C&PID_301A"});
    sim::AddDevice(kDisk, {"USB\\VID_3E1F&PID_C302"});
    sim::AddDevice("USB\\VID_3E1F&PID_C301&MI_02\\7&2&0&2", {"USB\\VID_3E1F&PID_C301&MI_02"});
    sim::AddDevice("USB\\vid_3e1f&pid_c301&mi_01\\7&2&0&1", {"USB\\VID_3E1F&PID_C301&MI_01"});
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"});

    HDEVINFO set = UsbSet(DIGCF_ALLCLASSES);
    std::vector<std::string> order;
    SP_DEVINFO_DATA data = Record();
    char id[256];
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        ASSERT_TRUE(SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof(id), NULL));
        order.push_back(id);
    }
    SetupDiDestroyDeviceInfoList(set);
    // The device tree's order: device IDs first, each level in upper-cased
    // byte order, so a composite device comes before its functions (as a
    // whole string, '&' would sort before '\\').
    EXPECT_EQ((std::vector<std::string>{kModem, "USB\\vid_3e1f&pid_c301&mi_01\\7&2&0&1",
                                        "USB\\VID_3E1F&PID_C301&MI_02\\7&2&0&2", kDisk, kMouse}),
              order);
}

TEST_F(MachineDevices, RemovalDuringEnumerationKeepsIndices) {
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"});
    sim::AddDevice(kDisk, {"USB\\VID_3E1F&PID_C302"});
    sim::AddDevice(kMouse, {"USB\\VID_413C&PID_301A"});
    sim::SetRegString(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kDisk + "\\Device Parameters", "x",
                      "y");
    const DWORD mouseInst = sim::FindDevice(kMouse)->devInst;
    HDEVINFO set = UsbSet(DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA disk = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &disk));

    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_PROPERTIES, set, &disk));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set, &disk));
    EXPECT_EQ(nullptr, sim::FindDevice(kDisk));
    EXPECT_EQ(2u, sim::M().devices.size());
    EXPECT_FALSE(sim::RegKeyExists(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kDisk));
    EXPECT_TRUE(sim::RegKeyExists(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kModem));

    // The member stays in the set; reading it fails, the next index still
    // gives the next device.
    SP_DEVINFO_DATA again = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &again));
    EXPECT_EQ(disk.DevInst, again.DevInst);
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &again, SPDRP_HARDWAREID, NULL, NULL, 0, &required));
    EXPECT_EQ(ERROR_NO_SUCH_DEVINST, GetLastError());
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, set, &again));
    EXPECT_EQ(ERROR_NO_SUCH_DEVINST, GetLastError());
    char id[256] = "untouched";
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set, &again, id, sizeof(id), &required));
    EXPECT_EQ(ERROR_NO_SUCH_DEVINST, GetLastError());
    EXPECT_STREQ("untouched", id);
    SP_DEVINFO_DATA next = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 2, &next));
    EXPECT_EQ(mouseInst, next.DevInst);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 3, &next));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, GetLastError());
    SetupDiDestroyDeviceInfoList(set);

    // A set built afterwards no longer holds it.
    set = UsbSet(DIGCF_ALLCLASSES);
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set, 1, &next));
    EXPECT_EQ(mouseInst, next.DevInst);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 2, &next));
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(MachineDevices, RecordOfAnotherSetIsRejected) {
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"});
    sim::AddDevice("ROOT\\LEGACY_GORVEL\\0000", {"ROOT\\GORVEL"});
    HDEVINFO usb = UsbSet();
    HDEVINFO root = SetupDiGetClassDevsA(NULL, "ROOT", NULL, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA rootDevice = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(root, 0, &rootDevice));
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, usb, &rootDevice));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_NE(nullptr, sim::FindDevice("ROOT\\LEGACY_GORVEL\\0000"));
    SetupDiDestroyDeviceInfoList(usb);
    SetupDiDestroyDeviceInfoList(root);
}

TEST_F(MachineDevices, InjectedFaults) {
    sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"});
    sim::FailCall("SetupDiGetClassDevsA", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(INVALID_HANDLE_VALUE, UsbSet());
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_GE(sim::FindCall("SetupDiGetClassDevsA", "NULL, \"USB\", NULL, 6"), 0);

    HDEVINFO set = UsbSet();
    SP_DEVINFO_DATA data = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    sim::FailCall("SetupDiCallClassInstaller", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, set, &data));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_NE(nullptr, sim::FindDevice(kModem));
    sim::FailCall("SetupDiSetDeviceRegistryPropertyA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(
        SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_LOWERFILTERS, (const BYTE*)"gorvel\0", 8));
    EXPECT_FALSE(sim::FindDevice(kModem)->hasLowerFilters);
    SetupDiDestroyDeviceInfoList(set);
}

// A node's status and problem as a test sets them; an unplugged device has no
// status, a removed one no node; the call is journalled and can fail.
TEST_F(MachineDevices, DevNodeStatusAndProblem) {
    DWORD modem = sim::AddDevice(kModem, {"USB\\VID_3E1F&PID_C301"}).devInst;
    DWORD disk = sim::AddDevice(kDisk, {"USB\\VID_3E1F&PID_C302"}, false).devInst;
    ULONG status = 7, problem = 7;
    EXPECT_EQ(CR_SUCCESS, CM_Get_DevNode_Status(&status, &problem, modem, 0));
    EXPECT_EQ(DWORD(DN_DRIVER_LOADED | DN_STARTED), status);
    EXPECT_EQ(0u, problem);
    sim::SetDeviceStatus(kModem, DN_DRIVER_LOADED, CM_PROB_NEED_RESTART);
    EXPECT_EQ(CR_SUCCESS, CM_Get_DevNode_Status(&status, &problem, modem, 0));
    EXPECT_EQ(DWORD(DN_DRIVER_LOADED | DN_HAS_PROBLEM), status);
    EXPECT_EQ(DWORD(CM_PROB_NEED_RESTART), problem);
    EXPECT_EQ(1, sim::FindCall("CM_Get_DevNode_Status", "ptr, ptr, " + std::to_string(modem) + ", 0", 1));
    EXPECT_EQ(CR_NO_SUCH_DEVNODE, CM_Get_DevNode_Status(&status, &problem, disk, 0));
    EXPECT_EQ(CR_INVALID_DEVNODE, CM_Get_DevNode_Status(&status, &problem, 999, 0));
    EXPECT_EQ(CR_INVALID_FLAG, CM_Get_DevNode_Status(&status, &problem, modem, 1));
    EXPECT_EQ(CR_INVALID_POINTER, CM_Get_DevNode_Status(NULL, &problem, modem, 0));
    sim::FailCall("CM_Get_DevNode_Status", 1, CR_INVALID_DEVNODE);
    EXPECT_EQ(CR_INVALID_DEVNODE, CM_Get_DevNode_Status(&status, &problem, modem, 0));
}

} // namespace
