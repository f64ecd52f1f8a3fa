// The install and preinstall flows: staging, the driver store, the
// mass-storage filter and, for preinstalls, the disk-eject tool.
#include "install/install.h"

#include <string.h>

#include "common/operation.h"
#include "common/product_tables.h"
#include "common/program_folder.h"
#include "common/text.h"
#include "devices/devices.h"
#include "environment/environment.h"
#include "log/log.h"

// The vendor's disk-eject tool, beside the installer.
static const char kEjectToolFile[] = "lantrope.exe";

// Number of INF list entries that a flow walks, never past the list.
static int InfEntryCount(void) {
    if (g_InfCount < 0) {
        return 0;
    }
    return g_InfCount > PACKAGE_LIST_CAPACITY ? PACKAGE_LIST_CAPACITY : g_InfCount;
}

// Starts the disk-eject tool by its full path in the installer's own folder,
// hidden, without waiting for it. Started by bare name, the program search
// would also take a "lantrope.exe" from the current folder or the PATH.
static void StartEjectTool(void) {
    char folder[MAX_PATH];
    char toolPath[MAX_PATH];
    char command[MAX_PATH + 2];

    LogMessage("Call lantrope.exe...\n");

    // Whether the path was cut or is missing, the tool is not found.
    if (FindProgramFolder(folder, sizeof(folder)) != PROGRAM_FOLDER_FOUND) {
        LogMessage("Error: lantrope.exe not started, the program folder is unknown\n");
        return;
    }
    // A drive root ("C:\") keeps its backslash; any other folder has none.
    size_t folderLength = BoundedLength(folder, sizeof(folder));
    int composed = CopyText(toolPath, sizeof(toolPath), folder);
    if (composed && folder[folderLength - 1] != '\\') {
        composed = AppendText(toolPath, sizeof(toolPath), "\\");
    }
    if (composed) {
        composed = AppendText(toolPath, sizeof(toolPath), kEjectToolFile);
    }
    if (composed) {
        composed = CopyText(command, sizeof(command), "\"") &&
                   AppendText(command, sizeof(command), toolPath) &&
                   AppendText(command, sizeof(command), "\"");
    }
    if (!composed) {
        LogMessage("Error: lantrope.exe not started, its path is too long\n");
        return;
    }
    WinExec(command, SW_HIDE);
}

void RunInstall(int operationCode) {
    if (!StageDriverFiles()) {
        LogMessage("Copy sys file fail\n");
        return;
    }

    // The filter driver's file and its INF stand at the same index of their
    // lists, within the INFs that the loop reaches.
    int infCount = InfEntryCount();
    int filterIndex = FilterDriverIndex(infCount);
    for (int i = 0; i < infCount; ++i) {
        if (i == filterIndex) {
            LogMessage("Found KWE Mass Storage Device Driver!\n");
            continue;
        }
        PreinstallInf(g_InfFiles[i], operationCode);
    }

    if (filterIndex >= 0) {
        // The filter driver's INF goes into the driver store last and is not
        // bound: the filter is brought into force on the devices instead.
        PreinstallInfOnly(g_InfFiles[filterIndex]);
        LogMessage("Found KWE Mass Storage Device,Active...\n");
        ApplyMassStorageFilter();
    }
}

// The preinstall sequence shared by Preinstall, Preinstall_f and the
// preinstall-only operations. storeOnly puts every INF into the driver store
// without anything else; otherwise PreinstallInf is asked with the code.
static void RunPreinstallSequence(int operationCode, int storeOnly, int startEjectTool) {
    int vista = g_OsCode == OS_CODE_VISTA;
    if (vista) {
        SuspendShadowCopyService();
    }

    if (!StageDriverFiles()) {
        LogMessage("Copy sys file fail\n");
        // The shadow-copy service must not stay disabled after the run.
        if (vista) {
            RestoreShadowCopyService();
        }
        return;
    }

    int infCount = InfEntryCount();
    int filterIndex = FilterDriverIndex(infCount);
    for (int i = 0; i < infCount; ++i) {
        if (i == filterIndex) {
            LogMessage("Found KWE Mass Storage Device Driver!\n");
        }
        if (storeOnly) {
            PreinstallInfOnly(g_InfFiles[i]);
        } else {
            PreinstallInf(g_InfFiles[i], operationCode);
        }
    }

    if (filterIndex >= 0) {
        LogMessage("Found KWE Mass Storage Device,Active...\n");
        ApplyMassStorageFilter();
    }

    if (vista) {
        RestoreShadowCopyService();
    }

    if (startEjectTool) {
        StartEjectTool();
    }
}

void RunPreinstall(int operationCode) {
    RunPreinstallSequence(operationCode, 0, operationCode == OPERATION_PREINSTALL);
}

void RunPreinstallOnly(void) {
    RunPreinstallSequence(OPERATION_PREINSTALL, 1, 1);
}
