// Process entry of Hallimor_x64.exe.
#include "run/run.h"

int main(int argc, char** argv) {
    return RunInstaller(argc, argv);
}
