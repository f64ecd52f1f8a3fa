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
    std::string stringsSection; // the strings section whose entries were substituted, as written; "" for none
};

// The system that reads an INF: its language chooses the one strings
// section whose entries %strings% stand for; UTF-16 and UTF-8 text reaches
// the ANSI calls converted to its ANSI code page; the DIRIDs of the system
// folders (%10%, %11%, %12%, ...) stand for folders under its Windows folder.
struct ReadingSystem {
    unsigned language = 0x0409; // US English
    unsigned codePage = 1252;   // Western European
    std::string windowsFolder = "C:\\Windows";
};

// The ANSI code pages the reader converts to: 1250, 1251 and 1252.
bool IsSupportedCodePage(unsigned codePage);

// Whether the reader reads the file's bytes as UTF-16: with a byte-order
// mark, or without one where the file has an even size and its first
// character is ASCII.
bool IsUtf16Text(const std::string& raw);

// The language ID of a section named Strings.<LanguageID> (one to four
// hexadecimal digits); false for any other name.
bool StringsSectionLanguage(const std::string& sectionName, unsigned* language);

// Why a text is not an INF of the Windows NT style.
enum InfStatus {
    INF_OK = 0,
    INF_WRONG_STYLE,           // no section at all, or no known [Version] signature
    INF_BAD_SECTION_NAME_LINE, // a '[' without its ']'
    INF_SECTION_NAME_TOO_LONG, // a section name of more than 255 characters
    INF_EXPECTED_SECTION_NAME, // a line before the first section
};

// Parses raw file bytes as that system reads them (the first form: a US
// English system of code page 1252). Returns INF_OK with the sections in
// *out, or the reason and, where there is one, the 1-based offending line in
// *errorLine. A code page that IsSupportedCodePage refuses reads as 1252.
InfStatus ParseInfText(const std::string& raw, InfFile* out, unsigned* errorLine);
InfStatus ParseInfText(const std::string& raw, const ReadingSystem& system, InfFile* out,
                       unsigned* errorLine);

// ASCII case folding and comparison, as SetupAPI compares section and key
// names.
std::string UpperAsciiText(const std::string& s);
bool SameNameNoCase(const std::string& a, const std::string& b);

// The section of that name (letter case ignored), or null.
const InfSection* FindInfSection(const InfFile& inf, const std::string& name);
InfSection* FindInfSection(InfFile& inf, const std::string& name);

// The first line of the section with that key (letter case ignored), or null.
const InfLine* FindKeyLine(const InfSection* section, const std::string& key);

// The [Version] line that names the catalog on x64: CatalogFile.NTamd64,
// else CatalogFile.NT, else CatalogFile; null when there is none.
const InfLine* FindX64CatalogLine(const InfFile& inf);

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
// architecture is amd64 (letter case ignored) and that apply to the running
// system: a version not above its own (the build counts only where
// major.minor are its own), its product type, suite bits it has. Of those it
// takes the highest version, and among equal versions the closest match (a
// product type, then suite bits, named); of equal ones the first listed.
// Returns the base name, a dot and that decoration as written, or "" when
// the line names none for x64: 64-bit Windows then matches no device
// through the line.
std::string SelectX64ModelsSection(const InfLine& manufacturerLine, const TargetWindows& target);

} // namespace infreader

#endif
