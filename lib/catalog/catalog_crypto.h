// The little that the catalog checks need from a crypto library: hashes and
// the check of an RSA PKCS #1 v1.5 signature over a digest. The host build
// answers it with OpenSSL's libcrypto (crypto_openssl.cpp), the Windows build
// with bcrypt (crypto_windows.cpp); everything else is shared.
#ifndef HALLIMOR_LIB_CATALOG_CATALOG_CRYPTO_H
#define HALLIMOR_LIB_CATALOG_CATALOG_CRYPTO_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace catalog {

enum HashAlgorithm { HASH_UNKNOWN = 0, HASH_SHA1, HASH_SHA256, HASH_SHA384, HASH_SHA512 };

// "SHA-1", "SHA-256", ...; "unknown".
const char* HashAlgorithmName(HashAlgorithm algorithm);
// From a digest algorithm's OID; HASH_UNKNOWN for others.
HashAlgorithm HashAlgorithmFromOid(const std::string& oid);
const char* HashAlgorithmOid(HashAlgorithm algorithm);
size_t HashSize(HashAlgorithm algorithm);

// A running hash; opaque to the callers.
struct HashState;

// Null when the algorithm is unknown or the library refuses.
HashState* HashBegin(HashAlgorithm algorithm);
void HashUpdate(HashState* state, const uint8_t* data, size_t size);
// Writes the digest and releases the state.
bool HashEnd(HashState* state, std::vector<uint8_t>* digest);
// The digest of one buffer.
bool HashBytes(HashAlgorithm algorithm, const uint8_t* data, size_t size, std::vector<uint8_t>* digest);

// An RSA public key: the SubjectPublicKeyInfo as the certificate holds it,
// and its modulus and public exponent (big-endian, no leading zero).
struct RsaPublicKey {
    std::vector<uint8_t> subjectPublicKeyInfo;
    std::vector<uint8_t> modulus;
    std::vector<uint8_t> exponent;
};

// True when signature is the key's RSA PKCS #1 v1.5 signature of digest,
// made with algorithm.
bool VerifyRsaSignature(const RsaPublicKey& key, HashAlgorithm algorithm, const std::vector<uint8_t>& digest,
                        const std::vector<uint8_t>& signature);

} // namespace catalog

#endif
