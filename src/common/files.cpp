#include "common/files.h"

#include "platform/platform.h"

void ClearReadOnly(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    }
}

int DeleteFileChecked(const char* path) {
    if (DeleteFileA(path)) {
        return 0;
    }
    return GetLastError() == 0 ? 0 : -1;
}

int RemoveFile(const char* path) {
    ClearReadOnly(path);
    return DeleteFileChecked(path);
}
