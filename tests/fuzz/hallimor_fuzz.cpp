// libFuzzer target: builds a simulated machine from the input bytes (see
// fuzz_machine.h for their layout), runs the installer on it once and stops
// with a crash report when a run breaks one of the rules every run keeps.
// Built with clang and -fsanitize=fuzzer,address,undefined by
// tests/fuzz/CMakeLists.txt; scripts/test-reliability runs it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzmachine::Built built = fuzzmachine::BuildMachine(data, size);
    std::string broken = fuzzmachine::RunAndCheck(built);
    if (!broken.empty()) {
        fprintf(stderr, "hallimor_fuzz: %s\n", broken.c_str());
        abort();
    }
    return 0;
}
