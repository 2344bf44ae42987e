#include <cstring>

#include "ImageTestUtil.h"
#include "image/ImgBasic.h"

namespace {

using ImgBasicTest = ImageTest;

TEST_F(ImgBasicTest, AllocSetsSizesAndZeroesAFreshRecord)
{
    Limg img;
    img.Palette[5][1] = 77;
    ImgAlloc(img, 3, 2, 24);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Size, 18);
    EXPECT_EQ(img.BytesPP, 3);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(img.Palette[5][1], 0);
    EXPECT_TRUE(MemIsTracked(img.Data));

    img.Palette[7][2] = 9;
    ImgAlloc(img, 2, 2, 8);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Size, 4);
    EXPECT_EQ(img.Palette[7][2], 9) << "a resize keeps the palette";
    ImgFree(img);
    EXPECT_EQ(img.Data, nullptr);
    EXPECT_EQ(img.Width, 0);
}

TEST_F(ImgBasicTest, AllocBytesPerPixel)
{
    Limg a, b;
    ImgAlloc(a, 2, 2, 15);
    ImgAlloc(b, 2, 2, 32);
    EXPECT_EQ(a.BytesPP, 2);
    EXPECT_EQ(b.BytesPP, 4);
    EXPECT_EQ(b.Size, 16);
    ImgFree(a);
    ImgFree(b);
}

TEST_F(ImgBasicTest, AllocRejectsSizesThatDoNotFit)
{
    Limg img;
    const int32_t before = MemCount();
    ImgAlloc(img, 70000, 70000, 24);  // 14.7e9 bytes: wraps in 32 bits
    EXPECT_EQ(ErrGet(), 2001);
    EXPECT_EQ(MemCount(), before);
    EXPECT_EQ(img.Data, nullptr);
    EXPECT_EQ(img.Width, 0);
    ImgAlloc(img, -4, -4, 24);
    EXPECT_EQ(ErrGet(), 2001);
    ImgAlloc(img, 0, 10, 8);
    EXPECT_EQ(ErrGet(), 2001);
    ImgAlloc(img, 10, 10, 0);
    EXPECT_EQ(ErrGet(), 2001);
    ImgAlloc(img, 65536, 65537, 8);  // wraps to exactly 65536 in 32 bits
    EXPECT_EQ(ErrGet(), 2001);
    ImgAlloc(img, 46341, 46341, 8);  // just past 2^31 - 1
    EXPECT_EQ(ErrGet(), 2001);
    EXPECT_EQ(MemCount(), before);

    // A live record that is refused a new size keeps its block and fields.
    ImgAlloc(img, 4, 4, 8);
    uint8_t* block = img.Data;
    ImgAlloc(img, 65536, 65537, 8);
    EXPECT_EQ(ErrGet(), 2001);
    EXPECT_EQ(img.Data, block);
    EXPECT_TRUE(MemIsTracked(img.Data));
    EXPECT_EQ(img.Width, 4);
    EXPECT_EQ(img.Size, 16);
    ImgFree(img);
}

TEST_F(ImgBasicTest, FreeOfAnEmptyRecordIsHarmless)
{
    Limg img;
    ImgFree(img);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data, nullptr);
}

TEST_F(ImgBasicTest, CopyDuplicatesPixelsPaletteAndDims)
{
    Limg a, b;
    ImgAlloc(a, 4, 3, 8);
    for (int i = 0; i < 12; ++i) a.Data[i] = static_cast<uint8_t>(i * 3);
    a.Palette[200][0] = 1;
    ImgCopy(a, b);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_NE(a.Data, b.Data);
    EXPECT_EQ(Bytes(a), Bytes(b));
    EXPECT_EQ(b.Palette[200][0], 1);
    EXPECT_EQ(b.Width, 4);
    EXPECT_EQ(b.Height, 3);
    uint8_t* before = a.Data;
    ImgCopy(a, a);
    EXPECT_EQ(a.Data, before);
    ImgFree(a);
    ImgFree(b);
}

TEST_F(ImgBasicTest, CopyPaletteOnlyFromPaletteImages)
{
    Limg a, b;
    ImgAlloc(a, 1, 1, 24);
    a.Palette[1][1] = 42;
    ImgCopyPalette(a, b);
    EXPECT_EQ(b.Palette[1][1], 0);
    ImgFree(a);
}

TEST_F(ImgBasicTest, CopyDataOfARecordWithoutPixelsFails)
{
    Limg empty, claims, dst;
    ImgCopyData(empty, dst);
    EXPECT_EQ(ErrGet(), 2001);
    claims.Width = claims.Height = 4;
    claims.BytesPP = 3;
    claims.Bits = 24;
    claims.Size = 48;
    ImgCopyData(claims, dst);
    EXPECT_EQ(ErrGet(), 6000);
    EXPECT_EQ(dst.Data, nullptr);
}

