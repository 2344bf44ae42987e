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

TEST_F(PnmTest, SamplesAreScaledFromTheirMaximum)
{
    // 0, 5, 10, 15, then samples above the maximum, taken as it.
    Put("m.pgm", Cat(Text("P5 4 4 15\n"), Samples(16, 0)));
    PNMLoad("C:\\m.pgm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 5), B({0, 85, 170, 255, 255}));
    ImgFree(img);
    Put("m7.ppm", Text("P3 1 1 7\n1 3 6"));
    PNMLoad("C:\\m7.ppm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 3), B({(6 * 255 + 3) / 7, (3 * 255 + 3) / 7, (255 + 3) / 7}));

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

    // Bitmaps have no maximum; arbitrary maps have keyword lines.
    const Bytes p1 = Text("P1 8 8 ");
    ASSERT_EQ(PNMParseHeader(p1.data(), static_cast<int32_t>(p1.size()), h), 0);
    EXPECT_TRUE(h.Supported);
    EXPECT_TRUE(h.Bitmap);
    EXPECT_EQ(h.DataOffset, 7);
    const Bytes p7 = Text("P7\nWIDTH 5\n# note\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\nDATA");
    ASSERT_EQ(PNMParseHeader(p7.data(), static_cast<int32_t>(p7.size()), h), 0);
    EXPECT_TRUE(h.Supported);
    EXPECT_EQ(h.Width, 5);
    EXPECT_EQ(h.Height, 2);
    EXPECT_EQ(h.Depth, 4);
    EXPECT_EQ(h.Channels, 3);
    EXPECT_EQ(h.DataOffset, static_cast<int32_t>(p7.size()) - 4);
    for (const char* bad : {"P7\nWIDTH 5\nHEIGHT 2\nDEPTH 5\nMAXVAL 255\nENDHDR\n",
                            "P7\nWIDTH 5\nHEIGHT 2\nDEPTH 3\nENDHDR\n", "P8 4 4 255\n"}) {
        const Bytes b = Text(bad);
        ASSERT_EQ(PNMParseHeader(b.data(), static_cast<int32_t>(b.size()), h), 0) << bad;
        EXPECT_FALSE(h.Supported) << bad;
    }
    const Bytes unended = Text("P7\nWIDTH 5\nHEIGHT 2\n");
    EXPECT_EQ(PNMParseHeader(unended.data(), static_cast<int32_t>(unended.size()), h), 6009);

    const Bytes bad = Text("Q6 4 4 255 ");
    EXPECT_EQ(PNMParseHeader(bad.data(), static_cast<int32_t>(bad.size()), h), 6002);
    const Bytes shortHead = Text("P6 4 4");
    EXPECT_EQ(PNMParseHeader(shortHead.data(), static_cast<int32_t>(shortHead.size()), h), 6009);
    const Bytes cut = Text("P6 4 ");
    EXPECT_EQ(PNMParseHeader(cut.data(), static_cast<int32_t>(cut.size()), h), 6009);
    const Bytes tiny = Text("P6 1 4 255 ");
    ASSERT_EQ(PNMParseHeader(tiny.data(), static_cast<int32_t>(tiny.size()), h), 0);
    EXPECT_TRUE(h.Supported);
    EXPECT_EQ(h.Width, 1);
    EXPECT_EQ(h.Height, 4);
    const Bytes empty = Text("P6 0 4 255 ");
    ASSERT_EQ(PNMParseHeader(empty.data(), static_cast<int32_t>(empty.size()), h), 0);
    EXPECT_FALSE(h.Supported);
    const Bytes beyond = Text("P5 1000001 1 255 ");
    ASSERT_EQ(PNMParseHeader(beyond.data(), static_cast<int32_t>(beyond.size()), h), 0);
    EXPECT_FALSE(h.Supported);
    EXPECT_EQ(h.Width, 1000001);  // reported as read
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
    EXPECT_EQ(info2.Picture.Bits, 1);
    EXPECT_TRUE(info2.Picture.Loadable);

    TFileInfo info3;
    Put("c.pgm", Text("P2 4 0 255 "));
    PNMInfo("C:\\c.pgm", info3);
    EXPECT_FALSE(info3.Picture.Loadable);
    PNMLoad("C:\\c.pgm", img);
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
    const auto references = PillowReadMany(files);
    int compared = 0;
    for (const auto& path : files) {
        ErrResetState();
        Limg pic;
        PNMLoad(path, pic);
        const int32_t code = ErrGet();
        const bool pillow = references.count(path) != 0;
        const PillowPicture ref = pillow ? references.at(path) : PillowPicture{};
        if (code != 0) {
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

TEST_F(PnmTest, BitmapsAndArbitraryMaps)
{
    // Text bitmap digits need no separators; a set bit is black.
    Put("t.pbm", Text("P1\n# c\n3 2\n1 0\n1\n011"));
    PNMLoad("C:\\t.pbm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), B({0, 255, 0, 255, 0, 0}));
    ImgFree(img);
    // Binary rows of whole bytes.
    Put("b.pbm", Cat(Text("P4 10 2\n"), B({0x80, 0x40, 0xFF, 0xC0})));
    PNMLoad("C:\\b.pbm", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 10), B({0, 255, 255, 255, 255, 255, 255, 255, 255, 0}));
    EXPECT_EQ(Bytes(img.Data + 10, img.Data + 20), Bytes(10, 0));
    ImgFree(img);
    // Tuples with alpha lose it; two-byte samples are scaled.
    Put("a.pam", Cat(Text("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"),
                     B({1, 2, 3, 4, 5, 6, 7, 8})));
    PNMLoad("C:\\a.pam", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), B({3, 2, 1, 7, 6, 5}));
    ImgFree(img);
    Put("g.pam", Cat(Text("P7\nWIDTH 1\nHEIGHT 2\nDEPTH 2\nMAXVAL 1023\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n"),
                     B({3, 0xFF, 0, 0, 0, 0x80, 0, 0})));
    PNMLoad("C:\\g.pam", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(Bytes(img.Data, img.Data + 2), B({255, (128 * 255 + 511) / 1023}));
    // Too few bytes for the tuples.
    Put("s.pam", Cat(Text("P7\nWIDTH 2\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nENDHDR\n"), Bytes(11, 1)));
    PNMLoad("C:\\s.pam", back);
    EXPECT_EQ(ErrGet(), 5003);
}

TEST_F(PnmTest, FilesOfOtherToolsLoadAsPillowOrImageMagickReadThem)
{
    RASTERS_REQUIRE_PILLOW();
    // Pillow writes bitmaps, grey and pixel maps, also below four pixels a
    // side; netpbm writes text maps, small maxima and arbitrary maps;
    // ImageMagick arbitrary maps with alpha. Pillow reads no arbitrary
    // maps: ImageMagick's decode is their reference.
    ASSERT_TRUE(PillowMake(Dir(),
                           "pattern('L', 13, 7).convert('1').save('bits.pbm')\n"
                           "pattern('L', 2, 3).save('small.pgm')\n"
                           "pattern('RGB', 1, 1).save('one.ppm')\n"
                           "pattern('RGB', 33, 5).save('rgb.ppm')\n"
                           "pattern('RGBA', 7, 3).save('rgba.png')\n"
                           "pattern('LA', 7, 3).save('la.png')\n"));
    std::vector<std::string> files = {"bits.pbm", "small.pgm", "one.ppm"};
    if (HaveTool("pnmdepth -version")) {
        const std::pair<const char*, const char*> made[] = {
            {"pnmdepth 15 rgb.ppm > d15.ppm", "d15.ppm"},
            {"pnmdepth 1000 rgb.ppm > d1000.ppm", "d1000.ppm"},
            {"pnmtoplainpnm bits.pbm > plain.pbm", "plain.pbm"},
            {"pnmdepth 7 rgb.ppm | pnmtoplainpnm > plain7.ppm", "plain7.ppm"},
            {"pamtopam < bits.pbm > bw.pam", "bw.pam"},
            {"ppmtopgm rgb.ppm | pamtopam > grey.pam", "grey.pam"},
            {"pamtopam < rgb.ppm > rgb.pam", "rgb.pam"},
            {"pngtopam -alphapam rgba.png > rgba.pam", "rgba.pam"},
        };
        for (const auto& [command, name] : made) {
            ASSERT_TRUE(RunTool("cd " + Dir() + " && " + command)) << command;
            files.push_back(name);
        }
    }
    if (HaveMagick()) {
        ASSERT_TRUE(RunTool("cd " + Dir() + " && convert la.png PAM:la.pam && convert rgba.png PAM:im_rgba.pam"));
        files.push_back("la.pam");
        files.push_back("im_rgba.pam");
    }
    for (auto& f : files) f = Dir() + f;
    EXPECT_EQ(ExpectPillowsPixels(files, [](const std::string& n, Limg& i) { PNMLoad(n, i); }),
              static_cast<int>(files.size()));
}

TEST_F(PnmTest, GreyNamesAreWrittenAsGreyMaps)
{
    MakePicture(img, 5, 4, 24);
    ImgSave("C:\\g.PGM", img);
    ASSERT_EQ(ErrGet(), 0);
    const Bytes f = File("g.PGM");
    ASSERT_EQ(f.size(), 11u + 20u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 11), "P5\n5 4\n255\n");
    for (int i = 0; i < 20; ++i) {
        const uint8_t* p = img.Data + 3 * i;
        EXPECT_EQ(f[11 + i], (p[2] * 19595 + p[1] * 38470 + p[0] * 7471 + 0x8000) >> 16) << i;
    }
    if (!HavePillow()) return;
    PillowPicture pic;
    ASSERT_TRUE(PillowRead(Host("g.PGM"), pic));
    EXPECT_EQ(pic.Mode, "L");
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
