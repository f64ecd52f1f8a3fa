// hallimor-sign FOLDER --cert PEM --key PEM [--hash sha1|sha256] [--time SECONDS]
//
// Builds and signs the catalog of every INF of a driver package (the setup
// folder holding Drivers\64bit\, or one package folder): its members are the
// INF and every file that the INF names in a SourceDisksFiles section, each
// hashed as Windows hashes it, and its OSAttr lists the Windows versions that
// read the INF's layout folder. scripts/sign-package runs it.
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <system_error>

#include "sign_openssl.h"

namespace fs = std::filesystem;
using namespace catalog;

namespace {

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
        failures +=
            SignPackageFolder(folder, chain, key, options.hash, options.time, &cache, std::cout, std::cerr);
    }
    EVP_PKEY_free(key);
    return failures == 0 ? 0 : 1;
}
