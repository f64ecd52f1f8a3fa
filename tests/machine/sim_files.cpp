// Files and folders of the simulated machine: the kernel32 file operations,
// the shell's path helper and the C runtime stream that the install log uses.
//
// Paths are resolved as Windows does (separators unified, "." and ".."
// folded, a relative path taken from the current folder, which is the
// program's folder) and looked up case-insensitively; names keep the case
// they were created with.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/types.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "sim_internal.h"

namespace sim {

namespace {

// One directory search: the matches found when it started.
struct FoundEntry {
    std::string name;
    DWORD attributes;
    size_t size;
    std::string shortName;
};

struct Search {
    std::vector<FoundEntry> entries;
    size_t next = 0;
};

std::map<size_t, Search>& Searches() {
    static std::map<size_t, Search> searches;
    return searches;
}

size_t& NextSearchId() {
    static size_t next = 1;
    return next;
}

// Files held open by a C runtime stream, by key, with their open counts.
std::map<std::string, int>& OpenStreams() {
    static std::map<std::string, int> open;
    return open;
}

const DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | 0x100 /* TEMPORARY */ |
                                  0x1000 /* OFFLINE */ | 0x2000 /* NOT_CONTENT_INDEXED */;

// Wildcards as the file system sees them once kernel32 has translated the
// pattern: "*" before a dot, "?" and a dot before a wildcard or at the end
// get their DOS meanings.
const char kDosStar = '<';
const char kDosQm = '>';
const char kDosDot = '"';

void SetError(DWORD error) {
    M().lastError = error;
}

std::string Key(const std::string& full) {
    return UpperAscii(full);
}

bool IsRoot(const std::string& full) {
    return full.size() == 3 && full[1] == ':' && full[2] == '\\';
}

// The folder holding a resolved path ("" for a drive root).
std::string ParentOf(const std::string& full) {
    if (IsRoot(full)) {
        return "";
    }
    size_t pos = full.rfind('\\');
    if (pos == std::string::npos) {
        return "";
    }
    std::string parent = full.substr(0, pos);
    if (parent.size() == 2 && parent[1] == ':') {
        parent += "\\";
    }
    return parent;
}

std::string NameOf(const std::string& full) {
    if (IsRoot(full)) {
        return "";
    }
    size_t pos = full.rfind('\\');
    return pos == std::string::npos ? full : full.substr(pos + 1);
}

// The program's folder, which also serves as the current folder.
std::string CurrentFolder() {
    std::string exe = NormalizePath(M().exePath);
    std::string parent = ParentOf(exe);
    return parent.empty() ? "C:\\" : parent;
}

// Resolves a path as Windows does before it reaches the file system.
std::string FullPath(const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    std::string drive;
    std::string rest;
    if (p.size() >= 2 && p[1] == ':') {
        drive = p.substr(0, 2);
        rest = p.substr(2);
    } else if (!p.empty() && p[0] == '\\') {
        drive = "C:";
        rest = p;
    } else {
        std::string current = CurrentFolder();
        drive = current.substr(0, 2);
        rest = current.substr(2) + "\\" + p;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos) {
            end = rest.size();
        }
        std::string part = rest.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string full = drive + "\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        full += (i == 0 ? "" : "\\") + parts[i];
    }
    return full;
}

FileEntry* Find(const std::string& full) {
    auto it = M().files.find(Key(full));
    return it == M().files.end() ? nullptr : &it->second;
}

bool IsFolder(const std::string& full) {
    FileEntry* e = Find(full);
    return e != nullptr && e->isDirectory;
}

// The error Windows gives for a path that names nothing: the file is
// missing (2) or already its folder is (3).
DWORD MissingError(const std::string& full) {
    return IsFolder(ParentOf(full)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// A file's attributes as stored: FILE_ATTRIBUTE_NORMAL only when alone.
DWORD FileAttributeBits(DWORD attributes) {
    DWORD a = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
    if (a & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL)) {
        a &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    }
    return a == 0 ? FILE_ATTRIBUTE_NORMAL : a;
}

// ------------------------------------------------------------ 8.3 names

bool ShortNameChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x21 || u >= 0x7F) {
        return false;
    }
    return std::string("\"*+,./:;<=>?[\\]|").find(c) == std::string::npos;
}

// Whether the name is already a valid 8.3 name (letter case aside): then the
// file system keeps no second name for it.
bool IsShortName(const std::string& name) {
    if (name == "." || name == "..") {
        return true;
    }
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos ||
        (dot != std::string::npos && ext.empty())) {
        return false;
    }
    for (char c : base + ext) {
        if (!ShortNameChar(c)) {
            return false;
        }
    }
    return true;
}

// The 8.3 name of a new file: the first six characters of the name before
// its last dot that an 8.3 name allows, upper-cased, "~" and the lowest
// number that no other name of the folder uses, and the first three
// characters after the last dot.
std::string MakeShortName(const std::string& name, const std::vector<std::string>& taken) {
    size_t lastDot = name.rfind('.');
    std::string basePart = lastDot == std::string::npos || lastDot == 0 ? name : name.substr(0, lastDot);
    std::string extPart = lastDot == std::string::npos || lastDot == 0 ? "" : name.substr(lastDot + 1);
    auto clean = [](const std::string& part, size_t limit) {
        std::string out;
        for (char c : part) {
            if (out.size() == limit) {
                break;
            }
            if (c == '+' || c == ',' || c == ';' || c == '=' || c == '[' || c == ']') {
                out.push_back('_');
            } else if (ShortNameChar(c)) {
                out.push_back(c);
            }
        }
        return UpperAscii(out);
    };
    std::string base = clean(basePart, 6);
    std::string ext = clean(extPart, 3);
    for (int n = 1;; ++n) {
        std::string suffix = "~" + std::to_string(n);
        std::string candidate = base.substr(0, 8 - suffix.size()) + suffix + (ext.empty() ? "" : "." + ext);
        if (std::find(taken.begin(), taken.end(), candidate) == taken.end()) {
            return candidate;
        }
    }
}

