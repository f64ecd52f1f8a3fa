// The rest of kernel32 on the simulated machine: version records, processor
// information, modules, the clock, the last error, message texts, local
// memory, string helpers and starting programs.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "machine.h"
#include "sim_internal.h"

namespace {

class MachineMiscTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
    }
};

TEST_F(MachineMiscTest, VersionRecordSizeDecidesWhatIsFilled) {
    sim::SetWindowsVersion(5, 2, 0x00010ECE, "Service Pack 2", VER_NT_SERVER, VER_SUITE_ENTERPRISE,
                           PROCESSOR_ARCHITECTURE_IA64);
    OSVERSIONINFOEXA ex;
    memset(&ex, 0, sizeof(ex));
    ex.dwOSVersionInfoSize = 156;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 5u);
    EXPECT_EQ(ex.dwMinorVersion, 2u);
    EXPECT_EQ(ex.dwBuildNumber, 0x00010ECEu);
    EXPECT_EQ(ex.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_STREQ(ex.szCSDVersion, "Service Pack 2");
    EXPECT_EQ(ex.wServicePackMajor, 2);
    EXPECT_EQ(ex.wProductType, VER_NT_SERVER);
    EXPECT_EQ(ex.wSuiteMask, VER_SUITE_ENTERPRISE);

    // The basic record leaves the extended fields alone.
    memset(&ex, 0x5A, sizeof(ex));
    ex.dwOSVersionInfoSize = 148;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 5u);
    EXPECT_EQ(ex.wServicePackMajor, 0x5A5A);
    EXPECT_EQ(ex.wProductType, 0x5A);

    sim::M().version.extendedRecordAvailable = false;
    ex.dwOSVersionInfoSize = 156;
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ex.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A service-pack text longer than the field is cut, terminated.
    sim::M().version.csdVersion = std::string(200, 'S');
    OSVERSIONINFOA basic;
    basic.dwOSVersionInfoSize = sizeof(basic);
    ASSERT_TRUE(GetVersionExA(&basic));
    EXPECT_EQ(strlen(basic.szCSDVersion), 127u);
}

TEST_F(MachineMiscTest, ProcessorInformationThroughTheKernelModule) {
    HMODULE kernel = GetModuleHandleA("KERNEL32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(GetModuleHandleA("kernel32.dll"), kernel);
    EXPECT_EQ(sim::OpenHandleCount(), 0); // a module handle is not opened
    EXPECT_EQ(GetModuleHandleA("ntdll.dll"), nullptr);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    FARPROC proc = GetProcAddress(kernel, "GetNativeSystemInfo");
    ASSERT_NE(proc, nullptr);
    typedef void(WINAPI * Proc)(LPSYSTEM_INFO);
    Proc native = reinterpret_cast<Proc>(reinterpret_cast<void (*)(void)>(proc));
    SYSTEM_INFO info;
    native(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_EQ(sim::CallCount("GetNativeSystemInfo"), 1);

    sim::M().version.processorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    GetSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);

    sim::M().version.nativeSystemInfoExported = false;
    EXPECT_EQ(GetProcAddress(kernel, "GetNativeSystemInfo"), nullptr);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(kernel, "getnativesysteminfo"), nullptr);
}

TEST_F(MachineMiscTest, ClockAndLastError) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    EXPECT_EQ(t.wYear, 2009);
    EXPECT_EQ(t.wMonth, 3);
    EXPECT_EQ(t.wDay, 7);
    EXPECT_EQ(t.wHour, 9);
    EXPECT_EQ(t.wMinute, 5);
    EXPECT_EQ(t.wSecond, 2);
    EXPECT_EQ(t.wDayOfWeek, 6); // a Saturday
    sim::SetLocalTime(2024, 2, 29, 23, 59, 58);
    GetLocalTime(&t);
    EXPECT_EQ(t.wDayOfWeek, 4); // a Thursday
    EXPECT_EQ(t.wHour, 23);

    sim::FailAllCalls("GetLastError", 5);
    SetLastError(1060);
    EXPECT_EQ(GetLastError(), 1060u);
    EXPECT_EQ(sim::CallNames(),
              (std::vector<std::string>{"GetLocalTime", "GetLocalTime", "SetLastError", "GetLastError"}));
    EXPECT_NE(sim::FindCall("SetLastError", "1060"), -1);
}

