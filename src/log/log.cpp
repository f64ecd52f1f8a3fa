// The install log: one text stream, recreated each run, to which every step
// writes time-stamped records.
#include "log/log.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "log/log_texts.h"
#include "platform/platform.h"

// Size of the message buffer: a formatted message holds at most 2047
// characters and is cut there.
#define LOG_MESSAGE_SIZE 2048

// The open log, or NULL before it is opened and after it is closed.
static FILE* s_LogStream = NULL;

// Attempts at creating the log before the run goes on without one.
#define LOG_CREATE_ATTEMPTS 4

// Random bytes in the name of the file that becomes the log.
#define LOG_TEMPORARY_RANDOM_BYTES 8

// The log lives in the Windows temporary folder, where ordinary users may
// create files: whatever stands at the log's name (an old log, a file a user
// left there, a symbolic or hard link to another file) is never opened,
// deleted or changed. The log is created as a new file under an
// unpredictable name beside it and renamed over the log's name while it is
// open: a rename replaces the name itself and never writes through it.

// The folder of path followed by "~", the random bytes in hex and ".tmp":
// no longer than the log's own name, so that a log path that fits has a
// temporary path that fits too. 0 when it does not fit dest.
static int BuildTemporaryLogPath(char* dest, size_t destSize, const char* path) {
    unsigned char random[LOG_TEMPORARY_RANDOM_BYTES];
    char name[1 + 2 * LOG_TEMPORARY_RANDOM_BYTES + 5];
    static const char kHexDigits[] = "0123456789abcdef";

    memset(random, 0, sizeof(random));
    memset(name, 0, sizeof(name));
    if (!RtlGenRandom(random, (ULONG)sizeof(random))) {
        return 0;
    }
    name[0] = '~';
    for (size_t i = 0; i < sizeof(random); ++i) {
        name[1 + 2 * i] = kHexDigits[random[i] >> 4];
        name[2 + 2 * i] = kHexDigits[random[i] & 0x0F];
    }
    memcpy(name + 1 + 2 * LOG_TEMPORARY_RANDOM_BYTES, ".tmp", 4);

    // The folder is the path up to its last backslash, that included.
    const char* lastSeparator = strrchr(path, '\\');
    int folderLength = lastSeparator == NULL ? 0 : (int)(lastSeparator - path + 1);
    memset(dest, 0, destSize);
    int written = snprintf(dest, destSize, "%.*s%s", folderLength, path, name);
    return written > 0 && (size_t)written < destSize ? 1 : 0;
}

// Closes the new file and removes it: it is the installer's own, created
// under a name that nothing stood at.
static void DiscardTemporaryLog(HANDLE file, const char* temporaryPath) {
    CloseHandle(file);
    DeleteFileA(temporaryPath);
}

// One attempt: a new file with one link, renamed over the log's name and
// handed to a text stream. NULL when any step fails, with the new file gone.
static FILE* CreateLogStream(const char* path) {
    char temporaryPath[MAX_PATH];
    BY_HANDLE_FILE_INFORMATION information;

    memset(temporaryPath, 0, sizeof(temporaryPath));
    memset(&information, 0, sizeof(information));
    if (!BuildTemporaryLogPath(temporaryPath, sizeof(temporaryPath), path)) {
        return NULL;
    }
    HANDLE file = CreateFileA(temporaryPath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return NULL;
    }
    if (!GetFileInformationByHandle(file, &information) || information.nNumberOfLinks != 1 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        DiscardTemporaryLog(file, temporaryPath);
        return NULL;
    }
    if (!MoveFileExA(temporaryPath, path, MOVEFILE_REPLACE_EXISTING)) {
        DiscardTemporaryLog(file, temporaryPath);
        return NULL;
    }
    // From here the file is the log: a later attempt replaces it in turn.
    int descriptor = _open_osfhandle((intptr_t)file, _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return NULL;
    }
    FILE* stream = _fdopen(descriptor, "w+");
    if (stream == NULL) {
        _close(descriptor);
        return NULL;
    }
    return stream;
}

int OpenInstallLog(const char* path) {
    if (path == NULL) {
        return 0;
    }
    for (int attempt = 0; attempt < LOG_CREATE_ATTEMPTS; ++attempt) {
        FILE* stream = CreateLogStream(path);
        if (stream != NULL) {
            s_LogStream = stream;
            return 1;
        }
    }
    return 0;
}

void LogMessage(const char* format, ...) {
    char message[LOG_MESSAGE_SIZE];
    SYSTEMTIME now;
    va_list arguments;

    memset(message, 0, sizeof(message));
    memset(&now, 0, sizeof(now));
    GetLocalTime(&now);

    va_start(arguments, format);
    vsnprintf(message, sizeof(message), format, arguments);
    va_end(arguments);
    // Some C runtimes leave a cut message without its terminator: the last
    // byte always ends the text, so a long message stops at 2047 characters.
    message[sizeof(message) - 1] = '\0';

    if (s_LogStream == NULL) {
        return;
    }
    fprintf(s_LogStream, "(%d/%d/%d %d:%d:%d) %s", (int)now.wYear, (int)now.wMonth, (int)now.wDay,
            (int)now.wHour, (int)now.wMinute, (int)now.wSecond, message);
}

void LogFailure(const char* step) {
    DWORD error = GetLastError();
    LPSTR text = NULL;
    const char* name = step != NULL ? step : "";

    // Inserts are ignored: a system text such as "... %1 ..." must not make
    // the call read arguments that are not there.
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
        error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    if (length != 0 && text != NULL) {
        // The returned length bounds the read, terminator or not.
        LogMessage("%s%s%.*s", name, kLogFailureMark, (int)length, text);
    } else {
        LogMessage("%s%s(0x%08x)", name, kLogFailureMark, (unsigned int)error);
    }
    if (text != NULL) {
        LocalFree(text);
    }
    SetLastError(error);
}

void LogFailureCode(const char* step, DWORD error) {
    SetLastError(error);
    LogFailure(step);
}

void CloseInstallLog(void) {
    if (s_LogStream != NULL) {
        fclose(s_LogStream);
        s_LogStream = NULL;
    }
}

void ResetLogState(void) {
    CloseInstallLog();
}
