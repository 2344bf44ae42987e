#include <cstring>

#include "ImageTestUtil.h"
#include "image/ImgBasic.h"

namespace {

using ImgConvertTest = ImageTest;

uint16_t Word(const Limg& img, int i)
{
    return static_cast<uint16_t>(img.Data[2 * i] | (img.Data[2 * i + 1] << 8));
}

void MakeWords(Limg& img, int bits, std::initializer_list<uint16_t> words)
{
    ImgAlloc(img, static_cast<int32_t>(words.size()), 1, bits);
    int i = 0;
    for (uint16_t w : words) {
        img.Data[2 * i] = static_cast<uint8_t>(w);
        img.Data[2 * i + 1] = static_cast<uint8_t>(w >> 8);
        ++i;
    }
}

void MakePalette8(Limg& img)
{
    ImgAlloc(img, 3, 1, 8);
    img.Data[0] = 0;
    img.Data[1] = 1;
    img.Data[2] = 2;
    const uint8_t pal[3][3] = {{8, 16, 248}, {255, 255, 255}, {7, 3, 100}};  // blue, green, red
    std::memcpy(img.Palette, pal, sizeof pal);
}

TEST_F(ImgConvertTest, PaletteToHighColour)
{
    Limg src, d15, d16, d24;
    MakePalette8(src);
    ImgConvBit(src, d15, 15);
    ImgConvBit(src, d16, 16);
    ImgConvBit(src, d24, 24);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(d15.Bits, 15);
    EXPECT_EQ(Word(d15, 0), (31 << 10) | (2 << 5) | 1);
    EXPECT_EQ(Word(d15, 1), 0x7FFF);
    EXPECT_EQ(Word(d15, 2), (12 << 10) | (0 << 5) | 0);
    EXPECT_EQ(Word(d16, 0), (31 << 11) | (4 << 5) | 1);
    EXPECT_EQ(Word(d16, 1), 0xFFFF);
    EXPECT_EQ(Word(d16, 2), (12 << 11) | (0 << 5) | 0);
    EXPECT_EQ(At24(d24, 0, 0), (Rgb{8, 16, 248}));
    EXPECT_EQ(At24(d24, 2, 0), (Rgb{7, 3, 100}));
    for (Limg* i : {&src, &d15, &d16, &d24}) ImgFree(*i);
}

TEST_F(ImgConvertTest, FifteenAndSixteenBitWords)
{
    Limg w15, w16, a, b, c, d;
    MakeWords(w15, 15, {0x001F, 0x7C00, 0x03E0, 0x7FFF});
    MakeWords(w16, 16, {0xFFFF, 0x07E0, 0x001F, 0xF800});
    ImgConvBit(w15, a, 16);
    EXPECT_EQ(Word(a, 0), 0x001F);
    EXPECT_EQ(Word(a, 1), 0xF800);
    EXPECT_EQ(Word(a, 2), 0x07C0);
    EXPECT_EQ(Word(a, 3), 0xFFDF);
    ImgConvBit(w15, b, 24);
    EXPECT_EQ(At24(b, 3, 0), (Rgb{248, 248, 248}));
    EXPECT_EQ(At24(b, 0, 0), (Rgb{248, 0, 0}));
    ImgConvBit(w16, c, 15);
    EXPECT_EQ(Word(c, 0), 0x7FFF);
    EXPECT_EQ(Word(c, 1), 0x03E0);
    EXPECT_EQ(Word(c, 3), 0x7C00);
    ImgConvBit(w16, d, 24);
    EXPECT_EQ(At24(d, 0, 0), (Rgb{248, 252, 248}));
    EXPECT_EQ(At24(d, 1, 0), (Rgb{0, 252, 0}));
    EXPECT_EQ(At24(d, 3, 0), (Rgb{0, 0, 248}));
    for (Limg* i : {&w15, &w16, &a, &b, &c, &d}) ImgFree(*i);
}

TEST_F(ImgConvertTest, TrueColourDown)
{
    Limg src, d15, d16, w32, d24;
    Make24(src, 2, 1, [](int32_t x, int32_t) { return x ? Rgb{10, 130, 200} : Rgb{255, 255, 255}; });
    ImgConvBit(src, d15, 15);
    ImgConvBit(src, d16, 16);
    EXPECT_EQ(Word(d15, 0), 0x7FFF);
    EXPECT_EQ(Word(d16, 0), 0xFFFF);
    EXPECT_EQ(Word(d15, 1), (25 << 10) | (16 << 5) | 1);
    EXPECT_EQ(Word(d16, 1), (25 << 11) | (32 << 5) | 1);
    ImgAlloc(w32, 2, 1, 32);
    const uint8_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::memcpy(w32.Data, px, 8);
    ImgConvBit(w32, d24, 24);
    EXPECT_EQ(Bytes(d24), (std::vector<uint8_t>{1, 2, 3, 5, 6, 7}));
    for (Limg* i : {&src, &d15, &d16, &w32, &d24}) ImgFree(*i);
}

TEST_F(ImgConvertTest, TrueColourToPaletteQuantizes)
{
    Limg src, dst;
    Make24(src, 3, 1, [](int32_t x, int32_t) {
        return x == 0 ? Rgb{0, 0, 0} : x == 1 ? Rgb{255, 0, 0} : Rgb{8, 9, 10};
    });
    ImgConvBit(src, dst, 8);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(dst.Bits, 8);
    EXPECT_EQ(dst.Data[0], 0);
    const uint8_t* blue = dst.Palette[dst.Data[1]];
    EXPECT_EQ(blue[0], 252);
    EXPECT_EQ(blue[2], 0);
    const uint8_t* grey = dst.Palette[dst.Data[2]];
    EXPECT_EQ(grey[0], 8);
    EXPECT_EQ(grey[1], 8);
    EXPECT_EQ(grey[2], 8);
    ImgFree(src);
    ImgFree(dst);
}

TEST_F(ImgConvertTest, PairsWithoutARuleOnlyAllocate)
{
    Limg src, dst;
    MakePalette8(src);
    ImgConvBit(src, dst, 32);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(dst.Bits, 32);
    EXPECT_EQ(dst.Width, 3);
    EXPECT_EQ(dst.Size, 12);
    ImgConvBit(dst, dst, 16);
    EXPECT_EQ(dst.Bits, 16);
    EXPECT_EQ(dst.Size, 6);
    ImgFree(src);
    ImgFree(dst);
}

TEST_F(ImgConvertTest, EveryPairGivesTheTargetDepthAndSize)
{
    const int32_t depths[] = {8, 15, 16, 24, 32};
    for (int32_t from : depths)
        for (int32_t to : depths) {
            Limg src, dst;
            ImgAlloc(src, 5, 3, from);
            std::memset(src.Data, 0x5A, static_cast<size_t>(src.Size));
            ImgConvBit(src, dst, to);
            ASSERT_EQ(ErrGet(), 0) << from << "->" << to;
            EXPECT_EQ(dst.Bits, to);
            EXPECT_EQ(dst.BytesPP, (to + 7) / 8);
            EXPECT_EQ(dst.Width, 5);
            EXPECT_EQ(dst.Height, 3);
            EXPECT_EQ(dst.Size, 15 * ((to + 7) / 8));
            ImgConvBit(src, src, to);
            ASSERT_EQ(ErrGet(), 0) << from << "->" << to << " in place";
            EXPECT_EQ(src.Bits, to);
            EXPECT_EQ(src.Size, dst.Size);
            ImgFree(src);
            ImgFree(dst);
        }
}

TEST_F(ImgConvertTest, SameDepth)
{
    Limg a, b;
    MakePalette8(a);
    uint8_t* block = a.Data;
    ImgConvBit(a, a, 8);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(a.Data, block);
    ImgConvBit(a, b, 8);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(a), Bytes(b));
    EXPECT_EQ(std::memcmp(a.Palette, b.Palette, 768), 0);
    ImgFree(a);
    ImgFree(b);
}

