// Regression tests for the faults that the fault sweep, the hostile inputs
// and the fuzz target found.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../fuzz/fuzz_machine.h"
#include "cleanup/cleanup.h"
#include "log/log.h"
#include "machine.h"
#include "reliability_support.h"
#include "run/run.h"

namespace {

const char kForeignLibrary[] = "C:\\system32\\brommet.dll";

std::string VendorLibrary() {
    return sim::WindowsFolder() + "system32\\brommet.dll";
}

// GetWindowsDirectoryA failing while the support library is removed: the
// path used to begin at the current drive's root ("\system32\brommet.dll")
// and another program's library of that name was deleted.
TEST(ReliabilityRegression, SupportLibraryIsNotLookedForOutsideTheWindowsFolder) {
    sim::Reset();
    ResetRunState();
    ASSERT_EQ(1, OpenInstallLog((sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log").c_str()));
    sim::AddFile(kForeignLibrary, "another program's library");
    sim::AddFile(VendorLibrary(), "vendor library");
    sim::ClearJournal();
    sim::FailCall("GetWindowsDirectoryA", 1, ERROR_PATH_NOT_FOUND);

    RemoveSupportLibrary();
    CloseInstallLog();

    EXPECT_TRUE(sim::FileExists(kForeignLibrary));
    EXPECT_TRUE(sim::FileExists(VendorLibrary()));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
    EXPECT_EQ(0, sim::CallCount("SetFileAttributesA"));
    std::vector<std::string> log = sim::LogMessages();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(0u, log[0].find("Remove Dllfile  FAILURE: "));
}

// A Windows folder longer than the buffer: GetWindowsDirectoryA gives the
// size it needs and writes nothing usable; nothing is deleted either.
TEST(ReliabilityRegression, SupportLibraryIsNotLookedForBehindAWindowsFolderTooLong) {
    sim::Reset();
    ResetRunState();
    ASSERT_EQ(1, OpenInstallLog((sim::WindowsFolder() + "Temp\\HandsetInstallInfo.log").c_str()));
    sim::AddFile(kForeignLibrary, "another program's library");
    sim::SetWindowsDirectory("C:\\" + std::string(270, 'w'));
    sim::ClearJournal();

    RemoveSupportLibrary();
    CloseInstallLog();

    EXPECT_TRUE(sim::FileExists(kForeignLibrary));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
}

// The same through whole runs: Clean (the library last) and Install (the
// library before the operation), with the third GetWindowsDirectoryA of the
// run failing (log path, system folders, then the library).
TEST(ReliabilityRegression, RunsKeepAForeignLibraryWhenTheWindowsFolderIsUnknown) {
    for (const char* word : {"Clean", "Install"}) {
        reliability::BuildRichMachine(false);
        sim::FailCall("GetWindowsDirectoryA", 3, ERROR_PATH_NOT_FOUND);
        EXPECT_EQ(0, sim::Run({word})) << word;
        EXPECT_TRUE(reliability::LogEndsWithFinish()) << word;
        EXPECT_EQ("not the vendor's library", sim::FileData(kForeignLibrary)) << word;
        EXPECT_TRUE(sim::FileExists(VendorLibrary())) << word;
        for (const std::string& line : sim::CallLines({"DeleteFileA"})) {
            EXPECT_EQ(std::string::npos, line.find("brommet.dll")) << word << " " << line;
        }
    }
}

// The fuzz target once built a shadow-copy service with a driver's start
// type (boot), which the platform refuses to give back to a service of its
// own process; the machine builder now draws only the start types such a
// service can have.
TEST(ReliabilityRegression, FuzzMachinesGiveTheShadowCopyServiceOnlyItsOwnStartTypes) {
    for (int value = 0; value < 256; ++value) {
        uint8_t input[] = {4, 1, 2, static_cast<uint8_t>(value)};
        fuzzmachine::Built built = fuzzmachine::BuildMachine(input, sizeof(input));
        ASSERT_TRUE(built.vssPresent);
        EXPECT_TRUE(built.vssStartType == SERVICE_AUTO_START || built.vssStartType == SERVICE_DEMAND_START ||
                    built.vssStartType == SERVICE_DISABLED)
            << value;
        EXPECT_EQ(built.vssStartType, sim::FindService("VSS")->startType);
    }
}

} // namespace
