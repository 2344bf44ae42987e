// Every file our picture writers make, for narrow, odd and wide pictures,
// read back by independent readers: Pillow, ImageMagick and ffmpeg.

#include <gtest/gtest.h>

#include <map>

#include "formats/FFBasic.h"
#include "rasters_support.h"

namespace {

using namespace rasters;

class WritersInteropTest : public RasterTest {};

struct Written {
    std::string File;  // on drive C:
    Bytes Expect;      // red, green, blue
    bool Grey = false;
    bool PillowMisreads = false;
};

// Pillow's pictures of many files in one run: file name -> RGB bytes.
std::map<std::string, Bytes> PillowReadAll(const std::string& dir, const std::vector<Written>& files)
{
    std::string list;
    for (const Written& w : files) list += "'" + w.File + "', ";
    std::string out;
    RunPython("import os\nfrom PIL import Image\nos.chdir('" + dir + "')\nfor n in [" + list +
                  "]:\n"
                  "    try:\n"
                  "        print(n, Image.open(n).convert('RGB').tobytes().hex())\n"
                  "    except Exception:\n"
                  "        print(n, '-')\n",
              out);
    std::map<std::string, Bytes> pictures;
    std::istringstream in(out);
    std::string name, hex;
    while (in >> name >> hex)
        if (hex != "-") pictures[name] = FromHex(hex);
    return pictures;
}

TEST_F(WritersInteropTest, NarrowOddAndWidePicturesOpenInOtherReaders)
{
    RASTERS_REQUIRE_PILLOW();
    // Sun, PNM and SGI files keep the record's side limits of 4 and more.
    const std::pair<const char*, bool> formats[] = {{"pcx", true},  {"dcx", true},  {"tga", true}, {"ppm", false},
                                                    {"pgm", false}, {"rgb", false}, {"bw", false}, {"ras", false}};
    std::vector<Written> files;
    for (const auto& [ext, anyWidth] : formats) {
        for (int bits : {8, 24}) {
            for (int width : {1, 7, 13, 33, 321}) {
                const std::string file =
                    std::string(ext) + std::to_string(bits) + "_" + std::to_string(width) + "." + ext;
                MakePicture(img, width, 5, bits, width * bits);
                ImgSave("C:\\" + file, img);
                if (!anyWidth && width < 4) {
                    EXPECT_EQ(ErrGet(), 11001) << file;
                    ErrResetState();
                    ImgFree(img);
                    continue;
                }
                ASSERT_EQ(ErrGet(), 0) << file;
                Written w;
                w.File = file;
                w.Expect = Rgb(img);
                w.Grey = std::string(ext) == "pgm" || std::string(ext) == "bw";
                if (w.Grey)
                    for (size_t i = 0; i < w.Expect.size(); i += 3)
                        w.Expect[i] = w.Expect[i + 1] = w.Expect[i + 2] = static_cast<uint8_t>(
                            (w.Expect[i] * 19595 + w.Expect[i + 1] * 38470 + w.Expect[i + 2] * 7471 + 0x8000) >> 16);
                const bool pcx = std::string(ext) == "pcx" || std::string(ext) == "dcx";
                w.PillowMisreads = (pcx && bits == 24 && width == 1) || (std::string(ext) == "dcx" && bits == 8);
                files.push_back(w);
                ImgFree(img);
            }
        }
    }

    // Pillow ignores the line length of PCX headers: one-pixel-wide colour
    // rows (padded to two bytes a plane) are left to the other readers, as
    // are palette pages of DCX files (Pillow looks for their pixels at the
    // start of the file).
    const auto pillow = PillowReadAll(Dir(), files);
    for (const Written& w : files) {
        if (w.PillowMisreads) continue;
        const auto it = pillow.find(w.File);
        ASSERT_NE(it, pillow.end()) << w.File << ": Pillow cannot read it";
        EXPECT_EQ(it->second, w.Expect) << w.File << " in Pillow";
    }
    if (HaveMagick()) {
        // One mogrify for all files: each becomes its name's stem + ".rgb".
        std::string names;
        for (const Written& w : files) names += " '" + w.File + "'";
        RunTool("cd '" + Dir() + "' && mkdir -p magick && mogrify -path magick -auto-orient -depth 8 -format rgb" +
                names);
        for (const Written& w : files) {
            const std::string out = Dir() + "magick/" + w.File.substr(0, w.File.rfind('.')) + ".rgb";
            ASSERT_TRUE(std::filesystem::exists(out)) << w.File << ": ImageMagick cannot read it";
            EXPECT_EQ(ReadHost(out), w.Expect) << w.File << " in ImageMagick";
        }
    }
    if (HaveTool("ffmpeg -version")) {
        // One ffmpeg for all files, one output a file; it reads no DCX files.
        std::string inputs, outputs;
        int index = 0;
        for (const Written& w : files) {
            if (w.File.find(".dcx") != std::string::npos) continue;
            inputs += " -i '" + w.File + "'";
            outputs += " -map " + std::to_string(index++) + " -f rawvideo -pix_fmt rgb24 '" + w.File + ".out.rgb'";
        }
        RunTool("cd '" + Dir() + "' && ffmpeg -y" + inputs + outputs);
        for (const Written& w : files) {
            if (w.File.find(".dcx") != std::string::npos) continue;
            const std::string out = Dir() + w.File + ".out.rgb";
            ASSERT_TRUE(std::filesystem::exists(out)) << w.File << ": ffmpeg cannot read it";
            EXPECT_EQ(ReadHost(out), w.Expect) << w.File << " in ffmpeg";
        }
    }
}

}  // namespace
