// The simulated Windows machine: an in-memory model of the files, registry,
// services, devices, driver store and INF files that the installer works on,
// implementing the Windows operations of src/platform on the host. It keeps a
// journal of every platform call and can make any call fail on demand.
// Test support only; it is never shipped.
#ifndef HALLIMOR_TESTS_MACHINE_MACHINE_H
#define HALLIMOR_TESTS_MACHINE_MACHINE_H

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

// ---------------------------------------------------------------- the model

struct FileEntry {
    std::string path; // full path as created, e.g. "C:\\Windows\\inf\\oem3.inf"
    bool isDirectory = false;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE; // FILE_ATTRIBUTE_DIRECTORY is added for folders
    std::string data;
    // A symbolic link (a reparse point) to this full path; "" for a plain
    // file or folder. Opening a link reaches its target unless the open asks
    // for the reparse point itself.
    std::string linkTarget;
    // Names of one file share a non-zero group: their data is the same.
    int hardLinkGroup = 0;
    std::string shortName; // the 8.3 name made at creation ("KWENET~1.SYS"), "" when none
};

struct RegValue {
    std::string name; // as written; looked up case-insensitively
    DWORD type = REG_NONE;
    std::string data; // raw bytes
};

struct RegKey {
    std::string path; // under HKLM, as created, no trailing backslash
    std::vector<RegValue> values;
};

struct Service {
    std::string name;
    std::string displayName;
    std::string binaryPath;
    DWORD type = SERVICE_KERNEL_DRIVER;
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    bool running = false;
    bool acceptsStop = true;      // a running service that refuses stop requests when false
    bool markedForDelete = false; // deleted while handles were open
    int stopRequests = 0;         // SERVICE_CONTROL_STOP requests received
};

struct Device {
    DWORD devInst = 0;      // unique number, also SP_DEVINFO_DATA.DevInst
    std::string instanceId; // e.g. "USB\\VID_3E1F&PID_C301\\6&1&0&1"
    std::string enumerator; // first component of the instance ID ("USB")
    bool present = true;    // plugged in
    bool hasHardwareIds = true;
    std::string hardwareIds; // raw SPDRP_HARDWAREID bytes (a multi-string, or anything)
    bool hasCompatibleIds = false;
    std::string compatibleIds; // raw SPDRP_COMPATIBLEIDS bytes
    bool hasLowerFilters = false;
    std::string lowerFilters; // raw bytes as last written
    bool hasFriendlyName = false;
    std::string friendlyName; // raw bytes as last written
    bool hasConfigFlags = false;
    DWORD configFlags = 0;
    std::string boundInf; // INF path the driver was last updated from
    int updateCount = 0;  // successful UpdateDriverForPlugAndPlayDevicesA bindings
    bool inUse = false;   // its driver cannot be replaced before a restart
    // What CM_Get_DevNode_Status reports for it while it is present: the DN_
    // status bits, and the CM_PROB_ problem when DN_HAS_PROBLEM is set.
    DWORD status = DN_DRIVER_LOADED | DN_STARTED;
    DWORD problem = 0;
};

// An INF in the driver store, put there by SetupCopyOEMInfA.
struct DriverStoreEntry {
    std::string oemName;    // "oem3.inf"
    std::string sourcePath; // the path it was copied from
    std::string content;
};

// One platform call, as made by the product.
struct Call {
    std::string name;                   // "RegSetValueExA"
    std::vector<std::string> arguments; // each rendered as text: strings quoted, NULL for null
                                        // pointers, "ptr" for others, numbers in decimal
    std::string args;                   // the arguments joined with ", "
};

struct Clock {
    SYSTEMTIME time;
};

struct VersionInfo {
    DWORD major = 6, minor = 1, build = 7601, platformId = VER_PLATFORM_WIN32_NT;
    std::string csdVersion = "Service Pack 1";
    WORD servicePackMajor = 1, servicePackMinor = 0;
    WORD suiteMask = VER_SUITE_TERMINAL;
    BYTE productType = VER_NT_WORKSTATION;
    WORD processorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    bool extendedRecordAvailable = true;  // the 156-byte query succeeds
    bool basicRecordAvailable = true;     // the 148-byte query succeeds
    bool nativeSystemInfoExported = true; // GetProcAddress finds GetNativeSystemInfo
};

