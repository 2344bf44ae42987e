#include <algorithm>
#include <cstring>
#include <vector>

#include "ImageTestUtil.h"
#include "image/ImgBasic.h"

namespace {

using ImgGeometryTest = ImageTest;
using Row = std::vector<Rgb>;
using Picture = std::vector<Row>;
using ::Avg;
using ::Mid;

constexpr int64_t One = 100000;

Row Mid(const Row& a, const Row& b)
{
    Row r(a.size());
    for (size_t i = 0; i < a.size(); ++i) r[i] = Mid(a[i], b[i]);
    return r;
}

Row Avg(const std::vector<Row>& rows)
{
    Row r(rows[0].size());
    for (size_t i = 0; i < r.size(); ++i) {
        std::vector<Rgb> column;
        for (const Row& row : rows) column.push_back(row[i]);
        r[i] = Avg(column);
    }
    return r;
}

// A slow resampler that follows the rules step by step on whole rows, with
// separate lists instead of the in-place passes.
Row RefRow(const Row& row, int32_t w)
{
    const int32_t sw = static_cast<int32_t>(row.size());
    const int64_t hstep = sw * One / w;
    Row out;
    if (hstep > One) {
        int64_t acc = 0, pos = 0;
        int32_t next = 0;
        for (int32_t k = 0; k < w; ++k) {
            std::vector<Rgb> group{row[std::min(next, sw - 1)]};
            ++next;
            acc += hstep;
            pos += One;
            if (acc >= pos) {
                do {
                    if (next < sw) group.push_back(row[next++]);
                    pos += One;
                } while (pos < acc && next < sw);
            }
            out.push_back(Avg(group));
        }
        return out;
    }
    Row cur = row;
    int32_t zoom = w / sw;
    bool doubled = false;
    while (zoom > 1) {
        Row d;
        for (size_t i = 0; i < cur.size(); ++i) {
            d.push_back(cur[i]);
            d.push_back(Mid(cur[i], cur[std::min(i + 1, cur.size() - 1)]));
        }
        cur = d;
        zoom /= 2;
        doubled = true;
    }
    const int32_t n = static_cast<int32_t>(cur.size());
    const int64_t step = doubled ? int64_t(n) * 3 * One / (int64_t(w) * 3) : hstep;
    if (step >= One) return Row(cur.begin(), cur.begin() + w);
    int64_t acc = 0, pos = 0;
    int32_t i = 0;
    while (true) {
        out.push_back(cur[std::min(i, n - 1)]);
        if (static_cast<int32_t>(out.size()) == w) break;
        const int32_t prev = std::min(i, n - 1);
        ++i;
        pos += One;
        acc += step;
        if (acc < pos) {
            out.push_back(Mid(cur[prev], cur[std::min(i, n - 1)]));
            acc += step;
            if (static_cast<int32_t>(out.size()) == w) break;
        }
    }
    return out;
}

Picture RefEnlarge(Picture block, int32_t h, int32_t vzoom)
{
    bool up = true;
    while (vzoom > 1) {
        const size_t n = block.size();
        Picture nb;
        if (up) nb.push_back(block[0]);
        for (size_t i = 0; i < n; ++i) {
            nb.push_back(block[i]);
            if (i + 1 < n) nb.push_back(Mid(block[i], block[i + 1]));
        }
        if (!up) nb.push_back(block[n - 1]);
        block = nb;
        up = !up;
        vzoom /= 2;
    }
    const int32_t n = static_cast<int32_t>(block.size());
    const int64_t step = int64_t(n) * One / h;
    if (step >= One) return block;
    Picture out(h);
    int64_t acc = 0, pos = 0;
    int32_t j = up ? n - 1 : 0;
    int32_t at = up ? h - 1 : 0;
    const int32_t dir = up ? -1 : 1;
    auto inside = [&](int32_t r) { return r >= 0 && r < h; };
    while (inside(at)) {
        out[at] = block[j];
        pos += One;
        acc += step;
        const int32_t nj = std::clamp(j + dir, 0, n - 1);
        if (acc < pos) {
            if (inside(at + dir)) out[at + dir] = Mid(block[j], block[nj]);
            at += dir;
            acc += step;
        }
        j = nj;
        at += dir;
    }
    return out;
}

Picture RefResample(const Picture& src, int32_t w, int32_t h)
{
    const int32_t sh = static_cast<int32_t>(src.size());
    const int64_t vstep = sh * One / h;
    const int32_t vzoom = h / sh;
    Picture rows = src;
    if (vzoom == 0) {
        rows.clear();
        int64_t acc = 0, pos = 0;
        int32_t s = 0;
        while (s < sh) {
            std::vector<Row> group{src[s]};
            acc += vstep;
            pos += One;
            if (acc > pos) {
                while (pos < acc) {
                    ++s;
                    if (s < sh) group.push_back(src[s]);
                    pos += One;
                }
            }
            rows.push_back(Avg(group));
            ++s;
        }
    }
    for (Row& r : rows) r = RefRow(r, w);
    if (vzoom >= 1) rows = RefEnlarge(rows, h, vzoom);
    return rows;
}

Picture ToPicture(const Limg& img)
{
    Picture p(img.Height, Row(img.Width));
    for (int32_t y = 0; y < img.Height; ++y)
        for (int32_t x = 0; x < img.Width; ++x) p[y][x] = At24(img, x, y);
    return p;
}

Picture Resampled(const Limg& src, int32_t w, int32_t h)
{
    Limg dst;
    ImgResample(src, dst, w, h);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(dst.Width, w);
    EXPECT_EQ(dst.Height, h);
    EXPECT_EQ(dst.Bits, 24);
    Picture p = ToPicture(dst);
    ImgFree(dst);
    return p;
}

Rgb RowColour(int32_t i)
{
    return Rgb{uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 101 + 7)};
}

