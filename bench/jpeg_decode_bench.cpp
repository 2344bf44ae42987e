// Decoding a 4000 x 3000 quality-90 JPEG: libjpeg-turbo from memory, the
// codec library from a file, and JPGLoad with the tracked image around it.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "BenchPicture.h"
#include "formats/FF_JPG.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "pixcodec/pixcodec.h"

namespace {

constexpr int Width = bench::PictureWidth;
constexpr int Height = bench::PictureHeight;

const std::vector<uint8_t>& Jpeg()
{
    return bench::PhotoJpeg90();
}

const std::string& JpegFile()
{
    static const std::string path = [] {
        std::string p = "/tmp/lum_jpeg_bench_" + std::to_string(::getpid()) + ".jpg";
        FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(Jpeg().data(), 1, Jpeg().size(), f);
        std::fclose(f);
        std::atexit([] { std::remove(("/tmp/lum_jpeg_bench_" + std::to_string(::getpid()) + ".jpg").c_str()); });
        return p;
    }();
    return path;
}

void BM_LibjpegDecodeMemory(benchmark::State& state)
{
    const std::vector<uint8_t>& jpeg = Jpeg();
    std::vector<uint8_t> out(static_cast<size_t>(Width) * Height * 3);
    for (auto _ : state) {
        jpeg_decompress_struct d{};
        jpeg_error_mgr err{};
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, jpeg.data(), jpeg.size());
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = &out[static_cast<size_t>(d.output_scanline) * Width * 3];
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Width * Height * 3);
}
BENCHMARK(BM_LibjpegDecodeMemory)->Unit(benchmark::kMillisecond);

void BM_PixcodecReadFile(benchmark::State& state)
{
    const std::string& file = JpegFile();
    std::vector<uint8_t> out(static_cast<size_t>(Width) * Height * 3);
    for (auto _ : state) {
        int32_t w, h, c;
        if (read_JPEG_file(file.c_str(), out.data(), out.size(), &w, &h, &c) != 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Width * Height * 3);
}
BENCHMARK(BM_PixcodecReadFile)->Unit(benchmark::kMillisecond);

void BM_JPGLoad(benchmark::State& state)
{
    const std::string& file = JpegFile();
    for (auto _ : state) {
        Limg img;
        JPGLoad(file, img);
        if (ErrGet() != 0) state.SkipWithError("JPGLoad failed");
        ImgFree(img);
    }
}
BENCHMARK(BM_JPGLoad)->Unit(benchmark::kMillisecond);

}  // namespace
