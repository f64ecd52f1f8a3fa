// The checks of a catalog's signature, its time stamp and its signer's
// certificate chain, over the hashes and the RSA check of catalog_crypto.h.
#include <string.h>

#include "catalog/catalog.h"

namespace catalog {

namespace {

const struct {
    HashAlgorithm algorithm;
    const char* name;
    const char* oid;
    size_t size;
} kHashes[] = {
    {HASH_SHA1, "SHA-1", "1.3.14.3.2.26", 20},
    {HASH_SHA256, "SHA-256", "2.16.840.1.101.3.4.2.1", 32},
    {HASH_SHA384, "SHA-384", "2.16.840.1.101.3.4.2.2", 48},
    {HASH_SHA512, "SHA-512", "2.16.840.1.101.3.4.2.3", 64},
};

// The hash of an RSA signature algorithm; rsaEncryption alone leaves it to
// the digest algorithm beside it.
HashAlgorithm RsaSignatureHash(const std::string& oid, HashAlgorithm digestAlgorithm) {
    if (oid == kOidRsaEncryption) {
        return digestAlgorithm;
    }
    if (oid == "1.2.840.113549.1.1.5" || oid == "1.3.14.3.2.29") {
        return HASH_SHA1;
    }
    if (oid == "1.2.840.113549.1.1.11") {
        return HASH_SHA256;
    }
    if (oid == "1.2.840.113549.1.1.12") {
        return HASH_SHA384;
    }
    if (oid == "1.2.840.113549.1.1.13") {
        return HASH_SHA512;
    }
    return HASH_UNKNOWN;
}

// Checks one signer over content: the content type and message digest
// attributes, then the signature with the certificate it names.
SignatureStatus CheckSigner(const SignerInfo& signer, const std::vector<uint8_t>& content,
                            const std::string& contentType, const std::vector<Certificate>& certificates,
                            int* certificate, std::string* reason) {
    *certificate = FindCertificate(certificates, signer.issuerDer, signer.serial);
    if (*certificate < 0) {
        *reason =
            "the signer's certificate (serial number " + HexText(signer.serial) + ") is not in the catalog";
        return SIGNATURE_NO_CERTIFICATE;
    }
    if (signer.digestAlgorithm == HASH_UNKNOWN) {
        *reason = "the digest algorithm " + signer.digestAlgorithmOid + " is not known";
        return SIGNATURE_UNSUPPORTED;
    }
    std::vector<uint8_t> digest;
    if (!HashBytes(signer.digestAlgorithm, content.data(), content.size(), &digest)) {
        *reason = "the content cannot be hashed";
        return SIGNATURE_UNSUPPORTED;
    }
    std::vector<uint8_t> signedDigest = digest;
    if (signer.hasAuthenticatedAttributes) {
        if (!signer.hasMessageDigest) {
            *reason = "the signed attributes carry no message digest";
            return SIGNATURE_DIGEST_MISMATCH;
        }
        if (!contentType.empty() && signer.contentTypeAttribute != contentType) {
            *reason =
                "the signed content type is \"" + signer.contentTypeAttribute + "\", not " + contentType;
            return SIGNATURE_DIGEST_MISMATCH;
        }
        if (signer.messageDigest != digest) {
            *reason = "the content's " + std::string(HashAlgorithmName(signer.digestAlgorithm)) + " digest " +
                      HexText(digest) + " is not the signed " + HexText(signer.messageDigest) +
                      ": the content changed after signing";
            return SIGNATURE_DIGEST_MISMATCH;
        }
        if (!HashBytes(signer.digestAlgorithm, signer.authenticatedAttributes.data(),
                       signer.authenticatedAttributes.size(), &signedDigest)) {
            *reason = "the signed attributes cannot be hashed";
            return SIGNATURE_UNSUPPORTED;
        }
    }
    const Certificate& cert = certificates[static_cast<size_t>(*certificate)];
    HashAlgorithm signatureHash = RsaSignatureHash(signer.signatureAlgorithmOid, signer.digestAlgorithm);
    if (cert.keyAlgorithmOid != kOidRsaEncryption || signatureHash == HASH_UNKNOWN) {
        *reason = "the signature algorithm " + signer.signatureAlgorithmOid + " with a key of " +
                  cert.keyAlgorithmOid + " is not supported (RSA only)";
        return SIGNATURE_UNSUPPORTED;
    }
    if (signatureHash != signer.digestAlgorithm) {
        *reason = "the signature algorithm " + signer.signatureAlgorithmOid + " does not match the digest " +
                  "algorithm " + signer.digestAlgorithmOid;
        return SIGNATURE_VALUE_BAD;
    }
    if (!VerifyRsaSignature(cert.key, signatureHash, signedDigest, signer.signature)) {
        *reason = "the signature value does not verify with the key of " + cert.subject;
        return SIGNATURE_VALUE_BAD;
    }
    return SIGNATURE_OK;
}

bool ImprintMatches(const std::vector<uint8_t>& tstInfo, const std::vector<uint8_t>& signature,
                    int64_t* genTime, std::string* reason) {
    // TSTInfo ::= SEQUENCE { version, policy OID, messageImprint SEQUENCE {
    // AlgorithmIdentifier, OCTET STRING }, serialNumber, genTime, ... }
    DerCursor outer = DerStart(tstInfo.data(), tstInfo.size());
    outer.depth = 8;
    DerItem sequence;
    DerCursor fields;
    DerItem item;
    DerItem imprint;
    DerCursor imprintFields;
    DerItem algorithm;
    DerCursor algorithmFields;
    DerItem digest;
    if (!DerExpect(&outer, DER_SEQUENCE, &sequence, "time stamp information", reason) ||
        !DerOpen(sequence, &fields, reason) || !DerExpect(&fields, DER_INTEGER, &item, "version", reason) ||
        !DerExpect(&fields, DER_OID, &item, "policy", reason) ||
        !DerExpect(&fields, DER_SEQUENCE, &imprint, "message imprint", reason) ||
        !DerOpen(imprint, &imprintFields, reason) ||
        !DerExpect(&imprintFields, DER_SEQUENCE, &algorithm, "imprint algorithm", reason) ||
        !DerOpen(algorithm, &algorithmFields, reason) ||
        !DerExpect(&algorithmFields, DER_OID, &item, "imprint algorithm", reason) ||
        !DerExpect(&imprintFields, DER_OCTET_STRING, &digest, "imprint", reason)) {
        return false;
    }
    HashAlgorithm hash = HashAlgorithmFromOid(DerOidText(item.value));
    std::vector<uint8_t> expected;
    if (hash == HASH_UNKNOWN || !HashBytes(hash, signature.data(), signature.size(), &expected) ||
        expected != SpanBytes(digest.value)) {
        *reason = "the time stamp is not of this signature";
        return false;
    }
    DerItem time;
    if (!DerExpect(&fields, DER_INTEGER, &item, "time stamp serial number", reason) ||
        !DerRead(&fields, &time, reason) || !DerTime(time, genTime)) {
        *reason = "the time stamp has no valid time";
        return false;
    }
    return true;
}

// The time of the signer's counter-signature or RFC 3161 time stamp, when
// one verifies.
void CheckTimeStamp(const SignerInfo& signer, const std::vector<Certificate>& certificates,
                    SignatureCheck* check) {
    for (const std::vector<uint8_t>& element : signer.counterSignatures) {
        SignerInfo counter;
        int certificate = -1;
        std::string reason;
        DerSpan whole{element.data(), element.size()};
        if (!ReadSignerInfo(whole, &counter, &reason)) {
            check->timeStampProblem = "the counter-signature is malformed: " + reason;
            continue;
        }
        if (CheckSigner(counter, signer.signature, "", certificates, &certificate, &reason) != SIGNATURE_OK) {
            check->timeStampProblem = "the counter-signature does not verify: " + reason;
            continue;
        }
        if (!counter.hasSigningTime) {
            check->timeStampProblem = "the counter-signature carries no signing time";
            continue;
        }
        check->timeStamped = true;
        check->timeStamp = counter.signingTime;
        check->timeStampProblem.clear();
        return;
    }
    for (const std::vector<uint8_t>& element : signer.timeStampTokens) {
        SignedData token;
        std::string reason;
        int certificate = -1;
        int64_t genTime = 0;
        if (!ReadSignedData(element.data(), element.size(), &token, &reason) ||
            token.contentType != kOidTstInfo || token.signers.empty()) {
            check->timeStampProblem = "the time stamp is malformed" + (reason.empty() ? "" : ": " + reason);
            continue;
        }
        std::vector<Certificate> pool = token.certificates;
        pool.insert(pool.end(), certificates.begin(), certificates.end());
        if (CheckSigner(token.signers[0], token.content, kOidTstInfo, pool, &certificate, &reason) !=
                SIGNATURE_OK ||
            !ImprintMatches(token.content, signer.signature, &genTime, &reason)) {
            check->timeStampProblem = "the time stamp does not verify: " + reason;
            continue;
        }
        check->timeStamped = true;
        check->timeStamp = genTime;
        check->timeStampProblem.clear();
        return;
    }
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

} // namespace

const char* HashAlgorithmName(HashAlgorithm algorithm) {
    for (const auto& h : kHashes) {
        if (h.algorithm == algorithm) {
            return h.name;
        }
    }
    return "unknown";
}

HashAlgorithm HashAlgorithmFromOid(const std::string& oid) {
    for (const auto& h : kHashes) {
        if (oid == h.oid) {
            return h.algorithm;
        }
    }
    return HASH_UNKNOWN;
}

const char* HashAlgorithmOid(HashAlgorithm algorithm) {
    for (const auto& h : kHashes) {
        if (h.algorithm == algorithm) {
            return h.oid;
        }
    }
    return "";
}

size_t HashSize(HashAlgorithm algorithm) {
    for (const auto& h : kHashes) {
        if (h.algorithm == algorithm) {
            return h.size;
        }
    }
    return 0;
}

bool HashBytes(HashAlgorithm algorithm, const uint8_t* data, size_t size, std::vector<uint8_t>* digest) {
    HashState* state = HashBegin(algorithm);
    if (state == nullptr) {
        digest->clear();
        return false;
    }
    HashUpdate(state, data, size);
    return HashEnd(state, digest);
}

int FindCertificate(const std::vector<Certificate>& certificates, const std::vector<uint8_t>& issuerDer,
                    const std::vector<uint8_t>& serial) {
    for (size_t i = 0; i < certificates.size(); ++i) {
        if (certificates[i].issuerDer == issuerDer && certificates[i].serial == serial) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CertificateSignedBy(const Certificate& issued, const Certificate& issuer) {
    HashAlgorithm hash = RsaSignatureHash(issued.signatureAlgorithmOid, HASH_UNKNOWN);
    std::vector<uint8_t> digest;
    return issued.issuerDer == issuer.subjectDer && issuer.keyAlgorithmOid == kOidRsaEncryption &&
           hash != HASH_UNKNOWN && HashBytes(hash, issued.tbs.data(), issued.tbs.size(), &digest) &&
           VerifyRsaSignature(issuer.key, hash, digest, issued.signature);
}

bool HasExtendedKeyUsage(const Certificate& certificate, const char* oid) {
    for (const std::string& usage : certificate.extendedKeyUsages) {
        if (usage == oid) {
            return true;
        }
    }
    return false;
}

bool ChainsToRoot(const Certificate& leaf, const std::vector<Certificate>& pool,
                  const std::vector<Certificate>& roots, std::string* reason) {
    const Certificate* current = &leaf;
    for (int link = 0; link < 8; ++link) {
        for (const Certificate& root : roots) {
            if (current->der == root.der ||
                ((root.isCa || root.subjectDer == root.issuerDer) && CertificateSignedBy(*current, root))) {
                return true;
            }
        }
        const Certificate* next = nullptr;
        for (const Certificate& candidate : pool) {
            if (candidate.der != current->der && candidate.isCa && CertificateSignedBy(*current, candidate)) {
                next = &candidate;
                break;
            }
        }
        if (next == nullptr) {
            *reason = current->subjectDer == current->issuerDer
                          ? "the chain ends at the self-signed " + current->subject + ", which is not trusted"
                          : "no trusted certificate or CA in the catalog issued " + current->subject +
                                " (issuer " + current->issuer + ")";
            return false;
        }
        current = next;
    }
    *reason = "the chain is longer than 8 certificates";
    return false;
}

SignatureCheck CheckSignature(const SignedData& signedData) {
    SignatureCheck check;
    if (signedData.signers.empty()) {
        check.status = SIGNATURE_NO_SIGNER;
        check.reason = "the catalog carries no signer";
        return check;
    }
    const SignerInfo& signer = signedData.signers[0];
    check.status = CheckSigner(signer, signedData.content, signedData.contentType, signedData.certificates,
                               &check.signerCertificate, &check.reason);
    if (check.signerCertificate >= 0) {
        CheckTimeStamp(signer, signedData.certificates, &check);
    }
    return check;
}

bool ReadPemCertificates(const std::string& text, std::vector<Certificate>* out, std::string* error) {
    const std::string begin = "-----BEGIN CERTIFICATE-----";
    const std::string end = "-----END CERTIFICATE-----";
    size_t at = 0;
    size_t found = 0;
    while ((at = text.find(begin, at)) != std::string::npos) {
        size_t stop = text.find(end, at);
        if (stop == std::string::npos) {
            *error = "a certificate block without its END line";
            return false;
        }
        std::vector<uint8_t> der;
        unsigned bits = 0;
        int count = 0;
        for (size_t i = at + begin.size(); i < stop; ++i) {
            char c = text[i];
            if (c == '=' || c == '\r' || c == '\n' || c == ' ' || c == '\t') {
                continue;
            }
            int value = Base64Value(c);
            if (value < 0) {
                *error = "a certificate block that is not base64";
                return false;
            }
            bits = bits << 6 | static_cast<unsigned>(value);
            if (++count == 4) {
                der.push_back(static_cast<uint8_t>(bits >> 16));
                der.push_back(static_cast<uint8_t>(bits >> 8));
                der.push_back(static_cast<uint8_t>(bits));
                bits = 0;
                count = 0;
            }
        }
        if (count == 3) {
            der.push_back(static_cast<uint8_t>(bits >> 10));
            der.push_back(static_cast<uint8_t>(bits >> 2));
        } else if (count == 2) {
            der.push_back(static_cast<uint8_t>(bits >> 4));
        }
        Certificate certificate;
        if (!ReadCertificate(DerSpan{der.data(), der.size()}, &certificate, error)) {
            return false;
        }
        out->push_back(certificate);
        ++found;
        at = stop + end.size();
    }
    if (found == 0) {
        *error = "no \"" + begin + "\" block";
        return false;
    }
    return true;
}

} // namespace catalog
