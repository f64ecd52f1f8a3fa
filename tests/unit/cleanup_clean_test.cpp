// The vendor purge: the vendor's driver-store INFs, services, devices, driver
// files and support library go, whatever package installed them; nothing of
// anyone else is touched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/cleanup.h"
#include "cleanup_fixture.h"

namespace {

using cleanup_test::CleanupFixture;
using cleanup_test::ModelInf;
using cleanup_test::ProviderInf;

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

const std::vector<std::string> kServiceTable = {
    "KWEusbnet",    "KWEusbser6k",    "KWEusbnmea",  "KWEusbmdm6k", "KWEusbnmeaext",
    "KWEusbdvbh",   "KWEusbvoice",    "USBKWECCID",  "ZEFOusbnet",  "ZEFOusbmdm6k",
    "ZEFOusbser6k", "ZEFOusbnmea",    "ZEFOdvbh",    "KWETDModem",  "KWETDNMEA",
    "KWETDDiag",    "KWETDSound",     "KWETDModem",  "KWETDNMEA",   "KWETDDiag",
    "KWETDSound",   "KWEGsmDataCard", "KWEGSMModem", "KWEGSMSound", "gorvel",
};

const std::vector<std::string> kDriverFileTable = {
    "KWEusbmdm6k.sys",  "KWEusbnmea.sys",   "KWEusbnmeaext.sys", "KWEusbser6k.sys",  "KWEusbccid.sys",
    "KWEusbnet.sys",    "ZEFODVBH.sys",     "ZEFOusbmdm6k.sys",  "ZEFOusbnet.sys",   "ZEFOusbnmea.sys",
    "ZEFOusbser6k.sys", "KWETDDiag.sys",    "KWETDModem.sys",    "KWETDNmea.sys",    "KWETDSound.sys",
    "KWECDMADiag.sys",  "KWECDMAModem.sys", "KWECDMANmea.sys",   "KWECDMASound.sys", "KWEGSMModem.sys",
    "KWEGSMSound.sys",  "kweusbgser.sys",
};

// The service names the purge asked to open for deletion, in order.
std::vector<std::string> ServicesOpenedForDelete() {
    std::vector<std::string> names;
    for (const sim::Call& call : sim::Journal()) {
        const std::string suffix = ", " + std::to_string(DELETE);
        if (call.name != "OpenServiceA" || call.args.size() < suffix.size() ||
            call.args.compare(call.args.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        size_t open = call.args.find('"');
        size_t close = call.args.find('"', open + 1);
        names.push_back(call.args.substr(open + 1, close - open - 1));
    }
    return names;
}

int LastIndex(const std::string& name, const std::string& args = "...") {
    std::vector<int> all = sim::FindCalls(name, args);
    return all.empty() ? -1 : all.back();
}

// ------------------------------------------------------------ the provider test

class CleanupCleanProvider : public CleanupFixture {};

TEST_F(CleanupCleanProvider, OnlyExactVendorProvidersAreDeletedAndPnfsStay) {
    sim::AddFile(InfPath("oem1.inf"), ProviderInf("ZEFO Incorporated"));
    sim::AddFile(InfPath("oem1.PNF"), "pnf");
    sim::AddFile(InfPath("oem2.inf"), ProviderInf("zefo incorporated"));
    sim::AddFile(InfPath("oem3.inf"), ProviderInf("KWE Corporation Ltd"));
    sim::AddFile(InfPath("oem4.inf"), ProviderInf("KWE"));
    sim::AddFile(InfPath("oem5.inf"), ProviderInf("Other Corp"));
    sim::AddFile(InfPath("oem6.inf"), ProviderInf("KWE Communication"));

    EXPECT_EQ(1, PurgeVendorOemInfs());

    // The search goes on after a deletion, to the last OEM INF.
    EXPECT_FALSE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem1.PNF")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem2.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem3.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem4.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem5.inf")));
    EXPECT_FALSE(sim::FileExists(InfPath("oem6.inf")));
    EXPECT_EQ(2, sim::CallCount("DeleteFileA"));
    EXPECT_EQ(0, sim::OpenHandleCount());

    std::vector<std::string> log = Messages();
    std::vector<std::string> expected = {
        "Change file attributes: " + InfPath("oem1.inf") + "\n",
        "Delete: " + InfPath("oem1.inf") + "\n",
        "Delete success!\n",
        "Change file attributes: " + InfPath("oem6.inf") + "\n",
        "Delete: " + InfPath("oem6.inf") + "\n",
        "Delete success!\n",
    };
    EXPECT_EQ(expected, log);
}

