#include "foundation/Utils.h"

#include <gtest/gtest.h>

#include "foundation/Bytes.h"

namespace {

TEST(NumToStr, Widths)
{
    EXPECT_EQ(NumToStr(0), "0");
    EXPECT_EQ(NumToStr(42, 5), "   42");
    EXPECT_EQ(NumToStr(42, 205), "00042");
    EXPECT_EQ(NumToStr(1234567, 106), "1,234,567") << "longer than its field, not cut";
    EXPECT_EQ(NumToStr(999, 106), "   999");
    EXPECT_EQ(NumToStr(1000, 100), "1,000");
    EXPECT_EQ(NumToStr(4294967295u, 0), "4294967295");
    EXPECT_EQ(NumToStr(7, 299).size(), 99u);
}

TEST(FloatToStrW, FixedPoint)
{
    EXPECT_EQ(FloatToStrW(0, 1, 1.25), "1.2");
    EXPECT_EQ(FloatToStrW(6, 2, 3.14159), "  3.14");
    EXPECT_EQ(FloatToStrW(0, 0, 29.97), "30");
}

TEST(StrToNum, DigitsWithoutValidation)
{
    EXPECT_EQ(StrToNum(""), 0);
    EXPECT_EQ(StrToNum("0042"), 42);
    EXPECT_EQ(StrToNum("1a"), 10 + 49);  // 'a' is 97: (97 - 48) mod 256
}

TEST(FindPattern, StepsAndBounds)
{
    const char buf[] = "abcdefabcd";
    EXPECT_EQ(FindPattern(1, 10, 3, buf, "def"), 4);
    EXPECT_EQ(FindPattern(2, 10, 2, buf, "ef"), 3);
    EXPECT_EQ(FindPattern(2, 10, 2, buf, "de"), 0) << "only offsets 0, 2, 4, ...";
    EXPECT_EQ(FindPattern(1, 10, 4, buf, "abcd"), 1);
    EXPECT_EQ(FindPattern(1, 0, 1, buf, "a"), 0);
    EXPECT_EQ(FindPattern(1, 2, 3, buf, "abc"), 0);
}

TEST(ByteUtilities, MoveSwapFillAndClamp)
{
    uint8_t b[6] = {1, 2, 3, 4, 5, 6};
    MoveBytes(4, b + 2, b);
    EXPECT_EQ(b[2], 1);
    EXPECT_EQ(b[5], 4);
    MoveBytes(0, b, b + 1);
    EXPECT_EQ(b[0], 1);
    uint8_t x[2] = {1, 2}, y[2] = {3, 4};
    SwapBytes(2, x, y);
    EXPECT_EQ(x[0], 3);
    EXPECT_EQ(y[1], 2);
    FillBytes(9, -1, x);
    EXPECT_EQ(x[0], 3);
    FillBytes(9, 2, x);
    EXPECT_EQ(x[1], 9);
    EXPECT_EQ(Clamp(5, 0, 3), 3);
    EXPECT_EQ(Clamp(-5, 0, 3), 0);
    EXPECT_EQ(Swap16(0x1234), 0x3412);
    EXPECT_EQ(Swap32(0x12345678u), 0x78563412u);
    EXPECT_TRUE(HasFlag(5, 4));
}

TEST(ByteReader, ShortReadsFailInsteadOfGivingData)
{
    const uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    ByteReader r(data, sizeof data);
    EXPECT_EQ(r.U16LE(), 0x0201);
    EXPECT_EQ(r.U16BE(), 0x0304);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.U32LE(), 0u);
    EXPECT_FALSE(r.Ok());
    int32_t out = 0;
    EXPECT_TRUE(CheckedMul32(4096, 4096, 3, out));
    EXPECT_EQ(out, 4096 * 4096 * 3);
    EXPECT_FALSE(CheckedMul32(65536, 65536, out));
    EXPECT_FALSE(CheckedMul32(-1, 5, out));
}

}  // namespace

TEST(LowerExtension, NamePartOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"photo.JPG", ".jpg"},
        {"C:\\PICS\\A.PGM", ".pgm"},
        {"C:\\my.folder\\flower", ""},
        {"/home/u.v/pic", ""},
        {"D:.x", ".x"},
        {"noext", ""},
        {"archive.tar.GZ", ".gz"},
        {"x.", "."},
    };
    for (const auto& [name, ext] : cases) EXPECT_EQ(LowerExtension(name), ext) << name;
    EXPECT_EQ(LowerAscii("AbC.\xC4"), "abc.\xC4");
}
