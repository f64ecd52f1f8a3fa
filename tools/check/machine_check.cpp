// hallimor-check machine: does this machine hold what the package beside the
// tool installs, for this Windows version? Run on the target machine. The
// package folder, the system folders and the package's lists come from the
// installer's own environment code, so that the check looks exactly where an
// installer started from the same folder would have worked, and the package's
// INFs are read with the shared INF reader for what they name. Every Windows
// call here only reads: files are opened for reading, registry keys with
// query access, the service manager with connect access, services and
// devices for their configuration and status.
#include <string.h>

#include <algorithm>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "check.h"
#include "cleanup/cleanup.h"
#include "cleanup/oem_infs.h"
#include "common/ascii_case.h"
#include "common/product_tables.h"
#include "common/text.h"
#include "common/vendor_config.h"
#include "devices/devices.h"
#include "environment/environment.h"
#include "inf/inf_reader.h"
#include "package_scan.h"
#include "platform/platform.h"

namespace {

// Size of the service configuration buffer: the platform's documented upper
// bound for one configuration with its strings.
#define SERVICE_CONFIG_SIZE 8192

// Size of the buffer for the uninstall entry's "DisplayVersion" text, as the
// installer's own.
#define DISPLAY_VERSION_SIZE 80

// Bytes compared at a time.
#define COMPARE_CHUNK 16384

// Whole INFs are read up to this size; the package check refuses larger ones.
#define INF_READ_LIMIT (10 * 1024 * 1024)

// Bounds of a device's hardware-ID list and instance ID as the check reads
// them (the platform's device IDs have at most 200 characters).
#define HARDWARE_ID_LIST_LIMIT 65536
#define INSTANCE_ID_SIZE 256

// A line of the report: an item of the package, or a device that waits for a
// restart (no item: it counts as neither found nor missing).
enum ItemState { ITEM_FOUND, ITEM_MISSING, ITEM_UNKNOWN, ITEM_RESTART };

const char* const kStateWords[] = {"found", "missing", "unknown", "restart"};

struct Item {
    ItemState state;
    std::string kind;
    std::string name;
    std::string detail;
};

struct MachineReport {
    std::vector<Item> items; // in report order
    int counts[4];           // by state
};

void Report(MachineReport* report, ItemState state, const char* kind, const std::string& name,
            const std::string& detail) {
    report->items.push_back(Item{state, kind, name, detail});
    ++report->counts[state];
}

std::string ErrorText(DWORD error) {
    return "error " + std::to_string(static_cast<unsigned long>(error));
}

// What stands at a path, from its directory entry: no handle is opened on the
// file itself.
enum PathKind { PATH_FILE, PATH_FOLDER, PATH_ABSENT, PATH_UNREADABLE };

struct PathFacts {
    PathKind kind;
    unsigned long long size;
    DWORD error; // of a failed look-up
};

PathFacts LookAt(const char* path) {
    PathFacts facts = {PATH_UNREADABLE, 0, 0};
    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof(found));
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) {
        facts.error = GetLastError();
        if (facts.error == ERROR_FILE_NOT_FOUND || facts.error == ERROR_PATH_NOT_FOUND) {
            facts.kind = PATH_ABSENT;
        }
        return facts;
    }
    FindClose(search);
    facts.kind = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PATH_FOLDER : PATH_FILE;
    facts.size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return facts;
}

enum Sameness { BYTES_SAME, BYTES_DIFFER, FIRST_UNREADABLE, SECOND_UNREADABLE };

// Reads both files to their ends, a chunk at a time.
Sameness CompareFileBytes(const char* first, const char* second) {
    FILE* a = fopen(first, "rb");
    if (a == NULL) {
        return FIRST_UNREADABLE;
    }
    FILE* b = fopen(second, "rb");
    if (b == NULL) {
        fclose(a);
        return SECOND_UNREADABLE;
    }
    static unsigned char chunkA[COMPARE_CHUNK];
    static unsigned char chunkB[COMPARE_CHUNK];
    Sameness result = BYTES_SAME;
    for (;;) {
        size_t readA = fread(chunkA, 1, sizeof(chunkA), a);
        size_t readB = fread(chunkB, 1, sizeof(chunkB), b);
        if (ferror(a)) {
            result = FIRST_UNREADABLE;
            break;
        }
        if (ferror(b)) {
            result = SECOND_UNREADABLE;
            break;
        }
        if (readA != readB || memcmp(chunkA, chunkB, readA) != 0) {
            result = BYTES_DIFFER;
            break;
        }
        if (readA < sizeof(chunkA)) {
            break;
        }
    }
    fclose(a);
    fclose(b);
    return result;
}

