// hallimor-check package: checks a driver package against what the installer
// will do with it, layout by layout, and reports every finding with the
// file, a severity and what the installer or Windows will do because of it.
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "check.h"
#include "common/product_tables.h"
#include "common/vendor_config.h"
#include "package_scan.h"
#include "package_signing.h"

namespace fs = std::filesystem;

namespace {

const char kDefaultSetupDir[] = "C:\\Program Files (x86)\\KWE Setup";

// The longest path the installer's buffers hold.
const size_t kLongestPath = PATH_BUFFER_SIZE - 1;

// Drivers that Windows itself ships for the USB, serial, modem, storage,
// network and smart-card stacks. The superseded removal deletes the system
// drivers folder's file of every package .sys name before each run, so a
// package file of one of these names deletes the system's own copy.
const char* const kInboxDriverNames[] = {
    "usbser.sys",   "usbstor.sys", "usbccgp.sys",  "serial.sys",   "serenum.sys",  "modem.sys",
    "mdmxsdk.sys",  "usbhub.sys",  "usbhub3.sys",  "usbport.sys",  "usbehci.sys",  "usbuhci.sys",
    "usbohci.sys",  "usbxhci.sys", "ucx01000.sys", "usbd.sys",     "hidusb.sys",   "hidclass.sys",
    "disk.sys",     "partmgr.sys", "volmgr.sys",   "storport.sys", "classpnp.sys", "cdrom.sys",
    "uaspstor.sys", "sfloppy.sys", "ndis.sys",     "tcpip.sys",    "rndismp.sys",  "rndismp6.sys",
    "usb8023.sys",  "netvsc.sys",  "wdf01000.sys", "wdfldr.sys",   "ks.sys",       "usbaudio.sys",
    "usbvideo.sys", "portcls.sys", "drmk.sys",     "usbccid.sys",  "scfilter.sys", "winusb.sys",
    "wmbclass.sys", "umbus.sys",   "mup.sys",      "ntfs.sys",     "fastfat.sys",  "exfat.sys",
};

enum Severity { SEVERITY_ERROR, SEVERITY_WARNING, SEVERITY_NOTE };

struct Finding {
    std::string layout;
    std::string file;
    Severity severity;
    std::string code;
    std::string message;
};

struct Options {
    std::string folder;
    std::string setupDir = kDefaultSetupDir;
    std::vector<std::string> trust; // --trust PEM files
    bool json = false;
    bool strict = false;
};

const char* SeverityName(Severity s) {
    return s == SEVERITY_ERROR ? "error" : s == SEVERITY_WARNING ? "warning" : "note";
}

bool IsInboxDriverName(const std::string& name) {
    for (const char* inbox : kInboxDriverNames) {
        if (infreader::SameNameNoCase(name, inbox)) {
            return true;
        }
    }
    return false;
}

std::string Join(const std::vector<std::string>& items, const char* separator = ", ") {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? "" : separator) + items[i];
    }
    return text;
}

std::string VersionNames(const std::vector<WindowsVersion>& versions) {
    std::vector<std::string> names;
    for (const WindowsVersion& v : versions) {
        names.push_back(v.name);
    }
    return names.empty() ? std::string("no Windows version") : Join(names);
}

// mm/dd/yyyy,w.x.y.z; a hyphen may separate the date's parts instead.
bool WellFormedDriverVer(const std::string& text) {
    size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    std::string date = text.substr(0, comma);
    std::string version = text.substr(comma + 1);
    if (date.size() != 10 || (date[2] != '/' && date[2] != '-') || date[5] != date[2]) {
        return false;
    }
    for (size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 8u, 9u}) {
        if (date[i] < '0' || date[i] > '9') {
            return false;
        }
    }
    int parts = 0;
    bool digit = false;
    for (char c : version) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && digit) {
            ++parts;
            digit = false;
        } else {
            return false;
        }
    }
    return digit && parts == 3;
}

// True when the removal table covers the hardware ID: some entry equals its
// first VENDOR_HARDWARE_ID_LENGTH characters, letter case ignored.
bool RemovalCovers(const std::string& id) {
    if (id.size() < VENDOR_HARDWARE_ID_LENGTH) {
        return false;
    }
    for (const char* entry : kRemovalHardwareIds) {
        if (infreader::SameNameNoCase(id.substr(0, VENDOR_HARDWARE_ID_LENGTH), entry)) {
            return true;
        }
    }
    return false;
}

