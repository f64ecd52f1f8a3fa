// The registry of the simulated machine: keys under HKEY_LOCAL_MACHINE with
// typed values, and the advapi32 registry operations. Key and value names
// are looked up case-insensitively and keep the case they were created with.
// Registry operations return their error code and leave the last error
// alone, as on Windows.
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "sim_internal.h"

namespace sim {

namespace {

// An open key handle: which key it was opened on (by its identity, so that
// a key deleted and made again is another key) and with which access.
struct OpenKey {
    std::string key; // upper-case path, "" for the root
    unsigned long long identity;
    REGSAM access;
};

std::map<size_t, OpenKey>& OpenKeys() {
    static std::map<size_t, OpenKey> keys;
    return keys;
}

size_t& NextOpenKeyId() {
    static size_t next = 1;
    return next;
}

// Every key has an identity that changes when it is deleted and created
// again.
std::map<std::string, unsigned long long>& Identities() {
    static std::map<std::string, unsigned long long> ids;
    return ids;
}

unsigned long long& NextIdentity() {
    static unsigned long long next = 1;
    return next;
}

const REGSAM kMaximumAllowed = 0x02000000;
const LSTATUS kErrorNoAccess = 998;

// A journal argument written as it stands, unquoted.
struct Raw {
    std::string text;
};

void AppendArg(std::ostringstream& out, const Raw& raw) {
    out << raw.text;
}

unsigned long long IdentityOf(const std::string& key) {
    auto it = Identities().find(key);
    if (it != Identities().end()) {
        return it->second;
    }
    unsigned long long id = NextIdentity()++;
    Identities()[key] = id;
    return id;
}

bool IsPredefined(HKEY hKey) {
    uintptr_t v = reinterpret_cast<uintptr_t>(hKey);
    uintptr_t low = static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(0x80000000)));
    return v >= low && v <= low + 0x60;
}

// The key a handle stands for, for the journal.
Raw KeyArg(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE) {
        return Raw{"HKLM"};
    }
    size_t id = 0;
    if (LookupHandle(hKey, "key", &id)) {
        auto it = M().registry.find(OpenKeys()[id].key);
        if (it != M().registry.end()) {
            return Raw{"HKLM\\" + it->second.path};
        }
        return Raw{"deleted key"};
    }
    return Raw{hKey == nullptr ? "NULL" : "invalid key"};
}

// The value data of a write, for the journal: a number, a text, or only
// its presence.
Raw DataArg(DWORD type, const BYTE* data, DWORD size) {
    if (data == nullptr) {
        return Raw{"NULL"};
    }
    if (type == REG_DWORD && size == 4) {
        DWORD v = 0;
        memcpy(&v, data, 4);
        return Raw{std::to_string(v)};
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        const char* text = reinterpret_cast<const char*>(data);
        size_t n = 0;
        while (n < size && text[n] != '\0') {
            ++n;
        }
        return Raw{"\"" + std::string(text, n) + "\""};
    }
    return Raw{"ptr"};
}

// A key path as given: one trailing backslash is accepted; an empty
// component (a leading or doubled backslash) makes it invalid.
bool CleanSubKey(const char* subKey, std::string* out) {
    std::string s = subKey == nullptr ? "" : subKey;
    if (!s.empty() && s.back() == '\\') {
        s.pop_back();
    }
    if (!s.empty() && (s.front() == '\\' || s.back() == '\\' || s.find("\\\\") != std::string::npos)) {
        return false;
    }
    *out = s;
    return true;
}

std::string Join(const std::string& base, const std::string& sub) {
    if (base.empty()) {
        return sub;
    }
    return sub.empty() ? base : base + "\\" + sub;
}

