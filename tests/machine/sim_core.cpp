// Journal, fault injection, handles and the test-facing run helpers.
#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "common/ascii_case.h"
#include "inf/inf_reader.h"
#include "run/run.h"
#include "sim_internal.h"

namespace sim {

namespace {

struct Fault {
    std::string name;
    int remaining; // calls to let through before failing; -1 = every call
    DWORD error;
    bool always;
};

std::vector<Fault>& Faults() {
    static std::vector<Fault> faults;
    return faults;
}

std::map<std::string, int>& CallCounts() {
    static std::map<std::string, int> counts;
    return counts;
}

struct HandleEntry {
    std::string kind;
    size_t object;
};

std::map<const void*, HandleEntry>& Handles() {
    static std::map<const void*, HandleEntry> handles;
    return handles;
}

uintptr_t& NextHandle() {
    static uintptr_t next = 0x10000;
    return next;
}

} // namespace

Machine& M() {
    static Machine machine;
    return machine;
}

bool Enter(const char* name, const std::vector<std::string>& args, DWORD* faultError) {
    std::string joined;
    for (size_t i = 0; i < args.size(); ++i) {
        joined += (i == 0 ? "" : ", ") + args[i];
    }
    M().journal.push_back(Call{name, args, joined});
    CallCounts()[name]++;
    // Every pending fault of this operation counts the call, so that two
    // faults on calls 1 and 3 fail exactly calls 1 and 3.
    bool fail = false;
    std::vector<Fault>& faults = Faults();
    for (size_t i = 0; i < faults.size();) {
        Fault& f = faults[i];
        if (f.name != name) {
            ++i;
            continue;
        }
        if (f.always) {
            if (!fail) {
                *faultError = f.error;
            }
            fail = true;
            ++i;
            continue;
        }
        if (f.remaining == 0) {
            if (!fail) {
                *faultError = f.error;
            }
            fail = true;
            faults.erase(faults.begin() + static_cast<long>(i));
            continue;
        }
        f.remaining--;
        ++i;
    }
    return fail;
}

void FailCall(const std::string& name, int nth, DWORD error) {
    Faults().push_back(Fault{name, nth - 1, error, false});
}

void FailAllCalls(const std::string& name, DWORD error) {
    Faults().push_back(Fault{name, -1, error, true});
}

void ClearFaults() {
    Faults().clear();
}

const std::vector<Call>& Journal() {
    return M().journal;
}

void ClearJournal() {
    M().journal.clear();
    CallCounts().clear();
}

int CallCount(const std::string& name) {
    int n = 0;
    for (const Call& c : M().journal) {
        if (c.name == name) {
            ++n;
        }
    }
    return n;
}

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const Call& c : M().journal) {
        names.push_back(c.name);
    }
    return names;
}

std::vector<std::string> CallLines(const std::vector<std::string>& names) {
    std::vector<std::string> lines;
    for (const Call& c : M().journal) {
        if (names.empty() || std::find(names.begin(), names.end(), c.name) != names.end()) {
            lines.push_back(c.name + "(" + c.args + ")");
        }
    }
    return lines;
}

bool ArgumentsMatch(const std::vector<std::string>& arguments, const std::string& args) {
    if (args == "...") {
        return true;
    }
    size_t pos = 0;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) {
            if (args.compare(pos, 2, ", ") != 0) {
                return false;
            }
            pos += 2;
        }
        if (args.compare(pos, std::string::npos, "...") == 0) {
            return true;
        }
        // Each argument is compared as the journal rendered it, so a text
        // holding ", " is no ambiguity.
        bool any =
            args.compare(pos, 1, "*") == 0 && (pos + 1 == args.size() || args.compare(pos + 1, 2, ", ") == 0);
        if (any) {
            pos += 1;
            continue;
        }
        const std::string& a = arguments[i];
        if (args.compare(pos, a.size(), a) != 0) {
            return false;
        }
        pos += a.size();
    }
    return pos == args.size() || args.compare(pos, std::string::npos, ", ...") == 0;
}

