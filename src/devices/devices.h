// Device handling: removal by hardware ID and the mass-storage filter.
#ifndef HALLIMOR_DEVICES_DEVICES_H
#define HALLIMOR_DEVICES_DEVICES_H

#include "platform/platform.h"

// The only device action: remove the device.
#define DEVICE_ACTION_REMOVE 3

// Modes of ConfigureStorageDevices.
#define STORAGE_MODE_REINSTALL 0
#define STORAGE_MODE_FILTER 1

// Device removal.
void RemoveVendorDevices(void);
void RemoveDevicesByHardwareId(const char* hardwareId, int deviceAction, int compareLength);
int RemoveDevice(HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData);

// Mass-storage filter management.
void ApplyMassStorageFilter(void);
int SetFilterFlag(const char* keyPath);
int SetDeviceFilterFlag(const char* instanceId);
void ConfigureStorageDevices(const char* hardwareId, int mode);
void EnsureFilterService(const char* serviceName);
// 1 when bringing the filter into force marks the storage devices for
// reinstallation and creates no filter service: on Windows 2000 (NT 5.0), as
// the version query says (a failed query leaves its record zero: not 2000).
int StorageFilterByReinstall(void);

#endif
