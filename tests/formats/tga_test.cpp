#include <gtest/gtest.h>

#include "formats/pictures_support.h"

#include "formats/FFBasic.h"
#include "formats/FFBasic_TGA.h"
#include "foundation/Bytes.h"
#include "rasters_support.h"

namespace {

using namespace rasters;

class TgaTest : public RasterTest {};

Bytes Encode(const Bytes& row, int pixelSize)
{
    Bytes out(2 * row.size() + 2);
    const int32_t n = TGAdoCmps_(row.data(), static_cast<int32_t>(row.size()) / pixelSize, pixelSize, out.data(),
                                 static_cast<int32_t>(out.size()));
    out.resize(n < 0 ? 0 : n);
    return out;
}

struct TgaHead {
    int idLength = 0;
    int mapType = 0;
    int type = 2;
    int firstIndex = 0;
    int mapLength = 0;
    int mapBits = 0;
    int width = 4;
    int height = 2;
    int depth = 24;
    int descriptor = 0;
};

Bytes Header(const TgaHead& t)
{
    Bytes h(18, 0);
    h[0] = static_cast<uint8_t>(t.idLength);
    h[1] = static_cast<uint8_t>(t.mapType);
    h[2] = static_cast<uint8_t>(t.type);
    PutU16LE(&h[3], static_cast<uint16_t>(t.firstIndex));
    PutU16LE(&h[5], static_cast<uint16_t>(t.mapLength));
    h[7] = static_cast<uint8_t>(t.mapBits);
    PutU16LE(&h[12], static_cast<uint16_t>(t.width));
    PutU16LE(&h[14], static_cast<uint16_t>(t.height));
    h[16] = static_cast<uint8_t>(t.depth);
    h[17] = static_cast<uint8_t>(t.descriptor);
    return h;
}

Bytes Rows(const Bytes& px, int rowBytes, bool bottomFirst)
{
    if (!bottomFirst) return px;
    Bytes out;
    for (size_t r = px.size() / rowBytes; r-- > 0;)
        out.insert(out.end(), px.begin() + static_cast<long>(r * rowBytes),
                   px.begin() + static_cast<long>((r + 1) * rowBytes));
    return out;
}

TEST_F(TgaTest, PacketEncoder)
{
    EXPECT_EQ(Encode(Bytes(130, 6), 1), B({255, 6, 129, 6}));
    EXPECT_EQ(Encode(B({1, 2, 3}), 1), B({2, 1, 2, 3}));
    EXPECT_EQ(Encode(B({1, 2, 3, 3, 4}), 1), B({1, 1, 2, 129, 3, 0, 4}));
    EXPECT_EQ(Encode(B({9}), 1), B({0, 9}));
    Bytes distinct;
    for (int i = 0; i < 129; ++i) distinct.push_back(static_cast<uint8_t>(i));
    const Bytes e = Encode(distinct, 1);
    ASSERT_EQ(e.size(), 1u + 128 + 1 + 1);
    EXPECT_EQ(e[0], 127);
    EXPECT_EQ(e[129], 0);
    EXPECT_EQ(e[130], 128);
    // Three-byte pixels compare whole.
    EXPECT_EQ(Encode(B({1, 2, 3, 1, 2, 3, 1, 2, 4}), 3), B({129, 1, 2, 3, 0, 1, 2, 4}));
    Bytes small(3);
    EXPECT_EQ(TGAdoCmps_(distinct.data(), 129, 1, small.data(), 3), -1);
}

TEST_F(TgaTest, PacketDecoderCutsAtEitherEnd)
{
    Bytes out(16, 0xEE);
    const Bytes packets = B({130, 1, 2, 1, 9, 8, 7, 6});
    EXPECT_EQ(TGAunCmps_(packets.data(), 8, out.data(), 16, 2), 10);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 11), B({1, 2, 1, 2, 1, 2, 9, 8, 7, 6, 0xEE}));
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(TGAunCmps_(packets.data(), 8, out.data(), 4, 2), 4);
    EXPECT_EQ(out[4], 0xEE);
    // A raw packet that claims more pixels than the data holds.
    const Bytes raw = B({5, 1, 2, 3});
    EXPECT_EQ(TGAunCmps_(raw.data(), 4, out.data(), 16, 1), 3);
}

