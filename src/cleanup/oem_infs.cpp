// The driver store's OEM INFs in the system INF folder, and the paths of the
// files that the removal steps delete.
#include "cleanup/oem_infs.h"

#include <string.h>

#include "common/product_tables.h"
#include "common/text.h"
#include "environment/environment.h"
#include "log/log.h"
#include "platform/platform.h"

static const char kOemInfPattern[] = "oem*.inf";

int BuildRemovalPath(char* dest, size_t destSize, const char* folder, const char* name) {
    if (JoinPath(dest, destSize, folder, name)) {
        return 1;
    }
    LogMessage("Error : Path too long: %s%s\n", folder != NULL ? folder : "", name != NULL ? name : "");
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
}

int ForEachOemInf(void (*visit)(const char* fileName, const char* infPath)) {
    char pattern[PATH_BUFFER_SIZE];
    char infPath[PATH_BUFFER_SIZE];
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;

    memset(&found, 0, sizeof(found));
    if (BuildRemovalPath(pattern, sizeof(pattern), g_SystemInfFolder, kOemInfPattern)) {
        search = FindFirstFileA(pattern, &found);
    }
    if (search == INVALID_HANDLE_VALUE) {
        LogMessage("Error : Search Oem*.inf file \n");
        return 0;
    }
    do {
        found.cFileName[MAX_PATH - 1] = '\0';
        if (BuildRemovalPath(infPath, sizeof(infPath), g_SystemInfFolder, found.cFileName)) {
            visit(found.cFileName, infPath);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return 1;
}
