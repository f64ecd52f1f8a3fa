// Vendor configuration: the values a vendor changes to ship this installer
// for its own devices. Kept together so that one edit here is enough; the
// build refuses an edit that breaks the tables' rules (vendor_config.cpp).
#ifndef HALLIMOR_COMMON_VENDOR_CONFIG_H
#define HALLIMOR_COMMON_VENDOR_CONFIG_H

// Number of entries of the hardware-ID tables.
#define REMOVAL_HARDWARE_ID_COUNT 60
#define STORAGE_HARDWARE_ID_COUNT 7

// Every hardware ID of the vendor starts with this 12-character prefix.
extern const char kVendorHardwareIdPrefix[];
#define VENDOR_HARDWARE_ID_PREFIX_LENGTH 12

// Every entry of the hardware-ID tables is a USB device ID of this length
// (prefix, "&Pid_" and four hex digits), compared over its whole length.
#define VENDOR_HARDWARE_ID_LENGTH 21

// Devices that Uninstall and Preinstall_cfg remove, in table order.
extern const char* const kRemovalHardwareIds[REMOVAL_HARDWARE_ID_COUNT];

// Devices whose storage function gets the mass-storage filter, in table order.
extern const char* const kStorageHardwareIds[STORAGE_HARDWARE_ID_COUNT];

// The maker's home page, shown by the uninstall entry.
extern const char kVendorUrlInfoAbout[];

#endif
