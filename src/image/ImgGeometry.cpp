// Cropping, pasting, fast resizing and smooth resampling. Positions are
// fixed-point with OnePixel for one pixel; all arithmetic is integer.

#include <algorithm>
#include <cstring>

#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "image/VectorClones.h"

namespace {

constexpr int64_t OnePixel = 100000;
constexpr int32_t Rgb = 3;
constexpr uint64_t MaxCount16 = 257;  // 255 × 257 = 65535

// Exact x / d for 0 <= x <= 255 × d. Counts up to 257 divide by a 32-bit
// multiply and a shift of 24: with m = ceil(2^24 / d) the error x × (m d -
// 2^24) stays below 255 × 257 × 256 < 2^24, and x × m below 2^32. Larger
// counts up to 65536 use a 64-bit multiply and a shift of 8 + 2 log2 d
// (Granlund and Montgomery); beyond that a plain division.
struct Divider {
    uint32_t Mul32 = 0;
    uint64_t Mul = 0;
    int32_t Shift = 0;
    uint64_t D = 1;

    explicit Divider(uint64_t d = 1) : D(d == 0 ? 1 : d)
    {
        if (D <= MaxCount16) {
            Mul32 = static_cast<uint32_t>(((uint64_t{1} << 24) + D - 1) / D);
            return;
        }
        if (D > 65536) return;
        int32_t l = 0;
        while ((uint64_t{1} << l) < D) ++l;
        Shift = 8 + 2 * l;
        Mul = (uint64_t{1} << Shift) / D + 1;
    }
    uint32_t operator()(uint64_t x) const
    {
        if (Mul32) return (static_cast<uint32_t>(x) * Mul32) >> 24;
        return Mul ? static_cast<uint32_t>((x * Mul) >> Shift) : static_cast<uint32_t>(x / D);
    }
};

// Column sums of up to 257 rows fit 16 bits; the three steps of a group.
LUM_VECTOR_CLONES
void SumStart16_(uint16_t* sums, const uint8_t* row, size_t n)
{
    for (size_t k = 0; k < n; ++k) sums[k] = row[k];
}

LUM_VECTOR_CLONES
void SumAdd16_(uint16_t* sums, const uint8_t* row, size_t n)
{
    for (size_t k = 0; k < n; ++k) sums[k] = static_cast<uint16_t>(sums[k] + row[k]);
}

LUM_VECTOR_CLONES
void SumDivide16_(uint8_t* out, const uint16_t* sums, size_t n, uint32_t mul)
{
    for (size_t k = 0; k < n; ++k) out[k] = static_cast<uint8_t>((sums[k] * mul) >> 24);
}

template <class T>
T* TrackedArray_(T*& p, int64_t count, const char* name)
{
    int32_t bytes = 0;
    if (count <= 0 || !CheckedMul32(count, static_cast<int64_t>(sizeof(T)), bytes)) ErrSet(2001);
    MemAlloc(p, bytes);
    MemName(p, "ImgResample", name);
    return p;
}

inline void MidRow_(uint8_t* out, const uint8_t* a, const uint8_t* b, size_t bytes)
{
    for (size_t k = 0; k < bytes; ++k) out[k] = static_cast<uint8_t>((a[k] + b[k]) >> 1);
}

// The picture the resampler reads: a canvas of Width × Height pixels on
// which the source lies at (X, Y); canvas pixels the source does not cover
// read as black. Fitting a picture by cropping or by borders then needs no
// copy of it. Columns [C0, C1) and rows [R0, R1) are the covered ones.
struct Canvas {
    const uint8_t* Data = nullptr;
    size_t SrcRow = 0;
    int32_t Width = 0, Height = 0, X = 0, Y = 0;
    int32_t C0 = 0, C1 = 0, R0 = 0, R1 = 0;

