// hallimor-check log: placeholder until the log verdicts land.
#include "check.h"

int RunLogVerb(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "hallimor-check log: not available in this build\n";
    return CHECK_EXIT_CANNOT;
}
