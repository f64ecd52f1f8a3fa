// The rest of kernel32 on the simulated machine: version and processor
// information, modules, the clock, the last error, system message texts,
// local memory, string helpers and starting programs.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "sim_internal.h"

namespace sim {

namespace {

// Local memory blocks given out, with their sizes.
std::map<void*, size_t>& LocalBlocks() {
    static std::map<void*, size_t> blocks;
    return blocks;
}

const DWORD kProcessorAmd64 = 8664; // PROCESSOR_AMD_X8664
const DWORD kProcessorIntel = 586;  // PROCESSOR_INTEL_PENTIUM
const DWORD kProcessorIa64 = 2200;  // PROCESSOR_INTEL_IA64
const DWORD kWinExecStarted = 33;   // any value above 31 means started
const BYTE kUninitialisedByte = 0xCD;

void SetError(DWORD error) {
    M().lastError = error;
}

// Day of the week of a Gregorian date, 0 for Sunday.
WORD DayOfWeek(int year, int month, int day) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) {
        year -= 1;
    }
    int index = (month >= 1 && month <= 12) ? month - 1 : 0;
    int dow = (year + year / 4 - year / 100 + year / 400 + offsets[index] + day) % 7;
    return static_cast<WORD>(dow < 0 ? dow + 7 : dow);
}

void FillSystemInfo(LPSYSTEM_INFO info) {
    memset(info, 0, sizeof(*info));
    WORD arch = M().version.processorArchitecture;
    info->wProcessorArchitecture = arch;
    info->dwPageSize = 4096;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(0x10000));
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(0x7FFFFFEFFFFull));
    info->dwActiveProcessorMask = 0x3;
    info->dwNumberOfProcessors = 2;
    info->dwProcessorType = arch == PROCESSOR_ARCHITECTURE_AMD64  ? kProcessorAmd64
                            : arch == PROCESSOR_ARCHITECTURE_IA64 ? kProcessorIa64
                                                                  : kProcessorIntel;
    info->dwAllocationGranularity = 65536;
    info->wProcessorLevel = 6;
    info->wProcessorRevision = 0x1E05;
}

struct SystemText {
    DWORD code;
    const char* text;
};

