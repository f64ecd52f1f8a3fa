// The benchmark's platform clock: brackets every Windows call and every log
// stream operation that the installer makes, so that a run's time can be
// split into the time spent inside the platform (here: the simulated machine)
// and the program's own time.
//
// The benchmark compiles the product sources a second time with this header
// forced in front of them (-include). Every platform operation name then
// becomes a function-like macro that runs the real call inside a bracket; the
// product's code itself is unchanged. A name inside its own macro expansion is
// not expanded again, so "::GetFileAttributesA(...)" in the expansion reaches
// the machine's function. The brackets count depth, so that a platform call
// nested in another one is not counted twice.
#ifndef HALLIMOR_TESTS_BENCH_PLATFORM_CLOCK_H
#define HALLIMOR_TESTS_BENCH_PLATFORM_CLOCK_H

#include <stdint.h>
#include <stdio.h>

#include "platform/platform.h"

namespace perf {

// Which part of the platform a bracketed call belongs to.
enum CallKind { kWindowsCall = 0, kLogStream = 1 };

// Nanoseconds and call counts accumulated since the last ResetPlatformClock.
struct PlatformTotals {
    uint64_t nanoseconds[2];
    uint64_t calls[2];
};

// Outermost bracket: reads the clock (and, under callgrind in the "own" mode,
// stops instruction collection) on the way in, and the reverse on the way out.
void BeginPlatformCall();
void EndPlatformCall(CallKind kind);

void ResetPlatformClock();
PlatformTotals ReadPlatformClock();

// Callgrind collection modes of a run: none (no client requests), the whole
// run, or only the program's own instructions (collection off inside every
// bracketed call).
enum CollectMode { kCollectNone = 0, kCollectRun = 1, kCollectOwn = 2 };
void SetCollectMode(CollectMode mode);
// Around the installer's run: turn collection on and off as the mode says.
void BeginRunCollection();
void EndRunCollection();

struct PlatformBracket {
    CallKind kind;
    explicit PlatformBracket(CallKind k) : kind(k) {
        BeginPlatformCall();
    }
    ~PlatformBracket() {
        EndPlatformCall(kind);
    }
    PlatformBracket(const PlatformBracket&) = delete;
    PlatformBracket& operator=(const PlatformBracket&) = delete;
};

template <class Call> decltype(auto) Timed(CallKind kind, Call&& call) {
    PlatformBracket bracket(kind);
    return call();
}

} // namespace perf

// Only the product's translation units get the macros; the benchmark and the
// machine include this header without PERF_TIME_PRODUCT.
#if defined(PERF_TIME_PRODUCT)

#define PERF_WINDOWS_CALL(name, ...)                                                                         \
    ::perf::Timed(::perf::kWindowsCall, [&]() { return ::name(__VA_ARGS__); })
#define PERF_STREAM_CALL(name, ...) ::perf::Timed(::perf::kLogStream, [&]() { return ::name(__VA_ARGS__); })

