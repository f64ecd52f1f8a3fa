// Bounded text and path building, shared by every subsystem (ASCII case
// handling is in common/ascii_case.h). Every function here writes only inside the buffer it is given.
#ifndef HALLIMOR_COMMON_TEXT_H
#define HALLIMOR_COMMON_TEXT_H

#include <stddef.h>

// Length of s, but never reading past max bytes (returns max when no NUL is
// found within them).
size_t BoundedLength(const char* s, size_t max);

// Clears dest (all destSize bytes) and copies src into it. Returns 1 when src
// fits with its terminator; otherwise returns 0 and leaves dest cleared.
int CopyText(char* dest, size_t destSize, const char* src);

// Appends src to the text already in dest. Returns 1 when the result fits
// with its terminator; otherwise returns 0 and leaves dest unchanged.
int AppendText(char* dest, size_t destSize, const char* src);

// Clears dest and fills it with folder followed directly by name. Returns 1
// when the whole path fits; otherwise returns 0 and leaves dest cleared.
int JoinPath(char* dest, size_t destSize, const char* folder, const char* name);

// Byte-for-byte comparison of two whole strings, terminator included.
// 1 when they are the same string.
int SameText(const char* a, const char* b);

#endif
