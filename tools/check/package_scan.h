// What the installer sees of a driver package folder: the layouts it can
// pick, the names its *.sys and *.inf searches list (in the order NTFS
// returns them, short-name matches included) and the facts of each INF that
// its flows read. Plain C++17 over std::filesystem, no Windows calls.
#ifndef HALLIMOR_TOOLS_CHECK_PACKAGE_SCAN_H
#define HALLIMOR_TOOLS_CHECK_PACKAGE_SCAN_H

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "inf/inf_reader.h"

// A Windows version of the NT family that runs the installer.
struct WindowsVersion {
    const char* name;
    unsigned major;
    unsigned minor;
    unsigned build;
};

// Every Windows version the checker reports on, oldest first.
const std::vector<WindowsVersion>& KnownWindowsVersions();

// One package folder the installer may pick.
struct PackageLayout {
    std::string osFolderName;             // "WIN7", "VISTA", "WNET" or "" (the 64bit folder itself)
    std::string label;                    // "Drivers\64bit\WIN7\" as the report names it
    std::filesystem::path folder;         // where it is on this machine; empty when missing
    std::vector<WindowsVersion> versions; // the versions that read it
};

// The layouts under a setup folder (the one holding Drivers\64bit\) or, when
// FOLDER is a package folder itself, that one folder. Folder names are found
// ignoring letter case, as Windows finds them. False when FOLDER is no
// folder.
bool FindPackageLayouts(const std::filesystem::path& folder, std::vector<PackageLayout>* layouts);

// A name that one of the scan's searches lists.
struct ListedName {
    std::string name;
    bool isDirectory = false;
    bool shortNameMatch = false; // listed only through its 8.3 short name
};

// True when Windows' "*.<ext>" search lists the name: by its long name (it
// ends in ".ext") or, on a volume that keeps short names, by a short name
// whose extension is the first three characters of a longer one.
bool ScanPatternMatches(const std::string& name, const std::string& extension, bool* throughShortName);

// NTFS returns names in upper-cased ordinal order.
bool NtfsNameLess(const std::string& a, const std::string& b);

// The *.sys and *.inf lists of a folder, in NTFS order, and every name in it.
struct FolderListing {
    std::vector<ListedName> sys;
    std::vector<ListedName> inf;
    std::vector<std::string> allNames;
    bool readable = true;
};
FolderListing ListPackageFolder(const std::filesystem::path& folder);

// What the installer's INF handling reads from one INF.
struct InfFacts {
    std::string name;
    bool readable = false;
    std::string unreadableReason; // why SetupAPI would not read it
    infreader::InfFile inf;
    bool hasManufacturer = false;
    infreader::InfLine manufacturerLine; // the first line of [Manufacturer]
    std::string modelsSection;           // field 1 of that line, as written
    bool modelsSectionExists = false;
    size_t modelsLines = 0;          // the lines SetupFindFirstLineA and SetupFindNextLine find there
    bool hasFirstHardwareId = false; // the first line has a field 2
    std::string firstHardwareId;     // field 2 of the models section's first line, upper-cased
    std::vector<std::string> modelHardwareIds; // field 2 and later of every line of the undecorated section
    bool hasProvider = false;
    std::string provider; // after %strings% substitution
    // Every other strings section and the provider that systems whose
    // language reads it get from it, in file order.
    std::vector<std::pair<std::string, std::string>> otherLanguageProviders;
    std::vector<std::string> services;   // AddService names
    std::vector<std::string> namedFiles; // every key and field of every line, and a path's file name
    bool hasCatalogLine = false;         // a catalog key by the x64 order
    std::string catalogFile;             // its field 1
    bool hasDriverVer = false;
    std::string driverVer;
};

// Reads the INF at path as that system reads it. Files of 10 MB and more
// and files that are not text are refused with a reason, never parsed.
InfFacts ReadInfFacts(const std::filesystem::path& path, const std::string& name,
                      const infreader::ReadingSystem& system = infreader::ReadingSystem());

// The hardware IDs (field 2 and later) of every line of a models section.
std::vector<std::string> ModelsSectionIds(const infreader::InfFile& inf, const std::string& section);

#endif
