// The running program's own folder, which the package scan, the disk-eject
// tool and the uninstall entry are found or written from.
#ifndef HALLIMOR_COMMON_PROGRAM_FOLDER_H
#define HALLIMOR_COMMON_PROGRAM_FOLDER_H

#include <stddef.h>

// Outcomes of FindProgramFolder.
#define PROGRAM_FOLDER_UNKNOWN 0  // no program path, or nothing left of it
#define PROGRAM_FOLDER_FOUND 1    // folder holds the program's folder
#define PROGRAM_FOLDER_TOO_LONG 2 // the program path was cut to fit the buffer

// Fills folder (size bytes) with the program's path without its file name,
// as PathRemoveFileSpecA leaves it: no trailing backslash but for a drive
// root. A path cut short at the buffer's end would name some other place, so
// it is refused: folder is left cleared on every outcome but
// PROGRAM_FOLDER_FOUND. Callers log the outcome in their own words.
int FindProgramFolder(char* folder, size_t size);

#endif
