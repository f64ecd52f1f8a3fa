// A strict, bounded reader of DER (the distinguished encoding of ASN.1), as
// catalogs, certificates and signatures are written. Every element is read
// through a cursor that knows where its enclosing element ends: no read goes
// past it, indefinite and non-minimal lengths are refused, and nesting is
// limited. Plain C++17: no Windows calls, no crypto library.
#ifndef HALLIMOR_LIB_CATALOG_DER_H
#define HALLIMOR_LIB_CATALOG_DER_H

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

namespace catalog {

// Identifier octets of the element types catalogs use.
enum DerTag : unsigned char {
    DER_BOOLEAN = 0x01,
    DER_INTEGER = 0x02,
    DER_BIT_STRING = 0x03,
    DER_OCTET_STRING = 0x04,
    DER_NULL = 0x05,
    DER_OID = 0x06,
    DER_UTF8_STRING = 0x0C,
    DER_PRINTABLE_STRING = 0x13,
    DER_T61_STRING = 0x14,
    DER_IA5_STRING = 0x16,
    DER_UTC_TIME = 0x17,
    DER_GENERALIZED_TIME = 0x18,
    DER_BMP_STRING = 0x1E,
    DER_SEQUENCE = 0x30,
    DER_SET = 0x31,
    DER_CONTEXT_0 = 0xA0, // [0] constructed
    DER_CONTEXT_1 = 0xA1,
    DER_CONTEXT_2 = 0xA2,
    DER_CONTEXT_3 = 0xA3,
};

// Deeper nesting than this is refused: no catalog needs more than a dozen.
const unsigned kDerMaxDepth = 24;

struct DerSpan {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// One element: its identifier octet, its whole encoding and its contents.
struct DerItem {
    unsigned char tag = 0;
    DerSpan whole;
    DerSpan value;
    unsigned depth = 0; // of the elements inside it
};

// The elements that remain inside one enclosing element.
struct DerCursor {
    DerSpan rest;
    unsigned depth = 0;
};

DerCursor DerStart(const uint8_t* data, size_t size);

// Reads the next element. False with the reason in *error when there is none
// or it is malformed.
bool DerRead(DerCursor* cursor, DerItem* item, std::string* error);
// Reads the next element, which must carry the tag; what names it in the
// reason.
bool DerExpect(DerCursor* cursor, unsigned char tag, DerItem* item, const char* what, std::string* error);
// True when the next element carries the tag (nothing is read).
bool DerNextIs(const DerCursor& cursor, unsigned char tag);
bool DerAtEnd(const DerCursor& cursor);
// A cursor over the elements inside a constructed element; refused past
// kDerMaxDepth.
bool DerOpen(const DerItem& item, DerCursor* inner, std::string* error);

// True when the bytes are exactly one element whose every constructed
// element, at any depth, is filled exactly by well-formed elements, nested at
// most kDerMaxDepth deep.
bool DerWellFormed(const uint8_t* data, size_t size, std::string* error);

// The dotted text of an OID's contents ("1.2.840.113549.1.7.2"); "" when
// malformed.
std::string DerOidText(DerSpan value);
// An INTEGER's contents as an unsigned number; false when negative or too
// large.
bool DerSmallInteger(DerSpan value, uint64_t* number);
// A UTCTime or GeneralizedTime as seconds since 1970 (UTC).
bool DerTime(const DerItem& item, int64_t* seconds);
// A string element as UTF-8 (BMPString converted from UTF-16BE); false for
// other tags.
bool DerText(const DerItem& item, std::string* text);
// UTF-16LE bytes (catalog name-value data) as UTF-8, up to the first NUL.
std::string Utf16LeText(DerSpan bytes);

// Seconds since 1970 as "YYYY-MM-DD HH:MM:SS UTC".
std::string TimeText(int64_t seconds);
// Upper-case hexadecimal of the bytes.
std::string HexText(const uint8_t* data, size_t size);
inline std::string HexText(const std::vector<uint8_t>& bytes) {
    return HexText(bytes.data(), bytes.size());
}
inline std::vector<uint8_t> SpanBytes(DerSpan span) {
    return std::vector<uint8_t>(span.data, span.data + span.size);
}
inline bool SameBytes(DerSpan a, DerSpan b) {
    return a.size == b.size && (a.size == 0 || std::equal(a.data, a.data + a.size, b.data));
}

} // namespace catalog

#endif
