#include "platform/Gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace platform;

uint32_t Rgb(int r, int g, int b)
{
    return static_cast<uint32_t>((r << 16) | (g << 8) | b);
}

BITMAPINFO Header(int width, int height, int bits)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<uint16_t>(bits);
    return info;
}

TEST(Gdi, DrawsEveryDepthWithPaddedRows)
{
    // Three pixels a row: 8-bit rows pad 3 to 4 bytes, 16-bit 6 to 8, 24-bit 9 to 12.
    struct Case {
        int Bits;
        std::vector<uint8_t> Row0, Row1;
    };
    const Case cases[] = {
        {8, {1, 2, 3, 0xEE}, {3, 2, 1, 0xEE}},
        // 5-5-5: red 31 = 0x7C00, green 31 = 0x03E0, blue 16 = 0x0010.
        {16, {0x00, 0x7C, 0xE0, 0x03, 0x10, 0x00, 0xEE, 0xEE}, {0x10, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0xEE, 0xEE}},
        {24, {0, 0, 255, 0, 255, 0, 132, 0, 0, 0xEE, 0xEE, 0xEE}, {132, 0, 0, 0, 255, 0, 0, 0, 255, 0xEE, 0xEE, 0xEE}},
        {32, {0, 0, 255, 9, 0, 255, 0, 9, 132, 0, 0, 9}, {132, 0, 0, 9, 0, 255, 0, 9, 0, 0, 255, 9}},
    };
    for (const Case& c : cases) {
        BITMAPINFO info = Header(3, -2, c.Bits);
        info.bmiColors[1] = {0, 0, 255, 0};
        info.bmiColors[2] = {0, 255, 0, 0};
        info.bmiColors[3] = {132, 0, 0, 0};
        std::vector<uint8_t> bits = c.Row0;
        bits.insert(bits.end(), c.Row1.begin(), c.Row1.end());
        DeviceContext dc(3, 2, false);
        EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 3, 2, 0, 1, 1, 2, bits.data(), &info, DIB_RGB_COLORS), 2) << c.Bits;
        const uint32_t blue = Rgb(0, 0, 132);  // 5-bit 16 widens to 132
        EXPECT_EQ(dc.Pixel(0, 0), Rgb(255, 0, 0)) << c.Bits;
        EXPECT_EQ(dc.Pixel(1, 0), Rgb(0, 255, 0)) << c.Bits;
        EXPECT_EQ(dc.Pixel(2, 0), blue) << c.Bits;
        EXPECT_EQ(dc.Pixel(0, 1), blue) << c.Bits;
        EXPECT_EQ(dc.Pixel(2, 1), Rgb(255, 0, 0)) << c.Bits;
    }
}

TEST(Gdi, BottomUpDibsAreDrawnInBands)
{
    // Four rows stored bottom-up, one 8-bit pixel padded to 4 bytes each.
    const uint8_t bits[] = {10, 0, 0, 0, 20, 0, 0, 0, 30, 0, 0, 0, 40, 0, 0, 0};
    BITMAPINFO info = Header(1, 4, 8);
    for (int i = 0; i < 256; ++i) info.bmiColors[i] = {static_cast<uint8_t>(i), 0, 0, 0};
    DeviceContext whole(1, 4, false);
    SetDIBitsToDevice(&whole, 0, 0, 1, 4, 0, 0, 0, 4, bits, &info, DIB_RGB_COLORS);
    EXPECT_EQ(whole.Pixel(0, 0), Rgb(0, 0, 40)) << "the last stored row is the top";
    EXPECT_EQ(whole.Pixel(0, 3), Rgb(0, 0, 10));

    // Scan lines 1 and 2 only, given as their own buffer.
    DeviceContext band(1, 4, false);
    band.Fill(0xFFFFFF);
    SetDIBitsToDevice(&band, 0, 0, 1, 4, 0, 0, 1, 2, bits + 4, &info, DIB_RGB_COLORS);
    EXPECT_EQ(band.Pixel(0, 0), 0xFFFFFFu);
    EXPECT_EQ(band.Pixel(0, 1), Rgb(0, 0, 30));
    EXPECT_EQ(band.Pixel(0, 2), Rgb(0, 0, 20));
    EXPECT_EQ(band.Pixel(0, 3), 0xFFFFFFu);
}

