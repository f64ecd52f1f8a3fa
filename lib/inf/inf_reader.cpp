// The INF reader: the syntax of INF files as SetupAPI reads them.
#include "inf/inf_reader.h"

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

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
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

typedef std::map<std::string, std::string> StringTable; // upper-case token -> text

// Tries to read a %token% at text[i]. On success appends its expansion and
// returns the index after the closing percent sign; otherwise returns i.
size_t Substitute(const std::string& text, size_t i, bool* inQuotes, const StringTable& strings,
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
    auto it = strings.find(UpperAsciiText(name));
    std::string expansion = it != strings.end() ? it->second : "%" + name + "%";
    for (char c : expansion) {
        out->push_back(FieldChar{c, true});
    }
    return j + 1;
}

// Splits one logical line (comments and continuations already resolved)
// into its key and fields. strings is null where no substitution is made.
InfLine Tokenize(const std::string& text, const StringTable* strings) {
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

// The text of an INF file as single-byte characters: a UTF-16 file is
// narrowed, a UTF-8 signature dropped, everything from an end-of-file mark
// (Ctrl-Z) ignored and NUL bytes read as blanks.
std::string DecodeText(const std::string& raw) {
    std::string text;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
        static_cast<unsigned char>(raw[1]) == 0xFE) {
        for (size_t i = 2; i + 1 < raw.size(); i += 2) {
            unsigned int unit =
                static_cast<unsigned char>(raw[i]) | (static_cast<unsigned char>(raw[i + 1]) << 8);
            text.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
        }
    } else if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = raw.substr(3);
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
InfStatus ParseSections(const std::string& text, const StringTable* strings, InfFile* inf,
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

// Parses INF text as an INF of the Windows 95/NT style.
InfStatus ParseInfBody(const std::string& raw, InfFile* inf, unsigned* errorLine) {
    std::string text = DecodeText(raw);
    // First pass: the string table, which is never itself substituted.
    InfFile plain;
    InfStatus error = ParseSections(text, nullptr, &plain, errorLine);
    if (error != 0) {
        return error;
    }
    // The language-neutral [Strings] first, then the section of the
    // reading system's language (US English here, [Strings.0409]), whose
    // entries win, as SetupAPI takes them.
    StringTable strings;
    for (const char* name : {"Strings", "Strings.0409"}) {
        InfSection* table = FindInfSection(plain, name);
        if (table == nullptr) {
            continue;
        }
        for (const InfLine& line : table->lines) {
            if (!line.hasKey) {
                continue;
            }
            std::string value;
            for (size_t i = 0; i < line.fields.size(); ++i) {
                value += (i == 0 ? "" : ",") + line.fields[i];
            }
            strings[UpperAsciiText(line.key)] = value;
        }
    }
    error = ParseSections(text, &strings, inf, errorLine);
    if (error != 0) {
        return error;
    }
    InfSection* version = FindInfSection(*inf, "Version");
    if (version != nullptr) {
        for (const InfLine& line : version->lines) {
            if (line.hasKey && SameNameNoCase(line.key, "Signature") && !line.fields.empty()) {
                const std::string& s = line.fields[0];
                if (SameNameNoCase(s, "$Windows NT$") || SameNameNoCase(s, "$Chicago$") ||
                    SameNameNoCase(s, "$Windows 95$")) {
                    return INF_OK;
                }
                break;
            }
        }
    }
    return INF_WRONG_STYLE;
}

} // namespace

InfStatus ParseInfText(const std::string& raw, InfFile* out, unsigned* errorLine) {
    unsigned line = 0;
    InfFile parsed;
    InfStatus status = ParseInfBody(raw, &parsed, &line);
    if (errorLine != nullptr) {
        *errorLine = line;
    }
    if (status == INF_OK) {
        *out = parsed;
    }
    return status;
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

// Whether a decoration applies to x64 Windows of that target; its version
// key (major, minor, build) for choosing the most specific one.
bool X64DecorationApplies(const std::string& decoration, const TargetWindows& target,
                          unsigned long long key[3]) {
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
    if (present[0] && wanted > running) {
        return false;
    }
    if (present[2] && numbers[2] != 0 && numbers[2] != target.productType) {
        return false;
    }
    if (present[3] && (numbers[3] & ~static_cast<unsigned long long>(target.suiteMask)) != 0) {
        return false;
    }
    if (present[4] && numbers[4] > target.build) {
        return false;
    }
    key[0] = numbers[0];
    key[1] = numbers[1];
    key[2] = numbers[4];
    return true;
}

} // namespace

std::string SelectX64ModelsSection(const InfLine& manufacturerLine, const TargetWindows& target) {
    if (manufacturerLine.fields.empty()) {
        return "";
    }
    std::string chosen;
    unsigned long long best[3] = {0, 0, 0};
    for (size_t i = 1; i < manufacturerLine.fields.size(); ++i) {
        const std::string& decoration = manufacturerLine.fields[i];
        unsigned long long key[3] = {0, 0, 0};
        if (!X64DecorationApplies(decoration, target, key)) {
            continue;
        }
        bool better = chosen.empty() || key[0] > best[0] || (key[0] == best[0] && key[1] > best[1]) ||
                      (key[0] == best[0] && key[1] == best[1] && key[2] > best[2]);
        if (better) {
            chosen = decoration;
            best[0] = key[0];
            best[1] = key[1];
            best[2] = key[2];
        }
    }
    return chosen.empty() ? "" : manufacturerLine.fields[0] + "." + chosen;
}

} // namespace infreader