TEST_F(ImgConvertTest, InPlaceReplacesAndFreesTheOldPixels)
{
    Limg img;
    MakePalette8(img);
    uint8_t* old = img.Data;
    ImgConvBit(img, img, 24);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_FALSE(MemIsTracked(old));
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(At24(img, 1, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(MemCount(), 1);
    ImgFree(img);
}

TEST_F(ImgConvertTest, SourceWithoutPixels)
{
    Limg empty, dst;
    ImgConvBit(empty, dst, 24);
    EXPECT_EQ(ErrGet(), 2001);
    Limg stale;
    ImgAlloc(stale, 2, 2, 8);
    Limg copy;
    std::memcpy(static_cast<void*>(&copy), &stale, sizeof copy);  // a stale record
    ImgFree(stale);
    ImgConvBit(copy, dst, 24);
    EXPECT_EQ(ErrGet(), 6000);
    EXPECT_EQ(dst.Data, nullptr);
}

TEST_F(ImgConvertTest, RowTo24)
{
    const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
    uint8_t out[6];
    RowTo24(0, 3, 2, out, rgb);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    RowTo24(1, 3, 2, out, rgb);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    const uint8_t four[8] = {9, 8, 7, 0, 6, 5, 4, 0};
    RowTo24(2, 4, 2, out, four);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{9, 8, 7, 6, 5, 4}));
    const uint16_t w = (3 << 10) | (2 << 5) | 1;
    const uint8_t word[2] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)};
    RowTo24(0, 2, 1, out, word);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{24, 16, 8}));
    RowTo24(1, 2, 1, out, word);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{8, 16, 24}));
}

