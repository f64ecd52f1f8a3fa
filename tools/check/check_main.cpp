// Verb dispatch of hallimor-check.
#include <string.h>

#include <string>
#include <vector>

#include "check.h"

namespace {

void PrintUsage(std::ostream& err) {
    err << "usage: hallimor-check package FOLDER [--setup-dir WINPATH] [--json] [--strict]\n"
           "       hallimor-check log FILE|FOLDER... [--json] [--summary]\n"
           "       hallimor-check machine [FOLDER] [--records]\n";
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
    if (verb == "package") {
        return RunPackageVerb(args, out, err);
    }
    if (verb == "log") {
        return RunLogVerb(args, out, err);
    }
    if (verb == "machine") {
        return RunMachineVerb(args, out, err);
    }
    if (verb == "--help" || verb == "-h" || verb == "help") {
        PrintUsage(out);
        return CHECK_EXIT_OK;
    }
    err << "hallimor-check: unknown verb '" << verb << "'\n";
    PrintUsage(err);
    return CHECK_EXIT_CANNOT;
}
