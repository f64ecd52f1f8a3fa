// A driver package's catalog (.cat): a DER PKCS#7 SignedData whose content is
// a certificate trust list of the catalog kind. Its members carry each file's
// hash (the SPC_INDIRECT_DATA attribute) and, where present, the file's name;
// the catalog's own name-value attributes say, among other things, which
// Windows versions it is for (OSAttr). The reading, the certificates and the
// checks of the signature are one implementation for every build; only the
// hashes and the signature arithmetic go through catalog_crypto.h.
#ifndef HALLIMOR_LIB_CATALOG_CATALOG_H
#define HALLIMOR_LIB_CATALOG_CATALOG_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "catalog/catalog_crypto.h"
#include "catalog/der.h"

namespace catalog {

// The object identifiers a catalog is made of.
extern const char kOidSignedData[];         // 1.2.840.113549.1.7.2
extern const char kOidCatalogList[];        // 1.3.6.1.4.1.311.10.1, the trust list content type
extern const char kOidCatalogUsage[];       // 1.3.6.1.4.1.311.12.1.1, the subject usage of a catalog
extern const char kOidCatalogMember[];      // 1.3.6.1.4.1.311.12.1.2, members hashed with SHA-1
extern const char kOidCatalogMember2[];     // 1.3.6.1.4.1.311.12.1.3, members hashed with SHA-256
extern const char kOidNameValue[];          // 1.3.6.1.4.1.311.12.2.1
extern const char kOidMemberInfo[];         // 1.3.6.1.4.1.311.12.2.2
extern const char kOidIndirectData[];       // 1.3.6.1.4.1.311.2.1.4, SPC_INDIRECT_DATA
extern const char kOidPeImageData[];        // 1.3.6.1.4.1.311.2.1.15, a member hashed as a PE image
extern const char kOidFlatData[];           // 1.3.6.1.4.1.311.2.1.25, a member hashed as plain bytes
extern const char kOidContentType[];        // 1.2.840.113549.1.9.3
extern const char kOidMessageDigest[];      // 1.2.840.113549.1.9.4
extern const char kOidSigningTime[];        // 1.2.840.113549.1.9.5
extern const char kOidCounterSignature[];   // 1.2.840.113549.1.9.6
extern const char kOidTimeStampToken[];     // 1.3.6.1.4.1.311.3.3.1, an RFC 3161 time stamp
extern const char kOidTstInfo[];            // 1.2.840.113549.1.9.16.1.4
extern const char kOidRsaEncryption[];      // 1.2.840.113549.1.1.1
extern const char kOidCodeSigning[];        // 1.3.6.1.5.5.7.3.3
extern const char kOidHardwareSigning[];    // 1.3.6.1.4.1.311.10.3.5, Windows hardware driver verification
extern const char kOidAttestationSigning[]; // 1.3.6.1.4.1.311.10.3.5.1, its attestation form

// Catalogs of this size and larger are refused unread (as INFs are).
const size_t kLargestCatalog = 10u * 1024u * 1024u;

// A name-value attribute of the catalog or of a member ("OSAttr" = "2:6.1").
struct NameValue {
    std::string name;
    uint32_t flags = 0;
    std::string value;
};

struct CatalogMember {
    std::string tag;                        // the subject identifier, as its UTF-16 text or in hex
    HashAlgorithm algorithm = HASH_UNKNOWN; // of the digest; HASH_UNKNOWN without SPC_INDIRECT_DATA
    std::string digestAlgorithmOid;
    std::string dataTypeOid; // kOidPeImageData, kOidFlatData, ...
    std::vector<uint8_t> digest;
    std::string fileName; // the "File" name-value, where present
    std::vector<NameValue> attributes;
};

struct Certificate {
    std::vector<uint8_t> der; // the whole certificate
    std::vector<uint8_t> tbs; // the signed part, whole
    std::vector<uint8_t> subjectDer;
    std::vector<uint8_t> issuerDer;
    std::vector<uint8_t> serial; // INTEGER contents
    std::string subject;         // "CN=..., O=..., C=..." most specific first
    std::string issuer;
    int64_t notBefore = 0;
    int64_t notAfter = 0;
    std::vector<std::string> extendedKeyUsages;
    bool isCa = false;
    std::string keyAlgorithmOid;
    RsaPublicKey key; // for kOidRsaEncryption keys
    std::string signatureAlgorithmOid;
    std::vector<uint8_t> signature;
};

struct SignerInfo {
    std::vector<uint8_t> issuerDer;
    std::vector<uint8_t> serial;
    HashAlgorithm digestAlgorithm = HASH_UNKNOWN;
    std::string digestAlgorithmOid;
    bool hasAuthenticatedAttributes = false;
    std::vector<uint8_t> authenticatedAttributes; // re-tagged as the SET OF that is signed
    std::string contentTypeAttribute;
    bool hasMessageDigest = false;
    std::vector<uint8_t> messageDigest;
    bool hasSigningTime = false;
    int64_t signingTime = 0;
    std::string signatureAlgorithmOid;
    std::vector<uint8_t> signature;
    std::vector<std::vector<uint8_t>> counterSignatures; // whole SignerInfo elements
    std::vector<std::vector<uint8_t>> timeStampTokens;   // whole ContentInfo elements
};

struct SignedData {
    std::string contentType;
    unsigned char contentTag = 0; // of the content element
    std::vector<uint8_t> content; // contents octets of the content: what the digest covers
    std::vector<Certificate> certificates;
    std::vector<SignerInfo> signers;
};

struct Catalog {
    SignedData signedData;
    std::vector<std::string> subjectUsages;
    std::string listIdentifier; // in hex
    int64_t thisUpdate = 0;
    std::string memberAlgorithmOid;
    std::vector<CatalogMember> members;
    std::vector<NameValue> attributes;
};

// Reads a catalog's bytes. False with the reason when they are not a DER
// PKCS#7 SignedData holding a catalog list, or anything in them is
// malformed; nothing is read past size.
bool ReadCatalog(const uint8_t* data, size_t size, Catalog* out, std::string* error);
// Reads a SignedData ContentInfo of any content type (the catalog's, or a
// time stamp's).
bool ReadSignedData(const uint8_t* data, size_t size, SignedData* out, std::string* error);
bool ReadCertificate(DerSpan whole, Certificate* out, std::string* error);
bool ReadSignerInfo(DerSpan whole, SignerInfo* out, std::string* error);

// The catalog's attribute of that name ("OSAttr"), or null.
const NameValue* FindCatalogAttribute(const Catalog& catalog, const std::string& name);
// "2:6.1,2:6.2" as {"2:6.1", "2:6.2"}.
std::vector<std::string> SplitOsAttr(const std::string& value);

// ---- the signature --------------------------------------------------------

enum SignatureStatus {
    SIGNATURE_OK,
    SIGNATURE_NO_SIGNER,       // no SignerInfo
    SIGNATURE_NO_CERTIFICATE,  // the signer's certificate is not in the catalog
    SIGNATURE_DIGEST_MISMATCH, // the content's digest is not the signed one
    SIGNATURE_VALUE_BAD,       // the signature value does not verify
    SIGNATURE_UNSUPPORTED,     // an algorithm this reader does not know
};

struct SignatureCheck {
    SignatureStatus status = SIGNATURE_NO_SIGNER;
    std::string reason;
    int signerCertificate = -1; // index into the certificates
    bool timeStamped = false;   // a counter-signature or time stamp that verifies
    int64_t timeStamp = 0;
    std::string timeStampProblem; // why a time stamp present was not taken
};

// Checks the first signer of the SignedData over its content, and its time
// stamp if there is one.
SignatureCheck CheckSignature(const SignedData& signedData);
// The certificate of certificates that issuerDer and serial name, or -1.
int FindCertificate(const std::vector<Certificate>& certificates, const std::vector<uint8_t>& issuerDer,
                    const std::vector<uint8_t>& serial);
// True when issued's signature verifies with issuer's key.
bool CertificateSignedBy(const Certificate& issued, const Certificate& issuer);
// True when leaf chains to one of roots through the certificates of pool
// (each link's signature verified, every issuer a CA; a root may be the leaf
// itself). The reason says where the chain ends otherwise.
bool ChainsToRoot(const Certificate& leaf, const std::vector<Certificate>& pool,
                  const std::vector<Certificate>& roots, std::string* reason);
bool HasExtendedKeyUsage(const Certificate& certificate, const char* oid);

// PEM text ("-----BEGIN CERTIFICATE-----" blocks) as DER certificates;
// false when a block is not valid base64 or holds no certificate.
bool ReadPemCertificates(const std::string& text, std::vector<Certificate>* out, std::string* error);

} // namespace catalog

#endif
