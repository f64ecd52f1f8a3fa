// Shared plumbing of the simulated machine's operations: the journal, fault
// injection, handle tables and path normalisation.
#ifndef HALLIMOR_TESTS_MACHINE_SIM_INTERNAL_H
#define HALLIMOR_TESTS_MACHINE_SIM_INTERNAL_H

#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "machine.h"

namespace sim {

// Journals a call and tells whether an injected fault makes it fail; the
// error to report is then in *faultError.
bool Enter(const char* name, const std::vector<std::string>& args, DWORD* faultError);

// The kind of a live handle that the machine gave out ("scm", "service",
// ...), or null for any other address.
const char* HandleKind(const void* handle);

// Argument rendering for the journal.
inline void AppendArg(std::ostringstream& out, const char* s) {
    if (s == nullptr) {
        out << "NULL";
    } else {
        out << '"' << s << '"';
    }
}
// A writable character pointer is an output buffer, possibly not filled yet:
// it is never read as text.
inline void AppendArg(std::ostringstream& out, char* s) {
    out << (s == nullptr ? "NULL" : "ptr");
}
inline void AppendArg(std::ostringstream& out, const std::string& s) {
    out << '"' << s << '"';
}
template <class T> void AppendArg(std::ostringstream& out, const T& v) {
    if constexpr (std::is_pointer_v<T>) {
        // A handle shows its kind, so that the journal tells which one a
        // call was given; any other address is "ptr".
        const char* kind = v == nullptr ? nullptr : HandleKind(reinterpret_cast<const void*>(v));
        if (v == nullptr) {
            out << "NULL";
        } else if (kind != nullptr) {
            out << kind;
        } else {
            out << "ptr";
        }
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        out << static_cast<long long>(v);
    } else {
        out << "?";
    }
}
template <class T> std::string ArgText(const T& v) {
    std::ostringstream out;
    AppendArg(out, v);
    return out.str();
}
// The arguments of a call, each rendered on its own.
template <class... T> std::vector<std::string> Args(const T&... v) {
    return std::vector<std::string>{ArgText(v)...};
}

// Handles: every handle the machine gives out is registered with its kind
// ("find", "inf", "key", "scm", "service", "lock", "devinfo", "local").
void* NewHandle(const char* kind, size_t object);
// The object number of a live handle of that kind, or false.
bool LookupHandle(const void* handle, const char* kind, size_t* object);
// Registers an address that the machine gave out itself (a local memory
// block) as a live handle of that kind.
void RegisterHandle(const void* handle, const char* kind, size_t object);
// Forgets a live handle; false when it was not live.
bool ReleaseHandle(const void* handle, const char* kind);
void ResetHandles();

// "C:/a\\\\b\\" -> "C:\\a\\b" (separators unified and collapsed, trailing
// backslash dropped except for a drive root; a path starting with one
// backslash gets the current drive "C:").
std::string NormalizePath(const std::string& path);
std::string UpperAscii(const std::string& s);
std::string LowerAsciiCopy(const std::string& s);
bool EqualNoCase(const std::string& a, const std::string& b);
// NTFS-like ordering of names: upper-cased byte values.
bool NtfsLess(const std::string& a, const std::string& b);

// Per-area resets, called by Reset() in this order before the defaults are
// laid out.
void ResetFiles();
void ResetRegistry();
void ResetServices();
void ResetDevices();
void ResetInf();
void ResetMisc();

// The fixed module handles of the running program and of kernel32.dll, as
// GetModuleHandleA gives them.
HMODULE ExeModule();
HMODULE Kernel32Module();

// Error texts the system gives for FormatMessageA; nullptr when it has none.
const char* SystemErrorText(DWORD code);

} // namespace sim

#endif
