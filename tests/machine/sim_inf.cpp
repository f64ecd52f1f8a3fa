// INF files and the driver store: the line and field queries on an open INF
// (the syntax is read by the shared INF reader), the OEM copies in the INF
// folder, and driver updates for the devices that carry a hardware ID.
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "inf/inf_reader.h"
#include "sim_internal.h"

namespace sim {

namespace {

using infreader::InfLine;
using infreader::InfSection;

struct ParsedInf {
    bool open = false;
    infreader::InfFile file;
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

// Parses INF text as an INF of the Windows 95/NT style. Returns 0 or the
// error that SetupOpenInfFileA reports.
DWORD ParseInf(const std::string& raw, ParsedInf* inf, UINT* errorLine) {
    // A US English machine of code page 1252 whose DIRIDs name its own folders.
    infreader::ReadingSystem system;
    system.windowsFolder = M().windowsDirectory;
    unsigned line = 0;
    infreader::InfStatus status = infreader::ParseInfText(raw, system, &inf->file, &line);
    *errorLine = static_cast<UINT>(line);
    switch (status) {
    case infreader::INF_OK:
        return 0;
    case infreader::INF_BAD_SECTION_NAME_LINE:
        return ERROR_BAD_SECTION_NAME_LINE;
    case infreader::INF_SECTION_NAME_TOO_LONG:
        return ERROR_SECTION_NAME_TOO_LONG;
    case infreader::INF_EXPECTED_SECTION_NAME:
        return ERROR_EXPECTED_SECTION_NAME;
    case infreader::INF_WRONG_STYLE:
        break;
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

// 64-bit Windows stores only a signed package: the INF names its catalog in
// [Version] (CatalogFile.NTamd64, else CatalogFile.NT, else CatalogFile)
// and the catalog lies beside it. Returns 0, or the error of the copy (as
// Wine reports it).
DWORD CheckCatalog(const std::string& infPath, const ParsedInf& inf) {
    const InfLine* line = infreader::FindX64CatalogLine(inf.file);
    std::string catalog = line == nullptr || line->fields.empty() ? "" : line->fields[0];
    if (catalog.empty() || catalog.find_first_of("\\/:") != std::string::npos) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::string path = ParentFolder(infPath) + "\\" + catalog;
    if (!FileExists(path) || (FileAttributes(path) & FILE_ATTRIBUTE_DIRECTORY)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return 0;
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
    error = CheckCatalog(sourcePath, parsed);
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

// Whether id is one of the device's hardware or compatible IDs.
bool CarriesId(const Device& d, const std::string& id) {
    std::vector<std::string> ids;
    if (d.hasHardwareIds) {
        ids = SplitMultiSz(d.hardwareIds);
    }
    if (d.hasCompatibleIds) {
        for (const std::string& s : SplitMultiSz(d.compatibleIds)) {
            ids.push_back(s);
        }
    }
    for (const std::string& s : ids) {
        if (EqualNoCase(s, id)) {
            return true;
        }
    }
    return false;
}

// The device IDs that the INF's drivers serve on 64-bit Windows: for every
// line of [Manufacturer], the models section that x64 reads for it (none for
// a line without an applicable NTamd64 decoration), and in it every line's
// hardware ID and compatible IDs (fields 2 and later).
std::vector<std::string> X64DriverIds(const ParsedInf& inf) {
    infreader::TargetWindows target;
    const VersionInfo& v = M().version;
    target.major = v.major;
    target.minor = v.minor;
    target.build = v.build;
    target.productType = v.productType;
    target.suiteMask = v.suiteMask;
    const infreader::InfFile& file = inf.file;
    std::vector<std::string> ids;
    const InfSection* manufacturers = infreader::FindInfSection(file, "Manufacturer");
    if (manufacturers == nullptr) {
        return ids;
    }
    for (const InfLine& line : manufacturers->lines) {
        std::string name = infreader::SelectX64ModelsSection(line, target);
        const InfSection* models = name.empty() ? nullptr : infreader::FindInfSection(file, name);
        if (models == nullptr) {
            continue;
        }
        for (const InfLine& model : models->lines) {
            for (size_t f = 1; f < model.fields.size(); ++f) {
                if (!model.fields[f].empty()) {
                    ids.push_back(model.fields[f]);
                }
            }
        }
    }
    return ids;
}

// The line an INF context points at, or null (error set).
const InfLine* ContextLine(PINFCONTEXT context) {
    size_t index = 0;
    if (context == nullptr || !LookupHandle(context->Inf, "inf", &index) || index >= I().files.size()) {
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ParsedInf& inf = I().files[index];
    if (context->Section >= inf.file.sections.size() ||
        context->Line >= inf.file.sections[context->Section].lines.size()) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &inf.file.sections[context->Section].lines[context->Line];
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
    for (size_t s = 0; s < inf.file.sections.size(); ++s) {
        if (!sim::EqualNoCase(inf.file.sections[s].name, Section)) {
            continue;
        }
        const std::vector<sim::InfLine>& lines = inf.file.sections[s].lines;
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
    const sim::InfSection& section = sim::I().files[index].file.sections[ContextIn->Section];
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
    // The present devices that carry the ID, and of them those that one of
    // the INF's x64 drivers serves.
    std::vector<std::string> driverIds = sim::X64DriverIds(inf);
    bool found = false;
    std::vector<DWORD> bound;
    for (const sim::Device& d : M().devices) {
        if (!d.present || !sim::CarriesId(d, HardwareId)) {
            continue;
        }
        found = true;
        for (const std::string& id : driverIds) {
            if (sim::CarriesId(d, id)) {
                bound.push_back(d.devInst);
                break;
            }
        }
    }
    if (!found) {
        sim::Fail(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    if (bound.empty()) {
        // The INF has no driver for these devices: no better driver found.
        sim::Fail(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    std::string oemName;
    error = sim::StoreInf(FullInfPath, 0, &oemName);
    if (error != 0) {
        sim::Fail(error);
        return FALSE;
    }
    bool reboot = false;
    for (sim::Device& d : M().devices) {
        if (std::find(bound.begin(), bound.end(), d.devInst) != bound.end()) {
            d.boundInf = FullInfPath;
            d.updateCount++;
            // A device in use keeps its old driver until the next start,
            // and its node says so.
            if (d.inUse) {
                reboot = true;
                d.status |= DN_NEED_RESTART;
            }
        }
    }
    if (bRebootRequired != nullptr) {
        *bRebootRequired = reboot ? TRUE : FALSE;
    }
    return TRUE;
}
