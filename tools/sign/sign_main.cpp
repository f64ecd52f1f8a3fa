// hallimor-sign FOLDER --cert PEM --key PEM [--hash sha1|sha256] [--time SECONDS]
//
// Builds and signs the catalog of every INF of a driver package (the setup
// folder holding Drivers\64bit\, or one package folder): its members are the
// INF and every file that the INF names in a SourceDisksFiles section, each
// hashed as Windows hashes it, and its OSAttr lists the Windows versions that
// read the INF's layout folder. scripts/sign-package runs it.
#include <stdio.h>
#include <time.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <system_error>

#include "catalog/file_hash.h"
#include "catalog/package_files.h"
#include "common/product_tables.h"
#include "inf/inf_reader.h"
#include "sign_openssl.h"

namespace fs = std::filesystem;
using namespace catalog;

namespace {

// The Windows versions that have an x64 edition, as OSAttr names them.
const struct {
    unsigned major;
    unsigned minor;
} kX64Versions[] = {{5, 2}, {6, 0}, {6, 1}, {6, 2}, {6, 3}, {10, 0}};

struct Options {
    std::string folder;
    std::string certificate;
    std::string key;
    HashAlgorithm hash = HASH_UNKNOWN; // by layout
    int64_t time = 0;
};

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

// Signs the catalogs of the INFs in one folder; returns the failures.
int SignFolder(const fs::path& folder, const Options& options, const std::vector<Certificate>& chain,
               EVP_PKEY* key, FileHashCache* cache) {
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
    HashAlgorithm algorithm = options.hash != HASH_UNKNOWN ? options.hash : older ? HASH_SHA1 : HASH_SHA256;
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
            std::cerr << "hallimor-sign: " << infPath.string() << " is not an INF that can be read\n";
            ++failures;
            continue;
        }
        std::string catalogName = InfCatalogName(inf);
        if (catalogName.empty()) {
            std::cerr << "hallimor-sign: " << infPath.string() << " names no CatalogFile\n";
            ++failures;
            continue;
        }
        CatalogSpec spec;
        spec.memberAlgorithm = algorithm;
        spec.thisUpdate = options.time;
        spec.attributes.push_back(NameValue{"OSAttr", kNameValueFlags, osAttr});
        std::vector<std::pair<std::string, fs::path>> files = {{infPath.filename().string(), infPath}};
        for (const SourceFile& source : InfSourceFiles(inf)) {
            fs::path path = FindNoCase(folder, source.relativePath);
            if (path.empty()) {
                std::cerr << "hallimor-sign: " << infPath.string() << " names " << source.relativePath
                          << ", which is not in " << folder.string() << "\n";
                ++failures;
                continue;
            }
            files.emplace_back(source.name, path);
        }
        for (const auto& file : files) {
            const FileHashes& hashes = CachedFileHashes(cache, file.second, {algorithm});
            if (!hashes.readable) {
                std::cerr << "hallimor-sign: " << file.second.string() << ": " << hashes.error << "\n";
                ++failures;
                continue;
            }
            MemberSpec member;
            member.fileName = file.first;
            member.peImage = hashes.peImage;
            member.algorithm = algorithm;
            member.digest = hashes.digests[algorithm];
            spec.members.push_back(member);
        }
        if (spec.members.size() != files.size()) {
            continue;
        }
        Bytes signedCatalog = SignCatalog(spec, chain, key, algorithm);
        fs::path existing = FindNoCase(folder, catalogName);
        fs::path out = existing.empty() ? folder / catalogName : existing;
        std::ofstream file(out, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(signedCatalog.data()),
                   static_cast<std::streamsize>(signedCatalog.size()));
        if (signedCatalog.empty() || !file) {
            std::cerr << "hallimor-sign: " << out.string() << " cannot be written\n";
            ++failures;
            continue;
        }
        std::cout << out.string() << ": " << spec.members.size() << " files, " << HashAlgorithmName(algorithm)
                  << ", OSAttr " << osAttr << "\n";
    }
    return failures;
}

bool ParseOptions(int argc, char** argv, Options* options, std::string* reason) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool value = i + 1 < argc;
        if (a == "--cert" && value) {
            options->certificate = argv[++i];
        } else if (a == "--key" && value) {
            options->key = argv[++i];
        } else if (a == "--hash" && value) {
            std::string h = argv[++i];
            options->hash = h == "sha1" ? HASH_SHA1 : h == "sha256" ? HASH_SHA256 : HASH_UNKNOWN;
            if (options->hash == HASH_UNKNOWN) {
                *reason = "--hash takes sha1 or sha256";
                return false;
            }
        } else if (a == "--time" && value) {
            options->time = static_cast<int64_t>(strtoll(argv[++i], nullptr, 10));
        } else if (a.compare(0, 2, "--") == 0) {
            *reason = "unknown option or missing value: " + a;
            return false;
        } else if (options->folder.empty()) {
            options->folder = a;
        } else {
            *reason = "one FOLDER only";
            return false;
        }
    }
    if (options->folder.empty() || options->certificate.empty() || options->key.empty()) {
        *reason = "FOLDER, --cert and --key are needed";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    options.time = static_cast<int64_t>(::time(nullptr));
    std::string reason;
    if (!ParseOptions(argc, argv, &options, &reason)) {
        std::cerr
            << "hallimor-sign: " << reason
            << "\nusage: hallimor-sign FOLDER --cert PEM --key PEM [--hash sha1|sha256] [--time SECONDS]\n";
        return 2;
    }
    std::string pem;
    std::vector<Certificate> chain;
    if (!ReadText(options.certificate, &pem) || !ReadPemCertificates(pem, &chain, &reason)) {
        std::cerr << "hallimor-sign: " << options.certificate << ": " << reason << "\n";
        return 2;
    }
    EVP_PKEY* key = ReadPrivateKey(options.key, &reason);
    if (key == nullptr) {
        std::cerr << "hallimor-sign: " << reason << "\n";
        return 2;
    }
    if (!KeyMatchesCertificate(key, chain[0])) {
        std::cerr << "hallimor-sign: the key is not the one of the first certificate of "
                  << options.certificate << "\n";
        EVP_PKEY_free(key);
        return 2;
    }
    std::error_code error;
    if (!fs::is_directory(options.folder, error)) {
        std::cerr << "hallimor-sign: " << options.folder << " is not a folder\n";
        EVP_PKEY_free(key);
        return 2;
    }
    // Every folder at most four levels down (Drivers\64bit\WIN7) that holds an INF.
    std::set<fs::path> folders = {fs::path(options.folder)};
    for (fs::recursive_directory_iterator it(options.folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it.depth() < 4 && it->is_directory(error)) {
            folders.insert(it->path());
        }
    }
    FileHashCache cache;
    int failures = 0;
    for (const fs::path& folder : folders) {
        failures += SignFolder(folder, options, chain, key, &cache);
    }
    EVP_PKEY_free(key);
    return failures == 0 ? 0 : 1;
}
