#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/DecodeLimits.h"
#include "formats/FFBasic.h"
#include "formats/FFBasic_PCX.h"
#include "formats/FFBasic_TGA.h"
#include "formats/FF_GIF.h"
#include "formats/FF_SGI.h"
#include "formats/FF_SUN.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

// Headers that promise far more picture than their files hold: each reader
// refuses them with its code before it allocates the picture, and still
// describes them.

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

class LimitsTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override
    {
        ImgFree(img);
        ErrResetState();
    }

    // Loads the bytes as `name`; the code of the load, which must not have
    // allocated the picture nor left anything behind.
    int32_t Refused(const std::string& name, const Bytes& bytes)
    {
        machine.WriteFile("C:\\" + name, bytes);
        const int32_t blocks = MemCount(), files = FCount();
        img = Limg{};
        ImgLoad("C:\\" + name, img);
        const int32_t code = ErrGet();
        EXPECT_EQ(img.Data, nullptr) << name;
        EXPECT_EQ(MemCount(), blocks) << name;
        EXPECT_EQ(FCount(), files) << name;
        ErrResetState();
        img = Limg{};
        return code;
    }

    // The information query still answers with the header's size.
    int32_t DescribedWidth(const std::string& name)
    {
        TFileInfo info;
        FFInfo("C:\\" + name, info);
        EXPECT_EQ(ErrGet(), 0) << name;
        ErrResetState();
        return info.Picture.Width;
    }

    TempMachine machine;
    Limg img;
};

Bytes BmpHeader(int32_t width, int32_t height, uint32_t compression)
{
    Bytes b(54, 0);
    b[0] = 'B', b[1] = 'M';
    PutU32LE(&b[10], 54);
    PutU32LE(&b[14], 40);
    PutU32LE(&b[18], static_cast<uint32_t>(width));
    PutU32LE(&b[22], static_cast<uint32_t>(height));
    PutU16LE(&b[26], 1);
    PutU16LE(&b[28], 8);
    PutU32LE(&b[30], compression);
    return b;
}

TEST_F(LimitsTest, RunLengthCodedRastersMustHoldDataForTheirPicture)
{
    // RLE8: 20000 x 20000 pixels from an end-of-bitmap code.
    EXPECT_EQ(Refused("r.bmp", Cat(BmpHeader(20000, 20000, 1), {0, 1})), 6003);
    EXPECT_EQ(DescribedWidth("r.bmp"), 20000);
    // Uncompressed rows that are not there.
    EXPECT_EQ(Refused("u.bmp", Cat(BmpHeader(20000, 20000, 0), Bytes(100, 1))), 5003);

    Bytes pcx(128, 0);
    pcx[0] = 10, pcx[2] = 1, pcx[3] = 8, pcx[65] = 1;
    PutU16LE(&pcx[8], 19999);
    PutU16LE(&pcx[10], 19999);
    PutU16LE(&pcx[66], 20000);
    EXPECT_EQ(Refused("p.pcx", Cat(pcx, Bytes(10, 0xFF))), 6003);
    EXPECT_EQ(DescribedWidth("p.pcx"), 20000);

    Bytes tga(18, 0);
    tga[2] = 10;
    PutU16LE(&tga[12], 20000);
    PutU16LE(&tga[14], 20000);
    tga[16] = 24;
    EXPECT_EQ(Refused("c.tga", Cat(tga, {255, 1, 2, 3})), 6003);
    tga[2] = 2;
    EXPECT_EQ(Refused("r.tga", Cat(tga, Bytes(300, 1))), 5003);

    Bytes sun(32, 0);
    const uint32_t fields[8] = {0x59A66A95u, 10000, 10000, 8, 0, 2, 0, 0};
    for (int i = 0; i < 8; ++i) PutU32BE(&sun[4 * i], fields[i]);
    EXPECT_EQ(Refused("e.ras", Cat(sun, {128, 255, 9, 128, 255, 9})), 6003);
    EXPECT_EQ(DescribedWidth("e.ras"), 10000);

    // SGI: a complete table of 100 rows of 30000 bytes, over 100 bytes of data.
    Bytes sgi(512, 0);
    PutU16BE(&sgi[0], 474);
    sgi[2] = 1, sgi[3] = 1;
    PutU16BE(&sgi[4], 2);
    PutU16BE(&sgi[6], 30000);
    PutU16BE(&sgi[8], 100);
    PutU16BE(&sgi[10], 1);
    Bytes tables(800, 0);
    for (int j = 0; j < 100; ++j) PutU32BE(&tables[4 * j], 512 + 800), PutU32BE(&tables[400 + 4 * j], 100);
    EXPECT_EQ(Refused("t.sgi", Cat(Cat(sgi, tables), Bytes(100, 127))), 6003);
}

