// The INF reader: the syntax of INF files as SetupAPI reads them.
#include "inf/inf_reader.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/ascii_case.h"

namespace infreader {

std::string UpperAsciiText(const std::string& s) {
    std::string out = s;
    for (char& c : out) {
        c = UpperAsciiChar(c);
    }
    return out;
}

bool SameNameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAsciiChar(a[i]) != UpperAsciiChar(b[i])) {
            return false;
        }
    }
    return true;
}

const InfSection* FindInfSection(const InfFile& inf, const std::string& name) {
    for (const InfSection& s : inf.sections) {
        if (SameNameNoCase(s.name, name)) {
            return &s;
        }
    }
    return nullptr;
}

InfSection* FindInfSection(InfFile& inf, const std::string& name) {
    return const_cast<InfSection*>(FindInfSection(static_cast<const InfFile&>(inf), name));
}

const InfLine* FindKeyLine(const InfSection* section, const std::string& key) {
    if (section == nullptr) {
        return nullptr;
    }
    for (const InfLine& line : section->lines) {
        if (line.hasKey && SameNameNoCase(line.key, key)) {
            return &line;
        }
    }
    return nullptr;
}

const InfLine* FindX64CatalogLine(const InfFile& inf) {
    const InfSection* version = FindInfSection(inf, "Version");
    for (const char* key : {"CatalogFile.NTamd64", "CatalogFile.NT", "CatalogFile"}) {
        if (const InfLine* line = FindKeyLine(version, key)) {
            return line;
        }
    }
    return nullptr;
}

bool StringsSectionLanguage(const std::string& sectionName, unsigned* language) {
    const size_t prefix = 8; // "Strings."
    if (sectionName.size() <= prefix || sectionName.size() > prefix + 4 ||
        !SameNameNoCase(sectionName.substr(0, prefix), "Strings.")) {
        return false;
    }
    unsigned value = 0;
    for (size_t i = prefix; i < sectionName.size(); ++i) {
        char c = sectionName[i];
        unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                         : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                         : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                : 16u;
        if (digit == 16u) {
            return false;
        }
        value = value * 16 + digit;
    }
    *language = value;
    return true;
}

namespace {

// The characters of bytes 0x80 to 0xFF in each ANSI code page the reader
// converts to. A byte the code page leaves undefined stands for the C1
// control of its value, as Windows' tables have it.
struct CodePageTable {
    unsigned id;
    unsigned short high[128];
};

const CodePageTable kCodePages[] = {
    {1250,
     {0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039, 0x015A,
      0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
      0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
      0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
      0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
      0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
      0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
      0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
      0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
      0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9}},
    {1251,
     {0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
      0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
      0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
      0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
      0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
      0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
      0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
      0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
      0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
      0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F}},
    {1252,
     {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152,
      0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
      0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6,
      0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3,
      0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0,
      0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD,
      0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA,
      0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
      0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4,
      0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF}},
};

const CodePageTable* FindCodePage(unsigned id) {
    for (const CodePageTable& table : kCodePages) {
        if (table.id == id) {
            return &table;
        }
    }
    return nullptr;
}

// Appends one Unicode character as the code page writes it: '?' for a
// character it lacks (no near match is looked for).
void AppendInCodePage(unsigned long c, const CodePageTable& table, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
        return;
    }
    for (size_t i = 0; i < 128; ++i) {
        if (table.high[i] == c) {
            out->push_back(static_cast<char>(0x80 + i));
            return;
        }
    }
    out->push_back('?');
}

// Space, tab, carriage return, form feed, vertical tab and the
// non-breaking space (0xA0 in every code page the reader converts to): the
// blanks that are trimmed around keys and fields.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == '\xA0';
}

// A character of a field being built; quoted and substituted characters are
// kept when the field's surrounding blanks are trimmed.
struct FieldChar {
    char c;
    bool kept;
};

std::string Trimmed(const std::vector<FieldChar>& chars) {
    size_t begin = 0;
    size_t end = chars.size();
    while (begin < end && !chars[begin].kept && IsBlank(chars[begin].c)) {
        ++begin;
    }
    while (end > begin && !chars[end - 1].kept && IsBlank(chars[end - 1].c)) {
        --end;
    }
    std::string out;
    for (size_t i = begin; i < end; ++i) {
        out.push_back(chars[i].c);
    }
    return out;
}

