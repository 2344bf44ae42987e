#include <gtest/gtest.h>

#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "pixcodec/pixcodec.h"

namespace {

class ScratchDir {
public:
    ScratchDir()
    {
        char pattern[] = "/tmp/pixcodec-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made) path_ = made;
    }
    ~ScratchDir()
    {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Encodes with libjpeg directly, as an independent writer.
void EncodeReference(const std::string& path, const std::vector<uint8_t>& pixels, int w, int h, int comps,
                     J_COLOR_SPACE space, int quality)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_stdio_dest(&c, f);
    c.image_width = w;
    c.image_height = h;
    c.input_components = comps;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + c.next_scanline * w * comps);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

std::vector<uint8_t> Solid(int w, int h, std::vector<uint8_t> px)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < w * h; ++i) out.insert(out.end(), px.begin(), px.end());
    return out;
}

TEST(PixJpeg, WritesAndReadsBlueGreenRed)
{
    ScratchDir dir;
    const int w = 32, h = 16;
    std::vector<uint8_t> bgr = Solid(w, h, {0, 0, 255});  // pure red
    for (int x = 0; x < w; ++x)                           // bottom rows blue
        for (int y = 8; y < h; ++y) {
            uint8_t* p = &bgr[(y * w + x) * 3];
            p[0] = 255, p[1] = 0, p[2] = 0;
        }
    std::string file = dir.File("a.jpg");
    ASSERT_EQ(write_JPEG_file(file.c_str(), bgr.data(), w, h, 85), 0);

    int32_t iw = 0, ih = 0, ic = 0;
    ASSERT_EQ(info_JPEG_file(file.c_str(), &iw, &ih, &ic), 0);
    EXPECT_EQ(iw, w);
    EXPECT_EQ(ih, h);
    EXPECT_EQ(ic, 3);

    std::vector<uint8_t> back(w * h * 3, 0);
    int32_t rw = 0, rh = 0, rc = 0;
    ASSERT_EQ(read_JPEG_file(file.c_str(), back.data(), back.size(), &rw, &rh, &rc), 0);
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_EQ(rc, 3);
    const uint8_t* top = &back[(2 * w + 4) * 3];
    EXPECT_LT(top[0], 40);
    EXPECT_GT(top[2], 215);
    const uint8_t* bottom = &back[(13 * w + 4) * 3];
    EXPECT_GT(bottom[0], 215);
    EXPECT_LT(bottom[2], 40);
}

TEST(PixJpeg, WritesTheQualityAsked)
{
    ScratchDir dir;
    const int w = 16, h = 16;
    std::vector<uint8_t> bgr = Solid(w, h, {10, 100, 200});
    std::string ours = dir.File("ours.jpg");
    std::string ref = dir.File("ref.jpg");
    ASSERT_EQ(write_JPEG_file(ours.c_str(), bgr.data(), w, h, 85), 0);
    EncodeReference(ref, Solid(w, h, {200, 100, 10}), w, h, 3, JCS_RGB, 85);

    auto tables = [](const std::string& path) {
        jpeg_decompress_struct d{};
        jpeg_error_mgr err{};
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        FILE* f = std::fopen(path.c_str(), "rb");
        jpeg_stdio_src(&d, f);
        jpeg_read_header(&d, TRUE);
        std::vector<int> q;
        for (int t = 0; t < 2; ++t)
            for (int i = 0; i < DCTSIZE2; ++i) q.push_back(d.quant_tbl_ptrs[t] ? d.quant_tbl_ptrs[t]->quantval[i] : -1);
        jpeg_destroy_decompress(&d);
        std::fclose(f);
        return q;
    };
    std::vector<int> ourTables = tables(ours);
    EXPECT_EQ(ourTables, tables(ref));
    // Quality 85 scales the standard luminance table's first entry 16 to 5.
    EXPECT_EQ(ourTables[0], 5);
}

TEST(PixJpeg, ReadsGreyAsOneByte)
{
    ScratchDir dir;
    const int w = 8, h = 8;
    std::vector<uint8_t> grey(w * h);
    for (int i = 0; i < w * h; ++i) grey[i] = static_cast<uint8_t>(i < 32 ? 40 : 220);
    std::string file = dir.File("g.jpg");
    EncodeReference(file, grey, w, h, 1, JCS_GRAYSCALE, 95);
    int32_t iw, ih, ic;
    ASSERT_EQ(info_JPEG_file(file.c_str(), &iw, &ih, &ic), 0);
    EXPECT_EQ(ic, 1);
    std::vector<uint8_t> back(w * h, 0);
    ASSERT_EQ(read_JPEG_file(file.c_str(), back.data(), back.size(), &iw, &ih, &ic), 0);
    EXPECT_NEAR(back[0], 40, 8);
    EXPECT_NEAR(back[w * h - 1], 220, 8);
}

