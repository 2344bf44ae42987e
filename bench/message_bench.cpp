// Drawing a message line on a logo: a short one and one of a million
// characters, which must cost no more than the part that shows. Each run
// reports the peak resident memory it added.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "app/Composer.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"

namespace {

int64_t StatusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(field.size()));
    return 0;
}

void BM_DrawMessage(benchmark::State& state)
{
    const std::string line(static_cast<size_t>(state.range(0)), 'W');
    Limg logo;
    ImgAlloc(logo, LogoWidth, LogoHeight, 8);
    int64_t peakKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream("/proc/self/clear_refs") << "5";
        const int64_t base = StatusKiB("VmRSS:");
        state.ResumeTiming();
        DrawMessage(logo, line);
        state.PauseTiming();
        peakKiB = std::max(peakKiB, StatusKiB("VmHWM:") - base);
        state.ResumeTiming();
    }
    ImgFree(logo);
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
}
BENCHMARK(BM_DrawMessage)->ArgName("chars")->Arg(20)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
