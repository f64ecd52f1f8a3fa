// The simulated service control manager: access checks, the deletion life
// cycle, the size protocols of the queries, stop requests and the database
// lock.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "machine.h"
#include "run/run.h"

namespace {

const DWORD kLockAccess = GENERIC_READ | GENERIC_WRITE | SC_MANAGER_LOCK; // 0xC0000008

class MachineServices : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        ResetRunState();
    }
    void TearDown() override {
        sim::Reset();
    }
};

TEST_F(MachineServices, ManagerRightsFollowTheGenericMapping) {
    SC_HANDLE readOnly = OpenSCManagerA(NULL, NULL, GENERIC_READ);
    ASSERT_NE(nullptr, readOnly);
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateServiceA(readOnly, "svc", NULL, 0, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_NORMAL, "system32\\drivers\\svc.sys", NULL, NULL, NULL,
                                      NULL, NULL));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(nullptr, LockServiceDatabase(readOnly));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    // GENERIC_READ brings the lock-status query right.
    char buffer[280];
    DWORD needed = 0;
    EXPECT_TRUE(
        QueryServiceLockStatusA(readOnly, (LPQUERY_SERVICE_LOCK_STATUSA)buffer, sizeof(buffer), &needed));

    SC_HANDLE writer = OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_ENUMERATE_SERVICE);
    ASSERT_NE(nullptr, writer);
    SC_HANDLE created =
        CreateServiceA(writer, "svc", NULL, 0, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                       SERVICE_ERROR_NORMAL, "system32\\drivers\\svc.sys", NULL, NULL, NULL, NULL, NULL);
    EXPECT_NE(nullptr, created);
    EXPECT_FALSE(
        QueryServiceLockStatusA(writer, (LPQUERY_SERVICE_LOCK_STATUSA)buffer, sizeof(buffer), &needed));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());

    EXPECT_TRUE(CloseServiceHandle(created));
    EXPECT_TRUE(CloseServiceHandle(writer));
    EXPECT_TRUE(CloseServiceHandle(readOnly));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(MachineServices, OpenServiceChecksHandleAndName) {
    sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, true, "Volume Shadow Copy");
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenServiceA(reinterpret_cast<SC_HANDLE>(0x1234), "VSS", SERVICE_STOP));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());

    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, kLockAccess);
    ASSERT_NE(nullptr, scm);
    EXPECT_EQ(nullptr, OpenServiceA(scm, "NoSuchService", DELETE));
    EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, GetLastError());
    SC_HANDLE vss = OpenServiceA(scm, "vss", SERVICE_CHANGE_CONFIG);
    ASSERT_NE(nullptr, vss);
    // A service handle is not a manager handle.
    EXPECT_EQ(nullptr, LockServiceDatabase(vss));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    CloseServiceHandle(vss);
    CloseServiceHandle(scm);
    EXPECT_FALSE(CloseServiceHandle(scm));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(MachineServices, CreateServiceRecordsTheConfiguration) {
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_ENUMERATE_SERVICE);
    SC_HANDLE svc =
        CreateServiceA(scm, "gorvel", "gorvel", 0, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                       SERVICE_ERROR_NORMAL, "system32\\drivers\\gorvel.sys", NULL, NULL, NULL, NULL, NULL);
    ASSERT_NE(nullptr, svc);
    const sim::Service* s = sim::FindService("GORVEL");
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(SERVICE_KERNEL_DRIVER, s->type);
    EXPECT_EQ(SERVICE_DEMAND_START, s->startType);
    EXPECT_EQ("system32\\drivers\\gorvel.sys", s->binaryPath);
    EXPECT_FALSE(s->running);
    EXPECT_EQ("system32\\drivers\\gorvel.sys",
              sim::GetRegString("SYSTEM\\CurrentControlSet\\Services\\gorvel", "ImagePath"));
    DWORD start = 0;
    EXPECT_TRUE(sim::GetRegDword("SYSTEM\\CurrentControlSet\\Services\\gorvel", "Start", &start));
    EXPECT_EQ(3u, start);

    // Desired access 0 gives a handle that may do nothing.
    char buffer[512];
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(svc, (LPQUERY_SERVICE_CONFIGA)buffer, sizeof(buffer), &needed));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());

    EXPECT_EQ(nullptr, CreateServiceA(scm, "GORVEL", NULL, 0, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_NORMAL, "x.sys", NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_SERVICE_EXISTS, GetLastError());
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
}

