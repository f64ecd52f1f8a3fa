// System folders and the driver package scan: where the system keeps driver
// files and INFs, and which files the package brings.
#include <string.h>

#include "common/program_folder.h"
#include "common/text.h"
#include "environment/environment.h"
#include "log/log.h"
#include "platform/platform.h"

char g_SystemDriversFolder[PATH_BUFFER_SIZE];
char g_SystemInfFolder[PATH_BUFFER_SIZE];
char g_DriverPackageFolder[PATH_BUFFER_SIZE];

char g_DriverFiles[PACKAGE_LIST_CAPACITY][PACKAGE_NAME_SIZE];
int g_DriverFileCount = 0;
char g_InfFiles[PACKAGE_LIST_CAPACITY][PACKAGE_NAME_SIZE];
int g_InfCount = 0;

// Longest file name a list entry holds (without its terminator).
#define PACKAGE_NAME_MAX (PACKAGE_NAME_SIZE - 1)

void ResetEnvironmentState(void) {
    g_OsCode = 0;
    memset(g_OsFolderName, 0, sizeof(g_OsFolderName));
    memset(g_SystemDriversFolder, 0, sizeof(g_SystemDriversFolder));
    memset(g_SystemInfFolder, 0, sizeof(g_SystemInfFolder));
    memset(g_DriverPackageFolder, 0, sizeof(g_DriverPackageFolder));
    memset(g_DriverFiles, 0, sizeof(g_DriverFiles));
    memset(g_InfFiles, 0, sizeof(g_InfFiles));
    g_DriverFileCount = 0;
    g_InfCount = 0;
}

int ResolveSystemFolders(void) {
    memset(g_SystemDriversFolder, 0, sizeof(g_SystemDriversFolder));
    memset(g_SystemInfFolder, 0, sizeof(g_SystemInfFolder));

    UINT length = GetWindowsDirectoryA(g_SystemDriversFolder, sizeof(g_SystemDriversFolder));
    if (length == 0) {
        LogMessage("Error: Couldn't find the system folder\n");
        return 0;
    }
    // A result of the buffer size or more is the size the folder would need:
    // nothing usable was written.
    if (length >= sizeof(g_SystemDriversFolder) ||
        BoundedLength(g_SystemDriversFolder, sizeof(g_SystemDriversFolder)) ==
            sizeof(g_SystemDriversFolder)) {
        memset(g_SystemDriversFolder, 0, sizeof(g_SystemDriversFolder));
        LogMessage("Error : The system folder path is longer than %d characters\n", MAX_PATH - 1);
        return 0;
    }

    size_t used = strlen(g_SystemDriversFolder);
    if (used == 0) {
        LogMessage("Error : The length of system folder is ZERO\n");
        return 0;
    }
    if (g_SystemDriversFolder[used - 1] == '\\') {
        g_SystemDriversFolder[used - 1] = '\0';
    }
    CopyText(g_SystemInfFolder, sizeof(g_SystemInfFolder), g_SystemDriversFolder);

    if (!AppendText(g_SystemDriversFolder, sizeof(g_SystemDriversFolder), "\\") ||
        !AppendText(g_SystemDriversFolder, sizeof(g_SystemDriversFolder), kSystemDriversSubfolder) ||
        !AppendText(g_SystemInfFolder, sizeof(g_SystemInfFolder), "\\") ||
        !AppendText(g_SystemInfFolder, sizeof(g_SystemInfFolder), kSystemInfSubfolder)) {
        memset(g_SystemDriversFolder, 0, sizeof(g_SystemDriversFolder));
        memset(g_SystemInfFolder, 0, sizeof(g_SystemInfFolder));
        LogMessage("Error : The system folder path is longer than %d characters\n", MAX_PATH - 1);
        return 0;
    }
    return 1;
}

// Puts the executable's folder into the driver package folder buffer. 0 after
// logging the cause.
static int TakeProgramFolder(void) {
    int found = FindProgramFolder(g_DriverPackageFolder, sizeof(g_DriverPackageFolder));
    if (found == PROGRAM_FOLDER_TOO_LONG) {
        LogMessage("Error : The program path is longer than %d characters\n", MAX_PATH - 1);
    } else if (found != PROGRAM_FOLDER_FOUND) {
        LogMessage("Get current exe directory fail!\n");
    }
    return found == PROGRAM_FOLDER_FOUND ? 1 : 0;
}

