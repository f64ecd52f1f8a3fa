// Reading a catalog: the PKCS#7 SignedData, the certificate trust list in
// it, its members and attributes, the certificates and the signer.
#include <string.h>

#include "catalog/catalog.h"

namespace catalog {

const char kOidSignedData[] = "1.2.840.113549.1.7.2";
const char kOidCatalogList[] = "1.3.6.1.4.1.311.10.1";
const char kOidCatalogUsage[] = "1.3.6.1.4.1.311.12.1.1";
const char kOidCatalogMember[] = "1.3.6.1.4.1.311.12.1.2";
const char kOidCatalogMember2[] = "1.3.6.1.4.1.311.12.1.3";
const char kOidNameValue[] = "1.3.6.1.4.1.311.12.2.1";
const char kOidMemberInfo[] = "1.3.6.1.4.1.311.12.2.2";
const char kOidIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
const char kOidPeImageData[] = "1.3.6.1.4.1.311.2.1.15";
const char kOidFlatData[] = "1.3.6.1.4.1.311.2.1.25";
const char kOidContentType[] = "1.2.840.113549.1.9.3";
const char kOidMessageDigest[] = "1.2.840.113549.1.9.4";
const char kOidSigningTime[] = "1.2.840.113549.1.9.5";
const char kOidCounterSignature[] = "1.2.840.113549.1.9.6";
const char kOidTimeStampToken[] = "1.3.6.1.4.1.311.3.3.1";
const char kOidTstInfo[] = "1.2.840.113549.1.9.16.1.4";
const char kOidRsaEncryption[] = "1.2.840.113549.1.1.1";
const char kOidCodeSigning[] = "1.3.6.1.5.5.7.3.3";
const char kOidHardwareSigning[] = "1.3.6.1.4.1.311.10.3.5";
const char kOidAttestationSigning[] = "1.3.6.1.4.1.311.10.3.5.1";

namespace {

// Each step reads one element of a structure; a failure keeps the first
// reason, prefixed with where it was found.
bool Fail(std::string* error, const std::string& where, const std::string& why) {
    *error = where + ": " + why;
    return false;
}

bool ReadOid(DerCursor* cursor, std::string* oid, const char* what, std::string* error) {
    DerItem item;
    if (!DerExpect(cursor, DER_OID, &item, what, error)) {
        return false;
    }
    *oid = DerOidText(item.value);
    if (oid->empty()) {
        return Fail(error, what, "a malformed object identifier");
    }
    return true;
}

// AlgorithmIdentifier ::= SEQUENCE { algorithm OID, parameters ANY OPTIONAL }
bool ReadAlgorithm(DerCursor* cursor, std::string* oid, const char* what, std::string* error) {
    DerItem sequence;
    DerCursor inner;
    if (!DerExpect(cursor, DER_SEQUENCE, &sequence, what, error) || !DerOpen(sequence, &inner, error) ||
        !ReadOid(&inner, oid, what, error)) {
        return false;
    }
    DerItem parameters;
    if (!DerAtEnd(inner) && !DerRead(&inner, &parameters, error)) {
        return Fail(error, what, *error);
    }
    return DerAtEnd(inner) || Fail(error, what, "more than an algorithm and its parameters");
}

const char* NameKey(const std::string& oid) {
    static const struct {
        const char* oid;
        const char* key;
    } kKeys[] = {
        {"2.5.4.3", "CN"}, {"2.5.4.10", "O"}, {"2.5.4.11", "OU"},          {"2.5.4.6", "C"},
        {"2.5.4.7", "L"},  {"2.5.4.8", "ST"}, {"2.5.4.5", "SERIALNUMBER"}, {"1.2.840.113549.1.9.1", "E"},
    };
    for (const auto& k : kKeys) {
        if (oid == k.oid) {
            return k.key;
        }
    }
    return nullptr;
}

// Name ::= SEQUENCE OF SET OF SEQUENCE { type OID, value ANY }, as text with
// the most specific part first.
bool ReadName(const DerItem& name, std::string* text, std::string* error) {
    DerCursor rdns;
    if (name.tag != DER_SEQUENCE || !DerOpen(name, &rdns, error)) {
        return Fail(error, "name", "not a SEQUENCE");
    }
    std::vector<std::string> parts;
    while (!DerAtEnd(rdns)) {
        DerItem set;
        DerCursor atvs;
        if (!DerExpect(&rdns, DER_SET, &set, "name part", error) || !DerOpen(set, &atvs, error)) {
            return false;
        }
        std::string part;
        while (!DerAtEnd(atvs)) {
            DerItem atv;
            DerCursor fields;
            std::string oid;
            DerItem value;
            if (!DerExpect(&atvs, DER_SEQUENCE, &atv, "name part", error) || !DerOpen(atv, &fields, error) ||
                !ReadOid(&fields, &oid, "name part", error) || !DerRead(&fields, &value, error) ||
                !DerAtEnd(fields)) {
                return Fail(error, "name part", error->empty() ? "malformed" : *error);
            }
            std::string valueText;
            if (!DerText(value, &valueText)) {
                valueText = "#" + HexText(value.whole.data, value.whole.size);
            }
            const char* key = NameKey(oid);
            part += (part.empty() ? "" : " + ") + (key != nullptr ? std::string(key) : oid) + "=" + valueText;
        }
        parts.push_back(part);
    }
    text->clear();
    for (size_t i = parts.size(); i-- > 0;) {
        *text += (text->empty() ? "" : ", ") + parts[i];
    }
    return true;
}

bool ReadRsaKey(DerSpan bitString, RsaPublicKey* key, std::string* error) {
    if (bitString.size < 1 || bitString.data[0] != 0) {
        return Fail(error, "public key", "a BIT STRING with unused bits");
    }
    DerCursor outer = DerStart(bitString.data + 1, bitString.size - 1);
    outer.depth = 8;
    DerItem sequence;
    DerCursor inner;
    DerItem modulus;
    DerItem exponent;
    if (!DerExpect(&outer, DER_SEQUENCE, &sequence, "RSA public key", error) ||
        !DerOpen(sequence, &inner, error) ||
        !DerExpect(&inner, DER_INTEGER, &modulus, "RSA modulus", error) ||
        !DerExpect(&inner, DER_INTEGER, &exponent, "RSA exponent", error) || !DerAtEnd(inner)) {
        return false;
    }
    auto strip = [](DerSpan v) {
        while (v.size > 1 && v.data[0] == 0) {
            ++v.data;
            --v.size;
        }
        return SpanBytes(v);
    };
    if (modulus.value.size == 0 || exponent.value.size == 0 || (modulus.value.data[0] & 0x80) != 0) {
        return Fail(error, "RSA public key", "a negative or empty number");
    }
    key->modulus = strip(modulus.value);
    key->exponent = strip(exponent.value);
    return true;
}

bool ReadExtensions(const DerItem& explicitTag, Certificate* out, std::string* error) {
    DerCursor wrapper;
    DerItem list;
    DerCursor extensions;
    if (!DerOpen(explicitTag, &wrapper, error) ||
        !DerExpect(&wrapper, DER_SEQUENCE, &list, "certificate extensions", error) ||
        !DerOpen(list, &extensions, error)) {
        return false;
    }
    while (!DerAtEnd(extensions)) {
        DerItem extension;
        DerCursor fields;
        std::string oid;
        DerItem value;
        if (!DerExpect(&extensions, DER_SEQUENCE, &extension, "certificate extension", error) ||
            !DerOpen(extension, &fields, error) || !ReadOid(&fields, &oid, "certificate extension", error)) {
            return false;
        }
        if (DerNextIs(fields, DER_BOOLEAN) && !DerRead(&fields, &value, error)) {
            return false;
        }
        if (!DerExpect(&fields, DER_OCTET_STRING, &value, "certificate extension", error)) {
            return false;
        }
        DerCursor content = DerStart(value.value.data, value.value.size);
        content.depth = value.depth;
        DerItem sequence;
        DerCursor items;
        if (oid == "2.5.29.37") { // extended key usage
            if (!DerExpect(&content, DER_SEQUENCE, &sequence, "extended key usage", error) ||
                !DerOpen(sequence, &items, error)) {
                return false;
            }
            while (!DerAtEnd(items)) {
                std::string usage;
                if (!ReadOid(&items, &usage, "extended key usage", error)) {
                    return false;
                }
                out->extendedKeyUsages.push_back(usage);
            }
        } else if (oid == "2.5.29.19") { // basic constraints
            if (!DerExpect(&content, DER_SEQUENCE, &sequence, "basic constraints", error) ||
                !DerOpen(sequence, &items, error)) {
                return false;
            }
            DerItem ca;
            if (DerNextIs(items, DER_BOOLEAN) && DerRead(&items, &ca, error)) {
                out->isCa = ca.value.size == 1 && ca.value.data[0] != 0;
            }
        }
    }
    return true;
}

bool ReadAttributes(const DerItem& set, SignerInfo* out, bool authenticated, std::string* error) {
    DerCursor attributes;
    if (!DerOpen(set, &attributes, error)) {
        return false;
    }
    while (!DerAtEnd(attributes)) {
        DerItem attribute;
        DerCursor fields;
        std::string oid;
        DerItem values;
        DerCursor list;
        if (!DerExpect(&attributes, DER_SEQUENCE, &attribute, "signer attribute", error) ||
            !DerOpen(attribute, &fields, error) || !ReadOid(&fields, &oid, "signer attribute", error) ||
            !DerExpect(&fields, DER_SET, &values, "signer attribute values", error) ||
            !DerOpen(values, &list, error)) {
            return false;
        }
        while (!DerAtEnd(list)) {
            DerItem value;
            if (!DerRead(&list, &value, error)) {
                return Fail(error, "signer attribute value", *error);
            }
            if (authenticated && oid == kOidContentType && value.tag == DER_OID) {
                out->contentTypeAttribute = DerOidText(value.value);
            } else if (authenticated && oid == kOidMessageDigest && value.tag == DER_OCTET_STRING) {
                out->hasMessageDigest = true;
                out->messageDigest = SpanBytes(value.value);
            } else if (authenticated && oid == kOidSigningTime) {
                out->hasSigningTime = DerTime(value, &out->signingTime);
            } else if (!authenticated && oid == kOidCounterSignature && value.tag == DER_SEQUENCE) {
                out->counterSignatures.push_back(SpanBytes(value.whole));
            } else if (!authenticated && oid == kOidTimeStampToken && value.tag == DER_SEQUENCE) {
                out->timeStampTokens.push_back(SpanBytes(value.whole));
            }
        }
    }
    return true;
}

// NameValue ::= SEQUENCE { name BMPString, flags INTEGER, value OCTET STRING }
bool ReadNameValue(DerCursor* cursor, NameValue* out, std::string* error) {
    DerItem sequence;
    DerCursor fields;
    DerItem name;
    DerItem flags;
    DerItem value;
    uint64_t number = 0;
    if (!DerExpect(cursor, DER_SEQUENCE, &sequence, "name-value attribute", error) ||
        !DerOpen(sequence, &fields, error) ||
        !DerExpect(&fields, DER_BMP_STRING, &name, "name-value attribute's name", error) ||
        !DerExpect(&fields, DER_INTEGER, &flags, "name-value attribute's flags", error) ||
        !DerExpect(&fields, DER_OCTET_STRING, &value, "name-value attribute's value", error)) {
        return false;
    }
    if (!DerSmallInteger(flags.value, &number) || number > 0xFFFFFFFFu) {
        return Fail(error, "name-value attribute", "flags that are no 32-bit number");
    }
    DerText(name, &out->name);
    out->flags = static_cast<uint32_t>(number);
    out->value = Utf16LeText(value.value);
    return true;
}

// SpcIndirectDataContent ::= SEQUENCE { data SEQUENCE { type OID, value ANY
// OPTIONAL }, messageDigest SEQUENCE { AlgorithmIdentifier, OCTET STRING } }
bool ReadIndirectData(const DerItem& value, CatalogMember* member, std::string* error) {
    DerCursor fields;
    DerItem data;
    DerCursor dataFields;
    DerItem digestInfo;
    DerCursor digestFields;
    DerItem digest;
    if (value.tag != DER_SEQUENCE || !DerOpen(value, &fields, error)) {
        return Fail(error, "SPC_INDIRECT_DATA", "not a SEQUENCE");
    }
    if (!DerExpect(&fields, DER_SEQUENCE, &data, "SPC_INDIRECT_DATA data", error) ||
        !DerOpen(data, &dataFields, error) ||
        !ReadOid(&dataFields, &member->dataTypeOid, "SPC_INDIRECT_DATA data type", error) ||
        !DerExpect(&fields, DER_SEQUENCE, &digestInfo, "SPC_INDIRECT_DATA digest", error) ||
        !DerOpen(digestInfo, &digestFields, error) ||
        !ReadAlgorithm(&digestFields, &member->digestAlgorithmOid, "SPC_INDIRECT_DATA digest algorithm",
                       error) ||
        !DerExpect(&digestFields, DER_OCTET_STRING, &digest, "SPC_INDIRECT_DATA digest", error)) {
        return false;
    }
    member->algorithm = HashAlgorithmFromOid(member->digestAlgorithmOid);
    member->digest = SpanBytes(digest.value);
    if (member->algorithm != HASH_UNKNOWN && member->digest.size() != HashSize(member->algorithm)) {
        return Fail(error, "SPC_INDIRECT_DATA digest",
                    "a " + std::string(HashAlgorithmName(member->algorithm)) + " digest of " +
                        std::to_string(member->digest.size()) + " bytes");
    }
    return true;
}

// TrustedSubject ::= SEQUENCE { identifier OCTET STRING, attributes SET OF
// SEQUENCE { type OID, values SET OF ANY } OPTIONAL }
bool ReadMember(DerCursor* subjects, CatalogMember* member, std::string* error) {
    DerItem subject;
    DerCursor fields;
    DerItem identifier;
    if (!DerExpect(subjects, DER_SEQUENCE, &subject, "member", error) || !DerOpen(subject, &fields, error) ||
        !DerExpect(&fields, DER_OCTET_STRING, &identifier, "member tag", error)) {
        return false;
    }
    // Tags are UTF-16 text (the hash in hex, or a name) where they read as
    // such, and shown in hex otherwise.
    bool text = identifier.value.size % 2 == 0 && identifier.value.size > 0;
    for (size_t i = 1; text && i < identifier.value.size; i += 2) {
        uint8_t c = identifier.value.data[i - 1];
        text = identifier.value.data[i] == 0 && c >= 0x20 && c < 0x7F;
    }
    member->tag =
        text ? Utf16LeText(identifier.value) : HexText(identifier.value.data, identifier.value.size);
    if (DerAtEnd(fields)) {
        return true;
    }
    DerItem set;
    DerCursor attributes;
    if (!DerExpect(&fields, DER_SET, &set, "member attributes", error) || !DerOpen(set, &attributes, error)) {
        return false;
    }
    while (!DerAtEnd(attributes)) {
        DerItem attribute;
        DerCursor attributeFields;
        std::string oid;
        DerItem values;
        DerCursor list;
        if (!DerExpect(&attributes, DER_SEQUENCE, &attribute, "member attribute", error) ||
            !DerOpen(attribute, &attributeFields, error) ||
            !ReadOid(&attributeFields, &oid, "member attribute", error) ||
            !DerExpect(&attributeFields, DER_SET, &values, "member attribute values", error) ||
            !DerOpen(values, &list, error)) {
            return false;
        }
        while (!DerAtEnd(list)) {
            if (oid == kOidNameValue) {
                NameValue nameValue;
                if (!ReadNameValue(&list, &nameValue, error)) {
                    return false;
                }
                if (nameValue.name == "File") {
                    member->fileName = nameValue.value;
                }
                member->attributes.push_back(nameValue);
                continue;
            }
            DerItem value;
            if (!DerRead(&list, &value, error)) {
                return Fail(error, "member attribute value", *error);
            }
            if (oid == kOidIndirectData && !ReadIndirectData(value, member, error)) {
                return false;
            }
        }
    }
    return true;
}

// CertificateTrustList ::= SEQUENCE { version INTEGER OPTIONAL, subjectUsage
// SEQUENCE OF OID, listIdentifier OCTET STRING OPTIONAL, sequenceNumber
// INTEGER OPTIONAL, thisUpdate Time, nextUpdate Time OPTIONAL,
// subjectAlgorithm AlgorithmIdentifier, trustedSubjects SEQUENCE OF
// TrustedSubject OPTIONAL, extensions [0] EXPLICIT Extensions OPTIONAL }
bool ReadTrustList(const uint8_t* data, size_t size, unsigned depth, Catalog* out, std::string* error) {
    DerCursor outer = DerStart(data, size);
    outer.depth = depth;
    DerItem list;
    DerCursor fields;
    DerItem item;
    if (!DerExpect(&outer, DER_SEQUENCE, &list, "catalog list", error) || !DerOpen(list, &fields, error)) {
        return false;
    }
    if (!DerAtEnd(outer)) {
        return Fail(error, "catalog list", "data after the list");
    }
    if (DerNextIs(fields, DER_INTEGER) && !DerRead(&fields, &item, error)) {
        return false;
    }
    DerCursor usages;
    if (!DerExpect(&fields, DER_SEQUENCE, &item, "catalog list's subject usage", error) ||
        !DerOpen(item, &usages, error)) {
        return false;
    }
    while (!DerAtEnd(usages)) {
        std::string usage;
        if (!ReadOid(&usages, &usage, "catalog list's subject usage", error)) {
            return false;
        }
        out->subjectUsages.push_back(usage);
    }
    if (DerNextIs(fields, DER_OCTET_STRING)) {
        DerRead(&fields, &item, error);
        out->listIdentifier = HexText(item.value.data, item.value.size);
    }
    if (DerNextIs(fields, DER_INTEGER) && !DerRead(&fields, &item, error)) {
        return false;
    }
    if (!DerRead(&fields, &item, error) || !DerTime(item, &out->thisUpdate)) {
        return Fail(error, "catalog list", "no valid time of its making");
    }
    if ((DerNextIs(fields, DER_UTC_TIME) || DerNextIs(fields, DER_GENERALIZED_TIME)) &&
        !DerRead(&fields, &item, error)) {
        return false;
    }
    if (!ReadAlgorithm(&fields, &out->memberAlgorithmOid, "catalog list's member algorithm", error)) {
        return false;
    }
    if (DerNextIs(fields, DER_SEQUENCE)) {
        DerCursor subjects;
        if (!DerRead(&fields, &item, error) || !DerOpen(item, &subjects, error)) {
            return false;
        }
        while (!DerAtEnd(subjects)) {
            CatalogMember member;
            if (!ReadMember(&subjects, &member, error)) {
                *error = "member " + std::to_string(out->members.size() + 1) + ": " + *error;
                return false;
            }
            out->members.push_back(member);
        }
    }
    if (DerNextIs(fields, DER_CONTEXT_0)) {
        DerCursor wrapper;
        DerItem sequence;
        DerCursor extensions;
        if (!DerRead(&fields, &item, error) || !DerOpen(item, &wrapper, error) ||
            !DerExpect(&wrapper, DER_SEQUENCE, &sequence, "catalog attributes", error) ||
            !DerOpen(sequence, &extensions, error)) {
            return false;
        }
        while (!DerAtEnd(extensions)) {
            DerItem extension;
            DerCursor extensionFields;
            std::string oid;
            DerItem value;
            if (!DerExpect(&extensions, DER_SEQUENCE, &extension, "catalog attribute", error) ||
                !DerOpen(extension, &extensionFields, error) ||
                !ReadOid(&extensionFields, &oid, "catalog attribute", error)) {
                return false;
            }
            if (DerNextIs(extensionFields, DER_BOOLEAN) && !DerRead(&extensionFields, &value, error)) {
                return false;
            }
            if (!DerExpect(&extensionFields, DER_OCTET_STRING, &value, "catalog attribute", error)) {
                return false;
            }
            if (oid == kOidNameValue) {
                DerCursor content = DerStart(value.value.data, value.value.size);
                content.depth = value.depth;
                NameValue nameValue;
                if (!ReadNameValue(&content, &nameValue, error)) {
                    return false;
                }
                out->attributes.push_back(nameValue);
            }
        }
    }
    return DerAtEnd(fields) || Fail(error, "catalog list", "elements after its attributes");
}

} // namespace

bool ReadCertificate(DerSpan whole, Certificate* out, std::string* error) {
    DerCursor outer = DerStart(whole.data, whole.size);
    DerItem certificate;
    DerCursor fields;
    DerItem tbs;
    DerCursor tbsFields;
    DerItem item;
    if (!DerExpect(&outer, DER_SEQUENCE, &certificate, "certificate", error) ||
        !DerOpen(certificate, &fields, error) ||
        !DerExpect(&fields, DER_SEQUENCE, &tbs, "certificate's signed part", error) ||
        !DerOpen(tbs, &tbsFields, error)) {
        return false;
    }
    out->der = SpanBytes(certificate.whole);
    out->tbs = SpanBytes(tbs.whole);
    if (DerNextIs(tbsFields, DER_CONTEXT_0) && !DerRead(&tbsFields, &item, error)) {
        return false;
    }
    std::string algorithm;
    if (!DerExpect(&tbsFields, DER_INTEGER, &item, "certificate serial number", error)) {
        return false;
    }
    out->serial = SpanBytes(item.value);
    if (!ReadAlgorithm(&tbsFields, &algorithm, "certificate's signature algorithm", error)) {
        return false;
    }
    if (!DerExpect(&tbsFields, DER_SEQUENCE, &item, "certificate issuer", error) ||
        !ReadName(item, &out->issuer, error)) {
        return false;
    }
    out->issuerDer = SpanBytes(item.whole);
    DerItem validity;
    DerCursor times;
    DerItem notBefore;
    DerItem notAfter;
    if (!DerExpect(&tbsFields, DER_SEQUENCE, &validity, "certificate validity", error) ||
        !DerOpen(validity, &times, error) || !DerRead(&times, &notBefore, error) ||
        !DerRead(&times, &notAfter, error) || !DerTime(notBefore, &out->notBefore) ||
        !DerTime(notAfter, &out->notAfter)) {
        return Fail(error, "certificate validity", "not two valid times");
    }
    if (!DerExpect(&tbsFields, DER_SEQUENCE, &item, "certificate subject", error) ||
        !ReadName(item, &out->subject, error)) {
        return false;
    }
    out->subjectDer = SpanBytes(item.whole);
    DerItem spki;
    DerCursor spkiFields;
    DerItem bits;
    if (!DerExpect(&tbsFields, DER_SEQUENCE, &spki, "certificate public key", error) ||
        !DerOpen(spki, &spkiFields, error) ||
        !ReadAlgorithm(&spkiFields, &out->keyAlgorithmOid, "certificate public key algorithm", error) ||
        !DerExpect(&spkiFields, DER_BIT_STRING, &bits, "certificate public key", error)) {
        return false;
    }
    out->key.subjectPublicKeyInfo = SpanBytes(spki.whole);
    if (out->keyAlgorithmOid == kOidRsaEncryption && !ReadRsaKey(bits.value, &out->key, error)) {
        return false;
    }
    while (!DerAtEnd(tbsFields)) {
        if (!DerRead(&tbsFields, &item, error)) {
            return false;
        }
        if (item.tag == DER_CONTEXT_3 && !ReadExtensions(item, out, error)) {
            return false;
        }
    }
    if (!ReadAlgorithm(&fields, &out->signatureAlgorithmOid, "certificate's signature algorithm", error) ||
        !DerExpect(&fields, DER_BIT_STRING, &bits, "certificate signature", error)) {
        return false;
    }
    if (bits.value.size < 1 || bits.value.data[0] != 0) {
        return Fail(error, "certificate signature", "a BIT STRING with unused bits");
    }
    out->signature.assign(bits.value.data + 1, bits.value.data + bits.value.size);
    return DerAtEnd(fields) || Fail(error, "certificate", "data after its signature");
}

// SignerInfo ::= SEQUENCE { version INTEGER, issuerAndSerialNumber SEQUENCE
// { issuer Name, serialNumber INTEGER }, digestAlgorithm, authenticated
// [0] IMPLICIT SET OF Attribute OPTIONAL, digestEncryptionAlgorithm,
// encryptedDigest OCTET STRING, unauthenticated [1] IMPLICIT SET OF
// Attribute OPTIONAL }
bool ReadSignerInfo(DerSpan whole, SignerInfo* out, std::string* error) {
    DerCursor outer = DerStart(whole.data, whole.size);
    DerItem signer;
    DerCursor fields;
    DerItem item;
    DerItem issuerAndSerial;
    DerCursor idFields;
    if (!DerExpect(&outer, DER_SEQUENCE, &signer, "signer", error) || !DerOpen(signer, &fields, error) ||
        !DerExpect(&fields, DER_INTEGER, &item, "signer version", error) ||
        !DerExpect(&fields, DER_SEQUENCE, &issuerAndSerial, "signer's certificate", error) ||
        !DerOpen(issuerAndSerial, &idFields, error) ||
        !DerExpect(&idFields, DER_SEQUENCE, &item, "signer's certificate issuer", error)) {
        return false;
    }
    out->issuerDer = SpanBytes(item.whole);
    if (!DerExpect(&idFields, DER_INTEGER, &item, "signer's certificate serial number", error)) {
        return false;
    }
    out->serial = SpanBytes(item.value);
    if (!ReadAlgorithm(&fields, &out->digestAlgorithmOid, "signer's digest algorithm", error)) {
        return false;
    }
    out->digestAlgorithm = HashAlgorithmFromOid(out->digestAlgorithmOid);
    if (DerNextIs(fields, DER_CONTEXT_0)) {
        if (!DerRead(&fields, &item, error) || !ReadAttributes(item, out, true, error)) {
            return false;
        }
        out->hasAuthenticatedAttributes = true;
        // What is signed is the DER of the SET OF, not the [0] that holds it.
        out->authenticatedAttributes = SpanBytes(item.whole);
        out->authenticatedAttributes[0] = DER_SET;
    }
    if (!ReadAlgorithm(&fields, &out->signatureAlgorithmOid, "signer's signature algorithm", error) ||
        !DerExpect(&fields, DER_OCTET_STRING, &item, "signer's signature", error)) {
        return false;
    }
    out->signature = SpanBytes(item.value);
    if (DerNextIs(fields, DER_CONTEXT_1)) {
        if (!DerRead(&fields, &item, error) || !ReadAttributes(item, out, false, error)) {
            return false;
        }
    }
    return DerAtEnd(fields) || Fail(error, "signer", "data after its attributes");
}

// ContentInfo ::= SEQUENCE { contentType OID, content [0] EXPLICIT SignedData }
// SignedData ::= SEQUENCE { version INTEGER, digestAlgorithms SET, contentInfo
// SEQUENCE { contentType OID, content [0] EXPLICIT ANY OPTIONAL },
// certificates [0] IMPLICIT OPTIONAL, crls [1] IMPLICIT OPTIONAL, signerInfos SET }
bool ReadSignedData(const uint8_t* data, size_t size, SignedData* out, std::string* error) {
    DerCursor outer = DerStart(data, size);
    DerItem contentInfo;
    DerCursor fields;
    std::string type;
    DerItem explicitTag;
    DerCursor wrapper;
    DerItem signedData;
    DerCursor signedFields;
    DerItem item;
    if (!DerExpect(&outer, DER_SEQUENCE, &contentInfo, "PKCS#7 ContentInfo", error) ||
        !DerOpen(contentInfo, &fields, error) || !ReadOid(&fields, &type, "PKCS#7 content type", error)) {
        return false;
    }
    if (!DerAtEnd(outer)) {
        return Fail(error, "PKCS#7 ContentInfo", "data after its end");
    }
    if (type != kOidSignedData) {
        return Fail(error, "PKCS#7 ContentInfo", "content type " + type + ", not SignedData");
    }
    if (!DerExpect(&fields, DER_CONTEXT_0, &explicitTag, "PKCS#7 content", error) ||
        !DerOpen(explicitTag, &wrapper, error) ||
        !DerExpect(&wrapper, DER_SEQUENCE, &signedData, "SignedData", error) ||
        !DerOpen(signedData, &signedFields, error) ||
        !DerExpect(&signedFields, DER_INTEGER, &item, "SignedData version", error) ||
        !DerExpect(&signedFields, DER_SET, &item, "SignedData digest algorithms", error)) {
        return false;
    }
    DerItem encap;
    DerCursor encapFields;
    if (!DerExpect(&signedFields, DER_SEQUENCE, &encap, "SignedData content", error) ||
        !DerOpen(encap, &encapFields, error) ||
        !ReadOid(&encapFields, &out->contentType, "SignedData content type", error)) {
        return false;
    }
    out->content.clear();
    if (!DerAtEnd(encapFields)) {
        DerCursor contentWrapper;
        DerItem content;
        if (!DerExpect(&encapFields, DER_CONTEXT_0, &item, "SignedData content", error) ||
            !DerOpen(item, &contentWrapper, error) || !DerRead(&contentWrapper, &content, error) ||
            !DerAtEnd(contentWrapper)) {
            return Fail(error, "SignedData content", error->empty() ? "malformed" : *error);
        }
        // The digest covers the contents octets of the content, not its tag
        // and length.
        out->contentTag = content.tag;
        out->content = SpanBytes(content.value);
    }
    if (DerNextIs(signedFields, DER_CONTEXT_0)) {
        DerCursor certificates;
        if (!DerRead(&signedFields, &item, error) || !DerOpen(item, &certificates, error)) {
            return false;
        }
        while (!DerAtEnd(certificates)) {
            DerItem element;
            if (!DerRead(&certificates, &element, error)) {
                return Fail(error, "certificates", *error);
            }
            if (element.tag != DER_SEQUENCE) {
                continue; // an attribute certificate or another choice: not used
            }
            Certificate certificate;
            if (!ReadCertificate(element.whole, &certificate, error)) {
                *error = "certificate " + std::to_string(out->certificates.size() + 1) + ": " + *error;
                return false;
            }
            out->certificates.push_back(certificate);
        }
    }
    if (DerNextIs(signedFields, DER_CONTEXT_1) && !DerRead(&signedFields, &item, error)) {
        return false;
    }
    DerCursor signers;
    if (!DerExpect(&signedFields, DER_SET, &item, "SignedData signers", error) ||
        !DerOpen(item, &signers, error)) {
        return false;
    }
    while (!DerAtEnd(signers)) {
        DerItem element;
        SignerInfo signer;
        if (!DerRead(&signers, &element, error) || !ReadSignerInfo(element.whole, &signer, error)) {
            return Fail(error, "signer " + std::to_string(out->signers.size() + 1), *error);
        }
        out->signers.push_back(signer);
    }
    return DerAtEnd(signedFields) || Fail(error, "SignedData", "data after its signers");
}

bool ReadCatalog(const uint8_t* data, size_t size, Catalog* out, std::string* error) {
    *out = Catalog();
    if (size >= kLargestCatalog) {
        return Fail(error, "catalog", "10 MB or larger");
    }
    if (!DerWellFormed(data, size, error) || !ReadSignedData(data, size, &out->signedData, error)) {
        return false;
    }
    if (out->signedData.contentType != kOidCatalogList) {
        return Fail(error, "SignedData",
                    "content type " + out->signedData.contentType + ", not a catalog list");
    }
    if (out->signedData.contentTag != DER_SEQUENCE || out->signedData.content.empty()) {
        return Fail(error, "SignedData", "no catalog list in it");
    }
    // The list is read from the copy of its contents, re-wrapped as the
    // SEQUENCE it was (its own header was dropped for the digest).
    std::vector<uint8_t> list;
    size_t n = out->signedData.content.size();
    list.push_back(DER_SEQUENCE);
    if (n < 0x80) {
        list.push_back(static_cast<uint8_t>(n));
    } else {
        int octets = n > 0xFFFFFF ? 4 : n > 0xFFFF ? 3 : n > 0xFF ? 2 : 1;
        list.push_back(static_cast<uint8_t>(0x80 | octets));
        for (int i = octets - 1; i >= 0; --i) {
            list.push_back(static_cast<uint8_t>(n >> (8 * i)));
        }
    }
    list.insert(list.end(), out->signedData.content.begin(), out->signedData.content.end());
    if (!ReadTrustList(list.data(), list.size(), 4, out, error)) {
        return false;
    }
    bool catalogUsage = false;
    for (const std::string& usage : out->subjectUsages) {
        catalogUsage = catalogUsage || usage == kOidCatalogUsage;
    }
    if (!catalogUsage) {
        return Fail(error, "catalog list",
                    "its subject usage is not the catalog's (" + std::string(kOidCatalogUsage) + ")");
    }
    return true;
}

const NameValue* FindCatalogAttribute(const Catalog& catalog, const std::string& name) {
    for (const NameValue& attribute : catalog.attributes) {
        if (attribute.name.size() == name.size() &&
            std::equal(name.begin(), name.end(), attribute.name.begin(), [](char a, char b) {
                return (a >= 'a' && a <= 'z' ? a - 32 : a) == (b >= 'a' && b <= 'z' ? b - 32 : b);
            })) {
            return &attribute;
        }
    }
    return nullptr;
}

std::vector<std::string> SplitOsAttr(const std::string& value) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : value + ",") {
        if (c == ',') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else if (c != ' ') {
            part.push_back(c);
        }
    }
    return parts;
}

} // namespace catalog
