// The package checks on copies of the sample package, one planted defect per
// row: the finding it must give (layout, file, severity, code) and the exit.
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalog_test_support.h"
#include "check.h"
#include "package_scan.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Replaces every occurrence of from in the file; the test fails when there is none.
void Edit(const fs::path& path, const std::string& from, const std::string& to) {
    std::string text = ReadText(path);
    size_t at = text.find(from);
    ASSERT_NE(std::string::npos, at) << path << ": " << from;
    for (; at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    WriteText(path, text);
}

std::string JsonEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += (c == '\\' || c == '"') ? std::string("\\") + c : std::string(1, c);
    }
    return out;
}

struct Outcome {
    int exit;
    std::string out;
    std::string err;
};

Outcome Check(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    int code = RunPackageVerb(args, out, err);
    return Outcome{code, out.str(), err.str()};
}

class PackageCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("hallimor-package-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        fs::copy(HALLIMOR_SAMPLE_DIR "/Drivers", root / "Drivers", fs::copy_options::recursive);
        win7 = root / "Drivers" / "64bit" / "WIN7";
    }
    void TearDown() override {
        fs::remove_all(root);
    }
    fs::path root;
    fs::path win7;
};

TEST_F(PackageCheck, TheSamplePackageChecksClean) {
    Outcome run = Check({HALLIMOR_SAMPLE_DIR});
    EXPECT_EQ(CHECK_EXIT_OK, run.exit) << run.out;
    // The test signer's warning, once per catalog.
    EXPECT_NE(std::string::npos, run.out.find("\n0 errors, 36 warnings\n")) << run.out;
    EXPECT_EQ(0u,
              run.out.find("Drivers\\64bit\\WIN7\\ holds a package, read by Windows 7 / Server 2008 R2\n"));
    EXPECT_NE(std::string::npos,
              run.out.find(
                  "Drivers\\64bit\\ holds a package, read by Windows 8 / Server 2012, Windows 8.1 / Server "
                  "2012 R2, Windows 10 / Server 2016 to 2022, Windows 11 / Server 2025\n"));
    // One package folder checked on its own; up to the sample's test root.
    Outcome trusted =
        Check({win7.string(), "--trust", HALLIMOR_SAMPLE_DIR "/TEST-ONLY-root-certificate.pem"});
    EXPECT_EQ(CHECK_EXIT_OK, trusted.exit) << trusted.out;
    EXPECT_NE(std::string::npos, trusted.out.find("\n0 errors, 9 warnings\n")) << trusted.out;
}