// kernel32, shlwapi
#define GetWindowsDirectoryA(...) PERF_WINDOWS_CALL(GetWindowsDirectoryA, __VA_ARGS__)
#define GetModuleFileNameA(...) PERF_WINDOWS_CALL(GetModuleFileNameA, __VA_ARGS__)
#define FindFirstFileA(...) PERF_WINDOWS_CALL(FindFirstFileA, __VA_ARGS__)
#define FindNextFileA(...) PERF_WINDOWS_CALL(FindNextFileA, __VA_ARGS__)
#define FindClose(...) PERF_WINDOWS_CALL(FindClose, __VA_ARGS__)
#define GetFileAttributesA(...) PERF_WINDOWS_CALL(GetFileAttributesA, __VA_ARGS__)
#define SetFileAttributesA(...) PERF_WINDOWS_CALL(SetFileAttributesA, __VA_ARGS__)
#define DeleteFileA(...) PERF_WINDOWS_CALL(DeleteFileA, __VA_ARGS__)
#define CopyFileA(...) PERF_WINDOWS_CALL(CopyFileA, __VA_ARGS__)
#define CreateFileA(...) PERF_WINDOWS_CALL(CreateFileA, __VA_ARGS__)
#define CloseHandle(...) PERF_WINDOWS_CALL(CloseHandle, __VA_ARGS__)
#define GetFileInformationByHandle(...) PERF_WINDOWS_CALL(GetFileInformationByHandle, __VA_ARGS__)
#define MoveFileExA(...) PERF_WINDOWS_CALL(MoveFileExA, __VA_ARGS__)
#define SystemFunction036(...) PERF_WINDOWS_CALL(SystemFunction036, __VA_ARGS__)
#define GetLocalTime(...) PERF_WINDOWS_CALL(GetLocalTime, __VA_ARGS__)
#define GetVersionExA(...) PERF_WINDOWS_CALL(GetVersionExA, __VA_ARGS__)
#define GetModuleHandleA(...) PERF_WINDOWS_CALL(GetModuleHandleA, __VA_ARGS__)
#define GetProcAddress(...) PERF_WINDOWS_CALL(GetProcAddress, __VA_ARGS__)
#define GetSystemInfo(...) PERF_WINDOWS_CALL(GetSystemInfo, __VA_ARGS__)
#define GetLastError(...) PERF_WINDOWS_CALL(GetLastError, __VA_ARGS__)
#define SetLastError(...) PERF_WINDOWS_CALL(SetLastError, __VA_ARGS__)
#define FormatMessageA(...) PERF_WINDOWS_CALL(FormatMessageA, __VA_ARGS__)
#define LocalAlloc(...) PERF_WINDOWS_CALL(LocalAlloc, __VA_ARGS__)
#define LocalFree(...) PERF_WINDOWS_CALL(LocalFree, __VA_ARGS__)
#define lstrcmpiA(...) PERF_WINDOWS_CALL(lstrcmpiA, __VA_ARGS__)
#define lstrlenA(...) PERF_WINDOWS_CALL(lstrlenA, __VA_ARGS__)
#define WinExec(...) PERF_WINDOWS_CALL(WinExec, __VA_ARGS__)
#define PathRemoveFileSpecA(...) PERF_WINDOWS_CALL(PathRemoveFileSpecA, __VA_ARGS__)
// advapi32: registry
#define RegOpenKeyExA(...) PERF_WINDOWS_CALL(RegOpenKeyExA, __VA_ARGS__)
#define RegCreateKeyExA(...) PERF_WINDOWS_CALL(RegCreateKeyExA, __VA_ARGS__)
#define RegQueryValueExA(...) PERF_WINDOWS_CALL(RegQueryValueExA, __VA_ARGS__)
#define RegSetValueExA(...) PERF_WINDOWS_CALL(RegSetValueExA, __VA_ARGS__)
#define RegDeleteValueA(...) PERF_WINDOWS_CALL(RegDeleteValueA, __VA_ARGS__)
#define RegDeleteKeyA(...) PERF_WINDOWS_CALL(RegDeleteKeyA, __VA_ARGS__)
#define RegCloseKey(...) PERF_WINDOWS_CALL(RegCloseKey, __VA_ARGS__)
// advapi32: service control manager
#define OpenSCManagerA(...) PERF_WINDOWS_CALL(OpenSCManagerA, __VA_ARGS__)
#define OpenServiceA(...) PERF_WINDOWS_CALL(OpenServiceA, __VA_ARGS__)
#define CreateServiceA(...) PERF_WINDOWS_CALL(CreateServiceA, __VA_ARGS__)
#define DeleteService(...) PERF_WINDOWS_CALL(DeleteService, __VA_ARGS__)
#define QueryServiceConfigA(...) PERF_WINDOWS_CALL(QueryServiceConfigA, __VA_ARGS__)
#define ChangeServiceConfigA(...) PERF_WINDOWS_CALL(ChangeServiceConfigA, __VA_ARGS__)
#define ControlService(...) PERF_WINDOWS_CALL(ControlService, __VA_ARGS__)
#define LockServiceDatabase(...) PERF_WINDOWS_CALL(LockServiceDatabase, __VA_ARGS__)
#define UnlockServiceDatabase(...) PERF_WINDOWS_CALL(UnlockServiceDatabase, __VA_ARGS__)
#define QueryServiceLockStatusA(...) PERF_WINDOWS_CALL(QueryServiceLockStatusA, __VA_ARGS__)
#define CloseServiceHandle(...) PERF_WINDOWS_CALL(CloseServiceHandle, __VA_ARGS__)
// setupapi: INF files and the driver store
#define SetupOpenInfFileA(...) PERF_WINDOWS_CALL(SetupOpenInfFileA, __VA_ARGS__)
#define SetupFindFirstLineA(...) PERF_WINDOWS_CALL(SetupFindFirstLineA, __VA_ARGS__)
#define SetupFindNextLine(...) PERF_WINDOWS_CALL(SetupFindNextLine, __VA_ARGS__)
#define SetupGetStringFieldA(...) PERF_WINDOWS_CALL(SetupGetStringFieldA, __VA_ARGS__)
#define SetupCloseInfFile(...) PERF_WINDOWS_CALL(SetupCloseInfFile, __VA_ARGS__)
#define SetupCopyOEMInfA(...) PERF_WINDOWS_CALL(SetupCopyOEMInfA, __VA_ARGS__)
// setupapi: devices; newdev
#define SetupDiGetClassDevsA(...) PERF_WINDOWS_CALL(SetupDiGetClassDevsA, __VA_ARGS__)
#define SetupDiEnumDeviceInfo(...) PERF_WINDOWS_CALL(SetupDiEnumDeviceInfo, __VA_ARGS__)
#define SetupDiGetDeviceRegistryPropertyA(...)                                                               \
    PERF_WINDOWS_CALL(SetupDiGetDeviceRegistryPropertyA, __VA_ARGS__)
#define SetupDiSetDeviceRegistryPropertyA(...)                                                               \
    PERF_WINDOWS_CALL(SetupDiSetDeviceRegistryPropertyA, __VA_ARGS__)
#define SetupDiGetDeviceInstanceIdA(...) PERF_WINDOWS_CALL(SetupDiGetDeviceInstanceIdA, __VA_ARGS__)
#define SetupDiCallClassInstaller(...) PERF_WINDOWS_CALL(SetupDiCallClassInstaller, __VA_ARGS__)
#define SetupDiDestroyDeviceInfoList(...) PERF_WINDOWS_CALL(SetupDiDestroyDeviceInfoList, __VA_ARGS__)
#define UpdateDriverForPlugAndPlayDevicesA(...)                                                              \
    PERF_WINDOWS_CALL(UpdateDriverForPlugAndPlayDevicesA, __VA_ARGS__)

// The log stream. fopen, _open_osfhandle, _fdopen and _close already stand
// for the machine's Sim functions.
#define SimFopen(...) PERF_STREAM_CALL(SimFopen, __VA_ARGS__)
#define SimOpenOsfhandle(...) PERF_STREAM_CALL(SimOpenOsfhandle, __VA_ARGS__)
#define SimFdopen(...) PERF_STREAM_CALL(SimFdopen, __VA_ARGS__)
#define SimClose(...) PERF_STREAM_CALL(SimClose, __VA_ARGS__)
#define fprintf(...) PERF_STREAM_CALL(fprintf, __VA_ARGS__)
#define fclose(...) PERF_STREAM_CALL(fclose, __VA_ARGS__)

#endif

#endif
