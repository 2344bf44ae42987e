#include <cstring>
#include <vector>

#include "ImageTestUtil.h"
#include "image/PalOpt.h"

namespace {

using PalOptTest = ImageTest;

// One row of 24-bit pixels, each colour given as 8-bit (blue, green, red).
void MakeRow(Limg& img, const std::vector<Rgb>& colours)
{
    Make24(img, static_cast<int32_t>(colours.size()), 1, [&](int32_t x, int32_t) { return colours[x]; });
}

// The 8-bit colour of 6-bit levels with the two low bits set, so that the
// palette's 4 × level values show the truncation.
Rgb Level(int32_t r6, int32_t g6, int32_t b6)
{
    return Rgb{uint8_t(4 * b6 + 3), uint8_t(4 * g6 + 3), uint8_t(4 * r6 + 3)};
}

Rgb Entry(const uint8_t (*palette)[3], int i)
{
    return Rgb{palette[i][0], palette[i][1], palette[i][2]};
}

const Rgb White{255, 255, 255};

void Reduce(const Limg& img, int32_t count)
{
    PalInit();
    PalBegin();
    PalHistogram(img);
    PalReduce(count);
    ASSERT_EQ(ErrGet(), 0);
}

TEST_F(PalOptTest, FewColoursGetAnExactPaletteInCellOrderWithTheDarkestFirst)
{
    // 200 colours in four groups; the group with the lowest blue comes first
    // in cell order, but the darkest colour is the first of the third group.
    std::vector<Rgb> colours;
    for (int k = 0; k < 200; ++k) colours.push_back(Level(k % 50 + 5, 3 + (k / 50) * 10, 60 - (k / 50) * 15));
    Limg img, out;
    MakeRow(img, colours);
    Reduce(img, 256);
    EXPECT_EQ(PalOccupiedCount(), 200);
    EXPECT_EQ(PalBoxCount(), 0);
    const uint8_t(*pal)[3] = PalResultPalette();
    EXPECT_EQ(Entry(pal, 0), (Rgb{180, 52, 20})) << "the colour nearest black";
    EXPECT_EQ(Entry(pal, 100), (Rgb{60, 132, 20})) << "what was first in cell order";
    EXPECT_EQ(Entry(pal, 1), (Rgb{60, 132, 24}));
    EXPECT_EQ(Entry(pal, 199), (Rgb{240, 12, 216}));
    for (int i = 200; i < 256; ++i) EXPECT_EQ(Entry(pal, i), White) << i;

    PalMap(img, out, false);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(out.Bits, 8);
    EXPECT_EQ(out.Width, 200);
    EXPECT_EQ(std::memcmp(out.Palette, pal, sizeof out.Palette), 0);
    for (int x = 0; x < 200; ++x) {
        const Rgb c = colours[x];
        const Rgb truncated{uint8_t(c[0] & 0xFC), uint8_t(c[1] & 0xFC), uint8_t(c[2] & 0xFC)};
        EXPECT_EQ(Entry(out.Palette, out.Data[x]), truncated) << x;
    }
    PalDone();
    ImgFree(img);
    ImgFree(out);
}

TEST_F(PalOptTest, BlackAndWhite)
{
    Limg img;
    Make24(img, 4, 4, [](int32_t x, int32_t y) { return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; });
    Reduce(img, 256);
    const uint8_t(*pal)[3] = PalResultPalette();
    EXPECT_EQ(Entry(pal, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(Entry(pal, 1), (Rgb{252, 252, 252}));
    for (int i = 2; i < 256; ++i) EXPECT_EQ(Entry(pal, i), White) << i;
    EXPECT_EQ(PalHistogramCells()[0], 0);
    EXPECT_EQ(PalHistogramCells()[PalCubeCells - 1], 1);
    EXPECT_EQ(PalHistogramCells()[PalCell(128, 128, 128)], -1);
    PalDone();
    ImgFree(img);
}

TEST_F(PalOptTest, HistogramCountsPixelsMinusOne)
{
    Limg img, pal8;
    MakeRow(img, {Level(1, 2, 3), Level(1, 2, 3), Level(1, 2, 3), Level(9, 9, 9)});
    ImgAlloc(pal8, 3, 1, 8);
    pal8.Data[0] = pal8.Data[1] = pal8.Data[2] = 7;
    pal8.Palette[7][0] = 4 * 3;  // blue
    pal8.Palette[7][1] = 4 * 2;
    pal8.Palette[7][2] = 4 * 1;
    Limg w16;
    ImgAlloc(w16, 2, 2, 16);
    std::memset(w16.Data, 0, 8);

    PalInit();
    PalBegin();
    PalHistogram(img);
    const int32_t cell = PalCell(4 * 1, 4 * 2, 4 * 3);
    EXPECT_EQ(cell, 1 + 64 * 2 + 4096 * 3);
    EXPECT_EQ(PalHistogramCells()[cell], 2);
    EXPECT_EQ(PalHistogramCells()[PalCell(36, 36, 36)], 0);
    PalHistogram(pal8);
    EXPECT_EQ(PalHistogramCells()[cell], 5) << "8-bit pixels count through their palette";
    PalHistogram(w16);
    EXPECT_EQ(PalHistogramCells()[0], -1) << "other depths are ignored";
    EXPECT_EQ(ErrGet(), 0);
    PalDone();
    for (Limg* i : {&img, &pal8, &w16}) ImgFree(*i);
}

TEST_F(PalOptTest, BoxesAreAveragedThroughTheLevelTable)
{
    // Two clusters along red: {0 × 3 pixels, 1 × 1} and {60, 62}.
    Limg img;
    MakeRow(img, {Level(0, 0, 0), Level(0, 0, 0), Level(0, 0, 0), Level(1, 0, 0), Level(60, 5, 0), Level(62, 5, 0)});
    Reduce(img, 2);
    ASSERT_EQ(PalBoxCount(), 2);
    const uint8_t(*pal)[3] = PalResultPalette();
    EXPECT_EQ(Entry(pal, 0), (Rgb{0, 0, 0})) << "4 × 1 div 4 = 1 becomes 0";
    EXPECT_EQ(Entry(pal, 1), (Rgb{0, 20, 244}));
    for (int i = 2; i < 256; ++i) EXPECT_EQ(Entry(pal, i), White) << i;
    const int32_t* cells = PalHistogramCells();
    EXPECT_EQ(cells[PalCell(4 * 61, 4 * 5, 0)], 1) << "empty cells inside a box take its index";
    EXPECT_EQ(cells[PalCell(4 * 30, 0, 0)], -1) << "cells outside every box stay empty";
    PalDone();
    ImgFree(img);
}

TEST_F(PalOptTest, CountIsClampedTo2Through256)
{
    Limg img;
    Make24(img, 40, 40, [](int32_t x, int32_t y) { return Rgb{uint8_t(x * 6), uint8_t(y * 6), uint8_t(x * y)}; });
    auto paletteFor = [&](int32_t count, int32_t& boxes) {
        Reduce(img, count);
        boxes = PalBoxCount();
        std::vector<uint8_t> p(PalResultPalette()[0], PalResultPalette()[0] + 768);
        PalDone();
        return p;
    };
    int32_t b1 = 0, b2 = 0, bm = 0, b256 = 0, b1000 = 0;
    EXPECT_EQ(paletteFor(1, b1), paletteFor(2, b2));
    EXPECT_EQ(paletteFor(-5, bm), paletteFor(2, b2));
    EXPECT_EQ(b1, 2);
    EXPECT_EQ(bm, 2);
    EXPECT_EQ(paletteFor(1000, b1000), paletteFor(256, b256));
    EXPECT_EQ(b1000, 256);
    EXPECT_EQ(b256, 256);
    ImgFree(img);
}

// The first split of a single box of four cells: the origin and one cell
// high on each axis. The new box 1 is the cell beyond the middle.
PalBox FirstSplit(Rgb redHigh, Rgb greenHigh, Rgb blueHigh)
{
    Limg img;
    MakeRow(img, {Level(0, 0, 0), redHigh, greenHigh, blueHigh});
    PalInit();
    PalBegin();
    PalHistogram(img);
    PalReduce(2);
    EXPECT_EQ(PalBoxCount(), 2);
    const PalBox box = PalBoxes()[1];
    PalDone();
    ImgFree(img);
    return box;
}

TEST_F(PalOptTest, SplitAxis)
{
    PalBox b = FirstSplit(Level(10, 0, 0), Level(0, 10, 0), Level(0, 0, 10));
    EXPECT_EQ(b.GMin, 10) << "equal extents split along green";
    EXPECT_EQ(b.RMax, 0);
    b = FirstSplit(Level(10, 0, 0), Level(0, 4, 0), Level(0, 0, 10));
    EXPECT_EQ(b.RMin, 10) << "red 10, green 4, blue 10: red";
    EXPECT_EQ(b.GMax, 0);
    b = FirstSplit(Level(10, 0, 0), Level(0, 5, 0), Level(0, 0, 11));
    EXPECT_EQ(b.BMin, 11) << "blue 11, red 10: blue";
    EXPECT_EQ(b.RMax, 0);
    EXPECT_EQ(b.Weight, 0);
    EXPECT_EQ(b.Occupied, 1);
    EXPECT_EQ(b.Splittable, 0);
}

TEST_F(PalOptTest, EqualWeightsSplitTheLowerBoxFirst)
{
    // Two clusters of the same shape; the first split separates them, the
    // second (by weight: 3 < 2 × 2) must take box 0.
    Limg img;
    MakeRow(img, {Level(0, 0, 0), Level(2, 0, 0), Level(60, 0, 0), Level(62, 0, 0)});
    Reduce(img, 3);
    ASSERT_EQ(PalBoxCount(), 3);
    const PalBox* boxes = PalBoxes();
    EXPECT_EQ(boxes[0].RMin, 0);
    EXPECT_EQ(boxes[0].RMax, 0);
    EXPECT_EQ(boxes[1].RMin, 60);
    EXPECT_EQ(boxes[1].RMax, 62);
    EXPECT_EQ(boxes[2].RMin, 2);
    PalDone();

    // While the target is at least twice the box count the box with the
    // most cells is split, even when another is wider: {0..3} (4 cells)
    // goes before {40, 63}; then, by weight, {40, 63}.
    ImgFree(img);
    MakeRow(img, {Level(0, 0, 0), Level(1, 0, 0), Level(2, 0, 0), Level(3, 0, 0), Level(40, 0, 0), Level(63, 0, 0)});
    Reduce(img, 4);
    boxes = PalBoxes();
    ASSERT_EQ(PalBoxCount(), 4);
    EXPECT_EQ(boxes[1].RMin, 40);
    EXPECT_EQ(boxes[2].RMin, 2);
    EXPECT_EQ(boxes[3].RMin, 63);
    PalDone();
    ImgFree(img);
}

TEST_F(PalOptTest, DiffusionTable)
{
    EXPECT_EQ(PalDiffusion(7, 19), 8);
    EXPECT_EQ(PalDiffusion(7, 20), 0);
    EXPECT_EQ(PalDiffusion(7, -19), -8);
    EXPECT_EQ(PalDiffusion(7, 8), 4) << "3.5 rounds to even 4";
    EXPECT_EQ(PalDiffusion(5, 8), 2) << "2.5 rounds to even 2";
    EXPECT_EQ(PalDiffusion(3, 8), 2) << "1.5 rounds to even 2";
    EXPECT_EQ(PalDiffusion(1, 8), 0) << "0.5 rounds to even 0";
    EXPECT_EQ(PalDiffusion(1, 19), 1);
    EXPECT_EQ(PalDiffusion(3, 19), 4);
    EXPECT_EQ(PalDiffusion(5, 19), 6);
    EXPECT_EQ(PalDiffusion(7, 38), 4) << "b(19) div 2";
    EXPECT_EQ(PalDiffusion(7, 39), 0) << "b(1) div 4";
    EXPECT_EQ(PalDiffusion(7, 57), 2) << "b(19) div 4";
    EXPECT_EQ(PalDiffusion(7, -50), -1) << "b(12) = 5, div 4 toward zero";
    EXPECT_EQ(PalDiffusion(7, -45), 0);
    EXPECT_EQ(PalDiffusion(7, 58), 0);
    EXPECT_EQ(PalDiffusion(5, -255), 0);
    EXPECT_EQ(PalDiffusion(3, 0), 0);
}

TEST_F(PalOptTest, DitherSkipsTheFirstPixelOfEvenRows)
{
    // Black and white give the palette; a grey of 10 is then mapped to black
    // and its error spread by hand: row 0 column 0 passes nothing, row 1
    // column 0 does.
    Limg bw, grey, out;
    MakeRow(bw, {Rgb{0, 0, 0}, Rgb{255, 255, 255}});
    Reduce(bw, 256);
    Make24(grey, 2, 4, [](int32_t, int32_t) { return Rgb{10, 10, 10}; });
    PalMap(grey, out, true);
    ASSERT_EQ(ErrGet(), 0);
    const uint8_t expect[4][2] = {{10, 10}, {12, 18}, {17, 17}, {13, 21}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x) {
            EXPECT_EQ(At24(grey, x, y), (Rgb{expect[y][x], expect[y][x], expect[y][x]})) << x << "," << y;
            EXPECT_EQ(out.Data[y * 2 + x], 0);
        }
    EXPECT_EQ(PalHistogramCells()[PalCell(10, 10, 10)], 0) << "the nearest search is cached";
    EXPECT_EQ(out.Palette[1][0], 252);
    PalDone();
    for (Limg* i : {&bw, &grey, &out}) ImgFree(*i);
}

TEST_F(PalOptTest, DitherSpreadsToAllFourNeighbours)
{
    Limg bw, grey, out;
    MakeRow(bw, {Rgb{0, 0, 0}, Rgb{255, 255, 255}});
    Reduce(bw, 256);
    // Only pixel (1, 0) is off black: its error 16 goes right (7), lower
    // left (3), below (5) and lower right (1).
    Make24(grey, 3, 2, [](int32_t x, int32_t y) { return x == 1 && y == 0 ? Rgb{16, 0, 0} : Rgb{0, 0, 0}; });
    PalMap(grey, out, true);
    EXPECT_EQ(At24(grey, 2, 0)[0], 7);
    EXPECT_EQ(At24(grey, 0, 1)[0], 3);
    // 5 from above, 1 of (2, 0)'s error 7, and 1 of (0, 1)'s error 3,
    // which the first pixel of an odd row passes on.
    EXPECT_EQ(At24(grey, 1, 1)[0], 7);
    PalDone();
    for (Limg* i : {&bw, &grey, &out}) ImgFree(*i);
}

TEST_F(PalOptTest, MapOfPaletteImagesAndOtherDepths)
{
    Limg bw, pal8, out, w16;
    MakeRow(bw, {Rgb{0, 0, 0}, Rgb{255, 255, 255}});
    Reduce(bw, 256);
    ImgAlloc(pal8, 3, 1, 8);
    pal8.Data[0] = 5;
    pal8.Data[1] = 6;
    pal8.Data[2] = 5;
    std::memset(pal8.Palette[5], 255, 3);
    std::memset(pal8.Palette[6], 0, 3);
    PalMap(pal8, out, true);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(out), (std::vector<uint8_t>{1, 0, 1}));
    EXPECT_EQ(out.Palette[1][2], 252);

    ImgAlloc(w16, 2, 2, 16);
    std::memset(out.Data, 9, 3);
    PalMap(w16, out, true);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(out.Width, 3) << "a 16-bit source leaves the target alone";
    EXPECT_EQ(Bytes(out), (std::vector<uint8_t>{9, 9, 9}));
    PalDone();
    for (Limg* i : {&bw, &pal8, &out, &w16}) ImgFree(*i);
}

TEST_F(PalOptTest, MapFixedReusesTheImageBlock)
{
    uint8_t palette[256][3] = {};
    std::memset(palette, 255, sizeof palette);
    palette[0][0] = palette[0][1] = palette[0][2] = 0;
    palette[1][2] = 200;  // red
    palette[1][0] = palette[1][1] = 0;
    Limg img;
    MakeRow(img, {Rgb{0, 0, 190}, Rgb{0, 0, 190}, Rgb{250, 250, 250}, Rgb{1, 2, 3}});
    uint8_t* block = img.Data;
    const int32_t size = img.Size;
    PalMapFixed(img, palette);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data, block);
    EXPECT_EQ(img.Size, size);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(img.BytesPP, 1);
    EXPECT_EQ(Bytes(img), (std::vector<uint8_t>{1, 1, 2, 0}));
    EXPECT_EQ(std::memcmp(img.Palette, palette, sizeof palette), 0);
    ImgFree(img);
}

TEST_F(PalOptTest, NearestWeighsTheChannelsAndKeepsTheFirst)
{
    uint8_t palette[256][3];
    std::memset(palette, 255, sizeof palette);
    const uint8_t red10[3] = {0, 0, 10}, green7[3] = {0, 7, 0}, blue20[3] = {20, 0, 0};
    std::memcpy(palette[1], red10, 3);   // (2 × 10)² = 400
    std::memcpy(palette[2], green7, 3);  // (3 × 7)² = 441
    std::memcpy(palette[3], blue20, 3);  // 20² = 400
    EXPECT_EQ(PalNearest(0, 0, 0, palette), 1) << "a tie keeps the first";
    palette[1][2] = 11;  // 484
    EXPECT_EQ(PalNearest(0, 0, 0, palette), 3);
    palette[3][0] = 21;  // 441, a tie with green
    EXPECT_EQ(PalNearest(0, 0, 0, palette), 2);
}

TEST_F(PalOptTest, WorkBlockLifeCycle)
{
    const int32_t before = MemCount();
    PalInit();
    PalInit();
    EXPECT_EQ(MemCount(), before + 1);
    EXPECT_EQ(MemEntryName(before), "PalInit: quant");
    PalDone();
    EXPECT_EQ(MemCount(), before);
    EXPECT_EQ(PalHistogramCells(), nullptr);
    PalBegin();
    EXPECT_NE(ErrGet(), 0) << "no work block";
    ErrClear();
}

}  // namespace
