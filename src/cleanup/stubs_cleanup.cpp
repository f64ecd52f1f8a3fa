// Placeholder entry points, replaced as the subsystem is built.
#include "cleanup/cleanup.h"

int RemoveSupersededOemInfs(void) { return 0; }
int FirstInfHardwareId(const char*, char*) { return 0; }
int PackageHasHardwareId(const char*) { return 0; }
int DeleteOemInf(const char*) { return 0; }
void RemoveStagedDriverFiles(void) {}
void RemoveSupportLibrary(void) {}
void RunClean(void) {}
int PurgeVendorOemInfs(void) { return 0; }
int DeleteOemInfIfVendor(const char*) { return 0; }
void DeleteServiceByName(const char*) {}
void DeleteVendorDriverFiles(void) {}