struct Machine {
    std::string windowsDirectory; // "" makes GetWindowsDirectoryA fail
    std::string exePath;          // what GetModuleFileNameA(NULL) gives
    VersionInfo version;
    Clock clock;
    std::map<std::string, FileEntry> files;  // key: normalised upper-case path
    std::map<std::string, RegKey> registry;  // key: upper-case path under HKLM
    std::map<std::string, Service> services; // key: upper-case name
    std::vector<Device> devices;             // in enumeration order
    std::vector<DriverStoreEntry> driverStore;
    bool databaseLockedByOther = false;
    std::string databaseLockOwner;
    DWORD databaseLockSeconds = 0;
    std::vector<std::string> executed; // WinExec command lines, in order
    std::vector<UINT> executedShow;    // their show commands
    std::vector<Call> journal;
    DWORD lastError = 0;
    std::string shortNameDrives = "C"; // the volumes that make 8.3 names (drive letters)
    std::string linkNewFilesInto;      // a folder where each file CreateFileA makes gets a second name
};

// The machine the platform operations act on.
Machine& M();

// ------------------------------------------------------------ building a machine

// A fresh 64-bit Windows 7 SP1 workstation: folders C:\Windows, its System32,
// System32\drivers, inf and Temp; the program at C:\Setup\Hallimor_x64.exe;
// registry keys SOFTWARE, SYSTEM\CurrentControlSet\Services, ...\Enum and
// ...\Control\ProductOptions (ProductType "WinNT"); no services, no devices;
// the clock at 2009/3/7 9:05:02; an empty journal; no faults.
void Reset();

void SetWindowsVersion(DWORD major, DWORD minor, DWORD build, const std::string& csdVersion,
                       BYTE productType = VER_NT_WORKSTATION, WORD suiteMask = 0,
                       WORD processorArchitecture = PROCESSOR_ARCHITECTURE_AMD64);
void SetWindowsDirectory(const std::string& folder); // "" makes GetWindowsDirectoryA fail
void SetExePath(const std::string& path);            // also creates the file and its folder
void SetLocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);

