// What the installer sees of a driver package folder.
#include "package_scan.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/product_tables.h"

namespace fs = std::filesystem;

namespace {

// An INF this large is no driver INF: it is refused unread.
const std::uintmax_t kLargestInf = 10u * 1024u * 1024u;

// The entry of folder whose name is name, ignoring ASCII letter case, or an
// empty path.
fs::path ChildNoCase(const fs::path& folder, const std::string& name) {
    std::error_code error;
    fs::path exact = folder / name;
    if (fs::is_directory(exact, error)) {
        return exact;
    }
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (infreader::SameNameNoCase(it->path().filename().string(), name) && it->is_directory(error)) {
            return it->path();
        }
    }
    return fs::path();
}

// True when the text holds bytes that no INF holds: a NUL in a file that is
// not UTF-16, or control characters other than tab, line ends, form feed and
// the end-of-file mark.
bool LooksBinary(const std::string& raw) {
    if (infreader::IsUtf16Text(raw)) {
        return false;
    }
    size_t control = 0;
    for (char c : raw) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u == 0) {
            return true;
        }
        if (u < 0x20 && u != '\t' && u != '\r' && u != '\n' && u != '\f' && u != 0x1A) {
            ++control;
        }
    }
    return control > raw.size() / 100 + 2;
}

const char* InfStatusReason(infreader::InfStatus status) {
    switch (status) {
    case infreader::INF_WRONG_STYLE:
        return "no [Version] section with a Windows NT signature";
    case infreader::INF_BAD_SECTION_NAME_LINE:
        return "a section name without its closing ']'";
    case infreader::INF_SECTION_NAME_TOO_LONG:
        return "a section name longer than 255 characters";
    case infreader::INF_EXPECTED_SECTION_NAME:
        return "text before the first section";
    default:
        return "unreadable";
    }
}

// The provider an INF gives on a system of another language: the first
// field of [Version] Provider, or false when there is no such line.
bool ReadProvider(const infreader::InfFile& inf, std::string* provider) {
    const infreader::InfLine* line =
        infreader::FindKeyLine(infreader::FindInfSection(inf, "Version"), "Provider");
    if (line == nullptr) {
        return false;
    }
    *provider = line->fields.empty() ? "" : line->fields[0];
    return true;
}

// A language that none of the INF's strings sections is of: systems of it
// read [Strings].
unsigned LanguageWithoutSection(const infreader::InfFile& inf) {
    for (unsigned primary = 1; primary < 0x400; ++primary) {
        bool taken = false;
        for (const infreader::InfSection& section : inf.sections) {
            unsigned language = 0;
            taken = taken || (infreader::StringsSectionLanguage(section.name, &language) &&
                              (language & 0x3FF) == primary);
        }
        if (!taken) {
            return primary;
        }
    }
    return 0;
}

} // namespace

const std::vector<WindowsVersion>& KnownWindowsVersions() {
    // Windows 11 is 10.0 too: only its build (22000 and later) sets it apart.
    static const std::vector<WindowsVersion> versions = {
        {"Windows 2000", 5, 0, 2195},
        {"Windows XP", 5, 1, 2600},
        {"Windows XP x64 / Server 2003", 5, 2, 3790},
        {"Windows Vista / Server 2008", 6, 0, 6002},
        {"Windows 7 / Server 2008 R2", 6, 1, 7601},
        {"Windows 8 / Server 2012", 6, 2, 9200},
        {"Windows 8.1 / Server 2012 R2", 6, 3, 9600},
        {"Windows 10 / Server 2016 to 2022", 10, 0, 19045},
        {"Windows 11 / Server 2025", 10, 0, 22631},
    };
    return versions;
}

