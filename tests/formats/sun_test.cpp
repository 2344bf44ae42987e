#include <gtest/gtest.h>

#include "formats/FFBasic.h"
#include "formats/FF_SUN.h"
#include "foundation/Bytes.h"
#include "rasters_support.h"

namespace {

using namespace rasters;

class SunTest : public RasterTest {};

Bytes Encode(const Bytes& row)
{
    Bytes out(2 * row.size() + 2);
    const int32_t n =
        SUNdoCmpsRow(row.data(), static_cast<int32_t>(row.size()), out.data(), static_cast<int32_t>(out.size()));
    out.resize(n < 0 ? 0 : n);
    return out;
}

Bytes SunHeader(uint32_t width, uint32_t height, uint32_t depth, uint32_t length, uint32_t type, uint32_t mapType,
                uint32_t mapLength)
{
    Bytes h(32);
    const uint32_t v[8] = {0x59A66A95u, width, height, depth, length, type, mapType, mapLength};
    for (int i = 0; i < 8; ++i) PutU32BE(&h[4 * i], v[i]);
    return h;
}

TEST_F(SunTest, RowEncoderEscapes)
{
    EXPECT_EQ(Encode(B({128, 5})), B({128, 0, 5}));
    EXPECT_EQ(Encode(Bytes(300, 7)), B({128, 255, 7, 128, 43, 7}));
    EXPECT_EQ(Encode(B({7, 7})), B({128, 1, 7}));
    EXPECT_EQ(Encode(B({1, 2, 3})), B({1, 2, 3}));
    EXPECT_EQ(Encode(B({128, 128, 128})), B({128, 2, 128}));
    EXPECT_EQ(Encode(Bytes(257, 4)), B({128, 255, 4, 4}));
    Bytes escapes(6, 128);
    escapes[1] = escapes[3] = escapes[5] = 1;
    EXPECT_EQ(Encode(escapes).size(), 9u);
    Bytes small(2);
    EXPECT_EQ(SUNdoCmpsRow(escapes.data(), 6, small.data(), 2), -1);
}

TEST_F(SunTest, DecoderStopsAtEitherEnd)
{
    Bytes out(16, 0xEE);
    const Bytes packed = B({128, 0, 128, 3, 9, 1});
    EXPECT_EQ(SUNunCmps(packed.data(), 6, out.data(), 16), 6);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 7), B({128, 9, 9, 9, 9, 1, 0xEE}));
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(SUNunCmps(packed.data(), 6, out.data(), 3), 3);
    EXPECT_EQ(out[3], 0xEE);
    // An escape at the end of the data, and one without its value.
    EXPECT_EQ(SUNunCmps(packed.data(), 1, out.data(), 16), 0);
    EXPECT_EQ(SUNunCmps(packed.data() + 2, 2, out.data(), 16), 0);
}

TEST_F(SunTest, FourByFourPaletteImageLayout)
{
    ImgAlloc(img, 4, 4, 8);
    for (int i = 0; i < 16; ++i) img.Data[i] = static_cast<uint8_t>(i < 4 ? 128 : 9);
    for (int i = 0; i < 256; ++i)
        img.Palette[i][0] = uint8_t(i), img.Palette[i][1] = uint8_t(i / 2), img.Palette[i][2] = uint8_t(255 - i);
    SUNSave("C:\\s.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("s.ras");
    ASSERT_GE(f.size(), 32u + 768u);
    // The length field counts the encoded bytes after the colour map.
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 32), SunHeader(4, 4, 8, 12, 2, 1, 768));
    // All red values, then all green, then all blue.
    EXPECT_EQ(f[32 + 10], 245);
    EXPECT_EQ(f[32 + 256 + 10], 5);
    EXPECT_EQ(f[32 + 512 + 10], 10);
    EXPECT_EQ(Bytes(f.begin() + 800, f.end()), B({128, 3, 128, 128, 3, 9, 128, 3, 9, 128, 3, 9}));

    SUNLoad("C:\\s.ras", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(back.Bits, 8);
    EXPECT_EQ(Bytes(back.Data, back.Data + 16), Bytes(img.Data, img.Data + 16));
    EXPECT_EQ(0, std::memcmp(back.Palette, img.Palette, sizeof img.Palette));
    // Without runs that is the picture's size.
    for (int i = 0; i < 16; ++i) img.Data[i] = static_cast<uint8_t>(i);
    SUNSave("C:\\s.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes plain = File("s.ras");
    EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 32), SunHeader(4, 4, 8, 16, 2, 1, 768));
}