std::string PackagePath(const char* name) {
    return std::string(g_DriverPackageFolder) + name;
}

// Every package .sys file in the system drivers folder, with the package's
// bytes.
void CheckDriverFiles(MachineReport* report) {
    for (int i = 0; i < g_DriverFileCount && i < PACKAGE_LIST_CAPACITY; ++i) {
        const char* name = g_DriverFiles[i];
        std::string source = PackagePath(name);
        std::string copy = std::string(g_SystemDriversFolder) + name;
        PathFacts packaged = LookAt(source.c_str());
        if (packaged.kind != PATH_FILE) {
            Report(report, ITEM_UNKNOWN, "driver file", name, "the package's " + source + " is not a file");
            continue;
        }
        PathFacts installed = LookAt(copy.c_str());
        if (installed.kind == PATH_ABSENT) {
            Report(report, ITEM_MISSING, "driver file", name, copy + " does not exist");
            continue;
        }
        if (installed.kind == PATH_UNREADABLE) {
            Report(report, ITEM_UNKNOWN, "driver file", name,
                   copy + " cannot be looked up (" + ErrorText(installed.error) + ")");
            continue;
        }
        if (installed.kind == PATH_FOLDER) {
            Report(report, ITEM_MISSING, "driver file", name, copy + " is a folder");
            continue;
        }
        if (installed.size != packaged.size) {
            Report(report, ITEM_MISSING, "driver file", name, copy + " is not the package's (other size)");
            continue;
        }
        Sameness same = CompareFileBytes(source.c_str(), copy.c_str());
        if (same == BYTES_SAME) {
            Report(report, ITEM_FOUND, "driver file", name, copy);
        } else if (same == BYTES_DIFFER) {
            Report(report, ITEM_MISSING, "driver file", name, copy + " is not the package's (other bytes)");
        } else {
            const std::string& unread = same == FIRST_UNREADABLE ? source : copy;
            Report(report, ITEM_UNKNOWN, "driver file", name, unread + " cannot be read");
        }
    }
}

struct InfCandidate {
    std::string name;
    unsigned long long size;
};

// The INFs of the system INF folder with their sizes, listed once. 0 when the
// folder cannot be listed.
int ListSystemInfs(std::vector<InfCandidate>* infs, DWORD* error) {
    std::string pattern = std::string(g_SystemInfFolder) + "*.inf";
    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof(found));
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        // An INF folder without INFs is listed as empty.
        return *error == ERROR_FILE_NOT_FOUND;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            size_t length = BoundedLength(found.cFileName, sizeof(found.cFileName));
            InfCandidate candidate;
            candidate.name.assign(found.cFileName, length);
            candidate.size =
                (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            infs->push_back(candidate);
        }
        memset(&found, 0, sizeof(found));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return 1;
}

// Every package INF in the driver store: some INF of the system INF folder
// holds its bytes. Windows names the store's copy "oemN.inf"; Wine keeps the
// INF's own name. Sizes are compared first; only INFs of the same size are
// read.
void CheckDriverStore(MachineReport* report) {
    std::vector<InfCandidate> infs;
    DWORD listError = 0;
    int listed = ListSystemInfs(&infs, &listError);
    for (int i = 0; i < g_InfCount && i < PACKAGE_LIST_CAPACITY; ++i) {
        const char* name = g_InfFiles[i];
        std::string source = PackagePath(name);
        if (!listed) {
            Report(report, ITEM_UNKNOWN, "driver store", name,
                   std::string(g_SystemInfFolder) + " cannot be listed (" + ErrorText(listError) + ")");
            continue;
        }
        PathFacts packaged = LookAt(source.c_str());
        if (packaged.kind != PATH_FILE) {
            Report(report, ITEM_UNKNOWN, "driver store", name, "the package's " + source + " is not a file");
            continue;
        }
        std::string match;
        bool unreadable = false;
        for (const InfCandidate& candidate : infs) {
            if (candidate.size != packaged.size) {
                continue;
            }
            std::string stored = std::string(g_SystemInfFolder) + candidate.name;
            Sameness same = CompareFileBytes(source.c_str(), stored.c_str());
            if (same == BYTES_SAME) {
                match = stored;
                break;
            }
            if (same == FIRST_UNREADABLE) {
                unreadable = true;
                break;
            }
            // A store INF that cannot be read is not this one.
        }
        if (!match.empty()) {
            Report(report, ITEM_FOUND, "driver store", name, match);
        } else if (unreadable) {
            Report(report, ITEM_UNKNOWN, "driver store", name, source + " cannot be read");
        } else {
            Report(report, ITEM_MISSING, "driver store", name,
                   std::string("no INF in ") + g_SystemInfFolder + " holds its bytes");
        }
    }
}