TEST_F(MachineMiscTest, EveryCommonCodeHasASystemText) {
    const DWORD codes[] = {0,   2,   3,   5,    6,    8,    13,   18,   32,   80,   87,  122,
                           183, 234, 259, 1052, 1055, 1060, 1062, 1072, 1073, 1078, 193, 34};
    for (DWORD code : codes) {
        const char* text = sim::SystemErrorText(code);
        ASSERT_NE(text, nullptr) << code;
        std::string s = text;
        EXPECT_GE(s.size(), 3u) << code;
        EXPECT_EQ(s.substr(s.size() - 2), "\r\n") << code;
    }
    EXPECT_STREQ(sim::SystemErrorText(2), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(sim::SystemErrorText(ERROR_WRONG_INF_STYLE), nullptr);
    EXPECT_EQ(sim::SystemErrorText(ERROR_NO_SUCH_DEVINST), nullptr);
}

TEST_F(MachineMiscTest, FormatMessageAllocatesThroughLocalMemory) {
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
    LPSTR text = nullptr;
    DWORD length = FormatMessageA(flags, NULL, ERROR_SERVICE_DOES_NOT_EXIST, 0x400,
                                  reinterpret_cast<LPSTR>(&text), 0, NULL);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(length, strlen(sim::SystemErrorText(1060)));
    EXPECT_STREQ(text, sim::SystemErrorText(1060));
    EXPECT_EQ(sim::OpenHandleKinds(), (std::vector<std::string>{"local"}));
    EXPECT_EQ(LocalFree(text), nullptr);
    EXPECT_EQ(sim::OpenHandleCount(), 0);

    // Unknown codes, SetupAPI's among them, have no text.
    text = nullptr;
    EXPECT_EQ(
        FormatMessageA(flags, NULL, ERROR_WRONG_INF_STYLE, 0x400, reinterpret_cast<LPSTR>(&text), 0, NULL),
        0u);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(MachineMiscTest, FormatMessageInserts) {
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
    LPSTR text = nullptr;
    // An insert without arguments fails and allocates nothing.
    EXPECT_EQ(FormatMessageA(flags, NULL, 193, 0x400, reinterpret_cast<LPSTR>(&text), 0, NULL), 0u);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(sim::OpenHandleCount(), 0);

    DWORD length = FormatMessageA(flags | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, 193, 0x400,
                                  reinterpret_cast<LPSTR>(&text), 0, NULL);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "%1 is not a valid Win32 application.\r\n");
    EXPECT_EQ(length, 38u);
    LocalFree(text);

    // With an argument array the inserts are filled in, in any order.
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>("A:"), reinterpret_cast<DWORD_PTR>("Disk 2"),
                        reinterpret_cast<DWORD_PTR>("1234-ABCD")};
    char buffer[256];
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, NULL, 34, 0, buffer,
                            sizeof(buffer), reinterpret_cast<va_list*>(args));
    EXPECT_STREQ(
        buffer, "The wrong diskette is in the drive.\r\nInsert Disk 2 (Volume Serial Number: 1234-ABCD) into "
                "drive A:.\r\n");
    EXPECT_EQ(length, strlen(buffer));
}

