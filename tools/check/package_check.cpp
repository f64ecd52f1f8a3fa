// hallimor-check package: placeholder until the package checks land.
#include "check.h"

int RunPackageVerb(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "hallimor-check package: not available in this build\n";
    return CHECK_EXIT_CANNOT;
}