// What %tokens% stand for: the entries of the chosen strings section, then
// the DIRIDs of the system folders.
struct Substitutions {
    std::map<std::string, std::string> strings; // upper-case token -> text
    std::string windowsFolder;
};

// The folder a DIRID stands for, or false for a token that is none of the
// system folders' DIRIDs (such a token is kept as written).
bool DiridFolder(const std::string& token, const std::string& windowsFolder, std::string* folder) {
    static const struct {
        const char* dirid;
        const char* below; // under the Windows folder
    } kFolders[] = {
        {"10", ""},
        {"11", "\\system32"},
        {"12", "\\system32\\drivers"},
        {"17", "\\inf"},
        {"18", "\\help"},
        {"20", "\\fonts"},
        {"21", "\\system32\\viewers"},
        {"23", "\\system32\\spool\\drivers\\color"},
        {"50", "\\system"},
        {"51", "\\system32\\spool"},
        {"52", "\\system32\\spool\\drivers"},
    };
    if (token == "24") { // the root of the system disk: "C:"
        *folder = windowsFolder.substr(0, windowsFolder.find('\\'));
        return true;
    }
    for (const auto& entry : kFolders) {
        if (token == entry.dirid) {
            *folder = windowsFolder + entry.below;
            return true;
        }
    }
    return false;
}

// Tries to read a %token% at text[i]. On success appends its expansion and
// returns the index after the closing percent sign; otherwise returns i.
size_t Substitute(const std::string& text, size_t i, bool* inQuotes, const Substitutions& substitutions,
                  std::vector<FieldChar>* out) {
    std::string name;
    bool quoted = *inQuotes;
    size_t j = i + 1;
    for (; j < text.size(); ++j) {
        char c = text[j];
        if (c == '%') {
            break;
        }
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ',' && !quoted) {
            return i;
        }
        name.push_back(c);
    }
    if (j >= text.size()) {
        return i;
    }
    *inQuotes = quoted;
    if (name.empty()) {
        out->push_back(FieldChar{'%', true});
        return j + 1;
    }
    auto it = substitutions.strings.find(UpperAsciiText(name));
    std::string expansion = "%" + name + "%";
    if (it != substitutions.strings.end()) {
        expansion = it->second;
    } else {
        DiridFolder(name, substitutions.windowsFolder, &expansion);
    }
    for (char c : expansion) {
        out->push_back(FieldChar{c, true});
    }
    return j + 1;
}

// Splits one logical line (comments and continuations already resolved)
// into its key and fields. strings is null where no substitution is made.
InfLine Tokenize(const std::string& text, const Substitutions* strings) {
    std::vector<std::vector<FieldChar>> fields;
    std::vector<FieldChar> current;
    std::vector<FieldChar> keyChars;
    bool keySeen = false;
    bool commaSeen = false;
    bool inQuotes = false;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '%' && strings != nullptr) {
            size_t next = Substitute(text, i, &inQuotes, *strings, &current);
            if (next != i) {
                i = next;
                continue;
            }
        }
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    current.push_back(FieldChar{'"', true});
                    i += 2;
                    continue;
                }
                inQuotes = false;
            } else {
                current.push_back(FieldChar{c, true});
            }
            ++i;
            continue;
        }
        if (c == '"') {
            inQuotes = true;
        } else if (c == ',') {
            fields.push_back(current);
            current.clear();
            commaSeen = true;
        } else if (c == '=' && !keySeen && !commaSeen) {
            keyChars = current;
            current.clear();
            keySeen = true;
        } else {
            current.push_back(FieldChar{c, false});
        }
        ++i;
    }
    fields.push_back(current);
    InfLine line;
    for (const std::vector<FieldChar>& f : fields) {
        line.fields.push_back(Trimmed(f));
    }
    if (keySeen) {
        line.hasKey = true;
        line.key = Trimmed(keyChars);
    } else if (line.fields.size() == 1) {
        // A line of one value and no key is looked up by that value.
        line.hasKey = true;
        line.key = line.fields[0];
    }
    return line;
}

// Appends UTF-16LE text from raw[start] on, converted to the code page; a
// surrogate pair is one character.
void DecodeUtf16(const std::string& raw, size_t start, const CodePageTable& table, std::string* text) {
    auto unit = [&raw](size_t i) {
        return static_cast<unsigned long>(static_cast<unsigned char>(raw[i]) |
                                          (static_cast<unsigned char>(raw[i + 1]) << 8));
    };
    for (size_t i = start; i + 1 < raw.size(); i += 2) {
        unsigned long c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < raw.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            i += 2; // outside every code page the reader converts to
            c = 0xFFFD;
        }
        AppendInCodePage(c, table, text);
    }
}