int FindCall(const std::string& name, const std::string& args, int from) {
    const std::vector<Call>& j = M().journal;
    for (size_t i = static_cast<size_t>(std::max(from, 0)); i < j.size(); ++i) {
        if (j[i].name == name && ArgumentsMatch(j[i].arguments, args)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<int> FindCalls(const std::string& name, const std::string& args) {
    std::vector<int> found;
    for (int at = FindCall(name, args); at >= 0; at = FindCall(name, args, at + 1)) {
        found.push_back(at);
    }
    return found;
}

void* NewHandle(const char* kind, size_t object) {
    uintptr_t value = NextHandle();
    NextHandle() += 0x10;
    void* handle = reinterpret_cast<void*>(value);
    Handles()[handle] = HandleEntry{kind, object};
    return handle;
}

void RegisterHandle(const void* handle, const char* kind, size_t object) {
    Handles()[handle] = HandleEntry{kind, object};
}

bool LookupHandle(const void* handle, const char* kind, size_t* object) {
    auto it = Handles().find(handle);
    if (it == Handles().end() || it->second.kind != kind) {
        return false;
    }
    if (object != nullptr) {
        *object = it->second.object;
    }
    return true;
}

bool ReleaseHandle(const void* handle, const char* kind) {
    auto it = Handles().find(handle);
    if (it == Handles().end() || it->second.kind != kind) {
        return false;
    }
    Handles().erase(it);
    return true;
}

const char* HandleKind(const void* handle) {
    auto it = Handles().find(handle);
    return it == Handles().end() ? nullptr : it->second.kind.c_str();
}

void ResetHandles() {
    Handles().clear();
}

int OpenHandleCount() {
    return static_cast<int>(Handles().size());
}

std::vector<std::string> OpenHandleKinds() {
    std::vector<std::string> kinds;
    for (const auto& h : Handles()) {
        kinds.push_back(h.second.kind);
    }
    return kinds;
}

std::string UpperAscii(const std::string& s) {
    return infreader::UpperAsciiText(s);
}

std::string LowerAsciiCopy(const std::string& s) {
    std::string r = s;
    for (char& c : r) {
        c = LowerAsciiChar(c);
    }
    return r;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return UpperAscii(a) == UpperAscii(b);
}

bool NtfsLess(const std::string& a, const std::string& b) {
    std::string ua = UpperAscii(a);
    std::string ub = UpperAscii(b);
    return std::lexicographical_compare(ua.begin(), ua.end(), ub.begin(), ub.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

std::string NormalizePath(const std::string& path) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    std::string out;
    for (char c : p) {
        if (c == '\\' && !out.empty() && out.back() == '\\') {
            continue;
        }
        out.push_back(c);
    }
    if (!out.empty() && out[0] == '\\') {
        out = "C:" + out;
    }
    while (out.size() > 3 && out.back() == '\\') {
        out.pop_back();
    }
    if (out.size() == 2 && out[1] == ':') {
        out.push_back('\\');
    }
    return out;
}

void Reset() {
    Machine& m = M();
    m = Machine();
    ClearFaults();
    ResetHandles();
    ResetFiles();
    ResetRegistry();
    ResetServices();
    ResetDevices();
    ResetInf();
    ResetMisc();
    SetLocalTime(2009, 3, 7, 9, 5, 2);
    SetWindowsDirectory("C:\\Windows");
    AddDirectory("C:\\Windows\\system32\\drivers");
    AddDirectory("C:\\Windows\\inf");
    AddDirectory("C:\\Windows\\Temp");
    SetExePath("C:\\Setup\\Hallimor_x64.exe");
    AddRegKey("SOFTWARE");
    AddRegKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    AddRegKey("SOFTWARE\\Wow6432Node");
    AddRegKey("SYSTEM\\CurrentControlSet\\Services");
    AddRegKey("SYSTEM\\CurrentControlSet\\Enum");
    SetRegString("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", "WinNT");
    ClearJournal();
}

int Run(const std::vector<std::string>& words) {
    std::vector<std::string> storage;
    storage.push_back(M().exePath);
    for (const std::string& w : words) {
        storage.push_back(w);
    }
    std::vector<char*> argv;
    for (std::string& s : storage) {
        argv.push_back(&s[0]);
    }
    argv.push_back(nullptr);
    return RunInstaller(static_cast<int>(storage.size()), argv.data());
}

std::string LogText() {
    std::string path = M().windowsDirectory + "\\Temp\\HandsetInstallInfo.log";
    if (!FileExists(path)) {
        return "";
    }
    return FileData(path);
}

static std::string CrLfToLf(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

std::vector<std::string> LogMessages() {
    std::string text = LogText();
    static const std::regex stamp(R"(\(\d+/\d+/\d+ \d+:\d+:\d+\) )");
    std::vector<std::string> messages;
    auto begin = std::sregex_iterator(text.begin(), text.end(), stamp);
    auto end = std::sregex_iterator();
    std::vector<std::pair<size_t, size_t>> marks;
    for (auto it = begin; it != end; ++it) {
        marks.emplace_back(static_cast<size_t>(it->position()), static_cast<size_t>(it->length()));
    }
    for (size_t i = 0; i < marks.size(); ++i) {
        size_t start = marks[i].first + marks[i].second;
        size_t stop = i + 1 < marks.size() ? marks[i + 1].first : text.size();
        messages.push_back(CrLfToLf(text.substr(start, stop - start)));
    }
    return messages;
}

std::string LogBody() {
    std::string body;
    for (const std::string& m : LogMessages()) {
        body += m;
    }
    return body;
}

} // namespace sim
