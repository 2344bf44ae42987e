#include "image/DisplayBridge.h"

#include <cstring>

#include "foundation/Memory.h"
#include "image/PalOpt.h"

namespace {

bool IsPaletteDevice(platform::HDC dc)
{
    return (platform::GetDeviceCaps(dc, platform::RASTERCAPS) & platform::RC_PALETTE) != 0;
}

// Rows of a DIB are 4-byte aligned; unaligned images are drawn row by row.
constexpr int32_t DibRowAlignment = 4;

void Draw(const Limg& img, platform::HDC dc, int32_t x, int32_t y, platform::BITMAPINFO* info, uint32_t colorUse)
{
    int32_t rowBytes = img.Width * img.BytesPP;
    if (rowBytes % DibRowAlignment == 0) {
        platform::SetDIBitsToDevice(dc, x, y, static_cast<uint32_t>(img.Width), static_cast<uint32_t>(img.Height), 0,
                                    img.Height - 1, static_cast<uint32_t>(img.Height - 1),
                                    static_cast<uint32_t>(img.Height), img.Data, info, colorUse);
        return;
    }
    info->bmiHeader.biHeight = 1;
    for (int32_t r = 0; r < img.Height; ++r)
        platform::SetDIBitsToDevice(dc, x, y + r, static_cast<uint32_t>(img.Width), 1, 0, 0, 0, 1,
                                    img.Data + static_cast<int64_t>(r) * rowBytes, info, colorUse);
}

}  // namespace

void PalPut(const uint8_t (&palette)[256][3], platform::HDC dc)
{
    if (!IsPaletteDevice(dc)) return;
    platform::LOGPALETTE* logPal = nullptr;
    if (MemAlloc(logPal, static_cast<int32_t>(sizeof(platform::LOGPALETTE))) != 0) return;
    MemName(logPal, "PalPut", "logpal");
    logPal->palVersion = 0x300;
    logPal->palNumEntries = 256;
    for (int i = 0; i < 256; ++i)
        logPal->palPalEntry[i] = {palette[i][2], palette[i][1], palette[i][0], platform::PC_NOCOLLAPSE};
    platform::SetSystemPaletteUse(dc, platform::SYSPAL_NOSTATIC);
    platform::SetSystemPaletteUse(dc, platform::SYSPAL_STATIC);
    platform::HPALETTE created = platform::CreatePalette(logPal);
    platform::SelectPalette(dc, created, true);
    platform::RealizePalette(dc);
    MemFree(logPal);
}

void ImgPut(const Limg& img, platform::HDC dc, int32_t x, int32_t y)
{
    if (!MemIsTracked(img.Data)) return;
    platform::BITMAPINFO* info = nullptr;
    if (MemAlloc(info, static_cast<int32_t>(sizeof(platform::BITMAPINFO))) != 0) return;
    MemName(info, "ImgPut", "DIBInfo");
    std::memset(info, 0, sizeof(platform::BITMAPINFO));
    platform::BITMAPINFOHEADER& h = info->bmiHeader;
    h.biSize = 40;
    h.biWidth = img.Width;
    h.biHeight = -img.Height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(img.BytesPP * 8);

    Limg img8;
    const Limg* drawn = &img;
    uint32_t colorUse = platform::DIB_RGB_COLORS;
    if (IsPaletteDevice(dc)) {
        colorUse = platform::DIB_PAL_COLORS;
        auto* indices = reinterpret_cast<uint16_t*>(info->bmiColors);
        for (uint16_t i = 0; i < 256; ++i) indices[i] = i;
        if (img.BytesPP == 3) {
            ImgAlloc(img8, img.Width, img.Height, 8);
            if (!MemIsTracked(img8.Data)) {
                MemFree(info);
                return;
            }
            ImgName(img8, "ImgPut", "img8");
            PalQuantize(img, img8);
            PalPut(img8.Palette, dc);
            h.biBitCount = 8;
            drawn = &img8;
        }
    } else if (img.BytesPP == 1) {
        for (int i = 0; i < 256; ++i) info->bmiColors[i] = {img.Palette[i][0], img.Palette[i][1], img.Palette[i][2], 0};
    }
    Draw(*drawn, dc, x, y, info, colorUse);
    ImgFree(img8);
    MemFree(info);
}