// The English system texts of the codes the installer may meet.
const SystemText kSystemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough storage is available to complete this operation.\r\n"},
    {18, "There are no more files.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {34, "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {998, "Invalid access to memory location.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1010, "The configuration registry key is invalid.\r\n"},
    {1011, "The configuration registry key could not be opened.\r\n"},
    {1013, "The configuration registry key could not be written.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1055, "The service database is locked.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1058, "The service cannot be started, either because it is disabled or because it has no enabled "
           "devices associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1071, "The specified service database lock is invalid.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
    {1073, "The specified service already exists.\r\n"},
    {1078, "The name is already in use as either a service name or a service display name.\r\n"},
    {1784, "The supplied user buffer is not valid for the requested operation.\r\n"},
};

// Reads insert number n (1-based) of a FormatMessageA call: from the
// argument array, or in order from the variable argument list.
struct InsertSource {
    bool isArray;
    const DWORD_PTR* array;
    va_list* list;
    std::vector<DWORD_PTR> taken;

    DWORD_PTR Get(size_t n) {
        if (isArray) {
            return array[n - 1];
        }
        while (taken.size() < n) {
            taken.push_back(va_arg(*list, DWORD_PTR));
        }
        return taken[n - 1];
    }
};

// Formats one insert with its printf-style format ("s" when none is given).
std::string FormatInsert(const std::string& conversion, DWORD_PTR value) {
    char type = conversion.empty() ? 's' : conversion.back();
    std::string format = "%" + (conversion.empty() ? std::string("s") : conversion);
    char buffer[512];
    if (type == 's') {
        const char* text = reinterpret_cast<const char*>(value);
        snprintf(buffer, sizeof(buffer), format.c_str(), text == nullptr ? "" : text);
    } else {
        // Integers: the Windows "l" means 32 bits, and "I64" 64 bits.
        std::string clean;
        bool wide = false;
        for (size_t i = 0; i < format.size(); ++i) {
            if (format.compare(i, 3, "I64") == 0) {
                wide = true;
                i += 2;
            } else if (format[i] != 'l' && format[i] != 'h') {
                clean.push_back(format[i]);
            }
        }
        if (wide) {
            clean.insert(clean.size() - 1, "ll");
            snprintf(buffer, sizeof(buffer), clean.c_str(), static_cast<unsigned long long>(value));
        } else {
            snprintf(buffer, sizeof(buffer), clean.c_str(), static_cast<unsigned int>(value));
        }
    }
    return buffer;
}

// Expands a message text as FormatMessageA does. False when the text needs
// arguments that were not given.
bool ExpandMessage(const char* text, DWORD flags, va_list* arguments, std::string* out) {
    bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    InsertSource source{(flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0,
                        reinterpret_cast<const DWORD_PTR*>(arguments),
                        arguments,
                        {}};
    out->clear();
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != '%') {
            out->push_back(*p);
            continue;
        }
        char next = p[1];
        if (next >= '1' && next <= '9') {
            if (ignoreInserts) {
                out->push_back('%');
                continue; // the number follows as plain text
            }
            if (arguments == nullptr) {
                return false;
            }
            size_t n = static_cast<size_t>(next - '0');
            ++p;
            if (p[1] >= '0' && p[1] <= '9') {
                n = n * 10 + static_cast<size_t>(p[1] - '0');
                ++p;
            }
            std::string conversion;
            if (p[1] == '!') {
                const char* end = strchr(p + 2, '!');
                if (end != nullptr) {
                    conversion.assign(p + 2, static_cast<size_t>(end - (p + 2)));
                    p = end;
                }
            }
            out->append(FormatInsert(conversion, source.Get(n)));
            continue;
        }
        switch (next) {
        case '0':
            return true; // the message ends here, without a line break
        case 'n':
            out->append("\r\n");
            break;
        case 'r':
            out->push_back('\r');
            break;
        case 't':
            out->push_back('\t');
            break;
        case 'b':
            out->push_back(' ');
            break;
        case '\0':
            out->push_back('%');
            return true;
        default:
            out->push_back(next); // "%%", "%.", "%!" and the like
            break;
        }
        ++p;
    }
    return true;
}

void* AllocateLocal(SIZE_T bytes, bool zero) {
    size_t size = bytes == 0 ? 1 : bytes;
    void* block = malloc(size);
    if (block == nullptr) {
        return nullptr;
    }
    memset(block, zero ? 0 : kUninitialisedByte, size);
    LocalBlocks()[block] = bytes;
    RegisterHandle(block, "local", bytes);
    return block;
}

// Where the system looks for a program named without a folder.
std::vector<std::string> ProgramFolders() {
    return {ExeFolder(), WindowsFolder() + "system32\\", WindowsFolder()};
}

bool IsFile(const std::string& path) {
    DWORD attributes = FileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

HMODULE ExeModule() {
    return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x140000000ull));
}

HMODULE Kernel32Module() {
    return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7FFFA1230000ull));
}

const char* SystemErrorText(DWORD code) {
    for (const SystemText& t : kSystemTexts) {
        if (t.code == code) {
            return t.text;
        }
    }
    return nullptr;
}

void ResetMisc() {
    for (auto& block : LocalBlocks()) {
        free(block.first);
    }
    LocalBlocks().clear();
}

void SetWindowsVersion(DWORD major, DWORD minor, DWORD build, const std::string& csdVersion, BYTE productType,
                       WORD suiteMask, WORD processorArchitecture) {
    VersionInfo& v = M().version;
    v.major = major;
    v.minor = minor;
    v.build = build;
    v.csdVersion = csdVersion;
    v.productType = productType;
    v.suiteMask = suiteMask;
    v.processorArchitecture = processorArchitecture;
    // The service-pack numbers follow the text where it names one.
    v.servicePackMajor = 0;
    v.servicePackMinor = 0;
    const char prefix[] = "Service Pack ";
    if (csdVersion.compare(0, sizeof(prefix) - 1, prefix) == 0) {
        v.servicePackMajor = static_cast<WORD>(atoi(csdVersion.c_str() + sizeof(prefix) - 1));
    }
}

void SetLocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME& t = M().clock.time;
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = 0;
    t.wDayOfWeek = DayOfWeek(year, month, day);
}

} // namespace sim