TEST_F(ImgGeometryTest, ResampleRowPatterns)
{
    Limg src;
    Make24(src, 2, 3, [](int32_t, int32_t y) { return RowColour(y); });
    Picture p = Resampled(src, 2, 7);
    const Rgb r0 = RowColour(0), r1 = RowColour(1), r2 = RowColour(2);
    const std::vector<Rgb> expect7 = {r0, r0, r0, Mid(r1, r0), r1, Mid(r2, r1), r2};
    for (int y = 0; y < 7; ++y) EXPECT_EQ(p[y][1], expect7[y]) << y;
    ImgFree(src);

    Make24(src, 1, 200, [](int32_t, int32_t y) { return RowColour(y); });
    p = Resampled(src, 1, 400);
    EXPECT_EQ(p[0][0], RowColour(0));
    EXPECT_EQ(p[1][0], RowColour(0));
    for (int i = 0; i < 199; ++i) {
        EXPECT_EQ(p[2 + 2 * i][0], Mid(RowColour(i), RowColour(i + 1))) << i;
        EXPECT_EQ(p[3 + 2 * i][0], RowColour(i + 1)) << i;
    }
    ImgFree(src);

    Make24(src, 3, 10, [](int32_t, int32_t y) { return RowColour(y); });
    p = Resampled(src, 3, 4);
    auto avg = [](std::initializer_list<int> rows) {
        std::vector<Rgb> v;
        for (int r : rows) v.push_back(RowColour(r));
        return Avg(v);
    };
    EXPECT_EQ(p[0][2], avg({0, 1, 2}));
    EXPECT_EQ(p[1][2], avg({3, 4}));
    EXPECT_EQ(p[2][2], avg({5, 6, 7}));
    EXPECT_EQ(p[3][2], avg({8, 9}));
    ImgFree(src);
}

TEST_F(ImgGeometryTest, ResampleColumnPatterns)
{
    Limg src;
    Make24(src, 3, 2, [](int32_t x, int32_t) { return RowColour(x); });
    Picture p = Resampled(src, 7, 2);
    const Rgb p0 = RowColour(0), p1 = RowColour(1), p2 = RowColour(2);
    const Rgb m01 = Mid(p0, p1);
    const std::vector<Rgb> expect7 = {p0, Mid(p0, m01), m01, p1, Mid(p1, p2), p2, p2};
    for (int x = 0; x < 7; ++x) EXPECT_EQ(p[1][x], expect7[x]) << x;
    ImgFree(src);

    Make24(src, 200, 1, [](int32_t x, int32_t) { return RowColour(x); });
    p = Resampled(src, 400, 1);
    for (int i = 0; i < 199; ++i) {
        EXPECT_EQ(p[0][2 * i], RowColour(i)) << i;
        EXPECT_EQ(p[0][2 * i + 1], Mid(RowColour(i), RowColour(i + 1))) << i;
    }
    EXPECT_EQ(p[0][398], RowColour(199));
    EXPECT_EQ(p[0][399], RowColour(199));
    ImgFree(src);

    Make24(src, 10, 1, [](int32_t x, int32_t) { return RowColour(x); });
    p = Resampled(src, 4, 1);
    EXPECT_EQ(p[0][0], Avg({RowColour(0), RowColour(1), RowColour(2)}));
    EXPECT_EQ(p[0][1], Avg({RowColour(3), RowColour(4)}));
    EXPECT_EQ(p[0][2], Avg({RowColour(5), RowColour(6), RowColour(7)}));
    EXPECT_EQ(p[0][3], Avg({RowColour(8), RowColour(9)}));
    ImgFree(src);
}

