// Generated simulated machines for the benchmark (see generated_machine.h).
#include "generated_machine.h"

#include <stdio.h>

#include <string>
#include <vector>

#include "machine.h"

namespace perf {

namespace {

std::string Hex4(int value) {
    char text[8];
    snprintf(text, sizeof(text), "%04X", value & 0xFFFF);
    return text;
}

// The vendor's hardware IDs used by the generated package and devices: the
// filter's INF serves a storage function, the modem INFs serve product IDs
// of the removal table's first block.
std::string PackageHardwareId(int index) {
    if (index == 0) {
        return "USB\\Vid_3E1F&Pid_C301";
    }
    return "USB\\Vid_3E1F&Pid_A1" + Hex4(index).substr(2);
}

std::string ModelInf(const std::string& provider, const std::vector<std::string>& ids) {
    std::string text =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\nProvider=" + provider +
        "\r\nDriverVer=01/02/"
        "2009,1.0.1.17\r\nCatalogFile=kwe.cat\r\n\r\n[Manufacturer]\r\n%Mfg%=Models,NTamd64\r\n\r\n"
        "[Models]\r\n";
    for (size_t i = 0; i < ids.size(); ++i) {
        text += "%Device" + std::to_string(i) + "%=Install," + ids[i] + "\r\n";
    }
    text += "\r\n[Models.NTamd64]\r\n";
    for (size_t i = 0; i < ids.size(); ++i) {
        text += "%Device" + std::to_string(i) + "%=Install," + ids[i] + "\r\n";
    }
    text += "\r\n[Install]\r\nCopyFiles=Files\r\n\r\n[Strings]\r\nMfg=\"Maker\"\r\n";
    return text;
}

std::string PackageName(int index, const char* extension) {
    if (index == 0) {
        return std::string("gorvel") + extension;
    }
    char name[32];
    snprintf(name, sizeof(name), "kwe%02d%s", index, extension);
    return name;
}

} // namespace

std::string PackageInfText(int index) {
    std::vector<std::string> ids;
    ids.push_back(PackageHardwareId(index));
    if (index != 0) {
        // A modem driver serves its function with and without an interface
        // suffix.
        ids.push_back(PackageHardwareId(index) + "&MI_00");
    }
    return ModelInf("KWE Corporation", ids);
}

void BuildMachine(const MachineShape& shape) {
    sim::Reset();
    // The catalog that signs every package INF.
    sim::AddPackageFile("WIN7", "kwe.cat", "catalog");

    for (int i = 0; i < shape.packageInfs; ++i) {
        sim::AddPackageFile("WIN7", PackageName(i, ".sys"), "driver");
        sim::AddPackageFile("WIN7", PackageName(i, ".inf"), PackageInfText(i));
        // An older copy of every driver file from an earlier install.
        sim::AddFile(sim::SystemDriversFolder() + PackageName(i, ".sys"), "old driver");
    }

    for (int i = 0; i < shape.oemInfs; ++i) {
        std::string name = "oem" + std::to_string(i + 1);
        std::string text;
        if (i % kOemInfsPerVendorCopy == 0 && shape.packageInfs > 0) {
            text = PackageInfText((i / kOemInfsPerVendorCopy) % shape.packageInfs);
        } else {
            text = ModelInf("Other Maker", {"PCI\\VEN_8086&DEV_" + Hex4(i),
                                            "PCI\\VEN_8086&DEV_" + Hex4(i) + "&SUBSYS_00001234"});
        }
        sim::AddFile(sim::InfFolder() + name + ".inf", text);
        sim::AddFile(sim::InfFolder() + name + ".PNF", "pnf");
    }

    for (int i = 0; i < shape.usbDevices; ++i) {
        std::string serial = std::to_string(i + 1);
        if (i % kDevicesPerVendorDevice == 0) {
            // The vendor's devices alternate between a storage function and a
            // modem function.
            int vendorIndex = i / kDevicesPerVendorDevice;
            std::string product = vendorIndex % 2 == 0 ? "C30" + std::to_string(1 + (vendorIndex / 2) % 7)
                                                       : "A1" + Hex4(1 + (vendorIndex / 2) % 24).substr(2);
            std::string id = "USB\\VID_3E1F&PID_" + product;
            sim::AddDevice(id + "\\7&2A3B&0&" + serial, {id + "&REV_0100", id}, vendorIndex % 3 != 2);
        } else {
            std::string id = "USB\\VID_046D&PID_" + Hex4(0xC000 + i);
            sim::AddDevice(id + "\\5&1F2E&0&" + serial, {id + "&REV_2201", id}, true);
        }
    }

    // A few of the vendor's services from an earlier install.
    sim::AddService("KWEusbser6k", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::AddService("KWEusbmdm6k", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::AddService("KWEusbnmea", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::ClearJournal();
}

} // namespace perf
