// The area-averaging fit: exact averages of the canvas area each output
// pixel covers, black where the canvas has no picture.

#include "image/ImgBoxFit.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/Errors.h"

namespace {

// A 24-bit picture whose blue, green and red follow f(x, y).
void Make(Limg& img, int32_t w, int32_t h, const std::function<uint8_t(int32_t, int32_t)>& f)
{
    ImgAlloc(img, w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = img.Data + (static_cast<size_t>(y) * w + x) * 3;
            p[0] = p[1] = p[2] = f(x, y);
        }
}

uint8_t At(const Limg& img, int32_t x, int32_t y)
{
    return img.Data[(static_cast<size_t>(y) * img.Width + x) * 3];
}

}  // namespace

TEST(ImgBoxFit, EachOutputIsTheAverageOfItsArea)
{
    ErrResetState();
    struct Case {
        int32_t w, h, outW, outH, canvasW, canvasH, x, y;
        std::function<uint8_t(int32_t, int32_t)> Pixel;
        std::function<uint8_t(int32_t, int32_t)> Want;
    };
    // Pictures have at least ImgMinSide pixels a side.
    const Case cases[] = {
        // 2 x 2 blocks of 0, 100, 200, 60 average to 90.
        {8, 8, 4, 4, 8, 8, 0, 0,
         [](int32_t x, int32_t y) {
             const int v[2][2] = {{0, 100}, {200, 60}};
             return uint8_t(v[y % 2][x % 2]);
         },
         [](int32_t, int32_t) { return uint8_t(90); }},
        // Three columns into two: each output takes one and a half, the middle one shared.
        {12, 4, 8, 4, 12, 4, 0, 0, [](int32_t x, int32_t) { return uint8_t(x % 3 == 1 ? 90 : 0); },
         [](int32_t, int32_t) { return uint8_t(30); }},
        // The picture in the middle of a canvas twice its width: black at the sides.
        {4, 4, 4, 4, 8, 4, 2, 0, [](int32_t, int32_t) { return uint8_t(200); },
         [](int32_t x, int32_t) { return uint8_t(x == 0 || x == 3 ? 0 : 200); }},
        // A crop: the canvas is the right half of the picture.
        {8, 4, 4, 4, 4, 4, -4, 0, [](int32_t x, int32_t) { return uint8_t(x < 4 ? 0 : 250); },
         [](int32_t, int32_t) { return uint8_t(250); }},
        // Enlarging repeats whole pixels.
        {4, 4, 8, 4, 4, 4, 0, 0, [](int32_t x, int32_t) { return uint8_t(x * 50); },
         [](int32_t x, int32_t) { return uint8_t(x / 2 * 50); }},
    };
    int n = 0;
    for (const Case& c : cases) {
        Limg src, dst;
        Make(src, c.w, c.h, c.Pixel);
        ImgBoxFit(src, dst, c.outW, c.outH, c.canvasW, c.canvasH, c.x, c.y);
        ASSERT_EQ(ErrGet(), 0) << "case " << n;
        ASSERT_EQ(dst.Width, c.outW);
        ASSERT_EQ(dst.Height, c.outH);
        for (int32_t y = 0; y < c.outH; ++y)
            for (int32_t x = 0; x < c.outW; ++x)
                EXPECT_EQ(At(dst, x, y), c.Want(x, y)) << "case " << n << " at " << x << "," << y;
        ImgFree(src);
        ImgFree(dst);
        ++n;
    }
}

TEST(ImgBoxFit, LargeShrinkKeepsTheMeanAndRefusesOtherDepths)
{
    ErrResetState();
    Limg src, dst;
    Make(src, 3600, 3000, [](int32_t x, int32_t y) { return uint8_t((x + y) % 2 ? 255 : 0); });
    ImgBoxFit(src, dst, 320, 400, 3600, 3000, 0, 0);
    ASSERT_EQ(ErrGet(), 0);
    for (int32_t y = 0; y < 400; y += 37)
        for (int32_t x = 0; x < 320; x += 29) ASSERT_NEAR(At(dst, x, y), 128, 1) << x << "," << y;
    ImgFree(dst);

    Limg grey;
    ImgAlloc(grey, 8, 8, 8);
    ImgBoxFit(grey, dst, 4, 4, 8, 8, 0, 0);
    EXPECT_EQ(ErrGet(), 6001);
    EXPECT_EQ(dst.Data, nullptr);
    ErrResetState();
    ImgFree(grey);
    ImgFree(src);
}
