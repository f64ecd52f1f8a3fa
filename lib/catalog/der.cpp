// The strict DER reader.
#include "catalog/der.h"

#include <stdio.h>

namespace catalog {

namespace {

void AppendUtf8(unsigned code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// UTF-16 code units (big- or little-endian) as UTF-8; unpaired surrogates
// become U+FFFD.
std::string Utf16Text(DerSpan bytes, bool bigEndian, bool stopAtNul) {
    std::string text;
    size_t units = bytes.size / 2;
    for (size_t i = 0; i < units; ++i) {
        const uint8_t* p = bytes.data + 2 * i;
        unsigned unit = bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
        if (unit == 0 && stopAtNul) {
            break;
        }
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
            const uint8_t* q = p + 2;
            unsigned low = bigEndian ? (q[0] << 8 | q[1]) : (q[1] << 8 | q[0]);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &text);
                ++i;
                continue;
            }
        }
        AppendUtf8(unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit, &text);
    }
    return text;
}

bool Digits(const uint8_t* p, size_t count, int* value) {
    *value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9') {
            return false;
        }
        *value = *value * 10 + (p[i] - '0');
    }
    return true;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

} // namespace

DerCursor DerStart(const uint8_t* data, size_t size) {
    DerCursor cursor;
    cursor.rest.data = data;
    cursor.rest.size = size;
    return cursor;
}

bool DerRead(DerCursor* cursor, DerItem* item, std::string* error) {
    const uint8_t* p = cursor->rest.data;
    size_t left = cursor->rest.size;
    if (left == 0) {
        *error = "an element is missing at the end of its enclosing element";
        return false;
    }
    if (left < 2) {
        *error = "the data ends inside an element's header";
        return false;
    }
    unsigned char tag = p[0];
    if ((tag & 0x1F) == 0x1F) {
        *error = "an element with a multi-byte tag number, which catalogs do not use";
        return false;
    }
    size_t header = 2;
    size_t length = p[1];
    if (length == 0x80) {
        *error = "an element of indefinite length (BER, not DER)";
        return false;
    }
    if (length > 0x80) {
        size_t octets = length & 0x7F;
        if (octets > 4) {
            *error = "an element whose length takes more than 4 bytes";
            return false;
        }
        if (left < 2 + octets) {
            *error = "the data ends inside an element's length";
            return false;
        }
        length = 0;
        for (size_t i = 0; i < octets; ++i) {
            length = length << 8 | p[2 + i];
        }
        if (p[2] == 0 || length < 0x80) {
            *error = "an element's length is not in its shortest form (BER, not DER)";
            return false;
        }
        header += octets;
    }
    if (length > left - header) {
        *error = "an element's length (" + std::to_string(length) + " bytes) reaches past the end of its " +
                 "enclosing element (" + std::to_string(left - header) + " bytes left)";
        return false;
    }
    item->tag = tag;
    item->whole.data = p;
    item->whole.size = header + length;
    item->value.data = p + header;
    item->value.size = length;
    item->depth = cursor->depth + 1;
    cursor->rest.data += header + length;
    cursor->rest.size -= header + length;
    return true;
}

bool DerExpect(DerCursor* cursor, unsigned char tag, DerItem* item, const char* what, std::string* error) {
    if (!DerRead(cursor, item, error)) {
        *error = std::string(what) + ": " + *error;
        return false;
    }
    if (item->tag != tag) {
        char text[96];
        snprintf(text, sizeof text, ": an element of tag 0x%02X where 0x%02X belongs", item->tag, tag);
        *error = std::string(what) + text;
        return false;
    }
    return true;
}

bool DerNextIs(const DerCursor& cursor, unsigned char tag) {
    return cursor.rest.size > 0 && cursor.rest.data[0] == tag;
}

bool DerAtEnd(const DerCursor& cursor) {
    return cursor.rest.size == 0;
}

bool DerOpen(const DerItem& item, DerCursor* inner, std::string* error) {
    if ((item.tag & 0x20) == 0) {
        *error = "a primitive element where a constructed one belongs";
        return false;
    }
    if (item.depth > kDerMaxDepth) {
        *error = "elements nested more than " + std::to_string(kDerMaxDepth) + " deep";
        return false;
    }
    inner->rest = item.value;
    inner->depth = item.depth;
    return true;
}

