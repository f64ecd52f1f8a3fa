// Windows version classification: the OS code, the OS folder name and one
// descriptive line of the install log.
#include <string.h>

#include "common/product_tables.h"
#include "common/text.h"
#include "environment/environment.h"
#include "log/log.h"
#include "platform/platform.h"

int g_OsCode = 0;
char g_OsFolderName[OS_FOLDER_NAME_SIZE];

// Sizes of the two version records that the platform fills.
#define VERSION_RECORD_EX_SIZE 156
#define VERSION_RECORD_SIZE 148

// Size of the product-type text read from the registry.
#define PRODUCT_TYPE_SIZE 80

// Longest service-pack text the version record carries (without terminator).
#define SERVICE_PACK_TEXT_MAX 128

typedef void(WINAPI* NativeSystemInfoProc)(LPSYSTEM_INFO);

// Sets the OS code and the OS folder name of a recognised version.
static void SetOsCode(int code, DWORD major, DWORD minor) {
    g_OsCode = code;
    CopyText(g_OsFolderName, sizeof(g_OsFolderName), OsFolderNameForVersion(major, minor));
}

// Logs the version's name and sets the OS code and folder name where the
// version is one the package knows.
static void ClassifyVersion(DWORD major, DWORD minor) {
    if ((major == 6 && minor == 1) || major == 7) {
        LogMessage("Windows 7 ");
        SetOsCode(OS_CODE_WIN7, major, minor);
    } else if (major == 6 && minor == 0) {
        LogMessage("Windows Vista ");
        SetOsCode(OS_CODE_VISTA, major, minor);
    } else if (major == 5 && minor == 2) {
        LogMessage("Microsoft Windows Server 2003");
        SetOsCode(OS_CODE_WIN2003, major, minor);
    } else if (major == 5 && minor == 1) {
        LogMessage("Microsoft Windows XP ");
        SetOsCode(OS_CODE_WINXP, major, minor);
    } else if (major == 5 && minor == 0) {
        LogMessage("Microsoft Windows 2000 ");
        SetOsCode(OS_CODE_WIN2000, major, minor);
    } else if (major <= 4) {
        LogMessage("Microsoft Windows NT ");
    }
}

// The edition text of a server (product type 2 or 3).
static void LogServerEdition(DWORD major, DWORD minor, WORD suiteMask, WORD architecture) {
    if (major == 5 && minor == 2) {
        if (architecture == PROCESSOR_ARCHITECTURE_IA64) {
            if (suiteMask & VER_SUITE_DATACENTER) {
                LogMessage("Datacenter Edition for Itanium-based Systems ");
            } else if (suiteMask & VER_SUITE_ENTERPRISE) {
                LogMessage("Enterprise Edition for Itanium-based Systems ");
            }
        } else if (architecture == PROCESSOR_ARCHITECTURE_AMD64) {
            if (suiteMask & VER_SUITE_DATACENTER) {
                LogMessage("Datacenter x64   Edition  ");
            } else if (suiteMask & VER_SUITE_ENTERPRISE) {
                LogMessage("Enterprise x64 Edition  ");
            } else {
                LogMessage("Standard x64 Edition ");
            }
        } else {
            if (suiteMask & VER_SUITE_DATACENTER) {
                LogMessage("Datacenter Edition ");
            } else if (suiteMask & VER_SUITE_ENTERPRISE) {
                LogMessage("Enterprise Edition ");
            } else if (suiteMask & VER_SUITE_BLADE) {
                LogMessage("Web Edition ");
            } else {
                LogMessage("Standard  Edition ");
            }
        }
    } else if (major == 5 && minor == 0) {
        if (suiteMask & VER_SUITE_DATACENTER) {
            LogMessage("Datacenter Server ");
        } else if (suiteMask & VER_SUITE_ENTERPRISE) {
            LogMessage("Advanced  Server ");
        } else {
            LogMessage("Server  ");
        }
    } else {
        if (suiteMask & VER_SUITE_ENTERPRISE) {
            LogMessage("Server 4.0, Enterprise Edition ");
        } else {
            LogMessage("Server 4.0 ");
        }
    }
}

// The edition text, from the extended version record.
static void LogEdition(const OSVERSIONINFOEXA* info, WORD architecture) {
    if (info->wProductType == VER_NT_WORKSTATION) {
        if (architecture == PROCESSOR_ARCHITECTURE_AMD64) {
            return;
        }
        if (info->dwMajorVersion == 4) {
            LogMessage("Workstation 4.0 ");
        } else if (info->wSuiteMask & VER_SUITE_PERSONAL) {
            LogMessage("Home Edition ");
        } else {
            LogMessage("Professional ");
        }
    } else if (info->wProductType == VER_NT_DOMAIN_CONTROLLER || info->wProductType == VER_NT_SERVER) {
        LogServerEdition(info->dwMajorVersion, info->dwMinorVersion, info->wSuiteMask, architecture);
    }
}

