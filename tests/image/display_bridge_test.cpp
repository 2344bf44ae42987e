#include "image/DisplayBridge.h"

#include <gtest/gtest.h>

#include "foundation/Errors.h"
#include "foundation/Memory.h"

namespace {

using platform::DeviceContext;

class DisplayBridgeTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override { EXPECT_EQ(MemCount(), 0); }
};

Limg Make8(int w, int h)
{
    Limg img;
    ImgAlloc(img, w, h, 8);
    for (int i = 0; i < 256; ++i) {
        img.Palette[i][0] = static_cast<uint8_t>(i);        // blue
        img.Palette[i][1] = static_cast<uint8_t>(255 - i);  // green
        img.Palette[i][2] = static_cast<uint8_t>(i / 2);    // red
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.Data[y * w + x] = static_cast<uint8_t>((x + 3 * y) & 255);
    return img;
}

uint32_t Rgb(int r, int g, int b)
{
    return static_cast<uint32_t>((r << 16) | (g << 8) | b);
}

TEST_F(DisplayBridgeTest, AlignedRowsAreDrawnInOneCallUnalignedRowByRow)
{
    for (int width : {320, 321}) {
        Limg img = Make8(width, 400);
        DeviceContext dc(330, 410, false);
        ImgPut(img, &dc, 2, 3);
        EXPECT_EQ(dc.DrawCalls(), width == 320 ? 1 : 400) << width;
        for (int y : {0, 1, 200, 399})
            for (int x : {0, 5, width - 1}) {
                const uint8_t* p = img.Palette[img.Data[y * width + x]];
                ASSERT_EQ(dc.Pixel(x + 2, y + 3), Rgb(p[2], p[1], p[0])) << width << " " << x << "," << y;
            }
        EXPECT_EQ(dc.Pixel(0, 0), 0u) << "nothing outside the image";
        ImgFree(img);
    }
}

TEST_F(DisplayBridgeTest, TrueColourImagesAreDrawnDirectlyOnTrueColourDevices)
{
    Limg img;
    ImgAlloc(img, 3, 2, 24);
    for (int i = 0; i < 18; ++i) img.Data[i] = static_cast<uint8_t>(10 * i);
    DeviceContext dc(3, 2, false);
    ImgPut(img, &dc, 0, 0);
    EXPECT_EQ(dc.DrawCalls(), 2) << "9-byte rows are not aligned";
    EXPECT_EQ(dc.Pixel(0, 0), Rgb(20, 10, 0));
    EXPECT_EQ(dc.Pixel(2, 1), Rgb(170, 160, 150));
    EXPECT_TRUE(dc.SystemPaletteUses().empty());
    ImgFree(img);
}

TEST_F(DisplayBridgeTest, TrueColourImageOnPaletteDeviceIsReducedAndItsPaletteRealised)
{
    Limg img;
    ImgAlloc(img, 4, 4, 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            uint8_t* p = img.Data + (y * 4 + x) * 3;
            p[0] = y < 2 ? 255 : 0;  // blue top half
            p[1] = 0;
            p[2] = y < 2 ? 0 : 255;  // red bottom half
        }
    DeviceContext dc(4, 4, true);
    ImgPut(img, &dc, 0, 0);
    EXPECT_TRUE(dc.PaletteRealized());
    ASSERT_EQ(dc.SystemPaletteUses().size(), 2u);
    EXPECT_EQ(dc.SystemPaletteUses()[0], platform::SYSPAL_NOSTATIC);
    EXPECT_EQ(dc.SystemPaletteUses()[1], platform::SYSPAL_STATIC);
    EXPECT_EQ(dc.DrawCalls(), 1) << "the 8-bit copy has 4-byte rows";
    // Two exact colours fit any 256-colour palette.
    EXPECT_GT(dc.Pixel(0, 0) & 0xFF, 0xF0u);
    EXPECT_GT((dc.Pixel(3, 3) >> 16) & 0xFF, 0xF0u);
    EXPECT_EQ(MemCount(), 1) << "only the source image is left";
    ImgFree(img);
}

TEST_F(DisplayBridgeTest, EmptyRecordDrawsNothingAndReportsNothing)
{
    Limg img;
    DeviceContext dc(4, 4, false);
    ImgPut(img, &dc, 0, 0);
    EXPECT_EQ(dc.DrawCalls(), 0);
    EXPECT_EQ(ErrGet(), 0);
}

TEST_F(DisplayBridgeTest, PalPutDoesNothingOnTrueColourDevices)
{
    uint8_t palette[256][3] = {};
    DeviceContext dc(4, 4, false);
    PalPut(palette, &dc);
    EXPECT_FALSE(dc.SelectedPalette());
    DeviceContext pdc(4, 4, true);
    palette[7][2] = 200;
    PalPut(palette, &pdc);
    ASSERT_TRUE(pdc.SelectedPalette());
    EXPECT_EQ(pdc.SelectedPalette()->Entries[7].peRed, 200);
    EXPECT_EQ(pdc.SelectedPalette()->Entries[7].peFlags, platform::PC_NOCOLLAPSE);
}

}  // namespace
