// hallimor-check machine: placeholder until the detection check lands.
#include "check.h"

int RunMachineVerb(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "hallimor-check machine: not available in this build\n";
    return CHECK_EXIT_CANNOT;
}
