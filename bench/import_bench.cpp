// The whole import of a 4000 x 3000 quality-90 JPEG into the warehouse, by
// fitting rule, beside the load it starts with (allocation and JPEG decode).
// Each run also reports the peak resident memory it added, as MiB and as a
// multiple of the decoded picture.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "BenchMemory.h"
#include "BenchPicture.h"
#include "app/Import.h"
#include "app/Settings.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "platform/Paths.h"

namespace {

constexpr double DecodedBytes = 3.0 * bench::PictureWidth * bench::PictureHeight;

// A private drive C: and registry, and the JPEG as a host file beside them.
struct BenchMachine {
    std::string root;
    std::string jpeg;

    BenchMachine()
    {
        char templ[] = "/tmp/lum_import_bench_XXXXXX";
        root = mkdtemp(templ) ? templ : "/tmp";
        const std::string drive = root + "/drive_c";
        mkdir(drive.c_str(), 0777);
        setenv("LUMENADE_DRIVE_C", drive.c_str(), 1);
        setenv("LUMENADE_REGISTRY", (root + "/user.reg").c_str(), 1);
        platform::ReloadConfiguration();
        jpeg = root + "/photo.jpg";
        const std::vector<uint8_t>& bytes = bench::PhotoJpeg90();
        std::ofstream(jpeg, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        Settings.LogosDir = "C:\\LOGOS\\";
    }
    ~BenchMachine()
    {
        std::error_code ignored;
        if (root.rfind("/tmp/lum_import_bench_", 0) == 0) std::filesystem::remove_all(root, ignored);
    }
};

BenchMachine& Machine()
{
    static BenchMachine machine;
    return machine;
}

// Runs one step per iteration and reports its time and the most memory it added.
template <class Step>
void Measure(benchmark::State& state, Step&& step)
{
    const int64_t peakKiB = bench::MeasurePeak(state, step);
    state.counters["peak_x_picture"] = static_cast<double>(peakKiB) * 1024.0 / DecodedBytes;
}

void BM_ImportLoadOnly(benchmark::State& state)
{
    const std::string& file = Machine().jpeg;
    Measure(state, [&] {
        Limg picture;
        ImgAlloc(picture, bench::PictureWidth, bench::PictureHeight, 24);
        ImgLoad(file, picture);
        const bool ok = ErrGet() == 0;
        ImgFree(picture);
        return ok;
    });
}
BENCHMARK(BM_ImportLoadOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImportImage(benchmark::State& state)
{
    const std::string& file = Machine().jpeg;
    Settings.FullScreen = state.range(0) != 0;
    OverwriteAll = true;
    Measure(state, [&] { return ImportImage(file, "C:\\LOGOS\\photo.png").Outcome == ImportOutcome::Imported; });
    state.SetLabel(Settings.FullScreen ? "Fill the screen" : "Show entire image (add borders)");
}
BENCHMARK(BM_ImportImage)->ArgName("fill")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with the reduction for the boot screen's 6-bit palette.
void BM_ImportImageBest(benchmark::State& state)
{
    const std::string& file = Machine().jpeg;
    Settings.FullScreen = true;
    Settings.BestColors = true;
    OverwriteAll = true;
    Measure(state, [&] { return ImportImage(file, "C:\\LOGOS\\photo.png").Outcome == ImportOutcome::Imported; });
    Settings.BestColors = false;
    state.SetLabel("Fill the screen, best colours");
}
BENCHMARK(BM_ImportImageBest)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
