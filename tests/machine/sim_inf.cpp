// INF files and the driver store: a parser for the INF syntax over the
// simulated files, the line and field queries on an open INF, the OEM copies
// in the INF folder, and driver updates for the devices that carry a hardware
// ID.
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "sim_internal.h"

namespace sim {

namespace {

struct InfLine {
    bool hasKey = false;
    std::string key;
    std::vector<std::string> fields; // fields 1, 2, ...
};

struct InfSection {
    std::string name;
    std::vector<InfLine> lines;
};

struct ParsedInf {
    bool open = false;
    std::vector<InfSection> sections;
};

struct InfState {
    std::vector<ParsedInf> files; // by handle object
};

InfState& I() {
    static InfState state;
    return state;
}

void Fail(DWORD error) {
    M().lastError = error;
}

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
    auto it = strings.find(UpperAscii(name));
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

InfSection* FindSection(ParsedInf& inf, const std::string& name) {
    for (InfSection& s : inf.sections) {
        if (EqualNoCase(s.name, name)) {
            return &s;
        }
    }
    return nullptr;
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

// Parses the text into sections. Returns 0, or the syntax error with the
// 1-based number of the offending line in *errorLine.
DWORD ParseSections(const std::string& text, const StringTable* strings, ParsedInf* inf, UINT* errorLine) {
    std::vector<std::string> physical = PhysicalLines(text);
    // Text before the first section is an error, except in a file that has
    // a string table (which Windows reads ahead of everything else).
    bool hasHeader = false;
    bool orphansAllowed = false;
    for (const std::string& raw : physical) {
        std::string name;
        if (HeaderName(raw, &name)) {
            hasHeader = true;
            if (EqualNoCase(name, "Strings")) {
                orphansAllowed = true;
            }
        }
    }
    InfSection* section = nullptr;
    std::string logical;
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
                    *errorLine = static_cast<UINT>(n + 1);
                    return ERROR_BAD_SECTION_NAME_LINE;
                }
                std::string name = raw.substr(first + 1, close - first - 1);
                if (name.size() > 255) {
                    *errorLine = static_cast<UINT>(n + 1);
                    return ERROR_SECTION_NAME_TOO_LONG;
                }
                section = FindSection(*inf, name);
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
                *errorLine = hasHeader ? static_cast<UINT>(n + 1) : 0;
                return hasHeader ? ERROR_EXPECTED_SECTION_NAME : ERROR_WRONG_INF_STYLE;
            }
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
            bool isStrings = EqualNoCase(section->name, "Strings");
            section->lines.push_back(Tokenize(logical, isStrings ? nullptr : strings));
        }
        logical.clear();
    }
    return 0;
}

// Parses INF text as an INF of the Windows 95/NT style. Returns 0 or the
// error that SetupOpenInfFileA reports.
DWORD ParseInf(const std::string& raw, ParsedInf* inf, UINT* errorLine) {
    std::string text = DecodeText(raw);
    // First pass: the string table, which is never itself substituted.
    ParsedInf plain;
    DWORD error = ParseSections(text, nullptr, &plain, errorLine);
    if (error != 0) {
        return error;
    }
    StringTable strings;
    InfSection* table = FindSection(plain, "Strings");
    if (table != nullptr) {
        for (const InfLine& line : table->lines) {
            if (!line.hasKey) {
                continue;
            }
            std::string value;
            for (size_t i = 0; i < line.fields.size(); ++i) {
                value += (i == 0 ? "" : ",") + line.fields[i];
            }
            strings.emplace(UpperAscii(line.key), value);
        }
    }
    error = ParseSections(text, &strings, inf, errorLine);
    if (error != 0) {
        return error;
    }
    InfSection* version = FindSection(*inf, "Version");
    if (version != nullptr) {
        for (const InfLine& line : version->lines) {
            if (line.hasKey && EqualNoCase(line.key, "Signature") && !line.fields.empty()) {
                const std::string& s = line.fields[0];
                if (EqualNoCase(s, "$Windows NT$") || EqualNoCase(s, "$Chicago$") ||
                    EqualNoCase(s, "$Windows 95$")) {
                    return 0;
                }
                break;
            }
        }
    }
    return ERROR_WRONG_INF_STYLE;
}

std::string ParentFolder(const std::string& path) {
    std::string p = NormalizePath(path);
    size_t slash = p.find_last_of('\\');
    return slash == std::string::npos ? "" : p.substr(0, slash);
}

