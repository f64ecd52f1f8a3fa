#include "common/program_folder.h"

#include <string.h>

#include "common/text.h"
#include "platform/platform.h"

int FindProgramFolder(char* folder, size_t size) {
    memset(folder, 0, size);
    DWORD length = GetModuleFileNameA(NULL, folder, (DWORD)size);
    // A result of the buffer size means the path was cut to fit (without a
    // terminator on older Windows versions).
    if (length >= size || BoundedLength(folder, size) == size) {
        memset(folder, 0, size);
        return PROGRAM_FOLDER_TOO_LONG;
    }
    if (folder[0] == '\0') {
        return PROGRAM_FOLDER_UNKNOWN;
    }
    PathRemoveFileSpecA(folder);
    return folder[0] == '\0' ? PROGRAM_FOLDER_UNKNOWN : PROGRAM_FOLDER_FOUND;
}