// Appends UTF-8 text from raw[start] on, converted to the code page; a
// malformed sequence is one character that no code page has.
void DecodeUtf8(const std::string& raw, size_t start, const CodePageTable& table, std::string* text) {
    size_t i = start;
    while (i < raw.size()) {
        unsigned char lead = static_cast<unsigned char>(raw[i]);
        size_t more = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : 3;
        unsigned long c = more == 0 ? lead : lead & (0x3F >> more);
        size_t k = 1;
        for (; k <= more && i + k < raw.size() && (static_cast<unsigned char>(raw[i + k]) & 0xC0) == 0x80;
             ++k) {
            c = (c << 6) | (static_cast<unsigned char>(raw[i + k]) & 0x3F);
        }
        if (k <= more || (lead >= 0x80 && lead < 0xC0) || lead >= 0xF8) {
            c = 0xFFFD;
        }
        AppendInCodePage(c, table, text);
        i += k;
    }
}

// The text of an INF file as single-byte characters of the code page:
// UTF-16 text and UTF-8 text with a signature are converted, ANSI text is
// taken as it is; everything from an end-of-file mark (Ctrl-Z) on is ignored
// and NUL bytes read as blanks.
std::string DecodeText(const std::string& raw, const CodePageTable& table) {
    std::string text;
    if (IsUtf16Text(raw)) {
        DecodeUtf16(raw, raw.compare(0, 2, "\xFF\xFE") == 0 ? 2 : 0, table, &text);
    } else if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        DecodeUtf8(raw, 3, table, &text);
    } else {
        text = raw;
    }
    size_t eof = text.find('\x1A');
    if (eof != std::string::npos) {
        text.resize(eof);
    }
    for (char& c : text) {
        if (c == '\0') {
            c = ' ';
        }
    }
    return text;
}

std::vector<std::string> PhysicalLines(const std::string& text) {
    std::vector<std::string> physical;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            physical.push_back(text.substr(start));
            break;
        }
        physical.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return physical;
}

// The name of the section that a physical line opens; false when the line
// is no section header.
bool HeaderName(const std::string& raw, std::string* name) {
    size_t first = 0;
    while (first < raw.size() && IsBlank(raw[first])) {
        ++first;
    }
    if (first == raw.size() || raw[first] != '[') {
        return false;
    }
    size_t close = raw.find(']', first + 1);
    *name = close == std::string::npos ? raw.substr(first + 1) : raw.substr(first + 1, close - first - 1);
    return true;
}