TEST_F(TgaTest, FourByTwoPaletteImageLayout)
{
    ImgAlloc(img, 4, 2, 8);
    const Bytes px = B({1, 1, 1, 1, 2, 3, 4, 4});
    std::copy(px.begin(), px.end(), img.Data);
    for (int i = 0; i < 256; ++i)
        img.Palette[i][0] = uint8_t(i), img.Palette[i][1] = uint8_t(i / 2), img.Palette[i][2] = 7;
    TGASave_("C:\\s.tga", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("s.tga");
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 18), B({0, 1, 9, 0, 0, 0, 1, 24, 0, 0, 0, 0, 4, 0, 2, 0, 8, 0}));
    EXPECT_EQ(Bytes(f.begin() + 18 + 3 * 200, f.begin() + 18 + 3 * 201), B({200, 100, 7}));
    // The bottom row, then the top row.
    EXPECT_EQ(Bytes(f.begin() + 18 + 768, f.end()), B({1, 2, 3, 129, 4, 131, 1}));

    TGALoad_("C:\\s.tga", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(back.Bits, 8);
    EXPECT_EQ(Bytes(back.Data, back.Data + 8), px);
    EXPECT_EQ(0, std::memcmp(back.Palette, img.Palette, sizeof img.Palette));
}

TEST_F(TgaTest, TrueColourHeaders)
{
    for (int bits : {24, 15}) {
        MakePicture(img, 5, 3, bits);
        TGASave_("C:\\t.tga", img);
        ASSERT_EQ(ErrGet(), 0);
        const Bytes f = File("t.tga");
        EXPECT_EQ(Bytes(f.begin(), f.begin() + 8), B({0, 0, 10, 0, 0, 0, 0, 0}));
        EXPECT_EQ(f[16], bits == 24 ? 24 : 16);
        EXPECT_EQ(f[17], 0);
        TGALoad_("C:\\t.tga", back);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(back.Bits, bits);
        EXPECT_EQ(Bytes(back.Data, back.Data + back.Size), Bytes(img.Data, img.Data + img.Size));
        ImgFree(img);
    }
}

TEST_F(TgaTest, BothVerticalOrdersAndBothStoragesLoadAlike)
{
    Bytes px;
    for (int i = 0; i < 4 * 3 * 3; ++i) px.push_back(static_cast<uint8_t>(i * 11));
    std::vector<Bytes> loaded;
    for (bool top : {true, false}) {
        for (bool rle : {false, true}) {
            TgaHead t;
            t.width = 4;
            t.height = 3;
            t.type = rle ? 10 : 2;
            t.descriptor = top ? 32 : 0;
            Bytes data = Rows(px, 12, !top);
            if (rle) {
                Bytes packed;
                for (int r = 0; r < 3; ++r)
                    packed = Cat(packed, Encode(Bytes(data.begin() + r * 12, data.begin() + (r + 1) * 12), 3));
                data = packed;
            }
            Put("o.tga", Cat(Header(t), data));
            Limg pic;
            TGALoad_("C:\\o.tga", pic);
            EXPECT_EQ(ErrGet(), 0);
            loaded.emplace_back(pic.Data, pic.Data + pic.Size);
            ImgFree(pic);
        }
    }
    for (const Bytes& l : loaded) EXPECT_EQ(l, px);
}