// The bytes of a file through the platform's stream; false when it cannot be
// read whole or is larger than the limit.
bool ReadWholeFile(const std::string& path, std::string* bytes) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == NULL) {
        return false;
    }
    static char chunk[COMPARE_CHUNK];
    bool whole = true;
    for (;;) {
        size_t got = fread(chunk, 1, sizeof(chunk), file);
        bytes->append(chunk, got);
        if (ferror(file) || bytes->size() > INF_READ_LIMIT) {
            whole = false;
            break;
        }
        if (got < sizeof(chunk)) {
            break;
        }
    }
    fclose(file);
    return whole;
}

// What the check reads of one package INF: its sections with the shared INF
// reader, and its first hardware ID as the superseded removal reads it.
struct PackageInf {
    std::string name;
    infreader::InfFile inf;      // empty when SetupAPI would not read it either
    std::string firstHardwareId; // "" when it has none
};

std::vector<PackageInf> ReadPackageInfs() {
    std::vector<PackageInf> infs;
    for (int i = 0; i < g_InfCount && i < PACKAGE_LIST_CAPACITY; ++i) {
        PackageInf entry;
        entry.name = g_InfFiles[i];
        std::string bytes;
        unsigned errorLine = 0;
        if (!ReadWholeFile(PackagePath(g_InfFiles[i]), &bytes) ||
            infreader::ParseInfText(bytes, &entry.inf, &errorLine) != infreader::INF_OK) {
            entry.inf = infreader::InfFile();
        }
        char id[HARDWARE_ID_BUFFER_SIZE];
        memset(id, 0, sizeof(id));
        if (FirstInfHardwareId(PackagePath(g_InfFiles[i]).c_str(), id)) {
            entry.firstHardwareId = id;
        }
        infs.push_back(entry);
    }
    return infs;
}

// The lines of an INF's section for x64 (".amd64"), then of the undecorated
// one, which SetupAPI reads after it.
std::vector<const infreader::InfLine*> X64SectionLines(const infreader::InfFile& inf,
                                                       const std::string& base) {
    std::vector<const infreader::InfLine*> lines;
    for (const std::string& name : {base + ".amd64", base}) {
        const infreader::InfSection* section = infreader::FindInfSection(inf, name);
        for (size_t i = 0; section != NULL && i < section->lines.size(); ++i) {
            lines.push_back(&section->lines[i]);
        }
    }
    return lines;
}

// The path below the package folder of a file that a SourceDisksFiles line
// names: its disk's folder (field 4 of the disk's SourceDisksNames line),
// its own sub-folder (field 2) and its name.
std::string NamedFilePath(const infreader::InfFile& inf, const infreader::InfLine& line) {
    std::string path;
    for (const infreader::InfLine* disk : X64SectionLines(inf, "SourceDisksNames")) {
        if (disk->hasKey && !line.fields.empty() && disk->key == line.fields[0] && disk->fields.size() > 3) {
            path = disk->fields[3];
            break;
        }
    }
    if (line.fields.size() > 1 && !line.fields[1].empty()) {
        path += "\\" + line.fields[1];
    }
    path += "\\" + line.key;
    while (!path.empty() && path[0] == '\\') {
        path.erase(0, 1);
    }
    return path;
}

