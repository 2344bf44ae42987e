#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <tiffio.h>

#include "extcodec_support.h"
#include "formats/FFBasic.h"
#include "formats/FF_TIF.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

namespace {

using extcodec::Bytes;

struct TiffSpec {
    uint32_t Width = 4;
    uint32_t Height = 2;
    uint16_t Bits = 8;
    uint16_t Samples = 1;
    uint16_t Photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t Compression = COMPRESSION_NONE;
    std::vector<uint16_t> Red, Green, Blue;  // colour map
};

// Writes a TIFF with libtiff itself, one strip, little-endian.
void WriteTiff(const std::string& path, const TiffSpec& s, const Bytes& pixels)
{
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, s.Width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, s.Height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.Bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.Samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.Photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, s.Compression);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, s.Height);
    if (!s.Red.empty()) TIFFSetField(t, TIFFTAG_COLORMAP, s.Red.data(), s.Green.data(), s.Blue.data());
    const size_t stride = pixels.size() / s.Height;
    for (uint32_t r = 0; r < s.Height; ++r)
        TIFFWriteScanline(t, const_cast<uint8_t*>(pixels.data() + stride * r), r, 0);
    TIFFClose(t);
}

// Rewrites the value of a short tag in the first directory of a little-endian file.
void PatchTag(Bytes& file, uint16_t tag, uint16_t value)
{
    uint32_t ifd = GetU32LE(&file[4]);
    uint16_t count = GetU16LE(&file[ifd]);
    for (uint16_t i = 0; i < count; ++i) {
        uint8_t* entry = &file[ifd + 2 + 12 * i];
        if (GetU16LE(entry) == tag) PutU16LE(entry + 8, value);
    }
}

class TifTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override { ImgFree(img); }
    std::string File(const std::string& name) const { return machine.Scratch() + "/" + name; }

    TempMachine machine;
    Limg img;
};

