// The two steps the best colours add to an import of the 4000 x 3000
// picture: the area-averaged fit of its 6:5 crop, and libimagequant's
// reduction of the 320 x 400 result. To read beside BM_ImportImageBest.

#include <benchmark/benchmark.h>

#include <cstring>

#include "BenchPicture.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "image/ImgBoxFit.h"
#include "image/PalVga.h"

namespace {

void LoadPhoto(Limg& img)
{
    ImgAlloc(img, bench::PictureWidth, bench::PictureHeight, 24);
    std::memcpy(img.Data, bench::PhotoLike().data(), bench::PhotoLike().size());
}

void BM_BestBoxFit(benchmark::State& state)
{
    Limg photo, fitted;
    LoadPhoto(photo);
    const int32_t cropWidth = bench::PictureHeight * 6 / 5;
    for (auto _ : state) {
        ImgBoxFit(photo, fitted, 320, 400, cropWidth, bench::PictureHeight, -(bench::PictureWidth - cropWidth) / 2, 0);
        if (ErrGet() != 0) state.SkipWithError("the fit failed");
        ImgFree(fitted);
    }
    ImgFree(photo);
}
BENCHMARK(BM_BestBoxFit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BestReduce(benchmark::State& state)
{
    Limg photo, fitted, work;
    LoadPhoto(photo);
    ImgBoxFit(photo, fitted, 320, 400, bench::PictureWidth, bench::PictureHeight, 0, 0);
    ImgFree(photo);
    for (auto _ : state) {
        state.PauseTiming();
        ImgCopy(fitted, work);
        state.ResumeTiming();
        PalReduceVga(work, 256);
        if (ErrGet() != 0) state.SkipWithError("the reduction failed");
        state.PauseTiming();
        ImgFree(work);
        state.ResumeTiming();
    }
    ImgFree(fitted);
}
BENCHMARK(BM_BestReduce)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
