// Benchmark of whole installer runs on generated simulated machines.
//
// Every benchmark runs one operation word on a machine of a given shape and
// reports, per run:
//   calls      platform calls made (the machine's journal)
//   platform   time inside the simulated platform calls (Windows calls and
//              the log stream, bracketed by platform_clock.h)
//   own        the program's own time: the run's time less the platform time
//              (an upper bound: the brackets' clock reads stay in it)
//   own_pct    own as a share of the run, in percent
// The machine is built before the measured span of every iteration.
//
// Usage:
//   hallimor_bench [benchmark options]           the series (see below)
//   hallimor_bench --single WORD OEM DEV PKG [--collect=run|own]
//       one run, printed as one line; with --collect the run (or only the
//       program's own instructions) is measured by callgrind's client
//       requests: run it under valgrind --tool=callgrind --collect-atstart=no.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <set>
#include <string>
#include <vector>

#include "generated_machine.h"
#include "machine.h"
#include "platform_clock.h"

namespace {

const char* const kWords[] = {"Install",       "Preinstall",     "Preinstall_f", "Preinstall_cfg",
                              "Preinstall_cu", "Preinstall_BYT", "Uninstall",    "Clean"};

uint64_t Now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000000ull + static_cast<uint64_t>(t.tv_nsec);
}

struct RunFigures {
    int exitCode;
    uint64_t totalNs;
    uint64_t windowsNs;
    uint64_t streamNs;
    uint64_t calls;          // journal entries
    uint64_t bracketedCalls; // Windows calls and stream operations bracketed
};

// Time that a bracket adds outside its own measured span, per bracketed
// call, measured once with empty brackets. It is left in the program's own
// time, which is therefore an upper bound; --single prints it.
double g_BracketOverheadNs = 0;

void CalibrateBrackets() {
    const int kRounds = 200000;
    perf::ResetPlatformClock();
    uint64_t start = Now();
    for (int i = 0; i < kRounds; ++i) {
        perf::Timed(perf::kWindowsCall, []() { benchmark::ClobberMemory(); });
    }
    uint64_t total = Now() - start;
    uint64_t inside = perf::ReadPlatformClock().nanoseconds[perf::kWindowsCall];
    g_BracketOverheadNs = total > inside ? static_cast<double>(total - inside) / kRounds : 0.0;
    perf::ResetPlatformClock();
}

RunFigures RunOnce(const char* word, const perf::MachineShape& shape) {
    perf::BuildMachine(shape);
    perf::ResetPlatformClock();
    perf::BeginRunCollection();
    uint64_t start = Now();
    int code = sim::Run({word});
    uint64_t total = Now() - start;
    perf::EndRunCollection();
    perf::PlatformTotals t = perf::ReadPlatformClock();
    RunFigures f;
    f.exitCode = code;
    f.totalNs = total;
    f.windowsNs = t.nanoseconds[perf::kWindowsCall];
    f.streamNs = t.nanoseconds[perf::kLogStream];
    f.calls = sim::Journal().size();
    f.bracketedCalls = t.calls[perf::kWindowsCall] + t.calls[perf::kLogStream];
    return f;
}

// The run's time outside the platform calls. It still holds the brackets'
// own clock reads, so it bounds the program's own time from above.
double OwnNs(const RunFigures& f) {
    double own = static_cast<double>(f.totalNs) - static_cast<double>(f.windowsNs + f.streamNs);
    return own < 0 ? 0 : own;
}

