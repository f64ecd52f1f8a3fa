// Signing catalogs with OpenSSL.
#include "sign_openssl.h"

#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <stdio.h>

namespace catalog {

namespace {

const EVP_MD* Md(HashAlgorithm algorithm) {
    return algorithm == HASH_SHA1     ? EVP_sha1()
           : algorithm == HASH_SHA256 ? EVP_sha256()
           : algorithm == HASH_SHA384 ? EVP_sha384()
           : algorithm == HASH_SHA512 ? EVP_sha512()
                                      : nullptr;
}

} // namespace

EVP_PKEY* ReadPrivateKey(const std::string& path, std::string* error) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = path + " cannot be opened";
        return nullptr;
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    fclose(file);
    if (key == nullptr) {
        *error = path + " holds no PEM private key (an encrypted key is not read)";
    } else if (EVP_PKEY_base_id(key) != EVP_PKEY_RSA) {
        *error = path + " holds no RSA key";
        EVP_PKEY_free(key);
        key = nullptr;
    }
    return key;
}

bool SignDigest(EVP_PKEY* key, HashAlgorithm algorithm, const Bytes& digest, Bytes* signature) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
    size_t size = 0;
    bool ok = context != nullptr && Md(algorithm) != nullptr && EVP_PKEY_sign_init(context) == 1 &&
              EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
              EVP_PKEY_CTX_set_signature_md(context, Md(algorithm)) == 1 &&
              EVP_PKEY_sign(context, nullptr, &size, digest.data(), digest.size()) == 1;
    if (ok) {
        signature->resize(size);
        ok = EVP_PKEY_sign(context, signature->data(), &size, digest.data(), digest.size()) == 1;
        signature->resize(ok ? size : 0);
    }
    EVP_PKEY_CTX_free(context);
    return ok;
}

bool KeyMatchesCertificate(EVP_PKEY* key, const Certificate& certificate) {
    const unsigned char* p = certificate.der.data();
    X509* x509 = d2i_X509(nullptr, &p, static_cast<long>(certificate.der.size()));
    bool ok = x509 != nullptr && X509_check_private_key(x509, key) == 1;
    X509_free(x509);
    return ok;
}

Bytes SignCatalog(const CatalogSpec& spec, const std::vector<Certificate>& chain, EVP_PKEY* key,
                  HashAlgorithm algorithm) {
    Bytes list = BuildCatalogList(spec);
    Bytes attributes = BuildSignedAttributes(kOidCatalogList, algorithm, ElementContents(list));
    Bytes digest;
    Bytes signature;
    if (chain.empty() || !HashBytes(algorithm, attributes.data(), attributes.size(), &digest) ||
        !SignDigest(key, algorithm, digest, &signature)) {
        return Bytes();
    }
    std::vector<Bytes> certificates;
    for (const Certificate& certificate : chain) {
        certificates.push_back(certificate.der);
    }
    Bytes signer = BuildSignerInfo(chain[0], algorithm, attributes, signature, Bytes());
    return BuildSignedData(kOidCatalogList, list, algorithm, certificates, {signer});
}

} // namespace catalog
