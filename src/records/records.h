// Registry records: the install flag, the uninstall entry and the modem
// drivers' power-management values.
#ifndef HALLIMOR_RECORDS_RECORDS_H
#define HALLIMOR_RECORDS_RECORDS_H

int SetInstallFlag(void);
int WriteUninstallEntry(void);
int DeleteUninstallEntry(void);
int DeleteInstallFlag(void);

int SetModemPowerSettings(void);
int DeletePowerSettings(const char* keyPath);
int DeleteRegistryValue(const char* keyPath, const char* valueName);

#endif
