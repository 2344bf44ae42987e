#pragma once
// Small builders and checks shared by the image tests.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "foundation/Errors.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"

using Rgb = std::array<uint8_t, 3>;  // blue, green, red

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ErrResetState();
        blocksBefore_ = MemCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(MemCount(), blocksBefore_) << "tracked blocks left behind";
        ErrResetState();
    }

private:
    int32_t blocksBefore_ = 0;
};

inline void Make24(Limg& img, int32_t w, int32_t h, const std::function<Rgb(int32_t, int32_t)>& f)
{
    ImgAlloc(img, w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            Rgb c = f(x, y);
            uint8_t* p = img.Data + (static_cast<size_t>(y) * w + x) * 3;
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
        }
}

inline Rgb At24(const Limg& img, int32_t x, int32_t y)
{
    const uint8_t* p = img.Data + (static_cast<size_t>(y) * img.Width + x) * 3;
    return {p[0], p[1], p[2]};
}

inline Rgb Mid(Rgb a, Rgb b)
{
    return {static_cast<uint8_t>((a[0] + b[0]) / 2), static_cast<uint8_t>((a[1] + b[1]) / 2),
            static_cast<uint8_t>((a[2] + b[2]) / 2)};
}

inline Rgb Avg(const std::vector<Rgb>& v)
{
    uint64_t s[3] = {0, 0, 0};
    for (const Rgb& c : v)
        for (int k = 0; k < 3; ++k) s[k] += c[k];
    return {static_cast<uint8_t>(s[0] / v.size()), static_cast<uint8_t>(s[1] / v.size()),
            static_cast<uint8_t>(s[2] / v.size())};
}

inline std::vector<uint8_t> Bytes(const Limg& img)
{
    return std::vector<uint8_t>(img.Data, img.Data + static_cast<size_t>(img.Width) * img.Height * img.BytesPP);
}

// A deterministic pseudo-random byte source.
struct Lcg {
    uint32_t state;
    explicit Lcg(uint32_t seed) : state(seed) {}
    uint8_t Next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<uint8_t>(state >> 24);
    }
};