bool NamesFile(const InfFacts& inf, const std::string& file) {
    for (const std::string& named : inf.namedFiles) {
        if (infreader::SameNameNoCase(named, file)) {
            return true;
        }
    }
    return false;
}

struct LayoutContext {
    const PackageLayout* layout;
    const Options* options;
    FolderListing listing;
    std::vector<InfFacts> infs; // in INF list order
    std::vector<Finding>* findings;
};

// A finding stands once per layout, file and code: a second one adds its
// message to the first.
void Add(LayoutContext& c, const std::string& file, Severity severity, const std::string& code,
         const std::string& message) {
    for (Finding& f : *c.findings) {
        if (f.layout == c.layout->label && f.file == file && f.code == code) {
            f.message += f.message == message ? "" : " " + message;
            return;
        }
    }
    c.findings->push_back(Finding{c.layout->label, file, severity, code, message});
}

bool IsVendorProvider(const std::string& provider) {
    for (const char* vendor : kVendorProviders) {
        if (provider == vendor) {
            return true;
        }
    }
    return false;
}

std::string WindowsPath(const LayoutContext& c, const std::string& name) {
    std::string base = c.options->setupDir;
    if (!base.empty() && base.back() == '\\') {
        base.pop_back();
    }
    // The installer builds "<folder>\Drivers\64bit\<OS folder name>\"; with
    // no OS folder name the path carries a doubled backslash.
    return base + kPackageFolderSuffix + c.layout->osFolderName + "\\" + name;
}

void CheckScanLimits(LayoutContext& c) {
    for (const auto* list : {&c.listing.sys, &c.listing.inf}) {
        const char* kind = list == &c.listing.sys ? ".sys" : ".inf";
        if (list->size() > PACKAGE_LIST_CAPACITY) {
            Add(c, "", SEVERITY_ERROR, "SCAN_TOO_MANY",
                std::to_string(list->size()) + " " + kind + " names are listed: the scan holds " +
                    std::to_string(PACKAGE_LIST_CAPACITY) +
                    ", so the installer logs the overflow and ends with -1.");
        }
        for (const ListedName& listed : *list) {
            if (listed.name.size() > PACKAGE_NAME_SIZE - 1) {
                Add(c, listed.name, SEVERITY_ERROR, "SCAN_NAME_TOO_LONG",
                    "The name has " + std::to_string(listed.name.size()) + " characters: the scan holds " +
                        std::to_string(PACKAGE_NAME_SIZE - 1) + ", so the installer ends with -1.");
            }
            std::string path = WindowsPath(c, listed.name);
            if (path.size() > kLongestPath) {
                Add(c, listed.name, SEVERITY_ERROR, "PATH_TOO_LONG",
                    "With the setup folder at " + c.options->setupDir + " its path has " +
                        std::to_string(path.size()) + " characters, more than " +
                        std::to_string(kLongestPath) + ": the installer cannot copy or store it.");
            }
            if (listed.shortNameMatch) {
                Add(c, listed.name, SEVERITY_ERROR, "SHORT_NAME_MATCH",
                    std::string("The *") + kind +
                        " search also lists this name through its 8.3 short name on volumes "
                        "that keep short names: it enters the list and shifts the pairing.");
            }
            if (listed.isDirectory) {
                Add(c, listed.name, SEVERITY_ERROR, "FOLDER_LISTED",
                    std::string("A folder that the *") + kind +
                        " search lists like a file: staging or storing it fails.");
            }
        }
    }
}