bool VolumeMakesShortNames(const std::string& full) {
    char drive = static_cast<char>(UpperAscii(full.substr(0, 1))[0]);
    return M().shortNameDrives.find(drive) != std::string::npos;
}

std::vector<const FileEntry*> Children(const std::string& folderFull);

// Gives a file or folder being created at full its short name, if its
// volume makes them and its name needs one.
void AssignShortName(const std::string& full, FileEntry* entry) {
    entry->shortName.clear();
    std::string name = NameOf(full);
    if (!VolumeMakesShortNames(full) || IsShortName(name)) {
        return;
    }
    std::vector<std::string> taken;
    for (const FileEntry* sibling : Children(ParentOf(full))) {
        std::string siblingName = NameOf(sibling->path);
        if (EqualNoCase(siblingName, name)) {
            continue;
        }
        taken.push_back(UpperAscii(siblingName));
        if (!sibling->shortName.empty()) {
            taken.push_back(sibling->shortName);
        }
    }
    entry->shortName = MakeShortName(name, taken);
}

void EnsureFolder(const std::string& full) {
    FileEntry* e = Find(full);
    if (e != nullptr) {
        return;
    }
    std::string parent = ParentOf(full);
    if (!parent.empty()) {
        EnsureFolder(parent);
    }
    FileEntry entry;
    entry.path = full;
    entry.isDirectory = true;
    entry.attributes = FILE_ATTRIBUTE_DIRECTORY;
    AssignShortName(full, &entry);
    M().files[Key(full)] = entry;
}

bool IsChildKey(const std::string& childKey, const std::string& folderKey) {
    return ParentOf(childKey) == folderKey && childKey != folderKey;
}

std::vector<const FileEntry*> Children(const std::string& folderFull) {
    std::string folderKey = Key(folderFull);
    std::vector<const FileEntry*> children;
    for (const auto& kv : M().files) {
        if (IsChildKey(kv.first, folderKey)) {
            children.push_back(&kv.second);
        }
    }
    std::sort(children.begin(), children.end(), [](const FileEntry* a, const FileEntry* b) {
        return NtfsLess(NameOf(a->path), NameOf(b->path));
    });
    return children;
}