    Canvas(const uint8_t* data, size_t srcRow, int32_t srcWidth, int32_t srcHeight, int32_t width, int32_t height,
           int32_t x, int32_t y)
        : Data(data), SrcRow(srcRow), Width(width), Height(height), X(x), Y(y)
    {
        C0 = static_cast<int32_t>(std::clamp<int64_t>(x, 0, width));
        C1 = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(x) + srcWidth, 0, width));
        R0 = static_cast<int32_t>(std::clamp<int64_t>(y, 0, height));
        R1 = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(y) + srcHeight, 0, height));
        if (C1 <= C0 || R1 <= R0) C0 = C1 = R0 = R1 = 0;
    }
    size_t RowBytes() const { return static_cast<size_t>(Width) * Rgb; }
    size_t SegmentStart() const { return static_cast<size_t>(C0) * Rgb; }
    size_t SegmentBytes() const { return static_cast<size_t>(C1 - C0) * Rgb; }
    // The covered pixels of row r (R0 <= r < R1), from column C0 on.
    const uint8_t* Covered(int32_t r) const
    {
        return Data + static_cast<size_t>(static_cast<int64_t>(r) - Y) * SrcRow +
               static_cast<size_t>(static_cast<int64_t>(C0) - X) * Rgb;
    }
    // Row r whole: the source row itself where it spans the canvas, else built in buf.
    const uint8_t* Row(int32_t r, uint8_t* buf) const
    {
        const bool shown = r >= R0 && r < R1;
        if (shown && C0 == 0 && C1 == Width) return Covered(r);
        std::memset(buf, 0, RowBytes());
        if (shown) std::memcpy(buf + SegmentStart(), Covered(r), SegmentBytes());
        return buf;
    }
};

// Vertical box shrinking of the canvas rows into `outRows` rows; a group
// ends when the source position reaches the accumulated step (strictly past
// it to take a further row). Black rows and columns add nothing to a sum,
// so only the covered part of a group is summed.
void ShrinkRows_(const Canvas& c, int32_t outRows, int64_t vstep, uint8_t* out)
{
    const size_t rowBytes = c.RowBytes();
    const size_t seg = c.SegmentStart(), segBytes = c.SegmentBytes();
    uint32_t* sums = nullptr;
    TrackedArray_(sums, static_cast<int64_t>(std::max<size_t>(segBytes, 1)), "sums");
    uint16_t* sums16 = reinterpret_cast<uint16_t*>(sums);
    const int32_t rows = c.Height;
    int64_t acc = 0, pos = 0;
    int32_t s = 0, written = 0;
    while (s < rows) {
        const int32_t first = s;
        int64_t count = 1;
        acc += vstep;
        pos += OnePixel;
        if (acc > pos) {
            while (pos < acc) {
                ++s;
                if (s < rows) ++count;
                pos += OnePixel;
            }
        }
        if (written < outRows) {
            uint8_t* o = out + static_cast<size_t>(written) * rowBytes;
            std::memset(o, 0, seg);
            std::memset(o + seg + segBytes, 0, rowBytes - seg - segBytes);
            uint8_t* os = o + seg;
            // The group's rows that show the source.
            const int32_t a = std::max(first, c.R0);
            const int32_t b = static_cast<int32_t>(std::min<int64_t>(first + count, c.R1));
            if (a >= b) {
                std::memset(os, 0, segBytes);
            } else if (count == 1) {
                std::memcpy(os, c.Covered(a), segBytes);
            } else if (static_cast<uint64_t>(count) <= MaxCount16) {
                SumStart16_(sums16, c.Covered(a), segBytes);
                for (int32_t j = a + 1; j < b; ++j) SumAdd16_(sums16, c.Covered(j), segBytes);
                SumDivide16_(os, sums16, segBytes, Divider(static_cast<uint64_t>(count)).Mul32);
            } else if (count <= 16843009) {  // 255 × count fits 32 bits
                const uint8_t* r0 = c.Covered(a);
                for (size_t k = 0; k < segBytes; ++k) sums[k] = r0[k];
                for (int32_t j = a + 1; j < b; ++j) {
                    const uint8_t* r = c.Covered(j);
                    for (size_t k = 0; k < segBytes; ++k) sums[k] += r[k];
                }
                const Divider div(static_cast<uint64_t>(count));
                for (size_t k = 0; k < segBytes; ++k) os[k] = static_cast<uint8_t>(div(sums[k]));
            } else {
                for (size_t k = 0; k < segBytes; ++k) {
                    uint64_t sum = 0;
                    for (int32_t j = a; j < b; ++j) sum += c.Covered(j)[k];
                    os[k] = static_cast<uint8_t>(sum / static_cast<uint64_t>(count));
                }
            }
        }
        ++written;
        ++s;
    }
    // The step rule yields exactly outRows rows; repeat the last one should it not.
    for (int32_t r = std::max(written, 1); r < outRows; ++r)
        std::memcpy(out + static_cast<size_t>(r) * rowBytes, out + static_cast<size_t>(r - 1) * rowBytes, rowBytes);
    MemFree(sums);
}

