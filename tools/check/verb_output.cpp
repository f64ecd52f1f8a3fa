// What every verb writes alike: its usage line when it refuses its
// arguments, and the JSON strings of its --json report.
#include <string>

#include "check.h"

const char kPackageVerbUsage[] = "package FOLDER [--setup-dir WINPATH] [--trust PEM]... [--json] [--strict]";
const char kLogVerbUsage[] = "log FILE|FOLDER... [--json | --json-lines] [--summary] [--threads N]";
const char kMachineVerbUsage[] = "machine [FOLDER] [--records] [--restart] [--json]";
const char kInfVerbUsage[] = "inf FILE... [--json] [--language LANGID] [--codepage CP]";

int RefuseArguments(std::ostream& err, const char* usage, const std::string& reason) {
    std::string line = usage;
    err << "hallimor-check " << line.substr(0, line.find(' ')) << ": " << reason << "\n";
    err << "usage: hallimor-check " << line << "\n";
    return CHECK_EXIT_CANNOT;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char ch : text) {
        unsigned char u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (ch == '\n') {
            out += "\\n";
        } else if (u < 0x20 || u >= 0x80) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}
