// The project's own catalog writer: the DER of a catalog list with its
// members and name-value attributes, and of the PKCS#7 SignedData around it.
// The signature value itself comes from the caller (the signing tool signs
// with OpenSSL); everything here is plain DER building.
#ifndef HALLIMOR_LIB_CATALOG_CATALOG_WRITER_H
#define HALLIMOR_LIB_CATALOG_CATALOG_WRITER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/catalog.h"

namespace catalog {

typedef std::vector<uint8_t> Bytes;

// DER elements.
Bytes DerElement(unsigned char tag, const Bytes& value);
Bytes DerJoin(const std::vector<Bytes>& parts);
Bytes DerOidElement(const std::string& dotted);
Bytes DerIntegerElement(uint64_t number);
Bytes DerBmpElement(const std::string& utf8);
// UTCTime up to 2049, GeneralizedTime after, as certificates write them.
Bytes DerTimeElement(int64_t seconds);
Bytes DerAlgorithmElement(const std::string& oid); // with NULL parameters
// UTF-8 text as UTF-16LE bytes, with a terminating NUL when asked.
Bytes Utf16LeBytes(const std::string& utf8, bool terminator);

// One file of the catalog.
struct CatalogMemberEntry {
    std::string fileName; // written as the member's "File" attribute
    bool peImage = false; // hashed as a PE image (else as plain bytes)
    HashAlgorithm algorithm = HASH_SHA256;
    Bytes digest;
};

struct CatalogContents {
    std::vector<CatalogMemberEntry> members;
    std::vector<NameValue> attributes; // "OSAttr" among them
    int64_t thisUpdate = 0;
    HashAlgorithm memberAlgorithm = HASH_SHA256; // SHA-1 for catalogs that Windows 7 and older read
};

// The flags of the name-value attributes that catalog tools write:
// authenticated, plain text value, text name.
const uint32_t kNameValueFlags = 0x10010001u;

// The certificate trust list, as a whole SEQUENCE. Members are sorted by tag.
Bytes BuildCatalogList(const CatalogContents& contents);
// The signed attributes (the SET OF that the signature covers) for content
// of that type: content type and message digest of the content's octets.
Bytes BuildSignedAttributes(const std::string& contentType, HashAlgorithm algorithm,
                            const Bytes& contentOctets);
// A SignerInfo for the certificate (whole DER), with the signed attributes
// (as BuildSignedAttributes gives them; empty for none), the signature
// value and the unsigned attributes' contents (empty for none).
Bytes BuildSignerInfo(const Certificate& certificate, HashAlgorithm algorithm, const Bytes& signedAttributes,
                      const Bytes& signature, const Bytes& unsignedAttributes);
// The ContentInfo holding SignedData over content (a whole element) with the
// certificates (whole DER each) and signer infos (none for an unsigned one).
Bytes BuildSignedData(const std::string& contentType, const Bytes& content, HashAlgorithm algorithm,
                      const std::vector<Bytes>& certificates, const std::vector<Bytes>& signerInfos);
// The contents octets of a whole element (what a digest of it covers).
Bytes ElementContents(const Bytes& element);

} // namespace catalog

#endif
