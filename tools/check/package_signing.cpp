// hallimor-check package: the catalogs and their signatures.
#include "package_signing.h"

#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "catalog/package_files.h"
#include "check.h"

namespace fs = std::filesystem;
using namespace catalog;

namespace {

bool ReadBytes(const fs::path& path, std::vector<uint8_t>* bytes, std::string* reason) {
    std::error_code error;
    std::uintmax_t size = fs::file_size(path, error);
    if (error || fs::is_directory(path, error)) {
        *reason = "the file cannot be read";
        return false;
    }
    if (size >= kLargestCatalog) {
        *reason = "the file is 10 MB or larger";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        *reason = "the file cannot be read";
        return false;
    }
    return true;
}

bool IsMicrosoftHardwareSigner(const Certificate& signer) {
    return HasExtendedKeyUsage(signer, kOidHardwareSigning) ||
           HasExtendedKeyUsage(signer, kOidAttestationSigning);
}

// OSAttr names each Windows version as "2:major.minor". Versions before
// 5.2 have no x64 edition and never read a 64-bit package.
std::vector<std::string> OsAttrOfLayout(const PackageLayout& layout) {
    std::vector<std::string> needed;
    for (const WindowsVersion& v : layout.versions) {
        if (v.major > 5 || (v.major == 5 && v.minor >= 2)) {
            needed.push_back("2:" + std::to_string(v.major) + "." + std::to_string(v.minor));
        }
    }
    return needed;
}

std::string VersionName(const PackageLayout& layout, const std::string& osAttr) {
    for (const WindowsVersion& v : layout.versions) {
        if (osAttr == "2:" + std::to_string(v.major) + "." + std::to_string(v.minor)) {
            return std::string(v.name) + " (" + osAttr + ")";
        }
    }
    return osAttr;
}

void Add(std::vector<SigningFinding>* findings, const std::string& file, SigningSeverity severity,
         const char* code, const std::string& message) {
    findings->push_back(SigningFinding{file, severity, code, message});
}

void CheckSigner(const PackageLayout& layout, const CatalogSummary& summary, const Catalog& catalog,
                 const SignatureCheck& check, SigningContext* context,
                 std::vector<SigningFinding>* findings) {
    const Certificate& signer = catalog.signedData.certificates[static_cast<size_t>(check.signerCertificate)];
    const std::string& name = summary.catalog;
    bool hardware = IsMicrosoftHardwareSigner(signer);
    bool validNow = context->now >= signer.notBefore && context->now <= signer.notAfter;
    bool stampedInside =
        check.timeStamped && check.timeStamp >= signer.notBefore && check.timeStamp <= signer.notAfter;
    if (!validNow && !stampedInside) {
        std::string stamp =
            check.timeStamped ? "its time stamp (" + TimeText(check.timeStamp) + ") lies outside it"
            : check.timeStampProblem.empty() ? "the signature has no time stamp"
                                             : "its time stamp is not taken: " + check.timeStampProblem;
        Add(findings, name, SIGNING_ERROR, "SIGNER_EXPIRED",
            "The signer's certificate (" + signer.subject + ") is valid from " + TimeText(signer.notBefore) +
                " to " + TimeText(signer.notAfter) + ", not today, and " + stamp +
                ": Windows does not accept the signature and refuses the INF " + summary.inf + ".");
    }
    // A Microsoft hardware signing certificate: the hardware driver usage,
    // issued by Microsoft. Only --trust proves where a certificate comes from.
    bool microsoft = hardware && signer.issuer.find("O=Microsoft Corporation") != std::string::npos;
    if (!microsoft) {
        Add(findings, name, SIGNING_WARNING, "SIGNER_NOT_MICROSOFT",
            "Signed by " + signer.subject +
                ", not by a Microsoft hardware signing certificate: Windows 10 version 1607 and later with "
                "Secure Boot on do not load its kernel drivers (Microsoft lists the exceptions, such as "
                "cross-signed certificates issued before 29 July 2015), and Windows 7 and 8.1 need the "
                "publisher "
                "in the machine's TrustedPublisher store (thumbprint " +
                summary.thumbprint + "), or a silent install waits at a prompt nobody sees.");
    }
    if (context->trustGiven) {
        std::string reason;
        if (!ChainsToRoot(signer, catalog.signedData.certificates, context->trusted, &reason)) {
            Add(findings, name, SIGNING_ERROR, "SIGNER_UNTRUSTED",
                "The signer " + signer.subject + " does not chain to a --trust certificate: " + reason + ".");
        }
    }
    std::vector<std::string> missing;
    for (const std::string& needed : OsAttrOfLayout(layout)) {
        bool listed = false;
        for (const std::string& attr : summary.osAttr) {
            listed = listed || attr == needed;
        }
        if (!listed) {
            missing.push_back(VersionName(layout, needed));
        }
    }
    if (!missing.empty()) {
        std::string list;
        for (const std::string& m : missing) {
            list += (list.empty() ? "" : ", ") + m;
        }
        std::string listed = summary.osAttr.empty() ? std::string("no OSAttr") : "OSAttr ";
        for (size_t i = 0; i < summary.osAttr.size(); ++i) {
            listed += (i == 0 ? "" : ",") + summary.osAttr[i];
        }
        Add(findings, name, hardware ? SIGNING_ERROR : SIGNING_NOTE, "CATALOG_OS_NOT_COVERED",
            "The catalog carries " + listed + ", which does not list " + list + " that reads " +
                layout.label +
                (hardware
                     ? ": Windows does not take a hardware-signed catalog for a version it does not list, "
                       "and "
                       "refuses the INF " +
                           summary.inf + " there."
                     : ": Windows checks the list only for catalogs that Microsoft signed, but the catalog "
                       "does not say it is meant for that version."));
    }
}

} // namespace

