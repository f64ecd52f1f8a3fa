// The service control manager: services with their configuration and running
// state, the database lock, manager and service handles with their granted
// access, and deletion that takes effect when the last handle is closed.
#include <string.h>

#include <string>
#include <vector>

#include "sim_internal.h"

#ifndef ERROR_DATABASE_DOES_NOT_EXIST
#define ERROR_DATABASE_DOES_NOT_EXIST 1065L
#endif
#ifndef RPC_S_SERVER_UNAVAILABLE
#define RPC_S_SERVER_UNAVAILABLE 1722L
#endif
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED 0x02000000L
#endif
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000L
#endif

namespace sim {

namespace {

const char* const kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
// The account that the machine reports as holding a lock this process took.
const char* const kOwnLockOwner = ".\\Administrator";

// Configuration the Service record does not carry.
struct ServiceExtras {
    std::string loadOrderGroup;
    std::string dependencies; // multi-string without its final terminator
    std::string startName;
};

struct ManagerHandle {
    DWORD access;
};

struct ServiceHandle {
    std::string key; // upper-case service name
    DWORD access;
};

struct ServiceState {
    std::vector<ManagerHandle> managers;
    std::vector<ServiceHandle> services;
    std::map<std::string, ServiceExtras> extras;
    bool ownLockHeld = false;
};

ServiceState& S() {
    static ServiceState state;
    return state;
}

DWORD MapManagerAccess(DWORD desired) {
    DWORD granted =
        desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if (desired & GENERIC_READ) {
        granted |= READ_CONTROL | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    }
    if (desired & GENERIC_WRITE) {
        granted |= READ_CONTROL | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    }
    if (desired & GENERIC_EXECUTE) {
        granted |= READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    }
    if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) {
        granted |= SC_MANAGER_ALL_ACCESS;
    }
    // Every manager handle may connect.
    return granted | SC_MANAGER_CONNECT;
}

DWORD MapServiceAccess(DWORD desired) {
    DWORD granted =
        desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if (desired & GENERIC_READ) {
        granted |= READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
                   SERVICE_ENUMERATE_DEPENDENTS;
    }
    if (desired & GENERIC_WRITE) {
        granted |= READ_CONTROL | SERVICE_CHANGE_CONFIG;
    }
    if (desired & GENERIC_EXECUTE) {
        granted |= READ_CONTROL | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                   SERVICE_USER_DEFINED_CONTROL;
    }
    if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) {
        granted |= SERVICE_ALL_ACCESS;
    }
    return granted;
}

bool LookupManager(SC_HANDLE handle, ManagerHandle** manager) {
    size_t index = 0;
    if (handle == nullptr || !LookupHandle(handle, "scm", &index) || index >= S().managers.size()) {
        return false;
    }
    *manager = &S().managers[index];
    return true;
}

// The service behind a live service handle; false when the handle is not
// live or its service is gone.
bool LookupService(SC_HANDLE handle, ServiceHandle** record, Service** service) {
    size_t index = 0;
    if (handle == nullptr || !LookupHandle(handle, "service", &index) || index >= S().services.size()) {
        return false;
    }
    auto it = M().services.find(S().services[index].key);
    if (it == M().services.end()) {
        return false;
    }
    *record = &S().services[index];
    *service = &it->second;
    return true;
}

// Service handle records of closed handles have an empty key.
int OpenHandlesTo(const std::string& key) {
    int n = 0;
    for (const ServiceHandle& h : S().services) {
        if (h.key == key) {
            ++n;
        }
    }
    return n;
}

bool ValidServiceType(DWORD type) {
    switch (type) {
    case SERVICE_KERNEL_DRIVER:
    case SERVICE_FILE_SYSTEM_DRIVER:
    case SERVICE_WIN32_OWN_PROCESS:
    case SERVICE_WIN32_SHARE_PROCESS:
        return true;
    default:
        return false;
    }
}