struct HGroup {
    int32_t Start;
    int32_t Count;
    Divider Div;
};

// Horizontal box shrinking: a group takes a further pixel as soon as the
// accumulated step reaches the source position.
void ShrinkPlan_(HGroup* groups, int32_t width, int32_t outWidth, int64_t hstep)
{
    int64_t acc = 0, pos = 0;
    int32_t next = 0;
    for (int32_t k = 0; k < outWidth; ++k) {
        int32_t start = std::min(next, width - 1);
        int32_t count = 1;
        ++next;
        acc += hstep;
        pos += OnePixel;
        if (acc >= pos) {
            do {
                if (next < width) {
                    ++count;
                    ++next;
                }
                pos += OnePixel;
            } while (pos < acc && next < width);
        }
        groups[k] = HGroup{start, count, Divider(static_cast<uint64_t>(count))};
    }
}

void ShrinkRow_(const uint8_t* in, uint8_t* out, const HGroup* groups, int32_t outWidth)
{
    for (int32_t k = 0; k < outWidth; ++k) {
        const HGroup& g = groups[k];
        const uint8_t* p = in + static_cast<size_t>(g.Start) * Rgb;
        uint64_t b = 0, gr = 0, r = 0;
        for (int32_t j = 0; j < g.Count; ++j, p += Rgb) {
            b += p[0];
            gr += p[1];
            r += p[2];
        }
        out[0] = static_cast<uint8_t>(g.Div(b));
        out[1] = static_cast<uint8_t>(g.Div(gr));
        out[2] = static_cast<uint8_t>(g.Div(r));
        out += Rgb;
    }
}

// The fractional enlarging pass: each source pixel is written, followed by
// the midpoint to its successor while the step lags behind. An entry is the
// source index times two, plus one for a midpoint.
void FractionalPlan_(int32_t* plan, int32_t width, int32_t outWidth, int64_t step)
{
    int64_t acc = 0, pos = 0;
    int32_t i = 0, t = 0;
    while (t < outWidth) {
        plan[t++] = std::min(i, width - 1) * 2;
        if (t == outWidth) break;
        const int32_t prev = std::min(i, width - 1);
        ++i;
        pos += OnePixel;
        acc += step;
        if (acc < pos) {
            plan[t++] = prev * 2 + 1;
            acc += step;
        }
    }
}

inline void FractionalRow_(const uint8_t* in, int32_t width, uint8_t* out, const int32_t* plan, int32_t outWidth)
{
    for (int32_t t = 0; t < outWidth; ++t, out += Rgb) {
        const int32_t i = plan[t] >> 1;
        const uint8_t* a = in + static_cast<size_t>(i) * Rgb;
        if (plan[t] & 1) {
            const uint8_t* b = in + static_cast<size_t>(std::min(i + 1, width - 1)) * Rgb;
            MidRow_(out, a, b, Rgb);
        } else {
            out[0] = a[0];
            out[1] = a[1];
            out[2] = a[2];
        }
    }
}

