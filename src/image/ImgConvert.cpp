// Depth conversion, channel exchange and vertical flipping.

#include <algorithm>
#include <cstring>

#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "image/PalOpt.h"

namespace {

inline uint16_t Word_(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline void PutWord_(uint8_t* p, uint32_t w)
{
    p[0] = static_cast<uint8_t>(w);
    p[1] = static_cast<uint8_t>(w >> 8);
}

void PalTo16_(const Limg& src, uint8_t* out, size_t pixels, bool five)
{
    uint16_t table[256];
    for (int i = 0; i < 256; ++i) {
        uint32_t b = src.Palette[i][0], g = src.Palette[i][1], r = src.Palette[i][2];
        table[i] = five ? static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
                        : static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    }
    const uint8_t* in = src.Data;
    for (size_t i = 0; i < pixels; ++i) PutWord_(out + 2 * i, table[in[i]]);
}

void PalTo24_(const Limg& src, uint8_t* out, size_t pixels)
{
    const uint8_t* in = src.Data;
    // Four-byte stores through a table; the last pixel is written on its own.
    uint32_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = src.Palette[i][0] | (src.Palette[i][1] << 8) | (static_cast<uint32_t>(src.Palette[i][2]) << 16);
    size_t i = 0;
    for (; i + 1 < pixels; ++i) std::memcpy(out + 3 * i, &table[in[i]], 4);
    for (; i < pixels; ++i) std::memcpy(out + 3 * i, &table[in[i]], 3);
}

void Convert_(const Limg& src, uint8_t* out, int32_t bits)
{
    const size_t pixels = static_cast<size_t>(src.Width) * src.Height;
    const uint8_t* in = src.Data;
    const int32_t from = src.Bits;
    if (from == 8 && bits == 15) {
        PalTo16_(src, out, pixels, true);
    } else if (from == 8 && bits == 16) {
        PalTo16_(src, out, pixels, false);
    } else if (from == 8 && bits == 24) {
        PalTo24_(src, out, pixels);
    } else if (from == 15 && bits == 16) {
        for (size_t i = 0; i < pixels; ++i) {
            uint32_t w = Word_(in + 2 * i);
            PutWord_(out + 2 * i, ((w & 0x7FE0) << 1) | (w & 0x1F));
        }
    } else if (from == 15 && bits == 24) {
        for (size_t i = 0; i < pixels; ++i) {
            uint32_t w = Word_(in + 2 * i);
            out[3 * i] = static_cast<uint8_t>((w & 0x1F) << 3);
            out[3 * i + 1] = static_cast<uint8_t>(((w >> 5) & 0x1F) << 3);
            out[3 * i + 2] = static_cast<uint8_t>(((w >> 10) & 0x1F) << 3);
        }
    } else if (from == 16 && bits == 15) {
        for (size_t i = 0; i < pixels; ++i) {
            uint32_t w = Word_(in + 2 * i);
            PutWord_(out + 2 * i, ((w >> 1) & 0x7FE0) | (w & 0x1F));
        }
    } else if (from == 16 && bits == 24) {
        for (size_t i = 0; i < pixels; ++i) {
            uint32_t w = Word_(in + 2 * i);
            out[3 * i] = static_cast<uint8_t>((w & 0x1F) << 3);
            out[3 * i + 1] = static_cast<uint8_t>(((w >> 5) & 0x3F) << 2);
            out[3 * i + 2] = static_cast<uint8_t>(((w >> 11) & 0x1F) << 3);
        }
    } else if (from == 24 && bits == 15) {
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t* p = in + 3 * i;
            PutWord_(out + 2 * i, ((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3));
        }
    } else if (from == 24 && bits == 16) {
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t* p = in + 3 * i;
            PutWord_(out + 2 * i, ((p[2] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[0] >> 3));
        }
    } else if (from == 32 && bits == 24) {
        for (size_t i = 0; i < pixels; ++i) std::memcpy(out + 3 * i, in + 4 * i, 3);
    }
    // Every other pair leaves the target's pixels unwritten.
}

}  // namespace

void ImgConvBit(const Limg& src, Limg& dst, int32_t bits)
{
    Guarded("ImgConvBit", [&] {
        if (&src == &dst) {
            if (src.Bits == bits) ErrAbort();
            ImgCheckPixels_(src);
            Limg temp;
            ImgAlloc(temp, src.Width, src.Height, bits);
            ImgName(temp, "ImgConvBit", "ih_temp");
            if (src.Bits == 24 && bits == 8)
                PalQuantize(src, temp);
            else
                Convert_(src, temp.Data, bits);
            ImgXchg(dst, temp);
            ImgFree(temp);
        } else {
            if (src.Bits == bits) {
                ImgCopy(src, dst);
                ErrAbort();
            }
            ImgCheckPixels_(src);
            ImgAlloc(dst, src.Width, src.Height, bits);
            if (src.Bits == 24 && bits == 8)
                PalQuantize(src, dst);
            else
                Convert_(src, dst.Data, bits);
        }
    });
}

void RowTo24(uint8_t swapRB, int32_t stride, int32_t count, uint8_t* dest, const uint8_t* source)
{
    if (dest == nullptr || source == nullptr) return;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* p = source + static_cast<size_t>(i) * stride;
        uint8_t c0, c1, c2;
        if (stride >= 3) {
            c0 = p[0];
            c1 = p[1];
            c2 = p[2];
        } else {
            uint32_t w = Word_(p);
            c0 = static_cast<uint8_t>(((w >> 10) & 0x1F) << 3);
            c1 = static_cast<uint8_t>(((w >> 5) & 0x1F) << 3);
            c2 = static_cast<uint8_t>((w & 0x1F) << 3);
        }
        if (swapRB == 1) std::swap(c0, c2);
        uint8_t* q = dest + 3 * static_cast<size_t>(i);
        q[0] = c0;
        q[1] = c1;
        q[2] = c2;
    }
}

