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

} // namespace