// p0, m(p0,p1), p1, …, p(n-1), p(n-1).
void DoubleRow_(const uint8_t* in, int32_t width, uint8_t* out)
{
    for (int32_t i = 0; i < width; ++i) {
        const uint8_t* a = in + static_cast<size_t>(i) * Rgb;
        const uint8_t* b = in + static_cast<size_t>(std::min(i + 1, width - 1)) * Rgb;
        uint8_t* o = out + static_cast<size_t>(i) * 2 * Rgb;
        o[0] = a[0];
        o[1] = a[1];
        o[2] = a[2];
        MidRow_(o + Rgb, a, b, Rgb);
    }
}

// The rows of the vertical enlargement, seen from the side the pass starts
// writing: logical row 0 is physical row 0 downward and row H-1 upward.
struct RowView {
    uint8_t* Base;
    size_t RowBytes;
    int32_t Height;
    bool Up;
    uint8_t* operator()(int32_t q) const { return Base + static_cast<size_t>(Up ? Height - 1 - q : q) * RowBytes; }
};

// In logical rows the block of n rows lies at H-n … H-1 and the pass writes
// from 0 on, so a write must never pass the block row being read.
bool FractionalOverlaps_(int32_t n, int32_t height, int64_t step)
{
    int64_t acc = 0, pos = 0;
    int32_t i = 0, q = 0;
    while (q < height) {
        const int32_t loc = height - n + i;
        if (q > loc) return true;
        ++q;
        pos += OnePixel;
        acc += step;
        if (acc < pos) {
            if (q < height && q > loc) return true;
            ++q;
            acc += step;
        }
        i = std::min(i + 1, n - 1);
    }
    return false;
}

void EnlargeRows_(uint8_t* base, size_t rowBytes, int32_t rows, int32_t height, uint32_t vzoom)
{
    RowView view{base, rowBytes, height, true};
    int32_t n = rows;
    while (vzoom > 1) {
        for (int32_t i = 0; i < n; ++i) {
            uint8_t* c = view(height - n + i);
            uint8_t* next = view(height - n + std::min(i + 1, n - 1));
            std::memmove(view(2 * i), c, rowBytes);
            MidRow_(view(2 * i + 1), c, next, rowBytes);
        }
        view.Up = !view.Up;
        vzoom /= 2;
        n *= 2;
    }
    const int64_t step = static_cast<int64_t>(n) * OnePixel / height;
    if (step >= OnePixel) return;

    // Where a write would pass a row not read yet, the pass reads a copy.
    uint8_t* copy = nullptr;
    auto block = [&](int32_t i) { return copy ? copy + static_cast<size_t>(i) * rowBytes : view(height - n + i); };
    if (FractionalOverlaps_(n, height, step)) {
        int32_t bytes = 0;
        if (!CheckedMul32(static_cast<int64_t>(n), static_cast<int64_t>(rowBytes), bytes)) ErrSet(2001);
        MemAlloc(copy, bytes);
        MemName(copy, "ImgResample", "rows");
        for (int32_t i = 0; i < n; ++i)
            std::memcpy(copy + static_cast<size_t>(i) * rowBytes, view(height - n + i), rowBytes);
    }
    int64_t acc = 0, pos = 0;
    int32_t i = 0, q = 0;
    while (q < height) {
        uint8_t* c = block(i);
        uint8_t* target = view(q);
        if (target != c) std::memmove(target, c, rowBytes);
        ++q;
        pos += OnePixel;
        acc += step;
        const int32_t nextIndex = std::min(i + 1, n - 1);
        if (acc < pos) {
            if (q < height) MidRow_(view(q), c, block(nextIndex), rowBytes);
            ++q;
            acc += step;
        }
        i = nextIndex;
    }
    if (copy) MemFree(copy);
}

}  // namespace

