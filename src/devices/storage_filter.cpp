// The mass-storage filter: the "gorvel" flags in the registry, the filter
// service and the lower filter on the storage function of present devices.
#include "common/ascii_case.h"
#include "devices/devices.h"

#include <string.h>

#include "common/operation.h"
#include "common/product_tables.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/vendor_config.h"
#include "log/log.h"

static const char kUsbStorKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR";
static const char kEnumKeyPath[] = "SYSTEM\\CurrentControlSet\\Enum\\";
static const char kDeviceParametersKey[] = "\\Device Parameters";
static const char kFilterValueName[] = "gorvel";
static const char kFilterServiceName[] = "gorvel";
static const char kFilterDisplayName[] = "KWE Mass Storage Filter Driver";
static const char kFilterFriendlyName[] = "KWE Mass Storage Device";
static const char kDriverExtension[] = ".sys";

// Flag values of the filter driver.
#define FILTER_FLAG_OFF 0
#define FILTER_FLAG_STORAGE 1
#define FILTER_FLAG_DEVICE 2

// Working buffers of the device pass.
#define DEVICE_BUFFER_SIZE 256

// Every storage table entry begins with the same "USB\Vid_" prefix.
static const size_t kBusPrefixLength = 8;

// Opens or creates keyPath under HKEY_LOCAL_MACHINE and writes the "gorvel"
// flag there.
static int WriteFilterValue(const char* keyPath, DWORD value) {
    return SetLocalMachineDword(keyPath, kFilterValueName, value, "RegOpenKeyEx\n",
                                "Set the gorvel value success!\n");
}

int SetFilterFlag(const char* keyPath) {
    DWORD value = SameText(keyPath, kUsbStorKeyPath) ? FILTER_FLAG_STORAGE : FILTER_FLAG_DEVICE;
    return WriteFilterValue(keyPath, value);
}

int SetDeviceFilterFlag(const char* instanceId) {
    char keyPath[DEVICE_BUFFER_SIZE];
    // An instance ID too long for the key path is refused: a cut path would
    // name another device's key.
    if (!CopyText(keyPath, sizeof(keyPath), kEnumKeyPath) ||
        !AppendText(keyPath, sizeof(keyPath), instanceId) ||
        !AppendText(keyPath, sizeof(keyPath), kDeviceParametersKey)) {
        LogFailureCode("RegOpenKeyEx\n", ERROR_FILENAME_EXCED_RANGE);
    } else if (g_OperationCode == OPERATION_UNINSTALL || g_OperationCode == OPERATION_CLEAN) {
        WriteFilterValue(keyPath, FILTER_FLAG_OFF);
    } else {
        SetFilterFlag(keyPath);
    }
    LogMessage("Set FilterInfo Success!\n");
    return 1;
}

// Filter mode: the lower filter, the friendly name and the device flag.
static void FilterDevice(HDEVINFO set, SP_DEVINFO_DATA* device, const char* hardwareId,
                         const char* instanceId) {
    char value[DEVICE_BUFFER_SIZE];

    LogMessage("id : %s\n", hardwareId);
    // A multi-string of one entry: the name, its terminator and zeros after.
    CopyText(value, sizeof(value), kFilterServiceName);
    if (!SetupDiSetDeviceRegistryPropertyA(set, device, SPDRP_LOWERFILTERS, (const BYTE*)value,
                                           DEVICE_BUFFER_SIZE)) {
        LogMessage("Set LOWERFILTERS failed!\n");
        return;
    }
    LogMessage("Set LOWERFILTERS Success!\n");

    CopyText(value, sizeof(value), kFilterFriendlyName);
    SetupDiSetDeviceRegistryPropertyA(set, device, SPDRP_FRIENDLYNAME, (const BYTE*)value,
                                      DEVICE_BUFFER_SIZE);
    SetDeviceFilterFlag(instanceId);
    LogMessage("Set LowFilter Success!\n");
}