void PalGrey(uint8_t (&palette)[256][3])
{
    for (int i = 0; i < 256; ++i) palette[i][0] = palette[i][1] = palette[i][2] = static_cast<uint8_t>(i);
}

void PalGreyInv(uint8_t (&palette)[256][3])
{
    for (int i = 0; i < 256; ++i) palette[i][0] = palette[i][1] = palette[i][2] = static_cast<uint8_t>(255 - i);
}

void ImgXchgRB(const Limg& src, Limg& dst)
{
    Guarded("ImgXchgRB", [&] {
        ImgOpInfo info;
        ImgOpCtx ctx;
        ImgInfo(info, ImgOpXchgRB);
        ImgOpConvert(info, ctx, &src, &dst);
        uint8_t* s = ctx.SrcPtr;
        uint8_t* d = ctx.DstPtr;
        // The working depth is 24 bits or the palette: always triples.
        const size_t count = static_cast<size_t>(ctx.SrcCount);
        if (ctx.Src == ctx.Dst) {
            for (size_t i = 0; i < count; ++i) std::swap(s[3 * i], s[3 * i + 2]);
        } else {
            for (size_t i = 0; i < count; ++i) {
                uint8_t b0 = s[3 * i], b1 = s[3 * i + 1], b2 = s[3 * i + 2];
                d[3 * i] = b2;
                d[3 * i + 1] = b1;
                d[3 * i + 2] = b0;
            }
        }
        ImgDone(ctx);
    });
}

void ImgFlipV(const Limg& src, Limg& dst)
{
    Guarded("ImgFlipV", [&] {
        ImgOpInfo info;
        ImgOpCtx ctx;
        ImgInfo(info, ImgOpFlipV);
        ImgOpConvert(info, ctx, &src, &dst);
        const size_t row = static_cast<size_t>(ctx.SrcRow);
        const int32_t height = ctx.Src ? ctx.Src->Height : 0;
        if (row > 0 && height > 0) {
            const size_t last = static_cast<size_t>(ctx.SrcBytes) - row;
            if (ctx.Src != ctx.Dst) {
                for (int32_t i = 0; i < height; ++i)
                    std::memcpy(ctx.DstPtr + last - i * row, ctx.SrcPtr + i * row, row);
            } else if (height >= 2) {
                size_t top = 0, bottom = last;
                while (top < bottom) {
                    std::swap_ranges(ctx.SrcPtr + top, ctx.SrcPtr + top + row, ctx.SrcPtr + bottom);
                    top += row;
                    bottom -= row;
                }
            }
        }
        ImgDone(ctx);
    });
}