TEST_F(MachineMiscTest, FormatMessageIntoACallerBuffer) {
    const char* expected = sim::SystemErrorText(ERROR_ACCESS_DENIED);
    size_t n = strlen(expected);
    std::vector<char> buffer(n + 1, 'x');
    EXPECT_EQ(
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, 5, 0, buffer.data(), static_cast<DWORD>(n), NULL),
        0u);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, 5, 0, buffer.data(), static_cast<DWORD>(n + 1),
                             NULL),
              static_cast<DWORD>(n));
    EXPECT_STREQ(buffer.data(), expected);

    sim::FailCall("FormatMessageA", 1, ERROR_NOT_ENOUGH_MEMORY);
    LPSTR text = nullptr;
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, NULL, 5, 0,
                             reinterpret_cast<LPSTR>(&text), 0, NULL),
              0u);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(MachineMiscTest, LocalMemory) {
    unsigned char* zeroed = static_cast<unsigned char*>(LocalAlloc(LMEM_ZEROINIT, 280));
    ASSERT_NE(zeroed, nullptr);
    bool allZero = true;
    for (int i = 0; i < 280; ++i) {
        allZero = allZero && zeroed[i] == 0;
    }
    EXPECT_TRUE(allZero);
    // Without LMEM_ZEROINIT the block holds no zeros to rely on.
    unsigned char* raw = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, 16));
    ASSERT_NE(raw, nullptr);
    EXPECT_NE(raw[0], 0);
    EXPECT_EQ(sim::OpenHandleCount(), 2);

    EXPECT_EQ(LocalFree(nullptr), nullptr);
    int local = 0;
    EXPECT_EQ(LocalFree(&local), &local);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LocalFree(zeroed), nullptr);
    EXPECT_EQ(LocalFree(zeroed), zeroed); // freed twice
    EXPECT_EQ(LocalFree(raw), nullptr);
    EXPECT_EQ(sim::OpenHandleCount(), 0);

    sim::FailCall("LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LocalAlloc(LPTR, 4096), nullptr);
    EXPECT_EQ(sim::M().lastError, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(sim::OpenHandleCount(), 0);
}

TEST_F(MachineMiscTest, StringHelpers) {
    EXPECT_EQ(lstrcmpiA("WinNT", "WINNT"), 0);
    EXPECT_LT(lstrcmpiA("LanmanNT", "ServerNT"), 0);
    EXPECT_GT(lstrcmpiA("winntx", "WINNT"), 0);
    EXPECT_LT(lstrcmpiA(nullptr, ""), 0);
    EXPECT_GT(lstrcmpiA("", nullptr), 0);
    EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenA("Service Pack 6"), 14);
}

TEST_F(MachineMiscTest, WinExecFindsProgramsAsTheSystemDoes) {
    EXPECT_EQ(WinExec("lantrope.exe", SW_HIDE), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(sim::M().executed.empty());

    sim::AddFile("C:\\Windows\\system32\\lantrope.exe");
    EXPECT_GT(WinExec("lantrope.exe", SW_HIDE), 31u);
    sim::AddFile(sim::ExeFolder() + "tool.exe");
    EXPECT_GT(WinExec("tool /quiet", SW_SHOWNORMAL), 31u);
    sim::AddFile("C:\\Program Files\\Vendor\\app.exe");
    EXPECT_GT(WinExec("\"C:\\Program Files\\Vendor\\app.exe\" -x", SW_HIDE), 31u);
    EXPECT_EQ(sim::M().executed, (std::vector<std::string>{"lantrope.exe", "tool /quiet",
                                                           "\"C:\\Program Files\\Vendor\\app.exe\" -x"}));
    EXPECT_EQ(sim::M().executedShow, (std::vector<UINT>{SW_HIDE, SW_SHOWNORMAL, SW_HIDE}));

    EXPECT_EQ(WinExec("C:\\Nowhere\\x.exe", SW_HIDE), static_cast<UINT>(ERROR_PATH_NOT_FOUND));
    sim::FailCall("WinExec", 1, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(WinExec("lantrope.exe", SW_HIDE), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(sim::M().executed.size(), 3u);
    EXPECT_EQ(sim::CallCount("WinExec"), 6);
}

} // namespace
