// Removal of the vendor's devices by hardware ID.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/operation.h"
#include "common/vendor_config.h"
#include "devices/devices.h"
#include "devices_test_support.h"
#include "machine.h"
#include "run/run.h"

namespace {

using devices_test::CountFailures;
using devices_test::CountOf;
using devices_test::CountStartingWith;
using devices_test::FinishLog;
using devices_test::HasFailureRecord;
using devices_test::IndexOf;
using devices_test::SetDriverFiles;
using devices_test::StartOnFreshMachine;

const char kUsbStor[] = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR";

// An instance ID for a device of the given table entry.
std::string InstanceOf(const std::string& hardwareId, const std::string& serial) {
    return hardwareId + "\\" + serial;
}

// ---------------------------------------------------------------- the table

TEST(DevicesRemovalTable, EveryTableDeviceRemovedPluggedInOrNot) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    std::vector<std::string> instances;
    for (int i = 0; i < REMOVAL_HARDWARE_ID_COUNT; ++i) {
        std::string id = kRemovalHardwareIds[i];
        std::string instance = InstanceOf(id, "5&1&0&" + std::to_string(i));
        sim::AddDevice(instance, {id + "&Rev_0100", id}, (i % 2) == 0);
        instances.push_back(instance);
    }
    sim::AddDevice("USB\\VID_1234&PID_A101\\1", {"USB\\Vid_1234&Pid_A101"});
    sim::AddDevice("USB\\VID_3E1F&PID_FFFF\\1", {"USB\\Vid_3E1F&Pid_FFFF"});

    RemoveVendorDevices();
    std::vector<std::string> log = FinishLog();

    for (const std::string& instance : instances) {
        EXPECT_EQ(nullptr, sim::FindDevice(instance)) << instance;
    }
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_1234&PID_A101\\1"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_FFFF\\1"));
    // The first of each device's two matching IDs is named, once.
    EXPECT_EQ(REMOVAL_HARDWARE_ID_COUNT, CountStartingWith(log, "Found! ["));
    for (int i = 0; i < REMOVAL_HARDWARE_ID_COUNT; ++i) {
        EXPECT_EQ(1, CountOf(log, std::string("Found! [") + kRemovalHardwareIds[i] + "&Rev_0100]\n")) << i;
    }
    EXPECT_EQ(REMOVAL_HARDWARE_ID_COUNT, CountOf(log, "Uninstall success.\n"));
    EXPECT_EQ(REMOVAL_HARDWARE_ID_COUNT, sim::CallCount("SetupDiCallClassInstaller"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesRemovalTable, SixtyBuildsOfTheWholeUsbDeviceSet) {
    StartOnFreshMachine(OPERATION_UNINSTALL);

    RemoveVendorDevices();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(REMOVAL_HARDWARE_ID_COUNT, sim::CallCount("SetupDiGetClassDevsA"));
    EXPECT_EQ(REMOVAL_HARDWARE_ID_COUNT, sim::CallCount("SetupDiDestroyDeviceInfoList"));
    for (const sim::Call& call : sim::Journal()) {
        if (call.name == "SetupDiGetClassDevsA") {
            // Every class of the USB enumerator, not only present devices.
            EXPECT_EQ("NULL, \"USB\", NULL, 4", call.args);
        }
    }
    // No match and the normal end of each enumeration: nothing to report.
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesRemovalTable, DeviceMatchingSeveralEntriesRemovedOnce) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\VID_3E1F&PID_A101", "USB\\VID_3E1F&PID_A102"});

    RemoveVendorDevices();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_EQ(1, sim::CallCount("SetupDiCallClassInstaller"));
    EXPECT_EQ(1, CountStartingWith(log, "Found! ["));
}

// ---------------------------------------------------------------- the filter step

class DevicesRemovalFilterStep : public ::testing::Test {
  protected:
    void SetUp() override {
        StartOnFreshMachine(OPERATION_UNINSTALL);
        sim::AddDevice("USB\\VID_3E1F&PID_C301\\7&1", {"USB\\Vid_3E1F&Pid_C301"});
    }
};