// Every file that a package INF names for x64 in its SourceDisksFiles
// sections is in the package: Windows copies each into the driver store and
// refuses the INF when one is missing, and the driver is then never staged.
// A file that the package holds is an item already (a driver file) or goes
// into the store with its INF; one that it lacks is a missing driver file.
void CheckNamedFiles(const std::vector<PackageInf>& infs, MachineReport* report) {
    std::vector<std::string> named;
    for (const PackageInf& entry : infs) {
        for (const infreader::InfLine* line : X64SectionLines(entry.inf, "SourceDisksFiles")) {
            std::string path = line->hasKey ? NamedFilePath(entry.inf, *line) : "";
            bool seen = path.empty();
            for (const std::string& done : named) {
                seen = seen || infreader::SameNameNoCase(done, path);
            }
            if (seen) {
                continue;
            }
            named.push_back(path);
            PathFacts facts = LookAt((PackagePath("") + path).c_str());
            if (facts.kind == PATH_ABSENT || facts.kind == PATH_FOLDER) {
                Report(report, ITEM_MISSING, "driver file", path,
                       "named by " + entry.name + ", not in the package");
            } else if (facts.kind == PATH_UNREADABLE) {
                Report(report, ITEM_UNKNOWN, "driver file", path,
                       "named by " + entry.name + ", cannot be looked up (" + ErrorText(facts.error) + ")");
            }
        }
    }
}

// The superseded removal's view of the driver store: every "oem*.inf" whose
// first hardware ID a package INF shares must hold that INF's bytes. A copy
// of an older package that the removal could not delete stays beside the new
// one. The walk's visitor takes no context: the check runs on one thread.
const std::vector<PackageInf>* s_WalkedInfs = NULL;
MachineReport* s_WalkReport = NULL;

void CheckOemInf(const char* fileName, const char* infPath) {
    char id[HARDWARE_ID_BUFFER_SIZE];
    memset(id, 0, sizeof(id));
    if (!FirstInfHardwareId(infPath, id) || id[0] == '\0') {
        return;
    }
    std::string owners;
    for (const PackageInf& entry : *s_WalkedInfs) {
        if (entry.firstHardwareId != id) {
            continue;
        }
        Sameness same = CompareFileBytes(PackagePath(entry.name.c_str()).c_str(), infPath);
        if (same == BYTES_SAME) {
            return;
        }
        if (same != BYTES_DIFFER) {
            Report(s_WalkReport, ITEM_UNKNOWN, "superseded copy", fileName,
                   std::string(infPath) + " or " + entry.name + " cannot be read");
            return;
        }
        owners += (owners.empty() ? "" : ", ") + entry.name;
    }
    if (!owners.empty()) {
        Report(s_WalkReport, ITEM_MISSING, "superseded copy", fileName,
               std::string(infPath) + " has the first hardware ID of " + owners + " (" + id +
                   "), not its bytes");
    }
}

void CheckSupersededCopies(const std::vector<PackageInf>& infs, MachineReport* report) {
    s_WalkedInfs = &infs;
    s_WalkReport = report;
    ForEachOemInf(CheckOemInf);
    s_WalkedInfs = NULL;
    s_WalkReport = NULL;
}

// The install flows bring the filter into force when the filter driver's file
// stands in the driver file list at an index that their INF loop reaches.
int PackageCarriesFilter() {
    return FilterDriverIndex(g_InfCount) >= 0 ? 1 : 0;
}

// The image path that the filter service was created with, or one of the
// forms that name the same file: relative to the Windows folder, below
// "\SystemRoot" or "%SystemRoot%", or the full path with or without the
// "\??" prefix. Letter case does not matter to the system.
int IsFilterImagePath(const char* path) {
    std::string relative = std::string(kSystemDriversSubfolder) + kFilterDriverFile;
    std::string full = std::string(g_SystemDriversFolder) + kFilterDriverFile;
    const std::string forms[] = {relative, "\\SystemRoot\\" + relative, "%SystemRoot%\\" + relative, full,
                                 "\\??\\" + full};
    for (const std::string& form : forms) {
        if (lstrcmpiA(path, form.c_str()) == 0) {
            return 1;
        }
    }
    return 0;
}

