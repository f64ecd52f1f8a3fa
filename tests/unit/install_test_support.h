// Shared set-up of the driver installation tests: a fresh simulated machine,
// the run-wide state a flow reads, a driver package and the install log.
#ifndef HALLIMOR_TESTS_UNIT_INSTALL_TEST_SUPPORT_H
#define HALLIMOR_TESTS_UNIT_INSTALL_TEST_SUPPORT_H

#include <string>
#include <vector>

#include "common/text.h"
#include "environment/environment.h"
#include "machine.h"
#include "run/log.h"
#include "run/run.h"

namespace installtest {

inline std::string LogPath() {
    return sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log";
}

// An INF whose first manufacturer names section "Models" with the given
// model lines (each "description = install section, hardware ID").
inline std::string Inf(const std::string& sections) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\n" + sections;
}
inline std::string ModelInf(const std::string& hardwareId) {
    return Inf("[Manufacturer]\r\nKWE=Models\r\n[Models]\r\nDevice=Inst," + hardwareId + "\r\n");
}

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
