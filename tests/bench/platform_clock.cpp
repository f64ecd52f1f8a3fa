// The benchmark's platform clock (see platform_clock.h).
#include "platform_clock.h"

#include <time.h>
#include <valgrind/callgrind.h>

namespace perf {

namespace {

int g_Depth = 0;
uint64_t g_EnteredAt = 0;
PlatformTotals g_Totals = {{0, 0}, {0, 0}};
CollectMode g_Mode = kCollectNone;

uint64_t Now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000000ull + static_cast<uint64_t>(t.tv_nsec);
}

} // namespace

void BeginPlatformCall() {
    if (g_Depth++ != 0) {
        return;
    }
    if (g_Mode == kCollectOwn) {
        CALLGRIND_TOGGLE_COLLECT;
    }
    g_EnteredAt = Now();
}

void EndPlatformCall(CallKind kind) {
    if (--g_Depth != 0) {
        return;
    }
    g_Totals.nanoseconds[kind] += Now() - g_EnteredAt;
    g_Totals.calls[kind] += 1;
    if (g_Mode == kCollectOwn) {
        CALLGRIND_TOGGLE_COLLECT;
    }
}

void ResetPlatformClock() {
    g_Depth = 0;
    g_Totals = PlatformTotals{{0, 0}, {0, 0}};
}

PlatformTotals ReadPlatformClock() {
    return g_Totals;
}

void SetCollectMode(CollectMode mode) {
    g_Mode = mode;
}

void BeginRunCollection() {
    if (g_Mode != kCollectNone) {
        CALLGRIND_TOGGLE_COLLECT;
    }
}

void EndRunCollection() {
    if (g_Mode != kCollectNone) {
        CALLGRIND_TOGGLE_COLLECT;
    }
}

} // namespace perf
