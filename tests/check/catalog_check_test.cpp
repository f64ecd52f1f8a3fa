// The catalog checks on a copy of the sample's kwenet.inf and KWEusbnet.sys,
// whose catalog the test writes and signs itself (the project's writer, keys
// and certificates made here with OpenSSL), one planted fault per row: the
// signing findings it must give, naming the file. Bad catalog bytes are rows
// too.
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include <gtest/gtest.h>

#include "catalog/file_hash.h"
#include "catalog_test_support.h"
#include "package_signing.h"

namespace fs = std::filesystem;
using namespace catalog;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// How a row's catalog is made before the fault is planted.
struct CatalogPlan {
    const TestSigner* signer = nullptr;   // null: unsigned
    std::vector<const TestSigner*> extra; // further certificates in the catalog
    std::string osAttr = "2:6.1";
    HashAlgorithm algorithm = HASH_SHA1;
    const TestSigner* counterSigner = nullptr; // counter-signs at counterTime
    int64_t counterTime = 0;
    bool tamperSignature = false;
    bool swapList = false; // the signature of another list
};

std::string WriteCatalog(const fs::path& folder, const CatalogPlan& plan) {
    CatalogContents contents;
    contents.memberAlgorithm = plan.algorithm;
    contents.thisUpdate = 1704067200;
    contents.attributes.push_back(NameValue{"OSAttr", kNameValueFlags, plan.osAttr});
    for (const char* name : {"kwenet.inf", "KWEusbnet.sys"}) {
        FileHashes hashes = HashFile(folder / name, {plan.algorithm});
        contents.members.push_back(
            CatalogMemberEntry{name, hashes.peImage, plan.algorithm, hashes.digests[plan.algorithm]});
    }
    Bytes list = BuildCatalogList(contents);
    std::vector<Bytes> certificates;
    std::vector<Bytes> signers;
    if (plan.signer != nullptr) {
        Bytes attributes = BuildSignedAttributes(kOidCatalogList, plan.algorithm, ElementContents(list));
        Bytes digest;
        Bytes signature;
        HashBytes(plan.algorithm, attributes.data(), attributes.size(), &digest);
        EXPECT_TRUE(SignDigest(plan.signer->key, plan.algorithm, digest, &signature));
        if (plan.tamperSignature) {
            signature[signature.size() / 2] ^= 1;
        }
        Bytes counter;
        if (plan.counterSigner != nullptr) {
            // A counter-signature: the signing time and the digest of the
            // signature value, signed by the time-stamping certificate.
            Bytes signatureDigest;
            HashBytes(HASH_SHA256, signature.data(), signature.size(), &signatureDigest);
            Bytes time =
                DerElement(DER_SEQUENCE, DerJoin({DerOidElement(kOidSigningTime),
                                                  DerElement(DER_SET, DerTimeElement(plan.counterTime))}));
            Bytes md = DerElement(
                DER_SEQUENCE, DerJoin({DerOidElement(kOidMessageDigest),
                                       DerElement(DER_SET, DerElement(DER_OCTET_STRING, signatureDigest))}));
            Bytes counterAttributes =
                DerElement(DER_SET, time < md ? DerJoin({time, md}) : DerJoin({md, time}));
            Bytes counterDigest;
            Bytes counterSignature;
            HashBytes(HASH_SHA256, counterAttributes.data(), counterAttributes.size(), &counterDigest);
            SignDigest(plan.counterSigner->key, HASH_SHA256, counterDigest, &counterSignature);
            Bytes info = BuildSignerInfo(plan.counterSigner->certificate, HASH_SHA256, counterAttributes,
                                         counterSignature, Bytes());
            counter = DerElement(DER_SEQUENCE,
                                 DerJoin({DerOidElement(kOidCounterSignature), DerElement(DER_SET, info)}));
            certificates.push_back(plan.counterSigner->certificate.der);
        }
        signers.push_back(
            BuildSignerInfo(plan.signer->certificate, plan.algorithm, attributes, signature, counter));
        certificates.insert(certificates.begin(), plan.signer->certificate.der);
    }
    for (const TestSigner* extra : plan.extra) {
        certificates.push_back(extra->certificate.der);
    }
    if (plan.swapList) {
        contents.attributes[0].value = "2:6.1,2:10.0";
        list = BuildCatalogList(contents);
    }
    Bytes bytes = BuildSignedData(kOidCatalogList, list, plan.algorithm, certificates, signers);
    return std::string(bytes.begin(), bytes.end());
}

// A DER element of n nested SEQUENCEs.
std::string Nested(int n) {
    Bytes inner{DER_NULL, 0};
    for (int i = 0; i < n; ++i) {
        inner = DerElement(DER_SEQUENCE, inner);
    }
    return std::string(inner.begin(), inner.end());
}

struct Row {
    const char* name;
    std::function<CatalogPlan()> plan;
    std::function<void(const fs::path& folder, std::string* catalog)> fault; // after signing
    std::vector<std::string> trust;                                          // --trust roots by name
    std::set<std::string> expected;                                          // "CODE severity file"
    const char* messagePart = "";                                            // in the first expected finding
};

