// hallimor-check inf: what SetupAPI and the installer read from each INF, as
// one system reads it (its language and ANSI code page), so that a release
// engineer can see it and a test can hold it against SetupAPI itself.
#include <stdlib.h>

#include <string>
#include <vector>

#include "check.h"
#include "package_scan.h"

namespace {

struct Options {
    std::vector<std::string> files;
    bool json = false;
    infreader::ReadingSystem system;
};

// A whole number of that base no greater than max; false for anything else.
bool ParseNumber(const std::string& text, int base, unsigned long max, unsigned* value) {
    const char* digits = text.c_str();
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        digits += 2;
    }
    char* end = nullptr;
    unsigned long number =
        *digits == '\0' || *digits == '-' || *digits == '+' ? 0 : strtoul(digits, &end, base);
    if (end == nullptr || *end != '\0' || number == 0 || number > max) {
        return false;
    }
    *value = static_cast<unsigned>(number);
    return true;
}

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* reason) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            options->json = true;
        } else if (a == "--language" || a == "--codepage") {
            bool language = a == "--language";
            unsigned* value = language ? &options->system.language : &options->system.codePage;
            if (i + 1 >= args.size() || !ParseNumber(args[i + 1], language ? 16 : 10, 0xFFFF, value)) {
                *reason = language ? "--language needs a language ID (hexadecimal, for example 0x0804)"
                                   : "--codepage needs a code page number (for example 1252)";
                return false;
            }
            ++i;
            if (!language && !infreader::IsSupportedCodePage(*value)) {
                *reason = "code page " + args[i] + " is not one the checker converts to (1250, 1251, 1252)";
                return false;
            }
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            *reason = "unknown option " + a;
            return false;
        } else {
            options->files.push_back(a);
        }
    }
    if (options->files.empty()) {
        *reason = "no FILE given";
        return false;
    }
    return true;
}

// What one Windows version reads: the models section x64 picks ("" for
// none) and its lines.
struct WindowsReading {
    WindowsVersion version;
    std::string modelsSection;
    size_t lines;
};

size_t SectionLines(const infreader::InfFile& inf, const std::string& name) {
    const infreader::InfSection* section = name.empty() ? nullptr : infreader::FindInfSection(inf, name);
    return section == nullptr ? 0 : section->lines.size();
}

std::vector<WindowsReading> ReadByEveryWindows(const InfFacts& facts) {
    std::vector<WindowsReading> readings;
    for (const WindowsVersion& v : KnownWindowsVersions()) {
        infreader::TargetWindows target;
        target.major = v.major;
        target.minor = v.minor;
        target.build = v.build;
        std::string section =
            facts.hasManufacturer ? infreader::SelectX64ModelsSection(facts.manufacturerLine, target) : "";
        readings.push_back(WindowsReading{v, section, SectionLines(facts.inf, section)});
    }
    return readings;
}

std::string VersionNumber(const WindowsVersion& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build);
}

std::string JsonOrNull(bool present, const std::string& text) {
    return present ? JsonString(text) : std::string("null");
}

void PrintJson(const InfFacts& f, std::ostream& out) {
    out << "{\"file\": " << JsonString(f.name) << ", \"readable\": " << (f.readable ? "true" : "false");
    if (!f.readable) {
        out << ", \"reason\": " << JsonString(f.unreadableReason) << "}";
        return;
    }
    out << ", \"stringsSection\": " << JsonOrNull(!f.inf.stringsSection.empty(), f.inf.stringsSection)
        << ", \"provider\": " << JsonOrNull(f.hasProvider, f.provider)
        << ", \"catalog\": " << JsonOrNull(f.hasCatalogLine, f.catalogFile)
        << ", \"driverVer\": " << JsonOrNull(f.hasDriverVer, f.driverVer)
        << ", \"installer\": {\"modelsSection\": " << JsonOrNull(f.hasManufacturer, f.modelsSection)
        << ", \"lines\": " << f.modelsLines
        << ", \"firstHardwareId\": " << JsonOrNull(f.hasFirstHardwareId, f.firstHardwareId)
        << "}, \"windows\": [";
    std::vector<WindowsReading> readings = ReadByEveryWindows(f);
    for (size_t i = 0; i < readings.size(); ++i) {
        const WindowsReading& r = readings[i];
        out << (i == 0 ? "" : ", ") << "{\"name\": " << JsonString(r.version.name) << ", \"version\": \""
            << VersionNumber(r.version)
            << "\", \"modelsSection\": " << JsonOrNull(!r.modelsSection.empty(), r.modelsSection)
            << ", \"lines\": " << r.lines << "}";
    }
    out << "]}";
}

// "[KWE]: 2 lines", "[KWE]: no line", "[KWE]: no such section".
std::string SectionText(const InfFacts& f, const std::string& name, size_t lines) {
    std::string text = "[" + name + "]: ";
    if (infreader::FindInfSection(f.inf, name) == nullptr) {
        return text + "no such section";
    }
    return text + (lines == 0 ? "no line" : lines == 1 ? "1 line" : std::to_string(lines) + " lines");
}

void PrintText(const InfFacts& f, std::ostream& out) {
    out << f.name << "\n";
    if (!f.readable) {
        out << "  unreadable: " << f.unreadableReason << "\n";
        return;
    }
    auto shown = [](bool present, const std::string& text) { return present ? text : std::string("(none)"); };
    out << "  strings section    " << shown(!f.inf.stringsSection.empty(), "[" + f.inf.stringsSection + "]")
        << "\n"
        << "  provider           " << shown(f.hasProvider, f.provider) << "\n"
        << "  catalog            " << shown(f.hasCatalogLine, f.catalogFile) << "\n"
        << "  DriverVer          " << shown(f.hasDriverVer, f.driverVer) << "\n"
        << "  installer          ";
    if (!f.hasManufacturer) {
        out << "no [Manufacturer] line\n";
    } else {
        out << SectionText(f, f.modelsSection, f.modelsLines) << ", first hardware ID "
            << shown(f.hasFirstHardwareId, f.firstHardwareId) << "\n";
    }
    for (const WindowsReading& r : ReadByEveryWindows(f)) {
        out << "  " << r.version.name << " (" << VersionNumber(r.version) << "): "
            << (r.modelsSection.empty() ? std::string("no models section for x64")
                                        : SectionText(f, r.modelsSection, r.lines))
            << "\n";
    }
}

} // namespace

int RunInfVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    std::string reason;
    if (!ParseOptions(args, &options, &reason)) {
        return RefuseArguments(err, kInfVerbUsage, reason);
    }
    bool allReadable = true;
    if (options.json && options.files.size() > 1) {
        out << "[";
    }
    for (size_t i = 0; i < options.files.size(); ++i) {
        InfFacts facts = ReadInfFacts(options.files[i], options.files[i], options.system);
        allReadable = allReadable && facts.readable;
        if (options.json) {
            out << (options.files.size() == 1 ? "" : i == 0 ? "\n  " : ",\n  ");
            PrintJson(facts, out);
        } else {
            out << (i == 0 ? "" : "\n");
            PrintText(facts, out);
        }
    }
    if (options.json) {
        out << (options.files.size() > 1 ? "\n]\n" : "\n");
    }
    return allReadable ? CHECK_EXIT_OK : CHECK_EXIT_FINDINGS;
}