TEST_F(ImgGeometryTest, ResampleHorizontalTieTakesTheNextPixel)
{
    // 6 -> 4: the step 150000 meets the source position exactly at pixel 2.
    Limg src;
    Make24(src, 6, 6, [](int32_t x, int32_t y) { return RowColour(x + 7 * y); });
    Picture p = Resampled(src, 4, 6);
    EXPECT_EQ(p[0][1], Avg({RowColour(2), RowColour(3)}));
    EXPECT_EQ(p[0][2], RowColour(4));
    ImgFree(src);
    // The vertical pass needs the step strictly past the position.
    Make24(src, 1, 6, [](int32_t, int32_t y) { return RowColour(y); });
    p = Resampled(src, 1, 4);
    EXPECT_EQ(p[1][0], RowColour(2));
    EXPECT_EQ(p[2][0], Avg({RowColour(3), RowColour(4)}));
    ImgFree(src);
}

TEST_F(ImgGeometryTest, ResampleNonIntegerFactors)
{
    Limg src;
    Make24(src, 1, 5, [](int32_t, int32_t y) { return RowColour(y); });
    Picture p = Resampled(src, 1, 7);
    const std::vector<Rgb> expect = {RowColour(0), RowColour(1), Mid(RowColour(2), RowColour(1)),
                                     RowColour(2), RowColour(3), Mid(RowColour(4), RowColour(3)),
                                     RowColour(4)};
    for (int y = 0; y < 7; ++y) EXPECT_EQ(p[y][0], expect[y]) << y;
    ImgFree(src);

    Make24(src, 7, 5, [](int32_t x, int32_t y) { return RowColour(x * 3 + y); });
    Picture ref = RefResample(ToPicture(src), 17, 13);
    EXPECT_EQ(Resampled(src, 17, 13), ref);
    EXPECT_EQ(Resampled(src, 3, 2), RefResample(ToPicture(src), 3, 2));
    EXPECT_EQ(Resampled(src, 5, 12), RefResample(ToPicture(src), 5, 12));
    EXPECT_EQ(Resampled(src, 30, 3), RefResample(ToPicture(src), 30, 3));
    ImgFree(src);
}

TEST_F(ImgGeometryTest, ResampleMatchesTheSlowVersionForManySizes)
{
    Limg src;
    Lcg rnd(7);
    for (int32_t sh = 1; sh <= 12; ++sh) {
        Make24(src, 2, sh, [&](int32_t, int32_t) { return Rgb{rnd.Next(), rnd.Next(), rnd.Next()}; });
        const Picture pic = ToPicture(src);
        for (int32_t h = 1; h <= 70; ++h) ASSERT_EQ(Resampled(src, 2, h), RefResample(pic, 2, h)) << sh << "->" << h;
        ImgFree(src);
    }
    for (int32_t sw = 1; sw <= 12; ++sw) {
        Make24(src, sw, 2, [&](int32_t, int32_t) { return Rgb{rnd.Next(), rnd.Next(), rnd.Next()}; });
        const Picture pic = ToPicture(src);
        for (int32_t w = 1; w <= 70; ++w) ASSERT_EQ(Resampled(src, w, 2), RefResample(pic, w, 2)) << sw << "->" << w;
        ImgFree(src);
    }
    const int32_t sizes[][4] = {{40, 30, 320, 400}, {400, 300, 320, 400}, {33, 91, 64, 729},
                                {9, 100, 131, 333}, {640, 480, 320, 400}, {123, 7, 9, 1000}};
    for (const auto& s : sizes) {
        Make24(src, s[0], s[1], [&](int32_t, int32_t) { return Rgb{rnd.Next(), rnd.Next(), rnd.Next()}; });
        ASSERT_EQ(Resampled(src, s[2], s[3]), RefResample(ToPicture(src), s[2], s[3])) << s[0] << "x" << s[1];
        ImgFree(src);
    }
}

TEST_F(ImgGeometryTest, ResampleEnlargementReadsEveryRowBeforeOverwritingIt)
{
    // 91 -> 729 rows: the fractional pass would catch up with rows it has not read.
    Limg src;
    Make24(src, 1, 91, [](int32_t, int32_t y) { return Rgb{uint8_t(y * 2), uint8_t(y), uint8_t(250 - y)}; });
    Picture p = Resampled(src, 1, 729);
    EXPECT_EQ(p, RefResample(ToPicture(src), 1, 729));
    EXPECT_EQ(p[728][0], (Rgb{180, 90, 160}));
    EXPECT_NE(p[727][0], p[720][0]);
    ImgFree(src);
}