bool AddTrustedRoots(const std::string& path, SigningContext* context, std::string* reason) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *reason = path + " cannot be read";
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!ReadPemCertificates(text, &context->trusted, reason)) {
        *reason = path + ": " + *reason;
        return false;
    }
    context->trustGiven = true;
    return true;
}

void CheckInfSigning(const PackageLayout& layout, const InfFacts& inf, SigningContext* context,
                     std::vector<SigningFinding>* findings, std::vector<CatalogSummary>* catalogs) {
    if (!inf.readable) {
        return;
    }
    // The files the catalog must cover: the INF, then its source files.
    std::vector<std::pair<std::string, fs::path>> files = {{inf.name, layout.folder / inf.name}};
    for (const SourceFile& source : InfSourceFiles(inf.inf)) {
        fs::path path = FindNoCase(layout.folder, source.relativePath);
        std::error_code error;
        if (path.empty() || !fs::is_regular_file(path, error)) {
            Add(findings, inf.name, SIGNING_ERROR, "SOURCE_FILE_MISSING",
                "[SourceDisksFiles] names " + source.relativePath +
                    ", which is not in the folder: Windows Vista and later copy every source file into the "
                    "driver "
                    "store and refuse the INF; Wine does not check, so under Wine such a run looks clean "
                    "while this "
                    "driver is never staged.");
        } else {
            files.emplace_back(source.name, path);
        }
    }
    if (!inf.hasCatalogLine || inf.catalogFile.empty()) {
        return;
    }
    fs::path catalogPath = FindNoCase(layout.folder, inf.catalogFile);
    std::error_code error;
    if (catalogPath.empty() || !fs::exists(catalogPath, error)) {
        return;
    }
    CatalogSummary summary;
    summary.layout = layout.label;
    summary.inf = inf.name;
    summary.catalog = inf.catalogFile;
    std::vector<uint8_t> bytes;
    std::string reason;
    Catalog catalog;
    if (!ReadBytes(catalogPath, &bytes, &reason) ||
        !ReadCatalog(bytes.data(), bytes.size(), &catalog, &reason)) {
        Add(findings, inf.catalogFile, SIGNING_ERROR, "CATALOG_UNREADABLE",
            "Not a DER PKCS#7 SignedData holding a catalog list (" + reason + "): Windows refuses the INF " +
                inf.name + ".");
        catalogs->push_back(summary);
        return;
    }
    summary.readable = true;
    summary.isSigned = !catalog.signedData.signers.empty();
    if (const NameValue* os = FindCatalogAttribute(catalog, "OSAttr")) {
        summary.osAttr = SplitOsAttr(os->value);
    }
    bool used[HASH_SHA512 + 1] = {};
    std::vector<HashAlgorithm> algorithms;
    for (const CatalogMember& member : catalog.members) {
        if (member.algorithm != HASH_UNKNOWN && !used[member.algorithm]) {
            used[member.algorithm] = true;
            algorithms.push_back(member.algorithm);
            summary.hashAlgorithm += (summary.hashAlgorithm.empty() ? "" : ", ") +
                                     std::string(HashAlgorithmName(member.algorithm));
        }
    }

    SignatureCheck check = CheckSignature(catalog.signedData);
    if (check.signerCertificate >= 0) {
        const Certificate& signer =
            catalog.signedData.certificates[static_cast<size_t>(check.signerCertificate)];
        std::vector<uint8_t> thumbprint;
        HashBytes(HASH_SHA1, signer.der.data(), signer.der.size(), &thumbprint);
        summary.hasSigner = true;
        summary.signerSubject = signer.subject;
        summary.signerIssuer = signer.issuer;
        summary.thumbprint = HexText(thumbprint);
        summary.validFrom = signer.notBefore;
        summary.validTo = signer.notAfter;
        summary.timeStamped = check.timeStamped;
        summary.timeStamp = check.timeStamp;
    }
    if (check.status == SIGNATURE_NO_SIGNER) {
        Add(findings, inf.catalogFile, SIGNING_ERROR, "CATALOG_UNSIGNED",
            "The catalog has no signer: Windows refuses the INF " + inf.name + " for a signed install.");
    } else if (check.status != SIGNATURE_OK) {
        Add(findings, inf.catalogFile, SIGNING_ERROR, "CATALOG_SIGNATURE_INVALID",
            "The signature does not hold over the catalog (" + check.reason + "): Windows refuses the INF " +
                inf.name + ".");
    }

    for (const auto& file : files) {
        const FileHashes& hashes = CachedFileHashes(&context->hashes, file.second, algorithms);
        bool found = false;
        for (const CatalogMember& member : catalog.members) {
            found = found || (member.algorithm != HASH_UNKNOWN && hashes.readable &&
                              member.digest == hashes.digests[member.algorithm]);
        }
        if (!found) {
            std::string hash = hashes.readable && !algorithms.empty()
                                   ? std::string(" (its ") + HashAlgorithmName(algorithms[0]) +
                                         (hashes.peImage ? " image hash " : " hash ") +
                                         HexText(hashes.digests[algorithms[0]]) + ")"
                               : hashes.readable ? std::string("")
                                                 : " (" + hashes.error + ")";
            Add(findings, file.first, SIGNING_ERROR, "CATALOG_HASH_MISSING",
                "The catalog " + inf.catalogFile + " holds no hash of " + file.first + hash +
                    ": Windows refuses the INF " + inf.name +
                    " with 0xE000024B (the hash for the file is not present in the catalog). Re-sign the "
                    "package.");
        }
    }
    if (check.signerCertificate >= 0) {
        CheckSigner(layout, summary, catalog, check, context, findings);
    }
    catalogs->push_back(summary);
}

