// The file-deletion steps shared by the removal subsystems.
#ifndef HALLIMOR_COMMON_FILES_H
#define HALLIMOR_COMMON_FILES_H

// Clears the read-only attribute of path when it is set (attributes become
// FILE_ATTRIBUTE_NORMAL; a missing file also gets the call, without effect).
void ClearReadOnly(const char* path);

// Deletes path. Returns 0 when DeleteFileA succeeded or failed with last
// error 0; -1 when it failed with a nonzero last error, which is left in
// place for the caller's failure record.
int DeleteFileChecked(const char* path);

// Both steps: clear the read-only attribute, then delete. 0 or -1 as above.
int RemoveFile(const char* path);

#endif
