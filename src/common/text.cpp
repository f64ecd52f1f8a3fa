#include "common/text.h"

#include <string.h>

size_t BoundedLength(const char* s, size_t max) {
    size_t n = 0;
    if (s == NULL) {
        return 0;
    }
    while (n < max && s[n] != '\0') {
        ++n;
    }
    return n;
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

void LowerAscii(char* s) {
    if (s == NULL) {
        return;
    }
    for (; *s != '\0'; ++s) {
        if (*s >= 'A' && *s <= 'Z') {
            *s = (char)(*s - 'A' + 'a');
        }
    }
}

void UpperAscii(char* s) {
    if (s == NULL) {
        return;
    }
    for (; *s != '\0'; ++s) {
        if (*s >= 'a' && *s <= 'z') {
            *s = (char)(*s - 'a' + 'A');
        }
    }
}

static int FoldAscii(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 'a';
    }
    return c;
}

int CompareNoCaseN(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        int ca = FoldAscii((unsigned char)a[i]);
        int cb = FoldAscii((unsigned char)b[i]);
        if (ca != cb) {
            return ca - cb;
        }
        if (ca == 0) {
            return 0;
        }
    }
    return 0;
}

int SameText(const char* a, const char* b) {
    if (a == NULL || b == NULL) {
        return 0;
    }
    return strcmp(a, b) == 0 ? 1 : 0;
}
