// Signing catalogs with OpenSSL (host build only): the private key, the
// signature over the signed attributes, and the whole signed catalog.
#ifndef HALLIMOR_TOOLS_SIGN_SIGN_OPENSSL_H
#define HALLIMOR_TOOLS_SIGN_SIGN_OPENSSL_H

#include <openssl/evp.h>

#include <stdint.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "catalog/catalog_writer.h"
#include "catalog/file_hash.h"

namespace catalog {

// A PEM private key; null with the reason when it cannot be read.
EVP_PKEY* ReadPrivateKey(const std::string& path, std::string* error);
// RSA PKCS #1 v1.5 signature of a digest.
bool SignDigest(EVP_PKEY* key, HashAlgorithm algorithm, const Bytes& digest, Bytes* signature);
// True when the key is the private half of the certificate's public key.
bool KeyMatchesCertificate(EVP_PKEY* key, const Certificate& certificate);
// The signed catalog: the list of contents, signed with key by chain[0], with
// every certificate of chain in it.
Bytes SignCatalog(const CatalogContents& contents, const std::vector<Certificate>& chain, EVP_PKEY* key,
                  HashAlgorithm algorithm);

// Builds and signs the catalog of every INF in one package folder: the INF
// and the files of its SourceDisksFiles, hashed as Windows hashes them, and
// OSAttr of the Windows versions that read the folder (by its name: WIN7,
// VISTA, WNET, else the 64bit folder itself). The members are hashed with
// hash, or by the layout: SHA-1 where Windows 7 and older read the folder,
// SHA-256 elsewhere. Writes a line per catalog to out and each failure to
// err; returns the number of failures.
int SignPackageFolder(const std::filesystem::path& folder, const std::vector<Certificate>& chain,
                      EVP_PKEY* key, HashAlgorithm hash, int64_t time, FileHashCache* cache,
                      std::ostream& out, std::ostream& err);

} // namespace catalog

#endif