void WriteCatalogsText(const std::vector<CatalogSummary>& catalogs, std::ostream& out) {
    if (catalogs.empty()) {
        return;
    }
    out << "\nCatalogs\n";
    std::map<std::string, const CatalogSummary*> signers;
    for (const CatalogSummary& c : catalogs) {
        out << "  " << c.layout << c.catalog << " (" << c.inf << "): ";
        if (!c.readable) {
            out << "unreadable\n";
            continue;
        }
        std::string os;
        for (const std::string& attr : c.osAttr) {
            os += (os.empty() ? "" : ",") + attr;
        }
        out << (c.hashAlgorithm.empty() ? std::string("no hashes") : c.hashAlgorithm + " hashes")
            << ", OSAttr " << (os.empty() ? std::string("none") : os) << ", "
            << (!c.isSigned   ? std::string("unsigned")
                : c.hasSigner ? "signer " + c.thumbprint
                              : std::string("signer's certificate missing"))
            << ", time stamp " << (c.timeStamped ? TimeText(c.timeStamp) : std::string("none")) << "\n";
        if (c.hasSigner) {
            signers.emplace(c.thumbprint, &c);
        }
    }
    for (const auto& entry : signers) {
        const CatalogSummary& c = *entry.second;
        out << "\nSigner " << c.thumbprint << " (SHA-1 thumbprint)\n"
            << "  subject: " << c.signerSubject << "\n"
            << "  issuer:  " << c.signerIssuer << "\n"
            << "  valid:   " << TimeText(c.validFrom) << " to " << TimeText(c.validTo) << "\n";
    }
}

void WriteCatalogsJson(const std::vector<CatalogSummary>& catalogs, std::ostream& out) {
    out << "[";
    for (size_t i = 0; i < catalogs.size(); ++i) {
        const CatalogSummary& c = catalogs[i];
        out << (i == 0 ? "\n  " : ",\n  ") << "{\"layout\": " << JsonString(c.layout)
            << ", \"inf\": " << JsonString(c.inf) << ", \"catalog\": " << JsonString(c.catalog)
            << ", \"readable\": " << (c.readable ? "true" : "false")
            << ", \"signed\": " << (c.isSigned ? "true" : "false") << ", \"signer\": ";
        if (c.hasSigner) {
            out << "{\"subject\": " << JsonString(c.signerSubject)
                << ", \"issuer\": " << JsonString(c.signerIssuer) << ", \"thumbprint\": \"" << c.thumbprint
                << "\", \"validFrom\": \"" << TimeText(c.validFrom) << "\", \"validTo\": \""
                << TimeText(c.validTo) << "\"}";
        } else {
            out << "null";
        }
        out << ", \"timeStamp\": "
            << (c.timeStamped ? "\"" + TimeText(c.timeStamp) + "\"" : std::string("null"))
            << ", \"hashAlgorithm\": " << JsonString(c.hashAlgorithm) << ", \"osAttr\": [";
        for (size_t k = 0; k < c.osAttr.size(); ++k) {
            out << (k == 0 ? "" : ", ") << JsonString(c.osAttr[k]);
        }
        out << "]}";
    }
    out << (catalogs.empty() ? "]" : "\n]");
}
