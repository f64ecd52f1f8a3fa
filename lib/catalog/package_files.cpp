// The files a catalog must cover.
#include "catalog/package_files.h"

#include <system_error>

namespace catalog {

namespace {

const infreader::InfLine* KeyLine(const infreader::InfSection* section, const std::string& key) {
    if (section != nullptr) {
        for (const infreader::InfLine& line : section->lines) {
            if (line.hasKey && infreader::SameNameNoCase(line.key, key)) {
                return &line;
            }
        }
    }
    return nullptr;
}

// "a\\b\\" or "\\a" as "a/b".
std::string SlashPath(const std::string& path) {
    std::string out;
    for (char c : path) {
        char s = c == '\\' ? '/' : c;
        if (s == '/' && (out.empty() || out.back() == '/')) {
            continue;
        }
        out.push_back(s);
    }
    while (!out.empty() && out.back() == '/') {
        out.pop_back();
    }
    if (out == ".") {
        out.clear();
    }
    return out;
}

std::string JoinPath(const std::string& a, const std::string& b) {
    return a.empty() ? b : b.empty() ? a : a + "/" + b;
}

} // namespace

std::vector<SourceFile> InfSourceFiles(const infreader::InfFile& inf) {
    std::vector<SourceFile> files;
    const infreader::InfSection* names[] = {infreader::FindInfSection(inf, "SourceDisksNames.amd64"),
                                            infreader::FindInfSection(inf, "SourceDisksNames")};
    for (const char* sectionName : {"SourceDisksFiles.amd64", "SourceDisksFiles"}) {
        const infreader::InfSection* section = infreader::FindInfSection(inf, sectionName);
        if (section == nullptr) {
            continue;
        }
        for (const infreader::InfLine& line : section->lines) {
            std::string name = line.hasKey ? line.key : line.fields.empty() ? "" : line.fields[0];
            if (name.empty()) {
                continue;
            }
            bool seen = false;
            for (const SourceFile& file : files) {
                seen = seen || infreader::SameNameNoCase(file.name, name);
            }
            if (seen) {
                continue;
            }
            // file = diskid[,subdir[,size]]; diskid = description,[tag],,[path]
            std::string disk = line.hasKey && !line.fields.empty() ? line.fields[0] : "";
            std::string subdir = line.hasKey && line.fields.size() > 1 ? line.fields[1] : "";
            std::string diskPath;
            for (const infreader::InfSection* namesSection : names) {
                const infreader::InfLine* diskLine = disk.empty() ? nullptr : KeyLine(namesSection, disk);
                if (diskLine != nullptr) {
                    diskPath = diskLine->fields.size() > 3 ? diskLine->fields[3] : "";
                    break;
                }
            }
            files.push_back(SourceFile{
                name, JoinPath(JoinPath(SlashPath(diskPath), SlashPath(subdir)), SlashPath(name))});
        }
    }
    return files;
}

std::string InfCatalogName(const infreader::InfFile& inf) {
    const infreader::InfLine* line = infreader::FindX64CatalogLine(inf);
    return line == nullptr || line->fields.empty() ? "" : line->fields[0];
}

std::filesystem::path FindNoCase(const std::filesystem::path& folder, const std::string& relativePath) {
    std::filesystem::path at = folder;
    size_t start = 0;
    while (start <= relativePath.size()) {
        size_t slash = relativePath.find('/', start);
        std::string part =
            relativePath.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        start = slash == std::string::npos ? relativePath.size() + 1 : slash + 1;
        if (part.empty()) {
            continue;
        }
        std::error_code error;
        std::filesystem::path exact = at / part;
        if (std::filesystem::exists(exact, error)) {
            at = exact;
            continue;
        }
        std::filesystem::path found;
        for (std::filesystem::directory_iterator it(at, error), end; !error && it != end;
             it.increment(error)) {
            if (infreader::SameNameNoCase(it->path().filename().string(), part)) {
                found = it->path();
                break;
            }
        }
        if (found.empty()) {
            return std::filesystem::path();
        }
        at = found;
    }
    return at;
}

} // namespace catalog