// The vertical enlargement exactly as the rules write it: one buffer of h
// rows, the n rows at its top, every pass reading the rows as they stand.
Picture LiteralEnlarge(const Picture& rows, int32_t h, int32_t vzoom)
{
    Picture buf(h, Row(rows[0].size()));
    int32_t n = static_cast<int32_t>(rows.size());
    std::copy(rows.begin(), rows.end(), buf.begin());
    bool up = true;
    while (vzoom > 1) {
        if (up) {
            for (int32_t i = n - 1; i >= 0; --i) {
                const int32_t at = h - 1 - 2 * (n - 1 - i);
                const Row cur = buf[i];
                const Row above = i > 0 ? Mid(buf[i - 1], cur) : buf[0];
                buf[at] = cur;
                buf[at - 1] = above;
            }
        } else {
            for (int32_t i = 0; i < n; ++i) {
                const int32_t from = h - n + i;
                const Row cur = buf[from];
                const Row below = i + 1 < n ? Mid(cur, buf[from + 1]) : cur;
                buf[2 * i] = cur;
                buf[2 * i + 1] = below;
            }
        }
        up = !up;
        vzoom /= 2;
        n *= 2;
    }
    const int64_t step = int64_t(n) * One / h;
    if (step >= One) return buf;
    const int32_t first = up ? 0 : h - n, last = up ? n - 1 : h - 1;
    const int32_t dir = up ? -1 : 1;
    int32_t j = up ? last : first;
    int32_t at = up ? h - 1 : 0;
    int64_t acc = 0, pos = 0;
    while (at >= 0 && at < h) {
        buf[at] = buf[j];
        pos += One;
        acc += step;
        const int32_t nj = std::clamp(j + dir, first, last);
        if (acc < pos) {
            if (at + dir >= 0 && at + dir < h) buf[at + dir] = Mid(buf[j], buf[nj]);
            at += dir;
            acc += step;
        }
        j = nj;
        at += dir;
    }
    return buf;
}

TEST_F(ImgGeometryTest, ResampleEnlargementIsExactlyTheInPlaceRuleWhereNoRowIsOverwrittenEarly)
{
    // Every height up to the logo's 400 rows.
    Limg src;
    Lcg rnd(11);
    Make24(src, 1, 400, [&](int32_t, int32_t) { return Rgb{rnd.Next(), rnd.Next(), rnd.Next()}; });
    const Picture all = ToPicture(src);
    ImgFree(src);
    for (int32_t sh = 1; sh <= 400; ++sh) {
        const Picture rows(all.begin(), all.begin() + sh);
        Make24(src, 1, sh, [&](int32_t, int32_t y) { return all[y][0]; });
        ASSERT_EQ(Resampled(src, 1, 400), LiteralEnlarge(rows, 400, 400 / sh)) << sh;
        ImgFree(src);
    }
    // Where the literal pass would read a row it has already overwritten, the
    // result is that of the untouched rows instead.
    const Picture rows(all.begin(), all.begin() + 91);
    Make24(src, 1, 91, [&](int32_t, int32_t y) { return all[y][0]; });
    const Picture p = Resampled(src, 1, 729);
    EXPECT_NE(p, LiteralEnlarge(rows, 729, 729 / 91));
    EXPECT_EQ(p, RefEnlarge(rows, 729, 729 / 91));
    ImgFree(src);
}

TEST_F(ImgGeometryTest, ResampleIntoItsOwnRecord)
{
    // The import stretches 320 x 200 pictures to the logo size in place.
    Limg img, ref;
    Lcg rnd(5);
    Make24(img, 320, 200, [&](int32_t, int32_t) { return Rgb{rnd.Next(), rnd.Next(), rnd.Next()}; });
    ImgResample(img, ref, 320, 400);
    ImgResample(img, img, 320, 400);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Width, 320);
    EXPECT_EQ(img.Height, 400);
    EXPECT_EQ(Bytes(img), Bytes(ref));
    EXPECT_EQ(MemCount(), 2) << "the old pixels are freed";
    ImgFree(img);
    ImgFree(ref);
}

// The canvas ImgResampleRect_ reads, made in full: src at (x, y), the rest black.
void MakeCanvas(const Limg& src, Limg& canvas, int32_t w, int32_t h, int32_t x, int32_t y)
{
    Make24(canvas, w, h, [&](int32_t cx, int32_t cy) {
        const int32_t sx = cx - x, sy = cy - y;
        return (sx >= 0 && sx < src.Width && sy >= 0 && sy < src.Height) ? At24(src, sx, sy) : Rgb{0, 0, 0};
    });
}