// Puts the program folder (the executable's own when programFolder is NULL),
// "\Drivers\64bit\", the OS folder name and a backslash into the driver
// package folder. 0 after logging the cause.
static int BuildPackageFolder(const char* programFolder) {
    if (programFolder == NULL) {
        if (!TakeProgramFolder()) {
            return 0;
        }
    } else if (programFolder[0] == '\0') {
        LogMessage("Get current exe directory fail!\n");
        return 0;
    } else if (!CopyText(g_DriverPackageFolder, sizeof(g_DriverPackageFolder), programFolder)) {
        LogMessage("Error : The program path is longer than %d characters\n", MAX_PATH - 1);
        return 0;
    }
    LogMessage("Directory : %s\n", g_DriverPackageFolder);

    char osFolderName[OS_FOLDER_NAME_SIZE + 1];
    size_t nameLength = BoundedLength(g_OsFolderName, sizeof(g_OsFolderName));
    memcpy(osFolderName, g_OsFolderName, nameLength);
    osFolderName[nameLength] = '\0';

    if (!AppendText(g_DriverPackageFolder, sizeof(g_DriverPackageFolder), kPackageFolderSuffix) ||
        !AppendText(g_DriverPackageFolder, sizeof(g_DriverPackageFolder), osFolderName) ||
        !AppendText(g_DriverPackageFolder, sizeof(g_DriverPackageFolder), "\\")) {
        memset(g_DriverPackageFolder, 0, sizeof(g_DriverPackageFolder));
        LogMessage("Error : The driver package folder path is longer than %d characters\n", MAX_PATH - 1);
        return 0;
    }
    return 1;
}

// Lists the names that match the package folder followed by extension
// ("*.sys"), in the order of the directory search. The whole package is
// listed or the scan fails: a list is never cut short and a name is never
// shortened. 0 after logging the cause.
static int ListPackageFiles(const char* extension, const char* kind, const char* failedStep,
                            const char* heading, char list[PACKAGE_LIST_CAPACITY][PACKAGE_NAME_SIZE],
                            int* count) {
    char pattern[PATH_BUFFER_SIZE];
    WIN32_FIND_DATAA found;

    memset(pattern, 0, sizeof(pattern));
    if (!JoinPath(pattern, sizeof(pattern), g_DriverPackageFolder, extension)) {
        LogMessage("Error : The search path for %s files is longer than %d characters\n", kind, MAX_PATH - 1);
        return 0;
    }
    LogMessage("Search file name: %s\n", pattern);

    memset(&found, 0, sizeof(found));
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        LogFailure(failedStep);
        return 0;
    }

    LogMessage("%s", heading);
    int complete = 1;
    do {
        size_t nameLength = BoundedLength(found.cFileName, sizeof(found.cFileName));
        if (nameLength > PACKAGE_NAME_MAX) {
            LogMessage("Error : The file name %.*s is longer than %d characters\n", (int)nameLength,
                       found.cFileName, PACKAGE_NAME_MAX);
            complete = 0;
            break;
        }
        if (*count >= PACKAGE_LIST_CAPACITY) {
            LogMessage("Error : The driver package holds more than %d %s files\n", PACKAGE_LIST_CAPACITY,
                       kind);
            complete = 0;
            break;
        }
        memset(list[*count], 0, PACKAGE_NAME_SIZE);
        memcpy(list[*count], found.cFileName, nameLength);
        LogMessage("%d.%s\n", *count + 1, list[*count]);
        ++*count;
        memset(&found, 0, sizeof(found));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return complete;
}

// The scan of the package beside programFolder (the executable's folder when
// NULL).
static int ScanPackageOf(const char* programFolder) {
    g_DriverFileCount = 0;
    g_InfCount = 0;
    memset(g_DriverFiles, 0, sizeof(g_DriverFiles));
    memset(g_InfFiles, 0, sizeof(g_InfFiles));
    memset(g_DriverPackageFolder, 0, sizeof(g_DriverPackageFolder));

    if (!BuildPackageFolder(programFolder)) {
        return 0;
    }
    if (!ListPackageFiles("*.sys", "sys", "FindFirstFile(sys)", "Sys file list:\n", g_DriverFiles,
                          &g_DriverFileCount)) {
        return 0;
    }
    if (!ListPackageFiles("*.inf", "inf", "FindFirstFile(inf)", "Inf file list:\n", g_InfFiles,
                          &g_InfCount)) {
        return 0;
    }
    return 1;
}

int FilterDriverIndex(int count) {
    const char* names[PACKAGE_LIST_CAPACITY];
    int listed = count < g_DriverFileCount ? count : g_DriverFileCount;
    if (listed > PACKAGE_LIST_CAPACITY) {
        listed = PACKAGE_LIST_CAPACITY;
    }
    for (int i = 0; i < listed; ++i) {
        names[i] = g_DriverFiles[i];
    }
    return FindFilterDriverIndex(names, listed);
}

int ScanDriverPackage(void) {
    return ScanPackageOf(NULL);
}

int ScanDriverPackageBeside(const char* programFolder) {
    return ScanPackageOf(programFolder);
}