TEST_F(SunTest, TwentyFourBitImagesAndOtherDepths)
{
    MakePicture(img, 5, 4, 24);
    SUNSave("C:\\t.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    // 24-bit rows are written as they are (type 1), 15 bytes padded to 16.
    const Bytes f = File("t.ras");
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 32), SunHeader(5, 4, 24, 64, 1, 0, 0));
    ASSERT_EQ(f.size(), 32u + 64u);
    const Bytes rows(f.begin() + 32, f.end());
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(Bytes(rows.begin() + 16 * y, rows.begin() + 16 * y + 15),
                  Bytes(img.Data + 15 * y, img.Data + 15 * y + 15));
        EXPECT_EQ(rows[16 * y + 15], 0);
    }
    SUNLoad("C:\\t.ras", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Data, back.Data + 60), Bytes(img.Data, img.Data + 60));
    ImgFree(img);
    ImgFree(back);
    // 15-bit pictures are written as 24 bits; sizes below 4 are refused
    // and the file that was there stays.
    MakePicture(img, 6, 4, 15);
    SUNSave("C:\\t.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(GetU32BE(&File("t.ras")[12]), 24u);
    ImgFree(img);
    Put("keep.ras", Text("old"));
    ImgAlloc(img, 3, 8, 8);
    SUNSave("C:\\keep.ras", img);
    EXPECT_EQ(ErrGet(), 11001);
    EXPECT_EQ(File("keep.ras"), Text("old"));
}

TEST_F(SunTest, PixelOrdersOfTheTypes)
{
    // 2 x 1 pixels, even rows: type 1 is blue, green, red; type 3 red first.
    const Bytes px = B({1, 2, 3, 4, 5, 6});
    Put("b.ras", Cat(SunHeader(2, 1, 24, 6, 1, 0, 0), px));
    SUNLoad("C:\\b.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), px);
    Put("r.ras", Cat(SunHeader(2, 1, 24, 6, 3, 0, 0), px));
    SUNLoad("C:\\r.ras", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Data, back.Data + 6), B({3, 2, 1, 6, 5, 4}));
    ImgFree(img);
    ImgFree(back);
    // 32-bit pixels drop their leading byte and load as 24 bits.
    const Bytes px32 = B({0xAA, 1, 2, 3, 0xBB, 4, 5, 6});
    Put("x.ras", Cat(SunHeader(2, 1, 32, 8, 1, 0, 0), px32));
    SUNLoad("C:\\x.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), px);
    Put("y.ras", Cat(SunHeader(2, 1, 32, 8, 3, 0, 0), px32));
    SUNLoad("C:\\y.ras", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Data, back.Data + 6), B({3, 2, 1, 6, 5, 4}));
}