bool DerWellFormed(const uint8_t* data, size_t size, std::string* error) {
    // Each open constructed element as the cursor over what is left of it.
    std::vector<DerCursor> open;
    DerCursor top = DerStart(data, size);
    DerItem item;
    if (!DerRead(&top, &item, error)) {
        return false;
    }
    if (!DerAtEnd(top)) {
        *error = "data after the end of the outermost element";
        return false;
    }
    for (;;) {
        if ((item.tag & 0x20) != 0) {
            DerCursor inner;
            if (!DerOpen(item, &inner, error)) {
                return false;
            }
            open.push_back(inner);
        }
        while (!open.empty() && DerAtEnd(open.back())) {
            open.pop_back();
        }
        if (open.empty()) {
            return true;
        }
        if (!DerRead(&open.back(), &item, error)) {
            return false;
        }
    }
}

std::string DerOidText(DerSpan value) {
    if (value.size == 0 || value.size > 64 || (value.data[value.size - 1] & 0x80) != 0) {
        return "";
    }
    std::string text;
    uint64_t arc = 0;
    bool first = true;
    for (size_t i = 0; i < value.size; ++i) {
        if (arc == 0 && value.data[i] == 0x80) {
            return ""; // a padded arc
        }
        if (arc > (UINT64_MAX >> 7)) {
            return "";
        }
        arc = arc << 7 | (value.data[i] & 0x7F);
        if (value.data[i] & 0x80) {
            continue;
        }
        if (first) {
            unsigned top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
            text = std::to_string(top) + "." + std::to_string(arc - 40 * top);
            first = false;
        } else {
            text += "." + std::to_string(arc);
        }
        arc = 0;
    }
    return text;
}

bool DerSmallInteger(DerSpan value, uint64_t* number) {
    if (value.size == 0 || (value.data[0] & 0x80) != 0) {
        return false;
    }
    size_t start = value.data[0] == 0 && value.size > 1 ? 1 : 0;
    if (value.size - start > 8) {
        return false;
    }
    *number = 0;
    for (size_t i = start; i < value.size; ++i) {
        *number = *number << 8 | value.data[i];
    }
    return true;
}

bool DerTime(const DerItem& item, int64_t* seconds) {
    const uint8_t* p = item.value.data;
    size_t n = item.value.size;
    int year = 0;
    if (item.tag == DER_UTC_TIME) {
        if (n != 13 || p[12] != 'Z' || !Digits(p, 2, &year)) {
            return false;
        }
        year += year < 50 ? 2000 : 1900;
        p += 2;
    } else if (item.tag == DER_GENERALIZED_TIME) {
        // Whole seconds, or fractions of a second as time-stamp authorities
        // write them; always in UTC.
        if (n < 15 || p[n - 1] != 'Z' || !Digits(p, 4, &year)) {
            return false;
        }
        if (n > 15) {
            int fraction = 0;
            size_t digits = n - 16;
            if (p[14] != '.' || digits == 0 || digits > 9 || !Digits(p + 15, digits, &fraction)) {
                return false;
            }
        }
        p += 4;
    } else {
        return false;
    }
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(p, 2, &month) || !Digits(p + 2, 2, &day) || !Digits(p + 4, 2, &hour) ||
        !Digits(p + 6, 2, &minute) || !Digits(p + 8, 2, &second) || month < 1 || month > 12 || day < 1 ||
        day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    *seconds = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
               hour * 3600 + minute * 60 + second;
    return true;
}

bool DerText(const DerItem& item, std::string* text) {
    switch (item.tag) {
    case DER_UTF8_STRING:
    case DER_PRINTABLE_STRING:
    case DER_IA5_STRING:
    case DER_T61_STRING:
        text->assign(reinterpret_cast<const char*>(item.value.data), item.value.size);
        return true;
    case DER_BMP_STRING:
        *text = Utf16Text(item.value, true, false);
        return true;
    default:
        return false;
    }
}

std::string Utf16LeText(DerSpan bytes) {
    return Utf16Text(bytes, false, true);
}

std::string TimeText(int64_t seconds) {
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    int64_t rest = seconds - days * 86400;
    // Civil date from days since 1970-01-01.
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = static_cast<int64_t>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    unsigned d = doy - (153 * mp + 2) / 5 + 1;
    unsigned m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2 ? 1 : 0;
    char text[48];
    snprintf(text, sizeof text, "%04lld-%02u-%02u %02d:%02d:%02d UTC", static_cast<long long>(y), m, d,
             static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

std::string HexText(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text.push_back(kDigits[data[i] >> 4]);
        text.push_back(kDigits[data[i] & 15]);
    }
    return text;
}

} // namespace catalog