TEST_F(TgaTest, SixteenBitPixelsLoadAsFifteenBits)
{
    TgaHead t;
    t.width = 2;
    t.height = 1;
    t.depth = 16;
    Put("h.tga", Cat(Header(t), B({0x1F, 0x7C, 0xE0, 0x03})));
    TGALoad_("C:\\h.tga", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 15);
    EXPECT_EQ(img.BytesPP, 2);
    EXPECT_EQ(Rgb(img), B({248, 0, 248, 0, 248, 0}));
    TFileInfo info;
    FFInfo("C:\\h.tga", info);
    EXPECT_EQ(info.Picture.Bits, 15);
    EXPECT_EQ(info.Picture.Compression, "None");
}

TEST_F(TgaTest, ColourMapsFillTheirEntries)
{
    // Three-byte entries from index 16, after a five-byte identification.
    TgaHead t;
    t.idLength = 5;
    t.mapType = 1;
    t.type = 1;
    t.firstIndex = 16;
    t.mapLength = 16;
    t.mapBits = 24;
    t.depth = 8;
    Bytes map;
    for (int i = 0; i < 16; ++i) map.insert(map.end(), {uint8_t(i), uint8_t(100 + i), uint8_t(200 + i)});
    Put("m.tga", Cat(Cat(Cat(Header(t), Bytes(5, 0xAB)), map), B({16, 17, 31, 20, 16, 16, 16, 16})));
    TGALoad_("C:\\m.tga", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[6], 31);  // the first stored row is the bottom row
    EXPECT_EQ(img.Palette[16][0], 0);
    EXPECT_EQ(img.Palette[31][1], 115);
    EXPECT_EQ(img.Palette[31][2], 215);
    EXPECT_EQ(img.Palette[15][2], 0);
    EXPECT_EQ(img.Palette[32][2], 0);

    // Two-byte entries are 5-5-5, four-byte entries drop their fourth byte;
    // entries beyond 255 are dropped.
    t.idLength = 0;
    t.firstIndex = 254;
    t.mapLength = 3;
    t.mapBits = 16;
    Put("m2.tga", Cat(Cat(Header(t), B({0x1F, 0x00, 0xE0, 0x7F, 0xFF, 0xFF})), Bytes(8, 254)));
    TGALoad_("C:\\m2.tga", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Palette[254], back.Palette[254] + 3), B({248, 0, 0}));
    EXPECT_EQ(Bytes(back.Palette[255], back.Palette[255] + 3), B({0, 248, 248}));
    ImgFree(back);
    t.firstIndex = 0;
    t.mapLength = 2;
    t.mapBits = 32;
    Put("m4.tga", Cat(Cat(Header(t), B({1, 2, 3, 4, 5, 6, 7, 8})), Bytes(8, 1)));
    TGALoad_("C:\\m4.tga", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Palette[1], back.Palette[1] + 3), B({5, 6, 7}));
}

TEST_F(TgaTest, InfoAndRefusedVariants)
{
    MakePicture(img, 6, 5, 24);
    TGASave_("C:\\i.tga", img);
    TFileInfo info;
    FFInfo("C:\\i.tga", info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Format, 1u);
    EXPECT_EQ(info.Picture.Width, 6);
    EXPECT_EQ(info.Picture.Height, 5);
    EXPECT_EQ(info.Picture.BytesPP, 3);
    EXPECT_EQ(info.Picture.Bits, 24);
    EXPECT_EQ(info.Picture.Compression, "Run Length Encoding (RLE)");
    EXPECT_TRUE(info.Picture.Loadable);

    TgaHead other;
    other.type = 32;
    Put("o.tga", Cat(Header(other), Bytes(24, 1)));
    TFileInfo o;
    FFInfo("C:\\o.tga", o);
    EXPECT_EQ(ErrGet(), 6002);
    TGALoad_("C:\\o.tga", back);
    EXPECT_EQ(ErrGet(), 6002);
    ErrResetState();

    // Grey with an alpha byte is described as the 8-bit picture it loads as.
    TgaHead grey;
    grey.type = 3;
    grey.depth = 16;
    Put("g.tga", Cat(Header(grey), Bytes(16, 1)));
    TFileInfo g;
    FFInfo("C:\\g.tga", g);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(g.Picture.Bits, 8);
    EXPECT_EQ(g.Picture.BytesPP, 1);
    EXPECT_TRUE(g.Picture.Loadable);

    TgaHead wide;
    wide.depth = 40;
    Put("w.tga", Cat(Header(wide), Bytes(40, 1)));
    TFileInfo w;
    FFInfo("C:\\w.tga", w);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_FALSE(w.Picture.Loadable);
    TGALoad_("C:\\w.tga", back);
    EXPECT_EQ(ErrGet(), 6001);
}

