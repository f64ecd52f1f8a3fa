// File hashes as Windows computes them for a catalog member: the Authenticode
// image hash of a PE image (the whole file but the optional header's
// CheckSum, the Certificate Table's directory entry and the certificate data
// it points to) and the hash of the plain bytes of any other file.
#ifndef HALLIMOR_LIB_CATALOG_FILE_HASH_H
#define HALLIMOR_LIB_CATALOG_FILE_HASH_H

#include <stdint.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "catalog/catalog_crypto.h"

namespace catalog {

// The byte ranges [offset, offset + size) that an image hash leaves out, in
// file order.
struct ExcludedRange {
    uint64_t offset;
    uint64_t size;
};

// True when the first bytes of a file (head, at least up to the end of the
// optional header) are those of a PE image of fileSize bytes; the ranges the
// image hash leaves out go to *excluded.
bool PeImageRanges(const uint8_t* head, size_t headSize, uint64_t fileSize,
                   std::vector<ExcludedRange>* excluded);

struct FileHashes {
    bool readable = false;
    std::string error;
    bool peImage = false;
    std::vector<uint8_t> digests[HASH_SHA512 + 1]; // by HashAlgorithm; empty when not computed
};

// Reads the file once, in large blocks, and hashes it with every one of the
// algorithms.
FileHashes HashFile(const std::filesystem::path& path, const std::vector<HashAlgorithm>& algorithms);

// Each file is hashed once per check: later requests for the same path are
// answered from here (a missing algorithm hashes the file again).
struct FileHashCache {
    std::map<std::string, FileHashes> files;
    unsigned reads = 0;
};
const FileHashes& CachedFileHashes(FileHashCache* cache, const std::filesystem::path& path,
                                   const std::vector<HashAlgorithm>& algorithms);

} // namespace catalog

#endif