TEST_F(TifTest, PaletteWithEightBitColourMapIsTakenAsItIs)
{
    TiffSpec s;
    s.Photometric = PHOTOMETRIC_PALETTE;
    s.Red.assign(256, 0), s.Green.assign(256, 0), s.Blue.assign(256, 0);
    s.Red[1] = 200, s.Green[1] = 100, s.Blue[1] = 50;
    s.Red[255] = 255;
    WriteTiff(File("p8.tif"), s, Bytes{0, 1, 255, 1, 1, 0, 0, 0});
    TIFLoad(File("p8.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(Bytes(img.Data, img.Data + 8), (Bytes{0, 1, 255, 1, 1, 0, 0, 0}));
    EXPECT_EQ(img.Palette[1][0], 50);  // blue
    EXPECT_EQ(img.Palette[1][1], 100);
    EXPECT_EQ(img.Palette[1][2], 200);  // red
    EXPECT_EQ(img.Palette[255][2], 255);
}

TEST_F(TifTest, PaletteWithSixteenBitColourMapIsScaled)
{
    TiffSpec s;
    s.Photometric = PHOTOMETRIC_PALETTE;
    s.Red.assign(256, 0), s.Green.assign(256, 0), s.Blue.assign(256, 0);
    s.Red[1] = 65535, s.Green[1] = 32768, s.Blue[1] = 256;
    s.Red[2] = 255;  // below 256, but the map is 16-bit because of entry 1
    WriteTiff(File("p16.tif"), s, Bytes(8, 1));
    TIFLoad(File("p16.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Palette[1][2], 255);
    EXPECT_EQ(img.Palette[1][1], 32768 * 255 / 65535);
    EXPECT_EQ(img.Palette[1][0], 256 * 255 / 65535);
    EXPECT_EQ(img.Palette[2][2], 0);
}

TEST_F(TifTest, GreyRampsFollowThePhotometricInterpretation)
{
    TiffSpec s;
    s.Photometric = PHOTOMETRIC_MINISWHITE;
    WriteTiff(File("w.tif"), s, Bytes(8, 9));
    TIFLoad(File("w.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Palette[0][0], 255);
    EXPECT_EQ(img.Palette[255][1], 0);
    EXPECT_EQ(img.Palette[9][2], 246);
    ImgFree(img);
    s.Photometric = PHOTOMETRIC_MINISBLACK;
    WriteTiff(File("b.tif"), s, Bytes(8, 9));
    TIFLoad(File("b.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Palette[9][0], 9);
    EXPECT_EQ(img.Palette[255][2], 255);
}

TEST_F(TifTest, RgbLoadsWithRedAndBlueExchanged)
{
    TiffSpec s;
    s.Width = 2, s.Height = 1, s.Samples = 3, s.Photometric = PHOTOMETRIC_RGB;
    WriteTiff(File("rgb.tif"), s, Bytes{10, 20, 30, 40, 50, 60});
    TFileInfo info;
    TIFInfo(File("rgb.tif"), info);
    EXPECT_EQ(info.Picture.Bits, 24);
    EXPECT_EQ(info.Picture.BytesPP, 3);
    TIFLoad(File("rgb.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), (Bytes{30, 20, 10, 60, 50, 40}));
    ImgFree(img);

    // A fourth sample is dropped and the colours still come out right.
    s.Samples = 4;
    WriteTiff(File("rgba.tif"), s, Bytes{10, 20, 30, 99, 40, 50, 60, 99});
    TIFLoad(File("rgba.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), (Bytes{30, 20, 10, 60, 50, 40}));
}

TEST_F(TifTest, SixteenBitSamplesLoadThroughTheRgbaInterface)
{
    TiffSpec s;
    s.Bits = 16;
    WriteTiff(File("g16.tif"), s, Bytes(16, 0x12));
    TFileInfo info;
    info.Picture.Compression = "None";
    TIFInfo(File("g16.tif"), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_TRUE(info.Picture.Loadable);
    EXPECT_EQ(info.Picture.Bits, 16);
    EXPECT_EQ(info.Picture.Width, 4);
    EXPECT_EQ(info.FileSize, static_cast<int32_t>(extcodec::ReadHost(File("g16.tif")).size()));
    TIFLoad(File("g16.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(img.Data[0], 0x12);  // the high byte of 0x1212
}

TEST_F(TifTest, CompressionNames)
{
    const std::pair<uint16_t, const char*> cases[] = {
        {COMPRESSION_NONE, "None"},
        {COMPRESSION_PACKBITS, "Macintosh RLE (PackBits)"},
        {COMPRESSION_LZW, "Variable-Length-Code LZW (Lempel-Ziv & Welch)"},
        {COMPRESSION_ADOBE_DEFLATE, "Deflate compression (Adobe)"},
        {COMPRESSION_DEFLATE, "Deflate compression (modified LZ77)"},
    };
    Bytes pixels(4 * 2);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 30);
    for (auto [code, text] : cases) {
        SCOPED_TRACE(code);
        TiffSpec s;
        s.Compression = code;
        WriteTiff(File("c.tif"), s, pixels);
        TFileInfo info;
        info.Picture.Compression = "None";
        TIFInfo(File("c.tif"), info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(info.Picture.Compression, text);
        EXPECT_TRUE(info.Picture.Loadable);
        TIFLoad(File("c.tif"), img);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(Bytes(img.Data, img.Data + img.Size), pixels);
        ImgFree(img);
    }

    TiffSpec s;
    WriteTiff(File("u.tif"), s, pixels);
    Bytes file = extcodec::ReadHost(File("u.tif"));
    PatchTag(file, TIFFTAG_COMPRESSION, 32946);
    extcodec::WriteHost(File("u.tif"), file);
    TFileInfo info;
    TIFInfo(File("u.tif"), info);
    EXPECT_EQ(info.Picture.Compression, "Deflate compression (modified LZ77)");
    PatchTag(file, TIFFTAG_COMPRESSION, 4711);
    extcodec::WriteHost(File("u.tif"), file);
    info = TFileInfo{};
    info.Picture.Compression = "None";
    TIFInfo(File("u.tif"), info);
    EXPECT_EQ(info.Picture.Compression, "None");
}

TEST_F(TifTest, DamagedFiles)
{
    const int32_t blocks = MemCount();
    extcodec::WriteHost(File("x.tif"), {'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x0F});
    TIFLoad(File("x.tif"), img);
    EXPECT_EQ(ErrGet(), 1);
    EXPECT_EQ(ErrText(1).rfind("External error: ", 0), 0u);
    EXPECT_GT(ErrText(1).size(), std::string("External error: ").size());

    // Uncompressed rows promised beyond the end of the file.
    TiffSpec s;
    s.Width = 64, s.Height = 64;
    WriteTiff(File("cut.tif"), s, Bytes(64 * 64, 5));
    Bytes file = extcodec::ReadHost(File("cut.tif"));
    PatchTag(file, TIFFTAG_IMAGEWIDTH, 4000);
    extcodec::WriteHost(File("cut.tif"), file);
    TIFLoad(File("cut.tif"), img);
    EXPECT_EQ(ErrGet(), 5003);
    EXPECT_EQ(img.Data, nullptr);

    // A compressed strip cut short.
    s.Compression = COMPRESSION_LZW;
    Bytes noise(64 * 64);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    WriteTiff(File("lzw.tif"), s, noise);
    file = extcodec::ReadHost(File("lzw.tif"));
    uint32_t ifd = GetU32LE(&file[4]);
    Bytes cut(file.begin(), file.begin() + ifd / 2);
    cut.insert(cut.end(), file.begin() + ifd, file.end());
    PutU32LE(&cut[4], static_cast<uint32_t>(ifd / 2));
    extcodec::WriteHost(File("lzw.tif"), cut);
    TIFLoad(File("lzw.tif"), img);
    EXPECT_NE(ErrGet(), 0);
    ImgFree(img);

    EXPECT_EQ(MemCount(), blocks);
    EXPECT_EQ(FCount(), 0);
}

TEST_F(TifTest, FilesWrittenByOtherToolsLoad)
{
    REQUIRE_PILLOW();
    Bytes rgb;
    for (int i = 0; i < 6 * 5; ++i) rgb.insert(rgb.end(), {uint8_t(i * 8), uint8_t(255 - i), uint8_t(i)});
    ASSERT_TRUE(extcodec::PillowWrite(File("pil.tif"), "RGB", 6, 5, rgb, "compression='tiff_lzw'"));
    TIFLoad(File("pil.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    ASSERT_EQ(img.Size, 6 * 5 * 3);
    for (int i = 0; i < img.Size; i += 3) {
        EXPECT_EQ(img.Data[i], rgb[i + 2]);
        EXPECT_EQ(img.Data[i + 2], rgb[i]);
    }
    ImgFree(img);

    Bytes indices = {0, 1, 2, 3, 2, 1};
    Bytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3};
    ASSERT_TRUE(extcodec::PillowWrite(File("pilp.tif"), "P", 3, 2, indices, "", palette));
    extcodec::PillowPicture pic;
    ASSERT_TRUE(extcodec::PillowRead(File("pilp.tif"), pic));
    TIFLoad(File("pilp.tif"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), indices);
    // Pillow writes a 16-bit colour map (value × 256), scaled back by 255/65535.
    EXPECT_GE(img.Palette[0][2], 254);
    EXPECT_EQ(img.Palette[0][0], 0);
    EXPECT_GE(img.Palette[1][1], 254);
    EXPECT_GE(img.Palette[2][0], 254);
    EXPECT_LE(img.Palette[3][0], 3);
}

}  // namespace
