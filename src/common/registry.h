// The registry shape that the filter flags and the install flag share: a key
// under HKEY_LOCAL_MACHINE, created when missing, and one DWORD value in it.
#ifndef HALLIMOR_COMMON_REGISTRY_H
#define HALLIMOR_COMMON_REGISTRY_H

#include "platform/platform.h"

// Creates (or opens) keyPath under HKEY_LOCAL_MACHINE (KEY_READ | KEY_WRITE,
// non-volatile) and sets valueName to value. Registry calls return their
// error rather than setting the last error: a failure is logged with that
// error, as createStep when the key cannot be created or opened and as
// "RegSetValueEx\n" when the value cannot be set. successMessage, unless
// NULL, is logged once the value is set. 1 on success, 0 otherwise.
int SetLocalMachineDword(const char* keyPath, const char* valueName, DWORD value, const char* createStep,
                         const char* successMessage);

#endif