TEST_F(ImgGeometryTest, ResampleOfACanvasEqualsResamplingTheCanvasMadeInFull)
{
    // Source size, canvas size, position on the canvas, result size: crops
    // (negative positions), borders on either side, a source partly or wholly
    // off the canvas, enlarging and shrinking, groups of more than 257 rows.
    const int32_t cases[][8] = {
        {50, 40, 36, 30, -7, -5, 320, 400},
        {900, 700, 840, 700, -30, 0, 320, 400},
        {700, 900, 700, 583, 0, -158, 320, 400},
        {60, 40, 60, 50, 0, 5, 320, 400},
        {40, 60, 72, 60, 16, 0, 320, 400},
        {1000, 500, 1000, 833, 0, 166, 320, 400},
        {500, 1000, 1200, 1000, 350, 0, 320, 400},
        {30, 30, 40, 40, 25, -10, 17, 23},
        {30, 30, 40, 40, -10, 25, 170, 230},
        {10, 10, 20, 20, 30, 30, 7, 9},
        {10, 10, 20, 20, -30, 2, 70, 9},
        {5, 700, 9, 800, 2, 50, 3, 2},
        {700, 5, 800, 9, 50, 2, 2, 3},
        {3, 2, 7, 5, 2, 1, 320, 400},
        {640, 480, 640, 533, 0, 26, 320, 400},
        {301, 400, 480, 400, 89, 0, 320, 400},
    };
    Lcg rnd(11);
    for (const auto& c : cases) {
        Limg src, canvas, ref, out;
        Make24(src, c[0], c[1], [&](int32_t, int32_t) { return Rgb{rnd.Next(), rnd.Next(), rnd.Next()}; });
        MakeCanvas(src, canvas, c[2], c[3], c[4], c[5]);
        ImgResample(canvas, ref, c[6], c[7]);
        ImgResampleRect_(src, out, c[6], c[7], c[2], c[3], c[4], c[5]);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(out.Width, c[6]);
        EXPECT_EQ(out.Height, c[7]);
        EXPECT_EQ(out.Bits, 24);
        EXPECT_EQ(Bytes(out), Bytes(ref)) << c[0] << "x" << c[1] << " on " << c[2] << "x" << c[3] << " at " << c[4]
                                          << "," << c[5] << " to " << c[6] << "x" << c[7];
        // Into its own record, as the import does it: the picture is replaced.
        ImgResampleRect_(src, src, c[6], c[7], c[2], c[3], c[4], c[5]);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(Bytes(src), Bytes(ref));
        ImgFree(out);
        ImgFree(ref);
        ImgFree(canvas);
        ImgFree(src);
    }
}

TEST_F(ImgGeometryTest, ResampleOfACanvasConvertsTheSourceAndRefusesAnEmptyCanvas)
{
    Limg src, w24, canvas, ref, out;
    ImgAlloc(src, 9, 7, 8);
    for (int i = 0; i < 256; ++i) src.Palette[i][0] = src.Palette[i][1] = src.Palette[i][2] = uint8_t(255 - i);
    for (int32_t i = 0; i < 63; ++i) src.Data[i] = uint8_t(i * 4);
    ImgConvBit(src, w24, 24);
    MakeCanvas(w24, canvas, 12, 7, 2, 0);
    ImgResample(canvas, ref, 320, 400);
    ImgResampleRect_(src, out, 320, 400, 12, 7, 2, 0);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(out), Bytes(ref));
    EXPECT_EQ(src.Bits, 8) << "the source is left as it was";

    ImgResampleRect_(w24, out, 320, 400, 0, 7, 0, 0);
    EXPECT_EQ(ErrGet(), 2001);
    ErrClear();
    EXPECT_EQ(Bytes(out), Bytes(ref)) << "a failed call leaves the destination alone";
    for (Limg* img : {&src, &w24, &canvas, &ref, &out}) ImgFree(*img);
}

TEST_F(ImgGeometryTest, ResampleToTheOwnSizeIsIdentical)
{
    Limg src, w16;
    Lcg rnd(3);
    Make24(src, 13, 9, [&](int32_t, int32_t) { return Rgb{rnd.Next(), rnd.Next(), rnd.Next()}; });
    EXPECT_EQ(Resampled(src, 13, 9), ToPicture(src));
    ImgConvBit(src, w16, 16);
    Limg out;
    ImgResample(w16, out, 13, 9);
    EXPECT_EQ(out.Bits, 24);
    ImgFree(out);
    ImgFree(w16);
    ImgFree(src);
}

TEST_F(ImgGeometryTest, ResampleAveragesMoreThan255RowsAndPixels)
{
    Limg src;
    Make24(src, 1, 600, [](int32_t, int32_t y) {
        return Rgb{255, uint8_t(y % 2 ? 255 : 0), uint8_t(y < 300 ? 10 : 20)};
    });
    Picture p = Resampled(src, 1, 1);
    EXPECT_EQ(p[0][0], (Rgb{255, 127, 15}));
    ImgFree(src);
    Make24(src, 1000, 1, [](int32_t x, int32_t) { return Rgb{255, uint8_t(x % 4 ? 255 : 0), 200}; });
    p = Resampled(src, 2, 1);
    EXPECT_EQ(p[0][0], (Rgb{255, 191, 200}));
    EXPECT_EQ(p[0][1], (Rgb{255, 191, 200}));
    ImgFree(src);
}

