#pragma once
// The GDI calls the display bridge uses, over a pixel surface of our own. A
// device context is a 32-bit RGB surface; a palette device additionally has
// a selected logical palette of 256 entries, as a 256-colour display had.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

// Header and 256 colour slots: 1064 bytes. With DIB_PAL_COLORS the slots
// hold 16-bit palette indices instead.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};
static_assert(sizeof(BITMAPINFO) == 1064);

struct PALETTEENTRY {
    uint8_t peRed, peGreen, peBlue, peFlags;
};

struct LOGPALETTE {
    uint16_t palVersion;
    uint16_t palNumEntries;
    PALETTEENTRY palPalEntry[256];
};
static_assert(sizeof(LOGPALETTE) == 1028);

inline constexpr int RASTERCAPS = 38;
inline constexpr int RC_PALETTE = 0x100;
inline constexpr uint32_t DIB_RGB_COLORS = 0;
inline constexpr uint32_t DIB_PAL_COLORS = 1;
inline constexpr uint32_t SYSPAL_STATIC = 1;
inline constexpr uint32_t SYSPAL_NOSTATIC = 2;
inline constexpr uint8_t PC_NOCOLLAPSE = 4;

struct Palette {
    std::vector<PALETTEENTRY> Entries;
};
using HPALETTE = std::shared_ptr<Palette>;

class DeviceContext {
public:
    DeviceContext(int width, int height, bool paletteDevice);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsPaletteDevice() const { return paletteDevice_; }
    // Pixels as 0x00RRGGBB, rows from the top.
    const std::vector<uint32_t>& Pixels() const { return pixels_; }
    uint32_t Pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    void Fill(uint32_t rgb);

    // What the device was asked to do, for tests and diagnostics.
    int DrawCalls() const { return drawCalls_; }
    const std::vector<uint32_t>& SystemPaletteUses() const { return systemPaletteUses_; }
    bool PaletteRealized() const { return realized_; }
    const HPALETTE& SelectedPalette() const { return selected_; }
    // The description and colour use of the last SetDIBitsToDevice call.
    const BITMAPINFO& LastInfo() const { return lastInfo_; }
    uint32_t LastColorUse() const { return lastColorUse_; }
    // Called with the name of each GDI call on this device as it happens
    // ("SelectPalette", "SetDIBitsToDevice"), so a test can look at the
    // caller's state in the middle of an operation.
    std::function<void(const char* call)> Observer;

private:
    friend int GetDeviceCaps(DeviceContext*, int);
    friend uint32_t SetSystemPaletteUse(DeviceContext*, uint32_t);
    friend HPALETTE SelectPalette(DeviceContext*, const HPALETTE&, bool);
    friend uint32_t RealizePalette(DeviceContext*);
    friend int SetDIBitsToDevice(DeviceContext*, int, int, uint32_t, uint32_t, int, int, uint32_t, uint32_t,
                                 const void*, const BITMAPINFO*, uint32_t);

    int width_;
    int height_;
    bool paletteDevice_;
    std::vector<uint32_t> pixels_;
    HPALETTE selected_;
    bool realized_ = false;
    int drawCalls_ = 0;
    std::vector<uint32_t> systemPaletteUses_;
    BITMAPINFO lastInfo_ = {};
    uint32_t lastColorUse_ = 0;
};
using HDC = DeviceContext*;

int GetDeviceCaps(HDC dc, int index);
uint32_t SetSystemPaletteUse(HDC dc, uint32_t use);
HPALETTE CreatePalette(const LOGPALETTE* logPalette);
HPALETTE SelectPalette(HDC dc, const HPALETTE& palette, bool forceBackground);
uint32_t RealizePalette(HDC dc);
// Draws 8-, 16- (5-5-5), 24- and 32-bit uncompressed DIBs; returns the scan
// lines drawn, 0 on a bad argument. Rows of the bits are padded to 4 bytes.
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, uint32_t width, uint32_t height, int xSrc, int ySrc,
                      uint32_t startScan, uint32_t scanLines, const void* bits, const BITMAPINFO* info,
                      uint32_t colorUse);

}  // namespace platform