TEST_F(ImgConvertTest, GreyPalettes)
{
    uint8_t pal[256][3];
    PalGrey(pal);
    EXPECT_EQ(pal[0][0], 0);
    EXPECT_EQ(pal[200][1], 200);
    PalGreyInv(pal);
    EXPECT_EQ(pal[0][2], 255);
    EXPECT_EQ(pal[255][0], 0);
    EXPECT_EQ(pal[55][1], 200);
}

TEST_F(ImgConvertTest, XchgRBOnPaletteChangesOnlyThePalette)
{
    Limg a, b;
    MakePalette8(a);
    ImgXchgRB(a, b);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(b.Bits, 8);
    EXPECT_EQ(Bytes(a), Bytes(b));
    EXPECT_EQ(b.Palette[0][0], 248);
    EXPECT_EQ(b.Palette[0][2], 8);
    ImgXchgRB(a, a);
    EXPECT_EQ(a.Palette[2][0], 100);
    EXPECT_EQ(a.Palette[2][2], 7);
    EXPECT_EQ(a.Data[2], 2);
    ImgFree(a);
    ImgFree(b);
}

TEST_F(ImgConvertTest, XchgRBOnHighColourGivesTrueColour)
{
    Limg w16, out;
    MakeWords(w16, 16, {0xF800});
    ImgXchgRB(w16, out);
    EXPECT_EQ(out.Bits, 24);
    EXPECT_EQ(At24(out, 0, 0), (Rgb{248, 0, 0}));
    ImgXchgRB(w16, w16);
    EXPECT_EQ(w16.Bits, 24);
    EXPECT_EQ(At24(w16, 0, 0), (Rgb{248, 0, 0}));
    ImgFree(w16);
    ImgFree(out);
}

TEST_F(ImgConvertTest, FlipVInPlaceOddAndEvenRows)
{
    for (int32_t rows : {1, 2, 3, 4, 7}) {
        for (int32_t width : {1, 2, 5}) {
            Limg img;
            ImgAlloc(img, width, rows, 8);
            for (int32_t i = 0; i < width * rows; ++i) img.Data[i] = static_cast<uint8_t>(i);
            ImgFlipV(img, img);
            ASSERT_EQ(ErrGet(), 0);
            for (int32_t y = 0; y < rows; ++y)
                for (int32_t x = 0; x < width; ++x)
                    ASSERT_EQ(img.Data[y * width + x], (rows - 1 - y) * width + x) << rows << "x" << width;
            ImgFree(img);
        }
    }
}

TEST_F(ImgConvertTest, FlipVIntoAnotherRecordKeepsDepthAndPalette)
{
    Limg src, dst;
    MakeWords(src, 15, {1, 2});
    ImgAlloc(src, 1, 2, 15);
    ImgFlipV(src, dst);
    EXPECT_EQ(dst.Bits, 15);
    EXPECT_EQ(Word(dst, 0), Word(src, 1));
    EXPECT_EQ(Word(dst, 1), Word(src, 0));
    Limg p, q;
    MakePalette8(p);
    ImgFlipV(p, q);
    EXPECT_EQ(q.Palette[2][2], 100);
    for (Limg* i : {&src, &dst, &p, &q}) ImgFree(*i);
}

}  // namespace
