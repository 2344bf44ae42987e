#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "extcodec_support.h"
#include "formats/FFBasic.h"
#include "formats/FF_JPG.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

namespace {

using extcodec::Bytes;

class JpgTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override { ImgFree(img); }
    std::string File(const std::string& name) const { return machine.Scratch() + "/" + name; }

    // Left half red, right half blue, as the record stores them.
    void MakeHalves(int32_t width, int32_t height)
    {
        ImgAlloc(img, width, height, 24);
        ASSERT_EQ(ErrGet(), 0);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* p = img.Data + (y * width + x) * 3;
                bool left = x < width / 2;
                p[0] = left ? 0 : 255;
                p[1] = 0;
                p[2] = left ? 255 : 0;
            }
    }

    TempMachine machine;
    Limg img;
};

// The first DQT table of a JPEG file, in the file's zig-zag order.
Bytes FirstQuantTable(const Bytes& file)
{
    for (size_t i = 2; i + 4 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xDB && i + 5 + 64 <= file.size())
            return Bytes(file.begin() + static_cast<long>(i) + 5, file.begin() + static_cast<long>(i) + 5 + 64);
    return {};
}

TEST_F(JpgTest, ColourRoundTripIsBlueGreenRed)
{
    MakeHalves(32, 16);
    img.Palette[7][0] = 77;
    JPGSave(File("c.jpg"), img);
    ASSERT_EQ(ErrGet(), 0);
    ImgFree(img);

    TFileInfo info;
    JPGInfo(File("c.jpg"), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Width, 32);
    EXPECT_EQ(info.Picture.Height, 16);
    EXPECT_EQ(info.Picture.Bits, 24);
    EXPECT_EQ(info.Picture.BytesPP, 3);
    EXPECT_EQ(info.Picture.Frames, 1);
    EXPECT_EQ(info.Picture.Compression, "ISO/IEC IS 10918-1, ITU-T T.81");
    EXPECT_TRUE(info.Picture.Loadable);
    EXPECT_EQ(info.FileSize, static_cast<int32_t>(extcodec::ReadHost(File("c.jpg")).size()));

    JPGLoad(File("c.jpg"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(img.Width, 32);
    const uint8_t* left = img.Data + (8 * 32 + 4) * 3;
    const uint8_t* right = img.Data + (8 * 32 + 28) * 3;
    EXPECT_LT(left[0], 30);
    EXPECT_GT(left[2], 225);
    EXPECT_GT(right[0], 225);
    EXPECT_LT(right[2], 30);
}

TEST_F(JpgTest, WritesQuality85)
{
    MakeHalves(16, 16);
    JPGSave(File("q.jpg"), img);
    ASSERT_EQ(ErrGet(), 0);
    // The standard luminance table scaled to quality 85 (factor 0.30).
    Bytes table = FirstQuantTable(extcodec::ReadHost(File("q.jpg")));
    ASSERT_EQ(table.size(), 64u);
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 8), (Bytes{5, 3, 4, 4, 4, 3, 5, 4}));
    EXPECT_EQ(table[63], 30);  // 99 × 0.30
}