TEST_F(PackageCheck, EachPlantedDefectGivesItsFinding) {
    struct Row {
        const char* code;
        const char* file;
        const char* severity; // "none": the code must not be given and the check passes
        std::function<void(const fs::path&)> plant;
        std::vector<std::string> extraArgs = {};
        const char* layout = "WIN7"; // the OS folder planted in; "" for Drivers\64bit\ itself
        const char* message = "";    // a part of the finding's message
    };
    const fs::path net = "kwenet.inf";
    auto edit = [net](const std::string& from, const std::string& to) {
        return [net, from, to](const fs::path& f) { Edit(f / net, from, to); };
    };
    auto localized = edit("[Strings]\r\n", "[Strings]\r\nKWE = \"Other Corp\"\r\n[Strings.0009]\r\n");
    const std::vector<Row> rows = {
        {"SCAN_TOO_MANY",
         "",
         "error",
         [](const fs::path& f) {
             for (int i = 0; i < 42; ++i) {
                 WriteText(f / ("extra" + std::to_string(i) + ".sys"), "MZ");
             }
         },
         {}},
        {"SCAN_NAME_TOO_LONG",
         "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk.sys",
         "error",
         [](const fs::path& f) { WriteText(f / (std::string(70, 'k') + ".sys"), "MZ"); },
         {}},
        {"PATH_TOO_LONG",
         "kwenet.inf",
         "error",
         [](const fs::path&) {},
         {"--setup-dir", "C:\\" + std::string(230, 's')}},
        {"FILTER_PAIRING",
         "kweccid.inf",
         "error",
         [](const fs::path& f) { fs::rename(f / "gorvel.inf", f / "zgorvel.inf"); },
         {}},
        {"SHORT_NAME_MATCH",
         "KWEusbnet.sys_old",
         "error",
         [](const fs::path& f) { fs::copy_file(f / "KWEusbnet.sys", f / "KWEusbnet.sys_old"); },
         {}},
        {"INF_UNREADABLE",
         "junk.inf",
         "error",
         [](const fs::path& f) { WriteText(f / "junk.inf", std::string("MZ\x90\0\x03\0\0\0", 8)); },
         {}},
        {"NO_MANUFACTURER",
         "kwenet.inf",
         "error",
         [net](const fs::path& f) { Edit(f / net, "[Manufacturer]", "[Makers]"); },
         {}},
        {"MODELS_SECTION_MISSING",
         "kwenet.inf",
         "error",
         [net](const fs::path& f) { Edit(f / net, "[KWE]", "[KWEX]"); },
         {}},
        {"NO_NTAMD64_MODELS",
         "kwenet.inf",
         "error",
         [net](const fs::path& f) { Edit(f / net, "%KWE% = KWE, NTamd64", "%KWE% = KWE"); },
         {}},
        {"NO_CATALOG",
         "kwenet.inf",
         "error",
         [net](const fs::path& f) { Edit(f / net, "CatalogFile = kwenet.cat", ""); },
         {}},
        {"CATALOG_MISSING",
         "kwenet.inf",
         "error",
         [](const fs::path& f) { fs::remove(f / "kwenet.cat"); },
         {}},
        {"FIRST_ID_FOREIGN",
         "kwenet.inf",
         "error",
         [net](const fs::path& f) {
             Edit(f / net, "USB\\VID_3E1F&PID_A101&MI_04,", "USB\\VID_1234&PID_A101&MI_04,");
         },
         {}},
        {"INBOX_DRIVER_NAME",
         "usbser.sys",
         "error",
         [](const fs::path& f) { fs::copy_file(f / "KWEusbser6k.sys", f / "usbser.sys"); },
         {}},
        {"FIRST_ID_SHARED",
         "kwenet2.inf",
         "warning",
         [net](const fs::path& f) { fs::copy_file(f / net, f / "kwenet2.inf"); },
         {}},
        {"MODELS_DIFFER",
         "kwenet.inf",
         "warning",
         [net](const fs::path& f) {
             std::string text = ReadText(f / net);
             size_t section = text.find("[KWE.NTamd64]");
             text.replace(text.find("PID_B20C&MI_04,", section), 15, "PID_B20D&MI_04,");
             WriteText(f / net, text);
         },
         {}},
        {"REMOVAL_NOT_COVERED",
         "kwenet.inf",
         "warning",
         [net](const fs::path& f) { Edit(f / net, "PID_B20C&MI_04,", "PID_FF0C&MI_04,"); },
         {}},
        {"PROVIDER_NOT_PURGED",
         "kwenet.inf",
         "warning",
         [net](const fs::path& f) { Edit(f / net, "Provider    = %KWE%", "Provider    = \"Other Corp\""); },
         {}},
        {"SERVICE_NOT_PURGED",
         "kwenet.inf",
         "warning",
         [net](const fs::path& f) {
             Edit(f / net, "AddService = KWEusbnet,",
                  "AddService = OtherNet, 2, S\r\nAddService = OtherNet,");
         },
         {}},
        // After every other name, so that the pairing keeps its index.
        {"SYS_UNUSED",
         "zextra.sys",
         "warning",
         [](const fs::path& f) { WriteText(f / "zextra.sys", "MZ"); },
         {}},
        {"FILE_NOT_PURGED",
         "zextra.sys",
         "warning",
         [](const fs::path& f) { WriteText(f / "zextra.sys", "MZ"); },
         {}},
        // Before "gorvel.sys": the .sys list shifts and the pairing breaks.
        {"FILTER_PAIRING",
         "kweccid.inf",
         "error",
         [](const fs::path& f) { WriteText(f / "extra.sys", "MZ"); },
         {}},
        {"DRIVERVER_FORM",
         "kwenet.inf",
         "warning",
         [net](const fs::path& f) { Edit(f / net, "11/20/2009,2.3.0.6", "2009-11-20,2.3"); },
         {}},
        {"DRIVERVER_FORM", "kwenet.inf", "none", edit("11/20/", "11-20-")},
        {"NO_CATALOG", "kwenet.inf", "none", edit("CatalogFile =", "CatalogFile.NT =")},
        {"SYS_UNUSED", "zextra.sys", "none",
         [edit](const fs::path& f) {
             WriteText(f / "zextra.sys", "MZ");
             edit("%12%\\KWEusbnet.sys", "%12%\\zextra.sys")(f);
         }},
        {"MODELS_SECTION_EMPTY", "kwenet.inf", "error", edit("[KWE]\r\n", "[KWE]\r\n[KWE.Old]\r\n")},
        {"NTAMD64_MODELS_EMPTY",
         "kwenet.inf",
         "error",
         edit("[KWE.NTamd64]\r\n", "[KWE.NTamd64]\r\n[Old]\r\n"),
         {},
         "WIN7",
         "for Windows 7 / Server 2008 R2 [KWE.NTamd64]:"},
        {"FIRST_ID_EMPTY",
         "kwenet.inf",
         "warning",
         edit("Install, USB\\VID_3E1F&PID_A101&MI_04,", "Install, ,"),
         {},
         "WIN7",
         "The first line of [KWE] has no hardware ID in field 2"},
        // Windows 11 alone reads NTamd64.10.0...22000; the versions listed oldest first.
        {"NO_NTAMD64_MODELS",
         "kwenet.inf",
         "error",
         edit("NTamd64", "NTamd64.10.0...22000"),
         {},
         "",
         "Windows 8.1 / Server 2012 R2, Windows 10 / Server 2016 to 2022:"},
        // [Strings.0009] is what a US English system reads; others read [Strings].
        {"PROVIDER_NOT_PURGED", "kwenet.inf", "none", localized},
        {"LOCALIZED_PROVIDER_NOT_PURGED", "kwenet.inf", "warning", localized, {}, "WIN7", "[Strings] gives"},
        {"LOCALIZED_PROVIDER_NOT_PURGED",
         "kwenet.inf",
         "warning",
         edit("[Strings]\r\n", "[Strings.0804]\r\nKWE = \"KWE \xB9\xAB\"\r\n[Strings]\r\n"),
         {},
         "WIN7",
         "[Strings.0804] gives"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        TearDown();
        SetUp();
        const fs::path folder = root / "Drivers" / "64bit" / row.layout;
        row.plant(folder);
        // Signed after the change, as a vendor ships it (the catalog a row
        // removes stays removed).
        if (fs::exists(folder / "kwenet.cat")) {
            catalog::SignForTest(folder);
        }
        std::vector<std::string> args = {root.string(), "--json"};
        args.insert(args.end(), row.extraArgs.begin(), row.extraArgs.end());
        Outcome run = Check(args);
        if (std::string(row.severity) == "none") {
            EXPECT_EQ(std::string::npos, run.out.find(std::string("\"code\": \"") + row.code + "\""))
                << run.out;
            EXPECT_EQ(CHECK_EXIT_OK, run.exit) << run.out;
            continue;
        }
        std::string label = std::string("Drivers\\64bit\\") + row.layout + (*row.layout ? "\\" : "");
        std::string expected = "{\"layout\": \"" + JsonEscaped(label) + "\", \"file\": \"" +
                               JsonEscaped(row.file) + "\", \"severity\": \"" + row.severity +
                               "\", \"code\": \"" + row.code + "\"";
        size_t at = run.out.find(expected);
        ASSERT_NE(std::string::npos, at) << run.out;
        EXPECT_EQ(std::string::npos, run.out.find(expected, at + 1)) << "given twice: " << run.out;
        std::string finding = run.out.substr(at, run.out.find('\n', at) - at);
        EXPECT_NE(std::string::npos, finding.find(JsonEscaped(row.message))) << finding;
        bool error = std::string(row.severity) == "error";
        EXPECT_EQ(error ? CHECK_EXIT_FINDINGS : CHECK_EXIT_OK, run.exit) << run.out;
        // The other layouts are untouched copies of the sample.
        EXPECT_EQ(
            std::string::npos,
            run.out.find(
                "\"layout\": \"Drivers\\\\64bit\\\\VISTA\\\\\", \"file\": \"\", \"severity\": \"error\""));
        if (!error) {
            EXPECT_EQ(CHECK_EXIT_FINDINGS, Check({root.string(), "--strict"}).exit);
        }
    }
}

// The inf verb reads as each Windows version and as the language asked for;
// several files make an array, and an unreadable one exits with 1.
TEST_F(PackageCheck, InfVerbReadsAsEachWindowsAndLanguage) {
    const fs::path inf = root / "Drivers" / "64bit" / "kwenet.inf";
    Edit(inf, "NTamd64", "NTamd64.10.0...22000");
    Edit(inf, "[Strings]\r\n", "[Strings.0804]\r\nKWE = \"KWE \xB9\xAB\"\r\n[Strings]\r\n");
    std::ostringstream json, text, err;
    EXPECT_EQ(CHECK_EXIT_FINDINGS,
              RunInfVerb({inf.string(), (root / "none.inf").string(), "--json", "--language", "0x0804"}, json,
                         err));
    for (const char* part :
         {"[\n  {\"file\": ", "\"stringsSection\": \"Strings.0804\", \"provider\": \"KWE \\u00b9\\u00ab\"",
          "\"installer\": {\"modelsSection\": \"KWE\", \"lines\": 5, \"firstHardwareId\": "
          "\"USB\\\\VID_3E1F&PID_A101&MI_04\"}",
          "{\"name\": \"Windows 10 / Server 2016 to 2022\", \"version\": \"10.0.19045\", \"modelsSection\": "
          "null, "
          "\"lines\": 0}, {\"name\": \"Windows 11 / Server 2025\", \"version\": \"10.0.22631\", "
          "\"modelsSection\": "
          "\"KWE.NTamd64.10.0...22000\", \"lines\": 5}]}",
          "none.inf\", \"readable\": false, \"reason\": \"the file cannot be read\"}\n]\n"}) {
        EXPECT_NE(std::string::npos, json.str().find(part)) << part << "\n" << json.str();
    }
    EXPECT_EQ(CHECK_EXIT_OK, RunInfVerb({inf.string()}, text, err));
    EXPECT_NE(std::string::npos, text.str().find("\n  provider           KWE Corporation\n")) << text.str();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {inf.string(), "--codepage", "936"}, {inf.string(), "--language", "0x10000"}}) {
        std::ostringstream none;
        EXPECT_EQ(CHECK_EXIT_CANNOT, RunInfVerb(args, none, err));
        EXPECT_EQ("", none.str());
    }
}

