#include "image/ImgBoxFit.h"

#include <algorithm>
#include <vector>

#include "foundation/Errors.h"

namespace {

// What one output pixel covers along one axis, in units of 1 / outputs of a
// canvas pixel (a whole pixel weighs `outputs`): the source positions First
// to Last, the two ends with their own weights. Canvas outside the source is
// black and adds nothing; Last < First when the output sees no source at all.
struct Span {
    int32_t First = 0;
    int32_t Last = -1;
    uint32_t FirstWeight = 0;
    uint32_t LastWeight = 0;
};

std::vector<Span> Spans(int32_t outputs, int32_t canvas, int32_t offset, int32_t sourceLength)
{
    std::vector<Span> spans(static_cast<size_t>(outputs));
    for (int32_t o = 0; o < outputs; ++o) {
        const int64_t from = static_cast<int64_t>(o) * canvas;
        const int64_t to = from + canvas;
        // Canvas positions touched, then clipped to the source.
        const int64_t c0 = std::max<int64_t>(from / outputs, offset);
        const int64_t c1 = std::min<int64_t>((to - 1) / outputs, static_cast<int64_t>(offset) + sourceLength - 1);
        if (c1 < c0) continue;
        const auto overlap = [&](int64_t c) {
            return static_cast<uint32_t>(std::min(to, (c + 1) * outputs) - std::max(from, c * outputs));
        };
        Span& s = spans[static_cast<size_t>(o)];
        s.First = static_cast<int32_t>(c0 - offset);
        s.Last = static_cast<int32_t>(c1 - offset);
        s.FirstWeight = overlap(c0);
        s.LastWeight = overlap(c1);
    }
    return spans;
}

// One source row summed into the output columns, per channel.
void SumRow(const uint8_t* in, const std::vector<Span>& columns, uint32_t whole, uint32_t* out)
{
    for (const Span& s : columns) {
        uint32_t sum[3] = {0, 0, 0};
        if (s.Last >= s.First) {
            const uint8_t* p = in + 3 * static_cast<size_t>(s.First);
            for (int c = 0; c < 3; ++c) sum[c] = s.FirstWeight * p[c];
            if (s.Last > s.First) {
                uint32_t mid[3] = {0, 0, 0};
                for (int32_t i = s.First + 1; i < s.Last; ++i) {
                    p += 3;
                    mid[0] += p[0];
                    mid[1] += p[1];
                    mid[2] += p[2];
                }
                p = in + 3 * static_cast<size_t>(s.Last);
                for (int c = 0; c < 3; ++c) sum[c] += whole * mid[c] + s.LastWeight * p[c];
            }
        }
        out[0] = sum[0];
        out[1] = sum[1];
        out[2] = sum[2];
        out += 3;
    }
}

}  // namespace

void ImgBoxFit(const Limg& src, Limg& dst, int32_t width, int32_t height, int32_t canvasWidth, int32_t canvasHeight,
               int32_t x, int32_t y)
{
    Guarded("ImgBoxFit", [&] {
        ImgCheckPixels_(src);
        // Sums stay within 32 bits per row: 255 × canvas × outputs.
        if (src.BytesPP != 3 || width <= 0 || height <= 0 || width > ImgMaxSide || height > ImgMaxSide ||
            canvasWidth <= 0 || canvasHeight <= 0 || canvasWidth > 4 * ImgMaxSide || canvasHeight > 4 * ImgMaxSide)
            ErrSet(6001);
        const std::vector<Span> columns = Spans(width, canvasWidth, x, src.Width);
        const std::vector<Span> rows = Spans(height, canvasHeight, y, src.Height);

        // An empty dst gets the pixels directly; any other (src itself, too)
        // takes them by exchange once they are complete.
        Limg temp;
        Limg& result = dst.Data == nullptr ? dst : temp;
        ImgAlloc(result, width, height, 24);
        const size_t rowValues = static_cast<size_t>(width) * 3;
        const uint64_t area = static_cast<uint64_t>(canvasWidth) * static_cast<uint64_t>(canvasHeight);
        std::vector<uint32_t> across(rowValues);
        std::vector<uint64_t> sums(rowValues);
        const auto rowOf = [&](int32_t sy) { return src.Data + static_cast<size_t>(sy) * src.Width * 3; };
        for (int32_t oy = 0; oy < height; ++oy) {
            std::fill(sums.begin(), sums.end(), 0);
            const Span& r = rows[static_cast<size_t>(oy)];
            for (int32_t sy = r.First; sy <= r.Last; ++sy) {
                const uint64_t weight = sy == r.First ? r.FirstWeight : sy == r.Last ? r.LastWeight : height;
                SumRow(rowOf(sy), columns, static_cast<uint32_t>(width), across.data());
                for (size_t i = 0; i < rowValues; ++i) sums[i] += weight * across[i];
            }
            uint8_t* out = result.Data + static_cast<size_t>(oy) * rowValues;
            for (size_t i = 0; i < rowValues; ++i) out[i] = static_cast<uint8_t>((sums[i] + area / 2) / area);
        }
        if (&result == &temp) {
            ImgXchg(dst, temp);
            ImgFree(temp);
        }
    });
}
