// Test support of the catalog checks: RSA keys and certificates made with
// OpenSSL, and a package folder signed with them by the project's signing
// code.
#ifndef HALLIMOR_TESTS_CHECK_CATALOG_TEST_SUPPORT_H
#define HALLIMOR_TESTS_CHECK_CATALOG_TEST_SUPPORT_H

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "catalog/catalog.h"
#include "sign_openssl.h"

namespace catalog {

const long kDay = 86400;

struct TestSigner {
    EVP_PKEY* key = nullptr;
    X509* x509 = nullptr;
    Certificate certificate;
};

// A certificate valid from..to days from now, issued by issuer (itself when
// null), with the extended key usages eku ("" for none).
inline TestSigner MakeSigner(const char* name, const char* organization, const TestSigner* issuer, long from,
                             long to, const char* eku, bool ca) {
    static long serial = 1;
    TestSigner s;
    s.key = EVP_RSA_gen(1024);
    s.x509 = X509_new();
    X509_set_version(s.x509, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(s.x509), serial++);
    X509_gmtime_adj(X509_getm_notBefore(s.x509), from * kDay);
    X509_gmtime_adj(X509_getm_notAfter(s.x509), to * kDay);
    X509_set_pubkey(s.x509, s.key);
    X509_NAME* subject = X509_get_subject_name(s.x509);
    X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(organization), -1, -1, 0);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(name), -1,
                               -1, 0);
    X509_set_issuer_name(s.x509, issuer != nullptr ? X509_get_subject_name(issuer->x509) : subject);
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer != nullptr ? issuer->x509 : s.x509, s.x509, nullptr, nullptr, 0);
    for (auto ext : {std::make_pair(NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE"),
                     std::make_pair(NID_ext_key_usage, eku)}) {
        if (*ext.second != '\0') {
            X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, &context, ext.first, ext.second);
            X509_add_ext(s.x509, e, -1);
            X509_EXTENSION_free(e);
        }
    }
    X509_sign(s.x509, issuer != nullptr ? issuer->key : s.key, EVP_sha256());
    unsigned char* der = nullptr;
    int size = i2d_X509(s.x509, &der);
    std::string error;
    EXPECT_TRUE(ReadCertificate(DerSpan{der, static_cast<size_t>(size)}, &s.certificate, &error)) << error;
    OPENSSL_free(der);
    return s;
}

// Signs every INF's catalog in the folder anew, as a vendor signs a package
// after changing it (one test signer for all).
inline void SignForTest(const std::filesystem::path& folder) {
    static TestSigner signer =
        MakeSigner("Package signer (TEST ONLY)", "TEST ONLY", nullptr, -1, 30, "codeSigning", false);
    FileHashCache cache;
    std::ostringstream out;
    SignPackageFolder(folder, {signer.certificate}, signer.key, HASH_UNKNOWN, 1704067200, &cache, out, out);
}

} // namespace catalog

#endif
