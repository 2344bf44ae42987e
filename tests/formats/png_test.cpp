#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>
#include <sys/resource.h>

#include "extcodec_support.h"
#include "formats/FFBasic.h"
#include "formats/FF_PNG.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

namespace {

using extcodec::Bytes;

// Writes a PNG with libpng itself; rows are packed as the file stores them.
void WritePng(const std::string& path, uint32_t width, uint32_t height, int bitDepth, int colorType, const Bytes& rows,
              const std::vector<png_color>& palette = {}, int interlace = PNG_INTERLACE_NONE)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, bitDepth, colorType, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(png, info);
    const size_t stride = rows.size() / height;
    std::vector<png_bytep> table;
    for (uint32_t y = 0; y < height; ++y) table.push_back(const_cast<png_bytep>(rows.data() + stride * y));
    png_write_image(png, table.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

// The data of the first chunk of a type in a PNG file.
Bytes Chunk(const Bytes& file, const char* type)
{
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        uint32_t length = (uint32_t(file[pos]) << 24) | (file[pos + 1] << 16) | (file[pos + 2] << 8) | file[pos + 3];
        if (std::memcmp(&file[pos + 4], type, 4) == 0 && pos + 8 + length <= file.size())
            return Bytes(file.begin() + pos + 8, file.begin() + pos + 8 + length);
        pos += 12 + length;
    }
    return {};
}

uint32_t Crc32(const uint8_t* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

// A chunk whose length field says `length`; only `data` follows it.
Bytes MakeChunk(const char* type, const Bytes& data, uint32_t length)
{
    Bytes c = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length),
               uint8_t(type[0]),      uint8_t(type[1]),      uint8_t(type[2]),     uint8_t(type[3])};
    c.insert(c.end(), data.begin(), data.end());
    const uint32_t crc = Crc32(c.data() + 4, c.size() - 4);
    c.insert(c.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
    return c;
}

// The file with a chunk inserted after IHDR.
Bytes AfterHeader(Bytes file, const Bytes& chunk)
{
    file.insert(file.begin() + 8 + 25, chunk.begin(), chunk.end());
    return file;
}

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class PngTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override { ImgFree(img); }
    std::string File(const std::string& name) const { return machine.Scratch() + "/" + name; }

    // A picture of the given depth whose bytes count up.
    void Make(int32_t width, int32_t height, int32_t bits)
    {
        ImgAlloc(img, width, height, bits);
        ASSERT_EQ(ErrGet(), 0);
        for (int32_t i = 0; i < img.Size; ++i) img.Data[i] = static_cast<uint8_t>(i * 7 + 3);
        for (int i = 0; i < 256; ++i) {
            img.Palette[i][0] = static_cast<uint8_t>(i);
            img.Palette[i][1] = static_cast<uint8_t>(255 - i);
            img.Palette[i][2] = static_cast<uint8_t>(i * 3);
        }
    }

    TempMachine machine;
    Limg img;
};

