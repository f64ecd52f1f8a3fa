// Shared set-up of the stale driver removal tests: a fresh simulated machine,
// the run-wide folders of a Windows 7 run, an open install log, and INF texts.
#ifndef HALLIMOR_TESTS_UNIT_CLEANUP_FIXTURE_H
#define HALLIMOR_TESTS_UNIT_CLEANUP_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/operation.h"
#include "common/text.h"
#include "environment/environment.h"
#include "log/log.h"
#include "machine.h"
#include "run/run.h"

namespace cleanup_test {

// An INF whose single manufacturer names the section "Models"; each model line
// carries one of ids as its hardware ID (field 2), in order.
inline std::string ModelInf(const std::vector<std::string>& ids, const std::string& provider = "Other Corp") {
    std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\nProvider=" + provider +
                       "\r\n\r\n[Manufacturer]\r\nMaker=Models\r\n\r\n[Models]\r\n";
    for (size_t i = 0; i < ids.size(); ++i) {
        text +=
            "Device " + std::to_string(i + 1) + "=Install" + std::to_string(i + 1) + "," + ids[i] + "\r\n";
    }
    return text;
}

// An INF whose provider line is the given text, with one model line.
inline std::string ProviderInf(const std::string& provider) {
    return ModelInf({"USB\\VID_3E1F&PID_A101"}, provider);
}

class CleanupFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
        g_OperationCode = OPERATION_INSTALL;
        g_OsCode = OS_CODE_WIN7;
        CopyText(g_OsFolderName, sizeof(g_OsFolderName), "WIN7");
        CopyText(g_SystemInfFolder, sizeof(g_SystemInfFolder), sim::InfFolder().c_str());
        CopyText(g_SystemDriversFolder, sizeof(g_SystemDriversFolder), sim::SystemDriversFolder().c_str());
        CopyText(g_DriverPackageFolder, sizeof(g_DriverPackageFolder), sim::PackageFolder("WIN7").c_str());
        ASSERT_EQ(1, OpenInstallLog(LogPath().c_str()));
        logOpen_ = true;
        sim::ClearJournal();
    }

    void TearDown() override {
        CloseLog();
    }

    static std::string LogPath() {
        return sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log";
    }

    void CloseLog() {
        if (logOpen_) {
            CloseInstallLog();
            logOpen_ = false;
        }
    }

    // Closes the log and returns its messages without time stamps.
    std::vector<std::string> Messages() {
        CloseLog();
        return sim::LogMessages();
    }

    // Puts an INF into the package folder and onto the run's INF list.
    void AddPackageInf(const std::string& name, const std::string& text) {
        sim::AddPackageFile("WIN7", name, text);
        CopyText(g_InfFiles[g_InfCount], PACKAGE_NAME_SIZE, name.c_str());
        ++g_InfCount;
    }

    // Puts a name onto the run's driver file list.
    void AddDriverFileEntry(const std::string& name) {
        CopyText(g_DriverFiles[g_DriverFileCount], PACKAGE_NAME_SIZE, name.c_str());
        ++g_DriverFileCount;
    }

    static std::string InfPath(const std::string& name) {
        return sim::InfFolder() + name;
    }
    static std::string DriverPath(const std::string& name) {
        return sim::SystemDriversFolder() + name;
    }
    static std::string PackagePath(const std::string& name) {
        return sim::PackageFolder("WIN7") + name;
    }

    // The journal's arguments of the installer's INF opening.
    static std::string OpenInfArgs(const std::string& path) {
        return "\"" + path + "\", NULL, 2, NULL";
    }

    static int Count(const std::vector<std::string>& messages, const std::string& message) {
        int n = 0;
        for (const std::string& m : messages) {
            if (m == message) {
                ++n;
            }
        }
        return n;
    }

    static int IndexOf(const std::vector<std::string>& messages, const std::string& message, int from = 0) {
        for (size_t i = static_cast<size_t>(from); i < messages.size(); ++i) {
            if (messages[i] == message) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    static bool StartsWith(const std::string& text, const std::string& prefix) {
        return text.compare(0, prefix.size(), prefix) == 0;
    }

  private:
    bool logOpen_ = false;
};

} // namespace cleanup_test

#endif