// Parses the text into sections. Returns INF_OK, or the syntax error with the
// 1-based number of the offending line in *errorLine.
InfStatus ParseSections(const std::string& text, const Substitutions* strings, InfFile* inf,
                        unsigned* errorLine) {
    std::vector<std::string> physical = PhysicalLines(text);
    // Text before the first section is an error, except in a file that has
    // a string table (which Windows reads ahead of everything else).
    bool hasHeader = false;
    bool orphansAllowed = false;
    for (const std::string& raw : physical) {
        std::string name;
        if (HeaderName(raw, &name)) {
            hasHeader = true;
            if (SameNameNoCase(name, "Strings")) {
                orphansAllowed = true;
            }
        }
    }
    InfSection* section = nullptr;
    std::string logical;
    size_t logicalStart = 0;
    bool continuing = false;
    for (size_t n = 0; n < physical.size(); ++n) {
        const std::string& raw = physical[n];
        size_t first = 0;
        while (first < raw.size() && IsBlank(raw[first])) {
            ++first;
        }
        if (!continuing) {
            if (first == raw.size() || raw[first] == ';') {
                continue;
            }
            if (raw[first] == '[') {
                size_t close = raw.find(']', first + 1);
                if (close == std::string::npos) {
                    *errorLine = static_cast<unsigned>(n + 1);
                    return INF_BAD_SECTION_NAME_LINE;
                }
                std::string name = raw.substr(first + 1, close - first - 1);
                if (name.size() > 255) {
                    *errorLine = static_cast<unsigned>(n + 1);
                    return INF_SECTION_NAME_TOO_LONG;
                }
                section = FindInfSection(*inf, name);
                if (section == nullptr) {
                    inf->sections.push_back(InfSection{name, {}});
                    section = &inf->sections.back();
                }
                continue;
            }
            if (section == nullptr) {
                if (orphansAllowed) {
                    continue;
                }
                // A file without any section is no INF of this style at all.
                *errorLine = hasHeader ? static_cast<unsigned>(n + 1) : 0;
                return hasHeader ? INF_EXPECTED_SECTION_NAME : INF_WRONG_STYLE;
            }
        }
        if (!continuing) {
            logicalStart = n;
        }
        // The content before a comment; a semicolon inside quotes is text.
        std::string content;
        bool inQuotes = false;
        for (size_t i = continuing ? first : 0; i < raw.size(); ++i) {
            char c = raw[i];
            if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == ';' && !inQuotes) {
                break;
            }
            content.push_back(c);
        }
        // A backslash at the end of the line (blanks and further backslashes
        // around it allowed) joins the next line to this one.
        bool continues = false;
        if (!inQuotes) {
            size_t keep = content.size();
            while (keep > 0 && (IsBlank(content[keep - 1]) || content[keep - 1] == '\\')) {
                if (content[keep - 1] == '\\') {
                    continues = true;
                }
                --keep;
            }
            if (continues) {
                content.resize(keep);
            }
        }
        logical += content;
        continuing = continues && n + 1 < physical.size();
        if (continuing) {
            continue;
        }
        bool empty = true;
        for (char c : logical) {
            if (!IsBlank(c)) {
                empty = false;
            }
        }
        if (!empty) {
            bool isStrings = SameNameNoCase(section->name, "Strings") ||
                             UpperAsciiText(section->name).compare(0, 8, "STRINGS.") == 0;
            section->lines.push_back(Tokenize(logical, isStrings ? nullptr : strings));
            section->lines.back().lineNumber = static_cast<unsigned>(logicalStart + 1);
        }
        logical.clear();
    }
    return INF_OK;
}

// The one strings section whose entries the system's language reads: the
// section of exactly that language, else of its primary language with the
// neutral sublanguage, else of any sublanguage of its primary language
// (the first in the file), else [Strings]; null when there is none.
const InfSection* ChooseStringsSection(const InfFile& inf, unsigned language) {
    const InfSection* chosen[4] = {nullptr, nullptr, nullptr, nullptr};
    const unsigned primary = language & 0x3FF;
    for (const InfSection& section : inf.sections) {
        unsigned id = 0;
        int rank = -1;
        if (StringsSectionLanguage(section.name, &id)) {
            rank = id == language ? 0 : id == primary ? 1 : (id & 0x3FF) == primary ? 2 : -1;
        } else if (SameNameNoCase(section.name, "Strings")) {
            rank = 3;
        }
        if (rank >= 0 && chosen[rank] == nullptr) {
            chosen[rank] = &section;
        }
    }
    for (const InfSection* section : chosen) {
        if (section != nullptr) {
            return section;
        }
    }
    return nullptr;
}

// Parses INF text as an INF of the Windows 95/NT style.
InfStatus ParseInfBody(const std::string& raw, const ReadingSystem& system, InfFile* inf,
                       unsigned* errorLine) {
    const CodePageTable* table = FindCodePage(system.codePage);
    std::string text = DecodeText(raw, table != nullptr ? *table : *FindCodePage(1252));
    // First pass: the string table, which is never itself substituted.
    InfFile plain;
    InfStatus error = ParseSections(text, nullptr, &plain, errorLine);
    if (error != 0) {
        return error;
    }
    // The signature is read as written: a %token% there is no signature.
    const InfLine* signature = FindKeyLine(FindInfSection(plain, "Version"), "Signature");
    bool knownSignature = false;
    if (signature != nullptr && !signature->fields.empty()) {
        const std::string& s = signature->fields[0];
        knownSignature = SameNameNoCase(s, "$Windows NT$") || SameNameNoCase(s, "$Chicago$") ||
                         SameNameNoCase(s, "$Windows 95$");
    }
    if (!knownSignature) {
        return INF_WRONG_STYLE;
    }
    // One strings section, never merged with another. An entry's text is its
    // first field (an unquoted comma ends it); of a key defined twice, the
    // first definition counts.
    Substitutions substitutions;
    substitutions.windowsFolder = system.windowsFolder;
    if (const InfSection* chosen = ChooseStringsSection(plain, system.language)) {
        inf->stringsSection = chosen->name;
        for (const InfLine& line : chosen->lines) {
            if (line.hasKey) {
                substitutions.strings.emplace(UpperAsciiText(line.key),
                                              line.fields.empty() ? std::string() : line.fields[0]);
            }
        }
    }
    return ParseSections(text, &substitutions, inf, errorLine);
}

} // namespace