class CatalogCheck : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        signers = new std::map<std::string, TestSigner>();
        auto& s = *signers;
        s["root"] = MakeSigner("Test root (TEST ONLY)", "TEST ONLY", nullptr, -10, 3650, "", true);
        s["other root"] = MakeSigner("Other root (TEST ONLY)", "TEST ONLY", nullptr, -10, 3650, "", true);
        s["vendor"] =
            MakeSigner("Vendor (TEST ONLY)", "TEST ONLY", &s["root"], -10, 3650, "codeSigning", false);
        s["expired"] =
            MakeSigner("Expired (TEST ONLY)", "TEST ONLY", &s["root"], -400, -30, "codeSigning", false);
        s["tsa"] =
            MakeSigner("Time stamps (TEST ONLY)", "TEST ONLY", &s["root"], -400, 3650, "timeStamping", false);
        s["microsoft ca"] =
            MakeSigner("Hardware CA (TEST ONLY)", "Microsoft Corporation", nullptr, -10, 3650, "", true);
        s["hardware"] = MakeSigner("Hardware (TEST ONLY)", "Microsoft Corporation", &s["microsoft ca"], -10,
                                   3650, "codeSigning,1.3.6.1.4.1.311.10.3.5", false);
    }
    static std::map<std::string, TestSigner>* signers;
};

std::map<std::string, TestSigner>* CatalogCheck::signers = nullptr;

