#include "formats/FFInternal.h"

#include <cstring>

void AlphaOverBlack_(uint8_t* pixels, int64_t count, int32_t channels)
{
    const uint8_t* in = pixels;
    uint8_t* out = pixels;
    const int32_t colour = channels - 1;
    for (int64_t i = 0; i < count; ++i, in += channels) {
        const uint32_t alpha = in[colour];
        for (int32_t c = 0; c < colour; ++c) *out++ = OverBlack(in[c], alpha);
    }
}

void ImgShrink_(Limg& img, int32_t bits)
{
    Limg out;
    ImgAlloc(out, img.Width, img.Height, bits);
    std::memcpy(out.Data, img.Data, static_cast<size_t>(out.Size));
    std::memcpy(out.Palette, img.Palette, sizeof out.Palette);
    ImgXchg(img, out);
    ImgFree(out);
}

void ImgAlphaOverBlack_(Limg& img)
{
    if (img.Data == nullptr || img.BytesPP != 4) return;
    AlphaOverBlack_(img.Data, static_cast<int64_t>(img.Width) * img.Height, 4);
    ImgShrink_(img, 24);
}