TEST_F(PngTest, SixteenBitRgbaLoadsAsTwentyFourBitsOverBlack)
{
    const uint32_t w = 3, h = 2;
    Bytes rows;
    for (uint32_t i = 0; i < w * h; ++i)  // R, G, B, A as 16-bit big-endian samples
        rows.insert(rows.end(), {uint8_t(0x10 + i), 0xAA, uint8_t(0x20 + i), 0xBB, uint8_t(0x30 + i), 0xCC, 0x7F, 0});
    WritePng(File("rgba16.png"), w, h, 16, PNG_COLOR_TYPE_RGB_ALPHA, rows);

    TFileInfo info;
    PNGInfo(File("rgba16.png"), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Bits, 64);
    EXPECT_EQ(info.Picture.BytesPP, 8);
    EXPECT_EQ(info.Picture.Width, 3);
    EXPECT_EQ(info.Picture.Compression, "Deflate compression (modified LZ77)");
    EXPECT_TRUE(info.Picture.Loadable);
    EXPECT_EQ(info.FileSize, static_cast<int32_t>(extcodec::ReadHost(File("rgba16.png")).size()));

    PNGLoad(File("rgba16.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    EXPECT_EQ(img.BytesPP, 3);
    ASSERT_EQ(img.Width * img.Height, 6);
    // Samples cut to 8 bits, then laid over black by the alpha of 0x7F, rounded.
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(img.Data[i * 3 + 0], ((0x30 + i) * 0x7F + 127) / 255);  // blue
        EXPECT_EQ(img.Data[i * 3 + 1], ((0x20 + i) * 0x7F + 127) / 255);
        EXPECT_EQ(img.Data[i * 3 + 2], ((0x10 + i) * 0x7F + 127) / 255);  // red
    }
}

TEST_F(PngTest, OneBitGreyLoadsScaledWithTheGreyRamp)
{
    Bytes rows = {0b10110000, 0b01000000};  // 4 x 2
    WritePng(File("g1.png"), 4, 2, 1, PNG_COLOR_TYPE_GRAY, rows);
    TFileInfo info;
    PNGInfo(File("g1.png"), info);
    EXPECT_EQ(info.Picture.Bits, 1);
    EXPECT_EQ(info.Picture.BytesPP, 1);
    PNGLoad(File("g1.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(Bytes(img.Data, img.Data + 8), (Bytes{255, 0, 255, 255, 0, 255, 0, 0}));
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(img.Palette[i][0], i);
        EXPECT_EQ(img.Palette[i][2], i);
    }
}

TEST_F(PngTest, PaletteIsBlueGreenRedInTheRecordAndRedGreenBlueInTheFile)
{
    std::vector<png_color> palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    WritePng(File("p.png"), 2, 2, 8, PNG_COLOR_TYPE_PALETTE, Bytes{0, 1, 2, 1}, palette);
    PNGLoad(File("p.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(Bytes(img.Data, img.Data + 4), (Bytes{0, 1, 2, 1}));
    EXPECT_EQ(img.Palette[1][0], 60);  // blue
    EXPECT_EQ(img.Palette[1][1], 50);
    EXPECT_EQ(img.Palette[1][2], 40);  // red
    EXPECT_EQ(img.Palette[3][0], 0);   // entries the file lacks are black

    Limg big;
    ImgAlloc(big, 4, 4, 8);
    std::memset(big.Data, 2, big.Size);
    std::memcpy(big.Palette, img.Palette, sizeof big.Palette);
    big.Palette[255][0] = 1, big.Palette[255][1] = 2, big.Palette[255][2] = 3;
    PNGSave(File("out.png"), big);
    ASSERT_EQ(ErrGet(), 0);
    ImgFree(big);
    Bytes file = extcodec::ReadHost(File("out.png"));
    Bytes ihdr = Chunk(file, "IHDR");
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(ihdr[8], 8);   // bit depth
    EXPECT_EQ(ihdr[9], 3);   // palette colour type
    EXPECT_EQ(ihdr[12], 0);  // not interlaced
    Bytes plte = Chunk(file, "PLTE");
    ASSERT_EQ(plte.size(), 768u);
    EXPECT_EQ(Bytes(plte.begin(), plte.begin() + 9), (Bytes{10, 20, 30, 40, 50, 60, 70, 80, 90}));
    EXPECT_EQ(Bytes(plte.end() - 3, plte.end()), (Bytes{3, 2, 1}));
}

TEST_F(PngTest, OtherDepthsSaveAsRgb)
{
    for (int bits : {15, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        Make(5, 4, bits);
        PNGSave(File("rgb.png"), img);
        ASSERT_EQ(ErrGet(), 0);
        Bytes ihdr = Chunk(extcodec::ReadHost(File("rgb.png")), "IHDR");
        ASSERT_EQ(ihdr.size(), 13u);
        EXPECT_EQ(ihdr[8], 8);
        EXPECT_EQ(ihdr[9], 2);
        EXPECT_EQ(img.Bits, bits);  // the caller's picture is left as it was
        ImgFree(img);
    }
    Make(4, 5, 24);
    PNGSave(File("rgb.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    Limg back;
    PNGLoad(File("rgb.png"), back);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(back.Data, back.Data + back.Size), Bytes(img.Data, img.Data + img.Size));
    ImgFree(back);
}

TEST_F(PngTest, SaveChecksTheSides)
{
    Make(3, 3, 24);
    PNGSave(File("small.png"), img);
    EXPECT_EQ(ErrGet(), 11001);
    EXPECT_EQ(ErrText(11001), "FF initialization failed.");
    ImgFree(img);
    Make(4097, 4, 8);
    PNGSave(File("wide.png"), img);
    EXPECT_EQ(ErrGet(), 11001);
    ImgFree(img);
    Make(4096, 4, 8);
    PNGSave(File("ok.png"), img);
    EXPECT_EQ(ErrGet(), 0);
}

TEST_F(PngTest, ForeignAndDamagedFiles)
{
    const int32_t blocks = MemCount(), files = FCount();
    extcodec::WriteHost(File("gif.png"), {'G', 'I', 'F', '8', '9', 'a', 0, 0});
    PNGLoad(File("gif.png"), img);
    EXPECT_EQ(ErrGet(), 6002);
    extcodec::WriteHost(File("tiny.png"), {0x89, 'P'});
    TFileInfo info;
    PNGInfo(File("tiny.png"), info);
    EXPECT_EQ(ErrGet(), 6002);

    WritePng(File("good.png"), 16, 16, 8, PNG_COLOR_TYPE_GRAY, Bytes(256, 77));
    Bytes bytes = extcodec::ReadHost(File("good.png"));
    Bytes crc = bytes;
    crc[16] ^= 0x01;  // width inside IHDR: the chunk's CRC no longer matches
    extcodec::WriteHost(File("crc.png"), crc);
    PNGLoad(File("crc.png"), img);
    EXPECT_EQ(ErrGet(), 1);
    EXPECT_EQ(ErrText(1), "External error: IHDR: CRC error");
    EXPECT_EQ(img.Data, nullptr);

    Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size()) - 20);
    extcodec::WriteHost(File("cut.png"), cut);
    PNGLoad(File("cut.png"), img);
    EXPECT_EQ(ErrGet(), 5003);

    EXPECT_EQ(MemCount(), blocks);
    EXPECT_EQ(FCount(), files);
}

TEST_F(PngTest, ChunkLengthsAreNotTakenOnTrust)
{
    const int32_t blocks = MemCount(), files = FCount();
    WritePng(File("good.png"), 16, 16, 8, PNG_COLOR_TYPE_GRAY, Bytes(256, 77));
    const Bytes good = extcodec::ReadHost(File("good.png"));

    // A text chunk that claims 2 GB: passed over until the file ends, never buffered.
    const long before = PeakKilobytes();
    extcodec::WriteHost(File("claim.png"), AfterHeader(good, MakeChunk("iTXt", Bytes(16, 'a'), 0x7FFFFF00u)));
    TFileInfo info;
    PNGInfo(File("claim.png"), info);
    EXPECT_EQ(ErrGet(), 5003);
    PNGLoad(File("claim.png"), img);
    EXPECT_EQ(ErrGet(), 5003);
    EXPECT_LT(PeakKilobytes() - before, 64 * 1024);

    // Whole text chunks larger than any metadata cap are passed over too.
    Bytes text(300000, 'b');
    text[3] = 0;
    extcodec::WriteHost(File("text.png"), AfterHeader(good, MakeChunk("tEXt", text, uint32_t(text.size()))));
    ErrResetState();
    PNGLoad(File("text.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[255], 77);
    ImgFree(img);

    // A header of 30000 x 30000 over one small image data chunk.
    Bytes big = good;
    big[16 + 1] = 0, big[16 + 2] = 0x75, big[16 + 3] = 0x30;
    big[20 + 1] = 0, big[20 + 2] = 0x75, big[20 + 3] = 0x30;
    const uint32_t crc = Crc32(&big[12], 17);
    big[29] = uint8_t(crc >> 24), big[30] = uint8_t(crc >> 16), big[31] = uint8_t(crc >> 8), big[32] = uint8_t(crc);
    extcodec::WriteHost(File("big.png"), big);
    PNGInfo(File("big.png"), info);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Width, 30000);
    PNGLoad(File("big.png"), img);
    EXPECT_EQ(ErrGet(), 6003);
    EXPECT_EQ(img.Data, nullptr);

    EXPECT_EQ(MemCount(), blocks);
    EXPECT_EQ(FCount(), files);
}

TEST_F(PngTest, LoadsPicturesTallerThan4096Rows)
{
    const uint32_t h = 5000;
    Bytes rows(h);
    for (uint32_t y = 0; y < h; ++y) rows[y] = static_cast<uint8_t>(y);
    WritePng(File("tall.png"), 1, h, 8, PNG_COLOR_TYPE_GRAY, rows);
    PNGLoad(File("tall.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Height, 5000);
    EXPECT_EQ(img.Data[4999], static_cast<uint8_t>(4999));
}

TEST_F(PngTest, InterlacedFilesLoadWhole)
{
    Bytes rows(9 * 7 * 3);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i);
    WritePng(File("adam7.png"), 9, 7, 8, PNG_COLOR_TYPE_RGB, rows, {}, PNG_INTERLACE_ADAM7);
    WrnClear();
    PNGLoad(File("adam7.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    ASSERT_EQ(img.Size, 9 * 7 * 3);
    for (int i = 0; i < img.Size; i += 3) {
        EXPECT_EQ(img.Data[i], rows[i + 2]);
        EXPECT_EQ(img.Data[i + 1], rows[i + 1]);
    }
}

TEST_F(PngTest, WrittenFilesReadBackByPillow)
{
    REQUIRE_PILLOW();
    Make(6, 5, 8);
    PNGSave(File("p8.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    extcodec::PillowPicture pic;
    ASSERT_TRUE(extcodec::PillowRead(File("p8.png"), pic));
    EXPECT_EQ(pic.Mode, "P");
    EXPECT_EQ(pic.Width, 6);
    EXPECT_EQ(pic.Pixels, Bytes(img.Data, img.Data + img.Size));
    ASSERT_EQ(pic.Palette.size(), 768u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(pic.Palette[i * 3 + 0], img.Palette[i][2]);
        EXPECT_EQ(pic.Palette[i * 3 + 2], img.Palette[i][0]);
    }
    ImgFree(img);

    Make(7, 4, 24);
    PNGSave(File("c24.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    ASSERT_TRUE(extcodec::PillowRead(File("c24.png"), pic));
    EXPECT_EQ(pic.Mode, "RGB");
    ASSERT_EQ(pic.Pixels.size(), static_cast<size_t>(img.Size));
    for (int32_t i = 0; i < img.Size; i += 3) {
        EXPECT_EQ(pic.Pixels[i], img.Data[i + 2]);
        EXPECT_EQ(pic.Pixels[i + 2], img.Data[i]);
    }
}

TEST_F(PngTest, FilesWrittenByPillowLoad)
{
    REQUIRE_PILLOW();
    Bytes rgb;
    for (int i = 0; i < 9 * 4; ++i) rgb.insert(rgb.end(), {uint8_t(i), uint8_t(200 - i), uint8_t(i * 5)});
    ASSERT_TRUE(extcodec::PillowWrite(File("pil.png"), "RGB", 9, 4, rgb, "optimize=True"));
    PNGLoad(File("pil.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    ASSERT_EQ(img.Size, 9 * 4 * 3);
    for (int i = 0; i < img.Size; i += 3) {
        EXPECT_EQ(img.Data[i], rgb[i + 2]);
        EXPECT_EQ(img.Data[i + 2], rgb[i]);
    }
    ImgFree(img);

    Bytes indices = {0, 1, 2, 3, 3, 2, 1, 0};
    Bytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7};
    ASSERT_TRUE(extcodec::PillowWrite(File("pilp.png"), "P", 4, 2, indices, "bits=2", palette));
    PNGLoad(File("pilp.png"), img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 8), indices);
    EXPECT_EQ(img.Palette[0][2], 255);
    EXPECT_EQ(img.Palette[2][0], 255);
    EXPECT_EQ(img.Palette[3][0], 7);
    EXPECT_EQ(img.Palette[3][2], 9);
}

}  // namespace
