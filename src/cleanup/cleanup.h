// Stale driver removal: what a new package supersedes, and the vendor purge.
#ifndef HALLIMOR_CLEANUP_CLEANUP_H
#define HALLIMOR_CLEANUP_CLEANUP_H

// Superseded driver removal, run before every operation but Clean.
int RemoveSupersededOemInfs(void);
// The first hardware ID of an INF, upper-cased, into output (at least
// HARDWARE_ID_BUFFER_SIZE bytes).
#define HARDWARE_ID_BUFFER_SIZE 260
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