TEST_F(DevicesRemovalFilterStep, UninstallSwitchesFilterOffBeforeAnyRemoval) {
    SetDriverFiles({"modem.sys", "gorvel.sys", "serial.sys"}, 3);

    RemoveVendorDevices();
    std::vector<std::string> log = FinishLog();

    ASSERT_FALSE(log.empty());
    EXPECT_EQ("Found KWE Mass Storage Device,Disable...\n", log[0]);
    EXPECT_EQ(1, CountOf(log, "Found KWE Mass Storage Device,Disable...\n"));
    DWORD flag = 7;
    ASSERT_TRUE(sim::GetRegDword(kUsbStor, "gorvel", &flag));
    EXPECT_EQ(0u, flag);
    int flagWrite = sim::FindCall("RegSetValueExA");
    int firstSet = sim::FindCall("SetupDiGetClassDevsA");
    ASSERT_GE(flagWrite, 0);
    EXPECT_LT(flagWrite, firstSet);
    EXPECT_EQ(-1, sim::FindCall("SetupDiSetDeviceRegistryPropertyA"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_C301\\7&1"));
}

TEST_F(DevicesRemovalFilterStep, PreinstallCfgBringsFilterIntoForceBeforeRemoving) {
    g_OperationCode = OPERATION_PREINSTALL_CFG;
    SetDriverFiles({"gorvel.sys"}, 1);

    RemoveVendorDevices();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ("Found KWE Mass Storage Device,Disable...\n", log[0]);
    DWORD flag = 7;
    ASSERT_TRUE(sim::GetRegDword(kUsbStor, "gorvel", &flag));
    EXPECT_EQ(1u, flag);
    EXPECT_NE(nullptr, sim::FindService("gorvel"));
    int lowerFilter = sim::FindCall("SetupDiSetDeviceRegistryPropertyA");
    int removal = sim::FindCall("SetupDiCallClassInstaller");
    ASSERT_GE(lowerFilter, 0);
    EXPECT_LT(lowerFilter, removal);
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_C301\\7&1"));
}

TEST_F(DevicesRemovalFilterStep, OnlyTheExactNameWithinTheCountSwitchesTheFilter) {
    const std::vector<std::vector<std::string>> lists = {
        {"Gorvel.sys"}, {"GORVEL.SYS"}, {"gorvel.sys.old"}, {"xgorvel.sys"}, {"gorvel.sy"}};
    for (const std::vector<std::string>& list : lists) {
        StartOnFreshMachine(OPERATION_UNINSTALL);
        SetDriverFiles(list, 1);
        RemoveVendorDevices();
        std::vector<std::string> log = FinishLog();
        EXPECT_EQ(-1, IndexOf(log, "Found KWE Mass Storage Device,Disable...\n")) << list[0];
        EXPECT_EQ(-1, sim::FindCall("RegCreateKeyExA")) << list[0];
        EXPECT_EQ(REMOVAL_HARDWARE_ID_COUNT, sim::CallCount("SetupDiGetClassDevsA")) << list[0];
    }

    // Beyond the count the entry is not part of the list.
    StartOnFreshMachine(OPERATION_UNINSTALL);
    SetDriverFiles({"modem.sys", "gorvel.sys"}, 1);
    RemoveVendorDevices();
    std::vector<std::string> log = FinishLog();
    EXPECT_EQ(-1, IndexOf(log, "Found KWE Mass Storage Device,Disable...\n"));
    EXPECT_EQ(nullptr, sim::FindRegValue(kUsbStor, "gorvel"));

    // An empty list: nothing about the filter, the removals still run.
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_C301\\7&1", {"USB\\Vid_3E1F&Pid_C301"});
    RemoveVendorDevices();
    log = FinishLog();
    EXPECT_EQ(-1, IndexOf(log, "Found KWE Mass Storage Device,Disable...\n"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_C301\\7&1"));
}

// ---------------------------------------------------------------- matching

TEST(DevicesRemovalMatching, UpperCaseIdsWithSuffixesMatchTheEntry) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_C301&MI_02\\8&1", {"USB\\VID_3E1F&PID_C301&REV_0001&MI_02"});

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_C301", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_C301&MI_02\\8&1"));
    EXPECT_EQ(1, CountOf(log, "Found! [USB\\VID_3E1F&PID_C301&REV_0001&MI_02]\n"));
    int begin = IndexOf(log, "\r\nBegin Uninstall operation...\r\n");
    if (begin < 0) {
        begin = IndexOf(log, "\nBegin Uninstall operation...\n");
    }
    EXPECT_GE(begin, 0);
    EXPECT_EQ(begin + 1, IndexOf(log, "Uninstall success.\n"));
}

TEST(DevicesRemovalMatching, LaterIdMatchesAndIsNamed) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A105\\1",
                   {"USB\\Vid_9999&Pid_0001", "USB\\COMPOSITE", "usb\\vid_3e1f&pid_a105&rev_0200"});

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A105", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A105\\1"));
    EXPECT_EQ(1, CountOf(log, "Found! [usb\\vid_3e1f&pid_a105&rev_0200]\n"));
}