using sim::Args;
using sim::Enter;
using sim::M;

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    DWORD fault = 0;
    DWORD size = lpVersionInformation == nullptr ? 0 : lpVersionInformation->dwOSVersionInfoSize;
    if (Enter("GetVersionExA", Args(lpVersionInformation, size), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    if (lpVersionInformation == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const sim::VersionInfo& v = M().version;
    bool extended = size == sizeof(OSVERSIONINFOEXA);
    if (!extended && size != sizeof(OSVERSIONINFOA)) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((extended && !v.extendedRecordAvailable) || (!extended && !v.basicRecordAvailable)) {
        sim::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    lpVersionInformation->dwMajorVersion = v.major;
    lpVersionInformation->dwMinorVersion = v.minor;
    lpVersionInformation->dwBuildNumber = v.build;
    lpVersionInformation->dwPlatformId = v.platformId;
    memset(lpVersionInformation->szCSDVersion, 0, sizeof(lpVersionInformation->szCSDVersion));
    size_t n = std::min(v.csdVersion.size(), sizeof(lpVersionInformation->szCSDVersion) - 1);
    memcpy(lpVersionInformation->szCSDVersion, v.csdVersion.data(), n);
    if (extended) {
        OSVERSIONINFOEXA* ex = reinterpret_cast<OSVERSIONINFOEXA*>(lpVersionInformation);
        ex->wServicePackMajor = v.servicePackMajor;
        ex->wServicePackMinor = v.servicePackMinor;
        ex->wSuiteMask = v.suiteMask;
        ex->wProductType = v.productType;
        ex->wReserved = 0;
    }
    return TRUE;
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
    DWORD fault = 0;
    Enter("GetSystemInfo", Args(lpSystemInfo), &fault); // it cannot fail
    if (lpSystemInfo != nullptr) {
        // A 64-bit process sees the machine's own processor.
        sim::FillSystemInfo(lpSystemInfo);
    }
}

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
    DWORD fault = 0;
    Enter("GetNativeSystemInfo", Args(lpSystemInfo), &fault); // it cannot fail
    if (lpSystemInfo != nullptr) {
        sim::FillSystemInfo(lpSystemInfo);
    }
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    DWORD fault = 0;
    if (Enter("GetModuleHandleA", Args(lpModuleName), &fault)) {
        sim::SetError(fault);
        return nullptr;
    }
    if (lpModuleName == nullptr) {
        return sim::ExeModule();
    }
    std::string name = sim::LowerAsciiCopy(lpModuleName);
    if (name == "kernel32.dll" || name == "kernel32") {
        return sim::Kernel32Module();
    }
    sim::SetError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    DWORD fault = 0;
    bool byOrdinal = reinterpret_cast<uintptr_t>(lpProcName) < 0x10000;
    if (Enter("GetProcAddress", Args(hModule, byOrdinal ? nullptr : lpProcName), &fault)) {
        sim::SetError(fault);
        return nullptr;
    }
    if (hModule != sim::Kernel32Module() && hModule != sim::ExeModule() && hModule != nullptr) {
        sim::SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (hModule == sim::Kernel32Module() && !byOrdinal) {
        // Exports are found by their exact name.
        std::string name = lpProcName;
        void (*proc)(void) = nullptr;
        if (name == "GetNativeSystemInfo" && M().version.nativeSystemInfoExported) {
            proc = reinterpret_cast<void (*)(void)>(&GetNativeSystemInfo);
        } else if (name == "GetSystemInfo") {
            proc = reinterpret_cast<void (*)(void)>(&GetSystemInfo);
        } else if (name == "GetVersionExA") {
            proc = reinterpret_cast<void (*)(void)>(&GetVersionExA);
        }
        if (proc != nullptr) {
            return reinterpret_cast<FARPROC>(proc);
        }
    }
    sim::SetError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    DWORD fault = 0;
    Enter("GetLocalTime", Args(lpSystemTime), &fault); // it cannot fail
    if (lpSystemTime != nullptr) {
        *lpSystemTime = M().clock.time;
    }
}

DWORD WINAPI GetLastError(void) {
    DWORD fault = 0;
    Enter("GetLastError", {}, &fault); // never fails
    return M().lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    DWORD fault = 0;
    Enter("SetLastError", Args(dwErrCode), &fault); // never fails
    M().lastError = dwErrCode;
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    DWORD fault = 0;
    if (Enter("FormatMessageA",
              Args(dwFlags, lpSource, dwMessageId, dwLanguageId, static_cast<const void*>(lpBuffer), nSize,
                   Arguments),
              &fault)) {
        sim::SetError(fault);
        return 0;
    }
    bool allocate = (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (lpBuffer == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = nullptr;
    if (dwFlags & FORMAT_MESSAGE_FROM_STRING) {
        text = static_cast<const char*>(lpSource);
    } else if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
        text = sim::SystemErrorText(dwMessageId);
        if (text == nullptr) {
            sim::SetError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
    }
    if (text == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string message;
    if (!sim::ExpandMessage(text, dwFlags, Arguments, &message)) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD length = static_cast<DWORD>(message.size());
    if (allocate) {
        size_t size = std::max<size_t>(message.size() + 1, nSize);
        char* block = static_cast<char*>(sim::AllocateLocal(size, true));
        if (block == nullptr) {
            sim::SetError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        memcpy(block, message.c_str(), message.size() + 1);
        *reinterpret_cast<LPSTR*>(lpBuffer) = block;
        return length;
    }
    if (nSize < message.size() + 1) {
        sim::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(lpBuffer, message.c_str(), message.size() + 1);
    return length;
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    DWORD fault = 0;
    if (Enter("LocalAlloc", Args(uFlags, uBytes), &fault)) {
        sim::SetError(fault);
        return nullptr;
    }
    void* block = sim::AllocateLocal(uBytes, (uFlags & LMEM_ZEROINIT) != 0);
    if (block == nullptr) {
        sim::SetError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    DWORD fault = 0;
    if (Enter("LocalFree", Args(hMem), &fault)) {
        sim::SetError(fault);
        return hMem;
    }
    if (hMem == nullptr) {
        return nullptr;
    }
    auto it = sim::LocalBlocks().find(hMem);
    if (it == sim::LocalBlocks().end()) {
        sim::SetError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    sim::LocalBlocks().erase(it);
    sim::ReleaseHandle(hMem, "local");
    free(hMem);
    return nullptr;
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    DWORD fault = 0;
    Enter("lstrcmpiA", Args(lpString1, lpString2), &fault); // it cannot fail
    if (lpString1 == nullptr || lpString2 == nullptr) {
        return lpString1 == lpString2 ? 0 : (lpString1 == nullptr ? -1 : 1);
    }
    const unsigned char* a = reinterpret_cast<const unsigned char*>(lpString1);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(lpString2);
    for (;; ++a, ++b) {
        int ca = (*a >= 'A' && *a <= 'Z') ? *a - 'A' + 'a' : *a;
        int cb = (*b >= 'A' && *b <= 'Z') ? *b - 'A' + 'a' : *b;
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        if (ca == 0) {
            return 0;
        }
    }
}

int WINAPI lstrlenA(LPCSTR lpString) {
    DWORD fault = 0;
    Enter("lstrlenA", Args(lpString), &fault); // it cannot fail
    return lpString == nullptr ? 0 : static_cast<int>(strlen(lpString));
}

UINT WINAPI WinExec(LPCSTR lpCmdLine, UINT uCmdShow) {
    DWORD fault = 0;
    if (Enter("WinExec", Args(lpCmdLine, uCmdShow), &fault)) {
        sim::SetError(fault);
        return (fault > 0 && fault < 32) ? static_cast<UINT>(fault) : 0;
    }
    if (lpCmdLine == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The program is the first token: quoted, or up to the first blank.
    std::string line = lpCmdLine;
    std::string program;
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        program = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        program = line.substr(0, line.find_first_of(" \t"));
    }
    if (program.empty()) {
        sim::SetError(ERROR_FILE_NOT_FOUND);
        return ERROR_FILE_NOT_FOUND;
    }
    size_t lastSlash = program.find_last_of("\\/");
    std::string leaf = lastSlash == std::string::npos ? program : program.substr(lastSlash + 1);
    if (leaf.find('.') == std::string::npos) {
        program += ".exe";
    }
    std::vector<std::string> candidates;
    bool bareName = program.find_first_of("\\/:") == std::string::npos;
    if (bareName) {
        for (const std::string& folder : sim::ProgramFolders()) {
            candidates.push_back(folder + program);
        }
    } else {
        candidates.push_back(program);
    }
    for (const std::string& candidate : candidates) {
        if (sim::IsFile(candidate)) {
            M().executed.push_back(line);
            M().executedShow.push_back(uCmdShow);
            return sim::kWinExecStarted;
        }
    }
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (!bareName) {
        std::string folder = program.substr(0, program.find_last_of("\\/") + 1);
        DWORD attributes = sim::FileAttributes(folder.empty() ? "." : folder);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error = ERROR_PATH_NOT_FOUND;
        }
    }
    sim::SetError(error);
    return static_cast<UINT>(error);
}