TEST_F(JpgTest, SavesEveryDepthAsColour)
{
    ImgAlloc(img, 8, 8, 8);
    for (int32_t i = 0; i < img.Size; ++i) img.Data[i] = static_cast<uint8_t>(i & 1);
    img.Palette[0][2] = 255;  // red
    img.Palette[1][0] = 255;  // blue
    JPGSave(File("p.jpg"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    TFileInfo info;
    JPGInfo(File("p.jpg"), info);
    EXPECT_EQ(info.Picture.Bits, 24);
}

TEST_F(JpgTest, SaveChecksTheSides)
{
    MakeHalves(3, 3);
    JPGSave(File("s.jpg"), img);
    EXPECT_EQ(ErrGet(), 11001);
    ImgFree(img);
    MakeHalves(4, 4);
    JPGSave(File("s.jpg"), img);
    EXPECT_EQ(ErrGet(), 0);
}

TEST_F(JpgTest, ForeignFilesFailWithoutAllocating)
{
    const int32_t blocks = MemCount();
    extcodec::WriteHost(File("x.jpg"), {'P', 'K', 3, 4, 0, 0, 0, 0});
    JPGLoad(File("x.jpg"), img);
    EXPECT_EQ(ErrGet(), 6008);
    EXPECT_EQ(ErrText(6008), "Cannot open image file.");
    EXPECT_EQ(WrnGet(), 1);
    EXPECT_EQ(WrnText(1).rfind("Not a JPEG file", 0), 0u) << WrnText(1);
    EXPECT_EQ(img.Data, nullptr);
    TFileInfo info;
    JPGInfo(File("missing.jpg"), info);
    EXPECT_EQ(ErrGet(), 6008);
    EXPECT_EQ(MemCount(), blocks);
    EXPECT_EQ(FCount(), 0);
}

TEST_F(JpgTest, GreyFilesLoadWithTheAscendingRamp)
{
    REQUIRE_PILLOW();
    Bytes grey(8 * 8);
    for (int i = 0; i < 64; ++i) grey[i] = i < 32 ? 30 : 210;
    ASSERT_TRUE(extcodec::PillowWrite(File("g.jpg"), "L", 8, 8, grey, "quality=95"));
    TFileInfo info;
    JPGInfo(File("g.jpg"), info);
    EXPECT_EQ(info.Picture.Bits, 8);
    EXPECT_EQ(info.Picture.BytesPP, 1);
    JPGLoad(File("g.jpg"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_NEAR(img.Data[0], 30, 6);
    EXPECT_NEAR(img.Data[63], 210, 6);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(img.Palette[i][0], i);
        EXPECT_EQ(img.Palette[i][1], i);
        EXPECT_EQ(img.Palette[i][2], i);
    }
}

TEST_F(JpgTest, WrittenFilesReadBackByPillow)
{
    REQUIRE_PILLOW();
    MakeHalves(16, 8);
    JPGSave(File("ours.jpg"), img);
    ASSERT_EQ(ErrGet(), 0);
    Limg ours;
    JPGLoad(File("ours.jpg"), ours);
    ASSERT_EQ(ErrGet(), 0);
    extcodec::PillowPicture pic;
    ASSERT_TRUE(extcodec::PillowRead(File("ours.jpg"), pic));
    EXPECT_EQ(pic.Mode, "RGB");
    EXPECT_EQ(pic.Width, 16);
    EXPECT_EQ(pic.Height, 8);
    ASSERT_EQ(pic.Pixels.size(), static_cast<size_t>(ours.Size));
    // The same decoder behind both: the pixels agree to rounding.
    for (int32_t i = 0; i < ours.Size; i += 3) {
        EXPECT_NEAR(pic.Pixels[i], ours.Data[i + 2], 2);
        EXPECT_NEAR(pic.Pixels[i + 2], ours.Data[i], 2);
    }
    ImgFree(ours);
}

TEST_F(JpgTest, FilesWrittenByOtherToolsLoad)
{
    REQUIRE_PILLOW();
    Bytes rgb;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) rgb.insert(rgb.end(), {uint8_t(x * 12), uint8_t(y * 20), uint8_t(128)});
    ASSERT_TRUE(extcodec::PillowWrite(File("pil.jpg"), "RGB", 20, 12, rgb, "quality=90, progressive=True"));
    std::string magick = File("im.jpg");
    bool haveMagick =
        std::system(("convert '" + File("pil.jpg") + "' -quality 80 '" + magick + "' >/dev/null 2>&1").c_str()) == 0;
    for (const std::string& name : {File("pil.jpg"), magick}) {
        if (name == magick && !haveMagick) continue;
        SCOPED_TRACE(name);
        extcodec::PillowPicture pic;
        ASSERT_TRUE(extcodec::PillowRead(name, pic));
        JPGLoad(name, img);
        ASSERT_EQ(ErrGet(), 0);
        ASSERT_EQ(pic.Pixels.size(), static_cast<size_t>(img.Size));
        for (int32_t i = 0; i < img.Size; i += 3) {
            EXPECT_NEAR(img.Data[i], pic.Pixels[i + 2], 2);
            EXPECT_NEAR(img.Data[i + 1], pic.Pixels[i + 1], 2);
        }
        ImgFree(img);
    }
}

}  // namespace
