// Removal of the vendor's device nodes by hardware ID, plugged in or not.
#include "common/ascii_case.h"
#include "devices/devices.h"

#include <string.h>

#include "common/product_tables.h"
#include "common/text.h"
#include "common/vendor_config.h"
#include "environment/environment.h"
#include "log/log.h"

// A device whose hardware-ID list keeps asking for a bigger buffer is given
// this many reads before the pass treats the property as unreadable.
static const int kMaxHardwareIdReads = 8;

// Terminators kept beyond the bytes the platform reports, so that a list that
// lacks its own terminators still ends inside the buffer.
static const SIZE_T kHardwareIdPadding = 2;

void RemoveVendorDevices(void) {
    // Anywhere in the driver file list: no INF is paired with it here.
    if (FilterDriverIndex(g_DriverFileCount) >= 0) {
        LogMessage("Found KWE Mass Storage Device,Disable...\n");
        ApplyMassStorageFilter();
    }

    for (int i = 0; i < REMOVAL_HARDWARE_ID_COUNT; ++i) {
        RemoveDevicesByHardwareId(kRemovalHardwareIds[i], DEVICE_ACTION_REMOVE, VENDOR_HARDWARE_ID_LENGTH);
    }
}

int RemoveDevice(HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData) {
    LogMessage("\r\nBegin Uninstall operation...\r\n");
    if (!SetupDiCallClassInstaller(DIF_REMOVE, deviceInfoSet, deviceInfoData)) {
        LogFailure("CallClassInstaller(REMOVE)");
        return 0;
    }
    LogMessage("Uninstall success.\n");
    return 1;
}

// Outcome of reading one device's hardware-ID list.
#define HARDWARE_IDS_READ 0
#define HARDWARE_IDS_ABSENT 1
#define HARDWARE_IDS_FAILED 2

// Reads the device's SPDRP_HARDWAREID list into a zero-filled buffer of
// LocalAlloc, sized as the platform asks plus the padding. On
// HARDWARE_IDS_READ, *buffer holds the list (NULL for an empty property) and
// *dataSize the number of bytes the platform returned; the caller frees it.
// On the other outcomes nothing is left allocated.
static int ReadHardwareIds(HDEVINFO set, SP_DEVINFO_DATA* device, char** buffer, DWORD* dataSize) {
    char* list = NULL;
    DWORD listSize = 0;
    DWORD required = 0;
    DWORD type = 0;
    int reads = 0;

    *buffer = NULL;
    *dataSize = 0;
    while (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, &type, (PBYTE)list, listSize,
                                              &required)) {
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_DATA) {
            if (list != NULL) {
                LocalFree(list);
            }
            return HARDWARE_IDS_ABSENT;
        }
        if (error == ERROR_INSUFFICIENT_BUFFER && reads < kMaxHardwareIdReads) {
            ++reads;
            if (list != NULL) {
                LocalFree(list);
            }
            list = (char*)LocalAlloc(LMEM_ZEROINIT, (SIZE_T)required + kHardwareIdPadding);
            if (list == NULL) {
                // The allocation's own last error is what the record shows.
                return HARDWARE_IDS_FAILED;
            }
            listSize = required;
            continue;
        }
        if (list != NULL) {
            LocalFree(list);
        }
        SetLastError(error);
        return HARDWARE_IDS_FAILED;
    }

    // On success the platform reports the size of the data it wrote; never
    // trust more than the buffer it was given.
    if (list != NULL) {
        *dataSize = (required < listSize) ? required : listSize;
    }
    *buffer = list;
    return HARDWARE_IDS_READ;
}

// Walks the multi-string of dataSize bytes (followed in the buffer by the
// zero padding) and returns the first string that begins with hardwareId over
// compareLength characters, ignoring case, or NULL.
static const char* FindMatchingHardwareId(const char* list, DWORD dataSize, const char* hardwareId,
                                          size_t compareLength) {
    size_t position = 0;
    while (position < dataSize && list[position] != '\0') {
        const char* entry = list + position;
        size_t length = BoundedLength(entry, dataSize - position);
        if (CompareNoCaseN(hardwareId, entry, compareLength) == 0) {
            return entry;
        }
        position += length + 1;
    }
    return NULL;
}

void RemoveDevicesByHardwareId(const char* hardwareId, int deviceAction, int compareLength) {
    // A compare shorter than the vendor prefix would match other makers'
    // devices (over 0 characters, every USB device of the machine).
    if (hardwareId == NULL) {
        LogMessage("Refused to remove devices: no hardware ID\n");
        return;
    }
    if (compareLength < VENDOR_HARDWARE_ID_PREFIX_LENGTH) {
        LogMessage("Refused to remove devices: compare length %d is shorter than the vendor prefix\n",
                   compareLength);
        return;
    }

    HDEVINFO set = SetupDiGetClassDevsA(NULL, "USB", NULL, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        LogFailure("GetClassDevs(All Present Devices)\n");
        return;
    }

    size_t length = (size_t)compareLength;
    SP_DEVINFO_DATA device;
    memset(&device, 0, sizeof(device));
    device.cbSize = (DWORD)sizeof(SP_DEVINFO_DATA);

    DWORD index = 0;
    for (; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        char* list = NULL;
        DWORD dataSize = 0;
        int outcome = ReadHardwareIds(set, &device, &list, &dataSize);
        if (outcome == HARDWARE_IDS_ABSENT) {
            continue;
        }
        if (outcome == HARDWARE_IDS_FAILED) {
            LogFailure("GetDeviceRegistryProperty\n");
            SetupDiDestroyDeviceInfoList(set);
            return;
        }
        if (list != NULL) {
            const char* match = FindMatchingHardwareId(list, dataSize, hardwareId, length);
            if (match != NULL) {
                LogMessage("Found! [%s]\n", match);
                if (deviceAction == DEVICE_ACTION_REMOVE) {
                    RemoveDevice(set, &device);
                }
            }
            LocalFree(list);
        }
    }

    DWORD error = GetLastError();
    if (error != 0 && error != ERROR_NO_MORE_ITEMS) {
        LogFailure("EnumDeviceInfo\n");
    }
    SetupDiDestroyDeviceInfoList(set);
}
