// The install log: one text stream, recreated each run, to which every step
// writes time-stamped records.
#include "run/log.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "platform/platform.h"

// Size of the message buffer: a formatted message holds at most 2047
// characters and is cut there.
#define LOG_MESSAGE_SIZE 2048

// The open log, or NULL before it is opened and after it is closed.
static FILE* s_LogStream = NULL;

int OpenInstallLog(const char* path) {
    if (path == NULL) {
        return 0;
    }
    FILE* stream = fopen(path, "w+");
    if (stream == NULL) {
        return 0;
    }
    s_LogStream = stream;
    return 1;
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
        LogMessage("%s FAILURE: %.*s", name, (int)length, text);
    } else {
        LogMessage("%s FAILURE: (0x%08x)", name, (unsigned int)error);
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
