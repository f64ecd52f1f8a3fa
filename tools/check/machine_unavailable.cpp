// hallimor-check machine on a development host: the verb reads a Windows
// machine through the installer's platform layer, which exists only in the
// Windows build.
#include "check.h"

int RunMachineVerb(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "hallimor-check machine: the machine verb runs on Windows only\n";
    return CHECK_EXIT_CANNOT;
}
