// Suspension and restoration of the Volume Shadow Copy service.
#include <gtest/gtest.h>

#include "install/install.h"
#include "install_test_support.h"

using namespace installtest;

namespace {

sim::Service& Vss(DWORD startType, bool running) {
    Begin(OS_CODE_VISTA, "VISTA");
    return sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, startType, running);
}

// A running service and one that is not (whose stop request is refused
// without a message) are disabled and given their start type back alike.
TEST(InstallShadowCopy, SuspendRemembersStopsAndDisablesRestorePutsBack) {
    for (bool running : {true, false}) {
        SCOPED_TRACE(running);
        Vss(SERVICE_AUTO_START, running);
        sim::ClearJournal();
        SuspendShadowCopyService();
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), g_ShadowCopyStartType);
        sim::Service* vss = sim::FindService("VSS");
        EXPECT_EQ(running ? 1 : 0, vss->stopRequests);
        EXPECT_FALSE(vss->running);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), vss->startType);

        RestoreShadowCopyService();
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), vss->startType);
        EXPECT_FALSE(vss->running);
        EXPECT_EQ(0, sim::OpenHandleCount());
        // Every argument, and the order: the lock taken before the service
        // is opened and released before the service handle, then the
        // manager's, is closed.
        const std::string unchanged = ", 4294967295, NULL, NULL, NULL, NULL, NULL, NULL, NULL)";
        EXPECT_EQ(
            (std::vector<std::string>{
                "OpenSCManagerA(NULL, NULL, 3221225480)", "LockServiceDatabase(scm)",
                "OpenServiceA(scm, \"VSS\", 3221225504)", "LocalAlloc(64, 4096)",
                "QueryServiceConfigA(service, local, 4096, ptr)", "LocalFree(local)",
                "ControlService(service, 1, ptr)", "ChangeServiceConfigA(service, 4294967295, 4" + unchanged,
                "UnlockServiceDatabase(lock)", "CloseServiceHandle(service)", "CloseServiceHandle(scm)",
                "OpenSCManagerA(NULL, NULL, 3221225480)", "LockServiceDatabase(scm)",
                "OpenServiceA(scm, \"VSS\", 2)", "ChangeServiceConfigA(service, 4294967295, 2" + unchanged,
                "UnlockServiceDatabase(lock)", "CloseServiceHandle(service)", "CloseServiceHandle(scm)"}),
            sim::CallLines());
        EXPECT_TRUE(Finish().empty());
    }
}

TEST(InstallShadowCopy, LockedDatabaseLeavesServiceAloneAndRestoreWritesDemand) {
    Vss(SERVICE_AUTO_START, true);
    sim::LockDatabaseByOther("Setup Agent", 42);
    SuspendShadowCopyService();
    sim::Service* vss = sim::FindService("VSS");
    EXPECT_TRUE(vss->running);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), vss->startType);
    EXPECT_EQ(-1, sim::FindCall("OpenServiceA"));
    EXPECT_EQ(
        (std::vector<std::string>{"LocalAlloc(64, 280)", "QueryServiceLockStatusA(scm, local, 280, ptr)"}),
        sim::CallLines({"LocalAlloc", "QueryServiceLockStatusA"}));
    EXPECT_EQ(0, sim::OpenHandleCount());

    RestoreShadowCopyService(); // still locked
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), vss->startType);
    sim::UnlockDatabaseByOther();
    RestoreShadowCopyService();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), vss->startType);
    EXPECT_EQ((std::vector<std::string>{"Locked by: Setup Agent, duration: 42 seconds\n",
                                        "Could not lock database", "Could not lock database"}),
              Finish());
}

TEST(InstallShadowCopy, LockRefusalVariants) {
    Vss(SERVICE_AUTO_START, true);
    sim::FailCall("LockServiceDatabase", 1, ERROR_SERVICE_DATABASE_LOCKED); // gone when asked
    SuspendShadowCopyService();
    sim::FailCall("LockServiceDatabase", 1, ERROR_SERVICE_DATABASE_LOCKED);
    sim::FailCall("LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    SuspendShadowCopyService();
    sim::FailCall("LockServiceDatabase", 1, ERROR_ACCESS_DENIED);
    SuspendShadowCopyService();
    sim::FailCall("LockServiceDatabase", 1, ERROR_SERVICE_DATABASE_LOCKED);
    sim::FailCall("QueryServiceLockStatusA", 1, ERROR_ACCESS_DENIED);
    SuspendShadowCopyService();
    sim::FailCall("OpenSCManagerA", 1, ERROR_ACCESS_DENIED);
    SuspendShadowCopyService();
    EXPECT_EQ(0, sim::FindService("VSS")->stopRequests);
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_EQ(
        (std::vector<std::string>{"No longer locked\n", "Could not lock database", "LocalAlloc Failed"}),
        Finish());
}

TEST(InstallShadowCopy, UnreadableConfigurationStillDisablesAndRestoresDemand) {
    for (const char* failing : {"QueryServiceConfigA", "LocalAlloc"}) {
        Vss(SERVICE_AUTO_START, true);
        g_ShadowCopyStartType = SERVICE_BOOT_START; // left from an earlier suspension
        sim::FailCall(failing, 1, ERROR_ACCESS_DENIED);
        SuspendShadowCopyService();
        EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), g_ShadowCopyStartType);
        EXPECT_EQ(1, sim::FindService("VSS")->stopRequests);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), sim::FindService("VSS")->startType);
        RestoreShadowCopyService();
        EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), sim::FindService("VSS")->startType);
        EXPECT_EQ(0, sim::OpenHandleCount());
        std::vector<std::string> expected = {" Get Original Value Failed\n"};
        if (std::string(failing) == "QueryServiceConfigA") {
            expected.insert(expected.begin(), "QueryServiceConfig() Failsed\n");
        }
        EXPECT_EQ(expected, Finish());
    }
}

TEST(InstallShadowCopy, RestoreWithoutSuspensionWritesDemand) {
    Vss(SERVICE_DISABLED, false);
    RestoreShadowCopyService();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), sim::FindService("VSS")->startType);
    Finish();
}

TEST(InstallShadowCopy, MissingServiceReleasesTheLock) {
    Begin(OS_CODE_VISTA, "VISTA");
    SuspendShadowCopyService();
    RestoreShadowCopyService();
    EXPECT_EQ(2, sim::CallCount("UnlockServiceDatabase"));
    EXPECT_EQ(0, sim::CallCount("ChangeServiceConfigA"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_TRUE(Finish().empty());
}

} // namespace