// 0 when path names a file; otherwise the error that opening it gives.
DWORD FileState(const std::string& path) {
    if (FileExists(path)) {
        return (FileAttributes(path) & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ACCESS_DENIED : 0;
    }
    std::string parent = ParentFolder(path);
    if (parent.empty() || FileExists(parent)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}

// Reads and parses an INF file. Returns 0 or the error.
DWORD LoadInf(const std::string& path, ParsedInf* inf, UINT* errorLine) {
    DWORD state = FileState(path);
    if (state != 0) {
        return state;
    }
    return ParseInf(FileData(path), inf, errorLine);
}

std::string InfFolderPath() {
    return M().windowsDirectory + "\\inf";
}

// "oem12.inf" -> true (letter case ignored).
bool IsOemInfName(const std::string& name) {
    std::string upper = UpperAscii(name);
    if (upper.size() < 8 || upper.compare(0, 3, "OEM") != 0 ||
        upper.compare(upper.size() - 4, 4, ".INF") != 0) {
        return false;
    }
    for (size_t i = 3; i < upper.size() - 4; ++i) {
        if (upper[i] < '0' || upper[i] > '9') {
            return false;
        }
    }
    return true;
}

bool SameStoreName(const std::string& a, const std::string& b) {
    return EqualNoCase(a, b);
}

// Puts the INF at sourcePath into the driver store under an oemN.inf name in
// the INF folder, or finds the copy already there. Returns 0 with the
// published name in *oemName, or the error; with SP_COPY_NOOVERWRITE an
// existing copy gives ERROR_FILE_EXISTS together with its name.
DWORD StoreInf(const std::string& sourcePath, DWORD copyStyle, std::string* oemName) {
    ParsedInf parsed;
    UINT errorLine = 0;
    DWORD error = LoadInf(sourcePath, &parsed, &errorLine);
    if (error != 0) {
        return error;
    }
    std::string content = FileData(sourcePath);
    std::string folder = InfFolderPath();
    if (M().windowsDirectory.empty() || !FileExists(folder)) {
        return ERROR_PATH_NOT_FOUND;
    }
    std::string existing;
    for (const DriverStoreEntry& entry : M().driverStore) {
        std::string published = folder + "\\" + entry.oemName;
        if (entry.content == content && FileExists(published) && FileData(published) == content) {
            existing = entry.oemName;
            break;
        }
    }
    if (existing.empty()) {
        // A published copy of the same INF that the store has no record of.
        for (const std::string& name : ListFolder(folder)) {
            if (IsOemInfName(name) && FileData(folder + "\\" + name) == content) {
                existing = name;
                M().driverStore.push_back(DriverStoreEntry{name, sourcePath, content});
                break;
            }
        }
    }
    if (!existing.empty()) {
        *oemName = existing;
        return (copyStyle & SP_COPY_NOOVERWRITE) ? static_cast<DWORD>(ERROR_FILE_EXISTS) : 0;
    }
    if (copyStyle & SP_COPY_REPLACEONLY) {
        return ERROR_FILE_NOT_FOUND;
    }
    int n = 0;
    while (FileExists(folder + "\\oem" + std::to_string(n) + ".inf")) {
        ++n;
    }
    std::string name = "oem" + std::to_string(n) + ".inf";
    AddFile(folder + "\\" + name, content);
    AddFile(folder + "\\oem" + std::to_string(n) + ".PNF", std::string("PNF\x01\x02\x00\x00\x00", 8));
    std::vector<DriverStoreEntry>& store = M().driverStore;
    for (size_t i = store.size(); i-- > 0;) {
        if (SameStoreName(store[i].oemName, name)) {
            store.erase(store.begin() + static_cast<long>(i));
        }
    }
    store.push_back(DriverStoreEntry{name, sourcePath, content});
    if (copyStyle & SP_COPY_DELETESOURCE) {
        RemovePath(sourcePath);
    }
    *oemName = name;
    return 0;
}

// The strings of a raw multi-string, never reading past its bytes.
std::vector<std::string> SplitMultiSz(const std::string& raw) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < raw.size()) {
        size_t end = raw.find('\0', i);
        if (end == std::string::npos) {
            end = raw.size();
        }
        if (end == i) {
            break;
        }
        out.push_back(raw.substr(i, end - i));
        i = end + 1;
    }
    return out;
}

bool CarriesHardwareId(const Device& d, const std::string& id) {
    if (!d.hasHardwareIds) {
        return false;
    }
    for (const std::string& s : SplitMultiSz(d.hardwareIds)) {
        if (EqualNoCase(s, id)) {
            return true;
        }
    }
    return false;
}

// The line an INF context points at, or null (error set).
const InfLine* ContextLine(PINFCONTEXT context) {
    size_t index = 0;
    if (context == nullptr || !LookupHandle(context->Inf, "inf", &index) || index >= I().files.size()) {
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ParsedInf& inf = I().files[index];
    if (context->Section >= inf.sections.size() ||
        context->Line >= inf.sections[context->Section].lines.size()) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &inf.sections[context->Section].lines[context->Line];
}

} // namespace