TEST_F(SunTest, StandardFilesPadRowsAndMayHoldSmallerMaps)
{
    // Width 3, 8 bits: rows of 4 bytes; a map of 4 entries a colour.
    const Bytes map = B({10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33});
    const Bytes rows = B({0, 1, 2, 0xEE, 3, 2, 1, 0xEE});
    Put("p.ras", Cat(Cat(SunHeader(3, 2, 8, 8, 1, 1, 12), map), rows));
    SUNLoad("C:\\p.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), B({0, 1, 2, 3, 2, 1}));
    EXPECT_EQ(Bytes(img.Palette[3], img.Palette[3] + 3), B({33, 23, 13}));
    EXPECT_EQ(Bytes(img.Palette[4], img.Palette[4] + 3), B({0, 0, 0}));
    ImgFree(img);
    // The same rows byte-encoded, the length field counting encoded bytes;
    // the last row's padding may be missing from the file.
    Put("e.ras", Cat(Cat(SunHeader(3, 2, 8, 7, 2, 1, 12), map), B({0, 1, 2, 0xEE, 3, 2, 1})));
    SUNLoad("C:\\e.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), B({0, 1, 2, 3, 2, 1}));
    ImgFree(img);
    Put("t.ras", Cat(SunHeader(3, 2, 8, 8, 1, 1, 12), Cat(map, B({0, 1, 2, 0xEE, 3, 2, 1}))));
    SUNLoad("C:\\t.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[5], 1);
    // 24 bits, width 3: nine bytes and one padding byte a row.
    Bytes px;
    for (int i = 0; i < 18; ++i) px.push_back(static_cast<uint8_t>(i));
    Put("c.ras", Cat(SunHeader(3, 2, 24, 20, 1, 0, 0), Cat(Cat(Bytes(px.begin(), px.begin() + 9), B({0xEE})),
                                                           Cat(Bytes(px.begin() + 9, px.end()), B({0xEE})))));
    SUNLoad("C:\\c.ras", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Data, back.Data + 18), px);
}

TEST_F(SunTest, OnlyEvenPaletteRowsAreEncoded)
{
    // 7 bytes a row: standard rows, padded.
    MakePicture(img, 7, 4, 8);
    SUNSave("C:\\odd.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("odd.ras");
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 32), SunHeader(7, 4, 8, 32, 1, 1, 768));
    ASSERT_EQ(f.size(), 32u + 768u + 32u);
    EXPECT_EQ(Bytes(f.begin() + 800, f.begin() + 808), Cat(Bytes(img.Data, img.Data + 7), B({0})));
    SUNLoad("C:\\odd.ras", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Rgb(back), Rgb(img));
}

TEST_F(SunTest, FilesOfEarlierVersionsAndLookAlikes)
{
    // Earlier versions wrote odd rows unpadded, the length field giving
    // their decoded size: 5 x 2, 8 bits.
    const Bytes old = Cat(SunHeader(5, 2, 8, 10, 2, 0, 0), B({1, 2, 3, 4, 5, 6, 7, 128, 0, 9, 10}));
    Put("old.ras", old);
    SUNLoad("C:\\old.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 10), B({1, 2, 3, 4, 5, 6, 7, 128, 9, 10}));
    ImgFree(img);
    // A standard file of 5 x 7 whose 35 coded bytes happen to equal the
    // unpadded size: each padded row a, c, c, c, c, 0 codes to 5 bytes.
    Bytes coded, expect;
    for (int y = 0; y < 7; ++y) {
        const int a = 10 + y, c = 50 + y;
        coded = Cat(coded, B({a, 128, 3, c, 0}));
        expect = Cat(expect, B({a, c, c, c, c}));
    }
    ASSERT_EQ(coded.size(), 35u);
    Put("std.ras", Cat(SunHeader(5, 7, 8, 35, 2, 0, 0), coded));
    SUNLoad("C:\\std.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 35), expect);
}

TEST_F(SunTest, OwnFilesOfOddRowLengthRoundTrip)
{
    for (int bits : {8, 24}) {
        for (int width : {5, 7, 131}) {
            MakePicture(img, width, 6, bits, width);
            ImgSave("C:\\o.ras", img);
            ASSERT_EQ(ErrGet(), 0);
            ImgLoad("C:\\o.ras", back);
            ASSERT_EQ(ErrGet(), 0);
            EXPECT_EQ(back.Bits, bits);
            EXPECT_EQ(Rgb(back), Rgb(img)) << bits << " " << width;
            ImgFree(img);
            ImgFree(back);
        }
    }
}

TEST_F(SunTest, InfoAndRefusedVariants)
{
    MakePicture(img, 8, 5, 8);
    SUNSave("C:\\i.ras", img);
    TFileInfo info;
    FFInfo("C:\\i.ras", info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Format, 14u);
    EXPECT_EQ(info.Picture.Width, 8);
    EXPECT_EQ(info.Picture.BytesPP, 1);
    EXPECT_EQ(info.Picture.Bits, 8);
    EXPECT_EQ(info.Picture.Compression, "Run Length Encoding (RLE)");
    EXPECT_TRUE(info.Picture.Loadable);

    for (const Bytes& head :
         {SunHeader(8, 2, 1, 4, 1, 0, 0), SunHeader(4, 4, 8, 16, 6, 0, 0), SunHeader(4, 4, 16, 32, 1, 0, 0)}) {
        Put("u.ras", Cat(head, Bytes(32, 1)));
        TFileInfo u;
        FFInfo("C:\\u.ras", u);
        EXPECT_EQ(ErrGet(), 0);
        EXPECT_FALSE(u.Picture.Loadable);
        SUNLoad("C:\\u.ras", back);
        EXPECT_EQ(ErrGet(), 6001);
        ErrResetState();
    }
    Put("m.ras", Bytes(64, 0x59));
    SUNLoad("C:\\m.ras", back);
    EXPECT_EQ(ErrGet(), 6002);
}

TEST_F(SunTest, MapsAndDataPastTheFile)
{
    Put("m.ras", Cat(SunHeader(4, 4, 8, 16, 1, 1, 768), Bytes(100, 1)));
    SUNLoad("C:\\m.ras", img);
    EXPECT_EQ(ErrGet(), 6009);
    ErrResetState();
    Put("r.ras", Cat(SunHeader(4, 4, 24, 48, 1, 0, 0), Bytes(47, 1)));
    SUNLoad("C:\\r.ras", img);
    EXPECT_EQ(ErrGet(), 5003);
    ErrResetState();
    Put("h.ras", Cat(SunHeader(60000, 60000, 24, 0, 1, 0, 0), Bytes(10, 1)));
    SUNLoad("C:\\h.ras", img);
    EXPECT_NE(ErrGet(), 0);
    ErrResetState();
    // Encoded data that ends early gives what it holds.
    Put("e.ras", Cat(SunHeader(4, 4, 8, 3, 2, 0, 0), B({128, 5, 9})));
    SUNLoad("C:\\e.ras", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 7), B({9, 9, 9, 9, 9, 9, 0}));
}

TEST_F(SunTest, PillowReadsOurFiles)
{
    RASTERS_REQUIRE_PILLOW();
    for (int bits : {8, 24}) {
        for (int width : {6, 131}) {
            MakePicture(img, width, 9, bits, width + bits);
            SUNSave("C:\\p.ras", img);
            ASSERT_EQ(ErrGet(), 0);
            PillowPicture pic;
            ASSERT_TRUE(PillowRead(Host("p.ras"), pic));
            EXPECT_EQ(pic.Pixels, Rgb(img)) << bits << " " << width;
            ImgFree(img);
        }
    }
}

TEST_F(SunTest, FilesOfOtherProgramsLoadWithPillowsPixels)
{
    RASTERS_REQUIRE_PILLOW();
    std::vector<std::string> files;
    for (const auto& p : PillowFiles({".ras", ".im1"})) files.push_back(p);
    if (HaveMagick()) {
        // ImageMagick writes padded rows and maps of the colours it needs.
        const std::string dir = machine.DriveC() + "/";
        for (const std::string size : {"5x7", "8x3"}) {
            const std::string p = dir + "im_p" + size + ".ras", t = dir + "im_t" + size + ".ras";
            ASSERT_TRUE(
                RunTool("convert -size " + size + " gradient:red-blue -type Palette -colors 7 'SUN:" + p + "'"));
            ASSERT_TRUE(RunTool("convert -size " + size + " gradient:red-blue -type TrueColor 'SUN:" + t + "'"));
            files.push_back(p);
            files.push_back(t);
        }
    }
    if (files.empty()) GTEST_SKIP() << "no third-party files and no ImageMagick";
    int compared = 0;
    for (const auto& path : files) {
        ErrResetState();
        Limg pic;
        SUNLoad(path, pic);
        if (ErrGet() != 0) {
            EXPECT_EQ(ErrGet(), 6001) << path;  // one bit a pixel
            continue;
        }
        PillowPicture ref;
        ASSERT_TRUE(PillowRead(path, ref)) << path;
        ASSERT_EQ(pic.Width, ref.Width) << path;
        ASSERT_EQ(pic.Height, ref.Height) << path;
        EXPECT_EQ(Rgb(pic), ref.Pixels) << path;
        ImgFree(pic);
        ++compared;
    }
    EXPECT_GE(compared, HaveMagick() ? 4 : 1);
}

TEST_F(SunTest, DamagedFilesEndWithACodeOrAPicture)
{
    LoadHostile([](const std::string& n, Limg& i) { SUNLoad(n, i); });
    for (int bits : {8, 24}) {
        MakePicture(img, 41, 30, bits);
        SUNSave("C:\\full.ras", img);
        ASSERT_EQ(ErrGet(), 0);
        LoadTruncated("cut.ras", File("full.ras"), [](const std::string& n, Limg& i) { SUNLoad(n, i); });
        ImgFree(img);
    }
    const Bytes raw = Cat(SunHeader(5, 5, 24, 80, 1, 0, 0), Bytes(80, 3));
    LoadTruncated("cutr.ras", raw, [](const std::string& n, Limg& i) { SUNLoad(n, i); });
}

}  // namespace
