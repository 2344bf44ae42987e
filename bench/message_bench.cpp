// Drawing a message line on a logo: a short one and one of a million
// characters, which must cost no more than the part that shows. Each run
// reports the peak resident memory it added.

#include <benchmark/benchmark.h>

#include <string>

#include "BenchMemory.h"
#include "app/Composer.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"

namespace {

void BM_DrawMessage(benchmark::State& state)
{
    const std::string line(static_cast<size_t>(state.range(0)), 'W');
    Limg logo;
    ImgAlloc(logo, LogoWidth, LogoHeight, 8);
    bench::MeasurePeak(state, [&] {
        DrawMessage(logo, line);
        return true;
    });
    ImgFree(logo);
}
BENCHMARK(BM_DrawMessage)->ArgName("chars")->Arg(20)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