TEST_F(ImgGeometryTest, ResampleAveragesEveryGroupSizeExactly)
{
    // One output row or pixel from n: every divisor the averaging meets,
    // with sums up to 255 × n.
    Limg src;
    Lcg rnd(17);
    for (int32_t n = 2; n <= 300; ++n) {
        Make24(src, 4, n, [&](int32_t x, int32_t) {
            return x == 0 ? Rgb{255, 255, 255} : Rgb{rnd.Next(), rnd.Next(), 0};
        });
        ASSERT_EQ(Resampled(src, 4, 1), RefResample(ToPicture(src), 4, 1)) << n;
        ImgFree(src);
        Make24(src, n, 2, [&](int32_t, int32_t y) {
            return y == 0 ? Rgb{255, 254, 253} : Rgb{rnd.Next(), rnd.Next(), 1};
        });
        ASSERT_EQ(Resampled(src, 1, 2), RefResample(ToPicture(src), 1, 2)) << n;
        ImgFree(src);
    }
}

TEST_F(ImgGeometryTest, ResampleSidesAbove65535)
{
    Limg src;
    Make24(src, 1, 3, [](int32_t, int32_t y) { return RowColour(y); });
    Picture p = Resampled(src, 1, 70001);
    EXPECT_EQ(p, RefResample(ToPicture(src), 1, 70001));
    EXPECT_EQ(p[70000][0], RowColour(2));
    ImgFree(src);
    Make24(src, 70000, 1, [](int32_t x, int32_t) { return RowColour(x % 5); });
    p = Resampled(src, 7, 1);
    EXPECT_EQ(p, RefResample(ToPicture(src), 7, 1));
    ImgFree(src);
}

TEST_F(ImgGeometryTest, ResizePatterns)
{
    Limg src, dst;
    ImgAlloc(src, 100, 1, 8);
    for (int i = 0; i < 100; ++i) src.Data[i] = static_cast<uint8_t>(i);
    ImgResize(src, dst, 320, 1);
    ASSERT_EQ(ErrGet(), 0);
    const uint8_t start[] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(dst.Data[i], start[i]) << i;
    EXPECT_EQ(dst.Data[319], 99);
    ImgFree(src);
    ImgAlloc(src, 640, 1, 8);
    for (int i = 0; i < 640; ++i) src.Data[i] = static_cast<uint8_t>(i / 2);
    ImgResize(src, dst, 320, 1);
    for (int i = 0; i < 320; ++i) ASSERT_EQ(dst.Data[i], uint8_t(i)) << i;
    ImgFree(src);

    // The same patterns for rows, and a 15-bit source gives 24 bits.
    ImgAlloc(src, 1, 100, 8);
    for (int i = 0; i < 100; ++i) src.Data[i] = static_cast<uint8_t>(i);
    ImgResize(src, dst, 1, 320);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(dst.Data[i], start[i]) << i;
    EXPECT_EQ(dst.Data[319], 99);
    ImgAlloc(src, 2, 640, 8);
    for (int i = 0; i < 1280; ++i) src.Data[i] = static_cast<uint8_t>(i / 4);
    ImgResize(src, dst, 1, 320);
    for (int i = 0; i < 320; ++i) ASSERT_EQ(dst.Data[i], uint8_t(i)) << i;
    ImgConvBit(src, src, 15);
    ImgResize(src, dst, 3, 3);
    EXPECT_EQ(dst.Bits, 24);
    ImgFree(src);
    ImgFree(dst);
}