TEST(PixJpeg, ReadsAdobeCmykAsBlueGreenRed)
{
    ScratchDir dir;
    const int w = 8, h = 8;
    // Adobe CMYK is stored inverted: 255 is no ink. No yellow ink, full cyan and magenta: blue.
    std::string file = dir.File("cmyk.jpg");
    EncodeReference(file, Solid(w, h, {0, 0, 255, 255}), w, h, 4, JCS_CMYK, 95);
    int32_t iw, ih, ic;
    ASSERT_EQ(info_JPEG_file(file.c_str(), &iw, &ih, &ic), 0);
    EXPECT_EQ(ic, 3);
    std::vector<uint8_t> back(w * h * 3, 0);
    ASSERT_EQ(read_JPEG_file(file.c_str(), back.data(), back.size(), &iw, &ih, &ic), 0);
    EXPECT_GT(back[0], 240);  // blue
    EXPECT_LT(back[1], 15);
    EXPECT_LT(back[2], 15);
}

TEST(PixJpeg, RefusesABufferTooSmall)
{
    ScratchDir dir;
    const int w = 16, h = 16;
    std::string file = dir.File("a.jpg");
    ASSERT_EQ(write_JPEG_file(file.c_str(), Solid(w, h, {1, 2, 3}).data(), w, h, 85), 0);
    std::vector<uint8_t> small(w * h * 3 + 16, 0xEE);
    int32_t rw, rh, rc;
    EXPECT_NE(read_JPEG_file(file.c_str(), small.data(), w * h * 3 - 1, &rw, &rh, &rc), 0);
    EXPECT_EQ(small[w * h * 3 - 1], 0xEE);
    EXPECT_STREQ(pixcodec_JPEG_message(), "Image buffer too small");
}

TEST(PixJpeg, FailsCleanlyOnDamagedFiles)
{
    ScratchDir dir;
    std::string junk = dir.File("junk.jpg");
    WriteAll(junk, {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    int32_t w, h, c;
    EXPECT_NE(info_JPEG_file(junk.c_str(), &w, &h, &c), 0);
    EXPECT_NE(std::string(pixcodec_JPEG_message()).find("Not a JPEG file"), std::string::npos);
    EXPECT_NE(info_JPEG_file(dir.File("missing.jpg").c_str(), &w, &h, &c), 0);

    // A file cut after its header decodes to a partial picture without failing.
    std::string good = dir.File("good.jpg");
    std::vector<uint8_t> noise(64 * 64 * 3);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 7919u) >> 3);
    ASSERT_EQ(write_JPEG_file(good.c_str(), noise.data(), 64, 64, 85), 0);
    std::vector<uint8_t> bytes = ReadAll(good);
    bytes.resize(bytes.size() * 2 / 3);
    std::string cut = dir.File("cut.jpg");
    WriteAll(cut, bytes);
    std::vector<uint8_t> back(64 * 64 * 3);
    EXPECT_EQ(read_JPEG_file(cut.c_str(), back.data(), back.size(), &w, &h, &c), 0);

    bytes.resize(200);  // inside the header tables
    WriteAll(cut, bytes);
    EXPECT_NE(read_JPEG_file(cut.c_str(), back.data(), back.size(), &w, &h, &c), 0);
}

