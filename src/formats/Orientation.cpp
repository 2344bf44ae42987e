#include <cstring>

#include "formats/FFInternal.h"

namespace {

// Where the pixel (x, y) of the turned picture lies in the stored one.
void SourceOf(int32_t orientation, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& sx, int32_t& sy)
{
    switch (orientation) {
        case 2:
            sx = w - 1 - x, sy = y;
            break;
        case 3:
            sx = w - 1 - x, sy = h - 1 - y;
            break;
        case 4:
            sx = x, sy = h - 1 - y;
            break;
        case 5:
            sx = y, sy = x;
            break;
        case 6:
            sx = y, sy = h - 1 - x;
            break;
        case 7:
            sx = w - 1 - y, sy = h - 1 - x;
            break;
        case 8:
            sx = w - 1 - y, sy = x;
            break;
        default:
            sx = x, sy = y;
            break;
    }
}

}  // namespace

bool TurnsSides(int32_t orientation)
{
    return orientation >= 5 && orientation <= 8;
}

void ImgOrient_(Limg& img, int32_t orientation)
{
    if (orientation < 2 || orientation > 8 || img.Data == nullptr) return;
    const int32_t w = img.Width, h = img.Height, bpp = img.BytesPP;
    const int32_t outW = TurnsSides(orientation) ? h : w;
    const int32_t outH = TurnsSides(orientation) ? w : h;
    Limg out;
    ImgAlloc(out, outW, outH, img.Bits);
    std::memcpy(out.Palette, img.Palette, sizeof out.Palette);
    for (int32_t y = 0; y < outH; ++y) {
        uint8_t* row = out.Data + static_cast<int64_t>(y) * outW * bpp;
        for (int32_t x = 0; x < outW; ++x) {
            int32_t sx = 0, sy = 0;
            SourceOf(orientation, x, y, w, h, sx, sy);
            std::memcpy(row + static_cast<int64_t>(x) * bpp, img.Data + (static_cast<int64_t>(sy) * w + sx) * bpp,
                        static_cast<size_t>(bpp));
        }
    }
    ImgXchg(img, out);
    ImgFree(out);
}