// The key that a handle stands for: "" for HKEY_LOCAL_MACHINE, else the
// path of the open key as created. Gives the access granted through the
// handle too.
LSTATUS ResolveHandle(HKEY hKey, std::string* path, REGSAM* access) {
    if (hKey == HKEY_LOCAL_MACHINE) {
        *path = "";
        *access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    size_t id = 0;
    if (IsPredefined(hKey) || !LookupHandle(hKey, "key", &id)) {
        return ERROR_INVALID_HANDLE;
    }
    const OpenKey& open = OpenKeys()[id];
    auto it = M().registry.find(open.key);
    if (it == M().registry.end() || IdentityOf(open.key) != open.identity) {
        return ERROR_KEY_DELETED;
    }
    *path = it->second.path;
    *access = open.access;
    return ERROR_SUCCESS;
}

REGSAM GrantedAccess(REGSAM desired) {
    REGSAM granted = desired & 0x00FFFFFF;
    if (desired & GENERIC_READ) {
        granted |= KEY_READ;
    }
    if (desired & GENERIC_WRITE) {
        granted |= KEY_WRITE;
    }
    if (desired & GENERIC_EXECUTE) {
        granted |= KEY_READ;
    }
    if (desired & (GENERIC_ALL | kMaximumAllowed)) {
        granted |= KEY_ALL_ACCESS;
    }
    return granted;
}

RegKey* FindKey(const std::string& path) {
    auto it = M().registry.find(UpperAscii(path));
    return it == M().registry.end() ? nullptr : &it->second;
}

RegValue* FindValue(RegKey* key, const char* name) {
    std::string wanted = name == nullptr ? "" : name;
    for (RegValue& v : key->values) {
        if (EqualNoCase(v.name, wanted)) {
            return &v;
        }
    }
    return nullptr;
}

void CreateKey(const std::string& path) {
    RegKey key;
    key.path = path;
    std::string upper = UpperAscii(path);
    M().registry[upper] = key;
    Identities().erase(upper);
    IdentityOf(upper);
}

bool HasSubkeys(const std::string& path) {
    std::string prefix = UpperAscii(path) + "\\";
    auto it = M().registry.lower_bound(prefix);
    return it != M().registry.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

void EraseKey(const std::string& upper) {
    M().registry.erase(upper);
    Identities().erase(upper);
}

HKEY NewKeyHandle(const std::string& path, REGSAM access) {
    std::string upper = UpperAscii(path);
    size_t id = NextOpenKeyId()++;
    OpenKeys()[id] = OpenKey{upper, IdentityOf(upper), GrantedAccess(access)};
    return static_cast<HKEY>(NewHandle("key", id));
}

std::string TrimKeyPath(const std::string& keyPath) {
    std::string p = keyPath;
    while (!p.empty() && p.back() == '\\') {
        p.pop_back();
    }
    return p;
}

} // namespace

// ---------------------------------------------------------------- builders

void ResetRegistry() {
    M().registry.clear();
    OpenKeys().clear();
    Identities().clear();
}

void AddRegKey(const std::string& keyPath) {
    std::string path = TrimKeyPath(keyPath);
    size_t pos = 0;
    while (!path.empty()) {
        size_t end = path.find('\\', pos);
        std::string prefix = end == std::string::npos ? path : path.substr(0, end);
        if (FindKey(prefix) == nullptr) {
            CreateKey(prefix);
        }
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
}

void SetRegValue(const std::string& keyPath, const std::string& name, DWORD type, const std::string& data) {
    AddRegKey(keyPath);
    RegKey* key = FindKey(TrimKeyPath(keyPath));
    RegValue* value = FindValue(key, name.c_str());
    if (value == nullptr) {
        key->values.push_back(RegValue{name, type, data});
    } else {
        value->type = type;
        value->data = data;
    }
}

void SetRegDword(const std::string& keyPath, const std::string& name, DWORD value) {
    SetRegValue(keyPath, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4));
}

void SetRegString(const std::string& keyPath, const std::string& name, const std::string& text, DWORD type) {
    SetRegValue(keyPath, name, type, text + std::string(1, '\0'));
}

void RemoveRegKeyTree(const std::string& keyPath) {
    std::string upper = UpperAscii(TrimKeyPath(keyPath));
    std::string prefix = upper + "\\";
    std::vector<std::string> doomed;
    for (const auto& kv : M().registry) {
        if (kv.first == upper || kv.first.compare(0, prefix.size(), prefix) == 0) {
            doomed.push_back(kv.first);
        }
    }
    for (const std::string& k : doomed) {
        EraseKey(k);
    }
}

bool RegKeyExists(const std::string& keyPath) {
    return FindKey(TrimKeyPath(keyPath)) != nullptr;
}

const RegValue* FindRegValue(const std::string& keyPath, const std::string& name) {
    RegKey* key = FindKey(TrimKeyPath(keyPath));
    return key == nullptr ? nullptr : FindValue(key, name.c_str());
}

bool GetRegDword(const std::string& keyPath, const std::string& name, DWORD* value) {
    const RegValue* v = FindRegValue(keyPath, name);
    if (v == nullptr || v->type != REG_DWORD || v->data.size() != 4) {
        return false;
    }
    if (value != nullptr) {
        memcpy(value, v->data.data(), 4);
    }
    return true;
}

std::string GetRegString(const std::string& keyPath, const std::string& name) {
    const RegValue* v = FindRegValue(keyPath, name);
    if (v == nullptr) {
        return "";
    }
    return v->data.substr(0, v->data.find('\0'));
}

} // namespace sim

