#include <gtest/gtest.h>

#include "formats/FFBasic.h"
#include "formats/FF_PNM.h"
#include "rasters_support.h"

namespace {

using namespace rasters;

class PnmTest : public RasterTest {};

Bytes Samples(int n, int start = 0)
{
    Bytes b;
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(start + i * 5));
    return b;
}

TEST_F(PnmTest, BinaryPixelMapWithCommentLoadsBlueFirst)
{
    const Bytes pixels = Samples(48, 1);
    Put("c.ppm", Cat(Text("P6\n# made by hand\n4 4\n255\n"), pixels));
    PNMLoad("C:\\c.ppm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Width, 4);
    EXPECT_EQ(img.Height, 4);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(img.Data[0], pixels[2]);
    EXPECT_EQ(img.Data[1], pixels[1]);
    EXPECT_EQ(img.Data[2], pixels[0]);
    EXPECT_EQ(img.Data[47], pixels[45]);
}

TEST_F(PnmTest, TextGreyMapKeepsTheLowByteOfEachSample)
{
    std::string text = "P2\n4 4\n255\n0 300";
    for (int i = 2; i < 16; ++i) text += " " + std::to_string(i);
    Put("t.pgm", Text(text));  // no line feed after the last sample
    PNMLoad("C:\\t.pgm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(img.Data[0], 0);
    EXPECT_EQ(img.Data[1], 44);
    EXPECT_EQ(img.Data[15], 15);
    EXPECT_EQ(img.Palette[200][0], 200);
    EXPECT_EQ(img.Palette[200][2], 200);
}

TEST_F(PnmTest, TextPixelMapWithCommentsBetweenSamples)
{
    std::string text = "P3 4 4 255\n";
    for (int i = 0; i < 48; ++i) text += std::to_string(i) + (i % 5 == 0 ? " # note\n" : " ");
    Put("t.ppm", Text(text));
    PNMLoad("C:\\t.ppm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[0], 2);
    EXPECT_EQ(img.Data[2], 0);
    EXPECT_EQ(img.Data[45], 47);
}

TEST_F(PnmTest, SmallMaximumLoadsUnscaledAndWideSamplesAreScaled)
{
    Put("m.pgm", Cat(Text("P5 4 4 15\n"), Samples(16, 0)));
    PNMLoad("C:\\m.pgm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[3], 15);

    Bytes wide;
    for (int i = 0; i < 16; ++i) wide.insert(wide.end(), {uint8_t(i * 4096 >> 8), 0});
    wide[30] = 0xFF, wide[31] = 0xFF;
    Put("w.pgm", Cat(Text("P5 4 4 65535\n"), wide));
    PNMLoad("C:\\w.pgm", back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(back.Data[0], 0);
    EXPECT_EQ(back.Data[8], (8 * 4096 * 255 + 32767) / 65535);
    EXPECT_EQ(back.Data[15], 255);
}

TEST_F(PnmTest, OnlyOneWhitespaceFollowsTheMaximum)
{
    Put("cr.pgm", Cat(Text("P5\n4 4\n255\r\n"), Samples(15, 100)));
    PNMLoad("C:\\cr.pgm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[0], '\n');
    EXPECT_EQ(img.Data[1], 100);
}

TEST_F(PnmTest, HeaderParserOverBytes)
{
    TPnmHeader h;
    const Bytes p6 = Text("P6\n#x\n640 480\n255\nDATA");
    ASSERT_EQ(PNMParseHeader(p6.data(), static_cast<int32_t>(p6.size()), h), 0);
    EXPECT_TRUE(h.Supported);
    EXPECT_FALSE(h.TextEncoded);
    EXPECT_EQ(h.Width, 640);
    EXPECT_EQ(h.Channels, 3);
    EXPECT_EQ(h.DataOffset, 18);

    const Bytes p1 = Text("P1 8 8 ");
    ASSERT_EQ(PNMParseHeader(p1.data(), static_cast<int32_t>(p1.size()), h), 0);
    EXPECT_FALSE(h.Supported);

    const Bytes bad = Text("Q6 4 4 255 ");
    EXPECT_EQ(PNMParseHeader(bad.data(), static_cast<int32_t>(bad.size()), h), 6002);
    const Bytes shortHead = Text("P6 4 4");
    EXPECT_EQ(PNMParseHeader(shortHead.data(), static_cast<int32_t>(shortHead.size()), h), 6009);
    const Bytes cut = Text("P6 4 ");
    EXPECT_EQ(PNMParseHeader(cut.data(), static_cast<int32_t>(cut.size()), h), 6009);
    const Bytes tiny = Text("P6 3 4 255 ");
    ASSERT_EQ(PNMParseHeader(tiny.data(), static_cast<int32_t>(tiny.size()), h), 0);
    EXPECT_FALSE(h.Supported);
    EXPECT_EQ(h.Width, 3);  // reported as read
    EXPECT_EQ(h.Height, 4);
    const Bytes huge = Text("P5 99999999999999999999 4 255 ");
    ASSERT_EQ(PNMParseHeader(huge.data(), static_cast<int32_t>(huge.size()), h), 0);
    EXPECT_FALSE(h.Supported);
}

TEST_F(PnmTest, InfoNamesTheEncodingAndRefusedKinds)
{
    TFileInfo info;
    Put("a.pgm", Text("P2 4 4 255 1 2 3"));
    PNMInfo("C:\\a.pgm", info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Compression, "Ascii encoded");
    EXPECT_EQ(info.Picture.Bits, 8);
    EXPECT_TRUE(info.Picture.Loadable);

    TFileInfo info2;
    Put("b.pbm", Cat(Text("P4 8 8\n"), Bytes(8, 0)));
    PNMInfo("C:\\b.pbm", info2);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info2.Picture.Compression, "Binary encoded");
    EXPECT_FALSE(info2.Picture.Loadable);
    PNMLoad("C:\\b.pbm", img);
    EXPECT_EQ(ErrGet(), 6001);
}

TEST_F(PnmTest, FailuresHaveTheirCodes)
{
    Put("x.ppm", Text("GIF89a"));
    PNMLoad("C:\\x.ppm", img);
    EXPECT_EQ(ErrGet(), 6002);
    Put("h.ppm", Text("P6 4 4"));
    PNMLoad("C:\\h.ppm", img);
    EXPECT_EQ(ErrGet(), 6009);
    Put("s.ppm", Cat(Text("P6 4 4 255\n"), Bytes(47, 1)));
    PNMLoad("C:\\s.ppm", img);
    EXPECT_EQ(ErrGet(), 5003);
    Put("t.ppm", Text("P3 4 4 255 1 2 3"));
    PNMLoad("C:\\t.ppm", img);
    EXPECT_EQ(ErrGet(), 6009);
}

TEST_F(PnmTest, WriterProducesBinaryPixelMap)
{
    ImgAlloc(img, 4, 4, 8);
    for (int i = 0; i < 16; ++i) img.Data[i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 256; ++i)
        img.Palette[i][0] = uint8_t(i), img.Palette[i][1] = uint8_t(i + 1), img.Palette[i][2] = uint8_t(i + 2);
    PNMSave("C:\\o.ppm", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("o.ppm");
    ASSERT_EQ(f.size(), 11u + 48u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 11), "P6\n4 4\n255\n");
    EXPECT_EQ(f[11], 2);  // red of entry 0
    EXPECT_EQ(f[13], 0);
    EXPECT_EQ(f[11 + 45], 17);
}

TEST_F(PnmTest, TooSmallImageIsRefusedAndTheOldFileKept)
{
    Put("keep.ppm", Text("old"));
    ImgAlloc(img, 3, 3, 24);
    PNMSave("C:\\keep.ppm", img);
    EXPECT_EQ(ErrGet(), 11001);
    EXPECT_EQ(File("keep.ppm"), Text("old"));
}

TEST_F(PnmTest, RoundTripOf8And24BitPictures)
{
    for (int bits : {8, 24}) {
        MakePicture(img, 37, 9, bits);
        ImgSave("C:\\r.ppm", img);
        ASSERT_EQ(ErrGet(), 0);
        ImgLoad("C:\\r.ppm", back);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(back.Bits, 24);
        EXPECT_EQ(Rgb(back), Rgb(img)) << bits;
    }
}

TEST_F(PnmTest, PillowReadsOurFiles)
{
    RASTERS_REQUIRE_PILLOW();
    MakePicture(img, 33, 17, 24);
    PNMSave("C:\\p.ppm", img);
    ASSERT_EQ(ErrGet(), 0);
    PillowPicture pic;
    ASSERT_TRUE(PillowRead(Host("p.ppm"), pic));
    EXPECT_EQ(pic.Mode, "RGB");
    EXPECT_EQ(pic.Pixels, Rgb(img));
}

TEST_F(PnmTest, ThirdPartyFilesLoadAsPillowReadsThem)
{
    RASTERS_REQUIRE_PILLOW();
    const auto files = PillowFiles({".ppm", ".pgm", ".pnm", ".pbm"});
    if (files.empty()) GTEST_SKIP() << "no third-party test data";
    int compared = 0;
    for (const auto& path : files) {
        ErrResetState();
        Limg pic;
        PNMLoad(path, pic);
        const int32_t code = ErrGet();
        PillowPicture ref;
        const bool pillow = PillowRead(path, ref);
        if (code != 0) {
            // Bitmaps, and sizes below four pixels, are not read here.
            EXPECT_TRUE(code == 6001 || code == 6002 || code == 6009 || code == 5003) << path << " " << code;
            continue;
        }
        ASSERT_TRUE(pillow) << path;
        ASSERT_EQ(pic.Width, ref.Width) << path;
        ASSERT_EQ(pic.Height, ref.Height) << path;
        if (ref.Mode.rfind("I", 0) == 0) {
            TPnmHeader h;
            const Bytes bytes = ReadHost(path);
            ASSERT_EQ(PNMParseHeader(bytes.data(), static_cast<int32_t>(bytes.size()), h), 0);
            for (int i = 0; i < pic.Width * pic.Height; ++i) {
                const uint32_t v = (ref.Pixels[2 * i] << 8) | ref.Pixels[2 * i + 1];
                ASSERT_EQ(pic.Data[i], (v * 255 + h.MaxValue / 2) / h.MaxValue) << path << " at " << i;
            }
        } else {
            EXPECT_EQ(Rgb(pic), ref.Pixels) << path;
        }
        ++compared;
        ImgFree(pic);
    }
    EXPECT_GT(compared, 3);
}

TEST_F(PnmTest, TruncatedFilesEndCleanly)
{
    LoadHostile([](const std::string& n, Limg& i) { PNMLoad(n, i); });
    MakePicture(img, 20, 10, 24);
    PNMSave("C:\\full.ppm", img);
    ASSERT_EQ(ErrGet(), 0);
    LoadTruncated("cut.ppm", File("full.ppm"), [](const std::string& n, Limg& i) { PNMLoad(n, i); });
    std::string text = "P3 4 4 255\n";
    for (int i = 0; i < 48; ++i) text += std::to_string(i * 5) + " ";
    LoadTruncated("cut3.ppm", Text(text), [](const std::string& n, Limg& i) { PNMLoad(n, i); });
}

}  // namespace
