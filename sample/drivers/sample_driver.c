/* A sample kernel-mode driver: a real x64 image of the native subsystem that
 * Windows could load, which does nothing. Each driver file of the sample
 * package is this source built with its own name (SAMPLE_DRIVER_NAME), so
 * that no two of them hash alike. No runtime and no imports. */

typedef long NTSTATUS;

#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)

#ifndef SAMPLE_DRIVER_NAME
#define SAMPLE_DRIVER_NAME "sample"
#endif

/* The driver's name, kept in the image. */
__attribute__((used)) static const char kDriverName[] = "KWE sample driver " SAMPLE_DRIVER_NAME;

NTSTATUS DriverEntry(void* driverObject, void* registryPath);

NTSTATUS DriverEntry(void* driverObject, void* registryPath) {
    (void)registryPath;
    return driverObject != 0 && kDriverName[0] != 0 ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}