using sim::Args;
using sim::Enter;
using sim::M;

// ---------------------------------------------------------------- advapi32

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition) {
    DWORD fault = 0;
    if (Enter("RegCreateKeyExA",
              Args(sim::KeyArg(hKey), lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                   lpSecurityAttributes, phkResult, lpdwDisposition),
              &fault)) {
        if (phkResult != nullptr) {
            *phkResult = nullptr;
        }
        return static_cast<LSTATUS>(fault);
    }
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    std::string base;
    REGSAM baseAccess = 0;
    LSTATUS status = sim::ResolveHandle(hKey, &base, &baseAccess);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::string sub;
    if (!sim::CleanSubKey(lpSubKey, &sub)) {
        return ERROR_BAD_PATHNAME;
    }
    std::string path = sim::Join(base, sub);
    if (path.empty()) {
        // The root itself: its own predefined handle.
        *phkResult = HKEY_LOCAL_MACHINE;
        if (lpdwDisposition != nullptr) {
            *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        }
        return ERROR_SUCCESS;
    }
    // Check every missing key before creating any: nothing may be created
    // directly under the root.
    std::vector<std::string> prefixes;
    for (size_t pos = 0;;) {
        size_t end = path.find('\\', pos);
        prefixes.push_back(end == std::string::npos ? path : path.substr(0, end));
        if (end == std::string::npos) {
            break;
        }
        pos = end + 1;
    }
    if (sim::FindKey(prefixes[0]) == nullptr) {
        return ERROR_ACCESS_DENIED;
    }
    bool created = false;
    for (const std::string& prefix : prefixes) {
        if (sim::FindKey(prefix) == nullptr) {
            // Keep the case of the keys that already exist.
            const std::string parent = prefix.substr(0, prefix.rfind('\\'));
            const std::string name = prefix.substr(prefix.rfind('\\') + 1);
            sim::CreateKey(sim::FindKey(parent)->path + "\\" + name);
            created = true;
        }
    }
    *phkResult = sim::NewKeyHandle(path, samDesired);
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
    DWORD fault = 0;
    if (Enter("RegOpenKeyExA", Args(sim::KeyArg(hKey), lpSubKey, ulOptions, samDesired, phkResult), &fault)) {
        if (phkResult != nullptr) {
            *phkResult = nullptr;
        }
        return static_cast<LSTATUS>(fault);
    }
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    std::string base;
    REGSAM baseAccess = 0;
    LSTATUS status = sim::ResolveHandle(hKey, &base, &baseAccess);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::string sub;
    if (!sim::CleanSubKey(lpSubKey, &sub)) {
        return ERROR_BAD_PATHNAME;
    }
    std::string path = sim::Join(base, sub);
    if (path.empty()) {
        *phkResult = HKEY_LOCAL_MACHINE;
        return ERROR_SUCCESS;
    }
    sim::RegKey* key = sim::FindKey(path);
    if (key == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    *phkResult = sim::NewKeyHandle(key->path, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    DWORD fault = 0;
    if (Enter("RegQueryValueExA", Args(sim::KeyArg(hKey), lpValueName, lpReserved, lpType, lpData, lpcbData),
              &fault)) {
        return static_cast<LSTATUS>(fault);
    }
    std::string path;
    REGSAM access = 0;
    LSTATUS status = sim::ResolveHandle(hKey, &path, &access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!(access & KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    sim::RegKey* key = path.empty() ? nullptr : sim::FindKey(path);
    sim::RegValue* value = key == nullptr ? nullptr : sim::FindValue(key, lpValueName);
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    DWORD size = static_cast<DWORD>(value->data.size());
    if (lpType != nullptr) {
        *lpType = value->type;
    }
    if (lpData == nullptr) {
        if (lpcbData != nullptr) {
            *lpcbData = size;
        }
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    memcpy(lpData, value->data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
    DWORD fault = 0;
    if (Enter("RegSetValueExA",
              Args(sim::KeyArg(hKey), lpValueName, Reserved, dwType, sim::DataArg(dwType, lpData, cbData),
                   cbData),
              &fault)) {
        return static_cast<LSTATUS>(fault);
    }
    std::string path;
    REGSAM access = 0;
    LSTATUS status = sim::ResolveHandle(hKey, &path, &access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpData == nullptr && cbData != 0) {
        return sim::kErrorNoAccess;
    }
    if (!(access & KEY_SET_VALUE) || path.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    std::string data = lpData == nullptr ? "" : std::string(reinterpret_cast<const char*>(lpData), cbData);
    sim::RegKey* key = sim::FindKey(path);
    sim::RegValue* value = sim::FindValue(key, lpValueName);
    if (value == nullptr) {
        key->values.push_back(sim::RegValue{lpValueName == nullptr ? "" : lpValueName, dwType, data});
    } else {
        value->type = dwType;
        value->data = data;
    }
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    DWORD fault = 0;
    if (Enter("RegDeleteValueA", Args(sim::KeyArg(hKey), lpValueName), &fault)) {
        return static_cast<LSTATUS>(fault);
    }
    std::string path;
    REGSAM access = 0;
    LSTATUS status = sim::ResolveHandle(hKey, &path, &access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!(access & KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    sim::RegKey* key = path.empty() ? nullptr : sim::FindKey(path);
    if (key == nullptr || sim::FindValue(key, lpValueName) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::string wanted = lpValueName == nullptr ? "" : lpValueName;
    for (size_t i = 0; i < key->values.size(); ++i) {
        if (sim::EqualNoCase(key->values[i].name, wanted)) {
            key->values.erase(key->values.begin() + static_cast<long>(i));
            break;
        }
    }
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    DWORD fault = 0;
    if (Enter("RegDeleteKeyA", Args(sim::KeyArg(hKey), lpSubKey), &fault)) {
        return static_cast<LSTATUS>(fault);
    }
    std::string base;
    REGSAM access = 0;
    LSTATUS status = sim::ResolveHandle(hKey, &base, &access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string sub;
    if (!sim::CleanSubKey(lpSubKey, &sub)) {
        return ERROR_BAD_PATHNAME;
    }
    std::string path = sim::Join(base, sub);
    if (path.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    sim::RegKey* key = sim::FindKey(path);
    if (key == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    // The hives right under the root cannot go, nor a key with subkeys.
    if (path.find('\\') == std::string::npos || sim::HasSubkeys(path)) {
        return ERROR_ACCESS_DENIED;
    }
    sim::EraseKey(sim::UpperAscii(path));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    DWORD fault = 0;
    if (Enter("RegCloseKey", Args(sim::KeyArg(hKey)), &fault)) {
        return static_cast<LSTATUS>(fault);
    }
    if (sim::IsPredefined(hKey)) {
        return ERROR_SUCCESS;
    }
    size_t id = 0;
    if (!sim::LookupHandle(hKey, "key", &id)) {
        return ERROR_INVALID_HANDLE;
    }
    sim::ReleaseHandle(hKey, "key");
    sim::OpenKeys().erase(id);
    return ERROR_SUCCESS;
}