// Files and folders. Paths are Windows paths; parents are created as needed.
void AddDirectory(const std::string& path);
void AddFile(const std::string& path, const std::string& data = "",
             DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
void RemovePath(const std::string& path); // a file, or a folder with everything below it
// A symbolic link at path to target (which need not exist), as an ordinary
// user can leave one in a folder open to everybody.
void AddSymbolicLink(const std::string& path, const std::string& target);
// A second name, path, for the existing file existingPath.
void AddHardLink(const std::string& path, const std::string& existingPath);
// From now on every file that CreateFileA creates gets a second name in
// folder at once, as another user's program could give it between the file's
// creation and any check of it.
void LinkNewFilesInto(const std::string& folder);
// Whether the volume of the drive letter makes 8.3 short names for the
// files created on it from now on (on for C: only, as for a system volume).
// A search matches a name by its short name too: "*.sys" finds
// "kwenet.sys_old" (KWENET~1.SYS).
void SetShortNames(char drive, bool on);
std::string ShortName(const std::string& path); // "" when the file has none
bool FileExists(const std::string& path);       // files and folders
std::string FileData(const std::string& path);
DWORD FileAttributes(const std::string& path);                  // INVALID_FILE_ATTRIBUTES when missing
std::vector<std::string> ListFolder(const std::string& folder); // names, in NTFS order

// Well-known folders of this machine, each ending in a backslash.
std::string WindowsFolder();                                // "C:\\Windows\\"
std::string SystemDriversFolder();                          // "C:\\Windows\\system32\\drivers\\"
std::string InfFolder();                                    // "C:\\Windows\\inf\\"
std::string ExeFolder();                                    // "C:\\Setup\\"
std::string PackageFolder(const std::string& osFolderName); // ExeFolder + "Drivers\\64bit\\" + name + "\\"
void AddPackageFile(const std::string& osFolderName, const std::string& name, const std::string& data = "");

// Registry, under HKEY_LOCAL_MACHINE. Key paths without the root.
void AddRegKey(const std::string& keyPath);
void SetRegValue(const std::string& keyPath, const std::string& name, DWORD type, const std::string& data);
void SetRegDword(const std::string& keyPath, const std::string& name, DWORD value);
void SetRegString(const std::string& keyPath, const std::string& name, const std::string& text,
                  DWORD type = REG_SZ);            // stored with its terminator
void RemoveRegKeyTree(const std::string& keyPath); // the key and every key below it
bool RegKeyExists(const std::string& keyPath);
const RegValue* FindRegValue(const std::string& keyPath, const std::string& name);
bool GetRegDword(const std::string& keyPath, const std::string& name, DWORD* value);
std::string GetRegString(const std::string& keyPath, const std::string& name); // without terminator

// Services.
Service& AddService(const std::string& name, DWORD type, DWORD startType, bool running,
                    const std::string& displayName = "", const std::string& binaryPath = "");
Service* FindService(const std::string& name);
void LockDatabaseByOther(const std::string& owner, DWORD seconds);
void UnlockDatabaseByOther();

// Devices. Hardware IDs are given as a list and stored as a multi-string.
Device& AddDevice(const std::string& instanceId, const std::vector<std::string>& hardwareIds,
                  bool present = true);
Device* FindDevice(const std::string& instanceId); // case-insensitive
// The device's compatible IDs, stored as a multi-string and in its Enum key.
void SetCompatibleIds(const std::string& instanceId, const std::vector<std::string>& compatibleIds);
// A device in use: updating its driver asks for a restart, and the device
// reports DN_NEED_RESTART from then on.
void SetDeviceInUse(const std::string& instanceId, bool inUse);
// The device node's status bits and problem. A problem other than 0 adds
// DN_HAS_PROBLEM to the status; 0 takes it away.
void SetDeviceStatus(const std::string& instanceId, DWORD status, DWORD problem = 0);
std::string MultiSz(const std::vector<std::string>& strings); // "a\0b\0\0"

// ------------------------------------------------------------ calls and faults

const std::vector<Call>& Journal();
void ClearJournal();
int CallCount(const std::string& name);
std::vector<std::string> CallNames(); // the journal's names, in order
// The journal's calls as "Name(arguments)", in order; only those of the
// given names when names is not empty.
std::vector<std::string> CallLines(const std::vector<std::string>& names = {});
// Index in the journal of the first call (from index from on) named name
// whose arguments are exactly args, or -1. args lists every argument as the
// journal renders it, joined with ", " ("HKLM, \"SOFTWARE\", 0, 131097, ptr");
// an argument written as * matches any one argument, and a trailing ...
// matches all remaining ones ("...", the default, matches any call).
int FindCall(const std::string& name, const std::string& args = "...", int from = 0);
// The journal indexes of every call that FindCall would accept, in order.
std::vector<int> FindCalls(const std::string& name, const std::string& args = "...");
// Whether a call's arguments are what args describes (as for FindCall).
bool ArgumentsMatch(const std::vector<std::string>& arguments, const std::string& args);

// The nth call (1-based, counted from now) of the named operation fails with
// error: it returns the operation's failure value, sets the last error (or,
// for registry and configuration manager operations, returns the code) and
// changes nothing. Allocations
// return NULL. Error 0 makes the call fail with last error 0.
void FailCall(const std::string& name, int nth, DWORD error);
// Every call of the named operation from now on fails with error.
void FailAllCalls(const std::string& name, DWORD error);
void ClearFaults();

// Handles and allocations still open (search, INF, registry, service manager,
// service, lock, device set, local memory), for checking that a run released
// everything it obtained.
int OpenHandleCount();
std::vector<std::string> OpenHandleKinds();

// ------------------------------------------------------------ running the program

// Runs the installer with the given words after the program path, as the
// process entry does. Returns its exit code.
int Run(const std::vector<std::string>& words);

// The install log file as written (CR LF line ends), or "" when missing.
std::string LogText();
// The log's messages in order: time stamps removed, CR LF turned into "\n".
std::vector<std::string> LogMessages();
// All messages joined: the log without time stamps, CR LF turned into "\n".
std::string LogBody();

} // namespace sim

#endif
