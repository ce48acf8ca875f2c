#pragma once
// Timing and target lines shared by the benchmark programs that print their
// figures against the targets.
#include <chrono>
#include <cstdio>

namespace tavix::bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Whether a figure missed its target (or a run failed): the exit status.
inline bool& missedTarget() {
    static bool missed = false;
    return missed;
}

// One figure against its target, a line of its own.
inline void report(const char* what, double ms, double targetMs) {
    const bool ok = ms <= targetMs;
    missedTarget() = missedTarget() || !ok;
    std::printf("%-46s %10.1f ms   (target %.0f ms)%s\n", what, ms, targetMs, ok ? "" : "  MISSED");
    std::fflush(stdout);
}

}  // namespace tavix::bench