void ResetInf() {
    I() = InfState();
}

} // namespace sim

using sim::Args;
using sim::Enter;
using sim::M;

HINF WINAPI SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle, UINT* ErrorLine) {
    DWORD err = 0;
    if (Enter("SetupOpenInfFileA", Args(FileName, InfClass, InfStyle, ErrorLine), &err)) {
        sim::Fail(err);
        return INVALID_HANDLE_VALUE;
    }
    if (ErrorLine != nullptr) {
        *ErrorLine = 0;
    }
    if (FileName == nullptr || FileName[0] == '\0') {
        sim::Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!(InfStyle & INF_STYLE_WIN4)) {
        sim::Fail(ERROR_WRONG_INF_STYLE);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = FileName;
    if (path.find('\\') == std::string::npos && path.find('/') == std::string::npos &&
        path.find(':') == std::string::npos) {
        // A bare name is looked for in the INF folder, then in system32.
        std::string inInf = sim::InfFolderPath() + "\\" + path;
        std::string inSystem = M().windowsDirectory + "\\system32\\" + path;
        path = sim::FileState(inInf) == 0 ? inInf : inSystem;
    }
    sim::ParsedInf inf;
    UINT errorLine = 0;
    DWORD error = sim::LoadInf(path, &inf, &errorLine);
    if (error != 0) {
        if (ErrorLine != nullptr) {
            *ErrorLine = errorLine;
        }
        sim::Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    inf.open = true;
    sim::I().files.push_back(inf);
    sim::Fail(0);
    return sim::NewHandle("inf", sim::I().files.size() - 1);
}

BOOL WINAPI SetupFindFirstLineA(HINF InfHandle, PCSTR Section, PCSTR Key, PINFCONTEXT Context) {
    DWORD err = 0;
    if (Enter("SetupFindFirstLineA", Args(InfHandle, Section, Key, Context), &err)) {
        sim::Fail(err);
        return FALSE;
    }
    size_t index = 0;
    if (!sim::LookupHandle(InfHandle, "inf", &index) || index >= sim::I().files.size()) {
        sim::Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (Section == nullptr || Context == nullptr) {
        sim::Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::ParsedInf& inf = sim::I().files[index];
    for (size_t s = 0; s < inf.sections.size(); ++s) {
        if (!sim::EqualNoCase(inf.sections[s].name, Section)) {
            continue;
        }
        const std::vector<sim::InfLine>& lines = inf.sections[s].lines;
        for (size_t l = 0; l < lines.size(); ++l) {
            if (Key == nullptr || (lines[l].hasKey && sim::EqualNoCase(lines[l].key, Key))) {
                Context->Inf = InfHandle;
                Context->CurrentInf = InfHandle;
                Context->Section = static_cast<UINT>(s);
                Context->Line = static_cast<UINT>(l);
                sim::Fail(0);
                return TRUE;
            }
        }
        break;
    }
    sim::Fail(ERROR_LINE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI SetupFindNextLine(PINFCONTEXT ContextIn, PINFCONTEXT ContextOut) {
    DWORD err = 0;
    if (Enter("SetupFindNextLine", Args(ContextIn, ContextOut), &err)) {
        sim::Fail(err);
        return FALSE;
    }
    if (sim::ContextLine(ContextIn) == nullptr) {
        return FALSE;
    }
    if (ContextOut == nullptr) {
        sim::Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t index = 0;
    sim::LookupHandle(ContextIn->Inf, "inf", &index);
    const sim::InfSection& section = sim::I().files[index].sections[ContextIn->Section];
    if (ContextIn->Line + 1 >= section.lines.size()) {
        sim::Fail(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    INFCONTEXT next = *ContextIn;
    next.Line = ContextIn->Line + 1;
    *ContextOut = next;
    sim::Fail(0);
    return TRUE;
}

BOOL WINAPI SetupGetStringFieldA(PINFCONTEXT Context, DWORD FieldIndex, PSTR ReturnBuffer,
                                 DWORD ReturnBufferSize, PDWORD RequiredSize) {
    DWORD err = 0;
    if (Enter("SetupGetStringFieldA",
              Args(Context, FieldIndex, static_cast<void*>(ReturnBuffer), ReturnBufferSize, RequiredSize),
              &err)) {
        sim::Fail(err);
        return FALSE;
    }
    const sim::InfLine* line = sim::ContextLine(Context);
    if (line == nullptr) {
        return FALSE;
    }
    const std::string* field = nullptr;
    if (FieldIndex == 0) {
        if (line->hasKey) {
            field = &line->key;
        }
    } else if (FieldIndex <= line->fields.size()) {
        field = &line->fields[FieldIndex - 1];
    }
    if (field == nullptr) {
        sim::Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(field->size() + 1);
    if (RequiredSize != nullptr) {
        *RequiredSize = needed;
    }
    if (ReturnBuffer == nullptr) {
        sim::Fail(0);
        return TRUE;
    }
    if (ReturnBufferSize < needed) {
        sim::Fail(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(ReturnBuffer, field->c_str(), needed);
    sim::Fail(0);
    return TRUE;
}

void WINAPI SetupCloseInfFile(HINF InfHandle) {
    DWORD err = 0;
    if (Enter("SetupCloseInfFile", Args(InfHandle), &err)) {
        return;
    }
    size_t index = 0;
    if (sim::LookupHandle(InfHandle, "inf", &index) && index < sim::I().files.size()) {
        sim::ReleaseHandle(InfHandle, "inf");
        sim::I().files[index] = sim::ParsedInf();
    }
}

BOOL WINAPI SetupCopyOEMInfA(PCSTR SourceInfFileName, PCSTR OEMSourceMediaLocation, DWORD OEMSourceMediaType,
                             DWORD CopyStyle, PSTR DestinationInfFileName, DWORD DestinationInfFileNameSize,
                             PDWORD RequiredSize, PSTR* DestinationInfFileNameComponent) {
    DWORD err = 0;
    if (Enter("SetupCopyOEMInfA",
              Args(SourceInfFileName, OEMSourceMediaLocation, OEMSourceMediaType, CopyStyle,
                   static_cast<void*>(DestinationInfFileName), DestinationInfFileNameSize, RequiredSize,
                   DestinationInfFileNameComponent),
              &err)) {
        sim::Fail(err);
        return FALSE;
    }
    if (SourceInfFileName == nullptr || SourceInfFileName[0] == '\0' || OEMSourceMediaType > SPOST_URL ||
        (DestinationInfFileName == nullptr && DestinationInfFileNameSize != 0)) {
        sim::Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string oemName;
    DWORD error = sim::StoreInf(SourceInfFileName, CopyStyle, &oemName);
    if (error != 0 && oemName.empty()) {
        sim::Fail(error);
        return FALSE;
    }
    // The name is given back also when an existing copy made the call fail.
    std::string folder = sim::InfFolderPath() + "\\";
    std::string destination = folder + oemName;
    DWORD needed = static_cast<DWORD>(destination.size() + 1);
    if (RequiredSize != nullptr) {
        *RequiredSize = needed;
    }
    if (DestinationInfFileName != nullptr) {
        if (DestinationInfFileNameSize < needed) {
            sim::Fail(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        memcpy(DestinationInfFileName, destination.c_str(), needed);
        if (DestinationInfFileNameComponent != nullptr) {
            *DestinationInfFileNameComponent = DestinationInfFileName + folder.size();
        }
    }
    if (error != 0) {
        sim::Fail(error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND hwndParent, LPCSTR HardwareId, LPCSTR FullInfPath,
                                               DWORD InstallFlags, PBOOL bRebootRequired) {
    DWORD err = 0;
    if (Enter("UpdateDriverForPlugAndPlayDevicesA",
              Args(hwndParent, HardwareId, FullInfPath, InstallFlags, bRebootRequired), &err)) {
        sim::Fail(err);
        return FALSE;
    }
    if (HardwareId == nullptr || HardwareId[0] == '\0' || FullInfPath == nullptr || FullInfPath[0] == '\0') {
        sim::Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (InstallFlags &
        ~static_cast<DWORD>(INSTALLFLAG_FORCE | INSTALLFLAG_READONLY | INSTALLFLAG_NONINTERACTIVE)) {
        sim::Fail(ERROR_INVALID_FLAGS);
        return FALSE;
    }
    sim::ParsedInf inf;
    UINT errorLine = 0;
    DWORD error = sim::LoadInf(FullInfPath, &inf, &errorLine);
    if (error != 0) {
        sim::Fail(error);
        return FALSE;
    }
    bool found = false;
    for (const sim::Device& d : M().devices) {
        if (d.present && sim::CarriesHardwareId(d, HardwareId)) {
            found = true;
        }
    }
    if (!found) {
        sim::Fail(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    std::string oemName;
    error = sim::StoreInf(FullInfPath, 0, &oemName);
    if (error != 0) {
        sim::Fail(error);
        return FALSE;
    }
    for (sim::Device& d : M().devices) {
        if (d.present && sim::CarriesHardwareId(d, HardwareId)) {
            d.boundInf = FullInfPath;
            d.updateCount++;
        }
    }
    if (bRebootRequired != nullptr) {
        *bRebootRequired = FALSE;
    }
    return TRUE;
}