TEST_F(CleanupCleanProvider, EverySixVendorNameCounts) {
    const std::vector<std::string> providers = {"KWE Corporation",   "KWE Communication",
                                                "KWE Incorporated",  "ZEFO Corporation",
                                                "ZEFO Incorporated", "ZEFO Communication"};
    for (const std::string& provider : providers) {
        sim::AddFile(InfPath("oem1.inf"), ProviderInf(provider));
        EXPECT_EQ(1, DeleteOemInfIfVendor(InfPath("oem1.inf").c_str())) << provider;
        EXPECT_FALSE(sim::FileExists(InfPath("oem1.inf"))) << provider;
    }
}

// The attribute change is logged once it was asked for, whatever it
// returned; a failed change leaves the file read-only, so its deletion fails.
TEST_F(CleanupCleanProvider, ReadOnlyVendorInfIsMadeNormalFirst) {
    for (bool changeFails : {false, true}) {
        SCOPED_TRACE(changeFails ? "the attribute change fails" : "the attribute change succeeds");
        if (changeFails) {
            TearDown();
            SetUp();
            sim::FailCall("SetFileAttributesA", 1, ERROR_ACCESS_DENIED);
        }
        sim::AddFile(InfPath("oem3.inf"), ProviderInf("KWE Communication"), FILE_ATTRIBUTE_READONLY);

        EXPECT_EQ(changeFails ? 0 : 1, DeleteOemInfIfVendor(InfPath("oem3.inf").c_str()));

        EXPECT_EQ(changeFails, sim::FileExists(InfPath("oem3.inf")));
        EXPECT_LT(sim::FindCall("SetFileAttributesA", Quoted(InfPath("oem3.inf")) + ", 128"),
                  sim::FindCall("DeleteFileA", Quoted(InfPath("oem3.inf"))));
        std::vector<std::string> log = Messages();
        ASSERT_EQ(4u, log.size());
        log[3] = log[3].substr(0, 16);
        std::vector<std::string> expected = {
            "Change file attributes: " + InfPath("oem3.inf") + "\n",
            "SetFileAttributes: FILE_ATTRIBUTE_NORMAL\n",
            "Delete: " + InfPath("oem3.inf") + "\n",
            changeFails ? "Error: FAILURE: " : "Delete success!\n",
        };
        EXPECT_EQ(expected, log);
    }
}

