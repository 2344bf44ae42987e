#pragma once
// Helpers of the PCX, TGA, PNM, SGI and Sun raster tests: byte strings,
// pictures as RGB, Pillow as an independent reader, third-party files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "support/HostTools.h"
#include "support/TempMachine.h"

namespace rasters {

using hosttools::Bytes;
using hosttools::FromHex;
using hosttools::HavePillow;
using hosttools::ReadHost;
using hosttools::RunPython;
using hosttools::WriteHost;

inline Bytes B(std::initializer_list<int> v)
{
    Bytes b;
    for (int c : v) b.push_back(static_cast<uint8_t>(c));
    return b;
}

inline Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// The picture as red, green, blue bytes, whatever its depth.
inline Bytes Rgb(const Limg& img)
{
    Bytes out;
    const int n = img.Width * img.Height;
    out.reserve(static_cast<size_t>(n) * 3);
    for (int i = 0; i < n; ++i) {
        const uint8_t* p = img.Data + static_cast<size_t>(i) * img.BytesPP;
        if (img.Bits == 8) {
            out.insert(out.end(), {img.Palette[*p][2], img.Palette[*p][1], img.Palette[*p][0]});
        } else if (img.Bits == 15) {
            const int v = p[0] | (p[1] << 8);
            out.insert(out.end(),
                       {uint8_t(((v >> 10) & 31) << 3), uint8_t(((v >> 5) & 31) << 3), uint8_t((v & 31) << 3)});
        } else {
            out.insert(out.end(), {p[2], p[1], p[0]});
        }
    }
    return out;
}

// A picture of the given depth with varied pixels (and palette).
inline void MakePicture(Limg& img, int w, int h, int bits, int seed = 1)
{
    ImgAlloc(img, w, h, bits);
    uint32_t s = static_cast<uint32_t>(seed) * 2654435761u;
    for (int i = 0; i < img.Size; ++i) {
        s = s * 1103515245u + 12345u;
        // Runs of equal bytes as well as noise, so the coders see both.
        img.Data[i] = (i / 7) % 3 == 0 ? static_cast<uint8_t>(i / 21) : static_cast<uint8_t>(s >> 16);
    }
    for (int i = 0; i < 256; ++i) {
        img.Palette[i][0] = static_cast<uint8_t>(i * 7 + seed);
        img.Palette[i][1] = static_cast<uint8_t>(255 - i);
        img.Palette[i][2] = static_cast<uint8_t>(i * 3);
    }
}

#define RASTERS_REQUIRE_PILLOW()                                                               \
    do {                                                                                       \
        if (!rasters::HavePillow()) GTEST_SKIP() << "Pillow is not installed for " LUM_PYTHON; \
    } while (0)

// What Pillow decodes: its mode and size and the picture as RGB bytes (for
// 16-bit grey modes the samples as big-endian words instead).
struct PillowPicture {
    std::string Mode;
    int Width = 0;
    int Height = 0;
    Bytes Pixels;
};

inline bool PillowRead(const std::string& hostPath, PillowPicture& pic)
{
    std::string out;
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1] if len(sys.argv) > 1 else '" +
        hostPath +
        "')\n"
        "im.load()\n"
        "print(im.mode, im.size[0], im.size[1])\n"
        "if im.mode.startswith('I'):\n"
        "    print(b''.join(int(v).to_bytes(2, 'big') for v in im.getdata()).hex())\n"
        "else:\n"
        "    print(im.convert('RGB').tobytes().hex())\n";
    if (!RunPython(script, out)) return false;
    std::istringstream in(out);
    std::string pixels;
    in >> pic.Mode >> pic.Width >> pic.Height >> pixels;
    pic.Pixels = FromHex(pixels);
    return true;
}

// The folder of third-party files, or empty.
inline std::string PillowData()
{
    const std::string root = SharedTestData();
    if (root.empty()) return {};
    const std::string dir = root + "/pillow";
    return std::filesystem::is_directory(dir) ? dir : std::string{};
}

