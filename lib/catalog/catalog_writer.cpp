// The catalog writer.
#include "catalog/catalog_writer.h"

#include <stddef.h>

#include <algorithm>

namespace catalog {

namespace {

// The subject interface package GUIDs that tell Windows how a member is
// hashed: as a PE image, or as plain bytes.
const char kPeImageSubject[] = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}";
const char kFlatSubject[] = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}";

// Code points of UTF-8 text; invalid bytes stand for themselves.
std::vector<unsigned> CodePoints(const std::string& utf8) {
    std::vector<unsigned> codes;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        unsigned code = extra == 0 ? c : c & (0x3F >> extra);
        if (extra > 0 && i + extra >= utf8.size()) {
            codes.push_back(c);
            ++i;
            continue;
        }
        for (int k = 1; k <= extra; ++k) {
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        codes.push_back(code);
        i += 1 + extra;
    }
    return codes;
}

Bytes Utf16Bytes(const std::string& utf8, bool bigEndian) {
    Bytes out;
    auto unit = [&](unsigned u) {
        out.push_back(static_cast<uint8_t>(bigEndian ? u >> 8 : u & 0xFF));
        out.push_back(static_cast<uint8_t>(bigEndian ? u & 0xFF : u >> 8));
    };
    for (unsigned code : CodePoints(utf8)) {
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out;
}

Bytes NameValueElement(const NameValue& attribute) {
    Bytes value = Utf16LeBytes(attribute.value, true);
    return DerElement(DER_SEQUENCE,
                      DerJoin({DerBmpElement(attribute.name), DerIntegerElement(attribute.flags),
                               DerElement(DER_OCTET_STRING, value)}));
}

Bytes AttributeElement(const std::string& oid, const Bytes& value) {
    return DerElement(DER_SEQUENCE, DerJoin({DerOidElement(oid), DerElement(DER_SET, value)}));
}

// SpcLink's file choice with the text that catalog tools write there.
Bytes ObsoleteFileLink() {
    return DerElement(DER_CONTEXT_2, DerElement(0x80, Utf16Bytes("<<<Obsolete>>>", true)));
}

Bytes MemberElement(const CatalogMemberEntry& member) {
    std::string hex = HexText(member.digest);
    Bytes data =
        member.peImage
            ? DerElement(DER_SEQUENCE,
                         DerJoin({DerOidElement(kOidPeImageData),
                                  DerElement(DER_SEQUENCE,
                                             DerJoin({DerElement(DER_BIT_STRING, {0}),
                                                      DerElement(DER_CONTEXT_0, ObsoleteFileLink())}))}))
            : DerElement(DER_SEQUENCE, DerJoin({DerOidElement(kOidFlatData), ObsoleteFileLink()}));
    Bytes indirect =
        DerElement(DER_SEQUENCE,
                   DerJoin({data, DerElement(DER_SEQUENCE,
                                             DerJoin({DerAlgorithmElement(HashAlgorithmOid(member.algorithm)),
                                                      DerElement(DER_OCTET_STRING, member.digest)}))}));
    Bytes memberInfo = DerElement(
        DER_SEQUENCE,
        DerJoin({DerBmpElement(member.peImage ? kPeImageSubject : kFlatSubject), DerIntegerElement(512)}));
    NameValue file{"File", kNameValueFlags, member.fileName};
    Bytes attributes =
        DerJoin({AttributeElement(kOidNameValue, NameValueElement(file)),
                 AttributeElement(kOidMemberInfo, memberInfo), AttributeElement(kOidIndirectData, indirect)});
    return DerElement(DER_SEQUENCE, DerJoin({DerElement(DER_OCTET_STRING, Utf16LeBytes(hex, false)),
                                             DerElement(DER_SET, attributes)}));
}

} // namespace

Bytes DerElement(unsigned char tag, const Bytes& value) {
    Bytes out{tag};
    size_t n = value.size();
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
    } else {
        int octets = n > 0xFFFFFF ? 4 : n > 0xFFFF ? 3 : n > 0xFF ? 2 : 1;
        out.push_back(static_cast<uint8_t>(0x80 | octets));
        for (int i = octets - 1; i >= 0; --i) {
            out.push_back(static_cast<uint8_t>(n >> (8 * i)));
        }
    }
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