TEST(DevicesRemovalMatching, ShorterOrDifferentIdsAndOtherEnumeratorsStay) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A10\\1", {"USB\\Vid_3E1F&Pid_A10"});
    sim::AddDevice("USB\\VID_3E1F&PID_A106\\1", {"USB\\Vid_3E1F&Pid_A106"});
    sim::AddDevice("HID\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A10\\1"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A106\\1"));
    EXPECT_NE(nullptr, sim::FindDevice("HID\\VID_3E1F&PID_A101\\1"));
    EXPECT_TRUE(log.empty());
}

TEST(DevicesRemovalMatching, VendorPrefixRemovesEveryVendorDevice) {
    StartOnFreshMachine(OPERATION_CLEAN);
    sim::AddDevice("USB\\VID_3E1F&PID_0001\\1", {"USB\\VID_3E1F&PID_0001"}, false);
    sim::AddDevice("USB\\VID_3E1F&PID_C301\\1", {"USB\\Vid_3E1F&Pid_C301"});
    sim::AddDevice("USB\\VID_3E1F\\1", {"USB\\VID_3E1F"});
    sim::AddDevice("USB\\VID_3E10&PID_0001\\1", {"USB\\VID_3E10&PID_0001"});
    sim::AddDevice("USB\\VID_3E1\\1", {"USB\\VID_3E1"});

    RemoveDevicesByHardwareId(kVendorHardwareIdPrefix, DEVICE_ACTION_REMOVE,
                              VENDOR_HARDWARE_ID_PREFIX_LENGTH);
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_0001\\1"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_C301\\1"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F\\1"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E10&PID_0001\\1"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1\\1"));
    EXPECT_EQ(3, CountOf(log, "Uninstall success.\n"));
    EXPECT_EQ(1, sim::CallCount("SetupDiGetClassDevsA"));
}

// A compare shorter than the vendor prefix (0 would match every USB device)
// or a missing ID is refused before any device set is opened.
TEST(DevicesRemovalMatching, ShortComparesAndMissingIdsRemoveNothing) {
    struct Row {
        const char* hardwareId;
        int compareLength;
    };
    const Row rows[] = {
        {"USB\\Vid_3E1F&Pid_A101", 0},
        {"USB\\Vid_3E1F&Pid_A101", -5},
        {"USB", 3},
        {kVendorHardwareIdPrefix, VENDOR_HARDWARE_ID_PREFIX_LENGTH - 1},
        {nullptr, VENDOR_HARDWARE_ID_LENGTH},
    };
    for (const Row& row : rows) {
        StartOnFreshMachine(OPERATION_UNINSTALL);
        sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
        sim::AddDevice("USB\\VID_046D&PID_C52B\\1", {"USB\\Vid_046D&Pid_C52B"});

        RemoveDevicesByHardwareId(row.hardwareId, DEVICE_ACTION_REMOVE, row.compareLength);
        std::vector<std::string> log = FinishLog();

        SCOPED_TRACE(row.compareLength);
        EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
        EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_046D&PID_C52B\\1"));
        EXPECT_EQ(0, sim::CallCount("SetupDiGetClassDevsA"));
        ASSERT_EQ(1u, log.size());
        EXPECT_EQ(row.hardwareId == nullptr
                      ? std::string("Refused to remove devices: no hardware ID\n")
                      : "Refused to remove devices: compare length " + std::to_string(row.compareLength) +
                            " is shorter than the vendor prefix\n",
                  log[0]);
    }
}

