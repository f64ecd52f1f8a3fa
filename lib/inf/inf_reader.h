// A reader of the INF file syntax: sections, keys, fields with quotes and
// %strings% substitution, comments and line continuation. The simulated
// machine reads INFs through it, and so does the package checker, so that
// both see a package's INF files alike. Plain C++17: no Windows calls.
#ifndef HALLIMOR_LIB_INF_INF_READER_H
#define HALLIMOR_LIB_INF_INF_READER_H

#include <string>
#include <vector>

namespace infreader {

struct InfLine {
    bool hasKey = false;
    std::string key;
    std::vector<std::string> fields; // fields 1, 2, ...
    unsigned lineNumber = 0;         // 1-based number of the physical line it starts on
};

struct InfSection {
    std::string name;
    std::vector<InfLine> lines;
};

struct InfFile {
    std::vector<InfSection> sections;
};

// Why a text is not an INF of the Windows NT style.
enum InfStatus {
    INF_OK = 0,
    INF_WRONG_STYLE,           // no section at all, or no known [Version] signature
    INF_BAD_SECTION_NAME_LINE, // a '[' without its ']'
    INF_SECTION_NAME_TOO_LONG, // a section name of more than 255 characters
    INF_EXPECTED_SECTION_NAME, // a line before the first section
};

// Parses raw file bytes. Returns INF_OK with the sections in *out, or the
// reason and, where there is one, the 1-based offending line in *errorLine.
InfStatus ParseInfText(const std::string& raw, InfFile* out, unsigned* errorLine);

// ASCII case folding and comparison, as SetupAPI compares section and key
// names.
std::string UpperAsciiText(const std::string& s);
bool SameNameNoCase(const std::string& a, const std::string& b);

// The section of that name (letter case ignored), or null.
const InfSection* FindInfSection(const InfFile& inf, const std::string& name);
InfSection* FindInfSection(InfFile& inf, const std::string& name);

// The Windows that reads a Manufacturer line: version and product type.
struct TargetWindows {
    unsigned major = 6;
    unsigned minor = 1;
    unsigned build = 7601;
    unsigned productType = 1; // VER_NT_WORKSTATION
    unsigned suiteMask = 0;
};

// The models section that 64-bit Windows (x64) reads for one Manufacturer
// line. Field 1 is the models section's base name; fields 2 and later are
// target decorations of the form NT[arch][.major[.minor[.productType
// [.suiteMask[.build]]]]]. x64 Windows considers only decorations whose
// architecture is amd64 (letter case ignored) and whose version, product type,
// suite and build apply to the running system, and takes the most specific
// of them (the highest version). Returns the base name, a dot and that
// decoration as written, or "" when the line names none for x64: 64-bit
// Windows then matches no device through the line.
std::string SelectX64ModelsSection(const InfLine& manufacturerLine, const TargetWindows& target);

} // namespace infreader

#endif
