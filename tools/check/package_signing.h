// The signature checks of hallimor-check package: each INF's catalog as
// Windows' signature check sees it (lib/catalog), with the files of the
// package that it must cover, its signer and the Windows versions it lists.
#ifndef HALLIMOR_TOOLS_CHECK_PACKAGE_SIGNING_H
#define HALLIMOR_TOOLS_CHECK_PACKAGE_SIGNING_H

#include <stdint.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/file_hash.h"
#include "package_scan.h"

enum SigningSeverity { SIGNING_ERROR, SIGNING_WARNING, SIGNING_NOTE };

struct SigningFinding {
    std::string file;
    SigningSeverity severity;
    std::string code;
    std::string message;
};

// What the report says of one catalog.
struct CatalogSummary {
    std::string layout; // "Drivers\64bit\WIN7\"
    std::string inf;
    std::string catalog;
    bool readable = false;
    bool isSigned = false;
    bool hasSigner = false; // the signer's certificate is in the catalog
    std::string signerSubject;
    std::string signerIssuer;
    std::string thumbprint; // SHA-1 of the signer's certificate
    int64_t validFrom = 0;
    int64_t validTo = 0;
    bool timeStamped = false;
    int64_t timeStamp = 0;
    std::string hashAlgorithm; // of the members: "SHA-1", "SHA-256", "SHA-1, SHA-256"
    std::vector<std::string> osAttr;
};

struct SigningContext {
    int64_t now = 0;
    bool trustGiven = false;
    std::vector<catalog::Certificate> trusted; // --trust roots
    catalog::FileHashCache hashes;             // each file hashed once per run
};

// Adds the certificates of a --trust PEM file; false with the reason.
bool AddTrustedRoots(const std::string& path, SigningContext* context, std::string* reason);

// Checks the INF of the layout (in folder) against the catalog it names: the
// files it must cover, the signature, the signer and OSAttr. Nothing is said
// of an INF that cannot be read or names no catalog that is there (the INF
// checks report those).
void CheckInfSigning(const PackageLayout& layout, const InfFacts& inf, SigningContext* context,
                     std::vector<SigningFinding>* findings, std::vector<CatalogSummary>* catalogs);

// The report's catalog part: one line per catalog, then each signer once.
void WriteCatalogsText(const std::vector<CatalogSummary>& catalogs, std::ostream& out);
// The JSON array of the catalogs (the value of "catalogs").
void WriteCatalogsJson(const std::vector<CatalogSummary>& catalogs, std::ostream& out);

#endif