Bytes DerJoin(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes DerOidElement(const std::string& dotted) {
    std::vector<uint64_t> arcs;
    uint64_t arc = 0;
    for (char c : dotted + ".") {
        if (c == '.') {
            arcs.push_back(arc);
            arc = 0;
        } else {
            arc = arc * 10 + static_cast<uint64_t>(c - '0');
        }
    }
    Bytes value;
    for (size_t i = arcs.size() < 2 ? 0 : 1; i < arcs.size(); ++i) {
        uint64_t v = i == 1 ? arcs[0] * 40 + arcs[1] : arcs[i];
        Bytes groups{static_cast<uint8_t>(v & 0x7F)};
        for (v >>= 7; v > 0; v >>= 7) {
            groups.insert(groups.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
        }
        value.insert(value.end(), groups.begin(), groups.end());
    }
    return DerElement(DER_OID, value);
}

Bytes DerIntegerElement(uint64_t number) {
    Bytes value;
    do {
        value.insert(value.begin(), static_cast<uint8_t>(number & 0xFF));
        number >>= 8;
    } while (number > 0);
    if (value[0] & 0x80) {
        value.insert(value.begin(), 0);
    }
    return DerElement(DER_INTEGER, value);
}

Bytes DerBmpElement(const std::string& utf8) {
    return DerElement(DER_BMP_STRING, Utf16Bytes(utf8, true));
}

Bytes DerTimeElement(int64_t seconds) {
    std::string text = TimeText(seconds); // "YYYY-MM-DD HH:MM:SS UTC"
    std::string digits;
    for (char c : text.substr(0, 19)) {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
        }
    }
    bool utc = digits.compare(0, 4, "1950") >= 0 && digits.compare(0, 4, "2050") < 0;
    std::string value = (utc ? digits.substr(2) : digits) + "Z";
    return DerElement(utc ? DER_UTC_TIME : DER_GENERALIZED_TIME, Bytes(value.begin(), value.end()));
}

Bytes DerAlgorithmElement(const std::string& oid) {
    return DerElement(DER_SEQUENCE, DerJoin({DerOidElement(oid), Bytes{DER_NULL, 0}}));
}

Bytes Utf16LeBytes(const std::string& utf8, bool terminator) {
    Bytes out = Utf16Bytes(utf8, false);
    if (terminator) {
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

Bytes ElementContents(const Bytes& element) {
    if (element.size() < 2) {
        return Bytes();
    }
    size_t header = element[1] < 0x80 ? 2 : 2 + (element[1] & 0x7F);
    return header <= element.size()
               ? Bytes(element.begin() + static_cast<std::ptrdiff_t>(header), element.end())
               : Bytes();
}

Bytes BuildCatalogList(const CatalogContents& contents) {
    std::vector<Bytes> members;
    for (const CatalogMemberEntry& member : contents.members) {
        members.push_back(MemberElement(member));
    }
    std::sort(members.begin(), members.end());
    // The list identifier: 16 bytes that follow from the members, so that the
    // same files give the same catalog.
    Bytes digests;
    for (const CatalogMemberEntry& member : contents.members) {
        digests.insert(digests.end(), member.digest.begin(), member.digest.end());
    }
    Bytes identifier;
    HashBytes(HASH_SHA256, digests.data(), digests.size(), &identifier);
    identifier.resize(16);
    std::vector<Bytes> extensions;
    for (const NameValue& attribute : contents.attributes) {
        extensions.push_back(
            DerElement(DER_SEQUENCE, DerJoin({DerOidElement(kOidNameValue),
                                              DerElement(DER_OCTET_STRING, NameValueElement(attribute))})));
    }
    std::vector<Bytes> fields = {
        DerElement(DER_SEQUENCE, DerOidElement(kOidCatalogUsage)),
        DerElement(DER_OCTET_STRING, identifier),
        DerTimeElement(contents.thisUpdate),
        DerAlgorithmElement(contents.memberAlgorithm == HASH_SHA1 ? kOidCatalogMember : kOidCatalogMember2),
        DerElement(DER_SEQUENCE, DerJoin(members)),
    };
    if (!extensions.empty()) {
        fields.push_back(DerElement(DER_CONTEXT_0, DerElement(DER_SEQUENCE, DerJoin(extensions))));
    }
    return DerElement(DER_SEQUENCE, DerJoin(fields));
}

Bytes BuildSignedAttributes(const std::string& contentType, HashAlgorithm algorithm,
                            const Bytes& contentOctets) {
    Bytes digest;
    HashBytes(algorithm, contentOctets.data(), contentOctets.size(), &digest);
    std::vector<Bytes> attributes = {
        AttributeElement(kOidContentType, DerOidElement(contentType)),
        AttributeElement(kOidMessageDigest, DerElement(DER_OCTET_STRING, digest)),
    };
    // DER orders the elements of a SET OF by their encodings.
    std::sort(attributes.begin(), attributes.end());
    return DerElement(DER_SET, DerJoin(attributes));
}

Bytes BuildSignerInfo(const Certificate& certificate, HashAlgorithm algorithm, const Bytes& signedAttributes,
                      const Bytes& signature, const Bytes& unsignedAttributes) {
    std::vector<Bytes> fields = {
        DerIntegerElement(1),
        DerElement(DER_SEQUENCE,
                   DerJoin({certificate.issuerDer, DerElement(DER_INTEGER, certificate.serial)})),
        DerAlgorithmElement(HashAlgorithmOid(algorithm)),
    };
    if (!signedAttributes.empty()) {
        fields.push_back(DerElement(DER_CONTEXT_0, ElementContents(signedAttributes)));
    }
    fields.push_back(DerAlgorithmElement(kOidRsaEncryption));
    fields.push_back(DerElement(DER_OCTET_STRING, signature));
    if (!unsignedAttributes.empty()) {
        fields.push_back(DerElement(DER_CONTEXT_1, unsignedAttributes));
    }
    return DerElement(DER_SEQUENCE, DerJoin(fields));
}

Bytes BuildSignedData(const std::string& contentType, const Bytes& content, HashAlgorithm algorithm,
                      const std::vector<Bytes>& certificates, const std::vector<Bytes>& signerInfos) {
    std::vector<Bytes> fields = {
        DerIntegerElement(1),
        DerElement(DER_SET, DerAlgorithmElement(HashAlgorithmOid(algorithm))),
        DerElement(DER_SEQUENCE, DerJoin({DerOidElement(contentType), DerElement(DER_CONTEXT_0, content)})),
    };
    if (!certificates.empty()) {
        fields.push_back(DerElement(DER_CONTEXT_0, DerJoin(certificates)));
    }
    fields.push_back(DerElement(DER_SET, DerJoin(signerInfos)));
    return DerElement(DER_SEQUENCE,
                      DerJoin({DerOidElement(kOidSignedData),
                               DerElement(DER_CONTEXT_0, DerElement(DER_SEQUENCE, DerJoin(fields)))}));
}

} // namespace catalog
