// The catalog checks' crypto in the Windows build: Windows' own bcrypt, so
// that HallimorCheck_x64.exe imports only Windows' DLLs.
#include <windows.h>

#include <bcrypt.h>
#include <string.h>

#include "catalog/catalog_crypto.h"

namespace catalog {

namespace {

const wchar_t* AlgorithmId(HashAlgorithm algorithm) {
    switch (algorithm) {
    case HASH_SHA1:
        return BCRYPT_SHA1_ALGORITHM;
    case HASH_SHA256:
        return BCRYPT_SHA256_ALGORITHM;
    case HASH_SHA384:
        return BCRYPT_SHA384_ALGORITHM;
    case HASH_SHA512:
        return BCRYPT_SHA512_ALGORITHM;
    default:
        return nullptr;
    }
}

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

} // namespace

struct HashState {
    BCRYPT_ALG_HANDLE algorithm;
    BCRYPT_HASH_HANDLE hash;
};

HashState* HashBegin(HashAlgorithm algorithm) {
    const wchar_t* id = AlgorithmId(algorithm);
    if (id == nullptr) {
        return nullptr;
    }
    HashState state{nullptr, nullptr};
    if (!Succeeded(BCryptOpenAlgorithmProvider(&state.algorithm, id, nullptr, 0))) {
        return nullptr;
    }
    if (!Succeeded(BCryptCreateHash(state.algorithm, &state.hash, nullptr, 0, nullptr, 0, 0))) {
        BCryptCloseAlgorithmProvider(state.algorithm, 0);
        return nullptr;
    }
    return new HashState(state);
}

void HashUpdate(HashState* state, const uint8_t* data, size_t size) {
    // BCryptHashData takes at most 4 GB a call.
    while (size > 0) {
        ULONG part = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        BCryptHashData(state->hash, const_cast<PUCHAR>(data), part, 0);
        data += part;
        size -= part;
    }
}

bool HashEnd(HashState* state, std::vector<uint8_t>* digest) {
    DWORD size = 0;
    ULONG written = 0;
    bool ok = Succeeded(BCryptGetProperty(state->hash, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&size),
                                          sizeof size, &written, 0)) &&
              size > 0 && size <= 64;
    digest->assign(ok ? size : 0, 0);
    ok = ok && Succeeded(BCryptFinishHash(state->hash, digest->data(), size, 0));
    BCryptDestroyHash(state->hash);
    BCryptCloseAlgorithmProvider(state->algorithm, 0);
    delete state;
    if (!ok) {
        digest->clear();
    }
    return ok;
}

bool VerifyRsaSignature(const RsaPublicKey& key, HashAlgorithm algorithm, const std::vector<uint8_t>& digest,
                        const std::vector<uint8_t>& signature) {
    const wchar_t* id = AlgorithmId(algorithm);
    if (id == nullptr || digest.size() != HashSize(algorithm) || signature.empty() || key.modulus.empty() ||
        key.exponent.empty() || key.modulus.size() > 2048 || key.exponent.size() > 16) {
        return false;
    }
    // BCRYPT_RSAKEY_BLOB, then the exponent and the modulus, big-endian.
    std::vector<uint8_t> blob(sizeof(BCRYPT_RSAKEY_BLOB) + key.exponent.size() + key.modulus.size());
    BCRYPT_RSAKEY_BLOB header = {};
    header.Magic = BCRYPT_RSAPUBLIC_MAGIC;
    header.BitLength = static_cast<ULONG>(key.modulus.size() * 8);
    header.cbPublicExp = static_cast<ULONG>(key.exponent.size());
    header.cbModulus = static_cast<ULONG>(key.modulus.size());
    memcpy(blob.data(), &header, sizeof header);
    memcpy(blob.data() + sizeof header, key.exponent.data(), key.exponent.size());
    memcpy(blob.data() + sizeof header + key.exponent.size(), key.modulus.data(), key.modulus.size());

    BCRYPT_ALG_HANDLE rsa = nullptr;
    BCRYPT_KEY_HANDLE handle = nullptr;
    bool ok = Succeeded(BCryptOpenAlgorithmProvider(&rsa, BCRYPT_RSA_ALGORITHM, nullptr, 0)) &&
              Succeeded(BCryptImportKeyPair(rsa, nullptr, BCRYPT_RSAPUBLIC_BLOB, &handle, blob.data(),
                                            static_cast<ULONG>(blob.size()), 0));
    if (ok) {
        BCRYPT_PKCS1_PADDING_INFO padding = {id};
        ok = Succeeded(BCryptVerifySignature(
            handle, &padding, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
            const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), BCRYPT_PAD_PKCS1));
    }
    if (handle != nullptr) {
        BCryptDestroyKey(handle);
    }
    if (rsa != nullptr) {
        BCryptCloseAlgorithmProvider(rsa, 0);
    }
    return ok;
}

} // namespace catalog