bool IsDriverType(DWORD type) {
    return type == SERVICE_KERNEL_DRIVER || type == SERVICE_FILE_SYSTEM_DRIVER;
}

// Boot and system start apply to drivers only.
bool ValidStartType(DWORD type, DWORD startType) {
    if (startType > SERVICE_DISABLED) {
        return false;
    }
    if ((startType == SERVICE_BOOT_START || startType == SERVICE_SYSTEM_START) && !IsDriverType(type)) {
        return false;
    }
    return true;
}

// Another service already uses text as its name or display name.
bool NameTakenByOther(const std::string& text, const std::string& ownKey) {
    for (const auto& entry : M().services) {
        if (entry.first == ownKey) {
            continue;
        }
        if (EqualNoCase(entry.second.name, text) || EqualNoCase(entry.second.displayName, text)) {
            return true;
        }
    }
    return false;
}

std::string ReadMultiSz(const char* p) {
    std::string out;
    if (p == nullptr) {
        return out;
    }
    while (*p != '\0') {
        size_t n = strlen(p);
        out.append(p, n + 1);
        p += n + 1;
    }
    return out;
}

void MirrorToRegistry(const Service& s) {
    std::string key = kServicesKey + s.name;
    SetRegDword(key, "Type", s.type);
    SetRegDword(key, "Start", s.startType);
    SetRegDword(key, "ErrorControl", s.errorControl);
    if (!s.binaryPath.empty()) {
        SetRegString(key, "ImagePath", s.binaryPath, REG_EXPAND_SZ);
    }
    SetRegString(key, "DisplayName", s.displayName);
}

void RemoveService(const std::string& key) {
    auto it = M().services.find(key);
    if (it == M().services.end()) {
        return;
    }
    RemoveRegKeyTree(kServicesKey + it->second.name);
    S().extras.erase(key);
    M().services.erase(it);
}

// A service marked for deletion goes once nothing holds it open and it has
// stopped.
void RemoveIfReleased(const std::string& key) {
    auto it = M().services.find(key);
    if (it == M().services.end() || !it->second.markedForDelete || it->second.running) {
        return;
    }
    if (OpenHandlesTo(key) == 0) {
        RemoveService(key);
    }
}

void FillStatus(const Service& s, LPSERVICE_STATUS status) {
    memset(status, 0, sizeof(*status));
    status->dwServiceType = s.type;
    status->dwCurrentState = s.running ? SERVICE_RUNNING : SERVICE_STOPPED;
    status->dwControlsAccepted = (s.running && s.acceptsStop) ? 1u : 0u; // SERVICE_ACCEPT_STOP
}

} // namespace

void ResetServices() {
    S() = ServiceState();
}

Service& AddService(const std::string& name, DWORD type, DWORD startType, bool running,
                    const std::string& displayName, const std::string& binaryPath) {
    std::string key = UpperAscii(name);
    Service s;
    s.name = name;
    s.displayName = displayName.empty() ? name : displayName;
    s.binaryPath = binaryPath;
    s.type = type;
    s.startType = startType;
    s.running = running;
    M().services[key] = s;
    ServiceExtras extras;
    if (!IsDriverType(type)) {
        extras.startName = "LocalSystem";
    }
    S().extras[key] = extras;
    MirrorToRegistry(s);
    return M().services[key];
}

Service* FindService(const std::string& name) {
    auto it = M().services.find(UpperAscii(name));
    return it == M().services.end() ? nullptr : &it->second;
}

void LockDatabaseByOther(const std::string& owner, DWORD seconds) {
    M().databaseLockedByOther = true;
    M().databaseLockOwner = owner;
    M().databaseLockSeconds = seconds;
}

void UnlockDatabaseByOther() {
    M().databaseLockedByOther = false;
    M().databaseLockOwner.clear();
    M().databaseLockSeconds = 0;
}

} // namespace sim

using sim::Args;
using sim::Enter;
using sim::M;