TEST_F(LimitsTest, SmallPicturesKeepTheirPartialData)
{
    // Under the small-picture allowance a header over little data still
    // gives a partial picture, as the decoders promise.
    machine.WriteFile("C:\\s.bmp", Cat(BmpHeader(200, 200, 1), {4, 7, 0, 1}));
    ImgLoad("C:\\s.bmp", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[199 * 200], 7);
    EXPECT_EQ(img.Data[0], 0);
    EXPECT_TRUE(CodedBytesSuffice(SmallPictureBytes, 0, RleBmpExpansion));
    EXPECT_FALSE(CodedBytesSuffice(SmallPictureBytes + 1, 0, RleBmpExpansion));
}

TEST_F(LimitsTest, PortableMapsMustHoldTheirSamples)
{
    EXPECT_EQ(Refused("b.ppm", Cat(Text("P6 4096 4096 255\n"), Bytes(100, 1))), 5003);
    // Two bytes a sample above a maximum of 255.
    EXPECT_EQ(Refused("w.pgm", Cat(Text("P5 4096 4 65535\n"), Bytes(4096 * 4, 1))), 5003);
    EXPECT_EQ(Refused("t.ppm", Text("P3 4096 4096 255\n1 2 3 4 5 6\n")), 6009);
    EXPECT_EQ(DescribedWidth("t.ppm"), 4096);
}

// A GIF of the given screen whose one frame has the given size and three
// bytes of image data; a global table of 256 colours and `padding` bytes of
// comment before the frame make the file larger.
Bytes Gif(uint16_t screen, uint16_t frame, size_t padding)
{
    Bytes b = Text("GIF89a");
    const uint8_t table = padding > 0 ? 0xF7 : 0;
    b.insert(b.end(), {uint8_t(screen), uint8_t(screen >> 8), uint8_t(screen), uint8_t(screen >> 8), table, 0, 0});
    if (table != 0) b.insert(b.end(), 768, 0x40);
    for (size_t left = padding; left > 0;) {
        const size_t n = std::min<size_t>(left, 255);
        b.insert(b.end(), {0x21, 0xFE, uint8_t(n)});
        b.insert(b.end(), n, 'x');
        b.push_back(0);
        left -= n;
    }
    b.insert(b.end(), {0x21, 0xF9, 4, 0, 0, 0, 0, 0});
    b.insert(b.end(), {0x2C, 0, 0, 0, 0, uint8_t(frame), uint8_t(frame >> 8), uint8_t(frame), uint8_t(frame >> 8), 0});
    b.insert(b.end(), {2, 2, 0x4C, 0x01, 0, 0x3B});
    return b;
}

TEST_F(LimitsTest, GifScreensAndFramesMustBeWithinReachOfTheirData)
{
    // A screen no file of this size could fill.
    EXPECT_EQ(Refused("s.gif", Gif(30000, 1, 0)), 6001);
    EXPECT_EQ(DescribedWidth("s.gif"), 30000);

    // A screen the colour table and a comment pay for, but a frame of three
    // bytes of codes.
    const Bytes f = Gif(1500, 1500, 100);
    ASSERT_TRUE(CodedBytesSuffice(1500 * 1500, static_cast<int64_t>(f.size()), LzwExpansion));
    machine.WriteFile("C:\\f.gif", f);
    const int32_t blocks = MemCount();
    ImgLoad("C:\\f.gif", img);
    EXPECT_EQ(ErrGet(), 6003);
    EXPECT_EQ(MemCount(), blocks);
    ErrResetState();
    img = Limg{};

    machine.WriteFile("C:\\g.gif", Gif(100, 100, 0));
    ImgLoad("C:\\g.gif", img);
    EXPECT_EQ(ErrGet(), 0);
}

TEST_F(LimitsTest, CodecLibraryFilesMustHoldDataForTheirPicture)
{
    // A JPEG of our own whose frame header is made to say 8000 x 8000.
    ImgAlloc(img, 16, 16, 24);
    std::memset(img.Data, 90, static_cast<size_t>(img.Size));
    ImgSave("C:\\small.jpg", img);
    ASSERT_EQ(ErrGet(), 0);
    ImgFree(img);
    Bytes jpeg = machine.ReadFile("C:\\small.jpg");
    bool patched = false;
    for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            PutU16BE(&jpeg[i + 5], 8000);
            PutU16BE(&jpeg[i + 7], 8000);
            patched = true;
            break;
        }
    }
    ASSERT_TRUE(patched);
    EXPECT_EQ(Refused("big.jpg", jpeg), 6003);
    EXPECT_EQ(DescribedWidth("big.jpg"), 8000);

    // An LZW-coded TIFF of 20000 x 20000 grey pixels with a strip of 8 bytes.
    Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const uint16_t tags[][2] = {{256, 3}, {257, 3}, {258, 3}, {259, 3}, {262, 3},
                                {273, 4}, {277, 3}, {278, 3}, {279, 4}};
    const uint32_t values[] = {20000, 20000, 8, 5, 1, 8 + 2 + 9 * 12 + 4, 1, 20000, 8};
    Bytes ifd(2 + 9 * 12 + 4, 0);
    PutU16LE(&ifd[0], 9);
    for (int i = 0; i < 9; ++i) {
        uint8_t* e = &ifd[2 + 12 * i];
        PutU16LE(e, tags[i][0]);
        PutU16LE(e + 2, tags[i][1]);
        PutU32LE(e + 4, 1);
        if (tags[i][1] == 3)
            PutU16LE(e + 8, static_cast<uint16_t>(values[i]));
        else
            PutU32LE(e + 8, values[i]);
    }
    tiff = Cat(Cat(tiff, ifd), Bytes(8, 0x80));
    EXPECT_EQ(Refused("big.tif", tiff), 6003);
    EXPECT_EQ(DescribedWidth("big.tif"), 20000);
}

