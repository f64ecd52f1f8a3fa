// A starting state of a machine and a command line, read from a scenario
// file, and the canonical dump of what a run left behind. The same scenario
// files are laid out in a Wine prefix by tests/wine/compare_lib.sh, whose dump
// (tests/wine/compare_dump.pl) has the same format, so that a run of the
// installer on the simulated machine and one of the real executable under
// Wine can be compared line by line.
#ifndef HALLIMOR_TESTS_COMPARE_SCENARIO_H
#define HALLIMOR_TESTS_COMPARE_SCENARIO_H

#include <string>
#include <vector>

namespace compare {

// One line of a scenario file: a directive and its fields, split at '|'.
struct Directive {
    std::string name;
    std::vector<std::string> fields;
    int line = 0;
};

struct Scenario {
    std::vector<Directive> directives;
    std::string windows = "win7"; // the name of the Windows version (see WindowsVersions)
    bool hasWords = false;
    std::vector<std::string> words; // the command-line words after the program
};

// Reads the directives of text ('#' starts a comment line, blank lines are
// skipped). "windows" and "words" set the fields of the same name; "include"
// reads another file of the same folder in place. Returns false with a
// message in *error when a line cannot be read.
bool ParseScenario(const std::string& text, const std::string& folder, Scenario* out, std::string* error);

struct WindowsVersion {
    const char* name;
    unsigned major, minor, build;
    const char* csdVersion;
    unsigned char productType;
};

// The versions that the scenarios name, as Wine reports them.
const WindowsVersion* FindWindowsVersion(const std::string& name);

// The install log's records: each record's message without its time stamp,
// carriage returns dropped and every line feed written as the two characters
// \n. A failure record's system text is replaced by "[error N]" when
// textToCode knows it.
std::vector<std::string> LogRecords(const std::string& logText,
                                    const std::vector<std::pair<std::string, unsigned>>& textToCode);

// Whether a registry key (upper-case path under HKLM) and value name belong
// to the dump, and the value name as the dump spells it.
bool DumpedRegistryValue(const std::string& upperKey, const std::string& valueName,
                         std::string* canonicalName);
// Whether the existence of the key is part of the dump.
bool DumpedRegistryKey(const std::string& upperKey);

// The canonical text of registry data of the given type.
std::string RegistryData(unsigned long type, const std::string& bytes);

// Whether a file of the system drivers folder belongs to the dump.
bool DumpedDriverFile(const std::string& name);

std::string Upper(const std::string& s);

} // namespace compare

#endif