// ---------------------------------------------------------------- hardware-ID lists

TEST(DevicesRemovalLists, UnterminatedListsAreReadOnlyWithinTheirBytes) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    // One ID without any terminator.
    sim::Device& bare = sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {});
    bare.hardwareIds = "USB\\Vid_3E1F&Pid_A101";
    // A second string cut short of the entry, without its terminator.
    sim::Device& cut = sim::AddDevice("USB\\VID_3E1F&PID_A101\\2", {});
    cut.hardwareIds = std::string("USB\\Vid_9999&Pid_0001\0USB\\Vid_3E1F&Pid_A10", 43);
    // The last string unterminated and carrying a suffix.
    sim::Device& tail = sim::AddDevice("USB\\VID_3E1F&PID_A101\\3", {});
    tail.hardwareIds = std::string("USB\\Vid_9999&Pid_0001\0USB\\VID_3E1F&PID_A101&MI_01", 50);

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\2"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\3"));
    // The named strings end where the platform's data ends.
    EXPECT_EQ(1, CountOf(log, "Found! [USB\\Vid_3E1F&Pid_A101]\n"));
    EXPECT_EQ(1, CountOf(log, "Found! [USB\\VID_3E1F&PID_A101&MI_01]\n"));
    EXPECT_EQ(2, CountStartingWith(log, "Found! ["));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesRemovalLists, FourKilobyteListMatchesItsLastId) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    std::vector<std::string> ids;
    size_t bytes = 0;
    for (int i = 0; bytes < 4096; ++i) {
        ids.push_back("USB\\Vid_9999&Pid_" + std::to_string(1000 + i) + "&Rev_0001");
        bytes += ids.back().size() + 1;
    }
    ids.push_back("USB\\Vid_3E1F&Pid_B20C&Rev_0001");
    sim::AddDevice("USB\\VID_3E1F&PID_B20C\\1", ids);
    std::vector<std::string> other(ids.begin(), ids.end() - 1);
    sim::AddDevice("USB\\VID_9999&PID_0000\\1", other);

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_B20C", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_B20C\\1"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_9999&PID_0000\\1"));
    EXPECT_EQ(1, CountOf(log, "Found! [USB\\Vid_3E1F&Pid_B20C&Rev_0001]\n"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesRemovalLists, AnEmptyListMatchesNothing) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::Device& empty = sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {});
    empty.hardwareIds = std::string("\0\0", 2);

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// ---------------------------------------------------------------- failures

TEST(DevicesRemovalFailures, DeviceWithoutHardwareIdsSkippedSilently) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::Device& none = sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {});
    none.hasHardwareIds = false;
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\2", {"USB\\Vid_3E1F&Pid_A101"});

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\2"));
    EXPECT_EQ(0, CountStartingWith(log, "GetDeviceRegistryProperty"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesRemovalFailures, OtherReadErrorEndsThePass) {
    // The sizing read and the read into the buffer can each fail.
    for (int nth = 1; nth <= 2; ++nth) {
        StartOnFreshMachine(OPERATION_UNINSTALL);
        sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
        sim::AddDevice("USB\\VID_3E1F&PID_A101\\2", {"USB\\Vid_3E1F&Pid_A101"});
        sim::FailCall("SetupDiGetDeviceRegistryPropertyA", nth, ERROR_ACCESS_DENIED);

        RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
        std::vector<std::string> log = FinishLog();

        EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1")) << nth;
        EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\2")) << nth;
        EXPECT_TRUE(HasFailureRecord(log, "GetDeviceRegistryProperty\n", ERROR_ACCESS_DENIED)) << nth;
        EXPECT_EQ(1, sim::CallCount("SetupDiEnumDeviceInfo")) << nth;
        EXPECT_EQ(1, sim::CallCount("SetupDiDestroyDeviceInfoList")) << nth;
        EXPECT_EQ(0, sim::OpenHandleCount()) << nth;
    }
}

TEST(DevicesRemovalFailures, ReadErrorEndsOnlyThatEntrysPass) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
    sim::AddDevice("USB\\VID_3E1F&PID_A102\\1", {"USB\\Vid_3E1F&Pid_A102"});
    sim::FailCall("SetupDiGetDeviceRegistryPropertyA", 1, ERROR_INVALID_PARAMETER);

    RemoveVendorDevices();
    std::vector<std::string> log = FinishLog();

    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A102\\1"));
    EXPECT_EQ(1, CountFailures(log, "GetDeviceRegistryProperty\n"));
    EXPECT_EQ(REMOVAL_HARDWARE_ID_COUNT, sim::CallCount("SetupDiGetClassDevsA"));
}