void ImgCrop(const Limg& src, Limg& dst, int32_t x, int32_t y, int32_t width, int32_t height)
{
    Guarded("ImgCrop", [&] {
        // A negative origin is clipped like the right and bottom edges.
        int64_t w = width, h = height;
        if (x < 0) {
            w += x;
            x = 0;
            if (w <= 0) ErrAbort();
        }
        if (y < 0) {
            h += y;
            y = 0;
            if (h <= 0) ErrAbort();
        }
        if (x >= src.Width || y >= src.Height) ErrAbort();
        if (x + w > src.Width) w = src.Width - x;
        if (y + h > src.Height) h = src.Height - y;
        if (w <= 0 || h <= 0) ErrSet(2001);
        ImgOpInfo info;
        ImgOpCtx ctx;
        ImgInfo(info, ImgOpCrop);
        ImgInitEx(info, ctx, &src, &dst, static_cast<int32_t>(w), static_cast<int32_t>(h));
        const size_t bpp = static_cast<size_t>(ctx.Src->BytesPP);
        const size_t rowBytes = static_cast<size_t>(w) * bpp;
        for (int64_t r = 0; r < h; ++r) {
            const uint8_t* from = ctx.SrcPtr + static_cast<size_t>(y + r) * ctx.SrcRow + static_cast<size_t>(x) * bpp;
            std::memmove(ctx.DstPtr + static_cast<size_t>(r) * ctx.DstRow, from, rowBytes);
        }
        ImgDone(ctx);
    });
}

namespace {

void AutoPut_(int32_t op, const Limg& src, Limg& dst, int32_t x, int32_t y, int32_t key)
{
    Guarded("AutoPut_<-ImgInsert<-ImgSprite", [&] {
        if (&src == &dst || x >= dst.Width || y >= dst.Height) ErrAbort();
        // A source lying wholly left of or above the target changes nothing.
        if (static_cast<int64_t>(x) + src.Width <= 0 || static_cast<int64_t>(y) + src.Height <= 0) ErrAbort();
        ImgOpInfo info;
        ImgOpCtx ctx;
        ImgInfo(info, op);
        ImgInitEx(info, ctx, &src, &dst, dst.Width, dst.Height);
        const Limg& s = *ctx.Src;
        const Limg& d = *ctx.Dst;
        const int32_t bpp = d.BytesPP;
        if (s.BytesPP == bpp && bpp >= 1 && bpp <= 4) {
            // Clipped at every edge: the right and bottom as the rule says, the
            // left and top so that a negative position never writes outside.
            const int32_t sx = x < 0 ? -x : 0, sy = y < 0 ? -y : 0;
            const int32_t dx = std::max(x, 0), dy = std::max(y, 0);
            const int32_t cw = std::min(s.Width - sx, d.Width - dx);
            const int32_t ch = std::min(s.Height - sy, d.Height - dy);
            const uint32_t mask = bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1;
            const uint32_t k = static_cast<uint32_t>(key) & mask;
            for (int32_t r = 0; r < ch; ++r) {
                const uint8_t* from =
                    ctx.SrcPtr + static_cast<size_t>(sy + r) * ctx.SrcRow + static_cast<size_t>(sx) * bpp;
                uint8_t* to = ctx.DstPtr + static_cast<size_t>(dy + r) * ctx.DstRow + static_cast<size_t>(dx) * bpp;
                if (op == ImgOpInsert) {
                    std::memcpy(to, from, static_cast<size_t>(cw) * bpp);
                    continue;
                }
                for (int32_t i = 0; i < cw; ++i, from += bpp, to += bpp) {
                    uint32_t v = 0;
                    for (int32_t b = 0; b < bpp; ++b) v |= static_cast<uint32_t>(from[b]) << (8 * b);
                    if (v != k) std::memcpy(to, from, bpp);
                }
            }
        }
        ImgDone(ctx);
    });
}

}  // namespace

