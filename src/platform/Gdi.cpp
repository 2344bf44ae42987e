#include "platform/Gdi.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

uint8_t Expand5(uint32_t v)
{
    return static_cast<uint8_t>((v << 3) | (v >> 2));
}

// The colour of one source pixel; p points at its first byte.
uint32_t SourceColour(const uint8_t* p, int bitCount, const BITMAPINFO& info, uint32_t colorUse,
                      const HPALETTE& selected)
{
    switch (bitCount) {
        case 8: {
            if (colorUse == DIB_PAL_COLORS) {
                uint16_t index;
                std::memcpy(&index, reinterpret_cast<const uint8_t*>(info.bmiColors) + 2 * p[0], 2);
                if (!selected || index >= selected->Entries.size()) return 0;
                const PALETTEENTRY& e = selected->Entries[index];
                return Rgb(e.peRed, e.peGreen, e.peBlue);
            }
            const RGBQUAD& q = info.bmiColors[p[0]];
            return Rgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        case 16: {
            uint32_t w = p[0] | (uint32_t{p[1]} << 8);
            return Rgb(Expand5((w >> 10) & 31), Expand5((w >> 5) & 31), Expand5(w & 31));
        }
        case 24:
        case 32:
            return Rgb(p[2], p[1], p[0]);
        default:
            return 0;
    }
}

}  // namespace

DeviceContext::DeviceContext(int width, int height, bool paletteDevice)
    : width_(width > 0 ? width : 0),
      height_(height > 0 ? height : 0),
      paletteDevice_(paletteDevice),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0)
{
}

void DeviceContext::Fill(uint32_t rgb)
{
    std::fill(pixels_.begin(), pixels_.end(), rgb);
}

int GetDeviceCaps(HDC dc, int index)
{
    if (dc == nullptr) return 0;
    if (index == RASTERCAPS) return dc->paletteDevice_ ? RC_PALETTE : 0;
    return 0;
}

uint32_t SetSystemPaletteUse(HDC dc, uint32_t use)
{
    if (dc == nullptr || !dc->paletteDevice_) return 0;
    uint32_t previous = dc->systemPaletteUses_.empty() ? SYSPAL_STATIC : dc->systemPaletteUses_.back();
    dc->systemPaletteUses_.push_back(use);
    return previous;
}

HPALETTE CreatePalette(const LOGPALETTE* logPalette)
{
    if (logPalette == nullptr || logPalette->palNumEntries == 0 || logPalette->palNumEntries > 256) return nullptr;
    auto palette = std::make_shared<Palette>();
    palette->Entries.assign(logPalette->palPalEntry, logPalette->palPalEntry + logPalette->palNumEntries);
    return palette;
}

HPALETTE SelectPalette(HDC dc, const HPALETTE& palette, bool /*forceBackground*/)
{
    if (dc == nullptr || !palette) return nullptr;
    HPALETTE previous = dc->selected_;
    dc->selected_ = palette;
    dc->realized_ = false;
    if (dc->Observer) dc->Observer("SelectPalette");
    return previous;
}

uint32_t RealizePalette(HDC dc)
{
    if (dc == nullptr || !dc->paletteDevice_ || !dc->selected_) return 0;
    dc->realized_ = true;
    return static_cast<uint32_t>(dc->selected_->Entries.size());
}

// Bottom-up DIBs count scan lines from the bottom and may be drawn in bands
// (startScan, scanLines). Top-down DIBs count y from the top and are always
// given whole; in both, (xSrc, ySrc) is the lower-left corner of the source
// rectangle.
int SetDIBitsToDevice(HDC dc, int xDest, int yDest, uint32_t width, uint32_t height, int xSrc, int ySrc,
                      uint32_t startScan, uint32_t scanLines, const void* bits, const BITMAPINFO* info,
                      uint32_t colorUse)
{
    if (dc == nullptr || bits == nullptr || info == nullptr) return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    int bitCount = h.biBitCount;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biCompression != 0) return 0;
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return 0;
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return 0;
    ++dc->drawCalls_;
    dc->lastInfo_ = *info;
    dc->lastColorUse_ = colorUse;
    if (dc->Observer) dc->Observer("SetDIBitsToDevice");

    const bool topDown = h.biHeight < 0;
    const int64_t dibHeight = topDown ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    const int64_t bytesPerPixel = bitCount / 8;
    const int64_t stride = ((static_cast<int64_t>(h.biWidth) * bitCount + 31) / 32) * 4;
    const auto* data = static_cast<const uint8_t*>(bits);
    const int64_t w = width;
    const int64_t hgt = height;

    for (int64_t i = 0; i < hgt; ++i) {
        int64_t dy = yDest + i;
        if (dy < 0 || dy >= dc->height_) continue;
        int64_t bitsRow;
        if (topDown) {
            int64_t fromTop = ySrc - (hgt - 1) + i;
            if (fromTop < 0 || fromTop >= dibHeight || fromTop >= scanLines) continue;
            bitsRow = fromTop;
        } else {
            int64_t fromBottom = ySrc + (hgt - 1 - i);
            if (fromBottom < startScan || fromBottom >= int64_t{startScan} + scanLines || fromBottom >= dibHeight)
                continue;
            bitsRow = fromBottom - startScan;
        }
        const uint8_t* row = data + bitsRow * stride;
        for (int64_t j = 0; j < w; ++j) {
            int64_t dx = xDest + j;
            int64_t sx = xSrc + j;
            if (dx < 0 || dx >= dc->width_ || sx < 0 || sx >= h.biWidth) continue;
            dc->pixels_[static_cast<size_t>(dy * dc->width_ + dx)] =
                SourceColour(row + sx * bytesPerPixel, bitCount, *info, colorUse, dc->selected_);
        }
    }
    return static_cast<int>(scanLines);
}

}  // namespace platform
