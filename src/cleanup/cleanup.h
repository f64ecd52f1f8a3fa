// Stale driver removal: what a new package supersedes, and the vendor purge.
#ifndef HALLIMOR_CLEANUP_CLEANUP_H
#define HALLIMOR_CLEANUP_CLEANUP_H

// Superseded driver removal, run before every operation but Clean.
int RemoveSupersededOemInfs(void);
int FirstInfHardwareId(const char* infPath, char* output);
int PackageHasHardwareId(const char* hardwareId);
int DeleteOemInf(const char* fileName);
void RemoveStagedDriverFiles(void);
void RemoveSupportLibrary(void);

// The vendor purge (Clean).
void RunClean(void);
int PurgeVendorOemInfs(void);
int DeleteOemInfIfVendor(const char* infPath);
void DeleteServiceByName(const char* serviceName);
void DeleteVendorDriverFiles(void);

#endif