TEST(DevicesRemovalFailures, FailedAllocationEndsThePassAndLeaksNothing) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
    sim::FailCall("LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_TRUE(HasFailureRecord(log, "GetDeviceRegistryProperty\n", ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesRemovalFailures, EndlessBufferRequestsDoNotHang) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
    sim::FailAllCalls("SetupDiGetDeviceRegistryPropertyA", ERROR_INSUFFICIENT_BUFFER);

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_EQ(1, CountFailures(log, "GetDeviceRegistryProperty\n"));
    EXPECT_LT(sim::CallCount("SetupDiGetDeviceRegistryPropertyA"), 20);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesRemovalFailures, ClassInstallerFailureLoggedAndNextDeviceRemoved) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\2", {"USB\\Vid_3E1F&Pid_A101"});
    sim::FailCall("SetupDiCallClassInstaller", 1, ERROR_ACCESS_DENIED);

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\2"));
    EXPECT_TRUE(HasFailureRecord(log, "CallClassInstaller(REMOVE)", ERROR_ACCESS_DENIED));
    EXPECT_EQ(1, CountOf(log, "Uninstall success.\n"));
    // DIF_REMOVE (5) on the set's member, each time.
    EXPECT_EQ(std::vector<std::string>(2, "SetupDiCallClassInstaller(5, devinfo, ptr)"),
              sim::CallLines({"SetupDiCallClassInstaller"}));
}

TEST(DevicesRemovalFailures, RemoveDeviceReportsItsResult) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
    HDEVINFO set = SetupDiGetClassDevsA(NULL, "USB", NULL, DIGCF_ALLCLASSES);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVINFO_DATA device;
    memset(&device, 0, sizeof(device));
    device.cbSize = sizeof(device);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &device));

    sim::FailCall("SetupDiCallClassInstaller", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, RemoveDevice(set, &device));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_EQ(1, RemoveDevice(set, &device));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    SetupDiDestroyDeviceInfoList(set);
    FinishLog();
}

TEST(DevicesRemovalFailures, EnumerationErrorReportedNormalEndNot) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\2", {"USB\\Vid_3E1F&Pid_A101"});
    sim::FailCall("SetupDiEnumDeviceInfo", 2, ERROR_INVALID_HANDLE);

    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\2"));
    EXPECT_TRUE(HasFailureRecord(log, "EnumDeviceInfo\n", ERROR_INVALID_HANDLE));
    EXPECT_EQ(0, sim::OpenHandleCount());

    // An enumeration that ends with last error 0 is not a failure either.
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
    sim::FailCall("SetupDiEnumDeviceInfo", 1, 0);
    RemoveDevicesByHardwareId("USB\\Vid_3E1F&Pid_A101", DEVICE_ACTION_REMOVE, 21);
    log = FinishLog();
    EXPECT_EQ(0, CountFailures(log, "EnumDeviceInfo\n"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
}

TEST(DevicesRemovalFailures, DeviceSetFailureSkipsOnlyThatEntry) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});
    sim::AddDevice("USB\\VID_3E1F&PID_A102\\1", {"USB\\Vid_3E1F&Pid_A102"});
    sim::FailCall("SetupDiGetClassDevsA", 1, ERROR_INVALID_PARAMETER);

    RemoveVendorDevices();
    std::vector<std::string> log = FinishLog();

    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\1"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A102\\1"));
    EXPECT_TRUE(HasFailureRecord(log, "GetClassDevs(All Present Devices)\n", ERROR_INVALID_PARAMETER));
    EXPECT_EQ(1, CountFailures(log, "GetClassDevs(All Present Devices)\n"));
    EXPECT_EQ(REMOVAL_HARDWARE_ID_COUNT - 1, sim::CallCount("SetupDiDestroyDeviceInfoList"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

} // namespace
