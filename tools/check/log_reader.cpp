// Splitting an install log into its time-stamped records.
#include "log_reader.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the time stamp "(y/m/d h:m:s) " that starts at p, or 0 when
// none starts there. The fields are SYSTEMTIME values printed without
// leading zeros, so each is checked against its range. Every record begins
// with one, and many messages hold a '(': this runs once for each.
size_t StampLength(const char* p, const char* end) {
    static const char kAfter[] = "// ::)"; // the character after each field
    static const int kDigits[] = {5, 2, 2, 2, 2, 2};
    static const unsigned kLow[] = {0, 1, 1, 0, 0, 0};
    static const unsigned kHigh[] = {30827, 12, 31, 23, 59, 59};
    if (end - p < 14 || p[0] != '(') {
        return 0;
    }
    const char* q = p + 1;
    for (int field = 0; field < 6; ++field) {
        const char* first = q;
        unsigned value = 0;
        while (q < end && q - first < kDigits[field] && IsDigit(*q)) {
            value = value * 10u + static_cast<unsigned>(*q - '0');
            ++q;
        }
        // No digit, or more digits than the field has: no time stamp.
        if (q == first || q >= end || *q != kAfter[field] || value < kLow[field] || value > kHigh[field]) {
            return 0;
        }
        ++q;
    }
    if (q >= end || *q != ' ') {
        return 0;
    }
    return static_cast<size_t>(q + 1 - p);
}

// UTF-16 text: a byte order mark, or NUL bytes at every other position of
// the first characters (ASCII text in UTF-16 without a mark).
bool LooksLikeUtf16(const unsigned char* data, size_t size) {
    if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
        return true;
    }
    size_t pairs = size / 2 < 32 ? size / 2 : 32;
    if (pairs < 2) {
        return false;
    }
    size_t evenNul = 0;
    size_t oddNul = 0;
    for (size_t i = 0; i < pairs; ++i) {
        evenNul += data[2 * i] == 0 ? 1 : 0;
        oddNul += data[2 * i + 1] == 0 ? 1 : 0;
    }
    return (oddNul == pairs && evenNul == 0) || (evenNul == pairs && oddNul == 0);
}

std::string Format(const char* format, size_t a, size_t b = 0, size_t c = 0) {
    char buffer[200];
    snprintf(buffer, sizeof(buffer), format, a, b, c);
    return buffer;
}

bool IsControlByte(unsigned char c) {
    return c < 0x20 && c != '\n' && c != '\r' && c != '\t';
}

// The offset of the first control byte other than a line feed, a carriage
// return or a tab, or size when there is none. Sixteen bytes are tested at
// once where the processor has SSE2 (every x64 one), eight elsewhere; a
// block that holds such a byte is then looked at byte by byte.
size_t FirstControlByte(const unsigned char* bytes, size_t size) {
    size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i kTop = _mm_set1_epi8(0x1F);
    const __m128i kLineFeed = _mm_set1_epi8('\n');
    const __m128i kReturn = _mm_set1_epi8('\r');
    const __m128i kTab = _mm_set1_epi8('\t');
    for (; i + 16 <= size; i += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(block, kTop), block);
        __m128i allowed =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, kLineFeed), _mm_cmpeq_epi8(block, kReturn)),
                         _mm_cmpeq_epi8(block, kTab));
        if (_mm_movemask_epi8(_mm_andnot_si128(allowed, low)) != 0) {
            break;
        }
    }
#endif
    const uint64_t kOnes = 0x0101010101010101ull;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, bytes + i, 8);
        if (((word - kOnes * 0x20) & ~word & (kOnes * 0x80)) != 0) {
            for (size_t j = i; j < i + 8; ++j) {
                if (IsControlByte(bytes[j])) {
                    return j;
                }
            }
        }
    }
    for (; i < size; ++i) {
        if (IsControlByte(bytes[i])) {
            return i;
        }
    }
    return size;
}

