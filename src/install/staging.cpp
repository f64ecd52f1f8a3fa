// Driver file staging and INF preinstall: the package's driver files are
// copied into the system drivers folder, its INFs put into the driver store
// and, for Install, bound to the devices that their models name.
#include "common/ascii_case.h"
#include "install/install.h"

#include <string.h>

#include "common/files.h"
#include "common/operation.h"
#include "common/text.h"
#include "environment/environment.h"
#include "log/log.h"

// Outcome of putting one INF into the driver store.
#define STORE_REFUSED (-1)
#define STORE_FAILED 0
#define STORE_DONE 1

int StageDriverFiles(void) {
    char destination[MAX_PATH];
    char source[MAX_PATH];
    int count = g_DriverFileCount;
    if (count > PACKAGE_LIST_CAPACITY) {
        count = PACKAGE_LIST_CAPACITY;
    }
    for (int i = 0; i < count; ++i) {
        const char* name = g_DriverFiles[i];
        // Both paths are composed before anything is touched: a path that
        // does not fit is refused whole, never cut short.
        if (!JoinPath(destination, sizeof(destination), g_SystemDriversFolder, name) ||
            !JoinPath(source, sizeof(source), g_DriverPackageFolder, name)) {
            LogMessage("Error: Path of %s is too long, not copied\n", name);
            return 0;
        }
        // The old copy goes first, whatever its attributes; a missing one is
        // no failure.
        ClearReadOnly(destination);
        DeleteFileA(destination);
        if (!CopyFileA(source, destination, FALSE)) {
            LogFailure("Copy SYS file to system folder\n");
            return 0;
        }
        LogMessage("Copy %s to %s\n", source, destination);
    }
    return 1;
}

// Composes the INF's path into infPath (MAX_PATH bytes), announces the INF
// and puts it into the driver store.
static int PutIntoDriverStore(const char* infName, char* infPath) {
    int composed = JoinPath(infPath, MAX_PATH, g_DriverPackageFolder, infName);
    LogMessage("INFO: Preinstalling %s\n", infName);
    if (!composed) {
        LogMessage("Error: Path of %s is too long, not preinstalled\n", infName);
        return STORE_REFUSED;
    }
    if (!SetupCopyOEMInfA(infPath, NULL, SPOST_PATH, 0, NULL, 0, NULL, NULL)) {
        LogFailure("Preinstall");
        return STORE_FAILED;
    }
    LogMessage("SUCCESS: preinstalled driver.\n");
    return STORE_DONE;
}

int PreinstallInfOnly(const char* infName) {
    char infPath[MAX_PATH];
    return PutIntoDriverStore(infName, infPath) == STORE_DONE ? 1 : 0;
}

// Updates the drivers of the devices named by the INF's models: field 2 of
// every line of the models section that the first "Manufacturer" line names.
static int BindModels(const char* infName, const char* infPath) {
    char field[MAX_PATH];
    INFCONTEXT context;
    BOOL rebootRequired = FALSE;

    memset(field, 0, sizeof(field));
    memset(&context, 0, sizeof(context));

    HINF inf = SetupOpenInfFileA(infPath, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE) {
        LogMessage("Error:Open %s file fail\n", infName);
        return 0;
    }
    if (!SetupFindFirstLineA(inf, "Manufacturer", NULL, &context)) {
        LogMessage("Error:does not contain any device descriptions\n");
        SetupCloseInfFile(inf);
        return 0;
    }
    if (!SetupGetStringFieldA(&context, 1, field, MAX_PATH, NULL)) {
        LogMessage("Error: skipping invalid description [Manufacturer]\n");
        SetupCloseInfFile(inf);
        return 0;
    }
    // The models section is looked up exactly as named, without a
    // platform suffix.
    if (!SetupFindFirstLineA(inf, field, NULL, &context)) {
        LogMessage("Error: %s does not contain any device descriptions [%s]\n", infName, field);
        SetupCloseInfFile(inf);
        return 0;
    }
    do {
        if (!SetupGetStringFieldA(&context, 2, field, MAX_PATH, NULL)) {
            LogMessage("Error: Skipping invalid description\n");
            continue;
        }
        field[sizeof(field) - 1] = '\0';
        LowerAscii(field);
        LogMessage("Updating %s\n", field);
        if (UpdateDriverForPlugAndPlayDevicesA(NULL, field, infPath, INSTALLFLAG_FORCE, &rebootRequired)) {
            LogMessage("Updated success!\n");
        } else {
            LogFailure("UpdateDriver");
        }
    } while (SetupFindNextLine(&context, &context));

    SetupCloseInfFile(inf);
    return 1;
}

int PreinstallInf(const char* infName, int operationCode) {
    char infPath[MAX_PATH];
    int stored = PutIntoDriverStore(infName, infPath);
    if (stored == STORE_REFUSED) {
        return 0;
    }
    if (operationCode != OPERATION_INSTALL) {
        return 1;
    }
    // The INF is in the driver store (or its preinstall has been reported)
    // before any device is bound to it.
    return BindModels(infName, infPath);
}