TEST_F(ImgGeometryTest, ResizeInPlaceUsesATemporary)
{
    Limg img;
    ImgAlloc(img, 4, 2, 8);
    for (int i = 0; i < 8; ++i) img.Data[i] = static_cast<uint8_t>(i);
    img.Palette[3][0] = 5;
    ImgResize(img, img, 8, 1);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img), (std::vector<uint8_t>{0, 0, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(img.Palette[3][0], 5);
    EXPECT_EQ(MemCount(), 1);
    ImgFree(img);
}

TEST_F(ImgGeometryTest, CropClipsAtTheEdges)
{
    Limg src, dst;
    ImgAlloc(src, 50, 50, 8);
    for (int i = 0; i < 2500; ++i) src.Data[i] = static_cast<uint8_t>(i % 50 + i / 50);
    src.Palette[9][1] = 99;
    ImgCrop(src, dst, 10, 10, 100, 100);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(dst.Width, 40);
    EXPECT_EQ(dst.Height, 40);
    EXPECT_EQ(dst.Data[0], 20);
    EXPECT_EQ(dst.Data[40 * 39 + 39], 49 + 49);
    EXPECT_EQ(dst.Palette[9][1], 99);
    ImgFree(dst);
    ImgCrop(src, dst, 50, 0, 10, 10);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(dst.Data, nullptr);
    ImgCrop(src, dst, 0, 50, 10, 10);
    EXPECT_EQ(dst.Data, nullptr);
    ImgCrop(src, dst, -5, -5, 10, 3);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(dst.Data, nullptr) << "nothing of the rectangle lies inside";
    ImgCrop(src, dst, -5, 0, 10, 3);
    EXPECT_EQ(dst.Width, 5);
    EXPECT_EQ(dst.Data[0], 0);
    ImgFree(dst);
    ImgFree(src);
}

TEST_F(ImgGeometryTest, CropInPlaceAndDepths)
{
    Limg img;
    ImgAlloc(img, 4, 4, 8);
    for (int i = 0; i < 16; ++i) img.Data[i] = static_cast<uint8_t>(i);
    ImgCrop(img, img, 1, 2, 2, 2);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Width, 2);
    EXPECT_EQ(img.Height, 2);
    EXPECT_EQ(img.Size, 16) << "the block is not shrunk";
    EXPECT_EQ(std::vector<uint8_t>(img.Data, img.Data + 4), (std::vector<uint8_t>{9, 10, 13, 14}));
    ImgFree(img);

    Limg w16, out;
    ImgAlloc(w16, 3, 3, 16);
    std::memset(w16.Data, 0xFF, 18);
    ImgCrop(w16, out, 1, 1, 2, 2);
    EXPECT_EQ(out.Bits, 24);
    EXPECT_EQ(At24(out, 1, 1), (Rgb{248, 252, 248}));
    ImgFree(w16);
    ImgFree(out);
}

TEST_F(ImgGeometryTest, InsertClipsAndRaisesTheDepth)
{
    Limg pic, canvas;
    Make24(pic, 300, 200, [](int32_t x, int32_t y) { return Rgb{uint8_t(x), uint8_t(y), 1}; });
    ImgAlloc(canvas, 320, 240, 8);
    std::memset(canvas.Data, 0, canvas.Size);
    canvas.Palette[0][0] = 0;
    ImgInsert(pic, canvas, 10, 100);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(canvas.Bits, 24);
    EXPECT_EQ(canvas.Width, 320);
    EXPECT_EQ(canvas.Height, 240);
    int copied = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) copied += At24(canvas, x, y)[2] == 1;
    EXPECT_EQ(copied, 300 * 140);
    EXPECT_EQ(At24(canvas, 10, 100), (Rgb{0, 0, 1}));
    EXPECT_EQ(At24(canvas, 309, 239), (Rgb{uint8_t(299), 139, 1}));
    EXPECT_EQ(At24(canvas, 9, 100), (Rgb{0, 0, 0}));

    // Outside the canvas: nothing changes.
    std::vector<uint8_t> before = Bytes(canvas);
    ImgInsert(pic, canvas, 320, 0);
    ImgInsert(pic, canvas, 0, 240);
    ImgInsert(pic, canvas, -300, 0);
    ImgInsert(canvas, canvas, 0, 0);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(canvas), before);

    // A negative position clips the left and top.
    ImgInsert(pic, canvas, -290, -190);
    EXPECT_EQ(At24(canvas, 0, 0), (Rgb{uint8_t(290), 190, 1}));
    EXPECT_EQ(At24(canvas, 9, 9), (Rgb{uint8_t(299), 199, 1}));
    EXPECT_EQ(At24(canvas, 10, 0), (Rgb{0, 0, 0}));
    ImgFree(pic);
    ImgFree(canvas);
}

TEST_F(ImgGeometryTest, InsertOfAPaletteImageIntoTrueColour)
{
    Limg pic, canvas;
    ImgAlloc(pic, 2, 1, 8);
    pic.Data[0] = 1;
    pic.Data[1] = 2;
    pic.Palette[1][2] = 200;
    pic.Palette[2][0] = 100;
    Make24(canvas, 3, 1, [](int32_t, int32_t) { return Rgb{7, 7, 7}; });
    ImgInsert(pic, canvas, 1, 0);
    EXPECT_EQ(canvas.Bits, 24);
    EXPECT_EQ(At24(canvas, 0, 0), (Rgb{7, 7, 7}));
    EXPECT_EQ(At24(canvas, 1, 0), (Rgb{0, 0, 200}));
    EXPECT_EQ(At24(canvas, 2, 0), (Rgb{100, 0, 0}));
    ImgFree(pic);
    ImgFree(canvas);
}

