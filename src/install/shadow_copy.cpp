// Suspension of the Volume Shadow Copy service around preinstalls on
// Windows Vista: its start type is remembered, the service is stopped and
// disabled, and later the remembered start type is put back. The service
// database lock is held only within each call.
#include "install/install.h"

#include <string.h>

#include "log/log.h"

#define SHADOW_COPY_SERVICE "VSS"
#define MANAGER_ACCESS (GENERIC_READ | GENERIC_WRITE | SC_MANAGER_LOCK)
#define SUSPEND_ACCESS (GENERIC_READ | GENERIC_WRITE | SERVICE_STOP)
#define LOCK_STATUS_SIZE 280
#define SERVICE_CONFIG_SIZE 4096

DWORD g_ShadowCopyStartType = SERVICE_DEMAND_START;

void ResetShadowCopyState(void) {
    g_ShadowCopyStartType = SERVICE_DEMAND_START;
}

// Reports who holds the service database lock and for how long.
static void ReportDatabaseLock(SC_HANDLE manager) {
    LPQUERY_SERVICE_LOCK_STATUSA status =
        (LPQUERY_SERVICE_LOCK_STATUSA)LocalAlloc(LMEM_ZEROINIT, LOCK_STATUS_SIZE);
    if (status == NULL) {
        LogMessage("LocalAlloc Failed");
        return;
    }
    DWORD needed = 0;
    if (!QueryServiceLockStatusA(manager, status, LOCK_STATUS_SIZE, &needed)) {
        LocalFree(status);
        return;
    }
    if (status->fIsLocked) {
        LogMessage("Locked by: %s, duration: %d seconds\n",
                   status->lpLockOwner != NULL ? status->lpLockOwner : "", (int)status->dwLockDuration);
    } else {
        LogMessage("No longer locked\n");
    }
    LocalFree(status);
    LogMessage("Could not lock database");
}

// Reads the service's configured start type into the remembered one.
static void RememberStartType(SC_HANDLE service) {
    LPQUERY_SERVICE_CONFIGA config = (LPQUERY_SERVICE_CONFIGA)LocalAlloc(LMEM_ZEROINIT, SERVICE_CONFIG_SIZE);
    if (config == NULL) {
        LogMessage(" Get Original Value Failed\n");
        return;
    }
    DWORD needed = 0;
    if (QueryServiceConfigA(service, config, SERVICE_CONFIG_SIZE, &needed)) {
        g_ShadowCopyStartType = config->dwStartType;
        LocalFree(config);
        return;
    }
    LocalFree(config);
    LogMessage("QueryServiceConfig() Failsed\n");
    LogMessage(" Get Original Value Failed\n");
}

void SuspendShadowCopyService(void) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, MANAGER_ACCESS);
    if (manager == NULL) {
        return;
    }
    SC_LOCK lock = LockServiceDatabase(manager);
    if (lock == NULL) {
        // Another party holds the lock: say who, then leave the service be.
        if (GetLastError() == ERROR_SERVICE_DATABASE_LOCKED) {
            ReportDatabaseLock(manager);
        }
        CloseServiceHandle(manager);
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, SHADOW_COPY_SERVICE, SUSPEND_ACCESS);
    if (service == NULL) {
        UnlockServiceDatabase(lock);
        CloseServiceHandle(manager);
        return;
    }

    g_ShadowCopyStartType = SERVICE_DEMAND_START;
    RememberStartType(service);

    // Neither a refused stop request (a service that is not running) nor a
    // refused configuration change stops the suspension.
    SERVICE_STATUS status;
    memset(&status, 0, sizeof(status));
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, NULL, NULL, NULL,
                         NULL, NULL, NULL, NULL);

    UnlockServiceDatabase(lock);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

void RestoreShadowCopyService(void) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, MANAGER_ACCESS);
    if (manager == NULL) {
        return;
    }
    SC_LOCK lock = LockServiceDatabase(manager);
    if (lock == NULL) {
        LogMessage("Could not lock database");
        CloseServiceHandle(manager);
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, SHADOW_COPY_SERVICE, SERVICE_CHANGE_CONFIG);
    if (service == NULL) {
        UnlockServiceDatabase(lock);
        CloseServiceHandle(manager);
        return;
    }

    // Only the start type is put back; the service is not started again.
    ChangeServiceConfigA(service, SERVICE_NO_CHANGE, g_ShadowCopyStartType, SERVICE_NO_CHANGE, NULL, NULL,
                         NULL, NULL, NULL, NULL, NULL);

    UnlockServiceDatabase(lock);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