TEST_F(MachineServices, DeletedServiceLingersUntilItsLastHandleCloses) {
    sim::AddService("kwemdm", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE reader = OpenServiceA(scm, "kwemdm", SERVICE_QUERY_CONFIG);
    ASSERT_NE(nullptr, reader);
    EXPECT_FALSE(DeleteService(reader));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(sim::FindService("kwemdm")->markedForDelete);

    SC_HANDLE deleter = OpenServiceA(scm, "kwemdm", DELETE);
    EXPECT_TRUE(DeleteService(deleter));
    EXPECT_FALSE(DeleteService(deleter));
    EXPECT_EQ(ERROR_SERVICE_MARKED_FOR_DELETE, GetLastError());
    EXPECT_TRUE(sim::FindService("kwemdm")->markedForDelete);

    // Still there while handles are open: it opens, cannot be made again or
    // reconfigured.
    SC_HANDLE again = OpenServiceA(scm, "kwemdm", SERVICE_ALL_ACCESS);
    ASSERT_NE(nullptr, again);
    EXPECT_FALSE(ChangeServiceConfigA(again, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, NULL,
                                      NULL, NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_SERVICE_MARKED_FOR_DELETE, GetLastError());
    EXPECT_EQ(nullptr, CreateServiceA(scm, "kwemdm", NULL, 0, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_NORMAL, "x.sys", NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_SERVICE_MARKED_FOR_DELETE, GetLastError());

    CloseServiceHandle(deleter);
    CloseServiceHandle(again);
    EXPECT_NE(nullptr, sim::FindService("kwemdm"));
    CloseServiceHandle(reader);
    EXPECT_EQ(nullptr, sim::FindService("kwemdm"));
    EXPECT_FALSE(sim::RegKeyExists("SYSTEM\\CurrentControlSet\\Services\\kwemdm"));
    EXPECT_EQ(nullptr, OpenServiceA(scm, "kwemdm", DELETE));
    EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, GetLastError());
    CloseServiceHandle(scm);
}

TEST_F(MachineServices, RunningDeletedServiceStaysUntilStopped) {
    sim::AddService("kwenet", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, true);
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE svc = OpenServiceA(scm, "kwenet", DELETE);
    EXPECT_TRUE(DeleteService(svc));
    CloseServiceHandle(svc);
    ASSERT_NE(nullptr, sim::FindService("kwenet"));
    svc = OpenServiceA(scm, "kwenet", SERVICE_STOP);
    SERVICE_STATUS status;
    EXPECT_TRUE(ControlService(svc, SERVICE_CONTROL_STOP, &status));
    CloseServiceHandle(svc);
    EXPECT_EQ(nullptr, sim::FindService("kwenet"));
    CloseServiceHandle(scm);
}

TEST_F(MachineServices, QueryServiceConfigSizeProtocol) {
    sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, true, "Volume Shadow Copy",
                    "C:\\Windows\\system32\\vssvc.exe");
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, kLockAccess);
    SC_HANDLE svc = OpenServiceA(scm, "VSS", GENERIC_READ | GENERIC_WRITE | SERVICE_STOP);
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(svc, NULL, 0, &needed));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_GT(needed, sizeof(QUERY_SERVICE_CONFIGA) + strlen("Volume Shadow Copy"));

    char small[sizeof(QUERY_SERVICE_CONFIGA) + 8];
    memset(small, 0x5A, sizeof(small));
    DWORD neededAgain = 0;
    EXPECT_FALSE(QueryServiceConfigA(svc, (LPQUERY_SERVICE_CONFIGA)small, sizeof(small), &neededAgain));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(needed, neededAgain);
    EXPECT_EQ(0x5A, small[0]);

    std::string buffer(needed, '\0');
    ASSERT_TRUE(QueryServiceConfigA(svc, (LPQUERY_SERVICE_CONFIGA)&buffer[0], needed, &neededAgain));
    const QUERY_SERVICE_CONFIGA* config = (const QUERY_SERVICE_CONFIGA*)buffer.data();
    EXPECT_EQ(SERVICE_AUTO_START, config->dwStartType);
    EXPECT_EQ(SERVICE_WIN32_OWN_PROCESS, config->dwServiceType);
    EXPECT_STREQ("Volume Shadow Copy", config->lpDisplayName);
    EXPECT_STREQ("C:\\Windows\\system32\\vssvc.exe", config->lpBinaryPathName);
    // Every string lies inside the caller's buffer.
    const char* begin = buffer.data();
    const char* end = begin + buffer.size();
    for (const char* p : {config->lpBinaryPathName, config->lpLoadOrderGroup, config->lpDependencies,
                          config->lpServiceStartName, config->lpDisplayName}) {
        EXPECT_GE(p, begin + sizeof(QUERY_SERVICE_CONFIGA));
        EXPECT_LT(p + strlen(p), end);
    }
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
}