// Splits the bytes that log->text holds, in place: the byte order mark and
// every carriage return are taken out of text, and the records point into it.
void SplitInPlace(InstallLogText* log) {
    log->records.clear();
    log->problem.clear();
    std::string& text = log->text;
    size_t size = text.size();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());

    if (size == 0) {
        log->problem = "empty file: the installer's log reaches the file only when its buffer fills or the "
                       "log is closed, so a run that is still going or was stopped early leaves it empty";
        return;
    }
    if (size > kLogFileLimit) {
        log->problem =
            Format("more than %zu MiB: no run writes a log of that size", kLogFileLimit / (1024u * 1024u));
        return;
    }
    if (LooksLikeUtf16(bytes, size)) {
        log->problem = "UTF-16 text: the installer writes single-byte text, so this copy was converted "
                       "(for example by a PowerShell redirection); collect the file itself";
        return;
    }
    size_t start = 0;
    // A UTF-8 byte order mark, as an editor adds when it saves the file,
    // changes nothing else.
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        start = 3;
    }
    size_t control = FirstControlByte(bytes + start, size - start);
    if (control != size - start) {
        log->problem = Format("binary data (byte 0x%02zx at offset %zu), not an install log",
                              bytes[start + control], start + control);
        return;
    }

    // Carriage returns out, line by line: each line moves once.
    char* write = &text[0];
    const char* read = text.data() + start;
    const char* bytesEnd = text.data() + size;
    while (read < bytesEnd) {
        const void* found = memchr(read, '\r', static_cast<size_t>(bytesEnd - read));
        const char* stop = found != nullptr ? static_cast<const char*>(found) : bytesEnd;
        size_t length = static_cast<size_t>(stop - read);
        if (write != read) {
            memmove(write, read, length);
        }
        write += length;
        read = stop + (found != nullptr ? 1 : 0);
    }
    text.resize(static_cast<size_t>(write - text.data()));

    const char* begin = text.data();
    const char* end = begin + text.size();
    size_t first = StampLength(begin, end);
    if (first == 0) {
        log->problem = "does not begin with a time-stamped record \"(year/month/day hour:minute:second) \"";
        return;
    }
    // Each record runs from its time stamp to the next one.
    const char* stamp = begin;
    size_t stampLength = first;
    while (stamp != nullptr) {
        const char* message = stamp + stampLength;
        const char* next = nullptr;
        size_t nextLength = 0;
        for (const char* p = message; p < end;) {
            const void* found = memchr(p, '(', static_cast<size_t>(end - p));
            if (found == nullptr) {
                break;
            }
            p = static_cast<const char*>(found);
            // Most records carry the time stamp of the record before,
            // which is known to be one.
            size_t length = static_cast<size_t>(end - p) >= stampLength && memcmp(p, stamp, stampLength) == 0
                                ? stampLength
                                : StampLength(p, end);
            if (length != 0) {
                next = p;
                nextLength = length;
                break;
            }
            ++p;
        }
        const char* messageEnd = next != nullptr ? next : end;
        LogRecord record;
        record.stamp = std::string_view(stamp + 1, stampLength - 3);
        record.message = std::string_view(message, static_cast<size_t>(messageEnd - message));
        if (record.message.size() > kLogMessageLimit) {
            log->problem = Format("record %zu holds %zu characters, more than the %zu that the installer "
                                  "writes in one record",
                                  log->records.size() + 1, record.message.size(), kLogMessageLimit);
            log->records.clear();
            return;
        }
        log->records.push_back(record);
        stamp = next;
        stampLength = nextLength;
    }
}

} // namespace

void SplitInstallLog(const char* data, size_t size, InstallLogText* log) {
    log->unreadable = false;
    // No more than one byte past the limit is needed to tell that it is passed.
    log->text.assign(data, size > kLogFileLimit ? kLogFileLimit + 1 : size);
    SplitInPlace(log);
}

void ReadInstallLog(const std::string& path, InstallLogText* log) {
    log->records.clear();
    log->problem.clear();
    log->unreadable = false;
    std::string& text = log->text;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        text.clear();
        log->problem = std::string("cannot be read: ") + strerror(errno);
        log->unreadable = true;
        return;
    }
    // Straight into the buffer of the logs before, sized to the file (one
    // byte more tells a file that grew, or one past the limit): only what
    // passes the last log's size is cleared before it is read over.
    size_t want = 65536;
    if (fseek(file, 0, SEEK_END) == 0) {
        long size = ftell(file);
        if (size >= 0) {
            want =
                static_cast<size_t>(size) < kLogFileLimit ? static_cast<size_t>(size) + 1 : kLogFileLimit + 1;
        }
    }
    rewind(file);
    text.resize(want);
    size_t used = 0;
    for (;;) {
        if (used == text.size()) {
            if (used > kLogFileLimit) {
                break;
            }
            text.resize(2 * used < kLogFileLimit + 1 ? 2 * used : kLogFileLimit + 1);
        }
        size_t got = fread(&text[used], 1, text.size() - used, file);
        if (got == 0) {
            break;
        }
        used += got;
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    text.resize(used);
    if (failed) {
        log->problem = "cannot be read: read error";
        log->unreadable = true;
        return;
    }
    SplitInPlace(log);
}
