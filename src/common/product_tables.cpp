#include "common/product_tables.h"

#include <string.h>

#define PACKAGE_DRIVERS_FOLDER "Drivers"
#define PACKAGE_ARCHITECTURE_FOLDER "64bit"

const char kPackageFolderSuffix[] = "\\" PACKAGE_DRIVERS_FOLDER "\\" PACKAGE_ARCHITECTURE_FOLDER "\\";
const char kPackageDriversFolder[] = PACKAGE_DRIVERS_FOLDER;
const char kPackageArchitectureFolder[] = PACKAGE_ARCHITECTURE_FOLDER;

const char* const kOsFolderNames[OS_FOLDER_NAME_COUNT] = {"WIN7", "VISTA", "WNET"};

const char kSystemDriversSubfolder[] = "system32\\drivers\\";
const char kSystemInfSubfolder[] = "inf\\";

const char* OsFolderNameForVersion(unsigned long major, unsigned long minor) {
    if ((major == 6 && minor == 1) || major == 7) {
        return kOsFolderNames[0];
    }
    if (major == 6 && minor == 0) {
        return kOsFolderNames[1];
    }
    if (major == 5 && minor <= 2) {
        return kOsFolderNames[2];
    }
    return "";
}

const char kFilterDriverFile[] = "gorvel.sys";

int FindFilterDriverIndex(const char* const names[], int count) {
    for (int i = 0; names != nullptr && i < count; ++i) {
        if (names[i] != nullptr && strcmp(names[i], kFilterDriverFile) == 0) {
            return i;
        }
    }
    return -1;
}

const char* const kVendorProviders[VENDOR_PROVIDER_COUNT] = {
    "KWE Corporation",  "KWE Communication", "KWE Incorporated",
    "ZEFO Corporation", "ZEFO Incorporated", "ZEFO Communication",
};

const char* const kVendorServices[VENDOR_SERVICE_COUNT] = {
    "KWEusbnet",    "KWEusbser6k",    "KWEusbnmea",  "KWEusbmdm6k", "KWEusbnmeaext",
    "KWEusbdvbh",   "KWEusbvoice",    "USBKWECCID",  "ZEFOusbnet",  "ZEFOusbmdm6k",
    "ZEFOusbser6k", "ZEFOusbnmea",    "ZEFOdvbh",    "KWETDModem",  "KWETDNMEA",
    "KWETDDiag",    "KWETDSound",     "KWETDModem",  "KWETDNMEA",   "KWETDDiag",
    "KWETDSound",   "KWEGsmDataCard", "KWEGSMModem", "KWEGSMSound", "gorvel",
};

const char* const kVendorDriverFiles[VENDOR_DRIVER_FILE_COUNT] = {
    "KWEusbmdm6k.sys",  "KWEusbnmea.sys",   "KWEusbnmeaext.sys", "KWEusbser6k.sys",  "KWEusbccid.sys",
    "KWEusbnet.sys",    "ZEFODVBH.sys",     "ZEFOusbmdm6k.sys",  "ZEFOusbnet.sys",   "ZEFOusbnmea.sys",
    "ZEFOusbser6k.sys", "KWETDDiag.sys",    "KWETDModem.sys",    "KWETDNmea.sys",    "KWETDSound.sys",
    "KWECDMADiag.sys",  "KWECDMAModem.sys", "KWECDMANmea.sys",   "KWECDMASound.sys", "KWEGSMModem.sys",
    "KWEGSMSound.sys",  "kweusbgser.sys",
};

const char kInstallFlagKey32[] = "SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag";
const char kInstallFlagKey64[] = "SOFTWARE\\KWEUSBDriverFlag";
const char kInstallFlagValue[] = "IsDriverInstalled";
const char kUninstallEntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver\\";
const char kUninstallDisplayVersion[] = "1.0.1.14";
