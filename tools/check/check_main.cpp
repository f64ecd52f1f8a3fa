// Verb dispatch of hallimor-check: one table of the verbs, read by the
// dispatch, the help and every verb's refusal of its arguments.
#include <string>
#include <vector>

#include "check.h"

namespace {

// Every verb, in the order the help lists them.
const std::vector<CheckVerb> kVerbs = {
    {"package", RunPackageVerb, "package FOLDER [--setup-dir WINPATH] [--json] [--strict]"},
    {"log", RunLogVerb, "log FILE|FOLDER... [--json] [--summary]"},
    {"machine", RunMachineVerb, "machine [FOLDER] [--records]"},
};

void PrintUsage(std::ostream& err) {
    for (size_t i = 0; i < kVerbs.size(); ++i) {
        err << (i == 0 ? "usage: " : "       ") << "hallimor-check " << kVerbs[i].usage << "\n";
    }
}

} // namespace

int RefuseArguments(std::ostream& err, const std::string& verb, const std::string& reason) {
    err << "hallimor-check " << verb << ": " << reason << "\n";
    for (const CheckVerb& entry : kVerbs) {
        if (verb == entry.name) {
            err << "usage: hallimor-check " << entry.usage << "\n";
        }
    }
    return CHECK_EXIT_CANNOT;
}

int RunCheckTool(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) {
        err << "hallimor-check: no verb given\n";
        PrintUsage(err);
        return CHECK_EXIT_CANNOT;
    }
    std::string verb = argv[1];
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    for (const CheckVerb& entry : kVerbs) {
        if (verb == entry.name) {
            return entry.run(args, out, err);
        }
    }
    if (verb == "--help" || verb == "-h" || verb == "help") {
        PrintUsage(out);
        return CHECK_EXIT_OK;
    }
    err << "hallimor-check: unknown verb '" << verb << "'\n";
    PrintUsage(err);
    return CHECK_EXIT_CANNOT;
}
