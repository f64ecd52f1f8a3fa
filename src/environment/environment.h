// Environment discovery: the Windows version, the system folders and the
// driver package scan. The values below are written here and only read by
// the other subsystems.
#ifndef HALLIMOR_ENVIRONMENT_ENVIRONMENT_H
#define HALLIMOR_ENVIRONMENT_ENVIRONMENT_H

#define OS_CODE_WIN2000 50
#define OS_CODE_WINXP 51
#define OS_CODE_WIN2003 52
#define OS_CODE_VISTA 60
#define OS_CODE_WIN7 61

#include "common/product_tables.h"

#define OS_FOLDER_NAME_SIZE 20

extern int g_OsCode;
extern char g_OsFolderName[OS_FOLDER_NAME_SIZE];

extern char g_SystemDriversFolder[PATH_BUFFER_SIZE];
extern char g_SystemInfFolder[PATH_BUFFER_SIZE];
extern char g_DriverPackageFolder[PATH_BUFFER_SIZE];

extern char g_DriverFiles[PACKAGE_LIST_CAPACITY][PACKAGE_NAME_SIZE];
extern int g_DriverFileCount;
extern char g_InfFiles[PACKAGE_LIST_CAPACITY][PACKAGE_NAME_SIZE];
extern int g_InfCount;

// Classifies the running Windows version and logs it. 1 when the
// classification ran to its end (or the platform is not NT), 0 on failure.
int DetectWindowsVersion(void);

// Sets the system drivers folder and the system INF folder. 1 on success.
int ResolveSystemFolders(void);

// Lists the package's .sys and .inf files. 1 when both lists were made.
int ScanDriverPackage(void);

// The same scan for the package beside another program folder (a folder
// path without its trailing backslash), as the installer would make it if it
// were started from there. An empty folder fails as an empty program path.
int ScanDriverPackageBeside(const char* programFolder);

// The index of the filter driver's file among the first count entries of
// the driver file list (never past the list), or -1 when none of them is it.
int FilterDriverIndex(int count);

// Process-start values of everything above.
void ResetEnvironmentState(void);

#endif