bool FindPackageLayouts(const fs::path& folder, std::vector<PackageLayout>* layouts) {
    std::error_code error;
    layouts->clear();
    if (!fs::is_directory(folder, error)) {
        return false;
    }
    fs::path drivers = ChildNoCase(folder, kPackageDriversFolder);
    fs::path base = drivers.empty() ? fs::path() : ChildNoCase(drivers, kPackageArchitectureFolder);
    // The layout's label: the package folder below the setup folder.
    const std::string packageFolder = kPackageFolderSuffix + 1;
    if (base.empty()) {
        // FOLDER is one package folder: the layout its name gives.
        std::string name = fs::absolute(folder, error).lexically_normal().filename().string();
        if (name.empty()) {
            name = fs::absolute(folder, error).lexically_normal().parent_path().filename().string();
        }
        PackageLayout only;
        for (const char* known : kOsFolderNames) {
            if (infreader::SameNameNoCase(name, known)) {
                only.osFolderName = known;
            }
        }
        only.folder = folder;
        only.label = only.osFolderName.empty() ? packageFolder : packageFolder + only.osFolderName + "\\";
        layouts->push_back(only);
    } else {
        // Each OS folder, then the package folder itself (Windows 8 and later).
        for (size_t i = 0; i <= OS_FOLDER_NAME_COUNT; ++i) {
            PackageLayout layout;
            layout.osFolderName = i < OS_FOLDER_NAME_COUNT ? kOsFolderNames[i] : "";
            layout.label =
                layout.osFolderName.empty() ? packageFolder : packageFolder + layout.osFolderName + "\\";
            layout.folder = layout.osFolderName.empty() ? base : ChildNoCase(base, layout.osFolderName);
            layouts->push_back(layout);
        }
    }
    for (PackageLayout& layout : *layouts) {
        for (const WindowsVersion& version : KnownWindowsVersions()) {
            if (layout.osFolderName == OsFolderNameForVersion(version.major, version.minor)) {
                layout.versions.push_back(version);
            }
        }
    }
    return true;
}

bool ScanPatternMatches(const std::string& name, const std::string& extension, bool* throughShortName) {
    *throughShortName = false;
    std::string upper = infreader::UpperAsciiText(name);
    std::string suffix = "." + infreader::UpperAsciiText(extension);
    if (upper.size() >= suffix.size() &&
        upper.compare(upper.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return true;
    }
    // The short name keeps the first three characters of the last extension.
    size_t dot = upper.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return false;
    }
    std::string last = upper.substr(dot + 1);
    if (last.size() > 3 && last.compare(0, 3, infreader::UpperAsciiText(extension)) == 0) {
        *throughShortName = true;
        return true;
    }
    return false;
}

bool NtfsNameLess(const std::string& a, const std::string& b) {
    return infreader::UpperAsciiText(a) < infreader::UpperAsciiText(b);
}

FolderListing ListPackageFolder(const fs::path& folder) {
    FolderListing listing;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        listing.readable = false;
        return listing;
    }
    for (fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            listing.readable = false;
            break;
        }
        std::string name = it->path().filename().string();
        listing.allNames.push_back(name);
        ListedName listed;
        listed.name = name;
        std::error_code kindError;
        listed.isDirectory = it->is_directory(kindError);
        bool shortName = false;
        if (ScanPatternMatches(name, "sys", &shortName)) {
            listed.shortNameMatch = shortName;
            listing.sys.push_back(listed);
        }
        if (ScanPatternMatches(name, "inf", &shortName)) {
            listed.shortNameMatch = shortName;
            listing.inf.push_back(listed);
        }
    }
    auto order = [](const ListedName& a, const ListedName& b) { return NtfsNameLess(a.name, b.name); };
    std::sort(listing.sys.begin(), listing.sys.end(), order);
    std::sort(listing.inf.begin(), listing.inf.end(), order);
    std::sort(listing.allNames.begin(), listing.allNames.end(), NtfsNameLess);
    return listing;
}

std::vector<std::string> ModelsSectionIds(const infreader::InfFile& inf, const std::string& section) {
    std::vector<std::string> ids;
    const infreader::InfSection* models = infreader::FindInfSection(inf, section);
    if (models == nullptr) {
        return ids;
    }
    for (const infreader::InfLine& line : models->lines) {
        for (size_t i = 1; i < line.fields.size(); ++i) {
            if (!line.fields[i].empty()) {
                ids.push_back(infreader::UpperAsciiText(line.fields[i]));
            }
        }
    }
    return ids;
}

