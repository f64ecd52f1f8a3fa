// Process entry of hallimor-check.
#include <iostream>

#include "check.h"

int main(int argc, char** argv) {
    return RunCheckTool(argc, argv, std::cout, std::cerr);
}