void CheckFilterService(MachineReport* report) {
    const char* serviceName = kVendorServices[FILTER_SERVICE_INDEX];
    std::string expected = std::string(kSystemDriversSubfolder) + kFilterDriverFile;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (manager == NULL) {
        Report(report, ITEM_UNKNOWN, "service", serviceName,
               "the service manager cannot be opened (" + ErrorText(GetLastError()) + ")");
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, serviceName, SERVICE_QUERY_CONFIG);
    if (service == NULL) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            Report(report, ITEM_MISSING, "service", serviceName, "does not exist");
        } else {
            Report(report, ITEM_UNKNOWN, "service", serviceName,
                   "cannot be opened (" + ErrorText(error) + ")");
        }
        CloseServiceHandle(manager);
        return;
    }
    // A pointer-aligned buffer: the configuration record comes first.
    static union {
        QUERY_SERVICE_CONFIGA record;
        char bytes[SERVICE_CONFIG_SIZE];
    } config;
    memset(&config, 0, sizeof(config));
    DWORD needed = 0;
    if (!QueryServiceConfigA(service, &config.record, sizeof(config), &needed)) {
        Report(report, ITEM_UNKNOWN, "service", serviceName,
               "its configuration cannot be read (" + ErrorText(GetLastError()) + ")");
    } else if (config.record.lpBinaryPathName == NULL || config.record.lpBinaryPathName[0] == '\0') {
        Report(report, ITEM_MISSING, "service", serviceName, "has no image path, expected " + expected);
    } else if (!IsFilterImagePath(config.record.lpBinaryPathName)) {
        Report(report, ITEM_MISSING, "service", serviceName,
               std::string("image path ") + config.record.lpBinaryPathName + ", expected " + expected);
    } else {
        Report(report, ITEM_FOUND, "service", serviceName,
               std::string("image path ") + config.record.lpBinaryPathName);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

enum RecordState { RECORD_PRESENT, RECORD_ABSENT, RECORD_UNREADABLE };

// keyPath under HKEY_LOCAL_MACHINE, without a trailing backslash.
RecordState ReadInstallFlag(const char* keyPath, LONG* status) {
    HKEY key = NULL;
    *status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key);
    if (*status != ERROR_SUCCESS) {
        return *status == ERROR_FILE_NOT_FOUND ? RECORD_ABSENT : RECORD_UNREADABLE;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    *status = RegQueryValueExA(key, kInstallFlagValue, NULL, &type, (LPBYTE)&value, &size);
    RegCloseKey(key);
    if (*status == ERROR_FILE_NOT_FOUND || *status == ERROR_MORE_DATA) {
        return RECORD_ABSENT;
    }
    if (*status != ERROR_SUCCESS) {
        return RECORD_UNREADABLE;
    }
    return type == REG_DWORD && size == sizeof(value) && value == 1 ? RECORD_PRESENT : RECORD_ABSENT;
}

RecordState ReadUninstallEntry(const char* keyPath, LONG* status) {
    HKEY key = NULL;
    *status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key);
    if (*status != ERROR_SUCCESS) {
        return *status == ERROR_FILE_NOT_FOUND ? RECORD_ABSENT : RECORD_UNREADABLE;
    }
    char text[DISPLAY_VERSION_SIZE];
    memset(text, 0, sizeof(text));
    DWORD type = 0;
    // One byte stays free, so that the text always ends inside the buffer.
    DWORD size = sizeof(text) - 1;
    *status = RegQueryValueExA(key, "DisplayVersion", NULL, &type, (LPBYTE)text, &size);
    RegCloseKey(key);
    if (*status == ERROR_FILE_NOT_FOUND || *status == ERROR_MORE_DATA) {
        return RECORD_ABSENT;
    }
    if (*status != ERROR_SUCCESS) {
        return RECORD_UNREADABLE;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return RECORD_ABSENT;
    }
    return SameText(text, kUninstallDisplayVersion) ? RECORD_PRESENT : RECORD_ABSENT;
}

