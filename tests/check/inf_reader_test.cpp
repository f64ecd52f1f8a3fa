// The INF reader's choice of the models section that 64-bit Windows reads.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inf/inf_reader.h"

namespace {

struct DecorationCase {
    std::vector<std::string> fields; // the Manufacturer line's fields 1, 2, ...
    unsigned major;
    unsigned minor;
    std::string expected;
    unsigned build = 7601;
};

TEST(InfReaderDecoration, X64TakesTheMostSpecificAmd64DecorationThatApplies) {
    const std::vector<DecorationCase> cases = {
        {{"KWE"}, 6, 1, ""},                                // undecorated: nothing on x64
        {{"KWE", "NT"}, 6, 1, ""},                          // no architecture
        {{"KWE", "NTx86"}, 6, 1, ""},                       // another architecture
        {{"KWE", "NTamd64"}, 6, 1, "KWE.NTamd64"},          //
        {{"KWE", "ntAMD64"}, 6, 1, "KWE.ntAMD64"},          // letter case ignored, kept as written
        {{"KWE", "NTx86", "NTamd64"}, 5, 2, "KWE.NTamd64"}, //
        {{"KWE", "NTamd64", "NTamd64.6.1"}, 6, 1, "KWE.NTamd64.6.1"},
        {{"KWE", "NTamd64.6.1", "NTamd64"}, 6, 0, "KWE.NTamd64"}, // 6.1 is above Vista
        {{"KWE", "NTamd64.10.0"}, 6, 2, ""},                      //
        {{"KWE", "NTamd64.6.0", "NTamd64.6.2"}, 10, 0, "KWE.NTamd64.6.2"},
        {{"KWE", "NTamd64...3"}, 6, 1, ""}, // servers only, on a workstation
        {{"KWE", "NTamd64.6.x"}, 6, 1, ""}, // no number
        {{}, 6, 1, ""},
        {{"KWE", "NTamd64.10.0...22000"}, 10, 0, "", 19045}, // Windows 11 only
        {{"KWE", "NTamd64.10.0...22000"}, 10, 0, "KWE.NTamd64.10.0...22000", 22631},
        {{"KWE", "NTamd64.6.1...9000"}, 10, 0, "KWE.NTamd64.6.1...9000", 19045}, // build of 6.1 not compared
        {{"KWE", "NTamd64.10.0...19041", "NTamd64.10.0...22000"}, 10, 0, "KWE.NTamd64.10.0...22000", 22631},
        {{"KWE", "NTamd64.6.1", "NTamd64.6.1.1"}, 6, 1, "KWE.NTamd64.6.1.1"}, // the closer of equal versions
        {{"KWE", "NTamd64.6.1..0x2", "NTamd64.6.1.1"}, 6, 1, "KWE.NTamd64.6.1.1"}, // suite bits not had
        {{"KWE", "NTamd64.6.1", "ntamd64.6.1"}, 6, 1, "KWE.NTamd64.6.1"},          // equal: the first
    };
    for (const DecorationCase& c : cases) {
        infreader::InfLine line;
        line.fields = c.fields;
        infreader::TargetWindows target;
        target.major = c.major;
        target.minor = c.minor;
        target.build = c.build;
        std::string shown = c.fields.empty() ? "(empty)" : c.fields.back();
        EXPECT_EQ(c.expected, infreader::SelectX64ModelsSection(line, target))
            << shown << " on " << c.major << "." << c.minor;
    }
}

// Strings as SetupAPI substitutes them: one strings section chosen by the
// reading system's language, whose entries are never themselves
// substituted; UTF-16 and UTF-8 text converted to its ANSI code page; the
// DIRIDs of the system folders; blanks trimmed.
TEST(InfReaderStrings, OneSectionByLanguageInTheAnsiCodePage) {
    struct Row {
        const char* name;
        std::string text;
        const char* provider;
        unsigned language = 0x0409;
        unsigned codePage = 1252;
    };
    const std::string head = "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=%P%\r\n";
    auto utf16 = [](const std::u16string& text) {
        std::string out;
        for (char16_t c : text) {
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(c >> 8);
        }
        return out;
    };
    const std::string wide = utf16(u"[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=%P%\r\n[Strings]\r\n"
                                   u"P=\"Wide\u2122 \u0416\u4e2d\"\r\n");
    const std::string english = "[Strings]\r\nP=\"Neutral\"\r\n[Strings.0009]\r\nP=\"English\"\r\n";
    const Row rows[] = {
        {"neutral only", head + "[Strings]\r\nP=\"KWE Corporation\"\r\n", "KWE Corporation"},
        {"localized after",
         head + "[Strings]\r\nP=\"Neutral\"\r\n[Strings.0409]\r\nP=\"KWE Corporation\"\r\n",
         "KWE Corporation"},
        {"localized before",
         head + "[strings.0409]\r\nP=\"KWE Corporation\"\r\n[Strings]\r\nP=\"Neutral\"\r\n",
         "KWE Corporation"},
        {"other language ignored", head + "[Strings]\r\nP=\"Neutral\"\r\n[Strings.0407]\r\nP=\"Deutsch\"\r\n",
         "Neutral"},
        {"exact language", head + english + "[Strings.0809]\r\nP=\"British\"\r\n", "British", 0x0809},
        {"neutral sublanguage", head + english + "[Strings.0809]\r\nP=\"British\"\r\n", "English", 0x0c09},
        {"any sublanguage", head + "[Strings]\r\nP=\"Neutral\"\r\n[Strings.0809]\r\nP=\"British\"\r\n",
         "British"},
        {"never merged", head + "[Strings]\r\nP=\"Neutral\"\r\n[Strings.0409]\r\nQ=\"x\"\r\n", "%P%"},
        {"first definition", head + "[Strings]\r\nP=\"First\"\r\nP=\"Second\"\r\n", "First"},
        {"unquoted comma", head + "[Strings]\r\nP=KWE, Corporation\r\n", "KWE"},
        {"entries not substituted", head + "[Strings.0409]\r\nP=\"%Q%\"\r\nQ=\"x\"\r\n", "%Q%"},
        {"missing token kept", head, "%P%"},
        {"UTF-16", "\xFF\xFE" + wide, "Wide\x99 ??"},
        {"UTF-16 without mark", wide, "Wide\x99 ??"},
        {"UTF-16 in 1251", "\xFF\xFE" + wide, "Wide\x99 \xC6?", 0x0419, 1251},
        {"UTF-8 signature", "\xEF\xBB\xBF" + head + "[Strings]\r\nP=\"KWE\xE2\x84\xA2\xC3\xA9\"\r\n",
         "KWE\x99\xE9"},
        {"DIRID", "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=%12%\\x.sys,\r\n",
         "C:\\Windows\\system32\\drivers\\x.sys"},
        {"blanks", "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=\xA0\f KWE Corp\xA0\f\v\r\n",
         "KWE Corp"},
    };
    for (const Row& row : rows) {
        infreader::InfFile inf;
        unsigned line = 0;
        infreader::ReadingSystem system;
        system.language = row.language;
        system.codePage = row.codePage;
        ASSERT_EQ(infreader::INF_OK, infreader::ParseInfText(row.text, system, &inf, &line)) << row.name;
        const infreader::InfSection* version = infreader::FindInfSection(inf, "Version");
        ASSERT_NE(nullptr, version);
        ASSERT_EQ(2u, version->lines.size());
        ASSERT_LE(1u, version->lines[1].fields.size());
        EXPECT_EQ(row.provider, version->lines[1].fields[0]) << row.name;
    }
    // The signature is read as written; code pages beyond the table read as 1252.
    infreader::InfFile inf;
    EXPECT_EQ(infreader::INF_WRONG_STYLE,
              infreader::ParseInfText("[Version]\r\nSignature=%S%\r\n[Strings]\r\nS=\"$Windows NT$\"\r\n",
                                      &inf, nullptr));
    EXPECT_TRUE(infreader::IsSupportedCodePage(1251));
    EXPECT_FALSE(infreader::IsSupportedCodePage(936));
}

} // namespace