void ImgInsert(const Limg& src, Limg& dst, int32_t x, int32_t y)
{
    AutoPut_(ImgOpInsert, src, dst, x, y, 0);
}

void ImgSprite(const Limg& src, Limg& dst, int32_t x, int32_t y, int32_t key)
{
    AutoPut_(ImgOpSprite, src, dst, x, y, key);
}

void ImgResize(const Limg& src, Limg& dst, int32_t width, int32_t height)
{
    Guarded("ImgResize", [&] {
        ImgOpInfo info;
        ImgOpCtx ctx;
        ImgInfo(info, ImgOpResize);
        ImgInitEx(info, ctx, &src, &dst, width, height);
        const Limg& s = *ctx.Src;
        const int32_t bpp = s.BytesPP;
        const int64_t xstep = static_cast<int64_t>(s.Width) * OnePixel / width;
        const int64_t ystep = static_cast<int64_t>(s.Height) * OnePixel / height;

        int32_t* columns = nullptr;
        int32_t bytes = 0;
        if (!CheckedMul32(width, 4, bytes)) ErrSet(2001);
        MemAlloc(columns, bytes);
        MemName(columns, "ImgResize", "columns");
        if (xstep <= OnePixel) {
            for (int32_t k = 0; k < width; ++k)
                columns[k] = static_cast<int32_t>(std::min<int64_t>(k * xstep / OnePixel, s.Width - 1));
        } else {
            int64_t sourcePos = 0, targetPos = 0;
            int64_t at = 0;
            for (int32_t k = 0; k < width; ++k) {
                columns[k] = static_cast<int32_t>(std::min<int64_t>(at, s.Width - 1));
                ++at;
                sourcePos += OnePixel;
                targetPos += xstep;
                if (targetPos >= sourcePos) {
                    ++at;
                    sourcePos += OnePixel;
                    while (sourcePos < targetPos) {
                        ++at;
                        sourcePos += OnePixel;
                    }
                }
            }
        }
        auto resampleRow = [&](const uint8_t* in, uint8_t* out) {
            if (bpp == 1) {
                for (int32_t k = 0; k < width; ++k) out[k] = in[columns[k]];
            } else {
                for (int32_t k = 0; k < width; ++k)
                    std::memcpy(out + 3 * k, in + 3 * static_cast<size_t>(columns[k]), 3);
            }
        };

        const int64_t srcBytes = ctx.SrcBytes, dstBytes = ctx.DstBytes;
        int64_t ypos = 0, yacc = 0, srcOff = 0, dstOff = 0;
        while (srcOff < srcBytes && dstOff < dstBytes) {
            resampleRow(ctx.SrcPtr + srcOff, ctx.DstPtr + dstOff);
            if (ystep > OnePixel) {
                yacc += ystep;
                dstOff += ctx.DstRow;
                if (ypos < yacc) {
                    do {
                        srcOff += ctx.SrcRow;
                        ypos += OnePixel;
                    } while (ypos < yacc);
                }
            } else {
                ypos += OnePixel;
                if (dstOff >= dstBytes) break;
                const int64_t first = dstOff;
                while (yacc < ypos && dstOff < dstBytes) {
                    if (dstOff != first) std::memcpy(ctx.DstPtr + dstOff, ctx.DstPtr + first, ctx.DstRow);
                    dstOff += ctx.DstRow;
                    yacc += ystep;
                }
                srcOff += ctx.SrcRow;
            }
        }
        MemFree(columns);
        ImgDone(ctx);
    });
}

