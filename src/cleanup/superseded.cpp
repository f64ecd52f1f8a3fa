// Superseded driver removal: before a new package goes in, the driver-store
// INFs that serve the same first hardware ID as one of its INFs, the old
// copies of its driver files and the stale support library are deleted.
#include "cleanup/cleanup.h"

#include <string.h>

#include "cleanup/oem_infs.h"
#include "common/ascii_case.h"
#include "common/files.h"
#include "common/text.h"
#include "environment/environment.h"
#include "log/log.h"
#include "platform/platform.h"

#define FIELD_BUFFER_SIZE 260

// The support library, below the Windows folder.
static const char kSupportLibraryPath[] = "\\system32\\brommet.dll";

// Two first hardware IDs name the same device only when both were read and
// are the same string. An empty ID (an unreadable INF, or an empty field on
// its first model line) names no device, so it never matches: otherwise two
// unreadable INFs would look alike and an unrelated driver would be deleted.
static int SameHardwareId(const char* a, const char* b) {
    if (a == NULL || b == NULL || a[0] == '\0' || b[0] == '\0') {
        return 0;
    }
    return SameText(a, b);
}

int FirstInfHardwareId(const char* infPath, char* output) {
    char field[FIELD_BUFFER_SIZE];
    INFCONTEXT context;
    HINF inf;

    memset(field, 0, sizeof(field));
    memset(&context, 0, sizeof(context));
    if (infPath == NULL || output == NULL) {
        return 0;
    }

    inf = SetupOpenInfFileA(infPath, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) {
        LogFailure("SetupOpenInfFile\n");
        return 0;
    }

    const char* failedStep = NULL;
    if (!SetupFindFirstLineA(inf, "Manufacturer", NULL, &context)) {
        failedStep = "SetupFindFirstLine ->[Manufacturer] ";
    } else if (!SetupGetStringFieldA(&context, 1, field, FIELD_BUFFER_SIZE, NULL)) {
        failedStep = "SetupGetStringField -> [Manufacturer] ";
    } else if (!SetupFindFirstLineA(inf, field, NULL, &context)) {
        failedStep = "SetupFindFirstLine -> [Model] ";
    } else if (!SetupGetStringFieldA(&context, 2, field, FIELD_BUFFER_SIZE, NULL)) {
        failedStep = "SetupGetStringField -> [Model] ";
    }
    if (failedStep != NULL) {
        LogFailure(failedStep);
        SetupCloseInfFile(inf);
        return 0;
    }

    SetupCloseInfFile(inf);
    field[FIELD_BUFFER_SIZE - 1] = '\0';
    UpperAscii(field);
    CopyText(output, HARDWARE_ID_BUFFER_SIZE, field);
    LogMessage("Found [%s] from %s\n", output, infPath);
    return 1;
}

int PackageHasHardwareId(const char* hardwareId) {
    char path[PATH_BUFFER_SIZE];
    char packageId[HARDWARE_ID_BUFFER_SIZE];
    int count = g_InfCount;

    if (count <= 0) {
        return 0;
    }
    if (count > PACKAGE_LIST_CAPACITY) {
        count = PACKAGE_LIST_CAPACITY;
    }
    // Read afresh for every caller: each read leaves its own record in the log.
    for (int i = 0; i < count; ++i) {
        memset(packageId, 0, sizeof(packageId));
        if (!BuildRemovalPath(path, sizeof(path), g_DriverPackageFolder, g_InfFiles[i])) {
            continue;
        }
        FirstInfHardwareId(path, packageId);
        if (SameHardwareId(hardwareId, packageId)) {
            return 1;
        }
    }
    return 0;
}

int DeleteOemInf(const char* fileName) {
    char infPath[PATH_BUFFER_SIZE];
    char pnfPath[PATH_BUFFER_SIZE];

    if (!BuildRemovalPath(infPath, sizeof(infPath), g_SystemInfFolder, fileName)) {
        LogFailure("Remove ");
        return 0;
    }
    if (RemoveFile(infPath) == -1) {
        LogFailure("Remove ");
        return 0;
    }
    LogMessage("Remove: %s success!\n", infPath);

    // The precompiled companion: the same name with the extension "PNF".
    CopyText(pnfPath, sizeof(pnfPath), infPath);
    for (size_t i = strlen(pnfPath); i > 1; --i) {
        if (pnfPath[i - 1] == '.') {
            pnfPath[i] = '\0';
            break;
        }
    }
    if (!AppendText(pnfPath, sizeof(pnfPath), "PNF")) {
        LogMessage("Error : Path too long: %sPNF\n", pnfPath);
        LogFailureCode("Remove: ", ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (RemoveFile(pnfPath) == -1) {
        LogFailure("Remove: ");
        return 0;
    }
    LogMessage("Remove: %s success!\n", pnfPath);
    return 1;
}

// A driver-store INF that serves the first hardware ID of a package INF is
// superseded by it.
static void RemoveIfSuperseded(const char* fileName, const char* infPath) {
    char hardwareId[HARDWARE_ID_BUFFER_SIZE];
    memset(hardwareId, 0, sizeof(hardwareId));
    FirstInfHardwareId(infPath, hardwareId);
    if (PackageHasHardwareId(hardwareId) == 1) {
        DeleteOemInf(fileName);
    }
}

int RemoveSupersededOemInfs(void) {
    return ForEachOemInf(RemoveIfSuperseded);
}

void RemoveStagedDriverFiles(void) {
    char path[PATH_BUFFER_SIZE];
    int count = g_DriverFileCount;

    if (count > PACKAGE_LIST_CAPACITY) {
        count = PACKAGE_LIST_CAPACITY;
    }
    for (int i = 0; i < count; ++i) {
        if (!BuildRemovalPath(path, sizeof(path), g_SystemDriversFolder, g_DriverFiles[i])) {
            LogFailure("Remove sysfile ");
            continue;
        }
        if (RemoveFile(path) == -1) {
            LogFailure("Remove sysfile ");
        } else {
            LogMessage("Remove: %s Success!\n", g_DriverFiles[i]);
        }
    }
}

void RemoveSupportLibrary(void) {
    char windowsFolder[PATH_BUFFER_SIZE];
    char path[PATH_BUFFER_SIZE];

    memset(windowsFolder, 0, sizeof(windowsFolder));
    UINT length = GetWindowsDirectoryA(windowsFolder, PATH_BUFFER_SIZE);
    // Without the Windows folder the path would begin at the current drive's
    // root and name a file that is not the vendor's: nothing is deleted.
    if (length == 0) {
        LogFailure("Remove Dllfile ");
        return;
    }
    if (length >= PATH_BUFFER_SIZE) {
        LogFailureCode("Remove Dllfile ", ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    windowsFolder[PATH_BUFFER_SIZE - 1] = '\0';
    if (!BuildRemovalPath(path, sizeof(path), windowsFolder, kSupportLibraryPath)) {
        LogFailure("Remove Dllfile ");
        return;
    }
    if (RemoveFile(path) == -1) {
        LogFailure("Remove Dllfile ");
    } else {
        LogMessage("Remove: brommet.dll Success!\n");
    }
}