// libjpeg's own decode of a file through its stdio source, blue-green-red.
std::vector<uint8_t> ReferenceDecode(const std::string& path)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    FILE* f = std::fopen(path.c_str(), "rb");
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    std::vector<uint8_t> out(static_cast<size_t>(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &out[static_cast<size_t>(d.output_scanline) * d.output_width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    return out;
}

TEST(PixJpeg, ReadsEveryFileAsLibjpegsOwnFileSourceDoes)
{
    // Files of a few hundred kilobytes cross the reader's buffer many times:
    // sequential, progressive, with restart markers, and cut short.
    ScratchDir dir;
    const int w = 700, h = 500;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
    uint32_t state = 99;
    for (size_t i = 0; i < px.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        px[i] = static_cast<uint8_t>((i / 3 % w) / 6 + (state >> 25));
    }
    const std::string plain = dir.File("plain.jpg");
    ASSERT_EQ(write_JPEG_file(plain.c_str(), px.data(), w, h, 95), 0);
    auto encode = [&](const std::string& path, bool progressive, int restart) {
        jpeg_compress_struct c{};
        jpeg_error_mgr err{};
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        FILE* f = std::fopen(path.c_str(), "wb");
        jpeg_stdio_dest(&c, f);
        c.image_width = w;
        c.image_height = h;
        c.input_components = 3;
        c.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        if (progressive) jpeg_simple_progression(&c);
        c.restart_interval = static_cast<unsigned>(restart);
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = &px[static_cast<size_t>(c.next_scanline) * w * 3];
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(f);
    };
    const std::string progressive = dir.File("progressive.jpg"), restarts = dir.File("restarts.jpg");
    encode(progressive, true, 0);
    encode(restarts, false, 7);
    std::vector<std::string> files = {plain, progressive, restarts};
    for (const std::string& whole : {plain, progressive}) {
        std::vector<uint8_t> bytes = ReadAll(whole);
        ASSERT_GT(bytes.size(), 2u * 65536);
        for (size_t keep : {bytes.size() / 3, size_t{65536} + 100}) {
            files.push_back(whole + std::to_string(keep) + ".jpg");
            WriteAll(files.back(), std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(keep)));
        }
    }
    for (const std::string& file : files) {
        std::vector<uint8_t> back(px.size(), 0xEE);
        int32_t rw = 0, rh = 0, rc = 0;
        ASSERT_EQ(read_JPEG_file(file.c_str(), back.data(), back.size(), &rw, &rh, &rc), 0) << file;
        EXPECT_TRUE(back == ReferenceDecode(file)) << file;
    }

    const std::string empty = dir.File("empty.jpg");
    WriteAll(empty, {});
    int32_t iw, ih, ic;
    EXPECT_NE(info_JPEG_file(empty.c_str(), &iw, &ih, &ic), 0);
    EXPECT_STREQ(pixcodec_JPEG_message(), "Empty input file");
}

TEST(PixJpeg, WriteFailureLeavesNoFile)
{
    ScratchDir dir;
    std::string file = dir.File("nofolder/a.jpg");
    std::vector<uint8_t> px = Solid(4, 4, {0, 0, 0});
    EXPECT_NE(write_JPEG_file(file.c_str(), px.data(), 4, 4, 85), 0);
    EXPECT_NE(write_JPEG_file(dir.File("b.jpg").c_str(), px.data(), 0, 4, 85), 0);
    EXPECT_NE(access(dir.File("b.jpg").c_str(), F_OK), 0);
}

std::vector<std::string> tiffErrors, tiffWarnings;
void RecordError(const char* text)
{
    tiffErrors.emplace_back(text);
}
void RecordWarning(const char* text)
{
    tiffWarnings.emplace_back(text);
}

TEST(PixTiff, RoutesMessagesToTheCallbacks)
{
    ScratchDir dir;
    tiffErrors.clear();
    ExternErrorSet(RecordError);
    ExternWarningSet(RecordWarning);
    std::string junk = dir.File("junk.tif");
    WriteAll(junk, {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F});
    EXPECT_EQ(TIFFOpen(junk.c_str(), "r"), nullptr);
    ASSERT_FALSE(tiffErrors.empty());
    EXPECT_NE(tiffErrors.back().find(':'), std::string::npos);

    std::string file = dir.File("a.tif");
    TIFF* out = TIFFOpen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, 5u);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, 3u);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    uint8_t row[5] = {1, 2, 3, 4, 5};
    for (uint32_t r = 0; r < 3; ++r) TIFFWriteScanline(out, row, r, 0);
    TIFFClose(out);

    TIFF* in = TIFFOpen(file.c_str(), "r");
    ASSERT_NE(in, nullptr);
    uint32_t width = 0;
    uint16_t bits = 0;
    EXPECT_EQ(_TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width), 1);
    EXPECT_EQ(_TIFFGetField(in, TIFFTAG_BITSPERSAMPLE, &bits), 1);
    EXPECT_EQ(width, 5u);
    EXPECT_EQ(bits, 8);
    TIFFClose(in);

    ExternErrorSet(nullptr);
    ExternWarningSet(nullptr);
    size_t before = tiffErrors.size();
    EXPECT_EQ(TIFFOpen(junk.c_str(), "r"), nullptr);
    EXPECT_EQ(tiffErrors.size(), before);
}

}  // namespace