// Reinstall mode: the device is reinstalled the next time it is plugged in.
static void MarkDeviceForReinstall(HDEVINFO set, SP_DEVINFO_DATA* device, const char* instanceId) {
    DWORD flags = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_CONFIGFLAGS, NULL, (PBYTE)&flags,
                                           (DWORD)sizeof(flags), NULL)) {
        return;
    }
    flags |= CONFIGFLAG_REINSTALL;
    LogMessage("INFO: Mark the device to be reinstalled the next time it is plugged in \n");
    SetupDiSetDeviceRegistryPropertyA(set, device, SPDRP_CONFIGFLAGS, (const BYTE*)&flags,
                                      (DWORD)sizeof(flags));
    SetDeviceFilterFlag(instanceId);
}

void ConfigureStorageDevices(const char* hardwareId, int mode) {
    HDEVINFO set = SetupDiGetClassDevsA(NULL, "USB", NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }

    // One byte beyond what the platform is offered stays zero, so that a
    // value that fills the whole buffer still ends inside it.
    char hardwareIds[DEVICE_BUFFER_SIZE + 1];
    char instanceId[DEVICE_BUFFER_SIZE + 1];
    size_t entryLength = BoundedLength(hardwareId, DEVICE_BUFFER_SIZE);

    SP_DEVINFO_DATA device;
    memset(&device, 0, sizeof(device));
    device.cbSize = (DWORD)sizeof(SP_DEVINFO_DATA);

    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        DWORD type = 0;
        DWORD required = 0;
        memset(hardwareIds, 0, sizeof(hardwareIds));
        if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, (PBYTE)hardwareIds,
                                               DEVICE_BUFFER_SIZE, &required)) {
            continue;
        }
        LogMessage("Buffer : %s\n", hardwareIds);
        if (CompareNoCaseN(hardwareIds, hardwareId, kBusPrefixLength) != 0) {
            continue;
        }

        memset(instanceId, 0, sizeof(instanceId));
        if (!SetupDiGetDeviceInstanceIdA(set, &device, instanceId, DEVICE_BUFFER_SIZE, &required)) {
            continue;
        }
        LogMessage("IBuffer : %s\n", instanceId);
        if (CompareNoCaseN(instanceId, hardwareId, entryLength) != 0) {
            continue;
        }

        if (mode == STORAGE_MODE_FILTER) {
            FilterDevice(set, &device, hardwareId, instanceId);
        } else {
            MarkDeviceForReinstall(set, &device, instanceId);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

void EnsureFilterService(const char* serviceName) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == NULL) {
        LogMessage("Can't open service manager\n");
        return;
    }

    SC_HANDLE service = OpenServiceA(manager, serviceName, DELETE);
    if (service != NULL) {
        // It exists already: left exactly as it is.
        CloseServiceHandle(service);
    } else if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
        char driverPath[MAX_PATH];
        SC_HANDLE created = NULL;
        if (JoinPath(driverPath, sizeof(driverPath), kSystemDriversSubfolder, serviceName) &&
            AppendText(driverPath, sizeof(driverPath), kDriverExtension)) {
            created = CreateServiceA(manager, serviceName, kFilterDisplayName, 0, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, driverPath, NULL, NULL, NULL,
                                     NULL, NULL);
        }
        if (created != NULL) {
            LogMessage("Create [gorvel] service success!\n");
            CloseServiceHandle(created);
        } else {
            LogMessage("Can't create [gorvel] service\n");
        }
    }
    CloseServiceHandle(manager);
}

int StorageFilterByReinstall(void) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    PlatformGetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 5 &&
           version.dwMinorVersion == 0;
}

void ApplyMassStorageFilter(void) {
    if (g_OperationCode == OPERATION_UNINSTALL) {
        // Switched off through the service flag only.
        WriteFilterValue(kUsbStorKeyPath, FILTER_FLAG_OFF);
        return;
    }

    SetFilterFlag(kUsbStorKeyPath);

    if (StorageFilterByReinstall()) {
        LogMessage("Set flag [reinstall]\n");
        for (int i = 0; i < STORAGE_HARDWARE_ID_COUNT; ++i) {
            ConfigureStorageDevices(kStorageHardwareIds[i], STORAGE_MODE_REINSTALL);
        }
        return;
    }

    EnsureFilterService(kFilterServiceName);
    for (int i = 0; i < STORAGE_HARDWARE_ID_COUNT; ++i) {
        ConfigureStorageDevices(kStorageHardwareIds[i], STORAGE_MODE_FILTER);
    }
}
