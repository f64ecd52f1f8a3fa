// The install log reader of hallimor-check: splits the bytes of an install
// log ("HandsetInstallInfo.log") into its records, or says why the bytes are
// not an install log.
//
// The installer writes each record as "(year/month/day hour:minute:second) "
// followed by the message, through a text stream: every line feed of a
// message reaches the file as carriage return plus line feed, and a message
// need not end in a line feed (a failure record with an error number does
// not), so the next record may follow on the same line. Records are
// therefore split at their time stamps, never at line ends.
#ifndef HALLIMOR_TOOLS_CHECK_LOG_READER_H
#define HALLIMOR_TOOLS_CHECK_LOG_READER_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

// The longest message the installer writes: its message buffer holds 2047
// characters and a terminator.
constexpr size_t kLogMessageLimit = 2047;
// The largest file the reader accepts. A run writes a few kilobytes; the
// largest logs, of machines with thousands of driver-store INFs, stay in the
// low megabytes.
constexpr size_t kLogFileLimit = 32u * 1024u * 1024u;

struct LogRecord {
    std::string_view stamp;   // "2009/3/7 9:5:2", without the parentheses
    std::string_view message; // the message, carriage returns removed
};

// An install log split into records. The records point into text. One of
// these serves log after log: text and records keep their storage, so a
// fleet's logs are read without an allocation per log or per record.
struct InstallLogText {
    std::string text; // the file's bytes with every carriage return removed
    std::vector<LogRecord> records;
    std::string problem;     // why the bytes are not an install log; empty when they are
    bool unreadable = false; // the file could not be read: whether it is an install log is unknown
};

// Splits bytes into records. On return either problem is empty and records
// holds at least one record, or problem says why these bytes are not an
// install log (empty, binary, UTF-16, not time-stamped, a record longer than
// the installer writes).
void SplitInstallLog(const char* data, size_t size, InstallLogText* log);

// Reads a file into text and splits it there. A file that cannot be read
// gets a problem and unreadable; one larger than kLogFileLimit gets a problem
// without being read to its end.
void ReadInstallLog(const std::string& path, InstallLogText* log);

#endif
