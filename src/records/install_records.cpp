// The install flag and the program's entry in the list of installed programs.
#include <string.h>

#include "common/product_tables.h"
#include "common/program_folder.h"
#include "common/registry.h"
#include "common/text.h"
#include "common/vendor_config.h"
#include "log/log.h"
#include "platform/platform.h"
#include "records/records.h"

// The entry names the shipped program file, whatever name it was started under.
static const char kProgramFileName[] = "Hallimor_x64.exe";
static const char kUninstallWord[] = " Uninstall";

static const char kDisplayName[] = "KWE USB Driver";
static const char kEntryFlag[] = "Installed";
static const char kPublisher[] = "KWE Corporation";

// Creates (or opens) one flag key and sets its flag to 1.
static int WriteInstallFlag(const char* keyPath) {
    return SetLocalMachineDword(keyPath, kInstallFlagValue, 1, "RegCreateKeyEx\n", NULL);
}

int SetInstallFlag(void) {
    if (!WriteInstallFlag(kInstallFlagKey32)) {
        return 0;
    }
    if (!WriteInstallFlag(kInstallFlagKey64)) {
        return 0;
    }
    return 1;
}

// The three path values of the uninstall entry, built from the program folder.
typedef struct EntryPaths {
    char installLocation[MAX_PATH];
    char displayIcon[MAX_PATH];
    char uninstallString[MAX_PATH];
} EntryPaths;

// Finds the program folder and composes the path values. 1 when all of them
// fit; otherwise logs why and returns 0.
static int BuildEntryPaths(EntryPaths* paths) {
    char modulePath[MAX_PATH];
    int found = FindProgramFolder(modulePath, sizeof(modulePath));
    if (found == PROGRAM_FOLDER_TOO_LONG) {
        LogMessage("Program path too long, uninstall entry not written!\n");
        return 0;
    }
    if (found != PROGRAM_FOLDER_FOUND) {
        LogMessage("Get current exe directory fail!\n");
        return 0;
    }

    // The uninstall command quotes the program path, so that a folder with
    // blanks cannot be read as a shorter program path followed by arguments.
    int fits = CopyText(paths->installLocation, sizeof(paths->installLocation), modulePath);
    fits = fits && JoinPath(paths->displayIcon, sizeof(paths->displayIcon), modulePath, "\\");
    fits = fits && AppendText(paths->displayIcon, sizeof(paths->displayIcon), kProgramFileName);
    fits = fits && CopyText(paths->uninstallString, sizeof(paths->uninstallString), "\"");
    fits = fits && AppendText(paths->uninstallString, sizeof(paths->uninstallString), paths->displayIcon);
    fits = fits && AppendText(paths->uninstallString, sizeof(paths->uninstallString), "\"");
    fits = fits && AppendText(paths->uninstallString, sizeof(paths->uninstallString), kUninstallWord);
    if (!fits) {
        LogMessage("Program path too long, uninstall entry not written!\n");
        return 0;
    }
    return 1;
}

int WriteUninstallEntry(void) {
    EntryPaths paths;
    if (!BuildEntryPaths(&paths)) {
        return 0;
    }

    struct EntryValue {
        const char* name;
        const char* text;
    };
    const struct EntryValue values[] = {
        {"DisplayName", kDisplayName},
        {"DisplayVersion", kUninstallDisplayVersion},
        {"UninstallString", paths.uninstallString},
        {"flag", kEntryFlag},
        {"Publisher", kPublisher},
        {"URLInfoAbout", kVendorUrlInfoAbout},
        {"DisplayIcon", paths.displayIcon},
        {"InstallLocation", paths.installLocation},
    };

    HKEY key = NULL;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallEntryKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, NULL, &key, &disposition);
    if (status != ERROR_SUCCESS) {
        LogFailureCode("RegCreateKeyEx\n", (DWORD)status);
        return 0;
    }
    for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i) {
        // Stored with the terminator: size is the text's length plus one.
        DWORD size = (DWORD)strlen(values[i].text) + 1;
        status = RegSetValueExA(key, values[i].name, 0, REG_EXPAND_SZ, (const BYTE*)values[i].text, size);
        if (status != ERROR_SUCCESS) {
            LogFailureCode("RegSetValueEx\n", (DWORD)status);
            RegCloseKey(key);
            return 0;
        }
    }
    RegCloseKey(key);
    return 1;
}

int DeleteUninstallEntry(void) {
    LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallEntryKey);
    if (status != ERROR_SUCCESS) {
        LogFailureCode("RegDeleteKey\n", (DWORD)status);
        return 0;
    }
    return 1;
}

int DeleteInstallFlag(void) {
    LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kInstallFlagKey32);
    if (status != ERROR_SUCCESS) {
        LogFailureCode("RegDeleteKey\n", (DWORD)status);
        return 0;
    }
    status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kInstallFlagKey64);
    if (status != ERROR_SUCCESS) {
        LogFailureCode("RegDeleteKey\n", (DWORD)status);
        return 0;
    }
    return 1;
}