InfStatus ParseInfText(const std::string& raw, InfFile* out, unsigned* errorLine) {
    return ParseInfText(raw, ReadingSystem(), out, errorLine);
}

InfStatus ParseInfText(const std::string& raw, const ReadingSystem& system, InfFile* out,
                       unsigned* errorLine) {
    unsigned line = 0;
    InfFile parsed;
    InfStatus status = ParseInfBody(raw, system, &parsed, &line);
    if (errorLine != nullptr) {
        *errorLine = line;
    }
    if (status == INF_OK) {
        *out = parsed;
    }
    return status;
}

bool IsUtf16Text(const std::string& raw) {
    if (raw.size() >= 2 && raw.compare(0, 2, "\xFF\xFE") == 0) {
        return true;
    }
    return raw.size() >= 2 && raw.size() % 2 == 0 && raw[0] != '\0' &&
           static_cast<unsigned char>(raw[0]) < 0x80 && raw[1] == '\0';
}

bool IsSupportedCodePage(unsigned codePage) {
    return FindCodePage(codePage) != nullptr;
}

namespace {

// Reads one number of a decoration ("6", "0x3"); false when it is no number.
// An empty part counts as absent.
bool DecorationNumber(const std::string& part, bool* present, unsigned long long* value) {
    *present = !part.empty();
    *value = 0;
    size_t i = 0;
    unsigned base = 10;
    if (part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        base = 16;
        i = 2;
    }
    for (; i < part.size(); ++i) {
        char c = part[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        *value = *value * base + digit;
        if (*value > 0xFFFFFFFFull) {
            return false;
        }
    }
    return true;
}

// Whether a decoration applies to x64 Windows of that target; its rank for
// choosing the closest one: major, minor, build (counted only where
// major.minor are the target's own), product type named, suite bits named.
bool X64DecorationApplies(const std::string& decoration, const TargetWindows& target,
                          unsigned long long rank[5]) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t dot = decoration.find('.', start);
        parts.push_back(decoration.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    if (!SameNameNoCase(parts[0], "NTamd64") || parts.size() > 6) {
        return false;
    }
    unsigned long long numbers[5] = {0, 0, 0, 0, 0};
    bool present[5] = {false, false, false, false, false};
    for (size_t i = 1; i < parts.size(); ++i) {
        if (!DecorationNumber(parts[i], &present[i - 1], &numbers[i - 1])) {
            return false;
        }
    }
    unsigned long long running = (static_cast<unsigned long long>(target.major) << 32) | target.minor;
    unsigned long long wanted = (numbers[0] << 32) | numbers[1];
    if (wanted > running || (wanted == running && numbers[4] > target.build)) {
        return false;
    }
    bool productType = present[2] && numbers[2] != 0;
    if (productType && numbers[2] != target.productType) {
        return false;
    }
    if ((numbers[3] & ~static_cast<unsigned long long>(target.suiteMask)) != 0) {
        return false;
    }
    unsigned long long suiteBits = 0;
    for (unsigned long long bits = numbers[3]; bits != 0; bits &= bits - 1) {
        ++suiteBits;
    }
    rank[0] = numbers[0];
    rank[1] = numbers[1];
    rank[2] = wanted == running ? numbers[4] : 0;
    rank[3] = productType ? 1 : 0;
    rank[4] = suiteBits;
    return true;
}

} // namespace

std::string SelectX64ModelsSection(const InfLine& manufacturerLine, const TargetWindows& target) {
    if (manufacturerLine.fields.empty()) {
        return "";
    }
    std::string chosen;
    unsigned long long best[5] = {0, 0, 0, 0, 0};
    for (size_t i = 1; i < manufacturerLine.fields.size(); ++i) {
        const std::string& decoration = manufacturerLine.fields[i];
        unsigned long long rank[5] = {0, 0, 0, 0, 0};
        if (!X64DecorationApplies(decoration, target, rank)) {
            continue;
        }
        if (chosen.empty() || std::lexicographical_compare(best, best + 5, rank, rank + 5)) {
            chosen = decoration;
            std::copy(rank, rank + 5, best);
        }
    }
    return chosen.empty() ? "" : manufacturerLine.fields[0] + "." + chosen;
}

} // namespace infreader
