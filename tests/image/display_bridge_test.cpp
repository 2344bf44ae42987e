#include "image/DisplayBridge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Names and sizes of the tracked blocks at one moment.
std::vector<std::string> TrackedNames()
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < MemCount(); ++i) names.push_back(MemEntryName(i));
    return names;
}

bool Holds(const std::vector<std::string>& names, const std::string& name)
{
    for (const auto& n : names)
        if (n == name) return true;
    return false;
}

int32_t SizeOf(const std::string& name)
{
    for (int32_t i = 0; i < MemCount(); ++i)
        if (MemEntryName(i) == name) return MemEntrySize(i);
    return 0;
}

TEST_F(DisplayBridgeTest, DescriptionHeaderAndColourTableFollowThePath)
{
    Limg img = Make8(320, 400);
    DeviceContext dc(320, 400, false);
    std::vector<std::string> during;
    int32_t infoSize = 0;
    dc.Observer = [&](const char*) {
        during = TrackedNames();
        infoSize = SizeOf("ImgPut: DIBInfo");
    };
    ImgPut(img, &dc, 0, 0);
    EXPECT_TRUE(Holds(during, "ImgPut: DIBInfo"));
    EXPECT_GE(infoSize, 1064);
    const platform::BITMAPINFOHEADER& h = dc.LastInfo().bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 320);
    EXPECT_EQ(h.biHeight, -400) << "rows run from the top";
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(dc.LastColorUse(), platform::DIB_RGB_COLORS);
    const platform::RGBQUAD& q = dc.LastInfo().bmiColors[10];
    EXPECT_EQ(q.rgbBlue, 10);
    EXPECT_EQ(q.rgbGreen, 245);
    EXPECT_EQ(q.rgbRed, 5);
    EXPECT_EQ(q.rgbReserved, 0);
    EXPECT_EQ(MemCount(), 1) << "the description is freed";
    ImgFree(img);

    Limg narrow = Make8(321, 3);
    DeviceContext dc2(321, 3, false);
    ImgPut(narrow, &dc2, 0, 0);
    EXPECT_EQ(dc2.DrawCalls(), 3);
    EXPECT_EQ(dc2.LastInfo().bmiHeader.biHeight, 1) << "one row at a time";
    EXPECT_EQ(dc2.Pixel(320, 2), Rgb(narrow.Palette[(320 + 6) & 255][2], narrow.Palette[(320 + 6) & 255][1],
                                     narrow.Palette[(320 + 6) & 255][0]));
    ImgFree(narrow);
}

TEST_F(DisplayBridgeTest, TrueColourImageHasNoColourTable)
{
    Limg img;
    ImgAlloc(img, 4, 2, 24);
    for (int i = 0; i < img.Size; ++i) img.Data[i] = static_cast<uint8_t>(i + 1);
    DeviceContext dc(4, 2, false);
    ImgPut(img, &dc, 0, 0);
    EXPECT_EQ(dc.DrawCalls(), 1) << "12-byte rows are aligned";
    EXPECT_EQ(dc.LastInfo().bmiHeader.biBitCount, 24);
    EXPECT_EQ(dc.LastColorUse(), platform::DIB_RGB_COLORS);
    for (const platform::RGBQUAD& q : dc.LastInfo().bmiColors)
        ASSERT_EQ(q.rgbBlue | q.rgbGreen | q.rgbRed | q.rgbReserved, 0);
    EXPECT_EQ(dc.Pixel(3, 1), Rgb(24, 23, 22));
    ImgFree(img);
}