TEST_F(TgaTest, DataOrColourMapPastTheFile)
{
    TgaHead t;
    t.mapType = 1;
    t.type = 1;
    t.mapLength = 256;
    t.mapBits = 24;
    t.depth = 8;
    Put("m.tga", Cat(Header(t), Bytes(100, 3)));
    TGALoad_("C:\\m.tga", img);
    EXPECT_EQ(ErrGet(), 6009);
    ErrResetState();
    TgaHead raw;
    Put("r.tga", Cat(Header(raw), Bytes(23, 3)));
    TGALoad_("C:\\r.tga", img);
    EXPECT_EQ(ErrGet(), 5003);
    ErrResetState();
    // Compressed data that ends early gives the rows it holds.
    raw.type = 10;
    raw.descriptor = 32;
    Put("c.tga", Cat(Header(raw), B({131, 9, 8, 7})));
    TGALoad_("C:\\c.tga", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 13), B({9, 8, 7, 9, 8, 7, 9, 8, 7, 9, 8, 7, 0}));
}

TEST_F(TgaTest, RoundTripsThroughTheDispatch)
{
    for (int bits : {8, 15, 24}) {
        MakePicture(img, 131, 7, bits, bits);
        ImgSave("C:\\r.tga", img);
        ASSERT_EQ(ErrGet(), 0);
        ImgLoad("C:\\r.tga", back);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(back.Bits, bits);
        EXPECT_EQ(Rgb(back), Rgb(img)) << bits;
    }
    // 5-6-5 and 32-bit pictures are written as 24 bits.
    for (int bits : {16, 32}) {
        MakePicture(img, 9, 4, bits);
        TGASave_("C:\\d.tga", img);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(File("d.tga")[16], 24);
        TGALoad_("C:\\d.tga", back);
        Limg expect;
        ImgConvBit(img, expect, 24);
        EXPECT_EQ(Rgb(back), Rgb(expect)) << bits;
        ImgFree(expect);
    }
}

TEST_F(TgaTest, PillowReadsOurFiles)
{
    RASTERS_REQUIRE_PILLOW();
    for (int bits : {8, 24, 15}) {
        MakePicture(img, 131, 9, bits, bits);
        TGASave_("C:\\p.tga", img);
        ASSERT_EQ(ErrGet(), 0);
        PillowPicture pic;
        ASSERT_TRUE(PillowRead(Host("p.tga"), pic));
        Bytes expect = Rgb(img);
        if (bits == 15) {
            // Pillow widens five bits as v × 255 / 31.
            expect.clear();
            for (int i = 0; i < img.Width * img.Height; ++i) {
                const int v = img.Data[2 * i] | (img.Data[2 * i + 1] << 8);
                for (int shift : {10, 5, 0}) expect.push_back(static_cast<uint8_t>(((v >> shift) & 31) * 255 / 31));
            }
        }
        EXPECT_EQ(pic.Pixels, expect) << bits;
    }
}

