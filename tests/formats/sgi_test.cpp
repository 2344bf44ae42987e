#include <gtest/gtest.h>

#include "formats/FFBasic.h"
#include "formats/FF_SGI.h"
#include "foundation/Bytes.h"
#include "rasters_support.h"

namespace {

using namespace rasters;

class SgiTest : public RasterTest {};

Bytes SgiHeader(int storage, int bpc, int dim, int x, int y, int z)
{
    Bytes h(512, 0);
    PutU16BE(&h[0], 474);
    h[2] = static_cast<uint8_t>(storage);
    h[3] = static_cast<uint8_t>(bpc);
    PutU16BE(&h[4], static_cast<uint16_t>(dim));
    PutU16BE(&h[6], static_cast<uint16_t>(x));
    PutU16BE(&h[8], static_cast<uint16_t>(y));
    PutU16BE(&h[10], static_cast<uint16_t>(z));
    PutU32BE(&h[16], 255);
    return h;
}

Bytes Encode(const Bytes& row)
{
    Bytes out(2 * row.size() + 2);
    const int32_t n =
        SGIdoCmpsRow(row.data(), static_cast<int32_t>(row.size()), out.data(), static_cast<int32_t>(out.size()));
    out.resize(n < 0 ? 0 : n);
    return out;
}

TEST_F(SgiTest, RowEncoderPacketsAndEndByte)
{
    EXPECT_EQ(Encode(Bytes(130, 9)), B({126, 9, 4, 9, 0}));
    EXPECT_EQ(Encode(B({1, 2, 3})), B({131, 1, 2, 3, 0}));
    EXPECT_EQ(Encode(B({1, 2, 2, 3})), B({129, 1, 2, 2, 129, 3, 0}));
    Bytes distinct;
    for (int i = 0; i < 127; ++i) distinct.push_back(static_cast<uint8_t>(i));
    const Bytes e = Encode(distinct);
    ASSERT_EQ(e.size(), 1u + 125 + 1 + 2 + 1);
    EXPECT_EQ(e[0], 128 + 125);
    EXPECT_EQ(e[126], 128 + 2);
    EXPECT_EQ(e.back(), 0);
    Bytes small(3);
    EXPECT_EQ(SGIdoCmpsRow(distinct.data(), 127, small.data(), 3), -1);
}

TEST_F(SgiTest, RowDecoderStopsAtTheEndOfEitherBuffer)
{
    const Bytes packed = B({126, 9, 4, 9, 0, 77});
    Bytes out(200, 0);
    EXPECT_EQ(SGIunCmpsRow(packed.data(), 6, out.data(), 200), 130);
    EXPECT_EQ(out[129], 9);
    EXPECT_EQ(out[130], 0);
    EXPECT_EQ(SGIunCmpsRow(packed.data(), 6, out.data(), 100), 100);
    const Bytes literal = B({133, 1, 2});  // claims five bytes, holds two
    EXPECT_EQ(SGIunCmpsRow(literal.data(), 3, out.data(), 200), 2);
    const Bytes repeat = B({5});
    EXPECT_EQ(SGIunCmpsRow(repeat.data(), 1, out.data(), 200), 0);
}

TEST_F(SgiTest, VerbatimGreyFileLoadsBottomRowLast)
{
    Bytes data;
    for (int i = 0; i < 16; ++i) data.push_back(static_cast<uint8_t>(i * 10));
    Put("g.bw", Cat(SgiHeader(0, 1, 2, 4, 4, 1), data));
    SGILoad("C:\\g.bw", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(img.Data[0], 120);  // the file's last row is the top row
    EXPECT_EQ(img.Data[12], 0);
    EXPECT_EQ(img.Palette[77][1], 77);
}

TEST_F(SgiTest, FourChannelsLoadAsColourWithAlphaDropped)
{
    Bytes data(4 * 16);
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 16; ++i) data[c * 16 + i] = static_cast<uint8_t>(c * 50 + i);
    Put("a.sgi", Cat(SgiHeader(0, 1, 3, 4, 4, 4), data));
    SGILoad("C:\\a.sgi", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    // Top-left pixel is file row 3, column 0: blue plane 2, red plane 0.
    EXPECT_EQ(img.Data[0], 100 + 12);
    EXPECT_EQ(img.Data[1], 50 + 12);
    EXPECT_EQ(img.Data[2], 12);

    Put("la.sgi", Cat(SgiHeader(0, 1, 3, 4, 4, 2), Bytes(data.begin(), data.begin() + 32)));
    SGILoad("C:\\la.sgi", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(back.Bits, 8);
    EXPECT_EQ(back.Data[0], 12);
}

TEST_F(SgiTest, WriterLayoutForAnEightBitImage)
{
    ImgAlloc(img, 4, 4, 8);
    for (int i = 0; i < 16; ++i) img.Data[i] = 3;
    img.Palette[3][0] = 10, img.Palette[3][1] = 20, img.Palette[3][2] = 30;
    SGISave("C:\\o.rgb", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("o.rgb");
    ASSERT_EQ(GetU16BE(&f[0]), 474);
    EXPECT_EQ(f[2], 1);
    EXPECT_EQ(f[3], 1);
    EXPECT_EQ(GetU16BE(&f[4]), 3);
    EXPECT_EQ(GetU16BE(&f[10]), 3);
    EXPECT_EQ(GetU32BE(&f[16]), 255u);
    const uint32_t first = 512 + 4 * 3 * 8;
    EXPECT_EQ(GetU32BE(&f[512]), first);
    EXPECT_EQ(GetU32BE(&f[512 + 48]), 3u);  // length of the first row
    // Red plane first: 4 × 30 as one repeat packet and the end byte.
    EXPECT_EQ(Bytes(f.begin() + first, f.begin() + first + 3), B({4, 30, 0}));
    EXPECT_EQ(f.size(), first + 12 * 3);
    EXPECT_EQ(f[first + 4 * 3 * 2 + 1], 10);  // blue plane
}

TEST_F(SgiTest, InfoAndRefusedVariants)
{
    MakePicture(img, 8, 8, 24);
    SGISave("C:\\i.rgb", img);
    TFileInfo info;
    SGIInfo("C:\\i.rgb", info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.BytesPP, 3);
    EXPECT_EQ(info.Picture.Bits, 24);
    EXPECT_EQ(info.Picture.Compression, "Run Length Encoding (RLE)");
    EXPECT_TRUE(info.Picture.Loadable);

    // Two bytes a channel are described with their 48 bits and load as 24;
    // three bytes a channel are not read.
    Bytes wideData(96, 0);
    wideData[0] = 0xAB;  // the high byte of the bottom row's first red sample
    Put("w.sgi", Cat(SgiHeader(0, 2, 3, 4, 4, 3), wideData));
    TFileInfo wide;
    SGIInfo("C:\\w.sgi", wide);
    EXPECT_TRUE(wide.Picture.Loadable);
    EXPECT_EQ(wide.Picture.Bits, 48);
    SGILoad("C:\\w.sgi", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(back.Bits, 24);
    EXPECT_EQ(back.Data[12 * 3 + 2], 0xAB);
    ImgFree(back);
    Put("x.sgi", Cat(SgiHeader(0, 3, 3, 4, 4, 3), Bytes(144, 0)));
    SGIInfo("C:\\x.sgi", wide);
    EXPECT_FALSE(wide.Picture.Loadable);
    SGILoad("C:\\x.sgi", back);
    EXPECT_EQ(ErrGet(), 6001);
    ErrResetState();
    Put("m.sgi", Bytes(600, 1));
    SGILoad("C:\\m.sgi", back);
    EXPECT_EQ(ErrGet(), 6002);
}

TEST_F(SgiTest, RoundTripOf8And24BitPictures)
{
    for (int bits : {8, 24}) {
        MakePicture(img, 300, 7, bits);
        ImgSave("C:\\r.rgb", img);
        ASSERT_EQ(ErrGet(), 0);
        ImgLoad("C:\\r.rgb", back);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(back.Bits, 24);
        EXPECT_EQ(Rgb(back), Rgb(img)) << bits;
    }
}

TEST_F(SgiTest, RowsOutsideTheFileOrTablesPastItEndCleanly)
{
    // A start beyond the end and a length past it: rows stay empty or cut.
    Bytes f = SgiHeader(1, 1, 2, 4, 4, 1);
    Bytes starts(16), lengths(16);
    const uint32_t data = 512 + 32;
    for (int j = 0; j < 4; ++j) PutU32BE(&starts[4 * j], data), PutU32BE(&lengths[4 * j], 3);
    PutU32BE(&starts[4], 0xFFFFFFF0u);
    PutU32BE(&lengths[8], 0x7FFFFFFFu);
    f = Cat(Cat(Cat(f, starts), lengths), B({4, 7, 0}));
    Put("o.sgi", f);
    SGILoad("C:\\o.sgi", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[12], 7);  // file row 0
    EXPECT_EQ(img.Data[8], 0);   // file row 1 lies outside the file

    Put("t.sgi", Cat(SgiHeader(1, 1, 3, 100, 100, 3), Bytes(40, 0)));
    SGILoad("C:\\t.sgi", back);
    EXPECT_EQ(ErrGet(), 6009);
}

TEST_F(SgiTest, PillowReadsOurFiles)
{
    RASTERS_REQUIRE_PILLOW();
    for (int bits : {8, 24}) {
        MakePicture(img, 131, 9, bits, bits);
        SGISave("C:\\p.rgb", img);
        ASSERT_EQ(ErrGet(), 0);
        PillowPicture pic;
        ASSERT_TRUE(PillowRead(Host("p.rgb"), pic));
        EXPECT_EQ(pic.Mode, "RGB");
        EXPECT_EQ(pic.Pixels, Rgb(img)) << bits;
    }
}

TEST_F(SgiTest, ThirdPartyFilesLoadAsPillowReadsThem)
{
    RASTERS_REQUIRE_PILLOW();
    std::vector<std::string> files;
    for (const auto& p : PillowFiles({".rgb", ".bw", ".sgi"}))
        if (p.find("crash-") == std::string::npos && p.find("ossfuzz-") == std::string::npos) files.push_back(p);
    if (files.empty()) GTEST_SKIP() << "no third-party test data";
    int compared = 0;
    for (const auto& path : files) {
        ErrResetState();
        Limg pic;
        SGILoad(path, pic);
        ASSERT_EQ(ErrGet(), 0) << path;
        PillowPicture ref;
        ASSERT_TRUE(PillowRead(path, ref)) << path;
        ASSERT_EQ(pic.Width, ref.Width) << path;
        ASSERT_EQ(pic.Height, ref.Height) << path;
        EXPECT_EQ(Rgb(pic), ref.Pixels) << path;
        ++compared;
        ImgFree(pic);
    }
    EXPECT_GE(compared, 7);
}

TEST_F(SgiTest, FilesOfImageMagickLoadWithPillowsPixels)
{
    RASTERS_REQUIRE_PILLOW();
    if (!HaveMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    // Its run-length files find their rows through the start and length tables.
    const std::string dir = machine.DriveC() + "/";
    const std::vector<std::pair<std::string, std::string>> made = {
        {"rgb.sgi", "-size 37x5 gradient:red-blue -type TrueColor -depth 8 -compress RLE"},
        {"grey.sgi", "-size 37x5 gradient:red-blue -type Grayscale -depth 8 -compress RLE"},
        {"rgba.sgi",
         "-size 37x5 gradient:red-blue -alpha set -channel A -evaluate set 50% +channel -depth 8 -compress RLE"},
        {"plain.sgi", "-size 37x5 plasma:fractal -seed 7 -type TrueColor -depth 8 -compress None"},
    };
    for (const auto& [name, options] : made) {
        ASSERT_TRUE(RunTool("convert " + options + " 'SGI:" + dir + name + "'")) << name;
        ErrResetState();
        Limg pic;
        SGILoad("C:\\" + name, pic);
        ASSERT_EQ(ErrGet(), 0) << name;
        PillowPicture ref;
        ASSERT_TRUE(PillowRead(dir + name, ref)) << name;
        ASSERT_EQ(pic.Width, ref.Width) << name;
        EXPECT_EQ(Rgb(pic), ref.Pixels) << name;
        ImgFree(pic);
    }
}

TEST_F(SgiTest, RunLengthRowsOfTwoBytesAChannel)
{
    // Codes and samples are 16-bit words: a literal of two, a run of three.
    const Bytes row = B({0, 0x82, 0x12, 0x34, 0xAB, 0xCD, 0, 3, 0x56, 0x78, 0, 0});
    Bytes out(8, 0xEE);
    EXPECT_EQ(SGIunCmpsRow16(row.data(), static_cast<int32_t>(row.size()), out.data(), 8), 5);
    EXPECT_EQ(out, B({0x12, 0xAB, 0x56, 0x56, 0x56, 0xEE, 0xEE, 0xEE}));
    // Cut at either end: a literal past the data, a run past the row.
    EXPECT_EQ(SGIunCmpsRow16(row.data(), 5, out.data(), 8), 1);
    EXPECT_EQ(SGIunCmpsRow16(row.data(), 12, out.data(), 4), 4);
}

TEST_F(SgiTest, FilesOfTwoBytesAChannelFromOtherToolsLoadWithPillowsPixels)
{
    RASTERS_REQUIRE_PILLOW();
    ASSERT_TRUE(PillowMake(Dir(),
                           "for m in ('L', 'RGB', 'RGBA'):\n"
                           "    pattern(m, 23, 6).save('pil_' + m + '.sgi', bpc=2)\n"));
    std::vector<std::string> files = {Dir() + "pil_L.sgi", Dir() + "pil_RGB.sgi", Dir() + "pil_RGBA.sgi"};
    if (HaveMagick()) {
        const std::pair<std::string, std::string> made[] = {
            {"TrueColor", "RLE"}, {"GrayscaleAlpha", "RLE"}, {"Grayscale", "None"}, {"TrueColorAlpha", "None"}};
        for (const auto& [type, compress] : made) {
            const std::string name = Dir() + "im_" + type + compress + ".sgi";
            ASSERT_TRUE(RunTool("convert -size 29x7 plasma:fractal -seed 3 -type " + type + " -depth 16 -compress " +
                                compress + " 'SGI:" + name + "'"))
                << name;
            files.push_back(name);
        }
    }
    if (HaveTool("ffmpeg -version")) {
        // One ffmpeg run writes them all.
        std::string outputs;
        for (const std::string fmt : {"rgb48be", "rgba64be", "gray16be"}) {
            for (const std::string rle : {"0", "1"}) {
                const std::string name = Dir() + "ff_" + fmt + rle + ".sgi";
                outputs += " -frames:v 1 -pix_fmt " + fmt + " -rle " + rle + " " + name;
                files.push_back(name);
            }
        }
        ASSERT_TRUE(RunTool("ffmpeg -y -f lavfi -i testsrc=size=31x9" + outputs));
    }
    EXPECT_EQ(ExpectPillowsPixels(files, [](const std::string& n, Limg& i) { SGILoad(n, i); }),
              static_cast<int>(files.size()));
}

TEST_F(SgiTest, GreyNamesAreWrittenWithOneChannel)
{
    MakePicture(img, 6, 4, 24);
    ImgSave("C:\\g.bw", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("g.bw");
    EXPECT_EQ(GetU16BE(&f[4]), 2);
    EXPECT_EQ(GetU16BE(&f[10]), 1);
    ImgLoad("C:\\g.bw", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(back.Bits, 8);
    // The grey of each pixel, as Pillow's conversion to "L" gives it.
    for (int i = 0; i < 24; ++i) {
        const uint8_t* p = img.Data + 3 * i;
        EXPECT_EQ(back.Data[i], (p[2] * 19595 + p[1] * 38470 + p[0] * 7471 + 0x8000) >> 16) << i;
    }
    if (!HavePillow()) return;
    PillowPicture pic;
    ASSERT_TRUE(PillowRead(Host("g.bw"), pic));
    EXPECT_EQ(pic.Mode, "L");
    EXPECT_EQ(pic.Pixels, Rgb(back));
}

TEST_F(SgiTest, DamagedFilesEndWithACodeOrAPicture)
{
    LoadHostile([](const std::string& n, Limg& i) { SGILoad(n, i); });
    MakePicture(img, 40, 30, 24);
    SGISave("C:\\full.rgb", img);
    ASSERT_EQ(ErrGet(), 0);
    LoadTruncated("cut.rgb", File("full.rgb"), [](const std::string& n, Limg& i) { SGILoad(n, i); });
    Bytes verbatim = Cat(SgiHeader(0, 1, 3, 8, 8, 3), Bytes(192, 5));
    LoadTruncated("cutv.rgb", verbatim, [](const std::string& n, Limg& i) { SGILoad(n, i); });
}

}  // namespace