TEST_F(DisplayBridgeTest, EightBitImageOnPaletteDeviceUsesTheSelectedPalette)
{
    Limg img = Make8(8, 2);
    DeviceContext dc(8, 2, true);
    uint8_t other[256][3] = {};
    for (int i = 0; i < 256; ++i) other[i][1] = static_cast<uint8_t>(i);  // green ramp
    PalPut(other, &dc);
    ImgPut(img, &dc, 0, 0);
    EXPECT_EQ(dc.LastColorUse(), platform::DIB_PAL_COLORS);
    EXPECT_EQ(dc.LastInfo().bmiHeader.biBitCount, 8);
    const auto* indices = reinterpret_cast<const uint16_t*>(dc.LastInfo().bmiColors);
    for (uint16_t i = 0; i < 256; ++i) ASSERT_EQ(indices[i], i);
    EXPECT_EQ(dc.SystemPaletteUses().size(), 2u) << "only the explicit PalPut realised a palette";
    // Pixel (5, 1) holds index 8: drawn in the device's palette, not the image's.
    EXPECT_EQ(dc.Pixel(5, 1), Rgb(0, 8, 0));
    ImgFree(img);
}

TEST_F(DisplayBridgeTest, PaletteDeviceReductionUsesNamedBlocks)
{
    Limg img;
    ImgAlloc(img, 5, 3, 24);  // 15-byte rows; the 8-bit copy has 5-byte rows
    for (int i = 0; i < img.Size; ++i) img.Data[i] = static_cast<uint8_t>(i * 17);
    DeviceContext dc(5, 3, true);
    std::vector<std::string> atSelect;
    std::vector<std::string> atDraw;
    int32_t logPalSize = 0;
    dc.Observer = [&](const char* call) {
        if (std::string(call) == "SelectPalette") {
            atSelect = TrackedNames();
            logPalSize = SizeOf("PalPut: logpal");
        } else if (atDraw.empty()) {
            atDraw = TrackedNames();
        }
    };
    ImgPut(img, &dc, 0, 0);
    EXPECT_TRUE(Holds(atSelect, "PalPut: logpal"));
    EXPECT_GE(logPalSize, 1028);
    EXPECT_TRUE(Holds(atDraw, "ImgPut: (Limg) img8"));
    EXPECT_TRUE(Holds(atDraw, "ImgPut: DIBInfo"));
    EXPECT_FALSE(Holds(atDraw, "PalPut: logpal")) << "freed once the palette is realised";
    EXPECT_EQ(dc.DrawCalls(), 3);
    EXPECT_EQ(dc.LastInfo().bmiHeader.biBitCount, 8);
    EXPECT_EQ(dc.LastColorUse(), platform::DIB_PAL_COLORS);
    // Fifteen colours get a palette entry each, to the reduction's 6 bits a channel.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t* p = img.Data + (y * 5 + x) * 3;
            const uint32_t got = dc.Pixel(x, y);
            EXPECT_NEAR(static_cast<int>((got >> 16) & 255), p[2], 4) << x << "," << y;
            EXPECT_NEAR(static_cast<int>((got >> 8) & 255), p[1], 4) << x << "," << y;
            EXPECT_NEAR(static_cast<int>(got & 255), p[0], 4) << x << "," << y;
        }
    EXPECT_EQ(MemCount(), 1);
    ImgFree(img);
}

TEST_F(DisplayBridgeTest, AllocationFailuresDrawNothing)
{
    Limg img;
    ImgAlloc(img, 4, 4, 24);
    std::vector<uint8_t*> fillers;
    // Room for the description but not for the 8-bit copy.
    while (MemCount() < MaxMemBlocks - 1) {
        uint8_t* p = nullptr;
        ASSERT_EQ(MemAlloc(p, 4), 0);
        fillers.push_back(p);
    }
    DeviceContext dc(4, 4, true);
    ImgPut(img, &dc, 0, 0);
    EXPECT_EQ(dc.DrawCalls(), 0);
    EXPECT_EQ(MemCount(), MaxMemBlocks - 1);

    // No room for the description either.
    uint8_t* last = nullptr;
    ASSERT_EQ(MemAlloc(last, 4), 0);
    DeviceContext dc2(4, 4, false);
    ImgPut(img, &dc2, 0, 0);
    EXPECT_EQ(dc2.DrawCalls(), 0);
    uint8_t pal[256][3] = {};
    PalPut(pal, &dc);
    EXPECT_FALSE(dc.SelectedPalette());

    MemFree(last);
    for (uint8_t*& p : fillers) MemFree(p);
    ImgFree(img);
    ErrResetState();
}

}  // namespace
