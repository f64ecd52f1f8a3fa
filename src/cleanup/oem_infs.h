// The walk over the driver store's OEM INFs and the path building of the
// removal steps, shared by the superseded removal and the vendor purge.
#ifndef HALLIMOR_CLEANUP_OEM_INFS_H
#define HALLIMOR_CLEANUP_OEM_INFS_H

#include <stddef.h>

// Clears dest (destSize bytes) and fills it with folder followed directly by
// name. A path that does not fit is refused rather than cut short, since a
// shortened path could name another file: dest stays cleared, "Error : Path
// too long: %s%s\n" is logged with both parts and the last error is set to
// ERROR_FILENAME_EXCED_RANGE, so that a failure record the caller writes next
// carries the reason. Returns 1 when the whole path was built, 0 otherwise.
int BuildRemovalPath(char* dest, size_t destSize, const char* folder, const char* name);

// Calls visit with the name and the full path of every "oem*.inf" in the
// system INF folder, in the order of the search; a name whose path does not
// fit is passed over (BuildRemovalPath logs it). When the search fails or
// finds nothing, "Error : Search Oem*.inf file \n" is logged and 0 returned.
int ForEachOemInf(void (*visit)(const char* fileName, const char* infPath));

#endif
