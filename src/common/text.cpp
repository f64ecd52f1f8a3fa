#include "common/text.h"

#include <string.h>

size_t BoundedLength(const char* s, size_t max) {
    if (s == NULL) {
        return 0;
    }
    // memchr reads as if byte by byte and stops at the first NUL, so it never
    // looks past the terminator of a shorter string; it is much faster than a
    // loop of our own on the hardware-ID lists and paths measured here.
    const char* end = (const char*)memchr(s, '\0', max);
    return end != NULL ? (size_t)(end - s) : max;
}

int CopyText(char* dest, size_t destSize, const char* src) {
    if (dest == NULL || destSize == 0) {
        return 0;
    }
    memset(dest, 0, destSize);
    if (src == NULL) {
        return 1;
    }
    size_t len = BoundedLength(src, destSize);
    if (len >= destSize) {
        return 0;
    }
    memcpy(dest, src, len);
    return 1;
}

int AppendText(char* dest, size_t destSize, const char* src) {
    if (dest == NULL || destSize == 0) {
        return 0;
    }
    size_t used = BoundedLength(dest, destSize);
    if (used >= destSize) {
        return 0;
    }
    if (src == NULL) {
        return 1;
    }
    size_t room = destSize - used;
    size_t len = BoundedLength(src, room);
    if (len >= room) {
        return 0;
    }
    memcpy(dest + used, src, len);
    dest[used + len] = '\0';
    return 1;
}

int JoinPath(char* dest, size_t destSize, const char* folder, const char* name) {
    if (!CopyText(dest, destSize, folder)) {
        return 0;
    }
    if (!AppendText(dest, destSize, name)) {
        memset(dest, 0, destSize);
        return 0;
    }
    return 1;
}

int SameText(const char* a, const char* b) {
    if (a == NULL || b == NULL) {
        return 0;
    }
    return strcmp(a, b) == 0 ? 1 : 0;
}