// The install flag (either key) or the uninstall entry: what a preinstall
// records. Install writes neither.
void CheckRecords(MachineReport* report) {
    char entryKey[PATH_BUFFER_SIZE];
    CopyText(entryKey, sizeof(entryKey), kUninstallEntryKey);
    size_t length = BoundedLength(entryKey, sizeof(entryKey));
    if (length > 0 && entryKey[length - 1] == '\\') {
        entryKey[length - 1] = '\0';
    }
    const char* flagKeys[] = {kInstallFlagKey32, kInstallFlagKey64};

    std::string present;
    std::string unreadable;
    for (const char* keyPath : flagKeys) {
        LONG status = 0;
        RecordState state = ReadInstallFlag(keyPath, &status);
        if (state == RECORD_PRESENT) {
            present += std::string(present.empty() ? "" : ", ") + "install flag " + keyPath;
        } else if (state == RECORD_UNREADABLE) {
            unreadable = keyPath + (" (" + ErrorText(static_cast<DWORD>(status)) + ")");
        }
    }
    LONG status = 0;
    RecordState entry = ReadUninstallEntry(entryKey, &status);
    if (entry == RECORD_PRESENT) {
        present += std::string(present.empty() ? "" : ", ") + "uninstall entry " + entryKey +
                   " with DisplayVersion " + kUninstallDisplayVersion;
    } else if (entry == RECORD_UNREADABLE) {
        unreadable = entryKey + (" (" + ErrorText(static_cast<DWORD>(status)) + ")");
    }

    if (!present.empty()) {
        Report(report, ITEM_FOUND, "records", "install records", present);
    } else if (!unreadable.empty()) {
        Report(report, ITEM_UNKNOWN, "records", "install records", "cannot read " + unreadable);
    } else {
        Report(report, ITEM_MISSING, "records", "install records",
               std::string("neither the install flag nor the uninstall entry with DisplayVersion ") +
                   kUninstallDisplayVersion);
    }
}

// A device's hardware IDs; none when it has no list or the list cannot be
// read.
std::vector<std::string> HardwareIds(HDEVINFO set, SP_DEVINFO_DATA* device) {
    std::vector<std::string> ids;
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, NULL, NULL, 0, &size);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0 || size > HARDWARE_ID_LIST_LIMIT) {
        return ids;
    }
    // Two terminators beyond the data end the last string whatever it holds.
    std::vector<char> list(size + 2, '\0');
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, NULL, (PBYTE)list.data(), size,
                                           NULL)) {
        return ids;
    }
    for (size_t at = 0; at < size && list[at] != '\0';) {
        ids.push_back(std::string(&list[at]));
        at += ids.back().size() + 1;
    }
    return ids;
}

// A device of the package: one of its hardware IDs is named by a package
// INF's models section, or begins with an entry of the vendor's removal
// table (letter case ignored, as the installer compares them).
bool DeviceOfPackage(const std::vector<std::string>& ids, const std::vector<std::string>& modelIds) {
    for (const std::string& id : ids) {
        for (const std::string& model : modelIds) {
            if (infreader::SameNameNoCase(id, model)) {
                return true;
            }
        }
        for (const char* entry : kRemovalHardwareIds) {
            if (CompareNoCaseN(id.c_str(), entry, VENDOR_HARDWARE_ID_LENGTH) == 0) {
                return true;
            }
        }
    }
    return false;
}

