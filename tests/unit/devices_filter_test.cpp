// The mass-storage filter: registry flags, the filter service and the
// properties of the devices' storage function.
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
using devices_test::StartOnFreshMachine;

const char kUsbStor[] = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR";
const char kStorageId[] = "USB\\Vid_3E1F&Pid_C301"; // first storage table entry
const char kComposite[] = "USB\\VID_3E1F&PID_C301\\6&1&0&1";
const char kInterface[] = "USB\\VID_3E1F&PID_C301&MI_02\\7&2&0&2";

std::string DeviceParameters(const std::string& instanceId) {
    return "SYSTEM\\CurrentControlSet\\Enum\\" + instanceId + "\\Device Parameters";
}

// A 256-byte property value: the text, its terminator and zeros.
std::string Padded(const std::string& text) {
    std::string value = text;
    value.resize(256, '\0');
    return value;
}

DWORD FlagOr(const std::string& keyPath, DWORD missing) {
    DWORD value = missing;
    if (!sim::GetRegDword(keyPath, "gorvel", &value)) {
        return missing;
    }
    return value;
}

const DWORD kMissing = 0xDEADBEEF;

bool IsConfigured(const std::string& instanceId) {
    sim::Device* d = sim::FindDevice(instanceId);
    return d != nullptr && d->hasLowerFilters && d->lowerFilters == Padded("gorvel");
}

// ---------------------------------------------------------------- bringing into force

class DevicesFilterInForce : public ::testing::Test {
  protected:
    void SetUp() override {
        StartOnFreshMachine(OPERATION_INSTALL);
        sim::AddDevice(kComposite, {"USB\\VID_3E1F&PID_C301&REV_0001", "USB\\VID_3E1F&PID_C301"});
        sim::AddDevice(kInterface, {"USB\\Vid_3E1F&Pid_C301&MI_02"});
        sim::AddDevice("USB\\VID_3E1F&PID_C305\\9", {"usb\\vid_3e1f&pid_c305"});
        sim::AddDevice("USB\\VID_3E1F&PID_C302\\1", {"USB\\Vid_3E1F&Pid_C302"}, false); // not plugged in
        sim::AddDevice("USB\\VID_3E1F&PID_A101\\1", {"USB\\Vid_3E1F&Pid_A101"});        // modem only
        sim::AddDevice("USB\\VID_1234&PID_C301\\1", {"USB\\Vid_1234&Pid_C301"});        // other vendor
        sim::AddDevice("USB\\ROOT_HUB20\\4&1", {"USB\\ROOT_HUB20&VID8086"});
    }
};