TEST_F(PackageCheck, ArgumentsAndFoldersWithoutAVerdict) {
    const std::vector<std::vector<std::string>> wrong = {{},
                                                         {"--json"},
                                                         {root.string(), "--setup-dir"},
                                                         {root.string(), "--fast"},
                                                         {root.string(), root.string()},
                                                         {(root / "missing").string()}};
    for (const std::vector<std::string>& args : wrong) {
        Outcome run = Check(args);
        EXPECT_EQ(CHECK_EXIT_CANNOT, run.exit);
        EXPECT_EQ("", run.out);
        EXPECT_EQ(0u, run.err.find("hallimor-check package: "));
    }
    // An empty setup folder is readable: no layout holds a package.
    fs::remove_all(root / "Drivers");
    fs::create_directories(root / "Drivers" / "64bit");
    Outcome run = Check({root.string()});
    EXPECT_EQ(CHECK_EXIT_FINDINGS, run.exit);
    EXPECT_NE(std::string::npos, run.out.find("error NO_PACKAGE_AT_ALL: "));
    EXPECT_NE(std::string::npos,
              run.out.find("note NO_PACKAGE: Windows 7 / Server 2008 R2 find no package here"));
}

// Hostile content gives findings, never a crash or a hang: an INF of 10 MB,
// unterminated quotes and sections, non-ASCII names, UTF-16 text, a folder of
// 10,000 files.
TEST_F(PackageCheck, HostileContentGivesFindings) {
    WriteText(win7 / "huge.inf", std::string(10u * 1024u * 1024u, ';'));
    WriteText(win7 / "quote.inf", "[Version]\nSignature=\"$Windows NT$\nProvider=\"KWE\n[Manufacturer\n");
    WriteText(win7 / "caf\xe9.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Version]\r\nSignature=\"$Windows NT$\"\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    WriteText(win7 / "wide.inf", utf16);
    for (int i = 0; i < 10000; ++i) {
        WriteText(win7 / ("f" + std::to_string(i) + ".txt"), "");
    }
    Outcome run = Check({root.string(), "--json"});
    EXPECT_EQ(CHECK_EXIT_FINDINGS, run.exit);
    for (const char* expected :
         {"\"file\": \"huge.inf\", \"severity\": \"error\", \"code\": \"INF_UNREADABLE\", "
          "\"message\": \"SetupAPI cannot read it (the file is 10 MB or larger)",
          "\"file\": \"quote.inf\", \"severity\": \"error\", \"code\": \"INF_UNREADABLE\"",
          "\"file\": \"caf\\u00e9.inf\", \"severity\": \"error\", \"code\": \"NO_MANUFACTURER\"",
          "\"file\": \"wide.inf\", \"severity\": \"error\", \"code\": \"NO_MANUFACTURER\""}) {
        EXPECT_NE(std::string::npos, run.out.find(expected)) << expected;
    }
}

TEST(PackageScanNames, ShortNameMatchesAndNtfsOrder) {
    struct Row {
        const char* name;
        bool matches;
        bool throughShortName;
    };
    const Row rows[] = {
        {"kwenet.sys", true, false}, {"KWENET.SYS", true, false}, {"kwenet.sys_old", true, true},
        {"x.sysx", true, true},      {"x.sy", false, false},      {"x.sys.bak", false, false},
        {"sys", false, false},       {"a.b.sys", true, false},    {"x.syst~", true, true},
    };
    for (const Row& row : rows) {
        bool shortName = true;
        EXPECT_EQ(row.matches, ScanPatternMatches(row.name, "sys", &shortName)) << row.name;
        EXPECT_EQ(row.throughShortName, shortName) << row.name;
    }
    // Upper-cased ordinal order: '_' (0x5F) after the letters, "gorvel" before "KWE".
    EXPECT_TRUE(NtfsNameLess("gorvel.sys", "KWETDDiag.sys"));
    EXPECT_TRUE(NtfsNameLess("KWEZ.sys", "KWE_.sys"));
    EXPECT_FALSE(NtfsNameLess("abc.inf", "ABC.INF"));
}

} // namespace