TEST_F(MachineServices, ChangeServiceConfigKeepsWhatIsNotChanged) {
    sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, true, "Volume Shadow Copy",
                    "vssvc.exe");
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, kLockAccess);
    SC_HANDLE reader = OpenServiceA(scm, "VSS", GENERIC_READ);
    EXPECT_FALSE(ChangeServiceConfigA(reader, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, NULL,
                                      NULL, NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(SERVICE_AUTO_START, sim::FindService("VSS")->startType);

    SC_HANDLE changer = OpenServiceA(scm, "VSS", SERVICE_CHANGE_CONFIG);
    EXPECT_FALSE(ChangeServiceConfigA(changer, SERVICE_NO_CHANGE, 9, SERVICE_NO_CHANGE, NULL, NULL, NULL,
                                      NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    // Boot start is for drivers only.
    EXPECT_FALSE(ChangeServiceConfigA(changer, SERVICE_NO_CHANGE, SERVICE_BOOT_START, SERVICE_NO_CHANGE, NULL,
                                      NULL, NULL, NULL, NULL, NULL, NULL));
    EXPECT_TRUE(ChangeServiceConfigA(changer, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, NULL,
                                     NULL, NULL, NULL, NULL, NULL, NULL));
    const sim::Service* s = sim::FindService("VSS");
    EXPECT_EQ(SERVICE_DISABLED, s->startType);
    EXPECT_EQ(SERVICE_WIN32_OWN_PROCESS, s->type);
    EXPECT_EQ(SERVICE_ERROR_NORMAL, s->errorControl);
    EXPECT_EQ("Volume Shadow Copy", s->displayName);
    EXPECT_EQ("vssvc.exe", s->binaryPath);
    EXPECT_TRUE(s->running);
    DWORD start = 0;
    EXPECT_TRUE(sim::GetRegDword("SYSTEM\\CurrentControlSet\\Services\\VSS", "Start", &start));
    EXPECT_EQ(SERVICE_DISABLED, start);
    CloseServiceHandle(changer);
    CloseServiceHandle(reader);
    CloseServiceHandle(scm);
}

TEST_F(MachineServices, StopRequests) {
    sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, true);
    sim::AddService("Stubborn", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, true).acceptsStop = false;
    sim::AddService("Idle", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, false);
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, kLockAccess);
    SERVICE_STATUS status;

    // Reading and writing do not include stopping.
    SC_HANDLE noStop = OpenServiceA(scm, "VSS", GENERIC_READ | GENERIC_WRITE);
    EXPECT_FALSE(ControlService(noStop, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(sim::FindService("VSS")->running);

    SC_HANDLE idle = OpenServiceA(scm, "Idle", SERVICE_STOP);
    EXPECT_FALSE(ControlService(idle, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(ERROR_SERVICE_NOT_ACTIVE, GetLastError());
    EXPECT_EQ(0, sim::FindService("Idle")->stopRequests);

    SC_HANDLE stubborn = OpenServiceA(scm, "Stubborn", SERVICE_STOP);
    EXPECT_FALSE(ControlService(stubborn, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(ERROR_INVALID_SERVICE_CONTROL, GetLastError());
    EXPECT_TRUE(sim::FindService("Stubborn")->running);

    SC_HANDLE vss = OpenServiceA(scm, "VSS", GENERIC_READ | GENERIC_WRITE | SERVICE_STOP);
    memset(&status, 0xFF, sizeof(status));
    EXPECT_TRUE(ControlService(vss, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(SERVICE_STOPPED, status.dwCurrentState);
    EXPECT_EQ(SERVICE_WIN32_OWN_PROCESS, status.dwServiceType);
    EXPECT_FALSE(sim::FindService("VSS")->running);
    EXPECT_EQ(1, sim::FindService("VSS")->stopRequests);
    EXPECT_FALSE(ControlService(vss, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(ERROR_SERVICE_NOT_ACTIVE, GetLastError());
    EXPECT_EQ(1, sim::FindService("VSS")->stopRequests);

    // The status, which needs query access: a stop-only handle lacks it.
    SC_HANDLE query = OpenServiceA(scm, "Stubborn", SERVICE_QUERY_STATUS);
    EXPECT_TRUE(QueryServiceStatus(query, &status));
    EXPECT_EQ(SERVICE_RUNNING, status.dwCurrentState);
    EXPECT_TRUE(QueryServiceStatus(noStop, &status));
    EXPECT_EQ(SERVICE_STOPPED, status.dwCurrentState);
    EXPECT_FALSE(QueryServiceStatus(idle, &status));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());

    for (SC_HANDLE h : {noStop, idle, stubborn, vss, query, scm}) {
        EXPECT_TRUE(CloseServiceHandle(h));
    }
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(MachineServices, DatabaseLockHeldByAnotherParty) {
    sim::LockDatabaseByOther(".\\Backup Operator", 95);
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, kLockAccess);
    SetLastError(0);
    EXPECT_EQ(nullptr, LockServiceDatabase(scm));
    EXPECT_EQ(ERROR_SERVICE_DATABASE_LOCKED, GetLastError());

    DWORD needed = 0;
    char tiny[sizeof(QUERY_SERVICE_LOCK_STATUSA)];
    EXPECT_FALSE(QueryServiceLockStatusA(scm, (LPQUERY_SERVICE_LOCK_STATUSA)tiny, sizeof(tiny), &needed));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(sizeof(QUERY_SERVICE_LOCK_STATUSA) + strlen(".\\Backup Operator") + 1, needed);

    char buffer[280];
    ASSERT_TRUE(QueryServiceLockStatusA(scm, (LPQUERY_SERVICE_LOCK_STATUSA)buffer, sizeof(buffer), &needed));
    const QUERY_SERVICE_LOCK_STATUSA* lock = (const QUERY_SERVICE_LOCK_STATUSA*)buffer;
    EXPECT_EQ(1u, lock->fIsLocked);
    EXPECT_STREQ(".\\Backup Operator", lock->lpLockOwner);
    EXPECT_EQ(95u, lock->dwLockDuration);
    EXPECT_GE(lock->lpLockOwner, buffer + sizeof(QUERY_SERVICE_LOCK_STATUSA));

    sim::UnlockDatabaseByOther();
    ASSERT_TRUE(QueryServiceLockStatusA(scm, (LPQUERY_SERVICE_LOCK_STATUSA)buffer, sizeof(buffer), &needed));
    EXPECT_EQ(0u, lock->fIsLocked);
    SC_LOCK taken = LockServiceDatabase(scm);
    EXPECT_NE(nullptr, taken);
    EXPECT_TRUE(UnlockServiceDatabase(taken));
    CloseServiceHandle(scm);
}

TEST_F(MachineServices, OwnLockIsExclusiveAndReleasedOnce) {
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, kLockAccess);
    SC_LOCK lock = LockServiceDatabase(scm);
    ASSERT_NE(nullptr, lock);
    EXPECT_EQ(nullptr, LockServiceDatabase(scm));
    EXPECT_EQ(ERROR_SERVICE_DATABASE_LOCKED, GetLastError());
    EXPECT_TRUE(UnlockServiceDatabase(lock));
    EXPECT_FALSE(UnlockServiceDatabase(lock));
    EXPECT_EQ(ERROR_INVALID_SERVICE_LOCK, GetLastError());
    EXPECT_FALSE(UnlockServiceDatabase(scm));
    EXPECT_EQ(ERROR_INVALID_SERVICE_LOCK, GetLastError());
    lock = LockServiceDatabase(scm);
    EXPECT_NE(nullptr, lock);
    UnlockServiceDatabase(lock);
    CloseServiceHandle(scm);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(MachineServices, InjectedFaultChangesNothing) {
    sim::AddService("VSS", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, true);
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE svc = OpenServiceA(scm, "VSS", SERVICE_ALL_ACCESS);
    sim::FailCall("ChangeServiceConfigA", 1, ERROR_ACCESS_DENIED);
    sim::FailCall("ControlService", 1, ERROR_SERVICE_REQUEST_TIMEOUT);
    sim::FailCall("CreateServiceA", 1, ERROR_DUPLICATE_SERVICE_NAME);
    sim::FailCall("OpenServiceA", 2, ERROR_SERVICE_DOES_NOT_EXIST);
    SERVICE_STATUS status;
    EXPECT_FALSE(ChangeServiceConfigA(svc, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, NULL, NULL,
                                      NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(ControlService(svc, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(ERROR_SERVICE_REQUEST_TIMEOUT, GetLastError());
    EXPECT_EQ(nullptr, CreateServiceA(scm, "gorvel", NULL, 0, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_NORMAL, "x.sys", NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_DUPLICATE_SERVICE_NAME, GetLastError());
    SC_HANDLE first = OpenServiceA(scm, "VSS", DELETE);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(nullptr, OpenServiceA(scm, "VSS", DELETE));
    EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, GetLastError());

    const sim::Service* s = sim::FindService("VSS");
    EXPECT_EQ(SERVICE_AUTO_START, s->startType);
    EXPECT_TRUE(s->running);
    EXPECT_EQ(0, s->stopRequests);
    EXPECT_EQ(nullptr, sim::FindService("gorvel"));
    EXPECT_EQ(3, sim::CallCount("OpenServiceA"));
    EXPECT_GE(sim::FindCall("ControlService", "service, 1, ptr"), 0);
    CloseServiceHandle(first);
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

} // namespace
