// ASCII case handling: only the letters A-Z and a-z change, every other byte
// stays as it is, whatever the code page. Header-only, so that the installer,
// the compile-time checks of its tables, the INF reader and hallimor-check
// all fold alike.
#ifndef HALLIMOR_COMMON_ASCII_CASE_H
#define HALLIMOR_COMMON_ASCII_CASE_H

#include <stddef.h>

constexpr char LowerAsciiChar(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

constexpr char UpperAsciiChar(char c) {
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

// Folds a text in place.
inline void LowerAscii(char* s) {
    for (; s != NULL && *s != '\0'; ++s) {
        *s = LowerAsciiChar(*s);
    }
}

inline void UpperAscii(char* s) {
    for (; s != NULL && *s != '\0'; ++s) {
        *s = UpperAsciiChar(*s);
    }
}

// Compares at most n characters, folding A-Z onto a-z; stops at the first
// difference or at the end of either string. 0 means equal.
constexpr int CompareNoCaseN(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        // Equal bytes need no folding; only a NUL ends the comparison there.
        if (a[i] == b[i]) {
            if (a[i] == '\0') {
                return 0;
            }
            continue;
        }
        int ca = (unsigned char)LowerAsciiChar(a[i]);
        int cb = (unsigned char)LowerAsciiChar(b[i]);
        if (ca != cb) {
            return ca - cb;
        }
    }
    return 0;
}

#endif
