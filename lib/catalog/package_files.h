// The files of a driver package that its catalog must cover: the INF itself
// and every file that the INF names in a SourceDisksFiles section (the plain
// one and the one for x64), found where SourceDisksNames and the file's
// subdirectory put it. Windows Vista and later copy each of them into the
// driver store and check it against the catalog.
#ifndef HALLIMOR_LIB_CATALOG_PACKAGE_FILES_H
#define HALLIMOR_LIB_CATALOG_PACKAGE_FILES_H

#include <filesystem>
#include <string>
#include <vector>

#include "inf/inf_reader.h"

namespace catalog {

struct SourceFile {
    std::string name;         // as the INF names it
    std::string relativePath; // below the INF's folder, with '/' between parts ("x64/a.sys")
};

// In the order of the sections and lines, each file once.
std::vector<SourceFile> InfSourceFiles(const infreader::InfFile& inf);

// The catalog that the INF names on x64 ([Version] CatalogFile.NTamd64,
// else CatalogFile.NT, else CatalogFile); "" for none.
std::string InfCatalogName(const infreader::InfFile& inf);

// The file at a '/'-separated path below folder, each part found ignoring
// ASCII letter case as Windows finds it; an empty path when a part is
// missing.
std::filesystem::path FindNoCase(const std::filesystem::path& folder, const std::string& relativePath);

} // namespace catalog

#endif
