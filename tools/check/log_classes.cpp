// The classification table of hallimor-check log and the system error
// texts it reads error numbers from. docs/log-verdicts.md lists the same
// table (a host test compares them); a rule changed here is changed there.
#include "log_classes.h"

#include <string_view>

const char kPowerKeyNotOpened[] = "Error: Opent Custom Key Failed\n";
const char kPowerSwitchNotWritten[] = "Error:  Set Key Value for powermagner Failed\n";
const char kPowerIdleTimeNotWritten[] = "Error:  Set Key Value for Suspend Idle Time Failed\n";
const char kPowerAllKeysFailed[] = "Set Registry For Preinstall All Failed \n";

namespace {

// Error numbers the expected entries name.
constexpr int64_t kFileNotFound = 2;              // ERROR_FILE_NOT_FOUND
constexpr int64_t kServiceDoesNotExist = 1060;    // ERROR_SERVICE_DOES_NOT_EXIST
constexpr int64_t kServiceMarkedForDelete = 1072; // ERROR_SERVICE_MARKED_FOR_DELETE
constexpr int64_t kWrongInfStyle = 0xE0000100;    // ERROR_WRONG_INF_STYLE
constexpr int64_t kSectionNotFound = 0xE0000101;  // ERROR_SECTION_NOT_FOUND
constexpr int64_t kLineNotFound = 0xE0000102;     // ERROR_LINE_NOT_FOUND
constexpr int64_t kNoSuchDevinst = 0xE000020B;    // ERROR_NO_SUCH_DEVINST

const char kForeignNoManufacturer[] =
    "a driver-store INF without a [Manufacturer] section (a class, filter or service INF of another "
    "product) names no device; the removal only compares first hardware IDs and leaves it alone";
const char kForeignDecoratedModels[] =
    "a driver-store INF whose [Manufacturer] line names its models section with a platform decoration "
    "(such as [Models.NTamd64]), as most 64-bit INFs of other vendors do; the removal reads the plain "
    "name only, finds no section and leaves the INF alone";
const char kPackageInfUnreadable[] =
    "the first hardware ID of this INF cannot be read: superseded copies of it in the driver store are "
    "never found and stay; for a package INF, check its [Manufacturer] line and undecorated models "
    "section";

const char kEjectToolNotStarted[] = "the disk-eject tool was not started";
const char kNoServiceManager[] =
    "no access to the service control manager (the run lacks administrative rights?): no service was deleted";
const char kServiceAbsent[] = "the service does not exist: the purge's table lists the services of every "
                              "product generation, a machine has only some";
const char kServiceDeletedBefore[] = "the table lists this service twice and the first attempt deleted it; "
                                     "it goes away when its last handle is closed or at the next restart";
const char kServiceNotOpened[] = "a service of the vendor could not be opened for deletion and stays";
const char kServiceNotDeleted[] = "a service of the vendor could not be deleted (marked for deletion by an "
                                  "earlier run: a restart is pending)";
const char kPackageFolderTooLong[] = "the package folder path is too long: the run ended with -1";

// The texts of Clean's service deletion, each the pattern of several rules.
const char kCantOpenService[] = "Can't open %s service!\n";
const char kCantDeleteService[] = "Can't delete %s service!\n";
const char kCantOpenManager[] = "Can't open service manager!\n";

// clang-format off

// The signature errors of SetupCopyOEMInfA and UpdateDriverForPlugAndPlayDevicesA: what to do.
const char kSigningHashMissing[] =
    "the package's catalog holds no hash of the INF or of a file it copies (changed or rebuilt after signing, or a catalog of another build): Windows refuses the INF; re-sign the package, and `hallimor-check package` names the file";
const char kSigningUnsigned[] =
    "the INF's catalog carries no signature that Windows accepts (it is missing, unsigned or not a catalog): Windows refuses the INF; sign the package (scripts/sign-package), and `hallimor-check package` says what is wrong with the catalog";
const char kSigningExpired[] =
    "the signer's certificate was not valid on the day of the install and the signature has no time stamp inside its validity: re-sign the package with a valid certificate and a time stamp";
const char kSigningUntrusted[] =
    "Windows does not trust the package's publisher on this machine (its root, or the publisher for a silent install): trust the publisher there (its certificate, by the thumbprint that `hallimor-check package` reports, in TrustedPublisher and its root in Root) or have the package signed by Microsoft";
const char kSigningOsMismatch[] =
    "the catalog was signed for other Windows versions (its OSAttr): re-sign it listing this version; `hallimor-check package` names the versions it lacks";

const std::vector<LogClassRule> kRules = {
    // Package scan: the start sequence ends with -1.
    {LOG_RULE_STEP, "FindFirstFile(sys)", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "no .sys file in the driver package folder (the folder is missing, the OS folder does not exist for "
     "this Windows version, or the package is empty): the run ended with -1 before anything was removed "
     "or installed"},
    {LOG_RULE_STEP, "FindFirstFile(inf)", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "no .inf file in the driver package folder: the run ended with -1 before anything was removed or "
     "installed"},

    // Superseded removal: first hardware IDs of driver-store and package INFs.
    {LOG_RULE_STEP, "SetupOpenInfFile\n", kWrongInfStyle, LOG_CONTEXT_OEM_INF, LOG_CLASS_EXPECTED,
     "a driver-store INF in an older INF style serves no device of this package; the removal only "
     "compares first hardware IDs and leaves it alone"},
    {LOG_RULE_STEP, "SetupOpenInfFile\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "an INF could not be opened: its first hardware ID is unknown, so the superseded removal cannot "
     "compare it"},
    {LOG_RULE_STEP, "SetupFindFirstLine ->[Manufacturer] ", kLineNotFound, LOG_CONTEXT_OEM_INF,
     LOG_CLASS_EXPECTED, kForeignNoManufacturer},
    {LOG_RULE_STEP, "SetupFindFirstLine ->[Manufacturer] ", kSectionNotFound, LOG_CONTEXT_OEM_INF,
     LOG_CLASS_EXPECTED, kForeignNoManufacturer},
    {LOG_RULE_STEP, "SetupFindFirstLine ->[Manufacturer] ", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kPackageInfUnreadable},
    {LOG_RULE_STEP, "SetupGetStringField -> [Manufacturer] ", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kPackageInfUnreadable},
    {LOG_RULE_STEP, "SetupFindFirstLine -> [Model] ", kLineNotFound, LOG_CONTEXT_OEM_INF, LOG_CLASS_EXPECTED,
     kForeignDecoratedModels},
    {LOG_RULE_STEP, "SetupFindFirstLine -> [Model] ", kSectionNotFound, LOG_CONTEXT_OEM_INF,
     LOG_CLASS_EXPECTED, kForeignDecoratedModels},
    {LOG_RULE_STEP, "SetupFindFirstLine -> [Model] ", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kPackageInfUnreadable},
    {LOG_RULE_STEP, "SetupGetStringField -> [Model] ", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kPackageInfUnreadable},
    {LOG_RULE_TEXT, "Error : Search Oem*.inf file \n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     "no driver-store INF named oem*.inf in the system INF folder, so nothing to compare or purge: "
     "Windows names third-party INFs oemN.inf, Wine keeps their own names, so under Wine every run "
     "writes this"},
    {LOG_RULE_TEXT, "Error : Path too long: %s%s\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a folder and a file name together are longer than 259 characters: that file was left as it is"},
    {LOG_RULE_STEP, "Remove ", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a superseded driver-store INF could not be deleted: the old driver stays in the driver store "
     "beside the new one"},
    {LOG_RULE_STEP, "Remove: ", kFileNotFound, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     "the superseded INF itself was deleted; its precompiled PNF file did not exist (Windows makes "
     "PNF files again when it needs them)"},
    {LOG_RULE_STEP, "Remove: ", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the superseded INF was deleted but its PNF file could not be"},
    {LOG_RULE_STEP, "Remove sysfile ", kFileNotFound, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     "no older copy of this driver file in the system drivers folder: nothing to remove"},
    {LOG_RULE_STEP, "Remove sysfile ", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the old copy of a driver file could not be deleted (in use, access denied, or a folder of that "
     "name): copying the new one will fail as well"},
    {LOG_RULE_STEP, "Remove Dllfile ", kFileNotFound, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     "the stale support library brommet.dll is not there: nothing to remove"},
    {LOG_RULE_STEP, "Remove Dllfile ", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the stale support library brommet.dll could not be deleted and stays in system32"},

    // Staging, preinstall and device binding.
    {LOG_RULE_STEP, "Copy SYS file to system folder\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a driver file could not be copied into the system drivers folder: staging stops there, this file "
     "and the ones after it are missing (its old copy is already deleted) and the flow installs no INF"},
    {LOG_RULE_TEXT, "Error: Path of %s is too long, not copied\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the path of a driver file is longer than 259 characters: staging stops there and the flow installs "
     "no INF"},
    {LOG_RULE_TEXT, "Copy sys file fail\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "staging failed at the file named before: the flow stopped, no INF was put into the driver store, no "
     "filter applied and no eject tool started"},
    {LOG_RULE_STEP, "Preinstall", 0xE000022F, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUnsigned}, // ERROR_NO_CATALOG_FOR_OEM_INF
    {LOG_RULE_STEP, "Preinstall", 0xE000023F, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUnsigned}, // ERROR_NO_AUTHENTICODE_CATALOG
    {LOG_RULE_STEP, "Preinstall", 0xE0000240, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // ERROR_AUTHENTICODE_DISALLOWED
    {LOG_RULE_STEP, "Preinstall", 0xE0000242, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED
    {LOG_RULE_STEP, "Preinstall", 0xE0000243, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // ERROR_AUTHENTICODE_PUBLISHER_NOT_TRUSTED
    {LOG_RULE_STEP, "Preinstall", 0xE0000244, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningOsMismatch}, // ERROR_SIGNATURE_OSATTRIBUTE_MISMATCH
    {LOG_RULE_STEP, "Preinstall", 0xE0000245, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // ERROR_ONLY_VALIDATE_VIA_AUTHENTICODE
    {LOG_RULE_STEP, "Preinstall", 0xE000024B, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningHashMissing}, // ERROR_FILE_HASH_NOT_IN_CATALOG
    {LOG_RULE_STEP, "Preinstall", 0x800B0100, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUnsigned}, // TRUST_E_NOSIGNATURE
    {LOG_RULE_STEP, "Preinstall", 0x800B0101, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningExpired}, // CERT_E_EXPIRED
    {LOG_RULE_STEP, "Preinstall", 0x800B0109, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // CERT_E_UNTRUSTEDROOT
    {LOG_RULE_STEP, "Preinstall", 0x800B010A, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // CERT_E_CHAINING
    {LOG_RULE_STEP, "Preinstall", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "an INF could not be put into the driver store: devices of its models will not find the driver"},
    {LOG_RULE_TEXT, "Error: Path of %s is too long, not preinstalled\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "the path of an INF is longer than 259 characters: it was not put into the driver store"},
    {LOG_RULE_STEP, "UpdateDriver", kNoSuchDevinst, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     "no device with this model line's hardware ID is plugged in: Install tries every model line of "
     "every INF, so every line but those of the present devices ends this way"},
    {LOG_RULE_STEP, "UpdateDriver", 0xE000022F, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUnsigned}, // ERROR_NO_CATALOG_FOR_OEM_INF
    {LOG_RULE_STEP, "UpdateDriver", 0xE000023F, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUnsigned}, // ERROR_NO_AUTHENTICODE_CATALOG
    {LOG_RULE_STEP, "UpdateDriver", 0xE0000240, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // ERROR_AUTHENTICODE_DISALLOWED
    {LOG_RULE_STEP, "UpdateDriver", 0xE0000242, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED
    {LOG_RULE_STEP, "UpdateDriver", 0xE0000243, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // ERROR_AUTHENTICODE_PUBLISHER_NOT_TRUSTED
    {LOG_RULE_STEP, "UpdateDriver", 0xE0000244, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningOsMismatch}, // ERROR_SIGNATURE_OSATTRIBUTE_MISMATCH
    {LOG_RULE_STEP, "UpdateDriver", 0xE0000245, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // ERROR_ONLY_VALIDATE_VIA_AUTHENTICODE
    {LOG_RULE_STEP, "UpdateDriver", 0xE000024B, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningHashMissing}, // ERROR_FILE_HASH_NOT_IN_CATALOG
    {LOG_RULE_STEP, "UpdateDriver", 0x800B0100, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUnsigned}, // TRUST_E_NOSIGNATURE
    {LOG_RULE_STEP, "UpdateDriver", 0x800B0101, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningExpired}, // CERT_E_EXPIRED
    {LOG_RULE_STEP, "UpdateDriver", 0x800B0109, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // CERT_E_UNTRUSTEDROOT
    {LOG_RULE_STEP, "UpdateDriver", 0x800B010A, LOG_CONTEXT_ANY, LOG_CLASS_REAL, kSigningUntrusted}, // CERT_E_CHAINING
    {LOG_RULE_STEP, "UpdateDriver", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a plugged-in device could not be bound to the package's driver"},
    {LOG_RULE_TEXT, "Error:Open %s file fail\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a package INF could not be opened to read its models: no device was bound to it"},
    {LOG_RULE_TEXT, "Error:does not contain any device descriptions\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "a package INF has no [Manufacturer] section: no device was bound to it"},
    {LOG_RULE_TEXT, "Error: skipping invalid description [Manufacturer]\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "the [Manufacturer] line of a package INF names no models section: no device was bound"},
    {LOG_RULE_TEXT, "Error: %s does not contain any device descriptions [%s]\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL,
     "the models section that a package INF names does not exist under that plain name: no device was "
     "bound to it"},
    {LOG_RULE_TEXT, "Error: Skipping invalid description\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a model line of a package INF has no hardware ID: that line binds no device"},
    {LOG_RULE_TEXT, "Error: lantrope.exe not started, its path is too long\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, kEjectToolNotStarted},
    {LOG_RULE_TEXT, "Error: lantrope.exe not started, the program folder is unknown\n", kAnyError,
     LOG_CONTEXT_ANY, LOG_CLASS_REAL, kEjectToolNotStarted},

    // Shadow-copy suspension (Windows Vista).
    {LOG_RULE_TEXT, "LocalAlloc Failed", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "out of memory while the service database was locked by another program: the shadow-copy service "
     "was not suspended"},
    {LOG_RULE_TEXT, "Could not lock database", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "another program held the service database lock: the shadow-copy service was not suspended, or "
     "(after the preinstall) keeps the disabled start type"},
    {LOG_RULE_TEXT, " Get Original Value Failed\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the shadow-copy service's start type could not be read: it is given demand start afterwards"},
    {LOG_RULE_TEXT, "QueryServiceConfig() Failsed\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the shadow-copy service's configuration could not be read: it is given demand start afterwards"},

    // Mass-storage filter.
    {LOG_RULE_TEXT, "Can't open service manager\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "no access to the service control manager: the filter service was not created"},
    {LOG_RULE_TEXT, "Can't create [gorvel] service\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the filter service could not be created: the storage function's lower filter names a driver "
     "without a service"},
    {LOG_RULE_TEXT, "Set LOWERFILTERS failed!\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the lower filter could not be set on a storage device: the filter is not in force on it"},
    {LOG_RULE_STEP, "RegOpenKeyEx\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a key for the filter flag could not be opened or created: the flag was not written"},
    {LOG_RULE_STEP, "RegSetValueEx\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a registry value (the filter flag, the install flag or a value of the uninstall entry) could not "
     "be written"},

    // Device removal.
    {LOG_RULE_STEP, "GetClassDevs(All Present Devices)\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the list of USB devices could not be obtained: devices of this hardware ID were not removed"},
    {LOG_RULE_STEP, "GetDeviceRegistryProperty\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a device's hardware IDs could not be read: the rest of the devices were not looked at for this ID"},
    {LOG_RULE_STEP, "CallClassInstaller(REMOVE)", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a device of the vendor could not be removed"},
    {LOG_RULE_STEP, "EnumDeviceInfo\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the device enumeration ended with an error: later devices were not looked at"},
    {LOG_RULE_TEXT, "Refused to remove devices: %s\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the device removal was given no hardware ID or one shorter than the vendor prefix, and removed "
     "nothing rather than every device"},

    // Vendor purge (Clean).
    {LOG_RULE_TEXT, "Open %s fail!\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a driver-store INF could not be opened to read its provider: if it is the vendor's, it stays"},
    {LOG_RULE_TEXT, "error: %s does not contain any device descriptions\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_EXPECTED,
     "a driver-store INF without a Provider entry in [Version] is another vendor's (the vendor's INFs "
     "all name their provider); it stays, as it should"},
    {LOG_RULE_TEXT, "Error: skipping invalid description [Version]\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "the provider of a driver-store INF could not be read: if it is the vendor's, it stays"},
    {LOG_RULE_TEXT, kCantOpenManager, kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kNoServiceManager, "OpenSCManager\n"},
    {LOG_RULE_STEP, "OpenSCManager\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kNoServiceManager},
    {LOG_RULE_TEXT, kCantOpenService, kServiceDoesNotExist, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     kServiceAbsent, "OpenService"},
    {LOG_RULE_STEP, "OpenService", kServiceDoesNotExist, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     kServiceAbsent},
    {LOG_RULE_TEXT, kCantOpenService, kServiceMarkedForDelete, LOG_CONTEXT_SERVICE_AGAIN,
     LOG_CLASS_EXPECTED,
     kServiceDeletedBefore, "OpenService"},
    {LOG_RULE_STEP, "OpenService", kServiceMarkedForDelete, LOG_CONTEXT_SERVICE_AGAIN, LOG_CLASS_EXPECTED,
     kServiceDeletedBefore},
    {LOG_RULE_TEXT, kCantOpenService, kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kServiceNotOpened, "OpenService"},
    {LOG_RULE_STEP, "OpenService", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kServiceNotOpened},
    {LOG_RULE_TEXT, kCantDeleteService, kServiceMarkedForDelete, LOG_CONTEXT_SERVICE_AGAIN,
     LOG_CLASS_EXPECTED,
     kServiceDeletedBefore, "DeleteService"},
    {LOG_RULE_STEP, "DeleteService", kServiceMarkedForDelete, LOG_CONTEXT_SERVICE_AGAIN, LOG_CLASS_EXPECTED,
     kServiceDeletedBefore},
    {LOG_RULE_TEXT, kCantDeleteService, kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kServiceNotDeleted, "DeleteService"},
    {LOG_RULE_STEP, "DeleteService", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     kServiceNotDeleted},
    {LOG_RULE_STEP, "Error:", kFileNotFound, LOG_CONTEXT_DRIVER_FILE, LOG_CLASS_EXPECTED,
     "the purge's driver file table names the files of every product generation; a machine holds only "
     "some"},
    {LOG_RULE_STEP, "Error:", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "a file of the vendor (a driver-store INF or a driver file) could not be deleted and stays"},

    // Install flag, uninstall entry and power-management settings.
    {LOG_RULE_TEXT, "Get current exe directory fail!\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the program's own folder is unknown: the uninstall entry was not written"},
    {LOG_RULE_TEXT, "Program path too long, uninstall entry not written!\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "the program's path is too long for the entry's values: the uninstall entry was not "
     "written"},
    {LOG_RULE_STEP, "RegCreateKeyEx\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the install flag or the uninstall entry could not be created: a detection rule on it finds nothing"},
    {LOG_RULE_STEP, "RegDeleteKey\n", kFileNotFound, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     "the uninstall entry or install flag was never written (Install writes neither, Preinstall_cu and "
     "Preinstall_BYT only the entry, Preinstall and Preinstall_f only the flag): nothing to delete; after "
     "a failed flag key the second one is not tried"},
    {LOG_RULE_STEP, "RegDeleteKey\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the uninstall entry or install flag exists but could not be deleted (it has subkeys, or access was "
     "denied): a detection rule on it still finds it"},
    {LOG_RULE_TEXT, kPowerKeyNotOpened, kAnyError, LOG_CONTEXT_POWER_OPEN_ONLY, LOG_CLASS_EXPECTED,
     "the modem driver's service key does not exist: no device of this function has been installed on the "
     "machine (a preinstall binds none), so there is nothing to write the power-management values on; a "
     "device installed later runs with the driver's own power defaults"},
    {LOG_RULE_TEXT, kPowerKeyNotOpened, kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the driver's service key could not be opened, and a value could not be written on another key of "
     "the same step, so the keys are refused rather than missing: its power-management values are not "
     "written"},
    {LOG_RULE_TEXT, kPowerSwitchNotWritten, kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the power-management value could not be written on the driver's service key"},
    {LOG_RULE_TEXT, kPowerIdleTimeNotWritten, kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the selective-suspend idle time could not be written on the driver's service key"},
    {LOG_RULE_TEXT, kPowerAllKeysFailed, kAnyError, LOG_CONTEXT_POWER_OPEN_ONLY, LOG_CLASS_EXPECTED,
     "none of the three modem drivers' service keys exists, as on every machine where no handset of the "
     "vendor has been installed: no power-management value was written"},
    {LOG_RULE_TEXT, kPowerAllKeysFailed, kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "no modem driver got its power-management values, and some key failed at a value's write"},
    {LOG_RULE_TEXT, "Error: Open Custome Key-- %s -- Failed\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     "the service key does not exist because the driver is not installed: no values to delete"},
    {LOG_RULE_TEXT, "Warning: Delete Key Value %s Failed\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_EXPECTED,
     "the value was never written (only Preinstall_cfg writes the power values, and nothing of the system "
     "writes the \"gorvel\" value of the filter's service key): nothing to delete"},

    // Run sequence.
    {LOG_RULE_TEXT, "Get OS version failed!\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the Windows version could not be classified: the package is searched in the folder of whatever OS "
     "folder name stands"},
    {LOG_RULE_TEXT, "Error: Couldn't find the system folder\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the Windows folder is unknown: the run ended with -1 before any change"},
    {LOG_RULE_TEXT, "Error : The system folder path is longer than %d characters\n", kAnyError,
     LOG_CONTEXT_ANY, LOG_CLASS_REAL, "the Windows folder path is too long: the run ended with -1 before any change"},
    {LOG_RULE_TEXT, "Error : The length of system folder is ZERO\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "the Windows folder is empty: the run ended with -1 before any change"},
    {LOG_RULE_TEXT, "Error : Get windows driver directory fail\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the system folders could not be determined: the run ended with -1 before any change"},
    {LOG_RULE_TEXT, "Error : The program path is longer than %d characters\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "the program's path is too long: the package was not scanned and the run ended with -1"},
    {LOG_RULE_TEXT, "Error : The driver package folder path is longer than %d characters\n", kAnyError,
     LOG_CONTEXT_ANY, LOG_CLASS_REAL, kPackageFolderTooLong},
    {LOG_RULE_TEXT, "Error : The search path for %s files is longer than %d characters\n", kAnyError,
     LOG_CONTEXT_ANY, LOG_CLASS_REAL, kPackageFolderTooLong},
    {LOG_RULE_TEXT, "Error : The file name %.*s is longer than %d characters\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "a package file name is longer than the list holds: the run ended with -1"},
    {LOG_RULE_TEXT, "Error : The driver package holds more than %d %s files\n", kAnyError, LOG_CONTEXT_ANY,
     LOG_CLASS_REAL, "the package holds more files than the lists hold: the run ended with -1"},
    {LOG_RULE_TEXT, "Error:Search sys file %d; inf file %d\n", kAnyError, LOG_CONTEXT_ANY, LOG_CLASS_REAL,
     "the package scan failed (see the record before): the run ended with -1 before anything was removed "
     "or installed"},
};

// The records of progress, in the order of lookup (the first whose format
// writes a record decides).
const std::vector<LogProgressRule> kProgress = {
    {"Directory : %s\n", LOG_PROGRESS_PACKAGE_FOLDER, true},
    {"INFO: Preinstalling %s\n", LOG_PROGRESS_PREINSTALLING, true},
    {"Updating %s\n", LOG_PROGRESS_UPDATING, true},
    {"Delete %s service success! \n", LOG_PROGRESS_SERVICE_DELETED, true},
    {"Change file attributes: %s\n", LOG_PROGRESS_ATTRIBUTES, true},
    {"Delete: %s\n", LOG_PROGRESS_DELETING, true},
    {"Remove: %s success!\n", LOG_PROGRESS_INF_REMOVED, true},
    {"Found [%s] from %s\n", LOG_PROGRESS_FIRST_ID, false},
    {"Copy %s to %s\n", LOG_PROGRESS_FILE_COPIED, false},
    {"Remove: %s Success!\n", LOG_PROGRESS_DRIVER_FILE_GONE, true},
    {"Set Registry For Preinstall Start... \n", LOG_PROGRESS_POWER_SETTINGS, false},
    {"Opent And Set CustomKey Start for %s \n", LOG_PROGRESS_POWER_KEY, true},
};

// The system texts of the errors the installer meets, by which a record's
// text gives its error number.
struct SystemErrorText {
    uint32_t code;
    const char* name;        // ERROR_FILE_NOT_FOUND
    const char* windowsText; // the English text of Windows, without its line end
    const char* wineText;    // Wine's English text, or nullptr when Wine has none
};

const std::vector<SystemErrorText> kTexts = {
    {0, "ERROR_SUCCESS", "The operation completed successfully.", "Success."},
    {2, "ERROR_FILE_NOT_FOUND", "The system cannot find the file specified.", "File not found."},
    {3, "ERROR_PATH_NOT_FOUND", "The system cannot find the path specified.", "Path not found."},
    {5, "ERROR_ACCESS_DENIED", "Access is denied.", "Access denied."},
    {6, "ERROR_INVALID_HANDLE", "The handle is invalid.", "Invalid handle."},
    {8, "ERROR_NOT_ENOUGH_MEMORY", "Not enough storage is available to process this command.",
     "Not enough memory."},
    // The same error as newer Windows versions word it.
    {8, "ERROR_NOT_ENOUGH_MEMORY", "Not enough memory resources are available to process this command.",
     nullptr},
    {13, "ERROR_INVALID_DATA", "The data is invalid.", "Invalid data."},
    {18, "ERROR_NO_MORE_FILES", "There are no more files.", "No more files."},
    {32, "ERROR_SHARING_VIOLATION",
     "The process cannot access the file because it is being used by another process.", "Sharing violation."},
    {80, "ERROR_FILE_EXISTS", "The file exists.", "File exists."},
    {87, "ERROR_INVALID_PARAMETER", "The parameter is incorrect.", "Invalid parameter."},
    {112, "ERROR_DISK_FULL", "There is not enough space on the disk.", "Disk full."},
    {122, "ERROR_INSUFFICIENT_BUFFER", "The data area passed to a system call is too small.",
     "Insufficient buffer."},
    {123, "ERROR_INVALID_NAME", "The filename, directory name, or volume label syntax is incorrect.",
     "Invalid name."},
    {183, "ERROR_ALREADY_EXISTS", "Cannot create a file when that file already exists.", "File already exists."},
    {206, "ERROR_FILENAME_EXCED_RANGE", "The filename or extension is too long.", "File name is too long."},
    {225, "ERROR_VIRUS_INFECTED",
     "Operation did not complete successfully because the file contains a virus or potentially unwanted "
     "software.",
     nullptr},
    {259, "ERROR_NO_MORE_ITEMS", "No more data is available.", "No more data available."},
    {267, "ERROR_DIRECTORY", "The directory name is invalid.", "Directory name invalid."},
    {1051, "ERROR_DEPENDENT_SERVICES_RUNNING",
     "A stop control has been sent to a service that other running services are dependent on.",
     "Dependent services are running."},
    {1052, "ERROR_INVALID_SERVICE_CONTROL", "The requested control is not valid for this service.",
     "Invalid service control."},
    {1055, "ERROR_SERVICE_DATABASE_LOCKED", "The service database is locked.", "Service database locked."},
    {1056, "ERROR_SERVICE_ALREADY_RUNNING", "An instance of the service is already running.",
     "Service already running."},
    {1058, "ERROR_SERVICE_DISABLED",
     "The service cannot be started, either because it is disabled or because it has no enabled devices "
     "associated with it.",
     "Service is disabled."},
    {1060, "ERROR_SERVICE_DOES_NOT_EXIST", "The specified service does not exist as an installed service.",
     "Service does not exist."},
    {1061, "ERROR_SERVICE_CANNOT_ACCEPT_CTRL", "The service cannot accept control messages at this time.",
     "Service cannot accept control message."},
    {1062, "ERROR_SERVICE_NOT_ACTIVE", "The service has not been started.", "Service not active."},
    {1072, "ERROR_SERVICE_MARKED_FOR_DELETE", "The specified service has been marked for deletion.",
     "Service marked for delete."},
    {1073, "ERROR_SERVICE_EXISTS", "The specified service already exists.", "Service exists."},
    {1115, "ERROR_SHUTDOWN_IN_PROGRESS", "A system shutdown is in progress.", "Shutdown in progress."},
    {1168, "ERROR_NOT_FOUND", "Element not found.", "Element not found."},
    {1314, "ERROR_PRIVILEGE_NOT_HELD", "A required privilege is not held by the client.", "Privilege not held."},
    {1392, "ERROR_FILE_CORRUPT", "The file or directory is corrupted and unreadable.",
     "File or directory corrupt."},
    {740, "ERROR_ELEVATION_REQUIRED", "The requested operation requires elevation.", nullptr},
    // SetupAPI's errors: Windows has texts for them, Wine none (its records
    // carry the number).
    {0xE0000100, "ERROR_WRONG_INF_STYLE", "The style of the INF is different than what was requested.", nullptr},
    {0xE0000101, "ERROR_SECTION_NOT_FOUND", "The required section was not found in the INF.", nullptr},
    {0xE0000102, "ERROR_LINE_NOT_FOUND", "The required line was not found in the INF.", nullptr},
    {0xE0000203, "ERROR_NO_DRIVER_SELECTED",
     "There is no driver selected for the device information set or element.", nullptr},
    {0xE000020B, "ERROR_NO_SUCH_DEVINST", "The device instance does not exist in the hardware tree.", nullptr},
    {0xE0000219, "ERROR_NO_ASSOCIATED_SERVICE",
     "The installation failed because a function driver was not specified for this device instance.",
     nullptr},
    {0xE0000228, "ERROR_NO_COMPAT_DRIVERS", "There are no compatible drivers for this device.", nullptr},
    {0xE000022B, "ERROR_DI_DONT_INSTALL",
     "The class installer has denied the request to install or upgrade this device.", nullptr},
    {0xE0000235, "ERROR_IN_WOW64", nullptr, nullptr},
    {0xE0000247, "ERROR_DRIVER_STORE_ADD_FAILED", nullptr, nullptr},
    // The signature errors: Windows' texts where they were confirmed, Wine none.
    {0xE000022F, "ERROR_NO_CATALOG_FOR_OEM_INF", "The third-party INF does not contain digital signature information.", nullptr},
    {0xE000023F, "ERROR_NO_AUTHENTICODE_CATALOG", nullptr, nullptr},
    {0xE0000240, "ERROR_AUTHENTICODE_DISALLOWED", nullptr, nullptr},
    {0xE0000242, "ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED", "The publisher of an Authenticode(tm) signed catalog has not yet been established as trusted.", nullptr},
    {0xE0000243, "ERROR_AUTHENTICODE_PUBLISHER_NOT_TRUSTED", "The publisher of an Authenticode(tm) signed catalog was not established as trusted.", nullptr},
    {0xE0000244, "ERROR_SIGNATURE_OSATTRIBUTE_MISMATCH", nullptr, nullptr},
    {0xE0000245, "ERROR_ONLY_VALIDATE_VIA_AUTHENTICODE", nullptr, nullptr},
    {0xE000024B, "ERROR_FILE_HASH_NOT_IN_CATALOG", "The hash for the file is not present in the specified catalog file. The file is likely corrupt or the victim of tampering.", nullptr},
    {0x800B0100, "TRUST_E_NOSIGNATURE", "No signature was present in the subject.", nullptr},
    {0x800B0101, "CERT_E_EXPIRED", "A required certificate is not within its validity period when verifying against the current system clock or the timestamp in the signed file.", nullptr},
    {0x800B0109, "CERT_E_UNTRUSTEDROOT", "A certificate chain processed, but terminated in a root certificate which is not trusted by the trust provider.", nullptr},
    {0x800B010A, "CERT_E_CHAINING", "A certificate chain could not be built to a trusted root authority.", nullptr},
};
// clang-format on

std::string_view TrimLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    return text;
}

bool ParseHexCode(std::string_view text, uint32_t* code) {
    // "(0x" eight hexadecimal digits ")", exactly as the installer prints.
    if (text.size() != 12 || text.substr(0, 3) != "(0x" || text[11] != ')') {
        return false;
    }
    uint32_t value = 0;
    for (size_t i = 3; i < 11; ++i) {
        char c = text[i];
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else {
            return false;
        }
        value = value * 16u + digit;
    }
    *code = value;
    return true;
}

// The rules of a kind whose pattern begins with the character c, in table
// order: most records are passed over at their first character.
const std::vector<const LogClassRule*>& RulesBeginning(LogRuleKind kind, char c) {
    static const std::vector<std::vector<const LogClassRule*>> kByFirst = [] {
        std::vector<std::vector<const LogClassRule*>> byFirst(2 * 256);
        for (const LogClassRule& rule : kRules) {
            byFirst[static_cast<size_t>(rule.kind) * 256 + static_cast<unsigned char>(rule.pattern[0])]
                .push_back(&rule);
        }
        return byFirst;
    }();
    return kByFirst[static_cast<size_t>(kind) * 256 + static_cast<unsigned char>(c)];
}

bool Fits(const LogClassRule& rule, int64_t error, LogContext context) {
    return (rule.error == kAnyError || rule.error == error) &&
           (rule.context == LOG_CONTEXT_ANY || rule.context == context);
}

// Whether format, from its start, writes the whole of text. A conversion
// (%s, %d, %.*s) takes as few characters as lets the rest match; fields,
// unless null, receives the text of each conversion.
bool MatchFrom(std::string_view format, std::string_view text, std::vector<std::string_view>* fields) {
    while (!format.empty()) {
        // The plain text up to the next conversion; most texts differ from
        // a format within its first characters.
        size_t plain = 0;
        while (plain < format.size() && format[plain] != '%') {
            if (plain >= text.size() || text[plain] != format[plain]) {
                return false;
            }
            ++plain;
        }
        format.remove_prefix(plain);
        text.remove_prefix(plain);
        if (format.empty()) {
            return text.empty();
        }
        size_t conversion = 0;
        if (format.substr(0, 2) == "%s" || format.substr(0, 2) == "%d") {
            conversion = 2;
        } else if (format.substr(0, 4) == "%.*s") {
            conversion = 4;
        }
        if (conversion == 0) {
            // A '%' that begins no conversion stands for itself.
            if (text.empty() || text.front() != '%') {
                return false;
            }
            format.remove_prefix(1);
            text.remove_prefix(1);
            continue;
        }
        std::string_view rest = format.substr(conversion);
        size_t before = fields != nullptr ? fields->size() : 0;
        if (fields != nullptr) {
            fields->push_back(std::string_view());
        }
        // Where the rest begins with a plain character, only the places that
        // hold that character can end the conversion.
        bool literal = !rest.empty() && rest[0] != '%';
        for (size_t taken = 0; taken <= text.size(); ++taken) {
            if (literal) {
                taken = text.find(rest[0], taken);
                if (taken == std::string_view::npos) {
                    break;
                }
            }
            if (fields != nullptr) {
                fields->resize(before + 1);
                (*fields)[before] = text.substr(0, taken);
            }
            if (MatchFrom(rest, text.substr(taken), fields)) {
                return true;
            }
        }
        if (fields != nullptr) {
            fields->resize(before);
        }
        return false;
    }
    return text.empty();
}

} // namespace

const std::vector<LogClassRule>& LogClassRules() {
    return kRules;
}

const LogClassRule* FindStepRule(std::string_view step, int64_t error, LogContext context) {
    if (step.empty()) {
        return nullptr;
    }
    for (const LogClassRule* rule : RulesBeginning(LOG_RULE_STEP, step.front())) {
        if (step == rule->pattern && Fits(*rule, error, context)) {
            return rule;
        }
    }
    return nullptr;
}

const LogClassRule* FindTextRule(std::string_view message, int64_t error, LogContext context) {
    if (message.empty()) {
        return nullptr;
    }
    for (const LogClassRule* rule : RulesBeginning(LOG_RULE_TEXT, message.front())) {
        if (Fits(*rule, error, context) && MatchesFormat(rule->pattern, message)) {
            return rule;
        }
    }
    return nullptr;
}

bool IsFixedText(std::string_view message) {
    if (message.empty()) {
        return false;
    }
    for (const LogClassRule* rule : RulesBeginning(LOG_RULE_TEXT, message.front())) {
        if (MatchesFormat(rule->pattern, message)) {
            return true;
        }
    }
    return false;
}

bool MatchesFormat(const char* format, std::string_view text) {
    return MatchFrom(format, text, nullptr);
}

bool MatchFormatFields(const char* format, std::string_view text, std::vector<std::string_view>* fields) {
    fields->clear();
    return MatchFrom(format, text, fields);
}

const std::vector<LogProgressRule>& LogProgressRules() {
    return kProgress;
}

bool ErrorFromFailureText(std::string_view text, uint32_t* code) {
    if (ParseHexCode(text, code)) {
        return true;
    }
    std::string_view trimmed = TrimLineEnd(text);
    if (trimmed.empty()) {
        return false;
    }
    for (const SystemErrorText& entry : kTexts) {
        if ((entry.windowsText != nullptr && entry.windowsText[0] == trimmed[0] &&
             trimmed == entry.windowsText) ||
            (entry.wineText != nullptr && entry.wineText[0] == trimmed[0] && trimmed == entry.wineText)) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

const char* SystemErrorName(uint32_t code) {
    for (const SystemErrorText& entry : kTexts) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return nullptr;
}