void RunBenchmark(benchmark::State& state, const char* word, perf::MachineShape shape) {
    double own = 0;
    double windows = 0;
    double stream = 0;
    double total = 0;
    uint64_t calls = 0;
    for (auto _ : state) {
        RunFigures f = RunOnce(word, shape);
        if (f.exitCode != 0) {
            state.SkipWithError("the run did not end with exit code 0");
            break;
        }
        state.SetIterationTime(static_cast<double>(f.totalNs) * 1e-9);
        own += OwnNs(f);
        windows += static_cast<double>(f.windowsNs);
        stream += static_cast<double>(f.streamNs);
        total += static_cast<double>(f.totalNs);
        calls = f.calls;
    }
    double n = static_cast<double>(state.iterations());
    if (n == 0) {
        return;
    }
    state.counters["calls"] = static_cast<double>(calls);
    state.counters["own_us"] = own / n / 1000.0;
    state.counters["platform_us"] = (windows + stream) / n / 1000.0;
    state.counters["stream_us"] = stream / n / 1000.0;
    state.counters["own_pct"] = total > 0 ? 100.0 * own / total : 0.0;
}

std::string BenchName(const char* word, const perf::MachineShape& s) {
    return std::string(word) + "/oem:" + std::to_string(s.oemInfs) + "/dev:" + std::to_string(s.usbDevices) +
           "/pkg:" + std::to_string(s.packageInfs);
}

// The series: each input grown on its own from a base machine of 100 OEM
// INFs, 10 USB devices and a package of 10 INFs, for every operation word;
// and the OEM INF count against the package size for Install, where the
// superseded removal reads every package INF for every OEM INF.
std::vector<std::pair<const char*, perf::MachineShape>> Series() {
    std::vector<std::pair<const char*, perf::MachineShape>> runs;
    std::set<std::string> seen;
    auto add = [&](const char* word, perf::MachineShape s) {
        if (seen.insert(BenchName(word, s)).second) {
            runs.push_back({word, s});
        }
    };
    for (const char* word : kWords) {
        for (int oem : {10, 100, 1000, 5000}) {
            add(word, {oem, 10, 10});
        }
        for (int dev : {10, 100, 1000}) {
            add(word, {100, dev, 10});
        }
        for (int pkg : {1, 10, 50}) {
            add(word, {100, 10, pkg});
        }
    }
    for (int oem : {10, 100, 1000, 5000}) {
        for (int pkg : {1, 10, 50}) {
            add("Install", {oem, 10, pkg});
        }
    }
    return runs;
}

int RunSingle(int argc, char** argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: hallimor_bench --single WORD OEM DEV PKG [--collect=run|own]\n");
        return 2;
    }
    perf::MachineShape shape{atoi(argv[3]), atoi(argv[4]), atoi(argv[5])};
    if (argc > 6 && strcmp(argv[6], "--collect=run") == 0) {
        perf::SetCollectMode(perf::kCollectRun);
    } else if (argc > 6 && strcmp(argv[6], "--collect=own") == 0) {
        perf::SetCollectMode(perf::kCollectOwn);
    }
    RunFigures f = RunOnce(argv[2], shape);
    printf("%s exit=%d calls=%llu bracketed=%llu total_us=%.1f windows_us=%.1f stream_us=%.1f own_us=%.1f "
           "own_pct=%.2f bracket_ns=%.1f\n",
           BenchName(argv[2], shape).c_str(), f.exitCode, static_cast<unsigned long long>(f.calls),
           static_cast<unsigned long long>(f.bracketedCalls), static_cast<double>(f.totalNs) / 1000.0,
           static_cast<double>(f.windowsNs) / 1000.0, static_cast<double>(f.streamNs) / 1000.0,
           OwnNs(f) / 1000.0, f.totalNs > 0 ? 100.0 * OwnNs(f) / static_cast<double>(f.totalNs) : 0.0,
           g_BracketOverheadNs);
    return f.exitCode == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    CalibrateBrackets();
    if (argc > 1 && strcmp(argv[1], "--single") == 0) {
        return RunSingle(argc, argv);
    }
    for (const auto& run : Series()) {
        const char* word = run.first;
        perf::MachineShape shape = run.second;
        benchmark::RegisterBenchmark(
            BenchName(word, shape).c_str(),
            [word, shape](benchmark::State& state) { RunBenchmark(state, word, shape); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
