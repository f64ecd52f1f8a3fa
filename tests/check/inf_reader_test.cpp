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
    };
    for (const DecorationCase& c : cases) {
        infreader::InfLine line;
        line.fields = c.fields;
        infreader::TargetWindows target;
        target.major = c.major;
        target.minor = c.minor;
        std::string shown = c.fields.empty() ? "(empty)" : c.fields.back();
        EXPECT_EQ(c.expected, infreader::SelectX64ModelsSection(line, target))
            << shown << " on " << c.major << "." << c.minor;
    }
}

// Strings as SetupAPI substitutes them on a US English system: the
// localized section's entries win over the neutral ones, in either order of
// the sections, and are themselves never substituted; UTF-16 text is read
// narrowed.
TEST(InfReaderStrings, LocalizedSectionWinsOverTheNeutralOne) {
    struct Row {
        const char* name;
        std::string text;
        const char* provider;
    };
    const std::string head = "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=%P%\r\n";
    std::string wide = "\xFF\xFE";
    for (char c : head + "[Strings]\r\nP=\"Wide Corp\"\r\n") {
        wide += c;
        wide += '\0';
    }
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
        {"entries not substituted", head + "[Strings.0409]\r\nP=\"%Q%\"\r\nQ=\"x\"\r\n", "%Q%"},
        {"missing token kept", head, "%P%"},
        {"UTF-16", wide, "Wide Corp"},
    };
    for (const Row& row : rows) {
        infreader::InfFile inf;
        unsigned line = 0;
        ASSERT_EQ(infreader::INF_OK, infreader::ParseInfText(row.text, &inf, &line)) << row.name;
        const infreader::InfSection* version = infreader::FindInfSection(inf, "Version");
        ASSERT_NE(nullptr, version);
        ASSERT_EQ(2u, version->lines.size());
        ASSERT_EQ(1u, version->lines[1].fields.size());
        EXPECT_EQ(row.provider, version->lines[1].fields[0]) << row.name;
    }
}

} // namespace
