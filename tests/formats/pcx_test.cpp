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
    EXPECT_EQ(GetU16LE(&f[12]), 72);  // dots per inch
    EXPECT_EQ(GetU16LE(&f[14]), 72);
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

    // Four 8-bit planes, five 1-bit planes, 2 bits in two planes, no
    // encoding, and 0 or 2 planes.
    for (const Bytes& head : {PcxHeader(4, 4, 4, 4), PcxHeader(8, 4, 5, 2, 1), PcxHeader(8, 4, 2, 2, 2),
                              PcxHeader(4, 4, 1, 4, 8, 0), PcxHeader(4, 4, 0, 4), PcxHeader(4, 4, 2, 4)}) {
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

TEST_F(PcxTest, EarlierOddWidthFilesAndStandardOnesOfOurWriter)
{
    // Earlier versions kept the planes at multiples of the width and padded
    // the row once a plane after all planes; they gave the picture's size as
    // its resolution. Width 3, two rows.
    Bytes old = PcxHeader(3, 2, 3, 4);
    PutU16LE(&old[12], 3);
    PutU16LE(&old[14], 2);
    const Bytes row = B({10, 11, 12, 20, 21, 22, 30, 31, 32, 0, 0, 0});
    Put("old.pcx", Cat(old, Literal(Cat(row, row))));
    PCXLoad_("C:\\old.pcx", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data + 9, img.Data + 18), B({30, 20, 10, 31, 21, 11, 32, 22, 12}));
    ImgFree(img);
    // Now each plane line is padded on its own.
    ImgAlloc(img, 3, 1, 24);
    const Bytes px = B({1, 2, 3, 4, 5, 6, 7, 8, 9});
    std::copy(px.begin(), px.end(), img.Data);
    PCXSave_("C:\\new.pcx", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("new.pcx");
    EXPECT_EQ(GetU16LE(&f[66]), 4);
    EXPECT_EQ(Bytes(f.begin() + 128, f.end()), B({3, 6, 9, 0, 2, 5, 8, 0, 1, 4, 7, 0}));
}

TEST_F(PcxTest, PicturesOfFewerBitsLoadAsPalettePictures)
{
    // 1 bit in one plane: black and white, the first pixel in the high bit.
    Put("bw.pcx", Cat(PcxHeader(10, 1, 1, 2, 1), Literal(B({0xA0, 0x40}))));
    PCXLoad_("C:\\bw.pcx", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(Bytes(img.Data, img.Data + 10), B({1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(Bytes(img.Palette[0], img.Palette[0] + 3), B({0, 0, 0}));
    EXPECT_EQ(Bytes(img.Palette[1], img.Palette[1] + 3), B({255, 255, 255}));
    ImgFree(img);
    // 1 bit in four planes and 2 or 4 bits in one: the header's palette.
    struct Case {
        int Bits, Planes;
        Bytes Line;  // all planes of the one row
        Bytes Index;
    };
    const Case cases[] = {
        {1, 4, B({0xC0, 0, 0x40, 0, 0x80, 0, 0xF0, 0}), B({13, 11, 8, 8})},
        {1, 3, B({0x80, 0, 0x40, 0, 0x20, 0}), B({1, 2, 4, 0})},
        {2, 1, B({0x1B, 0}), B({0, 1, 2, 3})},
        {4, 1, B({0xF1, 0x2E}), B({15, 1, 2, 14})},
    };
    Bytes head = PcxHeader(4, 1, 1, 2);
    for (int i = 0; i < 48; ++i) head[16 + i] = static_cast<uint8_t>(i * 5);
    for (const Case& c : cases) {
        head[3] = static_cast<uint8_t>(c.Bits);
        head[65] = static_cast<uint8_t>(c.Planes);
        Put("small.pcx", Cat(head, Literal(c.Line)));
        TFileInfo info;
        FFInfo("C:\\small.pcx", info);
        EXPECT_EQ(info.Picture.Bits, c.Bits * c.Planes);
        EXPECT_TRUE(info.Picture.Loadable);
        PCXLoad_("C:\\small.pcx", img);
        ASSERT_EQ(ErrGet(), 0) << c.Bits << " " << c.Planes;
        EXPECT_EQ(Bytes(img.Data, img.Data + 4), c.Index) << c.Bits << " " << c.Planes;
        EXPECT_EQ(Bytes(img.Palette[13], img.Palette[13] + 3), B({41 * 5, 40 * 5, 39 * 5}));
        ImgFree(img);
    }
}

TEST_F(PcxTest, DcxFilesAreReadFromTheirFirstPageAndWrittenWithOne)
{
    MakePicture(img, 9, 5, 8);
    PCXSave_("C:\\one.DCX", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("one.DCX");
    ASSERT_GT(f.size(), 4100u + 128u);
    EXPECT_EQ(GetU32LE(&f[0]), 0x3ADE68B1u);
    EXPECT_EQ(GetU32LE(&f[4]), 4100u);
    EXPECT_EQ(GetU32LE(&f[8]), 0u);
    EXPECT_EQ(f[4100], 10);
    ImgLoad("C:\\one.DCX", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Rgb(back), Rgb(img));
    ImgFree(back);
    // Two pages: the first one's palette ends where the second begins.
    const Bytes page = Cat(Cat(PcxHeader(2, 1, 1, 2), B({5, 6})), PaletteTail());
    Bytes two = B({0xB1, 0x68, 0xDE, 0x3A, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    PutU32LE(&two[8], static_cast<uint32_t>(16 + page.size()));
    two = Cat(Cat(two, page), Cat(Cat(PcxHeader(2, 1, 1, 2), B({1, 1})), Bytes(769, 0)));
    Put("two.dcx", two);
    PCXLoad_("C:\\two.dcx", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Data, back.Data + 2), B({5, 6}));
    EXPECT_EQ(Bytes(back.Palette[5], back.Palette[5] + 3), B({2, 250, 5}));
    // A first page outside the file, or too close to its end for a header.
    for (const uint32_t first : {0x7FFFFFF0u, 0xFFFFFFF0u, static_cast<uint32_t>(two.size() - 100), 4u}) {
        PutU32LE(&two[4], first);
        Put("bad.dcx", two);
        PCXLoad_("C:\\bad.dcx", img);
        EXPECT_EQ(ErrGet(), 6009) << first;
        ErrResetState();
    }
}

TEST_F(PcxTest, FilesOfFewColoursFromOtherToolsKeepTheirColours)
{
    RASTERS_REQUIRE_PILLOW();
    // Pillow writes mode 1 as one bit in one plane; netpbm writes up to 16
    // colours as bit planes, or packed in one plane. The source pictures
    // are the reference: those files lose nothing. One bit in one plane is
    // black and white, as Pillow and ffmpeg read it, whatever colours
    // netpbm put in the header.
    ASSERT_TRUE(PillowMake(Dir(),
                           "pattern('L', 13, 7).convert('1').save('bw.pcx')\n"
                           "for n in (2, 4, 8, 16):\n"
                           "    p = pattern('RGB', 13, 7).quantize(n).convert('RGB')\n"
                           "    p.save('c%d.ppm' % n)\n"));
    std::vector<std::pair<std::string, std::string>> files = {{"bw.pcx", "bw.pcx"}};
    if (HaveTool("ppmtopcx -version")) {
        for (const std::string n : {"2", "4", "8", "16"}) {
            ASSERT_TRUE(RunTool("ppmtopcx " + Dir() + "c" + n + ".ppm > " + Dir() + "c" + n + ".pcx"));
            ASSERT_TRUE(RunTool("ppmtopcx -packed " + Dir() + "c" + n + ".ppm > " + Dir() + "p" + n + ".pcx"));
            const std::string source = n == "2" ? std::string{} : "c" + n + ".ppm";
            files.push_back({"c" + n + ".pcx", source.empty() ? "c2.pcx" : source});
            files.push_back({"p" + n + ".pcx", source.empty() ? "p2.pcx" : source});
        }
    }
    for (const auto& [file, reference] : files) {
        ErrResetState();
        Limg pic;
        PCXLoad_("C:\\" + file, pic);
        ASSERT_EQ(ErrGet(), 0) << file;
        PillowPicture ref;
        ASSERT_TRUE(PillowRead(Host(reference), ref)) << reference;
        EXPECT_EQ(Rgb(pic), ref.Pixels) << file;
        ImgFree(pic);
    }
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
    for (int bits : {8, 24}) {
        for (int width : {6, 131}) {
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
        ASSERT_EQ(ErrGet(), 0) << path;
        PillowPicture ref;
        if (!PillowRead(path, ref)) {
            ImgFree(pic);  // 01r_00.pcx: Pillow refuses its line length
            continue;
        }
        if (path.find("p_4_planes.pcx") != std::string::npos) {
            // Pillow takes the planes at the width, not at the line length
            // of the header (2 bytes); ImageMagick and ffmpeg read index 3.
            EXPECT_EQ(Rgb(pic), B({255, 0, 0}));
            ImgFree(pic);
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
