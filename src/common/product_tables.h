// The installer's fixed tables: the filter driver's names and the tables the
// vendor purge works from. The installer and the package checker both read
// them from here, so that the two can never disagree.
#ifndef HALLIMOR_COMMON_PRODUCT_TABLES_H
#define HALLIMOR_COMMON_PRODUCT_TABLES_H

#define VENDOR_PROVIDER_COUNT 6
#define VENDOR_SERVICE_COUNT 25
#define VENDOR_DRIVER_FILE_COUNT 22

// The mass-storage filter driver's file, recognised in the driver file list
// by this exact name (letter case included).
extern const char kFilterDriverFile[];

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

#endif
