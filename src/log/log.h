// Run control's install log: the installer's only report besides its exit
// code. It stands on the ground floor, beneath every subsystem that writes
// to it, and reaches nothing but the platform.
#ifndef HALLIMOR_LOG_LOG_H
#define HALLIMOR_LOG_LOG_H

#include "platform/platform.h"

// Opens (recreates) the log at path. 1 on success, 0 on failure or NULL path.
int OpenInstallLog(const char* path);

// Writes one time-stamped record: "(y/m/d h:m:s) " and the formatted message.
// A message longer than 2047 characters is cut at 2047.
void LogMessage(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Reports a failed step with the system's text for the calling thread's last
// error (or the code as "(0x%08x)" when there is no text). The last error is
// the same after the call as before it.
void LogFailure(const char* step);

// Reports a failed step for an error that a call returned rather than left
// in the last error (registry operations, refused paths): the error becomes
// the last error and the record carries its text.
void LogFailureCode(const char* step, DWORD error);

// Closes the log stream if it is open.
void CloseInstallLog(void);

// Forgets the log stream (process-start state).
void ResetLogState(void);

#endif