namespace {

void Fail(DWORD error) {
    M().lastError = error;
}

// The service behind a handle that holds the right a call needs; false after
// setting the call's error (invalid handle, or access denied).
bool ServiceForCall(SC_HANDLE handle, DWORD right, sim::ServiceHandle** record, sim::Service** service) {
    if (!sim::LookupService(handle, record, service)) {
        Fail(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!((*record)->access & right)) {
        Fail(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

} // namespace

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) {
    DWORD err = 0;
    if (Enter("OpenSCManagerA", Args(lpMachineName, lpDatabaseName, dwDesiredAccess), &err)) {
        Fail(err);
        return nullptr;
    }
    if (lpMachineName != nullptr && lpMachineName[0] != '\0' && strcmp(lpMachineName, "\\\\.") != 0) {
        Fail(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (lpDatabaseName != nullptr && !sim::EqualNoCase(lpDatabaseName, "ServicesActive")) {
        Fail(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    sim::S().managers.push_back(sim::ManagerHandle{sim::MapManagerAccess(dwDesiredAccess)});
    return sim::NewHandle("scm", sim::S().managers.size() - 1);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    DWORD err = 0;
    if (Enter("OpenServiceA", Args(hSCManager, lpServiceName, dwDesiredAccess), &err)) {
        Fail(err);
        return nullptr;
    }
    sim::ManagerHandle* manager = nullptr;
    if (!sim::LookupManager(hSCManager, &manager)) {
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (lpServiceName == nullptr || lpServiceName[0] == '\0') {
        Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    std::string key = sim::UpperAscii(lpServiceName);
    if (M().services.find(key) == M().services.end()) {
        Fail(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    sim::S().services.push_back(sim::ServiceHandle{key, sim::MapServiceAccess(dwDesiredAccess)});
    return sim::NewHandle("service", sim::S().services.size() - 1);
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName,
                                DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                DWORD dwErrorControl, LPCSTR lpBinaryPathName, LPCSTR lpLoadOrderGroup,
                                LPDWORD lpdwTagId, LPCSTR lpDependencies, LPCSTR lpServiceStartName,
                                LPCSTR lpPassword) {
    DWORD err = 0;
    if (Enter("CreateServiceA",
              Args(hSCManager, lpServiceName, lpDisplayName, dwDesiredAccess, dwServiceType, dwStartType,
                   dwErrorControl, lpBinaryPathName, lpLoadOrderGroup, lpdwTagId,
                   lpDependencies ? "..." : nullptr, lpServiceStartName, lpPassword ? "***" : nullptr),
              &err)) {
        Fail(err);
        return nullptr;
    }
    sim::ManagerHandle* manager = nullptr;
    if (!sim::LookupManager(hSCManager, &manager)) {
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(manager->access & SC_MANAGER_CREATE_SERVICE)) {
        Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (lpServiceName == nullptr || lpServiceName[0] == '\0' || strlen(lpServiceName) > 256 ||
        strchr(lpServiceName, '\\') != nullptr || strchr(lpServiceName, '/') != nullptr) {
        Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (!sim::ValidServiceType(dwServiceType) || !sim::ValidStartType(dwServiceType, dwStartType) ||
        dwErrorControl > 3 || lpBinaryPathName == nullptr || lpBinaryPathName[0] == '\0') {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string key = sim::UpperAscii(lpServiceName);
    auto existing = M().services.find(key);
    if (existing != M().services.end()) {
        Fail(existing->second.markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    std::string display =
        (lpDisplayName != nullptr && lpDisplayName[0] != '\0') ? lpDisplayName : lpServiceName;
    if (sim::NameTakenByOther(lpServiceName, key) || sim::NameTakenByOther(display, key)) {
        Fail(ERROR_DUPLICATE_SERVICE_NAME);
        return nullptr;
    }
    sim::Service& s =
        sim::AddService(lpServiceName, dwServiceType, dwStartType, false, display, lpBinaryPathName);
    s.errorControl = dwErrorControl;
    sim::ServiceExtras& extras = sim::S().extras[key];
    if (lpLoadOrderGroup != nullptr) {
        extras.loadOrderGroup = lpLoadOrderGroup;
    }
    extras.dependencies = sim::ReadMultiSz(lpDependencies);
    if (lpServiceStartName != nullptr) {
        extras.startName = lpServiceStartName;
    }
    if (lpdwTagId != nullptr) {
        *lpdwTagId = 0;
    }
    sim::MirrorToRegistry(s);
    sim::S().services.push_back(sim::ServiceHandle{key, sim::MapServiceAccess(dwDesiredAccess)});
    return sim::NewHandle("service", sim::S().services.size() - 1);
}

BOOL WINAPI DeleteService(SC_HANDLE hService) {
    DWORD err = 0;
    if (Enter("DeleteService", Args(hService), &err)) {
        Fail(err);
        return FALSE;
    }
    sim::ServiceHandle* record = nullptr;
    sim::Service* service = nullptr;
    if (!ServiceForCall(hService, DELETE, &record, &service)) {
        return FALSE;
    }
    if (service->markedForDelete) {
        Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    service->markedForDelete = true;
    sim::SetRegDword(sim::kServicesKey + service->name, "DeleteFlag", 1);
    return TRUE;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGA lpServiceConfig, DWORD cbBufSize,
                                LPDWORD pcbBytesNeeded) {
    DWORD err = 0;
    if (Enter("QueryServiceConfigA", Args(hService, lpServiceConfig, cbBufSize, pcbBytesNeeded), &err)) {
        Fail(err);
        return FALSE;
    }
    sim::ServiceHandle* record = nullptr;
    sim::Service* service = nullptr;
    if (!ServiceForCall(hService, SERVICE_QUERY_CONFIG, &record, &service)) {
        return FALSE;
    }
    if (pcbBytesNeeded == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const sim::ServiceExtras& extras = sim::S().extras[record->key];
    // The strings follow the record: path, group, dependencies (a
    // multi-string), account, display name.
    std::string dependencies = extras.dependencies + '\0';
    if (dependencies.size() < 2) {
        dependencies.push_back('\0');
    }
    const std::string* texts[] = {&service->binaryPath, &extras.loadOrderGroup, &extras.startName,
                                  &service->displayName};
    size_t needed = sizeof(QUERY_SERVICE_CONFIGA) + dependencies.size();
    for (const std::string* t : texts) {
        needed += t->size() + 1;
    }
    *pcbBytesNeeded = static_cast<DWORD>(needed);
    if (lpServiceConfig == nullptr || cbBufSize < needed) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    char* base = reinterpret_cast<char*>(lpServiceConfig);
    char* p = base + sizeof(QUERY_SERVICE_CONFIGA);
    auto put = [&p](const std::string& text) {
        char* start = p;
        memcpy(p, text.c_str(), text.size() + 1);
        p += text.size() + 1;
        return start;
    };
    lpServiceConfig->dwServiceType = service->type;
    lpServiceConfig->dwStartType = service->startType;
    lpServiceConfig->dwErrorControl = service->errorControl;
    lpServiceConfig->dwTagId = 0;
    lpServiceConfig->lpBinaryPathName = put(service->binaryPath);
    lpServiceConfig->lpLoadOrderGroup = put(extras.loadOrderGroup);
    lpServiceConfig->lpDependencies = p;
    memcpy(p, dependencies.data(), dependencies.size());
    p += dependencies.size();
    lpServiceConfig->lpServiceStartName = put(extras.startName);
    lpServiceConfig->lpDisplayName = put(service->displayName);
    return TRUE;
}

BOOL WINAPI ChangeServiceConfigA(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                                 DWORD dwErrorControl, LPCSTR lpBinaryPathName, LPCSTR lpLoadOrderGroup,
                                 LPDWORD lpdwTagId, LPCSTR lpDependencies, LPCSTR lpServiceStartName,
                                 LPCSTR lpPassword, LPCSTR lpDisplayName) {
    DWORD err = 0;
    if (Enter("ChangeServiceConfigA",
              Args(hService, dwServiceType, dwStartType, dwErrorControl, lpBinaryPathName, lpLoadOrderGroup,
                   lpdwTagId, lpDependencies ? "..." : nullptr, lpServiceStartName,
                   lpPassword ? "***" : nullptr, lpDisplayName),
              &err)) {
        Fail(err);
        return FALSE;
    }
    sim::ServiceHandle* record = nullptr;
    sim::Service* service = nullptr;
    if (!ServiceForCall(hService, SERVICE_CHANGE_CONFIG, &record, &service)) {
        return FALSE;
    }
    if (service->markedForDelete) {
        Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    DWORD newType = dwServiceType == SERVICE_NO_CHANGE ? service->type : dwServiceType;
    DWORD newStart = dwStartType == SERVICE_NO_CHANGE ? service->startType : dwStartType;
    if (!sim::ValidServiceType(newType) || !sim::ValidStartType(newType, newStart) ||
        (dwErrorControl != SERVICE_NO_CHANGE && dwErrorControl > 3)) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpDisplayName != nullptr && lpDisplayName[0] != '\0' &&
        sim::NameTakenByOther(lpDisplayName, record->key)) {
        Fail(ERROR_DUPLICATE_SERVICE_NAME);
        return FALSE;
    }
    service->type = newType;
    service->startType = newStart;
    if (dwErrorControl != SERVICE_NO_CHANGE) {
        service->errorControl = dwErrorControl;
    }
    if (lpBinaryPathName != nullptr) {
        service->binaryPath = lpBinaryPathName;
    }
    if (lpDisplayName != nullptr && lpDisplayName[0] != '\0') {
        service->displayName = lpDisplayName;
    }
    sim::ServiceExtras& extras = sim::S().extras[record->key];
    if (lpLoadOrderGroup != nullptr) {
        extras.loadOrderGroup = lpLoadOrderGroup;
    }
    if (lpDependencies != nullptr) {
        extras.dependencies = sim::ReadMultiSz(lpDependencies);
    }
    if (lpServiceStartName != nullptr) {
        extras.startName = lpServiceStartName;
    }
    if (lpdwTagId != nullptr) {
        *lpdwTagId = 0;
    }
    sim::MirrorToRegistry(*service);
    return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    DWORD err = 0;
    if (Enter("ControlService", Args(hService, dwControl, lpServiceStatus), &err)) {
        Fail(err);
        return FALSE;
    }
    sim::ServiceHandle* record = nullptr;
    sim::Service* service = nullptr;
    if (!sim::LookupService(hService, &record, &service)) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpServiceStatus == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD needed = 0;
    if (dwControl == SERVICE_CONTROL_STOP) {
        needed = SERVICE_STOP;
    } else if (dwControl == SERVICE_CONTROL_INTERROGATE) {
        needed = SERVICE_INTERROGATE;
    } else if (dwControl >= 2 && dwControl <= 3) { // pause, continue
        needed = SERVICE_PAUSE_CONTINUE;
    } else if (dwControl >= 128 && dwControl <= 255) {
        needed = SERVICE_USER_DEFINED_CONTROL;
    } else {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(record->access & needed)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!service->running) {
        sim::FillStatus(*service, lpServiceStatus);
        Fail(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    if (dwControl == SERVICE_CONTROL_INTERROGATE) {
        sim::FillStatus(*service, lpServiceStatus);
        return TRUE;
    }
    if (dwControl != SERVICE_CONTROL_STOP || !service->acceptsStop) {
        sim::FillStatus(*service, lpServiceStatus);
        Fail(ERROR_INVALID_SERVICE_CONTROL);
        return FALSE;
    }
    service->running = false;
    service->stopRequests++;
    sim::FillStatus(*service, lpServiceStatus);
    return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
    DWORD err = 0;
    if (Enter("QueryServiceStatus", Args(hService, lpServiceStatus), &err)) {
        Fail(err);
        return FALSE;
    }
    sim::ServiceHandle* record = nullptr;
    sim::Service* service = nullptr;
    if (!ServiceForCall(hService, SERVICE_QUERY_STATUS, &record, &service)) {
        return FALSE;
    }
    if (lpServiceStatus == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::FillStatus(*service, lpServiceStatus);
    return TRUE;
}

SC_LOCK WINAPI LockServiceDatabase(SC_HANDLE hSCManager) {
    DWORD err = 0;
    if (Enter("LockServiceDatabase", Args(hSCManager), &err)) {
        Fail(err);
        return nullptr;
    }
    sim::ManagerHandle* manager = nullptr;
    if (!sim::LookupManager(hSCManager, &manager)) {
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(manager->access & SC_MANAGER_LOCK)) {
        Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (M().databaseLockedByOther || sim::S().ownLockHeld) {
        Fail(ERROR_SERVICE_DATABASE_LOCKED);
        return nullptr;
    }
    sim::S().ownLockHeld = true;
    return sim::NewHandle("lock", 0);
}

BOOL WINAPI UnlockServiceDatabase(SC_LOCK ScLock) {
    DWORD err = 0;
    if (Enter("UnlockServiceDatabase", Args(ScLock), &err)) {
        Fail(err);
        return FALSE;
    }
    if (ScLock == nullptr || !sim::ReleaseHandle(ScLock, "lock")) {
        Fail(ERROR_INVALID_SERVICE_LOCK);
        return FALSE;
    }
    sim::S().ownLockHeld = false;
    return TRUE;
}

BOOL WINAPI QueryServiceLockStatusA(SC_HANDLE hSCManager, LPQUERY_SERVICE_LOCK_STATUSA lpLockStatus,
                                    DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    DWORD err = 0;
    if (Enter("QueryServiceLockStatusA", Args(hSCManager, lpLockStatus, cbBufSize, pcbBytesNeeded), &err)) {
        Fail(err);
        return FALSE;
    }
    sim::ManagerHandle* manager = nullptr;
    if (!sim::LookupManager(hSCManager, &manager)) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(manager->access & SC_MANAGER_QUERY_LOCK_STATUS)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (pcbBytesNeeded == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool locked = M().databaseLockedByOther || sim::S().ownLockHeld;
    std::string owner;
    DWORD seconds = 0;
    if (M().databaseLockedByOther) {
        owner = M().databaseLockOwner;
        seconds = M().databaseLockSeconds;
    } else if (sim::S().ownLockHeld) {
        owner = sim::kOwnLockOwner;
    }
    size_t needed = sizeof(QUERY_SERVICE_LOCK_STATUSA) + owner.size() + 1;
    *pcbBytesNeeded = static_cast<DWORD>(needed);
    if (lpLockStatus == nullptr || cbBufSize < needed) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    char* text = reinterpret_cast<char*>(lpLockStatus) + sizeof(QUERY_SERVICE_LOCK_STATUSA);
    memcpy(text, owner.c_str(), owner.size() + 1);
    lpLockStatus->fIsLocked = locked ? 1u : 0u;
    lpLockStatus->lpLockOwner = text;
    lpLockStatus->dwLockDuration = seconds;
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    DWORD err = 0;
    if (Enter("CloseServiceHandle", Args(hSCObject), &err)) {
        Fail(err);
        return FALSE;
    }
    size_t index = 0;
    if (hSCObject != nullptr && sim::LookupHandle(hSCObject, "scm", &index)) {
        sim::ReleaseHandle(hSCObject, "scm");
        return TRUE;
    }
    if (hSCObject != nullptr && sim::LookupHandle(hSCObject, "service", &index)) {
        sim::ReleaseHandle(hSCObject, "service");
        std::string key = sim::S().services[index].key;
        sim::S().services[index].key.clear();
        sim::RemoveIfReleased(key);
        return TRUE;
    }
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
}