std::string TranslatePattern(const std::string& pattern) {
    std::string p = UpperAscii(pattern);
    std::string out;
    for (size_t i = 0; i < p.size(); ++i) {
        char c = p[i];
        char next = i + 1 < p.size() ? p[i + 1] : '\0';
        if (c == '?') {
            out.push_back(kDosQm);
        } else if (c == '*' && next == '.') {
            out.push_back(kDosStar);
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            out.push_back(kDosDot);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool MatchAt(const std::string& p, size_t pi, const std::string& n, size_t ni) {
    if (pi == p.size()) {
        return ni == n.size();
    }
    char c = p[pi];
    if (c == '*') {
        for (size_t k = ni; k <= n.size(); ++k) {
            if (MatchAt(p, pi + 1, n, k)) {
                return true;
            }
        }
        return false;
    }
    if (c == kDosStar) {
        // Any characters, up to (not past) the last dot of the name.
        size_t lastDot = n.rfind('.');
        size_t limit = (lastDot == std::string::npos || lastDot < ni) ? n.size() : lastDot;
        for (size_t k = ni; k <= limit; ++k) {
            if (MatchAt(p, pi + 1, n, k)) {
                return true;
            }
        }
        return false;
    }
    if (c == kDosQm) {
        // One character; nothing at a dot or at the end of the name.
        if (ni == n.size() || n[ni] == '.') {
            return MatchAt(p, pi + 1, n, ni);
        }
        return MatchAt(p, pi + 1, n, ni + 1);
    }
    if (c == kDosDot) {
        if (ni == n.size()) {
            return MatchAt(p, pi + 1, n, ni);
        }
        return n[ni] == '.' && MatchAt(p, pi + 1, n, ni + 1);
    }
    return ni < n.size() && n[ni] == c && MatchAt(p, pi + 1, n, ni + 1);
}

bool NameMatches(const std::string& translatedPattern, const std::string& name) {
    return MatchAt(translatedPattern, 0, UpperAscii(name), 0);
}

void FillFindData(const FoundEntry& e, LPWIN32_FIND_DATAA data) {
    memset(data, 0, sizeof(*data));
    data->dwFileAttributes = e.attributes;
    data->nFileSizeLow = static_cast<DWORD>(e.size & 0xFFFFFFFFu);
    data->nFileSizeHigh = static_cast<DWORD>(static_cast<unsigned long long>(e.size) >> 32);
    size_t n = std::min(e.name.size(), sizeof(data->cFileName) - 1);
    memcpy(data->cFileName, e.name.data(), n);
    data->cFileName[n] = '\0';
    size_t m = std::min(e.shortName.size(), sizeof(data->cAlternateFileName) - 1);
    memcpy(data->cAlternateFileName, e.shortName.data(), m);
    data->cAlternateFileName[m] = '\0';
}

DWORD VisibleAttributes(const FileEntry& e) {
    DWORD bits = e.isDirectory ? (e.attributes | FILE_ATTRIBUTE_DIRECTORY) : FileAttributeBits(e.attributes);
    if (!e.linkTarget.empty()) {
        bits = (bits & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL)) | FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return bits;
}

// The path that an open of full reaches: a symbolic link's target, link
// after link (at most a few, as the system's own limit on reparse chains).
std::string FollowLinks(const std::string& full) {
    std::string reached = full;
    for (int i = 0; i < 8; ++i) {
        FileEntry* e = Find(reached);
        if (e == nullptr || e->linkTarget.empty()) {
            return reached;
        }
        reached = FullPath(e->linkTarget);
    }
    return reached;
}

bool OpenByHandleWithout(const std::string& key, DWORD share);

bool IsOpenByStream(const std::string& full) {
    auto it = OpenStreams().find(Key(full));
    return it != OpenStreams().end() && it->second > 0;
}

// ------------------------------------------------------------ C runtime stream

struct Stream {
    std::string key;
    bool text;
    bool append;
    size_t pos;
    int descriptor = -1; // the descriptor the stream owns, -1 for fopen's
};

void ReleaseDescriptor(int descriptor);
FILE* OpenStream(const std::string& key, bool text, bool append, bool plus, bool readOnly, int descriptor);

// Hard links: every name of the file gets the bytes just written.
void SyncHardLinks(const FileEntry& written) {
    if (written.hardLinkGroup == 0) {
        return;
    }
    for (auto& file : M().files) {
        if (file.second.hardLinkGroup == written.hardLinkGroup && &file.second != &written) {
            file.second.data = written.data;
        }
    }
}

ssize_t StreamWrite(void* cookie, const char* buf, size_t size) {
    Stream* s = static_cast<Stream*>(cookie);
    auto it = M().files.find(s->key);
    if (it == M().files.end()) {
        errno = EIO;
        return -1;
    }
    std::string& data = it->second.data;
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        if (s->text && buf[i] == '\n') {
            bytes.push_back('\r');
        }
        bytes.push_back(buf[i]);
    }
    if (s->append) {
        s->pos = data.size();
    }
    if (s->pos > data.size()) {
        data.resize(s->pos, '\0');
    }
    data.replace(s->pos, std::min(bytes.size(), data.size() - s->pos), bytes);
    s->pos += bytes.size();
    SyncHardLinks(it->second);
    return static_cast<ssize_t>(size);
}

ssize_t StreamRead(void* cookie, char* buf, size_t size) {
    Stream* s = static_cast<Stream*>(cookie);
    auto it = M().files.find(s->key);
    if (it == M().files.end()) {
        return 0;
    }
    const std::string& data = it->second.data;
    size_t out = 0;
    while (out < size && s->pos < data.size()) {
        char c = data[s->pos];
        if (s->text && c == '\x1a') {
            break; // end of a text file
        }
        if (s->text && c == '\r' && s->pos + 1 < data.size() && data[s->pos + 1] == '\n') {
            buf[out++] = '\n';
            s->pos += 2;
            continue;
        }
        buf[out++] = c;
        s->pos++;
    }
    return static_cast<ssize_t>(out);
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
    Stream* s = static_cast<Stream*>(cookie);
    auto it = M().files.find(s->key);
    long long size = it == M().files.end() ? 0 : static_cast<long long>(it->second.data.size());
    long long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<long long>(s->pos) : size;
    long long target = base + static_cast<long long>(*offset);
    if (target < 0) {
        errno = EINVAL;
        return -1;
    }
    s->pos = static_cast<size_t>(target);
    *offset = static_cast<off64_t>(target);
    return 0;
}

int StreamClose(void* cookie) {
    Stream* s = static_cast<Stream*>(cookie);
    auto it = OpenStreams().find(s->key);
    if (it != OpenStreams().end() && --it->second <= 0) {
        OpenStreams().erase(it);
    }
    if (s->descriptor >= 0) {
        ReleaseDescriptor(s->descriptor);
    }
    delete s;
    return 0;
}

} // namespace

// ---------------------------------------------------------------- builders

void ResetFileHandles();

void ResetFiles() {
    M().files.clear();
    Searches().clear();
    OpenStreams().clear();
    ResetFileHandles();
}

void AddDirectory(const std::string& path) {
    EnsureFolder(FullPath(path));
}

void AddFile(const std::string& path, const std::string& data, DWORD attributes) {
    std::string full = FullPath(path);
    std::string parent = ParentOf(full);
    if (!parent.empty()) {
        EnsureFolder(parent);
    }
    FileEntry* existing = Find(full);
    FileEntry entry;
    entry.path = (existing != nullptr && !existing->isDirectory) ? existing->path : full;
    entry.isDirectory = false;
    entry.attributes = FileAttributeBits(attributes);
    entry.data = data;
    if (existing != nullptr && !existing->isDirectory) {
        entry.shortName = existing->shortName;
    } else {
        AssignShortName(full, &entry);
    }
    M().files[Key(full)] = entry;
}

void RemovePath(const std::string& path) {
    std::string full = FullPath(path);
    std::string key = Key(full);
    std::string prefix = IsRoot(key) ? key : key + "\\";
    for (auto it = M().files.begin(); it != M().files.end();) {
        if (it->first == key || it->first.compare(0, prefix.size(), prefix) == 0) {
            it = M().files.erase(it);
        } else {
            ++it;
        }
    }
}

void AddSymbolicLink(const std::string& path, const std::string& target) {
    std::string full = FullPath(path);
    EnsureFolder(ParentOf(full));
    FileEntry entry;
    entry.path = full;
    entry.attributes = FILE_ATTRIBUTE_ARCHIVE;
    entry.linkTarget = FullPath(target);
    AssignShortName(full, &entry);
    M().files[Key(full)] = entry;
}

void AddHardLink(const std::string& path, const std::string& existingPath) {
    static int nextGroup = 1;
    FileEntry* existing = Find(FullPath(existingPath));
    if (existing == nullptr || existing->isDirectory) {
        return;
    }
    if (existing->hardLinkGroup == 0) {
        existing->hardLinkGroup = nextGroup++;
    }
    FileEntry copy = *existing;
    std::string full = FullPath(path);
    EnsureFolder(ParentOf(full));
    copy.path = full;
    AssignShortName(full, &copy);
    M().files[Key(full)] = copy;
}

void LinkNewFilesInto(const std::string& folder) {
    AddDirectory(folder);
    M().linkNewFilesInto = folder;
}

bool FileExists(const std::string& path) {
    return Find(FullPath(path)) != nullptr;
}

void SetShortNames(char drive, bool on) {
    char letter = static_cast<char>(UpperAscii(std::string(1, drive))[0]);
    std::string& drives = M().shortNameDrives;
    size_t at = drives.find(letter);
    if (on && at == std::string::npos) {
        drives.push_back(letter);
    } else if (!on && at != std::string::npos) {
        drives.erase(at, 1);
    }
}

std::string ShortName(const std::string& path) {
    FileEntry* e = Find(FullPath(path));
    return e == nullptr ? "" : e->shortName;
}

std::string FileData(const std::string& path) {
    FileEntry* e = Find(FullPath(path));
    return (e == nullptr || e->isDirectory) ? "" : e->data;
}

DWORD FileAttributes(const std::string& path) {
    FileEntry* e = Find(FullPath(path));
    return e == nullptr ? INVALID_FILE_ATTRIBUTES : VisibleAttributes(*e);
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    for (const FileEntry* e : Children(FullPath(folder))) {
        names.push_back(NameOf(e->path));
    }
    return names;
}

std::string WindowsFolder() {
    std::string folder = M().windowsDirectory.empty() ? "C:\\Windows" : FullPath(M().windowsDirectory);
    return IsRoot(folder) ? folder : folder + "\\";
}

std::string SystemDriversFolder() {
    return WindowsFolder() + "system32\\drivers\\";
}

std::string InfFolder() {
    return WindowsFolder() + "inf\\";
}

std::string ExeFolder() {
    std::string folder = CurrentFolder();
    return IsRoot(folder) ? folder : folder + "\\";
}

std::string PackageFolder(const std::string& osFolderName) {
    return ExeFolder() + "Drivers\\64bit\\" + osFolderName + "\\";
}

void AddPackageFile(const std::string& osFolderName, const std::string& name, const std::string& data) {
    AddFile(PackageFolder(osFolderName) + name, data);
}

void SetWindowsDirectory(const std::string& folder) {
    M().windowsDirectory = folder;
    if (!folder.empty()) {
        AddDirectory(folder);
    }
}

void SetExePath(const std::string& path) {
    M().exePath = path;
    if (!path.empty() && !FileExists(path)) {
        AddFile(path, "MZ");
    }
}

} // namespace sim

