#include "image/PalVga.h"

#include <libimagequant.h>

#include <algorithm>
#include <cstring>

#include "foundation/Errors.h"
#include "foundation/Memory.h"
#include "image/PalOpt.h"

namespace {

constexpr int32_t MemoryFault = 2001;
constexpr int32_t UndefinedError = 3;
// Speed 1 (slowest) to 10. From 6 up, run on one thread (as the program
// runs), it loses about 2 dB on photos; 5 is within 0.05 dB of 1 at a third
// of its cost.
constexpr int QuantSpeed = 5;
// Half-strength diffusion: on the DAC's 6-bit levels full strength only adds
// grain (about 0.6 dB less on photos), and none leaves bands in smooth skies.
constexpr float DitherLevel = 0.5F;

// The libimagequant handles of one reduction, released on every path.
struct Quant {
    liq_attr* Attr = nullptr;
    liq_image* Image = nullptr;
    liq_result* Result = nullptr;
    ~Quant()
    {
        if (Result) liq_result_destroy(Result);
        if (Image) liq_image_destroy(Image);
        if (Attr) liq_attr_destroy(Attr);
    }
};

void Check_(liq_error e)
{
    if (e == LIQ_OK) return;
    ErrSet(e == LIQ_OUT_OF_MEMORY ? MemoryFault : UndefinedError);
}

}  // namespace

void PalReduceVga(Limg& image, int32_t colours)
{
    Guarded("PalReduceVga", [&] {
        ImgCheckPixels_(image);
        if (image.BytesPP != 3) {
            ImgConvBit(image, image, 24);
            if (ErrGet() != 0) ErrAbort();
        }
        colours = std::clamp(colours, 2, PalMaxColors);
        const int32_t w = image.Width;
        const int32_t h = image.Height;
        const int32_t pixels = w * h;  // ImgAlloc has checked the product

        uint8_t* rgba = nullptr;
        MemAlloc(rgba, pixels * 4);
        MemName(rgba, "PalReduceVga", "rgba");
        for (int32_t i = 0; i < pixels; ++i) {
            const uint8_t* s = image.Data + 3 * static_cast<size_t>(i);
            uint8_t* d = rgba + 4 * static_cast<size_t>(i);
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = 255;
        }

        Limg target;
        ImgAlloc(target, w, h, 8);
        {
            Quant q;
            q.Attr = liq_attr_create();
            if (q.Attr == nullptr) ErrSet(MemoryFault);
            Check_(liq_set_max_colors(q.Attr, colours));
            Check_(liq_set_speed(q.Attr, QuantSpeed));
            Check_(liq_set_min_posterization(q.Attr, VgaDroppedBits));
            q.Image = liq_image_create_rgba(q.Attr, rgba, w, h, 0);
            if (q.Image == nullptr) ErrSet(MemoryFault);
            Check_(liq_image_quantize(q.Image, q.Attr, &q.Result));
            Check_(liq_set_dithering_level(q.Result, DitherLevel));
            Check_(liq_write_remapped_image(q.Result, q.Image, target.Data, static_cast<size_t>(pixels)));
            const liq_palette* pal = liq_get_palette(q.Result);
            const int32_t count = std::min<int32_t>(static_cast<int32_t>(pal->count), colours);
            std::memset(target.Palette, 255, sizeof target.Palette);
            // The posterised channels repeat their high bits in the low two;
            // the DAC drops those, so the stored entry keeps only what it shows.
            for (int32_t i = 0; i < count; ++i) {
                const liq_color c = pal->entries[i];
                target.Palette[i][0] = static_cast<uint8_t>(c.b & 0xFC);
                target.Palette[i][1] = static_cast<uint8_t>(c.g & 0xFC);
                target.Palette[i][2] = static_cast<uint8_t>(c.r & 0xFC);
            }
            // The darkest entry at index 0, as the classic reduction has it.
            int32_t darkest = 0;
            for (int32_t i = 1; i < count; ++i) {
                const auto sum = [&](int32_t k) {
                    return target.Palette[k][0] + target.Palette[k][1] + target.Palette[k][2];
                };
                if (sum(i) < sum(darkest)) darkest = i;
            }
            if (darkest != 0) {
                std::swap(target.Palette[0], target.Palette[darkest]);
                const auto a = static_cast<uint8_t>(darkest);
                for (int32_t i = 0; i < pixels; ++i) {
                    uint8_t& p = target.Data[i];
                    p = p == 0 ? a : p == a ? 0 : p;
                }
            }
        }
        MemFree(rgba);
        ImgXchg(image, target);
        ImgFree(target);
    });
}
