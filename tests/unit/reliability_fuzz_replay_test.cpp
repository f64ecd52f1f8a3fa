// Replays the fuzz target's seed corpus and every input that once broke a
// rule (tests/fuzz/regressions/) through the same machine builder and checks
// as the fuzz target, in the host test build, so that they keep passing
// without clang or libFuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../fuzz/fuzz_machine.h"

namespace {

std::string FuzzFolder() {
    std::filesystem::path here(__FILE__);
    return (here.parent_path().parent_path() / "fuzz").string();
}

std::vector<std::filesystem::path> InputsIn(const std::string& folder) {
    std::vector<std::filesystem::path> inputs;
    if (!std::filesystem::is_directory(folder)) {
        return inputs;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string Broken(const std::filesystem::path& input) {
    std::ifstream file(input, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    fuzzmachine::Built built =
        fuzzmachine::BuildMachine(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return fuzzmachine::RunAndCheck(built);
}

// The seeds, and every input that once broke a rule (kept in
// tests/fuzz/regressions/ when fuzzing finds one).
TEST(ReliabilityFuzzReplay, SeedsAndFormerFailuresRunClean) {
    std::vector<std::filesystem::path> seeds = InputsIn(FuzzFolder() + "/corpus");
    std::vector<std::filesystem::path> former = InputsIn(FuzzFolder() + "/regressions");
    ASSERT_GE(seeds.size(), 8u) << "seed corpus missing in " << FuzzFolder();
    for (const auto& input : seeds) {
        EXPECT_EQ("", Broken(input)) << input.filename();
    }
    for (const auto& input : former) {
        EXPECT_EQ("", Broken(input)) << input.filename();
    }
    std::printf("fuzz replay: %zu seed inputs, %zu former failures\n", seeds.size(), former.size());
}

// The checks themselves must be able to fail: a foreign device removed
// behind the program's back is reported.
TEST(ReliabilityFuzzReplay, ChecksSeeAForeignRemoval) {
    std::string seed = FuzzFolder() + "/corpus/word-install";
    std::ifstream file(seed, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    fuzzmachine::Built built =
        fuzzmachine::BuildMachine(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    sim::Device* foreign = sim::FindDevice("USB\\VID_1234&PID_5678\\7&3&0&1");
    ASSERT_NE(nullptr, foreign);
    sim::M().devices.erase(sim::M().devices.begin() + (foreign - sim::M().devices.data()));
    EXPECT_NE(std::string::npos, fuzzmachine::RunAndCheck(built).find("device removed"));
}

} // namespace
