// Palette reduction by a box split of the 6-bit colour cube, and mapping of
// images onto the reduced palette.

#include "image/PalOpt.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "foundation/Errors.h"
#include "foundation/Memory.h"
#include "image/VectorClones.h"

namespace {

constexpr int32_t Side = 64;
constexpr int32_t GreenStride = 64;
constexpr int32_t BlueStride = 4096;
constexpr int32_t EmptyCell = -1;
constexpr int32_t MaxError = 255;

struct PalWork {
    int32_t Hist[PalCubeCells];
    int32_t Occupied;
    uint8_t Palette[PalMaxColors][3];
    int32_t Level[256];
    int32_t BoxCount;
    PalBox Boxes[PalMaxColors];
    int32_t Target;
};

PalWork* g_work = nullptr;

PalWork& Work_()
{
    if (!MemIsTracked(g_work)) ErrSet(6006);
    return *g_work;
}

// The first entry of smallest distance. Distance and index share one key,
// distance × 256 + index (distances stay below 2^20), so the smallest key
// is that entry.
LUM_VECTOR_CLONES
int32_t NearestIndex_(const int32_t* r, const int32_t* g, const int32_t* b, int32_t red, int32_t green, int32_t blue)
{
    int32_t best = INT32_MAX;
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t dr = 2 * (red - r[i]);
        const int32_t dg = 3 * (green - g[i]);
        const int32_t db = blue - b[i];
        best = std::min(best, ((dr * dr + dg * dg + db * db) << 8) | i);
    }
    return best & 0xFF;
}

// The nearest-colour search over a palette laid out channel by channel.
struct NearestScan {
    int32_t R[256], G[256], B[256];

    explicit NearestScan(const uint8_t (&palette)[256][3])
    {
        for (int32_t i = 0; i < 256; ++i) {
            B[i] = palette[i][0];
            G[i] = palette[i][1];
            R[i] = palette[i][2];
        }
    }
    int32_t operator()(int32_t red, int32_t green, int32_t blue) const
    {
        return NearestIndex_(R, G, B, red, green, blue);
    }
};

inline int32_t CellAt_(int32_t r, int32_t g, int32_t b)
{
    return r + GreenStride * g + BlueStride * b;
}

bool RPlaneUsed_(const int32_t* h, int32_t r, const PalBox& x)
{
    for (int32_t b = x.BMin; b <= x.BMax; ++b)
        for (int32_t g = x.GMin; g <= x.GMax; ++g)
            if (h[CellAt_(r, g, b)] != EmptyCell) return true;
    return false;
}

bool GPlaneUsed_(const int32_t* h, int32_t g, const PalBox& x)
{
    for (int32_t b = x.BMin; b <= x.BMax; ++b)
        for (int32_t r = x.RMin; r <= x.RMax; ++r)
            if (h[CellAt_(r, g, b)] != EmptyCell) return true;
    return false;
}

bool BPlaneUsed_(const int32_t* h, int32_t b, const PalBox& x)
{
    for (int32_t g = x.GMin; g <= x.GMax; ++g)
        for (int32_t r = x.RMin; r <= x.RMax; ++r)
            if (h[CellAt_(r, g, b)] != EmptyCell) return true;
    return false;
}

// Each bound moves inwards to the first used plane; all planes empty keeps it.
void ShrinkBox_(const int32_t* h, PalBox& x)
{
    for (int32_t r = x.RMin; r <= x.RMax; ++r)
        if (RPlaneUsed_(h, r, x)) {
            x.RMin = r;
            break;
        }
    for (int32_t r = x.RMax; r >= x.RMin; --r)
        if (RPlaneUsed_(h, r, x)) {
            x.RMax = r;
            break;
        }
    for (int32_t g = x.GMin; g <= x.GMax; ++g)
        if (GPlaneUsed_(h, g, x)) {
            x.GMin = g;
            break;
        }
    for (int32_t g = x.GMax; g >= x.GMin; --g)
        if (GPlaneUsed_(h, g, x)) {
            x.GMax = g;
            break;
        }
    for (int32_t b = x.BMin; b <= x.BMax; ++b)
        if (BPlaneUsed_(h, b, x)) {
            x.BMin = b;
            break;
        }
    for (int32_t b = x.BMax; b >= x.BMin; --b)
        if (BPlaneUsed_(h, b, x)) {
            x.BMax = b;
            break;
        }
    x.RExt = x.RMax - x.RMin;
    x.GExt = x.GMax - x.GMin;
    x.BExt = x.BMax - x.BMin;
    x.Splittable = (x.RExt > 0 || x.GExt > 0 || x.BExt > 0) ? 1 : 0;
    x.Weight = 2 * x.RExt * x.RExt + 3 * x.GExt * x.GExt + x.BExt * x.BExt;
    int32_t used = 0;
    for (int32_t b = x.BMin; b <= x.BMax; ++b)
        for (int32_t g = x.GMin; g <= x.GMax; ++g) {
            const int32_t* line = h + CellAt_(0, g, b);
            for (int32_t r = x.RMin; r <= x.RMax; ++r) used += (line[r] != EmptyCell);
        }
    x.Occupied = used;
}