TEST_F(TgaTest, ThirdPartyFilesLoadLikeTheirReferencePictures)
{
    RASTERS_REQUIRE_PILLOW();
    const std::string dir = PillowData().empty() ? std::string{} : PillowData() + "/tga/common";
    if (dir.empty() || !std::filesystem::is_directory(dir)) GTEST_SKIP() << "no third-party test data";
    std::vector<std::string> pngs;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".png") pngs.push_back(e.path().string());
    const auto references = PillowReadMany(pngs);
    int compared = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().extension() != ".tga") continue;
        const std::string path = e.path().string();
        const std::string stem = e.path().stem().string();
        const std::string png = dir + "/" + stem.substr(0, stem.find('_', stem.find('_') + 1)) + ".png";
        ErrResetState();
        Limg pic;
        TGALoad_(path, pic);
        ASSERT_EQ(ErrGet(), 0) << path;
        ASSERT_TRUE(references.count(png)) << png;
        const PillowPicture& ref = references.at(png);
        ASSERT_EQ(pic.Width, ref.Width) << path;
        ASSERT_EQ(pic.Height, ref.Height) << path;
        // Pictures with alpha, colour and grey, are laid over black.
        pictures::Rgb composed;
        ASSERT_TRUE(pictures::PillowRgb(png, composed)) << png;
        EXPECT_EQ(Rgb(pic), composed.Pixels) << path;
        ImgFree(pic);
        ++compared;
    }
    // Grey ones (types 3 and 11, with and without alpha) among them.
    EXPECT_EQ(compared, 24);
}

TEST_F(TgaTest, GreyFilesOfOtherToolsLoadWithPillowsPixels)
{
    RASTERS_REQUIRE_PILLOW();
    std::vector<std::string> files;
    ASSERT_TRUE(PillowMake(Dir(),
                           "for m in ('L', 'LA'):\n"
                           "    im = pattern(m, 13, 7)\n"
                           "    im.save(m + '_raw.tga', compression=None)\n"
                           "    im.save(m + '_rle.tga', compression='tga_rle')\n"
                           "    im.save(m + '_top.tga', compression='tga_rle', orientation=1)\n"));
    for (const char* n : {"L_raw", "L_rle", "L_top"}) files.push_back(Dir() + n + ".tga");
    // Grey with alpha lies over black, as every picture with alpha does.
    for (const char* n : {"LA_raw", "LA_rle", "LA_top"}) pictures::ExpectSameAsPillow(Dir() + n + ".tga");
    if (HaveTool("pamtotga -version")) {
        ASSERT_TRUE(RunTool("pgmramp -lr 33 5 | pamtotga -mono > " + Dir() + "n.tga"));
        ASSERT_TRUE(RunTool("pgmramp -diagonal 33 5 | pamtotga -mono -norle > " + Dir() + "n_raw.tga"));
        files.push_back(Dir() + "n.tga");
        files.push_back(Dir() + "n_raw.tga");
    }
    if (HaveTool("ffmpeg -version")) {
        ASSERT_TRUE(RunTool("ffmpeg -y -f lavfi -i testsrc=size=21x9 -frames:v 1 -pix_fmt gray " + Dir() + "f.tga"));
        files.push_back(Dir() + "f.tga");
    }
    EXPECT_EQ(ExpectPillowsPixels(files, [](const std::string& n, Limg& i) { TGALoad_(n, i); }),
              static_cast<int>(files.size()));
    // A second byte the descriptor does not count as alpha is dropped.
    const Bytes la = B({0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 16, 32, 0x81, 40, 200});
    Put("la.tga", la);
    TGALoad_("C:\\la.tga", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(Bytes(img.Data, img.Data + 2), B({40, 40}));
}

TEST_F(TgaTest, DamagedFilesEndWithACodeOrAPicture)
{
    LoadHostile([](const std::string& n, Limg& i) { TGALoad_(n, i); });
    for (int bits : {8, 24}) {
        MakePicture(img, 40, 30, bits);
        TGASave_("C:\\full.tga", img);
        ASSERT_EQ(ErrGet(), 0);
        LoadTruncated("cut.tga", File("full.tga"), [](const std::string& n, Limg& i) { TGALoad_(n, i); });
        ImgFree(img);
    }
}

}  // namespace