TEST_F(DevicesFilterInForce, EveryMatchingPresentDeviceGetsTheFilter) {
    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(1u, FlagOr(kUsbStor, kMissing));
    for (const char* instance : {kComposite, kInterface, "USB\\VID_3E1F&PID_C305\\9"}) {
        sim::Device* d = sim::FindDevice(instance);
        ASSERT_NE(nullptr, d);
        EXPECT_TRUE(IsConfigured(instance)) << instance;
        EXPECT_TRUE(d->hasFriendlyName) << instance;
        EXPECT_EQ(Padded("KWE Mass Storage Device"), d->friendlyName) << instance;
        EXPECT_EQ(2u, FlagOr(DeviceParameters(instance), kMissing)) << instance;
    }
    for (const char* instance : {"USB\\VID_3E1F&PID_C302\\1", "USB\\VID_3E1F&PID_A101\\1",
                                 "USB\\VID_1234&PID_C301\\1", "USB\\ROOT_HUB20\\4&1"}) {
        sim::Device* d = sim::FindDevice(instance);
        ASSERT_NE(nullptr, d);
        EXPECT_FALSE(d->hasLowerFilters) << instance;
        EXPECT_FALSE(d->hasFriendlyName) << instance;
        EXPECT_FALSE(sim::RegKeyExists(DeviceParameters(instance))) << instance;
    }
    EXPECT_EQ(3, CountOf(log, "Set LowFilter Success!\n"));
    EXPECT_EQ(3, CountOf(log, "Set LOWERFILTERS Success!\n"));
    EXPECT_EQ(3, CountOf(log, "Set FilterInfo Success!\n"));
    EXPECT_EQ(2, CountOf(log, std::string("id : ") + kStorageId + "\n"));
    EXPECT_EQ(1, CountOf(log, "id : USB\\Vid_3E1F&Pid_C305\n"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(DevicesFilterInForce, SevenPassesLogEveryPresentDevice) {
    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(STORAGE_HARDWARE_ID_COUNT, sim::CallCount("SetupDiGetClassDevsA"));
    for (const sim::Call& call : sim::Journal()) {
        if (call.name == "SetupDiGetClassDevsA") {
            EXPECT_EQ("NULL, \"USB\", NULL, 6", call.args);
        }
    }
    // "Buffer" names the first hardware ID of every present device, each pass.
    EXPECT_EQ(7, CountOf(log, "Buffer : USB\\VID_3E1F&PID_C301&REV_0001\n"));
    EXPECT_EQ(7, CountOf(log, "Buffer : USB\\Vid_1234&Pid_C301\n"));
    EXPECT_EQ(7, CountOf(log, "Buffer : USB\\ROOT_HUB20&VID8086\n"));
    EXPECT_EQ(0, CountOf(log, "Buffer : USB\\Vid_3E1F&Pid_C302\n"));
    EXPECT_EQ(6 * 7, CountStartingWith(log, "Buffer : "));
    // "IBuffer" only for the devices that passed the bus test.
    EXPECT_EQ(7, CountOf(log, std::string("IBuffer : ") + kComposite + "\n"));
    EXPECT_EQ(7, CountOf(log, "IBuffer : USB\\VID_3E1F&PID_A101\\1\n"));
    EXPECT_EQ(7, CountOf(log, "IBuffer : USB\\VID_1234&PID_C301\\1\n"));
    EXPECT_EQ(0, CountOf(log, "IBuffer : USB\\ROOT_HUB20\\4&1\n"));
    EXPECT_EQ(5 * 7, CountStartingWith(log, "IBuffer : "));
}

TEST_F(DevicesFilterInForce, RecordsOfOneDeviceInOrder) {
    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    int at = IndexOf(log, std::string("IBuffer : ") + kComposite + "\n");
    ASSERT_GE(at, 0);
    std::vector<std::string> expected = {std::string("id : ") + kStorageId + "\n",
                                         "Set LOWERFILTERS Success!\n", "Set the gorvel value success!\n",
                                         "Set FilterInfo Success!\n", "Set LowFilter Success!\n"};
    ASSERT_GE(log.size(), static_cast<size_t>(at) + 1 + expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i], log[static_cast<size_t>(at) + 1 + i]);
    }
    // The USBSTOR flag and the service come before any device.
    EXPECT_EQ("Set the gorvel value success!\n", log[0]);
    EXPECT_EQ("Create [gorvel] service success!\n", log[1]);
}

TEST_F(DevicesFilterInForce, ServiceCreatedOnceWithItsSettings) {
    ApplyMassStorageFilter();
    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    sim::Service* service = sim::FindService("gorvel");
    ASSERT_NE(nullptr, service);
    EXPECT_EQ("gorvel", service->name);
    EXPECT_EQ("KWE Mass Storage Filter Driver", service->displayName);
    EXPECT_EQ("system32\\drivers\\gorvel.sys", service->binaryPath);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_KERNEL_DRIVER), service->type);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), service->startType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), service->errorControl);
    EXPECT_EQ((std::vector<std::string>{
                  "CreateServiceA(scm, \"gorvel\", \"KWE Mass Storage Filter Driver\", 0, 1, 3, 1, "
                  "\"system32\\drivers\\gorvel.sys\", NULL, NULL, NULL, NULL, NULL)"}),
              sim::CallLines({"CreateServiceA"}));
    EXPECT_EQ(std::vector<std::string>(2, "OpenSCManagerA(NULL, NULL, 6)"),
              sim::CallLines({"OpenSCManagerA"}));
    EXPECT_EQ(1, CountOf(log, "Create [gorvel] service success!\n"));
    // The second call writes the same values again.
    EXPECT_EQ(6, CountOf(log, "Set LowFilter Success!\n"));
    EXPECT_EQ(2u, FlagOr(DeviceParameters(kInterface), kMissing));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(DevicesFilterInForce, ExistingServiceLeftAlone) {
    sim::AddService("gorvel", SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, false, "Old Filter",
                    "\\SystemRoot\\old\\gorvel.sys");

    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    sim::Service* service = sim::FindService("gorvel");
    ASSERT_NE(nullptr, service);
    EXPECT_EQ("Old Filter", service->displayName);
    EXPECT_EQ("\\SystemRoot\\old\\gorvel.sys", service->binaryPath);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), service->startType);
    EXPECT_EQ(0, sim::CallCount("CreateServiceA"));
    EXPECT_EQ(0, CountStartingWith(log, "Create [gorvel]"));
    EXPECT_EQ(0, CountStartingWith(log, "Can't"));
    EXPECT_TRUE(IsConfigured(kComposite));
}

