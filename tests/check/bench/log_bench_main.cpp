// Benchmark of hallimor-check log --summary over a fleet's logs: writes
// N install logs (default 10,000) into a folder and times the verb over the
// folder, reading included. Not a test: run by hand on a Release build, the
// figure goes to docs/performance.md.
//
//   hallimor_log_bench [COUNT] [FOLDER]
//
// The logs are copies of the install logs of real runs under Wine (the seed
// logs of the log reader's fuzz target: Install, Uninstall, Clean,
// Preinstall_cfg, a run without a package, a driver file that cannot be
// replaced, a cut log), one in ten of them a log of a machine with 300
// driver-store INFs ahead of the package's nine.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The Install log of the seeds with the superseded removal of a machine
// whose driver store holds oemCount INFs of other vendors: each is read,
// then every package INF is read to compare.
std::string WithOemInfs(const std::string& install, int oemCount) {
    const std::string marker = "Error : Search Oem*.inf file \r\n";
    size_t at = install.find(marker);
    if (at == std::string::npos) {
        return install;
    }
    size_t stamp = install.rfind('(', at);
    std::string prefix = install.substr(stamp, at - stamp);
    std::string removal;
    const char* infs[] = {"gorvel",  "kweccid", "kwediag", "kwemdm",  "kwenet",
                          "kwenmea", "kweser",  "kwesnd",  "zefodvbh"};
    for (int i = 0; i < oemCount; ++i) {
        removal += prefix + "Found [USB\\VID_8086&PID_" + std::to_string(1000 + i) +
                   "] from C:\\Windows\\inf\\oem" + std::to_string(i) + ".inf\r\n";
        for (const char* inf : infs) {
            removal += prefix +
                       "Found [USB\\VID_3E1F&PID_A101&MI_00] from C:\\Hallimor\\Drivers\\64bit\\WIN7\\" +
                       inf + ".inf\r\n";
        }
    }
    return install.substr(0, stamp) + removal + install.substr(at + marker.size());
}

} // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? atoi(argv[1]) : 10000;
    fs::path folder = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "hallimor_log_bench";
    fs::path seeds = fs::path(HALLIMOR_SOURCE_DIR) / "tests" / "fuzz" / "log_corpus";

    std::vector<std::string> logs;
    std::string install;
    for (const fs::directory_entry& entry : fs::directory_iterator(seeds)) {
        logs.push_back(ReadAll(entry.path()));
        if (entry.path().filename() == "install.log") {
            install = logs.back();
        }
    }
    if (logs.empty() || install.empty()) {
        fprintf(stderr, "hallimor_log_bench: no seed logs in %s\n", seeds.string().c_str());
        return 1;
    }
    std::string big = WithOemInfs(install, 300);

    fs::remove_all(folder);
    size_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        fs::path dir = folder / ("pc" + std::to_string(i / 100));
        if (i % 100 == 0) {
            fs::create_directories(dir);
        }
        const std::string& text = i % 10 == 9 ? big : logs[static_cast<size_t>(i) % logs.size()];
        std::ofstream(dir / ("HandsetInstallInfo-" + std::to_string(i) + ".log"), std::ios::binary) << text;
        bytes += text.size();
    }

    for (int pass = 1; pass <= 3; ++pass) {
        std::ostringstream out;
        std::ostringstream err;
        auto start = std::chrono::steady_clock::now();
        int code = RunLogVerb({folder.string(), "--summary"}, out, err);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("pass %d: %d logs, %.1f MB, %.3f s, %.0f logs/s, %.0f MB/s, exit %d\n", pass, count,
               bytes / 1e6, seconds, count / seconds, bytes / 1e6 / seconds, code);
        if (pass == 3) {
            printf("%s", out.str().c_str());
        }
    }
    fs::remove_all(folder);
    return 0;
}
