// The installer's fixed tables: the filter driver's names, the tables the
// vendor purge works from and the registry records' names. The installer and
// the checker both read them from here, so that the two can never disagree.
#ifndef HALLIMOR_COMMON_PRODUCT_TABLES_H
#define HALLIMOR_COMMON_PRODUCT_TABLES_H

// The driver package's layout and the scan's limits: each list holds at most
// 50 names of at most 73 characters (74 bytes with the terminator), and every
// path fits the platform's 260-byte path buffers.
#define PATH_BUFFER_SIZE 260
#define PACKAGE_LIST_CAPACITY 50
#define PACKAGE_NAME_SIZE 74

// The package folder beside the executable, before the OS folder name
// ("\\Drivers\\64bit\\"), and the names of its two folders.
extern const char kPackageFolderSuffix[];
extern const char kPackageDriversFolder[];
extern const char kPackageArchitectureFolder[];

// The OS folder names of the package layout: "WIN7", "VISTA" and "WNET".
#define OS_FOLDER_NAME_COUNT 3
extern const char* const kOsFolderNames[OS_FOLDER_NAME_COUNT];

// The system folders below the Windows folder: the drivers' files and the
// INFs. Each ends in a backslash.
extern const char kSystemDriversSubfolder[];
extern const char kSystemInfSubfolder[];

// The OS folder name, the package sub-folder that a Windows version of the NT
// family reads: "WIN7" for 6.1 and any 7.x, "VISTA" for 6.0, "WNET" for 5.0,
// 5.1 and 5.2, and "" for every other version (Windows 8 and later read
// the package folder itself).
const char* OsFolderNameForVersion(unsigned long major, unsigned long minor);

#define VENDOR_PROVIDER_COUNT 6
#define VENDOR_SERVICE_COUNT 25
#define VENDOR_DRIVER_FILE_COUNT 22

// The mass-storage filter driver's file, recognised in the driver file list
// by this exact name (letter case included).
extern const char kFilterDriverFile[];

// The index of the filter driver's file among the first count names of a
// driver file list: the first name that is kFilterDriverFile exactly, or -1.
int FindFilterDriverIndex(const char* const names[], int count);

// Providers that mark an INF as the vendor's. Compared as whole strings,
// letter case included.
extern const char* const kVendorProviders[VENDOR_PROVIDER_COUNT];

// The vendor's services, in the order they are deleted. The four TD services
// stand in the table twice: each is attempted a second time. The filter
// service is the last entry: it is deleted only after the devices.
extern const char* const kVendorServices[VENDOR_SERVICE_COUNT];
#define FILTER_SERVICE_INDEX (VENDOR_SERVICE_COUNT - 1)

// The vendor's driver files in the system drivers folder, in deletion order.
// The filter driver's own file is not among them.
extern const char* const kVendorDriverFiles[VENDOR_DRIVER_FILE_COUNT];

// The registry records, under HKEY_LOCAL_MACHINE: the install flag (a DWORD 1
// under the key in the 32-bit programs' view, then the one in the 64-bit view)
// and the program's entry in the list of installed programs, whose key path
// ends in a backslash.
extern const char kInstallFlagKey32[];
extern const char kInstallFlagKey64[];
extern const char kInstallFlagValue[];
extern const char kUninstallEntryKey[];
// The uninstall entry's own version text ("DisplayVersion"); the run log
// announces the program's version, which is another text.
extern const char kUninstallDisplayVersion[];

#endif