TEST_F(DevicesFilterInForce, CleanWritesDeviceFlagZero) {
    g_OperationCode = OPERATION_CLEAN;

    ApplyMassStorageFilter();
    FinishLog();

    EXPECT_EQ(1u, FlagOr(kUsbStor, kMissing));
    EXPECT_TRUE(IsConfigured(kComposite));
    EXPECT_EQ(0u, FlagOr(DeviceParameters(kComposite), kMissing));
    EXPECT_EQ(0u, FlagOr(DeviceParameters(kInterface), kMissing));
    EXPECT_NE(nullptr, sim::FindService("gorvel"));
}

TEST_F(DevicesFilterInForce, UninstallWritesOnlyTheUsbStorFlag) {
    g_OperationCode = OPERATION_UNINSTALL;
    sim::SetRegDword(kUsbStor, "gorvel", 1);
    sim::SetRegDword(DeviceParameters(kComposite), "gorvel", 2);

    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(0u, FlagOr(kUsbStor, kMissing));
    EXPECT_EQ(2u, FlagOr(DeviceParameters(kComposite), kMissing));
    EXPECT_FALSE(sim::FindDevice(kComposite)->hasLowerFilters);
    EXPECT_EQ(nullptr, sim::FindService("gorvel"));
    EXPECT_EQ(0, sim::CallCount("SetupDiGetClassDevsA"));
    EXPECT_EQ(0, sim::CallCount("OpenSCManagerA"));
    EXPECT_EQ(0, sim::CallCount("GetVersionExA"));
    EXPECT_EQ(std::vector<std::string>{"Set the gorvel value success!\n"}, log);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(DevicesFilterInForce, FailedLowerFilterWriteSkipsThatDevice) {
    sim::FailCall("SetupDiSetDeviceRegistryPropertyA", 1, ERROR_ACCESS_DENIED);

    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    // The composite device comes before its function in the device tree.
    sim::Device* first = sim::FindDevice(kComposite);
    EXPECT_FALSE(first->hasLowerFilters);
    EXPECT_FALSE(first->hasFriendlyName);
    EXPECT_EQ(kMissing, FlagOr(DeviceParameters(kComposite), kMissing));
    EXPECT_TRUE(IsConfigured(kInterface));
    EXPECT_EQ(2u, FlagOr(DeviceParameters(kInterface), kMissing));
    int failed = IndexOf(log, "Set LOWERFILTERS failed!\n");
    ASSERT_GE(failed, 0);
    EXPECT_EQ(1, CountOf(log, "Set LOWERFILTERS failed!\n"));
    // No system error text follows the fixed message.
    EXPECT_EQ(0, CountFailures(log, "Set LOWERFILTERS failed!\n"));
    EXPECT_EQ(2, CountOf(log, "Set LowFilter Success!\n"));
}

TEST_F(DevicesFilterInForce, FailedFriendlyNameStillWritesDeviceFlag) {
    sim::FailCall("SetupDiSetDeviceRegistryPropertyA", 2, ERROR_ACCESS_DENIED);

    ApplyMassStorageFilter();
    FinishLog();

    sim::Device* first = sim::FindDevice(kComposite);
    EXPECT_TRUE(first->hasLowerFilters);
    EXPECT_FALSE(first->hasFriendlyName);
    EXPECT_EQ(2u, FlagOr(DeviceParameters(kComposite), kMissing));
}

TEST_F(DevicesFilterInForce, ServiceFailuresStillConfigureDevices) {
    sim::FailCall("OpenSCManagerA", 1, ERROR_ACCESS_DENIED);
    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();
    EXPECT_EQ(1, CountOf(log, "Can't open service manager\n"));
    EXPECT_EQ(nullptr, sim::FindService("gorvel"));
    EXPECT_TRUE(IsConfigured(kComposite));

    SetUp();
    sim::FailCall("CreateServiceA", 1, ERROR_ACCESS_DENIED);
    ApplyMassStorageFilter();
    log = FinishLog();
    EXPECT_EQ(1, CountOf(log, "Can't create [gorvel] service\n"));
    EXPECT_EQ(nullptr, sim::FindService("gorvel"));
    EXPECT_TRUE(IsConfigured(kComposite));
    EXPECT_EQ(0, sim::OpenHandleCount());

    // A service that cannot be opened for another reason is not created.
    SetUp();
    sim::FailCall("OpenServiceA", 1, ERROR_ACCESS_DENIED);
    ApplyMassStorageFilter();
    log = FinishLog();
    EXPECT_EQ(0, sim::CallCount("CreateServiceA"));
    EXPECT_EQ(0, CountStartingWith(log, "Can't"));
    EXPECT_EQ(0, CountStartingWith(log, "Create [gorvel]"));
    EXPECT_TRUE(IsConfigured(kComposite));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(DevicesFilterInForce, UnreadableDevicesSkippedSilently) {
    sim::FindDevice(kComposite)->hasHardwareIds = false;
    // The first pass reads the other vendor's and the modem's instance IDs
    // before kInterface's (devices come in instance-ID order).
    sim::FailCall("SetupDiGetDeviceInstanceIdA", 3, ERROR_INSUFFICIENT_BUFFER);
    sim::FailCall("SetupDiGetClassDevsA", 2, ERROR_INVALID_PARAMETER); // second entry

    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    EXPECT_FALSE(IsConfigured(kComposite));
    EXPECT_FALSE(IsConfigured(kInterface));
    EXPECT_TRUE(IsConfigured("USB\\VID_3E1F&PID_C305\\9"));
    EXPECT_EQ(0, CountStartingWith(log, "Buffer : USB\\VID_3E1F&PID_C301&REV_0001"));
    // Its instance ID read failed in the first pass only.
    EXPECT_EQ(5, CountStartingWith(log, "IBuffer : USB\\VID_3E1F&PID_C301&MI_02"));
    EXPECT_EQ(0, CountStartingWith(log, "GetClassDevs"));
    EXPECT_EQ(6 * 5, CountStartingWith(log, "Buffer : "));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// ---------------------------------------------------------------- the Windows 2000 path

TEST(DevicesFilterReinstall, Windows2000MarksDevicesForReinstall) {
    StartOnFreshMachine(OPERATION_PREINSTALL);
    sim::SetWindowsVersion(5, 0, 2195, "Service Pack 4");
    sim::Device& flagged = sim::AddDevice(kComposite, {"USB\\Vid_3E1F&Pid_C301"});
    flagged.hasConfigFlags = true;
    flagged.configFlags = CONFIGFLAG_DISABLED;
    sim::AddDevice(kInterface, {"USB\\Vid_3E1F&Pid_C301&MI_02"}); // no flags to read

    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(1u, FlagOr(kUsbStor, kMissing));
    sim::Device* d = sim::FindDevice(kComposite);
    EXPECT_EQ(static_cast<DWORD>(CONFIGFLAG_DISABLED | CONFIGFLAG_REINSTALL), d->configFlags);
    EXPECT_FALSE(d->hasLowerFilters);
    EXPECT_FALSE(d->hasFriendlyName);
    EXPECT_EQ(2u, FlagOr(DeviceParameters(kComposite), kMissing));
    EXPECT_FALSE(sim::RegKeyExists(DeviceParameters(kInterface)));
    EXPECT_EQ(nullptr, sim::FindService("gorvel"));
    EXPECT_EQ(0, sim::CallCount("OpenSCManagerA"));
    EXPECT_EQ(1, CountOf(log, "Set flag [reinstall]\n"));
    EXPECT_EQ(1, CountOf(log, "INFO: Mark the device to be reinstalled the next time it is plugged in \n"));
    EXPECT_EQ(0, CountStartingWith(log, "id : "));
    EXPECT_EQ(STORAGE_HARDWARE_ID_COUNT, sim::CallCount("SetupDiGetClassDevsA"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesFilterReinstall, CleanOnWindows2000WritesDeviceFlagZero) {
    StartOnFreshMachine(OPERATION_CLEAN);
    sim::SetWindowsVersion(5, 0, 2195, "");
    sim::Device& flagged = sim::AddDevice(kComposite, {"USB\\Vid_3E1F&Pid_C301"});
    flagged.hasConfigFlags = true;

    ApplyMassStorageFilter();
    FinishLog();

    EXPECT_EQ(static_cast<DWORD>(CONFIGFLAG_REINSTALL), sim::FindDevice(kComposite)->configFlags);
    EXPECT_EQ(0u, FlagOr(DeviceParameters(kComposite), kMissing));
}

TEST(DevicesFilterReinstall, OtherVersionsAndFailedQueryUseTheFilter) {
    struct Case {
        DWORD major, minor;
        bool failQuery;
    };
    for (const Case& c : {Case{5, 1, false}, Case{5, 2, false}, Case{6, 0, false}, Case{5, 0, true}}) {
        StartOnFreshMachine(OPERATION_INSTALL);
        sim::SetWindowsVersion(c.major, c.minor, 1000, "");
        if (c.failQuery) {
            sim::FailAllCalls("GetVersionExA", ERROR_INVALID_PARAMETER);
        }
        sim::AddDevice(kComposite, {"USB\\Vid_3E1F&Pid_C301"});
        ApplyMassStorageFilter();
        std::vector<std::string> log = FinishLog();
        EXPECT_EQ(0, CountOf(log, "Set flag [reinstall]\n")) << c.major << "." << c.minor;
        EXPECT_TRUE(IsConfigured(kComposite)) << c.major << "." << c.minor;
        EXPECT_NE(nullptr, sim::FindService("gorvel")) << c.major << "." << c.minor;
    }
}

// ---------------------------------------------------------------- flags and buffers

TEST(DevicesFilterFlags, UsbStorPathExactlyWritesOneElseTwo) {
    StartOnFreshMachine(OPERATION_INSTALL);
    EXPECT_EQ(1, SetFilterFlag(kUsbStor));
    EXPECT_EQ(1, SetFilterFlag("SYSTEM\\CurrentControlSet\\Services\\usbstor"));
    EXPECT_EQ(1, SetFilterFlag("SYSTEM\\CurrentControlSet\\Services\\Other"));
    FinishLog();

    // The registry looks keys up ignoring case: the second write replaced
    // the first one's value with 2.
    EXPECT_EQ(2u, FlagOr(kUsbStor, kMissing));
    EXPECT_EQ(2u, FlagOr("SYSTEM\\CurrentControlSet\\Services\\Other", kMissing));
    const sim::RegValue* value = sim::FindRegValue("SYSTEM\\CurrentControlSet\\Services\\Other", "gorvel");
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value->type);
    EXPECT_EQ(4u, value->data.size());
}

TEST(DevicesFilterFlags, RegistryFailuresCarryTheReturnedCode) {
    StartOnFreshMachine(OPERATION_INSTALL);
    sim::FailCall("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_EQ(0, SetFilterFlag(kUsbStor));

    sim::FailCall("RegSetValueExA", 1, ERROR_CANTWRITE);
    SetLastError(0);
    EXPECT_EQ(0, SetFilterFlag(kUsbStor));
    std::vector<std::string> log = FinishLog();

    EXPECT_TRUE(HasFailureRecord(log, "RegOpenKeyEx\n", ERROR_ACCESS_DENIED));
    EXPECT_TRUE(HasFailureRecord(log, "RegSetValueEx\n", ERROR_CANTWRITE));
    EXPECT_EQ(0, CountOf(log, "Set the gorvel value success!\n"));
    EXPECT_EQ(nullptr, sim::FindRegValue(kUsbStor, "gorvel"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesFilterFlags, UninstallFlagFailuresReported) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::FailCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();
    EXPECT_TRUE(HasFailureRecord(log, "RegSetValueEx\n", ERROR_ACCESS_DENIED));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesFilterFlags, DeviceFlagAlwaysReportsSuccess) {
    StartOnFreshMachine(OPERATION_UNINSTALL);
    sim::FailCall("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(1, SetDeviceFilterFlag("USB\\VID_3E1F&PID_C301\\1"));
    EXPECT_EQ(1, SetDeviceFilterFlag("USB\\VID_3E1F&PID_C301\\2"));
    std::vector<std::string> log = FinishLog();

    EXPECT_TRUE(HasFailureRecord(log, "RegOpenKeyEx\n", ERROR_ACCESS_DENIED));
    EXPECT_EQ(2, CountOf(log, "Set FilterInfo Success!\n"));
    EXPECT_FALSE(sim::RegKeyExists(DeviceParameters("USB\\VID_3E1F&PID_C301\\1")));
    EXPECT_EQ(0u, FlagOr(DeviceParameters("USB\\VID_3E1F&PID_C301\\2"), kMissing));
}

TEST(DevicesFilterFlags, LongestInstanceIdFitsLongerOneIsRefused) {
    StartOnFreshMachine(OPERATION_INSTALL);
    std::string fits = "USB\\VID_3E1F&PID_C301\\" + std::string(200 - 22, '7');
    ASSERT_EQ(200u, fits.size());
    sim::AddDevice(fits, {"USB\\Vid_3E1F&Pid_C301"});
    std::string tooLong = "USB\\VID_3E1F&PID_C301\\" + std::string(208 - 22, '8');
    sim::AddDevice(tooLong, {"USB\\Vid_3E1F&Pid_C301"});

    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(2u, FlagOr(DeviceParameters(fits), kMissing));
    EXPECT_EQ(7, CountOf(log, "IBuffer : " + fits + "\n"));
    EXPECT_EQ(7, CountOf(log, "IBuffer : " + tooLong + "\n"));
    // The cut path would have named another key: nothing is written for it.
    EXPECT_FALSE(sim::RegKeyExists(DeviceParameters(tooLong)));
    EXPECT_FALSE(sim::RegKeyExists(DeviceParameters(tooLong.substr(0, 207))));
    EXPECT_TRUE(HasFailureRecord(log, "RegOpenKeyEx\n", ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(2, CountOf(log, "Set FilterInfo Success!\n"));
    EXPECT_EQ(2, CountOf(log, "Set LowFilter Success!\n"));
}

TEST(DevicesFilterFlags, PropertiesFillingTheWholeBufferAreReadSafely) {
    StartOnFreshMachine(OPERATION_INSTALL);
    // A hardware-ID value of exactly 256 bytes without any terminator.
    std::string full = "USB\\Vid_3E1F&Pid_C301&" + std::string(256 - 22, 'Z');
    sim::Device& d = sim::AddDevice(kComposite, {});
    d.hardwareIds = full;
    // A list that does not fit into 256 bytes is skipped without a message.
    std::vector<std::string> many;
    for (int i = 0; i < 20; ++i) {
        many.push_back("USB\\Vid_3E1F&Pid_C301&Rev_" + std::to_string(1000 + i));
    }
    sim::AddDevice(kInterface, many);

    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(7, CountOf(log, "Buffer : " + full + "\n"));
    EXPECT_EQ(7, CountStartingWith(log, "Buffer : "));
    EXPECT_TRUE(IsConfigured(kComposite));
    EXPECT_FALSE(IsConfigured(kInterface));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST(DevicesFilterFlags, NoMatchingDeviceStillWritesFlagAndService) {
    StartOnFreshMachine(OPERATION_PREINSTALL_CU);
    sim::AddDevice("USB\\VID_1234&PID_0001\\1", {"USB\\Vid_1234&Pid_0001"});

    ApplyMassStorageFilter();
    std::vector<std::string> log = FinishLog();

    EXPECT_EQ(1u, FlagOr(kUsbStor, kMissing));
    EXPECT_NE(nullptr, sim::FindService("gorvel"));
    EXPECT_EQ(-1, sim::FindCall("SetupDiSetDeviceRegistryPropertyA"));
    EXPECT_EQ(0, CountStartingWith(log, "Set FilterInfo"));
}

} // namespace
