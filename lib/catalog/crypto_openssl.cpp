// The catalog checks' crypto in the host build: OpenSSL's libcrypto.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include "catalog/catalog_crypto.h"

namespace catalog {

namespace {

const EVP_MD* Digest(HashAlgorithm algorithm) {
    switch (algorithm) {
    case HASH_SHA1:
        return EVP_sha1();
    case HASH_SHA256:
        return EVP_sha256();
    case HASH_SHA384:
        return EVP_sha384();
    case HASH_SHA512:
        return EVP_sha512();
    default:
        return nullptr;
    }
}

} // namespace

struct HashState {
    EVP_MD_CTX* context;
};

HashState* HashBegin(HashAlgorithm algorithm) {
    const EVP_MD* md = Digest(algorithm);
    if (md == nullptr) {
        return nullptr;
    }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr || EVP_DigestInit_ex(context, md, nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return nullptr;
    }
    return new HashState{context};
}

void HashUpdate(HashState* state, const uint8_t* data, size_t size) {
    EVP_DigestUpdate(state->context, data, size);
}

bool HashEnd(HashState* state, std::vector<uint8_t>* digest) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    bool ok = EVP_DigestFinal_ex(state->context, out, &size) == 1;
    EVP_MD_CTX_free(state->context);
    delete state;
    digest->assign(out, out + (ok ? size : 0));
    return ok;
}

bool VerifyRsaSignature(const RsaPublicKey& key, HashAlgorithm algorithm, const std::vector<uint8_t>& digest,
                        const std::vector<uint8_t>& signature) {
    const EVP_MD* md = Digest(algorithm);
    if (md == nullptr || digest.size() != HashSize(algorithm) || signature.empty()) {
        return false;
    }
    const unsigned char* p = key.subjectPublicKeyInfo.data();
    EVP_PKEY* pkey = d2i_PUBKEY(nullptr, &p, static_cast<long>(key.subjectPublicKeyInfo.size()));
    if (pkey == nullptr) {
        return false;
    }
    bool ok = false;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(pkey, nullptr);
    if (context != nullptr && EVP_PKEY_base_id(pkey) == EVP_PKEY_RSA && EVP_PKEY_verify_init(context) == 1 &&
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
        EVP_PKEY_CTX_set_signature_md(context, md) == 1) {
        ok = EVP_PKEY_verify(context, signature.data(), signature.size(), digest.data(), digest.size()) == 1;
    }
    EVP_PKEY_CTX_free(context);
    EVP_PKEY_free(pkey);
    return ok;
}

} // namespace catalog
