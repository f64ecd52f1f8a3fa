// Splitting an install log into its time-stamped records.
#include "log_reader.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

namespace {

// Reads 1 to maxDigits decimal digits at p; the value goes to *value.
// Returns the number of digits read, 0 when there is none.
size_t ReadNumber(const char* p, const char* end, size_t maxDigits, unsigned* value) {
    size_t n = 0;
    unsigned v = 0;
    while (p + n < end && n < maxDigits && p[n] >= '0' && p[n] <= '9') {
        v = v * 10u + static_cast<unsigned>(p[n] - '0');
        ++n;
    }
    // A number with more digits than allowed is no field of a time stamp.
    if (n == maxDigits && p + n < end && p[n] >= '0' && p[n] <= '9') {
        return 0;
    }
    *value = v;
    return n;
}

// The length of the time stamp "(y/m/d h:m:s) " that starts at p, or 0 when
// none starts there. The fields are SYSTEMTIME values printed without
// leading zeros, so each is checked against its range.
size_t StampLength(const char* p, const char* end) {
    static const char kSeparators[] = "// ::";
    static const size_t kDigits[] = {5, 2, 2, 2, 2, 2};
    static const unsigned kLow[] = {0, 1, 1, 0, 0, 0};
    static const unsigned kHigh[] = {30827, 12, 31, 23, 59, 59};
    const char* q = p;
    if (q >= end || *q != '(') {
        return 0;
    }
    ++q;
    for (int field = 0; field < 6; ++field) {
        if (field > 0) {
            if (q >= end || *q != kSeparators[field - 1]) {
                return 0;
            }
            ++q;
        }
        unsigned value = 0;
        size_t digits = ReadNumber(q, end, kDigits[field], &value);
        if (digits == 0 || value < kLow[field] || value > kHigh[field]) {
            return 0;
        }
        q += digits;
    }
    if (end - q < 2 || q[0] != ')' || q[1] != ' ') {
        return 0;
    }
    return static_cast<size_t>(q + 2 - p);
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

} // namespace

void SplitInstallLog(const char* data, size_t size, InstallLogText* log) {
    log->text.clear();
    log->records.clear();
    log->problem.clear();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);

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
    for (size_t i = start; i < size; ++i) {
        unsigned char c = bytes[i];
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') {
            log->problem = Format("binary data (byte 0x%02zx at offset %zu), not an install log", c, i);
            return;
        }
    }

    log->text.reserve(size - start);
    for (size_t i = start; i < size; ++i) {
        if (data[i] != '\r') {
            log->text.push_back(data[i]);
        }
    }

    const char* begin = log->text.data();
    const char* end = begin + log->text.size();
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
            size_t length = StampLength(p, end);
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

void ReadInstallLog(const std::string& path, InstallLogText* log) {
    log->text.clear();
    log->records.clear();
    log->problem.clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        log->problem = std::string("cannot be read: ") + strerror(errno);
        return;
    }
    std::string data;
    char buffer[65536];
    bool tooLarge = false;
    size_t total = 0;
    for (;;) {
        size_t got = fread(buffer, 1, sizeof(buffer), file);
        if (got == 0) {
            break;
        }
        total += got;
        if (total > kLogFileLimit) {
            tooLarge = true;
            break;
        }
        data.append(buffer, got);
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        log->problem = "cannot be read: read error";
        return;
    }
    if (tooLarge) {
        log->problem =
            Format("more than %zu MiB: no run writes a log of that size", kLogFileLimit / (1024u * 1024u));
        return;
    }
    SplitInstallLog(data.data(), data.size(), log);
}
