// Placeholder entry points, replaced as the subsystem is built.
#include "records/records.h"

int SetInstallFlag(void) { return 0; }
int WriteUninstallEntry(void) { return 0; }
int DeleteUninstallEntry(void) { return 0; }
int DeleteInstallFlag(void) { return 0; }
int SetModemPowerSettings(void) { return 0; }
int DeletePowerSettings(const char*) { return 0; }
int DeleteRegistryValue(const char*, const char*) { return 0; }
