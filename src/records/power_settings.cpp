// Power-management values of the modem drivers' service keys, and the
// removal of single registry values at uninstall.
#include "log/log.h"
#include "platform/platform.h"
#include "records/records.h"

#define MODEM_SERVICE_KEY_COUNT 3

// The modem, NMEA and serial drivers' service keys, in the order handled.
static const char* const kModemServiceKeys[MODEM_SERVICE_KEY_COUNT] = {
    "SYSTEM\\CurrentControlSet\\Services\\KWEusbmdm6k",
    "SYSTEM\\CurrentControlSet\\Services\\KWEusbnmea",
    "SYSTEM\\CurrentControlSet\\Services\\KWEusbser6k",
};

static const char kPowerManagementValue[] = "QCDriverPowerManagementEnabled";
static const char kSuspendIdleTimeValue[] = "QCDriverSelectiveSuspendIdleTime";
static const DWORD kPowerManagementEnabled = 1;
static const DWORD kSuspendIdleTime = 48;

// Writes both values on one existing service key. 1 when the key got both.
static int WritePowerValues(const char* keyPath) {
    LogMessage("Opent And Set CustomKey Start for %s \n", keyPath);
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) {
        LogMessage("Error: Opent Custom Key Failed\n");
        return 0;
    }
    LogMessage("Open reg key Success!\n");

    DWORD data = kPowerManagementEnabled;
    if (RegSetValueExA(key, kPowerManagementValue, 0, REG_DWORD, (const BYTE*)&data, sizeof(data)) !=
        ERROR_SUCCESS) {
        LogMessage("Error:  Set Key Value for powermagner Failed\n");
        RegCloseKey(key);
        return 0;
    }
    data = kSuspendIdleTime;
    if (RegSetValueExA(key, kSuspendIdleTimeValue, 0, REG_DWORD, (const BYTE*)&data, sizeof(data)) !=
        ERROR_SUCCESS) {
        LogMessage("Error:  Set Key Value for Suspend Idle Time Failed\n");
        RegCloseKey(key);
        return 0;
    }
    RegCloseKey(key);
    return 1;
}

int SetModemPowerSettings(void) {
    LogMessage("Set Registry For Preinstall Start... \n");
    int failedKeys = 0;
    for (int i = 0; i < MODEM_SERVICE_KEY_COUNT; ++i) {
        if (!WritePowerValues(kModemServiceKeys[i])) {
            ++failedKeys;
        }
    }
    if (failedKeys == MODEM_SERVICE_KEY_COUNT) {
        LogMessage("Set Registry For Preinstall All Failed \n");
        return 0;
    }
    return 1;
}

// Deletes one value from an open key and reports how it went; a value that
// is not there is only warned about.
static void DeleteValueReported(HKEY key, const char* valueName) {
    if (RegDeleteValueA(key, valueName) == ERROR_SUCCESS) {
        LogMessage("Delete Key Value %s Success\n", valueName);
    } else {
        LogMessage("Warning: Delete Key Value %s Failed\n", valueName);
    }
}

// Opens an existing key for deleting values; a missing key is never created.
static int OpenKeyForDeleting(const char* keyPath, HKEY* key) {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE, key) != ERROR_SUCCESS) {
        LogMessage("Error: Open Custome Key-- %s -- Failed\n", keyPath);
        return 0;
    }
    return 1;
}

int DeletePowerSettings(const char* keyPath) {
    if (keyPath == NULL) {
        return 0;
    }
    LogMessage("Open And Delete Custom Key for --%s-- start...\n", keyPath);
    HKEY key = NULL;
    if (!OpenKeyForDeleting(keyPath, &key)) {
        return 0;
    }
    DeleteValueReported(key, kPowerManagementValue);
    DeleteValueReported(key, kSuspendIdleTimeValue);
    RegCloseKey(key);
    return 1;
}

int DeleteRegistryValue(const char* keyPath, const char* valueName) {
    if (keyPath == NULL || valueName == NULL) {
        return 0;
    }
    LogMessage("Open And Delete Key Value --subkey:%s--key%s-- start...\n", keyPath, valueName);
    HKEY key = NULL;
    if (!OpenKeyForDeleting(keyPath, &key)) {
        return 0;
    }
    DeleteValueReported(key, valueName);
    RegCloseKey(key);
    return 1;
}
