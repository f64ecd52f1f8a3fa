// hallimor-check machine: does this machine hold what the package beside the
// tool installs, for this Windows version? Run on the target machine. The
// package folder, the system folders and the package's lists come from the
// installer's own environment code, so that the check looks exactly where an
// installer started from the same folder would have worked. Every Windows
// call here only reads: files are opened for reading, registry keys with
// query access, the service manager with connect access.
#include <string.h>

#include <ostream>
#include <string>
#include <vector>

#include "check.h"
#include "common/product_tables.h"
#include "common/text.h"
#include "environment/environment.h"
#include "platform/platform.h"

namespace {

// The install flows create the filter service with this image path, relative
// to the Windows folder.

// Size of the service configuration buffer: the platform's documented upper
// bound for one configuration with its strings.
#define SERVICE_CONFIG_SIZE 8192

// Size of the buffer for the uninstall entry's "DisplayVersion" text, as the
// installer's own.
#define DISPLAY_VERSION_SIZE 80

// Bytes compared at a time.
#define COMPARE_CHUNK 16384

enum ItemState { ITEM_FOUND, ITEM_MISSING, ITEM_UNKNOWN };

struct Tally {
    int found;
    int missing;
    int unknown;
};

void Report(std::ostream& out, Tally* tally, ItemState state, const char* kind, const std::string& name,
            const std::string& detail) {
    static const char* const kWords[] = {"found  ", "missing", "unknown"};
    out << kWords[state] << "  " << kind << "  " << name;
    if (!detail.empty()) {
        out << "  " << detail;
    }
    out << "\n";
    if (state == ITEM_FOUND) {
        ++tally->found;
    } else if (state == ITEM_MISSING) {
        ++tally->missing;
    } else {
        ++tally->unknown;
    }
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
void CheckDriverFiles(std::ostream& out, Tally* tally) {
    for (int i = 0; i < g_DriverFileCount && i < PACKAGE_LIST_CAPACITY; ++i) {
        const char* name = g_DriverFiles[i];
        std::string source = PackagePath(name);
        std::string copy = std::string(g_SystemDriversFolder) + name;
        PathFacts packaged = LookAt(source.c_str());
        if (packaged.kind != PATH_FILE) {
            Report(out, tally, ITEM_UNKNOWN, "driver file", name,
                   "the package's " + source + " is not a file");
            continue;
        }
        PathFacts installed = LookAt(copy.c_str());
        if (installed.kind == PATH_ABSENT) {
            Report(out, tally, ITEM_MISSING, "driver file", name, copy + " does not exist");
            continue;
        }
        if (installed.kind == PATH_UNREADABLE) {
            Report(out, tally, ITEM_UNKNOWN, "driver file", name,
                   copy + " cannot be looked up (" + ErrorText(installed.error) + ")");
            continue;
        }
        if (installed.kind == PATH_FOLDER) {
            Report(out, tally, ITEM_MISSING, "driver file", name, copy + " is a folder");
            continue;
        }
        if (installed.size != packaged.size) {
            Report(out, tally, ITEM_MISSING, "driver file", name,
                   copy + " is not the package's (other size)");
            continue;
        }
        Sameness same = CompareFileBytes(source.c_str(), copy.c_str());
        if (same == BYTES_SAME) {
            Report(out, tally, ITEM_FOUND, "driver file", name, copy);
        } else if (same == BYTES_DIFFER) {
            Report(out, tally, ITEM_MISSING, "driver file", name,
                   copy + " is not the package's (other bytes)");
        } else {
            const std::string& unread = same == FIRST_UNREADABLE ? source : copy;
            Report(out, tally, ITEM_UNKNOWN, "driver file", name, unread + " cannot be read");
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
void CheckDriverStore(std::ostream& out, Tally* tally) {
    std::vector<InfCandidate> infs;
    DWORD listError = 0;
    int listed = ListSystemInfs(&infs, &listError);
    for (int i = 0; i < g_InfCount && i < PACKAGE_LIST_CAPACITY; ++i) {
        const char* name = g_InfFiles[i];
        std::string source = PackagePath(name);
        if (!listed) {
            Report(out, tally, ITEM_UNKNOWN, "driver store", name,
                   std::string(g_SystemInfFolder) + " cannot be listed (" + ErrorText(listError) + ")");
            continue;
        }
        PathFacts packaged = LookAt(source.c_str());
        if (packaged.kind != PATH_FILE) {
            Report(out, tally, ITEM_UNKNOWN, "driver store", name,
                   "the package's " + source + " is not a file");
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
            Report(out, tally, ITEM_FOUND, "driver store", name, match);
        } else if (unreadable) {
            Report(out, tally, ITEM_UNKNOWN, "driver store", name, source + " cannot be read");
        } else {
            Report(out, tally, ITEM_MISSING, "driver store", name,
                   std::string("no INF in ") + g_SystemInfFolder + " holds its bytes");
        }
    }
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

void CheckFilterService(std::ostream& out, Tally* tally) {
    const char* serviceName = kVendorServices[FILTER_SERVICE_INDEX];
    std::string expected = std::string(kSystemDriversSubfolder) + kFilterDriverFile;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (manager == NULL) {
        Report(out, tally, ITEM_UNKNOWN, "service", serviceName,
               "the service manager cannot be opened (" + ErrorText(GetLastError()) + ")");
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, serviceName, SERVICE_QUERY_CONFIG);
    if (service == NULL) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            Report(out, tally, ITEM_MISSING, "service", serviceName, "does not exist");
        } else {
            Report(out, tally, ITEM_UNKNOWN, "service", serviceName,
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
        Report(out, tally, ITEM_UNKNOWN, "service", serviceName,
               "its configuration cannot be read (" + ErrorText(GetLastError()) + ")");
    } else if (config.record.lpBinaryPathName == NULL || config.record.lpBinaryPathName[0] == '\0') {
        Report(out, tally, ITEM_MISSING, "service", serviceName, "has no image path, expected " + expected);
    } else if (!IsFilterImagePath(config.record.lpBinaryPathName)) {
        Report(out, tally, ITEM_MISSING, "service", serviceName,
               std::string("image path ") + config.record.lpBinaryPathName + ", expected " + expected);
    } else {
        Report(out, tally, ITEM_FOUND, "service", serviceName,
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
void CheckRecords(std::ostream& out, Tally* tally) {
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
        Report(out, tally, ITEM_FOUND, "records", "install records", present);
    } else if (!unreadable.empty()) {
        Report(out, tally, ITEM_UNKNOWN, "records", "install records", "cannot read " + unreadable);
    } else {
        Report(out, tally, ITEM_MISSING, "records", "install records",
               std::string("neither the install flag nor the uninstall entry with DisplayVersion ") +
                   kUninstallDisplayVersion);
    }
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
    for (const std::string& arg : args) {
        if (arg == "--records") {
            records = true;
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

    out << "package  " << g_DriverPackageFolder << "  (" << g_DriverFileCount << " driver files, "
        << g_InfCount << " INFs)\n";
    Tally tally = {0, 0, 0};
    CheckDriverFiles(out, &tally);
    CheckDriverStore(out, &tally);
    if (PackageCarriesFilter()) {
        CheckFilterService(out, &tally);
    }
    if (records) {
        CheckRecords(out, &tally);
    }

    int total = tally.found + tally.missing + tally.unknown;
    if (tally.missing > 0) {
        out << "machine: " << tally.missing << " of " << total << " items missing\n";
        return CHECK_EXIT_FINDINGS;
    }
    if (tally.unknown > 0) {
        out << "machine: cannot tell: " << tally.unknown << " of " << total << " items could not be read\n";
        return CHECK_EXIT_CANNOT;
    }
    out << "machine: all " << total << " items found\n";
    return CHECK_EXIT_OK;
}