TEST_F(ImgBasicTest, XchgSwapsRecordsAndFreeReleasesTheRightBlock)
{
    Limg a, b;
    ImgAlloc(a, 2, 2, 24);
    ImgAlloc(b, 5, 1, 8);
    a.Data[0] = 11;
    b.Data[0] = 22;
    b.Palette[3][2] = 33;
    uint8_t* blockA = a.Data;
    uint8_t* blockB = b.Data;
    ImgName(a, "Test", "a");
    ImgXchg(a, b);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(a.Data, blockB);
    EXPECT_EQ(a.Width, 5);
    EXPECT_EQ(a.Bits, 8);
    EXPECT_EQ(a.Data[0], 22);
    EXPECT_EQ(a.Palette[3][2], 33);
    EXPECT_EQ(b.Data, blockA);
    EXPECT_EQ(b.Size, 12);
    ImgFree(a);
    EXPECT_FALSE(MemIsTracked(blockB));
    EXPECT_TRUE(MemIsTracked(blockA));
    // The block stays tracked under b: a resize reuses it.
    ImgAlloc(b, 2, 2, 24);
    EXPECT_EQ(MemCount(), 1);
    ImgFree(b);
    EXPECT_FALSE(MemIsTracked(blockA));
}

TEST_F(ImgBasicTest, XchgWithoutBlocksFails)
{
    Limg a, b;
    ImgAlloc(a, 1, 1, 8);
    ImgXchg(a, b);
    EXPECT_EQ(ErrGet(), 2002);
    ImgFree(a);
}

TEST_F(ImgBasicTest, NameShowsOwnerAndName)
{
    Limg img;
    ImgAlloc(img, 1, 1, 8);
    ImgName(img, "ImgConvBit", "ih_temp");
    bool found = false;
    for (int32_t i = 0; i < MemCount(); ++i) found |= MemEntryName(i) == "ImgConvBit: (Limg) ih_temp";
    EXPECT_TRUE(found);
    ImgFree(img);
}

TEST_F(ImgBasicTest, InfoTable)
{
    ImgOpInfo info;
    ImgInfo(info, 0);
    EXPECT_EQ(info.Limits[2][0], 4);
    EXPECT_EQ(info.Limits[3][1], 4096);
    for (int32_t d : info.DepthMap) EXPECT_EQ(d, 24);
    EXPECT_TRUE(info.InPlace);

    ImgInfo(info, 34);
    EXPECT_EQ(info.Op, 34);
    EXPECT_EQ(info.DepthMap[0], 8);
    EXPECT_EQ(info.DepthMap[1], 15);
    EXPECT_EQ(info.DepthMap[2], 16);
    EXPECT_EQ(info.DepthMap[4], 32);
    EXPECT_EQ(info.DepthMap[5], 24);

    ImgInfo(info, 3);
    EXPECT_TRUE(info.OnPalette);
    EXPECT_EQ(info.DepthMap[0], 8);
    EXPECT_EQ(info.DepthMap[2], 16);
    EXPECT_EQ(info.DepthMap[3], 24);

    ImgInfo(info, 9);
    EXPECT_TRUE(info.HasParams);
    EXPECT_EQ(info.ParamRange[2][0], 1);
    EXPECT_EQ(info.ParamRange[2][1], 499);
    EXPECT_EQ(info.ParamRange[3][1], 0);

    ImgInfo(info, 21);
    EXPECT_FALSE(info.InPlace);
    EXPECT_EQ(info.DepthMap[0], 8);
    EXPECT_EQ(info.ParamRange[0][1], 10);

    ImgInfo(info, 31);
    EXPECT_TRUE(info.MatchDest);
    EXPECT_FALSE(info.ConvertDest);
    ImgInfo(info, 32);
    EXPECT_TRUE(info.ConvertDest);
    EXPECT_FALSE(info.InPlace);

    ImgInfo(info, 37);
    EXPECT_FALSE(info.InPlace);
    EXPECT_EQ(info.DepthMap[0], 24);
    ImgInfo(info, 27);
    EXPECT_EQ(info.ParamRange[0][0], -180);
    EXPECT_TRUE(info.OnPalette);
    ImgInfo(info, 25);
    EXPECT_EQ(info.ParamRange[1][1], 64);
    EXPECT_FALSE(info.OnPalette);
}

TEST_F(ImgBasicTest, InitExWithoutDestinationForANotInPlaceOperation)
{
    Limg src;
    ImgAlloc(src, 4, 4, 24);
    ImgOpInfo info;
    ImgOpCtx ctx;
    ImgInfo(info, ImgOpResample);
    ImgInitEx(info, ctx, &src, nullptr, 4, 4);
    EXPECT_EQ(ErrGet(), 6006);
    ImgFree(src);
}

TEST_F(ImgBasicTest, NotInPlaceOperationOnItsOwnRecordReplacesThePixels)
{
    Limg img;
    Make24(img, 4, 4, [](int32_t x, int32_t y) { return Rgb{uint8_t(x), uint8_t(y), 9}; });
    uint8_t* old = img.Data;
    ImgResample(img, img, 8, 2);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Width, 8);
    EXPECT_EQ(img.Height, 2);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(img.Size, 48);
    EXPECT_NE(img.Data, old);
    EXPECT_FALSE(MemIsTracked(old));
    EXPECT_EQ(MemCount(), 1);
    ImgFree(img);
}

TEST_F(ImgBasicTest, FailureInsideAnOperationReleasesItsBlocks)
{
    Limg src, dst;
    Make24(src, 4, 4, [](int32_t, int32_t) { return Rgb{1, 2, 3}; });
    const int32_t before = MemCount();
    ImgResample(src, dst, 70000, 70000);
    EXPECT_EQ(ErrGet(), 2001);
    EXPECT_EQ(MemCount(), before);
    ImgFree(dst);
    ImgFree(src);
}

}  // namespace
