// Path building shared by the removal steps.
#ifndef HALLIMOR_CLEANUP_CLEANUP_PATHS_H
#define HALLIMOR_CLEANUP_CLEANUP_PATHS_H

#include <stddef.h>

#include "platform/platform.h"

// Clears dest (destSize bytes) and fills it with folder followed directly by
// name. A path that does not fit is refused rather than cut short, since a
// shortened path could name another file: dest stays cleared, "Error : Path
// too long: %s%s\n" is logged with both parts and the last error is set to
// ERROR_FILENAME_EXCED_RANGE, so that a failure record the caller writes next
// carries the reason. Returns 1 when the whole path was built, 0 otherwise.
int BuildRemovalPath(char* dest, size_t destSize, const char* folder, const char* name);

// Starts the search for "oem*.inf" in the system INF folder, found cleared
// first. When the search fails or finds nothing, "Error : Search Oem*.inf
// file \n" is logged and INVALID_HANDLE_VALUE returned.
HANDLE FindFirstOemInf(WIN32_FIND_DATAA* found);

#endif
