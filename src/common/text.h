// Bounded text and path building and ASCII case handling, shared by every
// subsystem. Every function here writes only inside the buffer it is given.
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

// ASCII case folding in place: only the letters A-Z / a-z change.
void LowerAscii(char* s);
void UpperAscii(char* s);

// Compares at most n characters, folding A-Z onto a-z; stops at the first
// difference or at the end of either string. 0 means equal.
int CompareNoCaseN(const char* a, const char* b, size_t n);

// Byte-for-byte comparison of two whole strings, terminator included.
// 1 when they are the same string.
int SameText(const char* a, const char* b);

#endif