// The densest stream each decoder can be given, repeated: what it writes
// stays within the expansion its cap assumes, and comes near it.
using Decoder = int32_t (*)(const Bytes& coded, Bytes& out);

double Ratio(const Bytes& unit, int repeats, Decoder decode)
{
    Bytes coded;
    for (int i = 0; i < repeats; ++i) coded.insert(coded.end(), unit.begin(), unit.end());
    Bytes out(coded.size() * 1024);
    return static_cast<double>(decode(coded, out)) / static_cast<double>(coded.size());
}

int32_t Size(const Bytes& b)
{
    return static_cast<int32_t>(b.size());
}

// Codes for the LZW decoder that make every string one byte longer than
// the last until the table is full, then repeat the longest one; least
// significant bit first, in sub-blocks after the minimum code size.
Bytes LongestLzwStrings(int repeats)
{
    const int minCodeSize = 2, firstFree = 6;
    std::vector<std::pair<int, int>> codes = {{0, 3}};  // code, width
    int next = firstFree, width = 3;
    for (int code = firstFree; code < 4096; ++code) {
        codes.push_back({code, width});
        if (++next > (1 << width) - 1 && width < 12) ++width;
    }
    for (int i = 0; i < repeats; ++i) codes.push_back({4095, 12});
    Bytes packed;
    uint32_t acc = 0;
    int bits = 0;
    for (auto [code, w] : codes) {
        acc |= static_cast<uint32_t>(code) << bits;
        for (bits += w; bits >= 8; bits -= 8, acc >>= 8) packed.push_back(static_cast<uint8_t>(acc));
    }
    if (bits > 0) packed.push_back(static_cast<uint8_t>(acc));
    Bytes data = {minCodeSize};
    for (size_t i = 0; i < packed.size(); i += 255) {
        const size_t n = std::min<size_t>(255, packed.size() - i);
        data.push_back(static_cast<uint8_t>(n));
        data.insert(data.end(), packed.begin() + static_cast<long>(i), packed.begin() + static_cast<long>(i + n));
    }
    data.push_back(0);
    return data;
}

TEST_F(LimitsTest, DensestStreamsStayWithinTheirExpansion)
{
    const double pcx = Ratio({0xFF, 7}, 1000,
                             [](const Bytes& c, Bytes& o) { return PCXunCmps_(c.data(), Size(c), o.data(), Size(o)); });
    EXPECT_LE(pcx, RlePcxExpansion);
    EXPECT_GT(pcx, RlePcxExpansion - 1);

    const double tga = Ratio({255, 1, 2, 3, 4}, 1000, [](const Bytes& c, Bytes& o) {
        return TGAunCmps_(c.data(), Size(c), o.data(), Size(o), 4);
    });
    EXPECT_LE(tga, RleTgaExpansion);
    EXPECT_GT(tga, 100);

    // An SGI row ends at its first zero count, so one row is one run.
    Bytes sgiOut(1024);
    EXPECT_EQ(SGIunCmpsRow(Bytes{127, 9}.data(), 2, sgiOut.data(), Size(sgiOut)), 127);
    EXPECT_LE(127 / 2.0, RleSgiExpansion);

    const double sun = Ratio({128, 255, 7}, 1000,
                             [](const Bytes& c, Bytes& o) { return SUNunCmps(c.data(), Size(c), o.data(), Size(o)); });
    EXPECT_LE(sun, RleSunExpansion);
    EXPECT_GT(sun, RleSunExpansion - 1);

    Bytes runs = BmpHeader(255, 1000, 1);
    for (int i = 0; i < 1000; ++i) runs.insert(runs.end(), {255, 9});
    runs.insert(runs.end(), {0, 1});
    machine.WriteFile("C:\\runs.bmp", runs);
    ImgLoad("C:\\runs.bmp", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[255 * 1000 - 1], 9);
    EXPECT_LE(255 * 1000 / static_cast<double>(runs.size() - 54), RleBmpExpansion);

    const Bytes lzw = LongestLzwStrings(2000);
    Bytes tables(GIFLzwTableSize);
    Bytes out(24 << 20);
    const int32_t written = GIFDecodeLZW(lzw.data(), Size(lzw), out.data(), Size(out), tables.data());
    ASSERT_GT(written, 16000000);
    EXPECT_EQ(out[static_cast<size_t>(written) - 1], 0);
    const double gif = static_cast<double>(written) / static_cast<double>(lzw.size());
    EXPECT_LE(gif, LzwExpansion);
    EXPECT_GT(gif, LzwExpansion / 2);
}

}  // namespace
