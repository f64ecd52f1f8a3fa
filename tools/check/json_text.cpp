// The JSON strings of the verbs' --json reports.
#include <string>

#include "check.h"

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char ch : text) {
        unsigned char u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (ch == '\n') {
            out += "\\n";
        } else if (u < 0x20 || u >= 0x80) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}