TEST_F(ImgGeometryTest, SpriteKeyComparesByDepth)
{
    Limg spr, canvas;
    ImgAlloc(spr, 3, 1, 8);
    spr.Data[0] = 0x34;
    spr.Data[1] = 0x12;
    spr.Data[2] = 0;
    ImgAlloc(canvas, 4, 1, 8);
    std::memset(canvas.Data, 9, 4);
    ImgSprite(spr, canvas, 1, 0, 0x1234);  // low byte 0x34 is the key
    EXPECT_EQ(Bytes(canvas), (std::vector<uint8_t>{9, 9, 0x12, 0}));
    std::memset(canvas.Data, 9, 4);
    ImgSprite(spr, canvas, 0, 0, 0);
    EXPECT_EQ(Bytes(canvas), (std::vector<uint8_t>{0x34, 0x12, 9, 9}));
    ImgFree(spr);
    ImgFree(canvas);

    Limg s24, c24;
    Make24(s24, 2, 1, [](int32_t x, int32_t) { return x ? Rgb{0x56, 0x34, 0x12} : Rgb{1, 2, 3}; });
    Make24(c24, 2, 1, [](int32_t, int32_t) { return Rgb{9, 9, 9}; });
    ImgSprite(s24, c24, 0, 0, 0x7F123456);  // the top byte does not count for 24 bits
    EXPECT_EQ(At24(c24, 0, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(At24(c24, 1, 0), (Rgb{9, 9, 9}));
    ImgFree(s24);
    ImgFree(c24);

    Limg s32, c32;
    ImgAlloc(s32, 2, 1, 32);
    const uint8_t px[8] = {0x56, 0x34, 0x12, 0x00, 0x56, 0x34, 0x12, 0x7F};
    std::memcpy(s32.Data, px, 8);
    ImgAlloc(c32, 2, 1, 32);
    std::memset(c32.Data, 9, 8);
    ImgSprite(s32, c32, 0, 0, 0x7F123456);
    EXPECT_EQ(Bytes(c32), (std::vector<uint8_t>{0x56, 0x34, 0x12, 0x00, 9, 9, 9, 9}));
    ImgFree(s32);
    ImgFree(c32);

    Limg s16, c16;
    ImgAlloc(s16, 2, 1, 16);
    const uint8_t w[4] = {0x34, 0x12, 0x35, 0x12};
    std::memcpy(s16.Data, w, 4);
    ImgAlloc(c16, 2, 1, 16);
    std::memset(c16.Data, 0, 4);
    ImgSprite(s16, c16, 0, 0, 0x51234);
    EXPECT_EQ(Bytes(c16), (std::vector<uint8_t>{0, 0, 0x35, 0x12}));
    ImgFree(s16);
    ImgFree(c16);
}

TEST_F(ImgGeometryTest, SpriteConvertsTheCanvasToTheSpriteDepth)
{
    Limg spr, canvas;
    Make24(spr, 1, 1, [](int32_t, int32_t) { return Rgb{1, 2, 3}; });
    ImgAlloc(canvas, 2, 1, 8);
    canvas.Data[0] = canvas.Data[1] = 0;
    canvas.Palette[0][0] = 40;
    ImgSprite(spr, canvas, 1, 0, 0);
    EXPECT_EQ(canvas.Bits, 24);
    EXPECT_EQ(At24(canvas, 0, 0), (Rgb{40, 0, 0}));
    EXPECT_EQ(At24(canvas, 1, 0), (Rgb{1, 2, 3}));
    ImgFree(spr);
    ImgFree(canvas);
}

TEST_F(ImgGeometryTest, OperationsOnRecordsWithoutPixels)
{
    Limg empty, dst;
    ImgResample(empty, dst, 10, 10);
    EXPECT_EQ(ErrGet(), 2001);
    ImgResize(empty, dst, 10, 10);
    EXPECT_EQ(ErrGet(), 2001);
    ImgFlipV(empty, empty);
    EXPECT_EQ(ErrGet(), 2001);
    ImgCrop(empty, dst, 0, 0, 1, 1);
    EXPECT_EQ(ErrGet(), 0);
    Limg claims;
    claims.Width = claims.Height = 8;
    claims.BytesPP = 3;
    claims.Bits = 24;
    claims.Size = 192;
    ImgResample(claims, dst, 4, 4);
    EXPECT_EQ(ErrGet(), 6000);
    ImgCrop(claims, dst, 0, 0, 2, 2);
    EXPECT_EQ(ErrGet(), 6000);
    EXPECT_EQ(dst.Data, nullptr);
}

}  // namespace