void SplitBoxes_(PalWork& w)
{
    const int32_t* h = w.Hist;
    w.BoxCount = 1;
    w.Boxes[0] = PalBox{0, Side - 1, 0, Side - 1, 0, Side - 1, 0, 0, 0, 0, 0, 0};
    ShrinkBox_(h, w.Boxes[0]);
    while (w.BoxCount < w.Target) {
        const bool byWeight = w.Target < 2 * w.BoxCount;
        int32_t chosen = -1, best = 0;
        for (int32_t i = 0; i < w.BoxCount; ++i) {
            const PalBox& x = w.Boxes[i];
            if (!x.Splittable) continue;
            const int32_t value = byWeight ? x.Weight : x.Occupied;
            if (value > best) {
                best = value;
                chosen = i;
            }
        }
        if (chosen < 0) break;
        PalBox& low = w.Boxes[chosen];
        PalBox& high = w.Boxes[w.BoxCount];
        high = low;
        ++w.BoxCount;
        if (low.BExt > low.RExt && low.BExt > low.GExt) {
            const int32_t middle = (low.BMin + low.BMax) / 2;
            low.BMax = middle;
            high.BMin = middle + 1;
        } else if (low.GExt >= low.RExt) {
            const int32_t middle = (low.GMin + low.GMax) / 2;
            low.GMax = middle;
            high.GMin = middle + 1;
        } else {
            const int32_t middle = (low.RMin + low.RMax) / 2;
            low.RMax = middle;
            high.RMin = middle + 1;
        }
        ShrinkBox_(h, low);
        ShrinkBox_(h, high);
    }
}

void AverageBoxes_(PalWork& w)
{
    int32_t* h = w.Hist;
    for (int32_t i = 0; i < w.BoxCount; ++i) {
        const PalBox& x = w.Boxes[i];
        int64_t pixels = 0, sr = 0, sg = 0, sb = 0;
        for (int32_t b = x.BMin; b <= x.BMax; ++b)
            for (int32_t g = x.GMin; g <= x.GMax; ++g) {
                int32_t* line = h + CellAt_(0, g, b);
                for (int32_t r = x.RMin; r <= x.RMax; ++r) {
                    if (line[r] != EmptyCell) {
                        const int64_t weight = static_cast<int64_t>(line[r]) + 1;
                        pixels += weight;
                        sr += weight * r;
                        sg += weight * g;
                        sb += weight * b;
                    }
                    line[r] = i;
                }
            }
        if (pixels == 0) continue;
        w.Palette[i][0] = static_cast<uint8_t>(w.Level[4 * sb / pixels]);
        w.Palette[i][1] = static_cast<uint8_t>(w.Level[4 * sg / pixels]);
        w.Palette[i][2] = static_cast<uint8_t>(w.Level[4 * sr / pixels]);
    }
}

void ExactPalette_(PalWork& w)
{
    int32_t next = 0;
    for (int32_t cell = 0; cell < PalCubeCells; ++cell) {
        if (w.Hist[cell] == EmptyCell) continue;
        w.Hist[cell] = next;
        w.Palette[next][0] = static_cast<uint8_t>(4 * (cell >> 12));
        w.Palette[next][1] = static_cast<uint8_t>(4 * ((cell >> 6) & 63));
        w.Palette[next][2] = static_cast<uint8_t>(4 * (cell & 63));
        ++next;
    }
}

void DarkestFirst_(PalWork& w)
{
    const int32_t a = PalNearest(0, 0, 0, w.Palette);
    if (a == 0) return;
    for (int c = 0; c < 3; ++c) std::swap(w.Palette[0][c], w.Palette[a][c]);
    for (int32_t& cell : w.Hist) {
        if (cell == 0)
            cell = a;
        else if (cell == a)
            cell = 0;
    }
}

// Sets up the target for a source of the given size: reallocated when its
// block is gone or too small, then 8-bit with the result palette.
void PrepareTarget_(const PalWork& w, Limg& target, int32_t width, int32_t height)
{
    const int64_t pixels = static_cast<int64_t>(width) * height;
    if (!MemIsTracked(target.Data) || target.Size < pixels) ImgAlloc(target, width, height, 8);
    ImgSetDims(target, width, height, 8);
    std::memcpy(target.Palette, w.Palette, sizeof target.Palette);
}