using sim::Args;
using sim::Enter;
using sim::M;

// ---------------------------------------------------------------- kernel32

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    DWORD fault = 0;
    if (Enter("GetWindowsDirectoryA", Args(static_cast<const void*>(lpBuffer), uSize), &fault)) {
        sim::SetError(fault);
        return 0;
    }
    const std::string& folder = M().windowsDirectory;
    if (folder.empty()) {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    if (lpBuffer == nullptr || uSize <= folder.size()) {
        return static_cast<UINT>(folder.size() + 1);
    }
    memcpy(lpBuffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    DWORD fault = 0;
    if (Enter("GetModuleFileNameA", Args(hModule, static_cast<const void*>(lpFilename), nSize), &fault)) {
        sim::SetError(fault);
        return 0;
    }
    std::string path;
    if (hModule == nullptr || hModule == sim::ExeModule()) {
        path = M().exePath;
    } else if (hModule == sim::Kernel32Module()) {
        path = sim::WindowsFolder() + "system32\\kernel32.dll";
    }
    if (path.empty()) {
        if (lpFilename != nullptr && nSize > 0) {
            lpFilename[0] = '\0';
        }
        sim::SetError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (lpFilename == nullptr || nSize == 0) {
        sim::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= nSize) {
        // Cut to the buffer, terminated, as Vista and later do.
        memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        sim::SetError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    DWORD fault = 0;
    if (Enter("FindFirstFileA", Args(lpFileName, lpFindFileData), &fault)) {
        sim::SetError(fault);
        return INVALID_HANDLE_VALUE;
    }
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string pattern = lpFileName;
    std::replace(pattern.begin(), pattern.end(), '/', '\\');
    size_t slash = pattern.rfind('\\');
    std::string folderPart = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (namePattern.empty()) {
        sim::SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string folder = sim::FullPath(folderPart);
    if (!sim::IsFolder(folder)) {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string translated = sim::TranslatePattern(namePattern);
    sim::Search search;
    if (!sim::IsRoot(folder)) {
        // Every folder but a drive root lists itself and its parent first.
        for (const char* dots : {".", ".."}) {
            if (sim::NameMatches(translated, dots)) {
                search.entries.push_back(sim::FoundEntry{dots, FILE_ATTRIBUTE_DIRECTORY, 0, ""});
            }
        }
    }
    for (const sim::FileEntry* e : sim::Children(folder)) {
        // A name matches by its long or by its short name.
        std::string name = sim::NameOf(e->path);
        if (sim::NameMatches(translated, name) ||
            (!e->shortName.empty() && sim::NameMatches(translated, e->shortName))) {
            search.entries.push_back(sim::FoundEntry{name, sim::VisibleAttributes(*e),
                                                     e->isDirectory ? 0 : e->data.size(), e->shortName});
        }
    }
    if (search.entries.empty()) {
        sim::SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    sim::FillFindData(search.entries[0], lpFindFileData);
    search.next = 1;
    size_t id = sim::NextSearchId()++;
    sim::Searches()[id] = search;
    return sim::NewHandle("find", id);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    DWORD fault = 0;
    if (Enter("FindNextFileA", Args(hFindFile, lpFindFileData), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    size_t id = 0;
    if (!sim::LookupHandle(hFindFile, "find", &id)) {
        sim::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpFindFileData == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::Search& search = sim::Searches()[id];
    if (search.next >= search.entries.size()) {
        sim::SetError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    sim::FillFindData(search.entries[search.next++], lpFindFileData);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    DWORD fault = 0;
    if (Enter("FindClose", Args(hFindFile), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    size_t id = 0;
    if (!sim::LookupHandle(hFindFile, "find", &id)) {
        sim::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::ReleaseHandle(hFindFile, "find");
    sim::Searches().erase(id);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    DWORD fault = 0;
    if (Enter("GetFileAttributesA", Args(lpFileName), &fault)) {
        sim::SetError(fault);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (lpFileName == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (lpFileName[0] == '\0') {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string full = sim::FullPath(lpFileName);
    sim::FileEntry* e = sim::Find(full);
    if (e == nullptr) {
        sim::SetError(sim::MissingError(full));
        return INVALID_FILE_ATTRIBUTES;
    }
    return sim::VisibleAttributes(*e);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    DWORD fault = 0;
    if (Enter("SetFileAttributesA", Args(lpFileName, dwFileAttributes), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    if (lpFileName == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpFileName[0] == '\0') {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string full = sim::FullPath(lpFileName);
    sim::FileEntry* e = sim::Find(full);
    if (e == nullptr) {
        sim::SetError(sim::MissingError(full));
        return FALSE;
    }
    DWORD bits = sim::FileAttributeBits(dwFileAttributes & sim::kSettableAttributes);
    if (e->isDirectory) {
        bits = (bits & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL)) | FILE_ATTRIBUTE_DIRECTORY;
    }
    e->attributes = bits;
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    DWORD fault = 0;
    if (Enter("DeleteFileA", Args(lpFileName), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    if (lpFileName == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpFileName[0] == '\0') {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string full = sim::FullPath(lpFileName);
    sim::FileEntry* e = sim::Find(full);
    if (e == nullptr) {
        sim::SetError(sim::MissingError(full));
        return FALSE;
    }
    if (e->isDirectory || (e->attributes & FILE_ATTRIBUTE_READONLY)) {
        sim::SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (sim::IsOpenByStream(full) || sim::OpenByHandleWithout(sim::Key(full), FILE_SHARE_DELETE)) {
        sim::SetError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    M().files.erase(sim::Key(full));
    return TRUE;
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    DWORD fault = 0;
    if (Enter("CopyFileA", Args(lpExistingFileName, lpNewFileName, bFailIfExists), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string src = sim::FullPath(lpExistingFileName);
    sim::FileEntry* s = sim::Find(src);
    if (s == nullptr) {
        sim::SetError(sim::MissingError(src));
        return FALSE;
    }
    if (s->isDirectory) {
        sim::SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (sim::IsOpenByStream(src)) {
        sim::SetError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    std::string dst = sim::FullPath(lpNewFileName);
    if (!sim::IsFolder(sim::ParentOf(dst))) {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    sim::FileEntry* d = sim::Find(dst);
    if (d != nullptr) {
        if (d->isDirectory) {
            sim::SetError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (bFailIfExists) {
            sim::SetError(ERROR_FILE_EXISTS);
            return FALSE;
        }
        if (sim::Key(src) == sim::Key(dst)) {
            sim::SetError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
        if (d->attributes & FILE_ATTRIBUTE_READONLY) {
            sim::SetError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        // The copy replaces the target with the source's attributes; a
        // hidden or system target can only be replaced by a file that has
        // them too.
        if (d->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~s->attributes) {
            sim::SetError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (sim::IsOpenByStream(dst)) {
            sim::SetError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
        d->data = s->data;
        d->attributes = s->attributes;
        return TRUE;
    }
    sim::FileEntry copy;
    copy.path = dst;
    copy.isDirectory = false;
    copy.attributes = s->attributes;
    copy.data = s->data;
    sim::AssignShortName(dst, &copy);
    M().files[sim::Key(dst)] = copy;
    return TRUE;
}

// ---------------------------------------------------------------- shlwapi

BOOL WINAPI PathRemoveFileSpecA(LPSTR pszPath) {
    DWORD fault = 0;
    if (Enter("PathRemoveFileSpecA", Args(pszPath), &fault)) {
        return FALSE;
    }
    if (pszPath == nullptr) {
        return FALSE;
    }
    // The cut goes at the last backslash, or just after a drive's root
    // backslash so that "C:\\" stays; the one or two backslashes that begin
    // a rooted or UNC path are never cut. A bare name is removed entirely.
    char* p = pszPath;
    char* cut = pszPath;
    for (int i = 0; i < 2 && *p == '\\'; ++i) {
        cut = ++p;
    }
    for (; *p != '\0'; ++p) {
        if (*p == '\\') {
            cut = p;
        } else if (*p == ':') {
            cut = p + 1;
            if (p[1] == '\\') {
                ++p;
                cut = p + 1;
            }
        }
    }
    if (*cut == '\0') {
        return FALSE;
    }
    *cut = '\0';
    return TRUE;
}

// ---------------------------------------------------------------- C runtime

FILE* SimFopen(const char* path, const char* mode) {
    DWORD fault = 0;
    if (Enter("fopen", Args(path, mode), &fault)) {
        sim::SetError(fault);
        errno = EIO;
        return nullptr;
    }
    if (path == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    char kind = mode[0];
    if (kind != 'r' && kind != 'w' && kind != 'a') {
        errno = EINVAL;
        return nullptr;
    }
    bool plus = false;
    bool binary = false;
    for (const char* m = mode + 1; *m != '\0'; ++m) {
        if (*m == '+') {
            plus = true;
        } else if (*m == 'b') {
            binary = true;
        } else if (*m == 't') {
            binary = false;
        }
    }
    bool writes = kind != 'r' || plus;
    // The C runtime opens what a link at the name points at.
    std::string full = path[0] == '\0' ? std::string() : sim::FollowLinks(sim::FullPath(path));
    if (path[0] == '\0' || !sim::IsFolder(sim::ParentOf(full))) {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        errno = ENOENT;
        return nullptr;
    }
    sim::FileEntry* e = sim::Find(full);
    if (e != nullptr && e->isDirectory) {
        sim::SetError(ERROR_ACCESS_DENIED);
        errno = EACCES;
        return nullptr;
    }
    if (e == nullptr && kind == 'r') {
        sim::SetError(ERROR_FILE_NOT_FOUND);
        errno = ENOENT;
        return nullptr;
    }
    if (e != nullptr && writes && (e->attributes & FILE_ATTRIBUTE_READONLY)) {
        sim::SetError(ERROR_ACCESS_DENIED);
        errno = EACCES;
        return nullptr;
    }
    if (e != nullptr && kind == 'w' && (e->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
        // Replacing a hidden or system file needs those attributes asked for.
        sim::SetError(ERROR_ACCESS_DENIED);
        errno = EACCES;
        return nullptr;
    }
    if (e == nullptr) {
        sim::FileEntry created;
        created.path = full;
        created.isDirectory = false;
        created.attributes = FILE_ATTRIBUTE_ARCHIVE;
        sim::AssignShortName(full, &created);
        M().files[sim::Key(full)] = created;
    } else if (kind == 'w') {
        e->data.clear();
        e->attributes = FILE_ATTRIBUTE_ARCHIVE;
    }
    return sim::OpenStream(sim::Key(full), !binary, kind == 'a', plus, kind == 'r', -1);
}

namespace sim {
namespace {

// A C runtime stream over the simulated file at key.
FILE* OpenStream(const std::string& key, bool text, bool append, bool plus, bool readOnly, int descriptor) {
    sim::Stream* stream = new sim::Stream{key, text, append, 0, descriptor};
    cookie_io_functions_t functions;
    functions.read = sim::StreamRead;
    functions.write = sim::StreamWrite;
    functions.seek = sim::StreamSeek;
    functions.close = sim::StreamClose;
    const char* hostMode = plus ? (readOnly ? "r+" : "w+") : (readOnly ? "r" : "w");
    FILE* f = fopencookie(stream, hostMode, functions);
    if (f == nullptr) {
        delete stream;
        return nullptr;
    }
    // Every write reaches the simulated file at once, so that the file can be
    // read while the stream is still open.
    setvbuf(f, nullptr, _IONBF, 0);
    sim::OpenStreams()[key]++;
    return f;
}

} // namespace
} // namespace sim

// ---------------------------------------------------------------- file handles

namespace sim {
namespace {

// A file opened by CreateFileA; the key follows the file through renames.
struct OpenFile {
    std::string key;
    DWORD access;
    DWORD share;
};

std::map<size_t, OpenFile>& OpenFiles() {
    static std::map<size_t, OpenFile> files;
    return files;
}

size_t& NextOpenFileId() {
    static size_t next = 1;
    return next;
}

// C runtime descriptors: each owns one open file, whose handle it took over
// (the handle no longer counts as the program's own: the stream's close
// releases it).
struct Descriptor {
    size_t fileId;
    bool text;
};

std::map<int, Descriptor>& Descriptors() {
    static std::map<int, Descriptor> descriptors;
    return descriptors;
}

int& NextDescriptor() {
    static int next = 3;
    return next;
}

uint64_t& RandomState() {
    static uint64_t state = 0;
    return state;
}

// True when some open handle of the file at key does not share the access.
bool OpenByHandleWithout(const std::string& key, DWORD share) {
    for (const auto& open : OpenFiles()) {
        if (open.second.key == key && (open.second.share & share) == 0) {
            return true;
        }
    }
    return false;
}

bool OpenByHandle(const std::string& key) {
    for (const auto& open : OpenFiles()) {
        if (open.second.key == key) {
            return true;
        }
    }
    return false;
}

OpenFile* LookupOpenFile(HANDLE handle) {
    size_t id = 0;
    if (!LookupHandle(handle, "file", &id)) {
        return nullptr;
    }
    auto it = OpenFiles().find(id);
    return it == OpenFiles().end() ? nullptr : &it->second;
}

void CloseOpenFile(HANDLE handle) {
    size_t id = 0;
    if (LookupHandle(handle, "file", &id)) {
        OpenFiles().erase(id);
        ReleaseHandle(handle, "file");
    }
}

void ReleaseDescriptor(int descriptor) {
    auto it = Descriptors().find(descriptor);
    if (it != Descriptors().end()) {
        OpenFiles().erase(it->second.fileId);
        Descriptors().erase(it);
    }
}

// The number of names of the file at key.
DWORD LinkCount(const FileEntry& e) {
    if (e.hardLinkGroup == 0) {
        return 1;
    }
    DWORD count = 0;
    for (const auto& file : M().files) {
        if (file.second.hardLinkGroup == e.hardLinkGroup) {
            ++count;
        }
    }
    return count;
}

} // namespace

void ResetFileHandles() {
    OpenFiles().clear();
    Descriptors().clear();
    NextDescriptor() = 3;
    RandomState() = 0x9E3779B97F4A7C15ull;
}

} // namespace sim

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    DWORD fault = 0;
    if (Enter("CreateFileA",
              Args(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                   dwFlagsAndAttributes, hTemplateFile),
              &fault)) {
        sim::SetError(fault);
        return INVALID_HANDLE_VALUE;
    }
    if (lpFileName == nullptr || dwCreationDisposition < CREATE_NEW ||
        dwCreationDisposition > TRUNCATE_EXISTING) {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string full = lpFileName[0] == '\0' ? std::string() : sim::FullPath(lpFileName);
    if (full.empty() || !sim::IsFolder(sim::ParentOf(full))) {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    sim::FileEntry* e = sim::Find(full);
    // CREATE_NEW fails at any name that is taken, a link included; other
    // opens reach a link's target unless the reparse point itself is asked for.
    if (e != nullptr && dwCreationDisposition == CREATE_NEW) {
        sim::SetError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    if (e != nullptr && !e->linkTarget.empty() &&
        (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) == 0) {
        full = sim::FollowLinks(full);
        if (!sim::IsFolder(sim::ParentOf(full))) {
            sim::SetError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        e = sim::Find(full);
    }
    bool writes = (dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    if (e != nullptr && e->isDirectory) {
        sim::SetError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (e == nullptr &&
        (dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == TRUNCATE_EXISTING)) {
        sim::SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (e != nullptr && writes && (e->attributes & FILE_ATTRIBUTE_READONLY)) {
        sim::SetError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::string key = sim::Key(full);
    if (e != nullptr && (sim::IsOpenByStream(full) ||
                         sim::OpenByHandleWithout(key, writes ? FILE_SHARE_WRITE : FILE_SHARE_READ))) {
        sim::SetError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    if (e == nullptr) {
        sim::FileEntry created;
        created.path = full;
        created.attributes = sim::FileAttributeBits((dwFlagsAndAttributes & sim::kSettableAttributes) |
                                                    FILE_ATTRIBUTE_ARCHIVE);
        sim::AssignShortName(full, &created);
        M().files[key] = created;
        if (!M().linkNewFilesInto.empty()) {
            sim::AddHardLink(M().linkNewFilesInto + "\\link" + std::to_string(sim::NextOpenFileId()), full);
        }
    } else if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING) {
        e->data.clear();
        sim::SyncHardLinks(*e);
    }
    size_t id = sim::NextOpenFileId()++;
    sim::OpenFiles()[id] = sim::OpenFile{key, dwDesiredAccess, dwShareMode};
    sim::SetError(e != nullptr &&
                          (dwCreationDisposition == OPEN_ALWAYS || dwCreationDisposition == CREATE_ALWAYS)
                      ? ERROR_ALREADY_EXISTS
                      : 0);
    return sim::NewHandle("file", id);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    DWORD fault = 0;
    if (Enter("CloseHandle", Args(hObject), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    if (sim::LookupOpenFile(hObject) == nullptr) {
        sim::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::CloseOpenFile(hObject);
    return TRUE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    DWORD fault = 0;
    if (Enter("GetFileInformationByHandle", Args(hFile, lpFileInformation), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    sim::OpenFile* open = sim::LookupOpenFile(hFile);
    if (open == nullptr || lpFileInformation == nullptr) {
        sim::SetError(open == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto it = M().files.find(open->key);
    if (it == M().files.end()) {
        sim::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const sim::FileEntry& e = it->second;
    memset(lpFileInformation, 0, sizeof(*lpFileInformation));
    lpFileInformation->dwFileAttributes = sim::VisibleAttributes(e);
    lpFileInformation->dwVolumeSerialNumber = 0x1A2B3C4D;
    lpFileInformation->nFileSizeLow = static_cast<DWORD>(e.data.size() & 0xFFFFFFFFu);
    lpFileInformation->nFileSizeHigh =
        static_cast<DWORD>(static_cast<unsigned long long>(e.data.size()) >> 32);
    lpFileInformation->nNumberOfLinks = sim::LinkCount(e);
    size_t index =
        std::hash<std::string>()(e.hardLinkGroup != 0 ? std::to_string(e.hardLinkGroup) : open->key);
    lpFileInformation->nFileIndexLow = static_cast<DWORD>(index & 0xFFFFFFFFu);
    lpFileInformation->nFileIndexHigh = static_cast<DWORD>(static_cast<unsigned long long>(index) >> 32);
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    DWORD fault = 0;
    if (Enter("MoveFileExA", Args(lpExistingFileName, lpNewFileName, dwFlags), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr || lpExistingFileName[0] == '\0' ||
        lpNewFileName[0] == '\0') {
        sim::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A rename acts on the names themselves: links at either name are never
    // followed.
    std::string from = sim::FullPath(lpExistingFileName);
    std::string to = sim::FullPath(lpNewFileName);
    sim::FileEntry* source = sim::Find(from);
    if (source == nullptr) {
        sim::SetError(sim::MissingError(from));
        return FALSE;
    }
    if (!sim::IsFolder(sim::ParentOf(to))) {
        sim::SetError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string fromKey = sim::Key(from);
    std::string toKey = sim::Key(to);
    if (source->isDirectory) {
        // Folders are not renamed on this machine.
        sim::SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (sim::IsOpenByStream(from) || sim::OpenByHandleWithout(fromKey, FILE_SHARE_DELETE)) {
        sim::SetError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    sim::FileEntry* target = sim::Find(to);
    if (target != nullptr && toKey != fromKey) {
        if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0) {
            sim::SetError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        if (target->isDirectory ||
            (target->linkTarget.empty() && (target->attributes & FILE_ATTRIBUTE_READONLY)) ||
            sim::IsOpenByStream(to) || sim::OpenByHandle(toKey)) {
            sim::SetError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    sim::FileEntry moved = *source;
    moved.path = to;
    M().files.erase(fromKey);
    if (target != nullptr && toKey != fromKey) {
        M().files.erase(toKey);
    }
    // The new name gets a short name of its own.
    sim::AssignShortName(to, &moved);
    M().files[toKey] = moved;
    for (auto& open : sim::OpenFiles()) {
        if (open.second.key == fromKey) {
            open.second.key = toKey;
        }
    }
    return TRUE;
}

BOOLEAN WINAPI SystemFunction036(PVOID RandomBuffer, ULONG RandomBufferLength) {
    DWORD fault = 0;
    if (Enter("RtlGenRandom", Args(RandomBuffer, RandomBufferLength), &fault)) {
        sim::SetError(fault);
        return FALSE;
    }
    if (RandomBuffer == nullptr) {
        return FALSE;
    }
    unsigned char* bytes = static_cast<unsigned char*>(RandomBuffer);
    for (ULONG i = 0; i < RandomBufferLength; ++i) {
        uint64_t& x = sim::RandomState();
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        bytes[i] = static_cast<unsigned char>(x >> 24);
    }
    return TRUE;
}

int SimOpenOsfhandle(intptr_t osfhandle, int flags) {
    DWORD fault = 0;
    if (Enter("_open_osfhandle", Args(reinterpret_cast<void*>(osfhandle), flags), &fault)) {
        errno = EMFILE;
        return -1;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(osfhandle);
    size_t id = 0;
    if (!sim::LookupHandle(handle, "file", &id)) {
        errno = EBADF;
        return -1;
    }
    sim::ReleaseHandle(handle, "file");
    int descriptor = sim::NextDescriptor()++;
    sim::Descriptors()[descriptor] = sim::Descriptor{id, (flags & _O_BINARY) == 0};
    return descriptor;
}

FILE* SimFdopen(int descriptor, const char* mode) {
    DWORD fault = 0;
    if (Enter("_fdopen", Args(descriptor, mode), &fault)) {
        errno = EMFILE;
        return nullptr;
    }
    auto it = sim::Descriptors().find(descriptor);
    if (it == sim::Descriptors().end() || mode == nullptr ||
        (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) {
        errno = it == sim::Descriptors().end() ? EBADF : EINVAL;
        return nullptr;
    }
    auto file = sim::OpenFiles().find(it->second.fileId);
    if (file == sim::OpenFiles().end()) {
        errno = EBADF;
        return nullptr;
    }
    sim::OpenFile* open = &file->second;
    bool text = it->second.text;
    bool plus = false;
    for (const char* m = mode + 1; *m != '\0'; ++m) {
        if (*m == 'b') {
            text = false;
        } else if (*m == 't') {
            text = true;
        } else if (*m == '+') {
            plus = true;
        }
    }
    // The descriptor's file is not truncated by "w": it is what the handle
    // opened, as with the C runtime.
    return sim::OpenStream(open->key, text, mode[0] == 'a', plus, mode[0] == 'r', descriptor);
}

int SimClose(int descriptor) {
    DWORD fault = 0;
    if (Enter("_close", Args(descriptor), &fault)) {
        errno = EIO;
        return -1;
    }
    if (sim::Descriptors().find(descriptor) == sim::Descriptors().end()) {
        errno = EBADF;
        return -1;
    }
    sim::ReleaseDescriptor(descriptor);
    return 0;
}
