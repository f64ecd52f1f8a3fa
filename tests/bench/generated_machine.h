// Generated simulated machines for the benchmark: a Windows 7 machine with a
// given number of OEM INFs in the system INF folder, USB devices and INFs in
// the driver package beside the program.
#ifndef HALLIMOR_TESTS_BENCH_GENERATED_MACHINE_H
#define HALLIMOR_TESTS_BENCH_GENERATED_MACHINE_H

#include <string>

namespace perf {

struct MachineShape {
    int oemInfs;     // "oem<n>.inf" with its PNF file in the system INF folder
    int usbDevices;  // devices of the USB enumerator
    int packageInfs; // INFs in the driver package, each with its driver file
};

// Every this many OEM INFs, one is an older copy of a package INF (the same
// first hardware ID and the vendor's provider): superseded removal and the
// purge delete it. The others serve other makers' devices.
const int kOemInfsPerVendorCopy = 50;

// Every this many USB devices, one is the vendor's (a storage or modem
// function); the others are other makers' devices.
const int kDevicesPerVendorDevice = 10;

// Lays out the machine after sim::Reset(). The package always holds the
// mass-storage filter ("gorvel.sys" and "gorvel.inf" at index 0 of both
// lists) and packageInfs - 1 modem drivers.
void BuildMachine(const MachineShape& shape);

// The text of package INF number index (0 is the filter's INF).
std::string PackageInfText(int index);

} // namespace perf

#endif
