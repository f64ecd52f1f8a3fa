// Signing catalogs with OpenSSL.
#include "sign_openssl.h"

#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "catalog/package_files.h"
#include "common/product_tables.h"
#include "inf/inf_reader.h"

namespace fs = std::filesystem;

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

Bytes SignCatalog(const CatalogContents& contents, const std::vector<Certificate>& chain, EVP_PKEY* key,
                  HashAlgorithm algorithm) {
    Bytes list = BuildCatalogList(contents);
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

namespace {

// The Windows versions that have an x64 edition, as OSAttr names them.
const struct {
    unsigned major;
    unsigned minor;
} kX64Versions[] = {{5, 2}, {6, 0}, {6, 1}, {6, 2}, {6, 3}, {10, 0}};

bool ReadText(const fs::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in) || in.eof();
}

// The OS folder name a package folder stands for: its own name when it is
// one of the installer's, else the 64bit folder itself (Windows 8 and later).
std::string LayoutOf(const fs::path& folder) {
    std::string name = folder.filename().string();
    for (const auto& v : kX64Versions) {
        std::string os = OsFolderNameForVersion(v.major, v.minor);
        if (!os.empty() && infreader::SameNameNoCase(name, os)) {
            return os;
        }
    }
    return "";
}

} // namespace

int SignPackageFolder(const fs::path& folder, const std::vector<Certificate>& chain, EVP_PKEY* key,
                      HashAlgorithm hash, int64_t time, FileHashCache* cache, std::ostream& out,
                      std::ostream& err) {
    std::string layout = LayoutOf(folder);
    std::string osAttr;
    bool older = false;
    for (const auto& v : kX64Versions) {
        if (layout == OsFolderNameForVersion(v.major, v.minor)) {
            osAttr +=
                (osAttr.empty() ? "2:" : ",2:") + std::to_string(v.major) + "." + std::to_string(v.minor);
            older = older || v.major < 6 || (v.major == 6 && v.minor < 2);
        }
    }
    // Windows 7 and older read only SHA-1 member hashes.
    HashAlgorithm algorithm = hash != HASH_UNKNOWN ? hash : older ? HASH_SHA1 : HASH_SHA256;
    std::vector<fs::path> infs;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.size() > 4 && infreader::SameNameNoCase(name.substr(name.size() - 4), ".inf") &&
            it->is_regular_file(error)) {
            infs.push_back(it->path());
        }
    }
    std::sort(infs.begin(), infs.end());
    int failures = 0;
    for (const fs::path& infPath : infs) {
        std::string raw;
        infreader::InfFile inf;
        unsigned line = 0;
        if (!ReadText(infPath, &raw) || infreader::ParseInfText(raw, &inf, &line) != infreader::INF_OK) {
            err << "hallimor-sign: " << infPath.string() << " is not an INF that can be read\n";
            ++failures;
            continue;
        }
        std::string catalogName = InfCatalogName(inf);
        if (catalogName.empty()) {
            err << "hallimor-sign: " << infPath.string() << " names no CatalogFile\n";
            ++failures;
            continue;
        }
        CatalogContents contents;
        contents.memberAlgorithm = algorithm;
        contents.thisUpdate = time;
        contents.attributes.push_back(NameValue{"OSAttr", kNameValueFlags, osAttr});
        std::vector<std::pair<std::string, fs::path>> files = {{infPath.filename().string(), infPath}};
        for (const SourceFile& source : InfSourceFiles(inf)) {
            fs::path path = FindNoCase(folder, source.relativePath);
            if (path.empty()) {
                err << "hallimor-sign: " << infPath.string() << " names " << source.relativePath
                    << ", which is not in " << folder.string() << "\n";
                ++failures;
                continue;
            }
            files.emplace_back(source.name, path);
        }
        for (const auto& file : files) {
            const FileHashes& hashes = CachedFileHashes(cache, file.second, {algorithm});
            if (!hashes.readable) {
                err << "hallimor-sign: " << file.second.string() << ": " << hashes.error << "\n";
                ++failures;
                continue;
            }
            CatalogMemberEntry member;
            member.fileName = file.first;
            member.peImage = hashes.peImage;
            member.algorithm = algorithm;
            member.digest = hashes.digests[algorithm];
            contents.members.push_back(member);
        }
        if (contents.members.size() != files.size()) {
            continue;
        }
        Bytes signedCatalog = SignCatalog(contents, chain, key, algorithm);
        fs::path existing = FindNoCase(folder, catalogName);
        fs::path written = existing.empty() ? folder / catalogName : existing;
        std::ofstream file(written, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(signedCatalog.data()),
                   static_cast<std::streamsize>(signedCatalog.size()));
        if (signedCatalog.empty() || !file) {
            err << "hallimor-sign: " << written.string() << " cannot be written\n";
            ++failures;
            continue;
        }
        out << written.string() << ": " << contents.members.size() << " files, "
            << HashAlgorithmName(algorithm) << ", OSAttr " << osAttr << "\n";
    }
    return failures;
}

} // namespace catalog