void ImgResampleRect_(const Limg& src, Limg& dst, int32_t width, int32_t height, int32_t canvasWidth,
                      int32_t canvasHeight, int32_t x, int32_t y)
{
    Guarded("ImgResample", [&] {
        if (canvasWidth <= 0 || canvasHeight <= 0) ErrSet(2001);
        ImgOpInfo info;
        ImgOpCtx ctx;
        ImgInfo(info, ImgOpResample);
        ImgInitEx(info, ctx, &src, &dst, width, height);
        const Limg& s = *ctx.Src;
        Limg& d = *ctx.Dst;
        const Canvas canvas(ctx.SrcPtr, static_cast<size_t>(ctx.SrcRow), s.Width, s.Height, canvasWidth, canvasHeight,
                            x, y);
        const int32_t sw = canvasWidth, sh = canvasHeight;
        const size_t srcRow = canvas.RowBytes(), dstRow = static_cast<size_t>(ctx.DstRow);

        uint8_t* work = nullptr;
        TrackedArray_(work, 3 * static_cast<int64_t>(std::max(srcRow, dstRow)), "tmpbuf1");
        const int64_t hstep = static_cast<int64_t>(sw) * OnePixel / width;
        const uint32_t hzoom = static_cast<uint32_t>(width / sw);
        const int64_t vstep = static_cast<int64_t>(sh) * OnePixel / height;
        const uint32_t vzoom = static_cast<uint32_t>(height / sh);
        ImgSetDims(d, sw, sh, s.Bits);

        Limg shrunk;
        const Canvas* rowsIn = &canvas;
        Canvas shrunkRows = canvas;
        if (vzoom == 0) {
            ImgAlloc(shrunk, sw, height, 24);
            ImgName(shrunk, "ImgResample", "ih3");
            ShrinkRows_(canvas, height, vstep, shrunk.Data);
            d.Height = height;
            shrunkRows = Canvas(shrunk.Data, srcRow, sw, height, sw, height, 0, 0);
            rowsIn = &shrunkRows;
        }
        const int32_t rows = d.Height;
        uint8_t* bufA = work;
        uint8_t* bufB = work + std::max(srcRow, dstRow);

        if (hstep > OnePixel) {
            HGroup* groups = nullptr;
            TrackedArray_(groups, width, "groups");
            ShrinkPlan_(groups, sw, width, hstep);
            for (int32_t i = 0; i < rows; ++i) ShrinkRow_(rowsIn->Row(i, bufA), ctx.DstPtr + i * dstRow, groups, width);
            MemFree(groups);
        } else {
            // Doubling passes first, then one fractional pass below twice.
            uint32_t zoom = hzoom;
            int32_t len = sw;
            int32_t passes = 0;
            while (zoom > 1) {
                len *= 2;
                zoom /= 2;
                ++passes;
            }
            const int64_t step =
                passes ? static_cast<int64_t>(len) * Rgb * OnePixel / static_cast<int64_t>(dstRow) : hstep;
            int32_t* plan = nullptr;
            if (step < OnePixel) {
                TrackedArray_(plan, width, "plan");
                FractionalPlan_(plan, len, width, step);
            }
            for (int32_t i = 0; i < rows; ++i) {
                const uint8_t* row = rowsIn->Row(i, bufA);
                uint8_t* out = ctx.DstPtr + i * dstRow;
                int32_t n = sw;
                for (int32_t p = 0; p < passes; ++p) {
                    uint8_t* into = (p % 2 == 0) ? bufB : bufA;
                    DoubleRow_(row, n, into);
                    row = into;
                    n *= 2;
                }
                if (plan)
                    FractionalRow_(row, n, out, plan, width);
                else
                    std::memcpy(out, row, dstRow);
            }
            if (plan) MemFree(plan);
        }

        if (vzoom >= 1) EnlargeRows_(ctx.DstPtr, dstRow, rows, height, vzoom);
        MemFree(work);
        ImgFree(shrunk);
        ImgSetDims(d, width, height, 24);
        ImgDone(ctx);
    });
}

void ImgResample(const Limg& src, Limg& dst, int32_t width, int32_t height)
{
    ImgResampleRect_(src, dst, width, height, src.Width, src.Height, 0, 0);
}