// Whether the filter service is registered but not running. A status that
// cannot be read is an unknown item; a missing service is the service item's
// finding.
bool FilterServiceStopped(MachineReport* report) {
    const char* serviceName = kVendorServices[FILTER_SERVICE_INDEX];
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager == NULL ? NULL : OpenServiceA(manager, serviceName, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status;
    memset(&status, 0, sizeof(status));
    bool read = service != NULL && QueryServiceStatus(service, &status);
    DWORD error = GetLastError();
    if (service != NULL) {
        CloseServiceHandle(service);
    }
    if (manager != NULL) {
        CloseServiceHandle(manager);
    }
    if (!read && error != ERROR_SERVICE_DOES_NOT_EXIST) {
        Report(report, ITEM_UNKNOWN, "service status", serviceName,
               "cannot be read (" + ErrorText(error) + ")");
    }
    return read && status.dwCurrentState != SERVICE_RUNNING;
}

// Every present device of the package, asked whether it waits for a restart:
// its node says so (DN_NEED_RESTART, or the problem CM_PROB_NEED_RESTART), or
// it is a storage device of the vendor while the filter service is registered
// but not running (the filter joins a device's stack only when the stack is
// next built).
void CheckRestarts(const std::vector<PackageInf>& infs, bool filterExpected, MachineReport* report) {
    std::vector<std::string> modelIds;
    for (const PackageInf& entry : infs) {
        const infreader::InfSection* manufacturer = infreader::FindInfSection(entry.inf, "Manufacturer");
        if (manufacturer != NULL && !manufacturer->lines.empty() && !manufacturer->lines[0].fields.empty()) {
            std::vector<std::string> ids = ModelsSectionIds(entry.inf, manufacturer->lines[0].fields[0]);
            modelIds.insert(modelIds.end(), ids.begin(), ids.end());
        }
    }
    bool filterWaits = filterExpected && FilterServiceStopped(report);
    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        Report(report, ITEM_UNKNOWN, "devices", "present devices",
               "cannot be listed (" + ErrorText(GetLastError()) + ")");
        return;
    }
    SP_DEVINFO_DATA device;
    for (DWORD index = 0;; ++index) {
        memset(&device, 0, sizeof(device));
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(set, index, &device)) {
            if (GetLastError() != ERROR_NO_MORE_ITEMS) {
                Report(report, ITEM_UNKNOWN, "devices", "present devices",
                       "cannot be listed to the end (" + ErrorText(GetLastError()) + ")");
            }
            break;
        }
        char instance[INSTANCE_ID_SIZE];
        memset(instance, 0, sizeof(instance));
        if (!SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof(instance), NULL)) {
            snprintf(instance, sizeof(instance), "device node %lu", (unsigned long)device.DevInst);
        }
        bool storage = false;
        for (const char* entry : kStorageHardwareIds) {
            storage = storage || CompareNoCaseN(instance, entry, VENDOR_HARDWARE_ID_LENGTH) == 0;
        }
        if (!storage && !DeviceOfPackage(HardwareIds(set, &device), modelIds)) {
            continue;
        }
        std::string why;
        ULONG status = 0;
        ULONG problem = 0;
        CONFIGRET result = CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0);
        if (result == CR_SUCCESS && (status & DN_NEED_RESTART)) {
            why = "the device waits for a restart (DN_NEED_RESTART)";
        } else if (result == CR_SUCCESS && (status & DN_HAS_PROBLEM) && problem == CM_PROB_NEED_RESTART) {
            why = "the device waits for a restart (problem CM_PROB_NEED_RESTART)";
        } else if (result != CR_SUCCESS && result != CR_NO_SUCH_DEVNODE) {
            Report(report, ITEM_UNKNOWN, "device", instance,
                   "its status cannot be read (CONFIGRET " + std::to_string((unsigned long)result) + ")");
            continue;
        }
        if (storage && filterWaits) {
            why +=
                std::string(why.empty() ? "" : "; ") + "the filter service " +
                kVendorServices[FILTER_SERVICE_INDEX] +
                " is registered but not running: the filter joins the device's stack when it is next built";
        }
        if (!why.empty()) {
            Report(report, ITEM_RESTART, "device", instance, why);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

void PrintText(std::ostream& out, const MachineReport& report) {
    for (const Item& item : report.items) {
        std::string word = kStateWords[item.state];
        word.resize(7, ' ');
        out << word << "  " << item.kind << "  " << item.name;
        if (!item.detail.empty()) {
            out << "  " << item.detail;
        }
        out << "\n";
    }
}

// The report as one JSON object: the package, the items, their counts, the
// devices that wait for a restart and the verdict.
void PrintJson(std::ostream& out, const MachineReport& report, bool restartChecked,
               const std::string& summary, int code) {
    out << "{\"package\": " << JsonString(g_DriverPackageFolder) << ", \"driverFiles\": " << g_DriverFileCount
        << ", \"infs\": " << g_InfCount << ", \"items\": [";
    const char* separator = "";
    for (const Item& item : report.items) {
        if (item.state != ITEM_RESTART) {
            out << separator << "\n  {\"state\": \"" << kStateWords[item.state]
                << "\", \"kind\": " << JsonString(item.kind) << ", \"name\": " << JsonString(item.name)
                << ", \"detail\": " << JsonString(item.detail) << "}";
            separator = ",";
        }
    }
    out << "\n], \"found\": " << report.counts[ITEM_FOUND] << ", \"missing\": " << report.counts[ITEM_MISSING]
        << ", \"unknown\": " << report.counts[ITEM_UNKNOWN]
        << ", \"restartChecked\": " << (restartChecked ? "true" : "false")
        << ", \"restartNeeded\": " << (report.counts[ITEM_RESTART] > 0 ? "true" : "false")
        << ", \"restarts\": [";
    separator = "";
    for (const Item& item : report.items) {
        if (item.state == ITEM_RESTART) {
            out << separator << "\n  {\"instanceId\": " << JsonString(item.name)
                << ", \"reason\": " << JsonString(item.detail) << "}";
            separator = ",";
        }
    }
    out << "\n], \"summary\": " << JsonString(summary) << ", \"exitCode\": " << code << "}\n";
}

int IsFolder(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

int RunMachineVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string folder;
    bool haveFolder = false;
    bool records = false;
    bool restart = false;
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--records") {
            records = true;
        } else if (arg == "--restart") {
            restart = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg.compare(0, 2, "--") == 0 || haveFolder || arg.empty()) {
            return RefuseArguments(err, kMachineVerbUsage, "unexpected argument '" + arg + "'");
        } else {
            folder = arg;
            haveFolder = true;
        }
    }
    // The program folder as the installer takes it: no trailing separator.
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) {
        folder.pop_back();
    }

    ResetEnvironmentState();
    // A classification that ends early leaves the OS folder name it reached,
    // and the installer carries on with it: so does the check.
    DetectWindowsVersion();
    if (!ResolveSystemFolders() || !IsFolder(g_SystemDriversFolder) || !IsFolder(g_SystemInfFolder)) {
        err << "hallimor-check machine: cannot tell: the system drivers folder or the system INF folder "
               "is missing";
        if (g_SystemDriversFolder[0] != '\0') {
            err << " (" << g_SystemDriversFolder << ", " << g_SystemInfFolder << ")";
        }
        err << "\n";
        return CHECK_EXIT_CANNOT;
    }
    int scanned = haveFolder ? ScanDriverPackageBeside(folder.c_str()) : ScanDriverPackage();
    if (!scanned) {
        DWORD error = GetLastError();
        err << "hallimor-check machine: cannot tell: no driver package that the installer would take in "
            << (g_DriverPackageFolder[0] != '\0' ? g_DriverPackageFolder : folder.c_str())
            << " (it needs at least one .sys and one .inf file, at most " << PACKAGE_LIST_CAPACITY
            << " of each, names of at most " << (PACKAGE_NAME_SIZE - 1) << " characters";
        if (error != 0) {
            err << "; " << ErrorText(error);
        }
        err << ")\n";
        return CHECK_EXIT_CANNOT;
    }

    MachineReport report = {{}, {0, 0, 0, 0}};
    CheckDriverFiles(&report);
    std::vector<PackageInf> infs = ReadPackageInfs();
    CheckNamedFiles(infs, &report);
    // A named file that the package lacks takes its place by name among the
    // package's .sys files, which the search lists in NTFS order.
    std::stable_sort(report.items.begin(), report.items.end(),
                     [](const Item& a, const Item& b) { return NtfsNameLess(a.name, b.name); });
    CheckDriverStore(&report);
    // The flows create no filter service where they mark the storage
    // devices for reinstallation instead (Windows 2000).
    bool filterExpected = PackageCarriesFilter() && !StorageFilterByReinstall();
    if (filterExpected) {
        CheckFilterService(&report);
    }
    if (records) {
        CheckRecords(&report);
    }
    CheckSupersededCopies(infs, &report);
    if (restart) {
        CheckRestarts(infs, filterExpected, &report);
    }

    const int* counts = report.counts;
    int total = counts[ITEM_FOUND] + counts[ITEM_MISSING] + counts[ITEM_UNKNOWN];
    std::string summary;
    int code = CHECK_EXIT_OK;
    if (counts[ITEM_MISSING] > 0) {
        summary = std::to_string(counts[ITEM_MISSING]) + " of " + std::to_string(total) + " items missing";
        code = CHECK_EXIT_FINDINGS;
    } else if (counts[ITEM_UNKNOWN] > 0) {
        summary = "cannot tell: " + std::to_string(counts[ITEM_UNKNOWN]) + " of " + std::to_string(total) +
                  " items could not be read";
        code = CHECK_EXIT_CANNOT;
    } else {
        summary = "all " + std::to_string(total) + " items found";
        if (restart && counts[ITEM_RESTART] > 0) {
            summary += ", " + std::to_string(counts[ITEM_RESTART]) +
                       (counts[ITEM_RESTART] == 1 ? " device waits" : " devices wait") + " for a restart";
            code = CHECK_EXIT_RESTART;
        } else if (restart) {
            summary += ", no device waits for a restart";
        }
    }
    if (json) {
        PrintJson(out, report, restart, summary, code);
        return code;
    }
    out << "package  " << g_DriverPackageFolder << "  (" << g_DriverFileCount << " driver files, "
        << g_InfCount << " INFs)\n";
    PrintText(out, report);
    out << "machine: " << summary << "\n";
    return code;
}