void CheckFilterPairing(LayoutContext& c) {
    std::vector<const char*> names;
    for (const ListedName& listed : c.listing.sys) {
        names.push_back(listed.name.c_str());
    }
    int filterIndex = FindFilterDriverIndex(names.data(), static_cast<int>(names.size()));
    // The filter driver's INF: the INF that copies or names its file.
    std::vector<std::string> filterInfs;
    for (const InfFacts& inf : c.infs) {
        if (inf.readable && NamesFile(inf, kFilterDriverFile)) {
            filterInfs.push_back(inf.name);
        }
    }
    if (filterIndex < 0) {
        for (const ListedName& listed : c.listing.sys) {
            if (infreader::SameNameNoCase(listed.name, kFilterDriverFile)) {
                Add(c, listed.name, SEVERITY_ERROR, "FILTER_NAME_CASE",
                    std::string("The filter driver is recognised only as \"") + kFilterDriverFile +
                        "\", letter case included: no filter is applied and Install binds every INF.");
            }
        }
        return;
    }
    if (filterIndex >= static_cast<int>(c.infs.size())) {
        Add(c, kFilterDriverFile, SEVERITY_ERROR, "FILTER_NOT_PAIRED",
            "It stands at index " + std::to_string(filterIndex + 1) +
                " of the .sys list but the INF list has only " + std::to_string(c.infs.size()) +
                " entries: the filter is never detected or applied.");
        return;
    }
    const std::string& paired = c.infs[static_cast<size_t>(filterIndex)].name;
    bool pairedIsFilter = std::find(filterInfs.begin(), filterInfs.end(), paired) != filterInfs.end();
    if (!pairedIsFilter) {
        std::string filterInf = filterInfs.empty() ? std::string("no INF of the layout") : Join(filterInfs);
        Add(c, paired, SEVERITY_ERROR, "FILTER_PAIRING",
            std::string("It stands at the index of \"") + kFilterDriverFile + "\" (" +
                std::to_string(filterIndex + 1) + ") in NTFS order but is not the filter driver's INF (" +
                filterInf + "): Install stores " + paired + " unbound and binds " + filterInf +
                " like any other INF.");
    }
    Add(c, kFilterDriverFile, SEVERITY_NOTE, "FILTER_ORDER_NTFS",
        "The pairing by index holds where the package is read from NTFS; FAT and exFAT media return names in "
        "creation order.");
}