inline std::vector<std::string> PillowFiles(const std::vector<std::string>& extensions, const std::string& prefix = {})
{
    std::vector<std::string> out;
    const std::string dir = PillowData();
    if (dir.empty()) return out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (!prefix.empty() && name.rfind(prefix, 0) != 0) continue;
        for (const auto& x : extensions)
            if (e.path().extension() == x) out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The third-party files, of every format, that once crashed or hung a decoder.
inline std::vector<std::string> HostileFiles()
{
    std::vector<std::string> out;
    const std::string dir = PillowData();
    if (dir.empty()) return out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (e.is_regular_file() &&
            (name.rfind("crash-", 0) == 0 || name.rfind("ossfuzz-", 0) == 0 || name.rfind("timeout-", 0) == 0))
            out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Runs a shell command line (for ImageMagick); true when it exits with 0.
inline bool RunTool(const std::string& command)
{
    return std::system(("( " + command + " ) >/dev/null 2>&1").c_str()) == 0;
}

inline bool HaveMagick()
{
    static int have = -1;
    if (have < 0) have = RunTool("convert -version") ? 1 : 0;
    return have == 1;
}

// Runs a tool's version or help line; true when the tool is installed.
inline bool HaveTool(const std::string& probe)
{
    return RunTool(probe);
}

// Python for Pillow scripts: pattern(mode, w, h) is a picture of gradients
// and noise, so that coders meet runs as well as single values.
inline constexpr const char* PillowPatternCode = R"(
import os, random
from PIL import Image
def pattern(mode, w, h):
    random.seed(w * 31 + h)
    im = Image.new(mode, (w, h))
    bands = len(im.getbands())
    top = 65535 if mode.startswith('I') else 255
    for y in range(h):
        for x in range(w):
            v = [((x * 37 + y * 11 + 5 * b) * 97 + (random.randrange(9) if x % 3 else 0)) % (top + 1)
                 for b in range(bands)]
            im.putpixel((x, y), tuple(v) if bands > 1 else v[0])
    return im
)";

// Runs Pillow code with `dir` as the current folder.
inline bool PillowMake(const std::string& dir, const std::string& body)
{
    std::string out;
    return RunPython(std::string(PillowPatternCode) + "os.chdir('" + dir + "')\n" + body, out);
}

// ImageMagick's decode of a file as RGB bytes, 16-bit samples cut to their
// high byte (as Pillow cuts them).
inline bool MagickRead(const std::string& path, Bytes& rgb)
{
    const std::string out = path + ".magick.rgb";
    if (!RunTool("convert '" + path + "' -depth 16 -endian MSB 'rgb:" + out + "'")) return false;
    const Bytes wide = ReadHost(out);
    std::filesystem::remove(out);
    rgb.clear();
    for (size_t i = 0; i + 1 < wide.size(); i += 2) rgb.push_back(wide[i]);
    return !rgb.empty();
}

// Pillow's decodes of many files in one run, by path; files Pillow cannot
// read are missing. Pixels as PillowRead gives them.
inline std::map<std::string, PillowPicture> PillowReadMany(const std::vector<std::string>& paths)
{
    std::string list;
    for (const auto& p : paths) list += "'" + p + "', ";
    std::string out;
    RunPython(
        "from PIL import Image\n"
        "for p in [" +
            list +
            "]:\n"
            "    try:\n"
            "        im = Image.open(p)\n"
            "        im.load()\n"
            "        if im.mode.startswith('I'):\n"
            "            px = b''.join(int(v).to_bytes(2, 'big') for v in im.getdata()).hex()\n"
            "        else:\n"
            "            px = im.convert('RGB').tobytes().hex()\n"
            "        print(p, im.mode, im.size[0], im.size[1], px)\n"
            "    except Exception:\n"
            "        print(p, '-', 0, 0, '-')\n",
        out);
    std::map<std::string, PillowPicture> pictures;
    std::istringstream in(out);
    std::string path, pixels;
    PillowPicture pic;
    while (in >> path >> pic.Mode >> pic.Width >> pic.Height >> pixels) {
        if (pic.Mode == "-") continue;
        pic.Pixels = FromHex(pixels);
        pictures[path] = pic;
    }
    return pictures;
}

// Loads each file with `load` and expects Pillow's size and RGB pixels (for
// 16-bit grey modes the high byte of each sample). Files Pillow cannot
// decode are compared with ImageMagick's decode instead. Returns how many
// were compared.
template <class Load>
int ExpectPillowsPixels(const std::vector<std::string>& paths, Load load)
{
    const auto pillow = PillowReadMany(paths);
    int compared = 0;
    for (const auto& path : paths) {
        ErrResetState();
        Limg pic;
        load(path, pic);
        EXPECT_EQ(ErrGet(), 0) << path;
        Bytes expect;
        std::string reader = "Pillow";
        const auto it = pillow.find(path);
        if (it != pillow.end()) {
            const PillowPicture& ref = it->second;
            EXPECT_EQ(pic.Width, ref.Width) << path;
            EXPECT_EQ(pic.Height, ref.Height) << path;
            expect = ref.Pixels;
            if (ref.Mode.rfind("I", 0) == 0) {
                expect.clear();
                for (size_t i = 0; i + 1 < ref.Pixels.size(); i += 2) expect.insert(expect.end(), 3, ref.Pixels[i]);
            }
        } else {
            reader = "ImageMagick";
            EXPECT_TRUE(HaveMagick() && MagickRead(path, expect))
                << path << ": neither Pillow nor ImageMagick reads it";
        }
        if (ErrGet() == 0 && !expect.empty()) {
            EXPECT_EQ(Rgb(pic), expect) << path << " as " << reader << " reads it";
            ++compared;
        }
        ImgFree(pic);
    }
    ErrResetState();
    return compared;
}

// Fixture: a private machine and a clean error state.
class RasterTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override
    {
        ImgFree(img);
        ImgFree(back);
        ErrResetState();
    }
    std::string Host(const std::string& name) const { return machine.Host("C:\\" + name); }
    // The host folder of drive C:, with a trailing slash.
    std::string Dir() const { return machine.DriveC() + "/"; }
    Bytes File(const std::string& name) const { return machine.ReadFile("C:\\" + name); }
    void Put(const std::string& name, const Bytes& bytes) const { machine.WriteFile("C:\\" + name, bytes); }

    // Loads `bytes` cut at every tenth of their length with `load`; each
    // must end with an error code or a picture.
    template <class Load>
    void LoadTruncated(const std::string& name, const Bytes& bytes, Load load)
    {
        for (int t = 0; t < 10; ++t) {
            const Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * t / 10));
            Put(name, cut);
            Limg part;
            load("C:\\" + name, part);
            if (ErrGet() == 0) {
                EXPECT_NE(part.Data, nullptr) << "cut at " << t << "/10";
            }
            ImgFree(part);
            ErrResetState();
        }
    }

    // Feeds every hostile third-party file to `load`; each must end with an
    // error code or a picture. Returns how many were tried.
    template <class Load>
    int LoadHostile(Load load)
    {
        int tried = 0;
        for (const auto& path : HostileFiles()) {
            ErrResetState();
            Limg part;
            load(path, part);
            if (ErrGet() == 0) {
                EXPECT_NE(part.Data, nullptr) << path;
            }
            ImgFree(part);
            ++tried;
        }
        ErrResetState();
        return tried;
    }

    TempMachine machine;
    Limg img;
    Limg back;
};

}  // namespace rasters