TEST_F(CatalogCheck, EachPlantedFaultGivesItsFinding) {
    auto& s = *signers;
    auto by = [&](const char* name) {
        return [&s, name] {
            CatalogPlan plan;
            plan.signer = &s[name];
            return plan;
        };
    };
    auto none = [](const fs::path&, std::string*) {};
    const std::string notMs = "SIGNER_NOT_MICROSOFT warning kwenet.cat";
    const Row rows[] = {
        {"clean", by("vendor"), none, {"root"}, {notMs}, "thumbprint"},
        {"INF edited after signing",
         by("vendor"),
         [](const fs::path& f, std::string*) {
             WriteFile(f / "kwenet.inf", ReadFile(f / "kwenet.inf") + ";\r\n");
         },
         {},
         {"CATALOG_HASH_MISSING error kwenet.inf", notMs},
         "0xE000024B"},
        {"driver rebuilt",
         by("vendor"),
         [](const fs::path& f, std::string*) {
             std::string sys = ReadFile(f / "KWEusbnet.sys");
             sys[0x400] ^= 0x10;
             WriteFile(f / "KWEusbnet.sys", sys);
         },
         {},
         {"CATALOG_HASH_MISSING error KWEusbnet.sys", notMs},
         "kwenet.cat holds no hash of KWEusbnet.sys"},
        {"the CheckSum alone changed",
         by("vendor"),
         [](const fs::path& f, std::string*) {
             std::string sys = ReadFile(f / "KWEusbnet.sys");
             sys[0x80 + 24 + 64] ^= 0x5A; // the CheckSum of the optional header
             WriteFile(f / "KWEusbnet.sys", sys);
         },
         {},
         {notMs}},
        {"a certificate table added after signing",
         by("vendor"),
         [](const fs::path& f, std::string*) {
             std::string sys = ReadFile(f / "KWEusbnet.sys");
             uint32_t at = static_cast<uint32_t>(sys.size());
             std::string table = std::string("\x10\x00\x00\x00\x00\x02\x02\x00", 8) + "signatur";
             uint32_t entry[2] = {at, static_cast<uint32_t>(table.size())};
             sys.replace(0x80 + 24 + 112 + 4 * 8, 8, reinterpret_cast<const char*>(entry), 8);
             WriteFile(f / "KWEusbnet.sys", sys + table);
         },
         {},
         {notMs}},
        {"the driver file deleted",
         by("vendor"),
         [](const fs::path& f, std::string*) { fs::remove(f / "KWEusbnet.sys"); },
         {},
         {"SOURCE_FILE_MISSING error kwenet.inf", notMs},
         "Wine does not check"},
        {"not a catalog",
         by("vendor"),
         [](const fs::path&, std::string* c) { *c = "KWE placeholder\r\n"; },
         {},
         {"CATALOG_UNREADABLE error kwenet.cat"},
         "Windows refuses the INF kwenet.inf"},
        {"truncated",
         by("vendor"),
         [](const fs::path&, std::string* c) { c->resize(c->size() - 3); },
         {},
         {"CATALOG_UNREADABLE error kwenet.cat"},
         "past the end"},
        {"a length past the end",
         by("vendor"),
         [](const fs::path&, std::string* c) { (*c)[2] = '\x7F'; },
         {},
         {"CATALOG_UNREADABLE error kwenet.cat"},
         "reaches past the end"},
        {"nested too deep",
         by("vendor"),
         [](const fs::path&, std::string* c) { *c = Nested(40); },
         {},
         {"CATALOG_UNREADABLE error kwenet.cat"},
         "nested more than 24 deep"},
        {"10 MB",
         by("vendor"),
         [](const fs::path&, std::string* c) { c->resize(10u << 20, '\0'); },
         {},
         {"CATALOG_UNREADABLE error kwenet.cat"},
         "10 MB or larger"},
        {"unsigned",
         [] { return CatalogPlan(); },
         none,
         {},
         {"CATALOG_UNSIGNED error kwenet.cat"},
         "no signer"},
        {"signature value changed",
         [&s] {
             CatalogPlan p;
             p.signer = &s["vendor"];
             p.tamperSignature = true;
             return p;
         },
         none,
         {},
         {"CATALOG_SIGNATURE_INVALID error kwenet.cat", notMs},
         "signature value does not verify"},
        {"the list changed after signing",
         [&s] {
             CatalogPlan p;
             p.signer = &s["vendor"];
             p.swapList = true;
             return p;
         },
         none,
         {},
         {"CATALOG_SIGNATURE_INVALID error kwenet.cat", notMs},
         "content changed after signing"},
        {"SHA-256 members",
         [&s] {
             CatalogPlan p;
             p.signer = &s["vendor"];
             p.algorithm = HASH_SHA256;
             return p;
         },
         none,
         {},
         {notMs}},
        {"OSAttr without Windows 7",
         [&s] {
             CatalogPlan p;
             p.signer = &s["vendor"];
             p.osAttr = "2:6.0,2:10.0";
             return p;
         },
         none,
         {},
         {"CATALOG_OS_NOT_COVERED note kwenet.cat", notMs},
         "does not list Windows 7 / Server 2008 R2 (2:6.1)"},
        {"hardware signed for Windows 10 only",
         [&s] {
             CatalogPlan p;
             p.signer = &s["hardware"];
             p.extra = {&s["microsoft ca"]};
             p.osAttr = "2:10.0";
             return p;
         },
         none,
         {"microsoft ca"},
         {"CATALOG_OS_NOT_COVERED error kwenet.cat"},
         "refuses the INF kwenet.inf there"},
        {"expired, no time stamp",
         by("expired"),
         none,
         {},
         {"SIGNER_EXPIRED error kwenet.cat", notMs},
         "the signature has no time stamp"},
        {"expired, time-stamped inside its validity",
         [&s] {
             CatalogPlan p;
             p.signer = &s["expired"];
             p.counterSigner = &s["tsa"];
             p.counterTime = time(nullptr) - 60 * kDay;
             return p;
         },
         none,
         {"root"},
         {notMs}},
        {"expired, time-stamped after it",
         [&s] {
             CatalogPlan p;
             p.signer = &s["expired"];
             p.counterSigner = &s["tsa"];
             p.counterTime = time(nullptr) - kDay;
             return p;
         },
         none,
         {},
         {"SIGNER_EXPIRED error kwenet.cat", notMs},
         "lies outside it"},
        {"untrusted",
         by("vendor"),
         none,
         {"other root"},
         {"SIGNER_UNTRUSTED error kwenet.cat", notMs},
         "issuer CN=Test root (TEST ONLY)"},
    };
    fs::path base = fs::temp_directory_path() / ("hallimor-catalog-" + std::to_string(::getpid()));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::path folder = base / "WIN7";
        fs::remove_all(base);
        fs::create_directories(folder);
        for (const char* name : {"kwenet.inf", "KWEusbnet.sys"}) {
            fs::copy_file(fs::path(HALLIMOR_SAMPLE_DIR) / "Drivers/64bit/WIN7" / name, folder / name);
        }
        std::string catalogBytes = WriteCatalog(folder, row.plan());
        row.fault(folder, &catalogBytes);
        WriteFile(folder / "kwenet.cat", catalogBytes);

        SigningContext context;
        context.now = time(nullptr);
        for (const std::string& root : row.trust) {
            context.trustGiven = true;
            context.trusted.push_back(s[root].certificate);
        }
        std::vector<PackageLayout> layouts;
        ASSERT_TRUE(FindPackageLayouts(folder, &layouts));
        std::vector<SigningFinding> findings;
        std::vector<CatalogSummary> catalogs;
        CheckInfSigning(layouts[0], ReadInfFacts(folder / "kwenet.inf", "kwenet.inf"), &context, &findings,
                        &catalogs);
        std::set<std::string> got;
        const char* severities[] = {"error", "warning", "note"};
        for (const SigningFinding& f : findings) {
            got.insert(f.code + " " + severities[f.severity] + " " + f.file);
        }
        EXPECT_EQ(row.expected, got);
        bool said = false;
        for (const SigningFinding& f : findings) {
            said = said || f.message.find(row.messagePart) != std::string::npos;
        }
        EXPECT_TRUE(said) << row.messagePart;
        ASSERT_EQ(1u, catalogs.size());
    }
    fs::remove_all(base);
}

} // namespace
