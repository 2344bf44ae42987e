#include <gtest/gtest.h>

#include "formats/FFBasic.h"
#include "formats/FFBasic_PCX.h"
#include "foundation/Bytes.h"
#include "rasters_support.h"

namespace {

using namespace rasters;

class PcxTest : public RasterTest {};

Bytes Encode(const Bytes& row)
{
    Bytes out(2 * row.size() + 2);
    const int32_t n =
        PCXdoCmps_(row.data(), static_cast<int32_t>(row.size()), out.data(), static_cast<int32_t>(out.size()));
    out.resize(n < 0 ? 0 : n);
    return out;
}

Bytes PcxHeader(int width, int height, int planes, int bytesPerLine, int bits = 8, int encoding = 1)
{
    Bytes h(128, 0);
    h[0] = 10;
    h[1] = 5;
    h[2] = static_cast<uint8_t>(encoding);
    h[3] = static_cast<uint8_t>(bits);
    PutU16LE(&h[8], static_cast<uint16_t>(width - 1));
    PutU16LE(&h[10], static_cast<uint16_t>(height - 1));
    PutU16LE(&h[12], 72);
    PutU16LE(&h[14], 72);
    h[65] = static_cast<uint8_t>(planes);
    PutU16LE(&h[66], static_cast<uint16_t>(bytesPerLine));
    return h;
}

// Run-length codes that hold every byte as a run of one.
Bytes Literal(const Bytes& raw)
{
    Bytes out;
    for (uint8_t b : raw) {
        if (b >= 192) out.push_back(193);
        out.push_back(b);
    }
    return out;
}

Bytes PaletteTail()
{
    Bytes t{12};
    for (int i = 0; i < 256; ++i) t.insert(t.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    return t;
}

TEST_F(PcxTest, RowEncoderRunsAndEscapes)
{
    EXPECT_EQ(Encode(Bytes(64, 5)), B({255, 5, 5}));
    EXPECT_EQ(Encode(B({200})), B({193, 200}));
    EXPECT_EQ(Encode(B({200, 200})), B({194, 200}));
    EXPECT_EQ(Encode(B({1, 2, 2, 191, 192})), B({1, 194, 2, 191, 193, 192}));
    EXPECT_EQ(Encode(Bytes(126, 0)), B({255, 0, 255, 0}));
    // Worst case: every byte needs its escape.
    Bytes high(10, 0);
    for (int i = 0; i < 10; ++i) high[i] = static_cast<uint8_t>(192 + (i & 1));
    EXPECT_EQ(Encode(high).size(), 20u);
    Bytes small(5);
    EXPECT_EQ(PCXdoCmps_(high.data(), 10, small.data(), 5), -1);
}

TEST_F(PcxTest, DecoderCutsRunsAtTheLimitAndStopsAtTheEndOfInput)
{
    const Bytes packed = B({255, 5, 5, 193, 200, 7});
    Bytes out(80, 0xEE);
    EXPECT_EQ(PCXunCmps_(packed.data(), 6, out.data(), 70), 66);
    EXPECT_EQ(out[62], 5);
    EXPECT_EQ(out[63], 5);
    EXPECT_EQ(out[64], 200);
    EXPECT_EQ(out[65], 7);
    EXPECT_EQ(PCXunCmps_(packed.data(), 6, out.data(), 10), 10);
    // A count byte at the end of the data has no value to repeat.
    const Bytes dangling = B({4, 196});
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(PCXunCmps_(dangling.data(), 2, out.data(), 70), 1);
    EXPECT_EQ(out[1], 0xEE);
}

TEST_F(PcxTest, ThreeByTwoPaletteImageLayout)
{
    ImgAlloc(img, 3, 2, 8);
    const Bytes px = B({1, 2, 200, 7, 7, 7});
    std::copy(px.begin(), px.end(), img.Data);
    for (int i = 0; i < 256; ++i)
        img.Palette[i][0] = uint8_t(i), img.Palette[i][1] = uint8_t(i + 1), img.Palette[i][2] = uint8_t(i + 2);
    PCXSave_("C:\\s.pcx", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("s.pcx");
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 4), B({10, 5, 1, 8}));
    EXPECT_EQ(GetU16LE(&f[4]), 0);
    EXPECT_EQ(GetU16LE(&f[6]), 0);
    EXPECT_EQ(GetU16LE(&f[8]), 2);
    EXPECT_EQ(GetU16LE(&f[10]), 1);
    EXPECT_EQ(GetU16LE(&f[12]), 3);  // the picture size, not dots per inch
    EXPECT_EQ(GetU16LE(&f[14]), 2);
    EXPECT_EQ(Bytes(f.begin() + 16, f.begin() + 65), Bytes(49, 0));
    EXPECT_EQ(f[65], 1);
    EXPECT_EQ(GetU16LE(&f[66]), 4);
    EXPECT_EQ(Bytes(f.begin() + 68, f.begin() + 128), Bytes(60, 0));
    // Each encoded row and one zero byte for the odd width.
    const Bytes rows = B({1, 2, 193, 200, 0, 195, 7, 0});
    ASSERT_EQ(f.size(), 128 + rows.size() + 769);
    EXPECT_EQ(Bytes(f.begin() + 128, f.begin() + 136), rows);
    EXPECT_EQ(f[136], 12);
    EXPECT_EQ(Bytes(f.begin() + 137 + 3 * 9, f.begin() + 140 + 3 * 9), B({11, 10, 9}));  // red, green, blue

    PCXLoad_("C:\\s.pcx", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(back.Width, 3);
    EXPECT_EQ(back.Height, 2);
    EXPECT_EQ(back.Bits, 8);
    EXPECT_EQ(Bytes(back.Data, back.Data + 6), px);
    EXPECT_EQ(0, std::memcmp(back.Palette, img.Palette, sizeof img.Palette));
}

TEST_F(PcxTest, TwentyFourBitImageIsWrittenAsThreePlanes)
{
    ImgAlloc(img, 2, 1, 24);
    const Bytes px = B({1, 2, 3, 4, 5, 6});  // blue, green, red
    std::copy(px.begin(), px.end(), img.Data);
    PCXSave_("C:\\t.pcx", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("t.pcx");
    EXPECT_EQ(f[65], 3);
    EXPECT_EQ(GetU16LE(&f[66]), 2);
    // Red plane, green plane, blue plane; no palette after them.
    EXPECT_EQ(Bytes(f.begin() + 128, f.end()), B({3, 6, 2, 5, 1, 4}));
    PCXLoad_("C:\\t.pcx", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(back.Bits, 24);
    EXPECT_EQ(Bytes(back.Data, back.Data + 6), px);
}

TEST_F(PcxTest, RoundTripsThroughTheDispatch)
{
    for (int width : {1, 2, 5, 64, 131}) {
        for (int bits : {8, 24}) {
            MakePicture(img, width, 9, bits, width + bits);
            ImgSave("C:\\r.pcx", img);
            ASSERT_EQ(ErrGet(), 0);
            ImgLoad("C:\\r.pcx", back);
            ASSERT_EQ(ErrGet(), 0);
            EXPECT_EQ(back.Bits, bits);
            EXPECT_EQ(back.Width, width);
            EXPECT_EQ(Rgb(back), Rgb(img)) << width << " " << bits;
        }
    }
}

TEST_F(PcxTest, OtherDepthsAreWrittenAsTwentyFourBits)
{
    for (int bits : {15, 16, 32}) {
        MakePicture(img, 6, 4, bits);
        PCXSave_("C:\\d.pcx", img);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(File("d.pcx")[65], 3) << bits;
        PCXLoad_("C:\\d.pcx", back);
        ASSERT_EQ(ErrGet(), 0);
        Limg expect;
        ImgConvBit(img, expect, 24);
        EXPECT_EQ(Rgb(back), Rgb(expect)) << bits;
        ImgFree(expect);
    }
}

TEST_F(PcxTest, InfoAndRefusedVariants)
{
    MakePicture(img, 7, 3, 8);
    PCXSave_("C:\\i.pcx", img);
    TFileInfo info;
    FFInfo("C:\\i.pcx", info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Format, 2u);
    EXPECT_EQ(info.Picture.Width, 7);
    EXPECT_EQ(info.Picture.Height, 3);
    EXPECT_EQ(info.Picture.Bits, 8);
    EXPECT_EQ(info.Picture.Frames, 1);
    EXPECT_EQ(info.Picture.Compression, "Run Length Encoding (RLE)");
    EXPECT_TRUE(info.Picture.Loadable);
    EXPECT_EQ(info.FileSize, static_cast<int32_t>(File("i.pcx").size()));

    // Four planes, one bit a plane, no encoding, and 0 or 2 planes.
    for (const Bytes& head : {PcxHeader(4, 4, 4, 4), PcxHeader(8, 4, 1, 2, 1), PcxHeader(4, 4, 1, 4, 8, 0),
                              PcxHeader(4, 4, 0, 4), PcxHeader(4, 4, 2, 4)}) {
        Put("u.pcx", Cat(head, Bytes(64, 1)));
        TFileInfo u;
        FFInfo("C:\\u.pcx", u);
        EXPECT_EQ(ErrGet(), 0);
        EXPECT_FALSE(u.Picture.Loadable);
        PCXLoad_("C:\\u.pcx", back);
        EXPECT_EQ(ErrGet(), 6001);
        ErrResetState();
    }
    Bytes wrong = PcxHeader(4, 4, 1, 4);
    wrong[0] = 11;
    Put("w.pcx", wrong);
    PCXLoad_("C:\\w.pcx", back);
    EXPECT_EQ(ErrGet(), 6002);
    EXPECT_EQ(ErrText(ErrGet()), "Invalid image format.");
}

TEST_F(PcxTest, StandardOddWidthFilesPadEachPlane)
{
    // Width 3, bytes per line 4: each plane carries its own padding byte.
    const Bytes row = B({10, 11, 12, 99, 20, 21, 22, 99, 30, 31, 32, 99});
    Put("o.pcx", Cat(PcxHeader(3, 2, 3, 4), Literal(Cat(row, row))));
    PCXLoad_("C:\\o.pcx", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 9), B({30, 20, 10, 31, 21, 11, 32, 22, 12}));
    EXPECT_EQ(Bytes(img.Data + 9, img.Data + 18), B({30, 20, 10, 31, 21, 11, 32, 22, 12}));
    // One plane: the row is "bytes per line" long, even when that is odd.
    Put("g.pcx", Cat(Cat(PcxHeader(3, 2, 1, 3), Literal(B({1, 2, 3, 4, 5, 6}))), PaletteTail()));
    PCXLoad_("C:\\g.pcx", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Data, back.Data + 6), B({1, 2, 3, 4, 5, 6}));
}

TEST_F(PcxTest, PaletteWithoutItsMarkerAndDataShorterThanThePalette)
{
    // Without the marker 769 bytes from the end there is no palette: the
    // picture is grey and keeps all its data.
    Bytes data(800, 0);
    for (int i = 0; i < 800; ++i) data[i] = static_cast<uint8_t>(i % 150);
    Put("n.pcx", Cat(PcxHeader(40, 20, 1, 40), Literal(data)));
    PCXLoad_("C:\\n.pcx", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[799], 799 % 150);
    EXPECT_EQ(img.Palette[77][0], 77);
    EXPECT_EQ(img.Palette[77][2], 77);
    // Fewer bytes than a palette: a partial picture, the rest zero.
    Put("p.pcx", Cat(PcxHeader(40, 20, 1, 40), B({195, 9, 4})));
    PCXLoad_("C:\\p.pcx", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Data, back.Data + 5), B({9, 9, 9, 4, 0}));
    // A picture beyond the size limit is refused before allocation.
    Put("h.pcx", Cat(PcxHeader(65535, 65535, 3, 65535), B({1})));
    ImgFree(back);
    PCXLoad_("C:\\h.pcx", back);
    EXPECT_EQ(ErrGet(), 6001);
}

TEST_F(PcxTest, PillowReadsOurFiles)
{
    RASTERS_REQUIRE_PILLOW();
    // 24-bit files of odd width keep this program's own plane layout, which
    // other readers take as padded planes; even widths are standard.
    for (int bits : {8, 24}) {
        for (int width : {6, 131}) {
            if (bits == 24 && (width & 1)) continue;
            MakePicture(img, width, 9, bits, width + bits);
            PCXSave_("C:\\p.pcx", img);
            ASSERT_EQ(ErrGet(), 0);
            PillowPicture pic;
            ASSERT_TRUE(PillowRead(Host("p.pcx"), pic));
            EXPECT_EQ(pic.Width, width);
            EXPECT_EQ(pic.Pixels, Rgb(img)) << bits << " " << width;
        }
    }
}

TEST_F(PcxTest, FilesWrittenByPillowLoadWithItsPixels)
{
    RASTERS_REQUIRE_PILLOW();
    const std::string dir = machine.DriveC();
    std::string out;
    ASSERT_TRUE(
        RunPython("from PIL import Image\n"
                  "d = '" +
                      dir +
                      "/'\n"
                      "for w in (5, 8):\n"
                      "    data = bytes((i * 7 + i // 5) % 256 for i in range(w * 6 * 3))\n"
                      "    im = Image.frombytes('RGB', (w, 6), data)\n"
                      "    im.save(d + 'rgb%d.pcx' % w)\n"
                      "    im.convert('P', palette=Image.ADAPTIVE, colors=50).save(d + 'p%d.pcx' % w)\n"
                      "    im.convert('L').save(d + 'l%d.pcx' % w)\n",
                  out));
    int compared = 0;
    for (const char* name : {"rgb5.pcx", "rgb8.pcx", "p5.pcx", "p8.pcx", "l5.pcx", "l8.pcx"}) {
        ErrResetState();
        Limg pic;
        PCXLoad_(std::string("C:\\") + name, pic);
        ASSERT_EQ(ErrGet(), 0) << name;
        PillowPicture ref;
        ASSERT_TRUE(PillowRead(Host(name), ref));
        EXPECT_EQ(Rgb(pic), ref.Pixels) << name;
        ImgFree(pic);
        ++compared;
    }
    EXPECT_EQ(compared, 6);
}

TEST_F(PcxTest, ThirdPartyFilesLoadAsPillowReadsThem)
{
    RASTERS_REQUIRE_PILLOW();
    const auto files = PillowFiles({".pcx"});
    if (files.empty()) GTEST_SKIP() << "no third-party test data";
    int compared = 0;
    for (const auto& path : files) {
        if (path.find("ossfuzz-") != std::string::npos) continue;
        ErrResetState();
        Limg pic;
        PCXLoad_(path, pic);
        if (ErrGet() != 0) {
            EXPECT_EQ(ErrGet(), 6001) << path;  // one bit a plane
            continue;
        }
        PillowPicture ref;
        if (!PillowRead(path, ref)) {
            ImgFree(pic);  // 01r_00.pcx: Pillow refuses its line length
            continue;
        }
        ASSERT_EQ(pic.Width, ref.Width) << path;
        ASSERT_EQ(pic.Height, ref.Height) << path;
        EXPECT_EQ(Rgb(pic), ref.Pixels) << path;
        ImgFree(pic);
        ++compared;
    }
    EXPECT_GE(compared, 1);  // odd_stride.pcx
}

TEST_F(PcxTest, DamagedFilesEndWithACodeOrAPicture)
{
    LoadHostile([](const std::string& n, Limg& i) { PCXLoad_(n, i); });
    for (int bits : {8, 24}) {
        MakePicture(img, 37, 21, bits);
        PCXSave_("C:\\full.pcx", img);
        ASSERT_EQ(ErrGet(), 0);
        LoadTruncated("cut.pcx", File("full.pcx"), [](const std::string& n, Limg& i) { PCXLoad_(n, i); });
        ImgFree(img);
    }
}

}  // namespace
