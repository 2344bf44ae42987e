// The image core on the import's road: a 4000 x 3000 picture fitted to the
// logo (crop or borders, then resampling to 320 x 400) and reduced to a
// dithered 256-colour image, against decoding the same picture from JPEG
// (BM_LibjpegDecodeMemory, in this program too). The import may cost at
// most half the decode.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "BenchPicture.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "image/PalOpt.h"

namespace {

constexpr int32_t LogoWidth = 320;
constexpr int32_t LogoHeight = 400;

void Fail(benchmark::State& state, const char* what)
{
    if (ErrGet() != 0) state.SkipWithError(what);
}

// The picture as a 24-bit record.
void LoadPicture(Limg& img)
{
    const std::vector<uint8_t>& bgr = bench::PhotoLike();
    ImgAlloc(img, bench::PictureWidth, bench::PictureHeight, 24);
    std::memcpy(img.Data, bgr.data(), bgr.size());
}

// A picture of the logo size with the same content, for the reduction.
void LoadLogoSized(Limg& img)
{
    Limg picture;
    LoadPicture(picture);
    ImgResample(picture, img, LogoWidth, LogoHeight);
    ImgFree(picture);
}

// The two fitting rules of the import for a picture wider than 6 : 5.
struct Rect {
    int32_t X, Y, W, H;
};

Rect CropRect(int32_t w, int32_t h)
{
    const double ratio = static_cast<double>(w) / h;
    if (ratio < 1.2) {
        const int32_t height = (w * 5) / 6;
        return {0, (h - height) / 2, w, height};
    }
    const int32_t width = (h * 6) / 5;
    return {(w - width) / 2, 0, width, h};
}

Rect CanvasRect(int32_t w, int32_t h)
{
    const double ratio = static_cast<double>(w) / h;
    if (ratio < 1.2) {
        const int32_t width = static_cast<int32_t>(std::nearbyint(h * 1.2));
        return {(width - w) / 2, 0, width, h};
    }
    const int32_t height = static_cast<int32_t>(std::nearbyint(w * 5.0 / 6.0));
    return {0, (height - h) / 2, w, height};
}

// As the import does it: the crop or the bordered canvas is resampled in
// place, never made.
void FitByCrop(Limg& picture)
{
    const Rect r = CropRect(picture.Width, picture.Height);
    ImgResampleRect_(picture, picture, LogoWidth, LogoHeight, r.W, r.H, -r.X, -r.Y);
}

void FitWithBorders(Limg& picture)
{
    const Rect r = CanvasRect(picture.Width, picture.Height);
    ImgResampleRect_(picture, picture, LogoWidth, LogoHeight, r.W, r.H, r.X, r.Y);
}

void ReduceColors(Limg& img)
{
    Limg temp;
    ImgAlloc(temp, img.Width, img.Height, 8);
    PalInit();
    PalBegin();
    PalHistogram(img);
    PalReduce(256);
    PalMap(img, temp, true);
    PalDone();
    ImgXchg(img, temp);
    ImgFree(temp);
}

void BM_Resample4000x3000To320x400(benchmark::State& state)
{
    Limg src, dst;
    LoadPicture(src);
    for (auto _ : state) {
        ImgResample(src, dst, LogoWidth, LogoHeight);
        Fail(state, "ImgResample failed");
        benchmark::DoNotOptimize(dst.Data);
    }
    ImgFree(dst);
    ImgFree(src);
}
BENCHMARK(BM_Resample4000x3000To320x400)->Unit(benchmark::kMillisecond);

// Each iteration starts from a fresh copy of the picture, as the import does
// from a freshly loaded one; the copy is not timed. With `Reduce` it is the
// whole import after loading, the figure to hold against half of
// BM_LibjpegDecodeMemory.
template <void (*Fit)(Limg&), bool Reduce>
void BM_Fit(benchmark::State& state)
{
    Limg original, picture;
    LoadPicture(original);
    for (auto _ : state) {
        state.PauseTiming();
        ImgCopy(original, picture);
        state.ResumeTiming();
        Fit(picture);
        if constexpr (Reduce) ReduceColors(picture);
        Fail(state, Reduce ? "import failed" : "fitting failed");
        benchmark::DoNotOptimize(picture.Data);
    }
    ImgFree(picture);
    ImgFree(original);
}
BENCHMARK(BM_Fit<FitByCrop, false>)->Name("BM_FitCropThenResample")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fit<FitWithBorders, false>)->Name("BM_FitBordersThenResample")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fit<FitByCrop, true>)->Name("BM_ImportCropResampleReduce")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fit<FitWithBorders, true>)->Name("BM_ImportBordersResampleReduce")->Unit(benchmark::kMillisecond);

// PalInit through PalMap with dither (and PalDone) of a 320 x 400 picture.
void BM_ReduceDithered320x400(benchmark::State& state)
{
    Limg original, picture, target;
    LoadLogoSized(original);
    ImgAlloc(target, LogoWidth, LogoHeight, 8);
    for (auto _ : state) {
        state.PauseTiming();
        ImgCopy(original, picture);  // the dither changes its source
        state.ResumeTiming();
        PalInit();
        PalBegin();
        PalHistogram(picture);
        PalReduce(256);
        PalMap(picture, target, true);
        PalDone();
        Fail(state, "reduction failed");
        benchmark::DoNotOptimize(target.Data);
    }
    for (Limg* i : {&original, &picture, &target}) ImgFree(*i);
}
BENCHMARK(BM_ReduceDithered320x400)->Unit(benchmark::kMillisecond);

void BM_ConvBit8To24_4000x3000(benchmark::State& state)
{
    Limg src, dst;
    ImgAlloc(src, bench::PictureWidth, bench::PictureHeight, 8);
    const std::vector<uint8_t>& bgr = bench::PhotoLike();
    for (int32_t i = 0; i < src.Size; ++i) src.Data[i] = bgr[3 * static_cast<size_t>(i)];
    for (int i = 0; i < 256; ++i) {
        src.Palette[i][0] = static_cast<uint8_t>(i);
        src.Palette[i][1] = static_cast<uint8_t>(255 - i);
        src.Palette[i][2] = static_cast<uint8_t>(i / 2);
    }
    ImgAlloc(dst, bench::PictureWidth, bench::PictureHeight, 24);
    for (auto _ : state) {
        ImgConvBit(src, dst, 24);
        Fail(state, "ImgConvBit failed");
        benchmark::DoNotOptimize(dst.Data);
    }
    ImgFree(dst);
    ImgFree(src);
}
BENCHMARK(BM_ConvBit8To24_4000x3000)->Unit(benchmark::kMillisecond);

}  // namespace
