// Verb dispatch of hallimor-check: one table of the verbs, read by the
// dispatch and the help.
#include <string>
#include <vector>

#include "check.h"

namespace {

// Every verb, in the order the help lists them.
const std::vector<CheckVerb> kVerbs = {
    {"package", RunPackageVerb, kPackageVerbUsage},
    {"log", RunLogVerb, kLogVerbUsage},
    {"inf", RunInfVerb, kInfVerbUsage},
    {"machine", RunMachineVerb, kMachineVerbUsage},
};

void PrintUsage(std::ostream& err) {
    for (size_t i = 0; i < kVerbs.size(); ++i) {
        err << (i == 0 ? "usage: " : "       ") << "hallimor-check " << kVerbs[i].usage << "\n";
    }
}

} // namespace

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