void MapPlain_(const Limg& source, Limg& target)
{
    PalWork& w = Work_();
    if (source.BytesPP == 1) {
        if (!ImgHasPixels(source)) return;
        uint8_t translate[256];
        for (int i = 0; i < 256; ++i)
            translate[i] =
                static_cast<uint8_t>(w.Hist[PalCell(source.Palette[i][2], source.Palette[i][1], source.Palette[i][0])]);
        const int32_t width = source.Width, height = source.Height;
        const uint8_t* in = source.Data;
        PrepareTarget_(w, target, width, height);
        const size_t pixels = static_cast<size_t>(width) * height;
        for (size_t i = 0; i < pixels; ++i) target.Data[i] = translate[in[i]];
    } else if (source.BytesPP == 3) {
        if (!ImgHasPixels(source)) return;
        const int32_t width = source.Width, height = source.Height;
        const uint8_t* in = source.Data;
        PrepareTarget_(w, target, width, height);
        const size_t pixels = static_cast<size_t>(width) * height;
        const int32_t* h = w.Hist;
        uint8_t* out = target.Data;
        for (size_t i = 0; i < pixels; ++i, in += 3) out[i] = static_cast<uint8_t>(h[PalCell(in[2], in[1], in[0])]);
    }
}

struct DiffusionTables {
    int16_t Right[2 * MaxError + 1];       // 7/16
    int16_t LowerLeft[2 * MaxError + 1];   // 3/16
    int16_t Lower[2 * MaxError + 1];       // 5/16
    int16_t LowerRight[2 * MaxError + 1];  // 1/16
};

inline uint8_t AddClamped_(uint8_t v, int32_t d)
{
    const int32_t r = v + d;
    return static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
}

void MapDither_(Limg& source, Limg& target)
{
    PalWork& w = Work_();
    if (!ImgHasPixels(source)) return;
    const int32_t width = source.Width, height = source.Height;
    uint8_t* px = source.Data;
    PrepareTarget_(w, target, width, height);
    uint8_t* out = target.Data;

    DiffusionTables t;
    for (int32_t e = -MaxError; e <= MaxError; ++e) {
        t.Right[e + MaxError] = static_cast<int16_t>(PalDiffusion(7, e));
        t.LowerLeft[e + MaxError] = static_cast<int16_t>(PalDiffusion(3, e));
        t.Lower[e + MaxError] = static_cast<int16_t>(PalDiffusion(5, e));
        t.LowerRight[e + MaxError] = static_cast<int16_t>(PalDiffusion(1, e));
    }
    int32_t* h = w.Hist;
    const uint8_t(&pal)[PalMaxColors][3] = w.Palette;
    const NearestScan nearest(pal);
    const size_t row = static_cast<size_t>(width) * 3;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* line = px + static_cast<size_t>(y) * row;
        uint8_t* below = line + row;
        const bool lastRow = (y == height - 1);
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = line + 3 * static_cast<size_t>(x);
            // The cell two pixels on is most likely the one its colour shows
            // now: fetch it while this pixel waits for its own.
            if (x + 2 < width) __builtin_prefetch(&h[PalCell(p[8], p[7], p[6])]);
            const uint8_t b = p[0], g = p[1], r = p[2];
            int32_t& cell = h[PalCell(r, g, b)];
            if (cell == EmptyCell) cell = nearest(r, g, b);
            const int32_t index = cell & 0xFF;
            out[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(index);
            if (x == 0 && (y & 1) == 0) continue;
            const int32_t eb = b - pal[index][0] + MaxError;
            const int32_t eg = g - pal[index][1] + MaxError;
            const int32_t er = r - pal[index][2] + MaxError;
            auto spread = [&](uint8_t* q, const int16_t* tab) {
                q[0] = AddClamped_(q[0], tab[eb]);
                q[1] = AddClamped_(q[1], tab[eg]);
                q[2] = AddClamped_(q[2], tab[er]);
            };
            const bool lastColumn = (x == width - 1);
            if (!lastColumn) spread(p + 3, t.Right);
            if (!lastRow) {
                uint8_t* q = below + 3 * static_cast<size_t>(x);
                if (x > 0) spread(q - 3, t.LowerLeft);
                spread(q, t.Lower);
                if (!lastColumn) spread(q + 3, t.LowerRight);
            }
        }
    }
}

}  // namespace

int32_t PalDiffusion(int32_t weight, int32_t error)
{
    // round(weight × n / 16), an exact half going to the even neighbour
    auto share = [weight](int32_t n) {
        const int32_t p = weight * n;
        int32_t q = p / 16;
        const int32_t rest = p % 16;
        if (rest > 8 || (rest == 8 && (q & 1))) ++q;
        return q;
    };
    const int32_t e = error < 0 ? -error : error;
    int32_t v = 0;
    if (e <= 19)
        v = share(e);
    else if (e <= 38)
        v = share(e - 19) / 2;
    else if (e <= 57)
        v = share(e - 38) / 4;
    return error < 0 ? -v : v;
}

