/* mkdevice: prepares and inspects the devices and services of a Wine prefix
 * for the end-to-end tests. A fresh prefix has no USB devices; this helper
 * registers device nodes that stand for handsets which were plugged in once
 * (Wine lists them like present ones), and driver services that an earlier
 * driver package would have left.
 *
 * Usage:
 *   mkdevice.exe create INSTANCE_ID HARDWARE_ID...
 *       registers a device of the USB class with that instance ID and the
 *       hardware IDs as its hardware-ID list, in the order given.
 *   mkdevice.exe list
 *       prints one line for every device of the USB enumerator:
 *       device|INSTANCE_ID|HWIDS|LOWER_FILTERS|FRIENDLY_NAME
 *       with the strings of a multi-string separated by ';' and an absent
 *       property printed as "-".
 *   mkdevice.exe service NAME...
 *       creates a demand-start kernel-driver service of each name (its
 *       driver file need not exist).
 *
 * Exits with 0 when every step succeeded, 1 otherwise (with a "mkdevice:"
 * line on standard error for each failure). */
#include <windows.h>
#include <setupapi.h>
#include <stdio.h>
#include <string.h>

#define MKDEVICE_BUFFER 2048

/* The setup class of USB controllers and hubs; the devices made here only
 * need a class under the USB enumerator. */
static const GUID kUsbClass = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

static void Fail(const char* what, const char* subject) {
    fprintf(stderr, "mkdevice: %s failed for \"%s\" (error %lu)\n", what, subject, (unsigned long)GetLastError());
}

/* Packs ids[0..count) into a multi-string; returns its size in bytes with
 * both terminators, or 0 when it does not fit. */
static DWORD PackMultiString(char* out, size_t capacity, char** ids, int count) {
    size_t used = 0;
    int i;
    for (i = 0; i < count; ++i) {
        size_t length = strlen(ids[i]);
        if (length == 0 || used + length + 2 > capacity) {
            return 0;
        }
        memcpy(out + used, ids[i], length + 1);
        used += length + 1;
    }
    out[used++] = '\0';
    return (DWORD)used;
}

static int CreateDevice(const char* instanceId, char** hardwareIds, int count) {
    char ids[MKDEVICE_BUFFER];
    DWORD size = PackMultiString(ids, sizeof(ids), hardwareIds, count);
    HDEVINFO set;
    SP_DEVINFO_DATA device;
    int ok = 0;

    if (count < 1 || size == 0) {
        fprintf(stderr, "mkdevice: \"%s\" needs hardware IDs that fit %d bytes\n", instanceId, MKDEVICE_BUFFER);
        return 0;
    }
    set = SetupDiCreateDeviceInfoList(&kUsbClass, NULL);
    if (set == INVALID_HANDLE_VALUE) {
        Fail("SetupDiCreateDeviceInfoList", instanceId);
        return 0;
    }
    ZeroMemory(&device, sizeof(device));
    device.cbSize = sizeof(device);
    /* The whole instance ID is passed, without DICD_GENERATE_ID, so that the
     * device gets exactly this one. */
    if (!SetupDiCreateDeviceInfoA(set, instanceId, &kUsbClass, NULL, NULL, 0, &device)) {
        Fail("SetupDiCreateDeviceInfo", instanceId);
    } else if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, (const BYTE*)ids, size)) {
        Fail("SetupDiSetDeviceRegistryProperty(HARDWAREID)", instanceId);
    } else if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device)) {
        Fail("SetupDiCallClassInstaller(REGISTERDEVICE)", instanceId);
    } else {
        ok = 1;
    }
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

/* Prints a property: a multi-string with ';' between its strings, a plain
 * string as it is, "-" when the device does not have it. Characters that
 * would break the line format are printed as '?'. */
static void PrintProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    char value[MKDEVICE_BUFFER + 2];
    DWORD type = 0;
    DWORD size = 0;
    DWORD i;
    ZeroMemory(value, sizeof(value));
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, property, &type, (BYTE*)value, MKDEVICE_BUFFER, &size)) {
        fputs("-", stdout);
        return;
    }
    if (size > MKDEVICE_BUFFER) {
        size = MKDEVICE_BUFFER;
    }
    /* Drop the terminators at the end, then join the strings. */
    while (size > 0 && value[size - 1] == '\0') {
        --size;
    }
    for (i = 0; i < size; ++i) {
        char c = value[i];
        if (c == '\0') {
            c = ';';
        } else if (c == '|' || c == '\r' || c == '\n') {
            c = '?';
        }
        putchar(c);
    }
}

static int ListDevices(void) {
    HDEVINFO set = SetupDiGetClassDevsA(NULL, "USB", NULL, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA device;
    DWORD index;
    char instanceId[512];

    if (set == INVALID_HANDLE_VALUE) {
        /* No USB device at all is an empty list, not a failure. */
        return 1;
    }
    for (index = 0;; ++index) {
        ZeroMemory(&device, sizeof(device));
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(set, index, &device)) {
            break;
        }
        ZeroMemory(instanceId, sizeof(instanceId));
        if (!SetupDiGetDeviceInstanceIdA(set, &device, instanceId, sizeof(instanceId), NULL)) {
            Fail("SetupDiGetDeviceInstanceId", "USB");
            continue;
        }
        printf("device|%s|", instanceId);
        PrintProperty(set, &device, SPDRP_HARDWAREID);
        putchar('|');
        PrintProperty(set, &device, SPDRP_LOWERFILTERS);
        putchar('|');
        PrintProperty(set, &device, SPDRP_FRIENDLYNAME);
        putchar('\n');
    }
    SetupDiDestroyDeviceInfoList(set);
    fflush(stdout);
    return 1;
}

static int CreateServices(char** names, int count) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
    char path[MAX_PATH];
    int ok = 1;
    int i;

    if (manager == NULL) {
        Fail("OpenSCManager", "local");
        return 0;
    }
    for (i = 0; i < count; ++i) {
        SC_HANDLE service;
        if (strlen(names[i]) + sizeof("system32\\drivers\\.sys") > sizeof(path)) {
            fprintf(stderr, "mkdevice: service name too long: %s\n", names[i]);
            ok = 0;
            continue;
        }
        snprintf(path, sizeof(path), "system32\\drivers\\%s.sys", names[i]);
        service = CreateServiceA(manager, names[i], names[i], SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path, NULL, NULL, NULL, NULL, NULL);
        if (service == NULL) {
            Fail("CreateService", names[i]);
            ok = 0;
            continue;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return ok;
}

int main(int argc, char** argv) {
    int ok;
    if (argc >= 4 && strcmp(argv[1], "create") == 0) {
        ok = CreateDevice(argv[2], argv + 3, argc - 3);
    } else if (argc == 2 && strcmp(argv[1], "list") == 0) {
        ok = ListDevices();
    } else if (argc >= 3 && strcmp(argv[1], "service") == 0) {
        ok = CreateServices(argv + 2, argc - 2);
    } else {
        fprintf(stderr,
                "usage: mkdevice.exe create INSTANCE_ID HARDWARE_ID...\n"
                "       mkdevice.exe list\n"
                "       mkdevice.exe service NAME...\n");
        return 2;
    }
    return ok ? 0 : 1;
}
