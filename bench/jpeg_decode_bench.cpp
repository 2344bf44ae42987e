// Decoding a 4000 x 3000 quality-90 JPEG: libjpeg-turbo from memory, the
// codec library from a file, and JPGLoad with the tracked image around it.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "formats/FF_JPG.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "pixcodec/pixcodec.h"

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;

// Smooth gradients with some texture, so the coder sees something like a photo.
std::vector<uint8_t> PhotoLike()
{
    std::vector<uint8_t> bgr(static_cast<size_t>(Width) * Height * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            noise = noise * 1103515245u + 12345u;
            int n = static_cast<int>((noise >> 16) & 15) - 8;
            double wave = std::sin(x * 0.004) * std::cos(y * 0.006);
            uint8_t* p = &bgr[(static_cast<size_t>(y) * Width + x) * 3];
            p[0] = static_cast<uint8_t>(std::clamp(int(128 + 90 * wave) + n, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(y * 255 / Height + n, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(x * 255 / Width + n, 0, 255));
        }
    return bgr;
}

std::vector<uint8_t> EncodeInMemory(const std::vector<uint8_t>& bgr)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = Width;
    c.image_height = Height;
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&bgr[static_cast<size_t>(c.next_scanline) * Width * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

const std::vector<uint8_t>& Jpeg()
{
    static const std::vector<uint8_t> bytes = EncodeInMemory(PhotoLike());
    return bytes;
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

BENCHMARK_MAIN();