void PalInit()
{
    Guarded("PalInit", [&] {
        if (MemIsTracked(g_work)) return;
        MemAlloc(g_work, static_cast<int32_t>(sizeof(PalWork)));
        MemName(g_work, "PalInit", "quant");
        std::memset(g_work, 0, sizeof(PalWork));
    });
}

void PalBegin()
{
    Guarded("PalBegin", [&] {
        PalWork& w = Work_();
        std::fill(std::begin(w.Hist), std::end(w.Hist), EmptyCell);
        w.Occupied = 0;
    });
}

void PalHistogram(const Limg& img)
{
    Guarded("PalHistogram", [&] {
        PalWork& w = Work_();
        if ((img.BytesPP != 1 && img.BytesPP != 3) || !ImgHasPixels(img)) return;
        int32_t* h = w.Hist;
        const size_t pixels = static_cast<size_t>(img.Width) * img.Height;
        const uint8_t* p = img.Data;
        if (img.BytesPP == 3) {
            for (size_t i = 0; i < pixels; ++i, p += 3) {
                int32_t& cell = h[PalCell(p[2], p[1], p[0])];
                if (cell != INT32_MAX) ++cell;
            }
        } else {
            int32_t cells[256];
            for (int i = 0; i < 256; ++i) cells[i] = PalCell(img.Palette[i][2], img.Palette[i][1], img.Palette[i][0]);
            for (size_t i = 0; i < pixels; ++i) {
                int32_t& cell = h[cells[p[i]]];
                if (cell != INT32_MAX) ++cell;
            }
        }
    });
}

void PalReduce(int32_t count)
{
    Guarded("PalReduce", [&] {
        PalWork& w = Work_();
        std::memset(w.Palette, 255, sizeof w.Palette);
        w.Target = std::clamp(count, 2, PalMaxColors);
        w.Occupied = static_cast<int32_t>(
            std::count_if(std::begin(w.Hist), std::end(w.Hist), [](int32_t c) { return c != EmptyCell; }));
        for (int32_t v = 0; v < 256; ++v) w.Level[v] = v >= 4 ? v : 0;
        w.BoxCount = 0;
        if (w.Target < w.Occupied) {
            SplitBoxes_(w);
            AverageBoxes_(w);
        } else {
            ExactPalette_(w);
        }
        DarkestFirst_(w);
    });
}

void PalMap(Limg& source, Limg& target, bool dither)
{
    Guarded("PalMap", [&] {
        if (source.BytesPP == 3 && dither)
            MapDither_(source, target);
        else
            MapPlain_(source, target);
    });
}

void PalDone()
{
    Guarded("PalDone", [&] { MemFree(g_work); });
}

int32_t PalNearest(int32_t red, int32_t green, int32_t blue, const uint8_t (&palette)[256][3])
{
    return NearestScan(palette)(red, green, blue);
}

void PalMapFixed(Limg& img, const uint8_t (&palette)[256][3])
{
    Guarded("PalMapFixed", [&] {
        if (img.BytesPP != 3 || !ImgHasPixels(img)) return;
        uint8_t pal[256][3];
        std::memcpy(pal, palette, sizeof pal);
        const NearestScan nearest(pal);
        const size_t pixels = static_cast<size_t>(img.Width) * img.Height;
        uint8_t* data = img.Data;
        int32_t index = 0;
        uint32_t previous = 0xFFFFFFFFu;  // no colour: the first pixel always differs
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t* p = data + 3 * i;
            const uint32_t colour = p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
            if (colour != previous) {
                index = nearest(p[2], p[1], p[0]);
                previous = colour;
            }
            data[i] = static_cast<uint8_t>(index);
        }
        std::memcpy(img.Palette, pal, sizeof pal);
        img.BytesPP = 1;
        img.Bits = 8;
    });
}

void PalQuantize(const Limg& source, Limg& target)
{
    Guarded("PalQuantize", [&] {
        PalInit();
        PalBegin();
        PalHistogram(source);
        PalReduce(PalMaxColors);
        MapPlain_(source, target);
        PalDone();
    });
}

const int32_t* PalHistogramCells()
{
    return MemIsTracked(g_work) ? g_work->Hist : nullptr;
}
const uint8_t (*PalResultPalette())[3]
{
    return MemIsTracked(g_work) ? g_work->Palette : nullptr;
}
int32_t PalOccupiedCount()
{
    return MemIsTracked(g_work) ? g_work->Occupied : 0;
}
int32_t PalBoxCount()
{
    return MemIsTracked(g_work) ? g_work->BoxCount : 0;
}
const PalBox* PalBoxes()
{
    return MemIsTracked(g_work) ? g_work->Boxes : nullptr;
}