TEST_F(CleanupCleanProvider, UnreadableProvidersKeepTheFile) {
    std::string noProvider = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\n";
    sim::AddFile(InfPath("oem1.inf"), noProvider);
    sim::AddFile(InfPath("oem2.inf"), ProviderInf("KWE " + std::string(300, 'C')));

    EXPECT_EQ(0, DeleteOemInfIfVendor(InfPath("oem0.inf").c_str()));
    EXPECT_EQ(0, DeleteOemInfIfVendor(InfPath("oem1.inf").c_str()));
    EXPECT_EQ(0, DeleteOemInfIfVendor(InfPath("oem2.inf").c_str()));

    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem2.inf")));
    EXPECT_EQ(0, sim::CallCount("DeleteFileA"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> log = Messages();
    std::vector<std::string> expected = {
        "Open " + InfPath("oem0.inf") + " fail!\n",
        "error: " + InfPath("oem1.inf") + " does not contain any device descriptions\n",
        "Error: skipping invalid description [Version]\n",
    };
    EXPECT_EQ(expected, log);
}

TEST_F(CleanupCleanProvider, FailedDeletionIsReportedAndThePurgeGoesOn) {
    sim::AddFile(InfPath("oem1.inf"), ProviderInf("KWE Corporation"));
    sim::AddFile(InfPath("oem2.inf"), ProviderInf("ZEFO Corporation"));
    sim::FailCall("DeleteFileA", 1, ERROR_ACCESS_DENIED);

    EXPECT_EQ(1, PurgeVendorOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_FALSE(sim::FileExists(InfPath("oem2.inf")));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(6u, log.size());
    EXPECT_EQ("Delete: " + InfPath("oem1.inf") + "\n", log[1]);
    EXPECT_TRUE(StartsWith(log[2], "Error: FAILURE: "));
    EXPECT_EQ("Delete success!\n", log[5]);
}

TEST_F(CleanupCleanProvider, NoOemInfIsReported) {
    sim::AddFile(InfPath("usbport.inf"), ProviderInf("KWE Corporation"));

    EXPECT_EQ(0, PurgeVendorOemInfs());

    EXPECT_TRUE(sim::FileExists(InfPath("usbport.inf")));
    EXPECT_EQ(0, sim::CallCount("SetupOpenInfFileA"));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("Error : Search Oem*.inf file \n", log[0]);
}

// ------------------------------------------------------------ services

class CleanupCleanService : public CleanupFixture {};

TEST_F(CleanupCleanService, PresentServiceIsDeleted) {
    sim::AddService("KWEusbnet", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);

    DeleteServiceByName("KWEusbnet");

    EXPECT_EQ(nullptr, sim::FindService("KWEusbnet"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_EQ((std::vector<std::string>{"OpenSCManagerA(NULL, NULL, 983103)",
                                        "OpenServiceA(scm, \"KWEusbnet\", 65536)", "DeleteService(service)",
                                        "CloseServiceHandle(service)", "CloseServiceHandle(scm)"}),
              sim::CallLines({"OpenSCManagerA", "OpenServiceA", "DeleteService", "CloseServiceHandle"}));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("Delete KWEusbnet service success! \n", log[0]);
}

TEST_F(CleanupCleanService, MissingServiceWritesMessageThenFailureRecord) {
    DeleteServiceByName("KWEusbvoice");

    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_EQ(0, sim::CallCount("DeleteService"));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Can't open KWEusbvoice service!\n", log[0]);
    EXPECT_TRUE(StartsWith(log[1], "OpenService FAILURE: "));
}

TEST_F(CleanupCleanService, NoServiceManager) {
    sim::AddService("KWEusbnet", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::FailCall("OpenSCManagerA", 1, ERROR_ACCESS_DENIED);

    DeleteServiceByName("KWEusbnet");

    EXPECT_NE(nullptr, sim::FindService("KWEusbnet"));
    EXPECT_EQ(0, sim::CallCount("OpenServiceA"));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Can't open service manager!\n", log[0]);
    EXPECT_TRUE(StartsWith(log[1], "OpenSCManager\n FAILURE: "));
}

TEST_F(CleanupCleanService, FailedDeletionClosesBothHandles) {
    sim::AddService("ZEFOdvbh", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::FailCall("DeleteService", 1, ERROR_ACCESS_DENIED);

    DeleteServiceByName("ZEFOdvbh");

    EXPECT_NE(nullptr, sim::FindService("ZEFOdvbh"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_EQ(2, sim::CallCount("CloseServiceHandle"));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Can't delete ZEFOdvbh service!\n", log[0]);
    EXPECT_TRUE(StartsWith(log[1], "DeleteService FAILURE: "));
}

// ------------------------------------------------------------ driver files

class CleanupCleanDriverFiles : public CleanupFixture {};

TEST_F(CleanupCleanDriverFiles, TheTwentyTwoFilesGoInTableOrder) {
    for (const std::string& name : kDriverFileTable) {
        sim::AddFile(DriverPath(name), "driver");
    }
    // Names are found ignoring case; this one is also read-only.
    sim::AddFile(DriverPath("KWEusbgser.sys"), "", FILE_ATTRIBUTE_READONLY);
    sim::AddFile(DriverPath("gorvel.sys"), "filter");
    sim::AddFile(DriverPath("usbser.sys"), "system");

    DeleteVendorDriverFiles();

    std::vector<std::string> deleted;
    for (const sim::Call& call : sim::Journal()) {
        if (call.name == "DeleteFileA") {
            deleted.push_back(call.args);
        }
    }
    ASSERT_EQ(kDriverFileTable.size(), deleted.size());
    for (size_t i = 0; i < kDriverFileTable.size(); ++i) {
        EXPECT_EQ(Quoted(DriverPath(kDriverFileTable[i])), deleted[i]);
        EXPECT_FALSE(sim::FileExists(DriverPath(kDriverFileTable[i]))) << kDriverFileTable[i];
    }
    EXPECT_GE(sim::FindCall("SetFileAttributesA", Quoted(DriverPath("kweusbgser.sys")) + ", 128"), 0);
    EXPECT_TRUE(sim::FileExists(DriverPath("gorvel.sys")));
    EXPECT_TRUE(sim::FileExists(DriverPath("usbser.sys")));
    std::vector<std::string> log = Messages();
    ASSERT_EQ(44u, log.size());
    EXPECT_EQ("Delete: " + DriverPath("KWEusbmdm6k.sys") + "\n", log[0]);
    EXPECT_EQ("Delete success!\n", log[1]);
    EXPECT_EQ("Delete: " + DriverPath("kweusbgser.sys") + "\n", log[42]);
}

TEST_F(CleanupCleanDriverFiles, MissingFilesEachWriteAFailureRecord) {
    DeleteVendorDriverFiles();

    std::vector<std::string> log = Messages();
    ASSERT_EQ(44u, log.size());
    for (size_t i = 0; i < kDriverFileTable.size(); ++i) {
        EXPECT_EQ("Delete: " + DriverPath(kDriverFileTable[i]) + "\n", log[2 * i]);
        EXPECT_TRUE(StartsWith(log[2 * i + 1], "Error: FAILURE: ")) << log[2 * i + 1];
    }
}

// ------------------------------------------------------------ the whole purge

class CleanupCleanRun : public CleanupFixture {
  protected:
    void SetUp() override {
        CleanupFixture::SetUp();
        // The run opens its own log.
        CloseLog();
    }
};

TEST_F(CleanupCleanRun, SevenStepsInOrderWithoutAnyPackage) {
    ASSERT_FALSE(sim::FileExists(sim::ExeFolder() + "Drivers"));
    sim::AddFile(InfPath("oem1.inf"), ProviderInf("KWE Corporation"));

    EXPECT_EQ(0, sim::Run({"Clean"}));

    // Step 3 looks "gorvel" up before creating it; the purge's own attempts
    // are the table, in order.
    std::vector<std::string> opened = ServicesOpenedForDelete();
    std::vector<std::string> expectedOpened = kServiceTable;
    expectedOpened.insert(expectedOpened.end() - 1, "gorvel");
    EXPECT_EQ(expectedOpened, opened);
    int oemSearch = sim::FindCall("FindFirstFileA", Quoted(InfPath("oem*.inf")) + ", ptr");
    int firstService = sim::FindCall("OpenServiceA", "scm, \"KWEusbnet\", 65536");
    int lastTableService = sim::FindCall("OpenServiceA", "scm, \"KWEGSMSound\", 65536");
    int filterCreated = sim::FindCall("CreateServiceA", "scm, \"gorvel\", ...");
    // The filter's passes over the present devices, then the removal of
    // every device: steps 3 and 4 in this order.
    int lastFilterPass = LastIndex("SetupDiGetClassDevsA", "NULL, \"USB\", NULL, 6");
    int removal = sim::FindCall("SetupDiGetClassDevsA", "NULL, \"USB\", NULL, 4");
    int filterDeleted = LastIndex("DeleteService");
    int firstDriverFile = sim::FindCall("DeleteFileA", Quoted(DriverPath("KWEusbmdm6k.sys")));
    int library = sim::FindCall("DeleteFileA", Quoted(sim::WindowsFolder() + "system32\\brommet.dll"));
    ASSERT_GE(oemSearch, 0);
    EXPECT_GT(firstService, oemSearch);
    EXPECT_GT(filterCreated, lastTableService);
    EXPECT_GT(lastFilterPass, filterCreated);
    EXPECT_GT(removal, lastFilterPass);
    EXPECT_EQ(1u, sim::FindCalls("SetupDiGetClassDevsA", "NULL, \"USB\", NULL, 4").size());
    EXPECT_GT(filterDeleted, removal);
    EXPECT_GT(firstDriverFile, filterDeleted);
    EXPECT_GT(library, LastIndex("DeleteFileA", Quoted(DriverPath("kweusbgser.sys"))));
    EXPECT_EQ(library, LastIndex("DeleteFileA"));
    // No package scan and no superseded removal for Clean: the OEM INFs are
    // the only search.
    EXPECT_EQ(1, sim::CallCount("FindFirstFileA"));

    EXPECT_FALSE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_EQ(nullptr, sim::FindService("gorvel"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    std::vector<std::string> log = sim::LogMessages();
    EXPECT_EQ(1, Count(log, "Delete gorvel service success! \n"));
    EXPECT_EQ(2, Count(log, "Can't open KWETDModem service!\n"));
    EXPECT_EQ(1, Count(log, "Can't open KWEusbnet service!\n"));
    int openFailures = 0;
    int fileFailures = 0;
    for (const std::string& m : log) {
        openFailures += StartsWith(m, "OpenService FAILURE: ") ? 1 : 0;
        fileFailures += StartsWith(m, "Error: FAILURE: ") ? 1 : 0;
    }
    EXPECT_EQ(24, openFailures);
    EXPECT_EQ(22, fileFailures);
}

TEST_F(CleanupCleanRun, RepeatedServicesAreAttemptedTwice) {
    const std::vector<std::string> repeated = {"KWETDModem", "KWETDNMEA", "KWETDDiag", "KWETDSound"};
    for (const std::string& name : repeated) {
        sim::AddService(name, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    }
    sim::AddService("KWEusbnet", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);

    EXPECT_EQ(0, sim::Run({"Clean"}));

    std::vector<std::string> log = sim::LogMessages();
    for (const std::string& name : repeated) {
        EXPECT_EQ(nullptr, sim::FindService(name)) << name;
        int deleted = IndexOf(log, "Delete " + name + " service success! \n");
        int second = IndexOf(log, "Can't open " + name + " service!\n");
        ASSERT_GE(deleted, 0) << name;
        EXPECT_GT(second, deleted) << name;
        EXPECT_TRUE(StartsWith(log[static_cast<size_t>(second) + 1], "OpenService FAILURE: "));
    }
    EXPECT_EQ(nullptr, sim::FindService("KWEusbnet"));
}

TEST_F(CleanupCleanRun, RemovesOnlyTheVendorsThings) {
    sim::AddFile(InfPath("oem1.inf"), ProviderInf("ZEFO Corporation"));
    sim::AddFile(InfPath("oem1.PNF"), "pnf");
    sim::AddFile(InfPath("oem2.inf"), ProviderInf("Other Corp"));
    sim::AddFile(InfPath("oem2.PNF"), "pnf");
    sim::AddService("KWEusbser6k", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, false);
    sim::AddService("usbser", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, true);
    sim::AddDevice("USB\\VID_3E1F&PID_A101\\5&1&0&1",
                   {"USB\\VID_3E1F&PID_A101&REV_0100", "USB\\VID_3E1F&PID_A101"});
    sim::AddDevice("USB\\VID_3E1F&PID_7777\\5&1&0&2", {"USB\\Vid_3e1f&Pid_7777"}, false);
    sim::AddDevice("USB\\VID_1234&PID_0001\\5&1&0&3", {"USB\\VID_1234&PID_0001"});
    sim::AddFile(DriverPath("KWEusbser6k.sys"), "vendor");
    sim::AddFile(DriverPath("usbser.sys"), "system");
    sim::AddFile(DriverPath("gorvel.sys"), "filter");
    sim::AddFile(sim::WindowsFolder() + "system32\\brommet.dll", "lib");
    sim::AddFile(sim::WindowsFolder() + "system32\\kernel32.dll", "system");

    EXPECT_EQ(0, sim::Run({"Clean"}));

    EXPECT_FALSE(sim::FileExists(InfPath("oem1.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem1.PNF")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem2.inf")));
    EXPECT_TRUE(sim::FileExists(InfPath("oem2.PNF")));
    EXPECT_EQ(nullptr, sim::FindService("KWEusbser6k"));
    EXPECT_NE(nullptr, sim::FindService("usbser"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_A101\\5&1&0&1"));
    EXPECT_EQ(nullptr, sim::FindDevice("USB\\VID_3E1F&PID_7777\\5&1&0&2"));
    EXPECT_NE(nullptr, sim::FindDevice("USB\\VID_1234&PID_0001\\5&1&0&3"));
    EXPECT_FALSE(sim::FileExists(DriverPath("KWEusbser6k.sys")));
    EXPECT_TRUE(sim::FileExists(DriverPath("usbser.sys")));
    EXPECT_TRUE(sim::FileExists(DriverPath("gorvel.sys")));
    EXPECT_FALSE(sim::FileExists(sim::WindowsFolder() + "system32\\brommet.dll"));
    EXPECT_TRUE(sim::FileExists(sim::WindowsFolder() + "system32\\kernel32.dll"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

TEST_F(CleanupCleanRun, LeavesInstallFlagAndUninstallEntry) {
    const std::string entry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KWE USB Driver";
    sim::SetRegDword("SOFTWARE\\KWEUSBDriverFlag", "IsDriverInstalled", 1);
    sim::SetRegDword("SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag", "IsDriverInstalled", 1);
    sim::SetRegString(entry, "DisplayName", "KWE USB Driver", REG_EXPAND_SZ);

    EXPECT_EQ(0, sim::Run({"Clean"}));

    DWORD flag = 0;
    EXPECT_TRUE(sim::GetRegDword("SOFTWARE\\KWEUSBDriverFlag", "IsDriverInstalled", &flag));
    EXPECT_EQ(1u, flag);
    EXPECT_TRUE(sim::GetRegDword("SOFTWARE\\Wow6432Node\\KWEUSBDriverFlag", "IsDriverInstalled", &flag));
    EXPECT_EQ("KWE USB Driver", sim::GetRegString(entry, "DisplayName"));
    EXPECT_EQ(0, sim::CallCount("RegDeleteKeyA"));
}

} // namespace