InfFacts ReadInfFacts(const fs::path& path, const std::string& name, const infreader::ReadingSystem& system) {
    InfFacts facts;
    facts.name = name;
    std::error_code error;
    if (fs::is_directory(path, error)) {
        facts.unreadableReason = "a folder, not a file";
        return facts;
    }
    std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        facts.unreadableReason = "the file cannot be read";
        return facts;
    }
    if (size >= kLargestInf) {
        facts.unreadableReason = "the file is 10 MB or larger";
        return facts;
    }
    std::ifstream in(path, std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        facts.unreadableReason = "the file cannot be read";
        return facts;
    }
    if (LooksBinary(raw)) {
        facts.unreadableReason = "binary data, not INF text";
        return facts;
    }
    unsigned errorLine = 0;
    infreader::InfStatus status = infreader::ParseInfText(raw, system, &facts.inf, &errorLine);
    if (status != infreader::INF_OK) {
        facts.unreadableReason = InfStatusReason(status);
        if (errorLine != 0) {
            facts.unreadableReason += " (line " + std::to_string(errorLine) + ")";
        }
        return facts;
    }
    facts.readable = true;

    const infreader::InfSection* version = infreader::FindInfSection(facts.inf, "Version");
    facts.hasProvider = ReadProvider(facts.inf, &facts.provider);
    // Every other strings section, read as a system of its language reads it.
    for (const infreader::InfSection& section : facts.inf.sections) {
        infreader::ReadingSystem other = system;
        bool localized = infreader::StringsSectionLanguage(section.name, &other.language);
        if ((!localized && !infreader::SameNameNoCase(section.name, "Strings")) ||
            infreader::SameNameNoCase(section.name, facts.inf.stringsSection)) {
            continue;
        }
        other.language = localized ? other.language : LanguageWithoutSection(facts.inf);
        infreader::InfFile read;
        std::string provider;
        if (infreader::ParseInfText(raw, other, &read, nullptr) == infreader::INF_OK &&
            infreader::SameNameNoCase(read.stringsSection, section.name) && ReadProvider(read, &provider)) {
            facts.otherLanguageProviders.emplace_back(section.name, provider);
        }
    }
    if (const infreader::InfLine* catalog = infreader::FindX64CatalogLine(facts.inf)) {
        facts.hasCatalogLine = true;
        facts.catalogFile = catalog->fields.empty() ? "" : catalog->fields[0];
    }
    if (const infreader::InfLine* line = infreader::FindKeyLine(version, "DriverVer")) {
        facts.hasDriverVer = true;
        for (size_t i = 0; i < line->fields.size(); ++i) {
            facts.driverVer += (i == 0 ? "" : ",") + line->fields[i];
        }
    }

    const infreader::InfSection* manufacturer = infreader::FindInfSection(facts.inf, "Manufacturer");
    if (manufacturer != nullptr && !manufacturer->lines.empty()) {
        facts.hasManufacturer = true;
        facts.manufacturerLine = manufacturer->lines.front();
        facts.modelsSection = facts.manufacturerLine.fields.empty() ? "" : facts.manufacturerLine.fields[0];
        const infreader::InfSection* models =
            facts.modelsSection.empty() ? nullptr : infreader::FindInfSection(facts.inf, facts.modelsSection);
        facts.modelsSectionExists = models != nullptr;
        facts.modelsLines = models == nullptr ? 0 : models->lines.size();
        if (models != nullptr && !models->lines.empty()) {
            const infreader::InfLine& first = models->lines.front();
            facts.hasFirstHardwareId = first.fields.size() > 1;
            facts.firstHardwareId = first.fields.size() > 1 ? infreader::UpperAsciiText(first.fields[1]) : "";
            facts.modelHardwareIds = ModelsSectionIds(facts.inf, facts.modelsSection);
        }
    }

    for (const infreader::InfSection& section : facts.inf.sections) {
        for (const infreader::InfLine& line : section.lines) {
            if (line.hasKey) {
                facts.namedFiles.push_back(line.key);
                if (infreader::SameNameNoCase(line.key, "AddService") && !line.fields.empty() &&
                    !line.fields[0].empty()) {
                    facts.services.push_back(line.fields[0]);
                }
            }
            for (const std::string& field : line.fields) {
                facts.namedFiles.push_back(field);
                // A path names its file too (ServiceBinary = %12%\x.sys).
                size_t slash = field.find_last_of('\\');
                if (slash != std::string::npos) {
                    facts.namedFiles.push_back(field.substr(slash + 1));
                }
            }
        }
    }
    return facts;
}
