// Placeholder entry points, replaced as the subsystem is built.
#include "devices/devices.h"

void RemoveVendorDevices(void) {}
void RemoveDevicesByHardwareId(const char*, int, int) {}
int RemoveDevice(HDEVINFO, SP_DEVINFO_DATA*) { return 0; }
void ApplyMassStorageFilter(void) {}
int SetFilterFlag(const char*) { return 0; }
int SetDeviceFilterFlag(const char*) { return 1; }
void ConfigureStorageDevices(const char*, int) {}
void EnsureFilterService(const char*) {}
