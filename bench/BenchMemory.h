#pragma once
// The peak resident memory a benchmarked step adds, read from the kernel.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>

namespace bench {

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:").
inline int64_t StatusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(field.size()));
    return 0;
}

// Runs one step per iteration, timed, and returns the most memory (KiB) one
// added; a step that returns false ends the run as an error.
template <class Step>
int64_t MeasurePeak(benchmark::State& state, Step&& step)
{
    int64_t peakKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Starts a new peak: the kernel sets the high-water mark back to the present size.
        std::ofstream("/proc/self/clear_refs") << "5";
        const int64_t base = StatusKiB("VmRSS:");
        state.ResumeTiming();
        if (!step()) {
            state.SkipWithError("the step failed");
            break;
        }
        state.PauseTiming();
        peakKiB = std::max(peakKiB, StatusKiB("VmHWM:") - base);
        state.ResumeTiming();
    }
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
    return peakKiB;
}

}  // namespace bench