// Without the extended record the product type comes from the registry.
// 0 when the key or the value cannot be read, or the value is no text that
// fits the 80-byte buffer with its terminator.
static int LogProductTypeFromRegistry(DWORD major, DWORD minor) {
    HKEY key = NULL;
    char productType[PRODUCT_TYPE_SIZE];
    DWORD size = sizeof(productType);

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    memset(productType, 0, sizeof(productType));
    LONG result = RegQueryValueExA(key, "ProductType", NULL, NULL, (LPBYTE)productType, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || size > sizeof(productType)) {
        return 0;
    }
    // The buffer was cleared, so a shorter value is terminated. A value that
    // fills all 80 bytes without a terminator is not read past its end: it is
    // treated like a value too long for the buffer.
    if (BoundedLength(productType, sizeof(productType)) == sizeof(productType)) {
        return 0;
    }

    if (lstrcmpiA(productType, "WINNT") == 0) {
        LogMessage("Workstation ");
    }
    if (lstrcmpiA(productType, "LANMANNT") == 0) {
        LogMessage("Server ");
    }
    if (lstrcmpiA(productType, "SERVERNT") == 0) {
        LogMessage("Advanced  Server ");
    }
    LogMessage("%d.%d ", (int)major, (int)minor);
    return 1;
}

// Whether the hotfix that turns Service Pack 6 into 6a is installed.
static int HasServicePack6a(void) {
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009",
                      0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    RegCloseKey(key);
    return 1;
}

// Fills the processor record, natively where the platform offers it.
static void ReadProcessorInfo(SYSTEM_INFO* systemInfo) {
    NativeSystemInfoProc native = NULL;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel != NULL) {
        native = (NativeSystemInfoProc)(void (*)(void))GetProcAddress(kernel, "GetNativeSystemInfo");
    }
    if (native != NULL) {
        native(systemInfo);
    } else {
        GetSystemInfo(systemInfo);
    }
}

// Asks for the version record, extended first. 1 with *extended set when a
// record was filled, 0 when neither size is accepted.
static int QueryVersion(OSVERSIONINFOEXA* info, int* extended) {
    info->dwOSVersionInfoSize = VERSION_RECORD_EX_SIZE;
    *extended = PlatformGetVersionExA((LPOSVERSIONINFOA)info) ? 1 : 0;
    if (*extended) {
        return 1;
    }
    info->dwOSVersionInfoSize = VERSION_RECORD_SIZE;
    return PlatformGetVersionExA((LPOSVERSIONINFOA)info) ? 1 : 0;
}

int DetectWindowsVersion(void) {
    OSVERSIONINFOEXA info;
    SYSTEM_INFO systemInfo;
    int extended = 0;
    char servicePack[SERVICE_PACK_TEXT_MAX + 1];

    memset(&info, 0, sizeof(info));
    memset(&systemInfo, 0, sizeof(systemInfo));
    memset(g_OsFolderName, 0, sizeof(g_OsFolderName));

    LogMessage("OS Version : ");

    if (!QueryVersion(&info, &extended)) {
        return 0;
    }
    ReadProcessorInfo(&systemInfo);

    LogMessage("dwMajorVersion : %d;dwMinorVersion : %d", (int)info.dwMajorVersion, (int)info.dwMinorVersion);

    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        return 1;
    }

    ClassifyVersion(info.dwMajorVersion, info.dwMinorVersion);

    if (extended) {
        LogEdition(&info, systemInfo.wProcessorArchitecture);
    } else if (!LogProductTypeFromRegistry(info.dwMajorVersion, info.dwMinorVersion)) {
        return 0;
    }

    // The service-pack text is read only within its field.
    size_t servicePackLength = BoundedLength(info.szCSDVersion, sizeof(info.szCSDVersion));
    memcpy(servicePack, info.szCSDVersion, servicePackLength);
    servicePack[servicePackLength] = '\0';

    int build = (int)(info.dwBuildNumber & 0xFFFF);
    if (info.dwMajorVersion == 4 && lstrcmpiA(servicePack, "Service Pack 6") == 0 && HasServicePack6a()) {
        LogMessage("Service Pack 6a (Build  %d)\n", build);
    } else {
        LogMessage("%s (Build %d)\n", servicePack, build);
    }
    return 1;
}
