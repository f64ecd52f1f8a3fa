#include "common/registry.h"

#include "log/log.h"

int SetLocalMachineDword(const char* keyPath, const char* valueName, DWORD value, const char* createStep,
                         const char* successMessage) {
    HKEY key = NULL;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, NULL, &key, &disposition);
    if (status != ERROR_SUCCESS) {
        LogFailureCode(createStep, (DWORD)status);
        return 0;
    }
    int written = 0;
    status = RegSetValueExA(key, valueName, 0, REG_DWORD, (const BYTE*)&value, (DWORD)sizeof(value));
    if (status != ERROR_SUCCESS) {
        LogFailureCode("RegSetValueEx\n", (DWORD)status);
    } else {
        if (successMessage != NULL) {
            LogMessage("%s", successMessage);
        }
        written = 1;
    }
    RegCloseKey(key);
    return written;
}
