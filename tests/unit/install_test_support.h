// Shared set-up of the driver installation tests: a fresh simulated machine,
// the run-wide state a flow reads, a driver package and the install log.
#ifndef HALLIMOR_TESTS_UNIT_INSTALL_TEST_SUPPORT_H
#define HALLIMOR_TESTS_UNIT_INSTALL_TEST_SUPPORT_H

#include <string>
#include <vector>

#include "common/text.h"
#include "environment/environment.h"
#include "log/log.h"
#include "machine.h"
#include "run/run.h"

namespace installtest {

inline std::string LogPath() {
    return sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log";
}

// A signed INF (its catalog "kwe.cat" lies beside it, see AddInf) with the
// given sections.
inline std::string Inf(const std::string& sections) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=kwe.cat\r\n" + sections;
}
// The manufacturer "KWE" with the model lines (each "description = install
// section, hardware ID") in the section "Models" that the installer reads
// and in "Models.NTamd64" that 64-bit Windows binds devices through.
inline std::string Models(const std::string& lines) {
    return "[Manufacturer]\r\nKWE=Models,NTamd64\r\n[Models]\r\n" + lines + "[Models.NTamd64]\r\n" + lines;
}
inline std::string ModelInf(const std::string& hardwareId) {
    return Inf(Models("Device=Inst," + hardwareId + "\r\n"));
}
// A package file with the catalog that every INF of Inf() names.
inline void AddPackageInfFile(const std::string& osFolder, const std::string& name,
                              const std::string& content) {
    sim::AddPackageFile(osFolder, name, content);
    sim::AddPackageFile(osFolder, "kwe.cat", "catalog");
}

inline std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}
// The journal's rendering of the installer's calls, every argument fixed.
inline std::string CopyOemInfArgs(const std::string& infPath) {
    return Quoted(infPath) + ", NULL, 1, 0, NULL, 0, NULL, NULL";
}
inline std::string UpdateDriverArgs(const std::string& hardwareId, const std::string& infPath) {
    return "NULL, " + Quoted(hardwareId) + ", " + Quoted(infPath) + ", 1, ptr";
}
// The filter flag's key opened under the service "USBSTOR".
const char kUsbStorKeyArgs[] =
    "HKLM, \"SYSTEM\\CurrentControlSet\\Services\\USBSTOR\", 0, NULL, 0, 131103, NULL, ptr, ptr";
const char kUsbStorKeyAnyArgs[] = "HKLM, \"SYSTEM\\CurrentControlSet\\Services\\USBSTOR\", ...";

// Fresh machine, process-start state, the folders a flow reads, and the log
// open so that the records can be read back with Finish().
inline void Begin(int osCode, const std::string& osFolder) {
    sim::Reset();
    ResetRunState();
    g_OsCode = osCode;
    CopyText(g_OsFolderName, sizeof(g_OsFolderName), osFolder.c_str());
    CopyText(g_SystemDriversFolder, PATH_BUFFER_SIZE, sim::SystemDriversFolder().c_str());
    CopyText(g_SystemInfFolder, PATH_BUFFER_SIZE, sim::InfFolder().c_str());
    CopyText(g_DriverPackageFolder, PATH_BUFFER_SIZE, sim::PackageFolder(osFolder).c_str());
    sim::AddDirectory(sim::PackageFolder(osFolder));
    OpenInstallLog(LogPath().c_str());
}

// Adds a file to the package folder and to the matching list.
inline void AddSys(const std::string& name, const std::string& data = "new") {
    sim::AddFile(std::string(g_DriverPackageFolder) + name, data);
    CopyText(g_DriverFiles[g_DriverFileCount++], PACKAGE_NAME_SIZE, name.c_str());
}
inline void AddInf(const std::string& name, const std::string& content) {
    sim::AddFile(std::string(g_DriverPackageFolder) + name, content);
    sim::AddFile(std::string(g_DriverPackageFolder) + "kwe.cat", "catalog");
    CopyText(g_InfFiles[g_InfCount++], PACKAGE_NAME_SIZE, name.c_str());
}

// Closes the log and gives its messages.
inline std::vector<std::string> Finish() {
    CloseInstallLog();
    return sim::LogMessages();
}

inline bool Contains(const std::vector<std::string>& messages, const std::string& m) {
    for (const std::string& s : messages) {
        if (s == m) {
            return true;
        }
    }
    return false;
}

// Index of the first message that starts with prefix, or -1.
inline int IndexOf(const std::vector<std::string>& messages, const std::string& prefix) {
    for (size_t i = 0; i < messages.size(); ++i) {
        if (messages[i].compare(0, prefix.size(), prefix) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The messages that start with prefix, in order.
inline std::vector<std::string> Matching(const std::vector<std::string>& messages,
                                         const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& s : messages) {
        if (s.compare(0, prefix.size(), prefix) == 0) {
            found.push_back(s);
        }
    }
    return found;
}

} // namespace installtest

#endif
