// File hashes of catalog members.
#include "catalog/file_hash.h"

#include <string.h>

#include <algorithm>
#include <fstream>
#include <system_error>

namespace catalog {

namespace {

// Files are read in blocks of this size.
const size_t kBlockSize = 1u << 20;

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// The head that PeImageRanges needs: the headers of any sane image.
const size_t kHeadSize = 64u * 1024u;

} // namespace

bool PeImageRanges(const uint8_t* head, size_t headSize, uint64_t fileSize,
                   std::vector<ExcludedRange>* excluded) {
    excluded->clear();
    if (headSize < 0x40 || head[0] != 'M' || head[1] != 'Z') {
        return false;
    }
    uint64_t pe = Le32(head + 0x3C);
    // Signature (4), file header (20), then the optional header.
    uint64_t optional = pe + 24;
    if (optional + 2 > headSize || memcmp(head + pe, "PE\0\0", 4) != 0) {
        return false;
    }
    uint16_t optionalSize = Le16(head + pe + 20);
    uint16_t magic = Le16(head + optional);
    uint64_t countOffset = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    if (countOffset == 0 || optionalSize < countOffset + 4 || optional + optionalSize > headSize) {
        return false;
    }
    excluded->push_back(ExcludedRange{optional + 64, 4}); // CheckSum
    uint32_t directories = Le32(head + optional + countOffset);
    uint64_t certificateEntry = optional + countOffset + 4 + 4 * 8;
    if (directories > 4 && certificateEntry + 8 <= optional + optionalSize) {
        excluded->push_back(ExcludedRange{certificateEntry, 8});
        uint64_t offset = Le32(head + certificateEntry);
        uint64_t size = Le32(head + certificateEntry + 4);
        // The entry holds a file offset, not an address. Data it claims past
        // the end of the file is left out as far as the file goes.
        if (size > 0 && offset >= certificateEntry + 8 && offset < fileSize) {
            excluded->push_back(ExcludedRange{offset, std::min(size, fileSize - offset)});
        }
    }
    return true;
}

FileHashes HashFile(const std::filesystem::path& path, const std::vector<HashAlgorithm>& algorithms) {
    FileHashes result;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        result.error = "not a file that can be read";
        return result;
    }
    uint64_t fileSize = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (error || !in) {
        result.error = "the file cannot be read";
        return result;
    }
    std::vector<uint8_t> block(kBlockSize);
    in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
    size_t got = static_cast<size_t>(in.gcount());
    std::vector<ExcludedRange> excluded;
    result.peImage = PeImageRanges(block.data(), std::min(got, kHeadSize), fileSize, &excluded);

    std::vector<std::pair<HashAlgorithm, HashState*>> states;
    for (HashAlgorithm algorithm : algorithms) {
        HashState* state = HashBegin(algorithm);
        if (state == nullptr) {
            result.error = std::string("no ") + HashAlgorithmName(algorithm) + " hash";
        } else {
            states.emplace_back(algorithm, state);
        }
    }
    uint64_t position = 0;
    while (got > 0) {
        // The parts of the block outside every excluded range.
        uint64_t at = position;
        uint64_t blockEnd = position + got;
        for (const ExcludedRange& range : excluded) {
            uint64_t skipFrom = std::max(range.offset, at);
            uint64_t skipTo = std::min(range.offset + range.size, blockEnd);
            if (skipFrom >= skipTo) {
                continue;
            }
            for (auto& s : states) {
                HashUpdate(s.second, block.data() + (at - position), static_cast<size_t>(skipFrom - at));
            }
            at = skipTo;
        }
        for (auto& s : states) {
            HashUpdate(s.second, block.data() + (at - position), static_cast<size_t>(blockEnd - at));
        }
        position = blockEnd;
        if (!in) {
            break;
        }
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        got = static_cast<size_t>(in.gcount());
    }
    bool complete = position == fileSize && !in.bad();
    for (auto& s : states) {
        HashEnd(s.second, &result.digests[s.first]);
        if (!complete) {
            result.digests[s.first].clear();
        }
    }
    result.readable = complete;
    if (!complete) {
        result.error = "the file could not be read to its end";
    }
    return result;
}

const FileHashes& CachedFileHashes(FileHashCache* cache, const std::filesystem::path& path,
                                   const std::vector<HashAlgorithm>& algorithms) {
    std::string key = path.lexically_normal().string();
    auto found = cache->files.find(key);
    if (found != cache->files.end()) {
        bool all = true;
        for (HashAlgorithm algorithm : algorithms) {
            all = all && (!found->second.readable || !found->second.digests[algorithm].empty());
        }
        if (all) {
            return found->second;
        }
    }
    ++cache->reads;
    FileHashes hashes = HashFile(path, algorithms);
    if (found != cache->files.end()) {
        for (size_t i = 0; i <= HASH_SHA512; ++i) {
            if (hashes.digests[i].empty()) {
                hashes.digests[i] = found->second.digests[i];
            }
        }
        found->second = hashes;
        return found->second;
    }
    return cache->files.emplace(key, hashes).first->second;
}

} // namespace catalog
