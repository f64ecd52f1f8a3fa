// The vendor purge (Clean): removes the vendor's driver-store INFs, driver
// services, devices, driver files and support library, whatever package put
// them there. It works from the fixed tables of common/product_tables, never
// from a package.
#include "cleanup/cleanup.h"

#include <string.h>

#include "cleanup/oem_infs.h"
#include "common/files.h"
#include "common/product_tables.h"
#include "common/text.h"
#include "common/vendor_config.h"
#include "devices/devices.h"
#include "environment/environment.h"
#include "log/log.h"
#include "platform/platform.h"

#define PROVIDER_BUFFER_SIZE 260

static int IsVendorProvider(const char* provider) {
    for (int i = 0; i < VENDOR_PROVIDER_COUNT; ++i) {
        if (SameText(provider, kVendorProviders[i])) {
            return 1;
        }
    }
    return 0;
}

int DeleteOemInfIfVendor(const char* infPath) {
    char provider[PROVIDER_BUFFER_SIZE];
    INFCONTEXT context;
    HINF inf;

    memset(provider, 0, sizeof(provider));
    memset(&context, 0, sizeof(context));
    inf = SetupOpenInfFileA(infPath, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) {
        LogMessage("Open %s fail!\n", infPath);
        return 0;
    }
    if (!SetupFindFirstLineA(inf, "Version", "Provider", &context)) {
        LogMessage("error: %s does not contain any device descriptions\n", infPath);
        SetupCloseInfFile(inf);
        return 0;
    }
    if (!SetupGetStringFieldA(&context, 1, provider, PROVIDER_BUFFER_SIZE, NULL)) {
        LogMessage("Error: skipping invalid description [Version]\n");
        SetupCloseInfFile(inf);
        return 0;
    }
    SetupCloseInfFile(inf);
    provider[PROVIDER_BUFFER_SIZE - 1] = '\0';
    if (!IsVendorProvider(provider)) {
        return 0;
    }

    // Only the INF goes; its PNF file is left where it is.
    LogMessage("Change file attributes: %s\n", infPath);
    if (GetFileAttributesA(infPath) & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesA(infPath, FILE_ATTRIBUTE_NORMAL);
        LogMessage("SetFileAttributes: FILE_ATTRIBUTE_NORMAL\n");
    }
    LogMessage("Delete: %s\n", infPath);
    if (DeleteFileChecked(infPath) == -1) {
        LogFailure("Error:");
        return 0;
    }
    LogMessage("Delete success!\n");
    return 1;
}

// DeleteOemInfIfVendor as a visitor of the OEM INF walk.
static void DeleteIfVendor(const char* fileName, const char* infPath) {
    (void)fileName;
    DeleteOemInfIfVendor(infPath);
}

int PurgeVendorOemInfs(void) {
    return ForEachOemInf(DeleteIfVendor);
}

void DeleteServiceByName(const char* serviceName) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager == NULL) {
        LogMessage("Can't open service manager!\n");
        LogFailure("OpenSCManager\n");
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, serviceName, DELETE);
    if (service == NULL) {
        LogMessage("Can't open %s service!\n", serviceName);
        LogFailure("OpenService");
        CloseServiceHandle(manager);
        return;
    }
    if (DeleteService(service)) {
        LogMessage("Delete %s service success! \n", serviceName);
    } else {
        LogMessage("Can't delete %s service!\n", serviceName);
        LogFailure("DeleteService");
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

void DeleteVendorDriverFiles(void) {
    char path[PATH_BUFFER_SIZE];

    for (int i = 0; i < VENDOR_DRIVER_FILE_COUNT; ++i) {
        if (!BuildRemovalPath(path, sizeof(path), g_SystemDriversFolder, kVendorDriverFiles[i])) {
            LogFailure("Error:");
            continue;
        }
        LogMessage("Delete: %s\n", path);
        if (RemoveFile(path) == -1) {
            LogFailure("Error:");
        } else {
            LogMessage("Delete success!\n");
        }
    }
}

void RunClean(void) {
    PurgeVendorOemInfs();
    for (int i = 0; i < FILTER_SERVICE_INDEX; ++i) {
        DeleteServiceByName(kVendorServices[i]);
    }
    // Brings the filter into force with the device flags of Clean; the filter
    // service this may create is deleted once the devices are gone.
    ApplyMassStorageFilter();
    RemoveDevicesByHardwareId(kVendorHardwareIdPrefix, DEVICE_ACTION_REMOVE,
                              VENDOR_HARDWARE_ID_PREFIX_LENGTH);
    DeleteServiceByName(kVendorServices[FILTER_SERVICE_INDEX]);
    DeleteVendorDriverFiles();
    RemoveSupportLibrary();
}