void CheckInf(LayoutContext& c, const InfFacts& inf, const std::set<std::string>& folderNames) {
    if (!inf.readable) {
        Add(c, inf.name, SEVERITY_ERROR, "INF_UNREADABLE",
            "SetupAPI cannot read it (" + inf.unreadableReason +
                "): it is not stored and none of its devices is bound.");
        return;
    }
    if (!inf.hasManufacturer) {
        Add(c, inf.name, SEVERITY_ERROR, "NO_MANUFACTURER",
            "No [Manufacturer] section: Install binds none of its devices and the superseded removal cannot "
            "read "
            "its first hardware ID.");
        return;
    }
    if (!inf.modelsSectionExists) {
        Add(c, inf.name, SEVERITY_ERROR, "MODELS_SECTION_MISSING",
            "The first Manufacturer line names [" + inf.modelsSection +
                "], which does not exist under that name: Install binds none of its devices and the "
                "superseded "
                "removal cannot read its first hardware ID.");
    } else if (inf.modelsLines == 0) {
        Add(c, inf.name, SEVERITY_ERROR, "MODELS_SECTION_EMPTY",
            "[" + inf.modelsSection +
                "], which the first Manufacturer line names, has no line: SetupFindFirstLineA finds none, so "
                "Install binds none of its devices and the superseded removal cannot read its first hardware "
                "ID.");
    }
    // 64-bit Windows matches devices only through an NTamd64 section; an
    // empty one excludes the versions that pick it.
    std::vector<std::string> missingFor;
    std::vector<std::string> emptyFor;
    std::string decorated;
    for (const WindowsVersion& v : c.layout->versions) {
        infreader::TargetWindows target;
        target.major = v.major;
        target.minor = v.minor;
        target.build = v.build;
        std::string selected = infreader::SelectX64ModelsSection(inf.manufacturerLine, target);
        const infreader::InfSection* section =
            selected.empty() ? nullptr : infreader::FindInfSection(inf.inf, selected);
        if (section == nullptr) {
            missingFor.push_back(v.name);
        } else if (section->lines.empty()) {
            emptyFor.push_back(std::string(v.name) + " [" + selected + "]");
        } else if (decorated.empty()) {
            decorated = selected;
        }
    }
    if (c.layout->versions.empty()) {
        infreader::TargetWindows target;
        decorated = infreader::SelectX64ModelsSection(inf.manufacturerLine, target);
        if (decorated.empty() || infreader::FindInfSection(inf.inf, decorated) == nullptr) {
            missingFor.push_back("64-bit Windows");
            decorated.clear();
        }
    }
    if (!missingFor.empty()) {
        Add(c, inf.name, SEVERITY_ERROR, "NO_NTAMD64_MODELS",
            "No .NTamd64 models section that applies to " + Join(missingFor) +
                ": 64-bit Windows matches no device through it.");
    }
    if (!emptyFor.empty()) {
        Add(c, inf.name, SEVERITY_ERROR, "NTAMD64_MODELS_EMPTY",
            "The models section that 64-bit Windows picks has no line for " + Join(emptyFor) +
                ": Windows installs none of its devices there.");
    }
    if (!inf.hasCatalogLine || inf.catalogFile.empty()) {
        Add(c, inf.name, SEVERITY_ERROR, "NO_CATALOG",
            "[Version] names no catalog (CatalogFile.NTamd64, CatalogFile.NT or CatalogFile): Windows "
            "refuses "
            "to store the INF for a signed install.");
    } else if (folderNames.count(infreader::UpperAsciiText(inf.catalogFile)) == 0) {
        Add(c, inf.name, SEVERITY_ERROR, "CATALOG_MISSING",
            "The catalog " + inf.catalogFile + " is not in the folder: Windows refuses to store the INF.");
    }
    if (inf.modelsSectionExists && inf.modelsLines > 0) {
        std::string prefix = infreader::UpperAsciiText(kVendorHardwareIdPrefix);
        if (inf.firstHardwareId.empty()) {
            Add(c, inf.name, SEVERITY_WARNING, "FIRST_ID_EMPTY",
                "The first line of [" + inf.modelsSection +
                    "] has no hardware ID in field 2: the superseded removal reads an empty first hardware "
                    "ID, so superseded copies of this INF are never removed.");
        } else if (inf.firstHardwareId.compare(0, prefix.size(), prefix) != 0) {
            Add(c, inf.name, SEVERITY_ERROR, "FIRST_ID_FOREIGN",
                "Its first hardware ID " + inf.firstHardwareId + " does not begin with " + prefix +
                    ": every driver-store INF whose first ID is the same, another maker's included, is "
                    "deleted "
                    "before every run.");
        }
        if (!decorated.empty()) {
            std::vector<std::string> plain = inf.modelHardwareIds;
            std::vector<std::string> amd64 = ModelsSectionIds(inf.inf, decorated);
            std::sort(plain.begin(), plain.end());
            std::sort(amd64.begin(), amd64.end());
            plain.erase(std::unique(plain.begin(), plain.end()), plain.end());
            amd64.erase(std::unique(amd64.begin(), amd64.end()), amd64.end());
            if (plain != amd64 && !infreader::SameNameNoCase(decorated, inf.modelsSection)) {
                Add(c, inf.name, SEVERITY_WARNING, "MODELS_DIFFER",
                    "[" + inf.modelsSection + "] and [" + decorated +
                        "] list different hardware IDs: the installer binds by the first, Windows matches by "
                        "the "
                        "second.");
            }
        }
        std::vector<std::string> uncovered;
        for (const std::string& id : inf.modelHardwareIds) {
            if (id.compare(0, 4, "USB\\") == 0 && id.find("VID_") != std::string::npos &&
                !RemovalCovers(id) && std::find(uncovered.begin(), uncovered.end(), id) == uncovered.end()) {
                uncovered.push_back(id);
            }
        }
        if (!uncovered.empty()) {
            Add(c, inf.name, SEVERITY_WARNING, "REMOVAL_NOT_COVERED",
                "Hardware IDs that the removal table does not cover: " + Join(uncovered) +
                    ". Uninstall and Preinstall_cfg leave those devices.");
        }
    }
    if (!IsVendorProvider(inf.provider)) {
        Add(c, inf.name, SEVERITY_WARNING, "PROVIDER_NOT_PURGED",
            "Provider \"" + inf.provider +
                "\" is not one of Clean's providers: Clean leaves the INF in the driver store.");
    }
    // Clean compares the provider byte for byte as the machine's language reads it.
    std::vector<std::string> foreign;
    for (const auto& other : inf.otherLanguageProviders) {
        if (!IsVendorProvider(other.second)) {
            foreign.push_back("[" + other.first + "] gives \"" + other.second + "\"");
        }
    }
    if (!foreign.empty()) {
        Add(c, inf.name, SEVERITY_WARNING, "LOCALIZED_PROVIDER_NOT_PURGED",
            "On systems whose language reads another strings section the provider is none of Clean's: " +
                Join(foreign, "; ") +
                ". Clean compares it byte for byte and leaves the INF in the driver store.");
    }
    std::vector<std::string> unknownServices;
    for (const std::string& service : inf.services) {
        bool known = false;
        for (const char* vendor : kVendorServices) {
            known = known || infreader::SameNameNoCase(service, vendor);
        }
        for (const std::string& listed : unknownServices) {
            known = known || infreader::SameNameNoCase(service, listed);
        }
        if (!known) {
            unknownServices.push_back(service);
        }
    }
    if (!unknownServices.empty()) {
        Add(c, inf.name, SEVERITY_WARNING, "SERVICE_NOT_PURGED",
            "Services not in Clean's service table, which Clean leaves: " + Join(unknownServices) + ".");
    }
    if (!inf.hasDriverVer) {
        Add(c, inf.name, SEVERITY_WARNING, "DRIVERVER_MISSING",
            "[Version] has no DriverVer: Windows ranks drivers by it.");
    } else if (!WellFormedDriverVer(inf.driverVer)) {
        Add(c, inf.name, SEVERITY_WARNING, "DRIVERVER_FORM",
            "DriverVer \"" + inf.driverVer + "\" is not mm/dd/yyyy,w.x.y.z (or mm-dd-yyyy,w.x.y.z).");
    }
}