TEST(Gdi, PaletteColoursIndexTheSelectedPalette)
{
    DeviceContext dc(2, 1, true);
    EXPECT_EQ(GetDeviceCaps(&dc, RASTERCAPS) & RC_PALETTE, RC_PALETTE);
    const uint8_t bits[] = {0, 1, 0, 0};
    BITMAPINFO info = Header(2, -1, 8);
    auto* indices = reinterpret_cast<uint16_t*>(info.bmiColors);
    indices[0] = 5;
    indices[1] = 300;  // beyond the palette

    SetDIBitsToDevice(&dc, 0, 0, 2, 1, 0, 0, 0, 1, bits, &info, DIB_PAL_COLORS);
    EXPECT_EQ(dc.Pixel(0, 0), 0u) << "no palette selected yet";

    LOGPALETTE log = {};
    log.palVersion = 0x300;
    log.palNumEntries = 256;
    log.palPalEntry[5] = {1, 2, 3, PC_NOCOLLAPSE};
    HPALETTE pal = CreatePalette(&log);
    ASSERT_TRUE(pal);
    SelectPalette(&dc, pal, true);
    EXPECT_FALSE(dc.PaletteRealized());
    EXPECT_EQ(RealizePalette(&dc), 256u);
    SetDIBitsToDevice(&dc, 0, 0, 2, 1, 0, 0, 0, 1, bits, &info, DIB_PAL_COLORS);
    EXPECT_EQ(dc.Pixel(0, 0), Rgb(1, 2, 3));
    EXPECT_EQ(dc.Pixel(1, 0), 0u);

    log.palNumEntries = 257;
    EXPECT_FALSE(CreatePalette(&log));
    EXPECT_FALSE(CreatePalette(nullptr));
}

TEST(Gdi, TrueColourDevicesIgnorePaletteCalls)
{
    DeviceContext dc(2, 2, false);
    EXPECT_EQ(GetDeviceCaps(&dc, RASTERCAPS), 0);
    EXPECT_EQ(SetSystemPaletteUse(&dc, SYSPAL_NOSTATIC), 0u);
    EXPECT_TRUE(dc.SystemPaletteUses().empty());
    EXPECT_EQ(RealizePalette(&dc), 0u);
    EXPECT_EQ(GetDeviceCaps(nullptr, RASTERCAPS), 0);
}

TEST(Gdi, ClipsToTheDeviceAndTheSource)
{
    const uint8_t bits[] = {0, 255, 0, 0, 0, 255, 0, 0};  // green, red (24-bit), padded row
    BITMAPINFO info = Header(2, -1, 24);
    DeviceContext dc(3, 3, false);
    // Five pixels from x = -1: the green one falls off the left edge, the
    // red one lands at 0, and the rest lie beyond the source.
    SetDIBitsToDevice(&dc, -1, 2, 5, 1, 0, 0, 0, 1, bits, &info, DIB_RGB_COLORS);
    EXPECT_EQ(dc.Pixel(0, 2), Rgb(255, 0, 0));
    EXPECT_EQ(dc.Pixel(1, 2), 0u);
    EXPECT_EQ(dc.Pixel(0, 1), 0u);
    // Rows below the device are dropped.
    SetDIBitsToDevice(&dc, 0, 3, 2, 1, 0, 0, 0, 1, bits, &info, DIB_RGB_COLORS);
    EXPECT_EQ(dc.DrawCalls(), 2);
}

TEST(Gdi, RefusesWhatItCannotDraw)
{
    const uint8_t bits[16] = {};
    DeviceContext dc(2, 2, false);
    BITMAPINFO info = Header(2, -2, 4);
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 1, 1, 2, bits, &info, DIB_RGB_COLORS), 0);
    info = Header(2, -2, 8);
    info.bmiHeader.biCompression = 1;
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 1, 1, 2, bits, &info, DIB_RGB_COLORS), 0);
    info = Header(0, -2, 8);
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 1, 1, 2, bits, &info, DIB_RGB_COLORS), 0);
    info = Header(2, -2, 8);
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 1, 1, 2, nullptr, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(SetDIBitsToDevice(nullptr, 0, 0, 2, 2, 0, 1, 1, 2, bits, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(dc.DrawCalls(), 0);
}

}  // namespace