void CheckDriverFiles(LayoutContext& c) {
    for (const ListedName& listed : c.listing.sys) {
        if (IsInboxDriverName(listed.name)) {
            Add(c, listed.name, SEVERITY_ERROR, "INBOX_DRIVER_NAME",
                "A driver that Windows itself ships has this name: the superseded removal deletes the "
                "system's own "
                "copy from the system drivers folder before every run.");
        }
        bool named = false;
        for (const InfFacts& inf : c.infs) {
            named = named || (inf.readable && NamesFile(inf, listed.name));
        }
        if (!named) {
            Add(c, listed.name, SEVERITY_WARNING, "SYS_UNUSED",
                "No INF of the layout names it: it is copied to the system drivers folder and no driver uses "
                "it.");
        }
        bool purged = listed.name == kFilterDriverFile;
        for (const char* file : kVendorDriverFiles) {
            purged = purged || infreader::SameNameNoCase(listed.name, file);
        }
        if (!purged) {
            Add(c, listed.name, SEVERITY_WARNING, "FILE_NOT_PURGED",
                "Not in Clean's driver file table: Clean leaves it in the system drivers folder.");
        }
    }
}

void CheckFirstIdsShared(LayoutContext& c) {
    std::map<std::string, std::vector<std::string>> byId;
    for (const InfFacts& inf : c.infs) {
        if (inf.readable && !inf.firstHardwareId.empty()) {
            byId[inf.firstHardwareId].push_back(inf.name);
        }
    }
    for (const auto& entry : byId) {
        if (entry.second.size() > 1) {
            Add(c, entry.second[1], SEVERITY_WARNING, "FIRST_ID_SHARED",
                "Its first hardware ID " + entry.first + " is also the first of " + entry.second[0] +
                    ": the superseded removal cannot tell their driver-store copies apart.");
        }
    }
}

// Checks one layout; false when it holds no package (no .sys or no .inf).
bool CheckLayout(const PackageLayout& layout, const Options& options, SigningContext* signing,
                 std::vector<CatalogSummary>* catalogs, std::vector<Finding>* findings) {
    LayoutContext c{&layout, &options, ListPackageFolder(layout.folder), {}, findings};
    if (!c.listing.readable || c.listing.sys.empty() || c.listing.inf.empty()) {
        return false;
    }
    std::set<std::string> folderNames;
    for (const std::string& name : c.listing.allNames) {
        folderNames.insert(infreader::UpperAsciiText(name));
    }
    for (const ListedName& listed : c.listing.inf) {
        c.infs.push_back(ReadInfFacts(layout.folder / listed.name, listed.name));
    }
    CheckScanLimits(c);
    CheckFilterPairing(c);
    for (const InfFacts& inf : c.infs) {
        CheckInf(c, inf, folderNames);
    }
    CheckFirstIdsShared(c);
    CheckDriverFiles(c);
    // Each INF against its catalog, as Windows' signature check sees them.
    std::vector<SigningFinding> signingFindings;
    for (const InfFacts& inf : c.infs) {
        CheckInfSigning(layout, inf, signing, &signingFindings, catalogs);
    }
    for (const SigningFinding& f : signingFindings) {
        Add(c, f.file,
            f.severity == SIGNING_ERROR     ? SEVERITY_ERROR
            : f.severity == SIGNING_WARNING ? SEVERITY_WARNING
                                            : SEVERITY_NOTE,
            f.code, f.message);
    }
    return true;
}

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* reason) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            options->json = true;
        } else if (a == "--strict") {
            options->strict = true;
        } else if (a == "--setup-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *reason = "--setup-dir needs a Windows path";
                return false;
            }
            options->setupDir = args[++i];
        } else if (a == "--trust") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *reason = "--trust needs a PEM file of trusted certificates";
                return false;
            }
            options->trust.push_back(args[++i]);
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            *reason = "unknown option " + a;
            return false;
        } else if (options->folder.empty()) {
            options->folder = a;
        } else {
            *reason = "one FOLDER only";
            return false;
        }
    }
    if (options->folder.empty()) {
        *reason = "no FOLDER given";
        return false;
    }
    return true;
}

} // namespace

int RunPackageVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    std::string reason;
    if (!ParseOptions(args, &options, &reason)) {
        return RefuseArguments(err, kPackageVerbUsage, reason);
    }
    std::vector<PackageLayout> layouts;
    if (!FindPackageLayouts(options.folder, &layouts)) {
        err << "hallimor-check package: " << options.folder << " is not a folder that can be read\n";
        return CHECK_EXIT_CANNOT;
    }

    SigningContext signing;
    signing.now = static_cast<int64_t>(time(nullptr));
    for (const std::string& path : options.trust) {
        if (!AddTrustedRoots(path, &signing, &reason)) {
            err << "hallimor-check package: --trust " << reason << "\n";
            return CHECK_EXIT_CANNOT;
        }
    }

    std::vector<Finding> findings;
    std::vector<CatalogSummary> catalogs;
    std::vector<std::string> summaries;
    int withPackage = 0;
    for (const PackageLayout& layout : layouts) {
        std::vector<Finding> own;
        bool holds = !layout.folder.empty() && CheckLayout(layout, options, &signing, &catalogs, &own);
        withPackage += holds ? 1 : 0;
        summaries.push_back(layout.label + (holds ? " holds a package" : " holds no package") + ", read by " +
                            VersionNames(layout.versions));
        if (!holds && !layout.versions.empty()) {
            own.push_back(
                Finding{layout.label, "", SEVERITY_NOTE, "NO_PACKAGE",
                        VersionNames(layout.versions) +
                            " find no package here (no .sys or no .inf): the installer ends with -1 there."});
        }
        findings.insert(findings.end(), own.begin(), own.end());
    }
    if (withPackage == 0) {
        findings.push_back(
            Finding{"", "", SEVERITY_ERROR, "NO_PACKAGE_AT_ALL",
                    "No layout holds a package: the installer ends with -1 on every Windows version."});
    }

    int errors = 0;
    int warnings = 0;
    for (const Finding& f : findings) {
        errors += f.severity == SEVERITY_ERROR ? 1 : 0;
        warnings += f.severity == SEVERITY_WARNING ? 1 : 0;
    }
    if (options.json) {
        out << "{\"folder\": " << JsonString(options.folder)
            << ", \"setupDir\": " << JsonString(options.setupDir) << ", \"findings\": [";
        for (size_t i = 0; i < findings.size(); ++i) {
            const Finding& f = findings[i];
            out << (i == 0 ? "\n  " : ",\n  ") << "{\"layout\": " << JsonString(f.layout)
                << ", \"file\": " << JsonString(f.file) << ", \"severity\": \"" << SeverityName(f.severity)
                << "\", \"code\": \"" << f.code << "\", \"message\": " << JsonString(f.message) << "}";
        }
        out << "\n], \"catalogs\": ";
        WriteCatalogsJson(catalogs, out);
        out << ", \"errors\": " << errors << ", \"warnings\": " << warnings << "}\n";
    } else {
        for (const std::string& summary : summaries) {
            out << summary << "\n";
        }
        std::string layout = "\x01";
        std::string file = "\x01";
        for (const Finding& f : findings) {
            if (f.layout != layout) {
                layout = f.layout;
                file = "\x01";
                out << "\n" << (layout.empty() ? std::string("(package)") : layout) << "\n";
            }
            if (f.file != file) {
                file = f.file;
                out << "  " << (file.empty() ? std::string("(folder)") : file) << "\n";
            }
            out << "    " << SeverityName(f.severity) << " " << f.code << ": " << f.message << "\n";
        }
        WriteCatalogsText(catalogs, out);
        out << "\n" << errors << " errors, " << warnings << " warnings\n";
    }
    if (errors > 0 || (options.strict && warnings > 0)) {
        return CHECK_EXIT_FINDINGS;
    }
    return CHECK_EXIT_OK;
}
