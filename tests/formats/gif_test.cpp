#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/FFBasic.h"
#include "formats/FF_GIF.h"
#include "foundation/Errors.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Rgb = std::array<uint8_t, 3>;

// LSB-first code packing, as GIF stores codes.
class BitWriter {
public:
    void Put(int code, int width)
    {
        acc_ |= static_cast<uint32_t>(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(acc_));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    Bytes Finish()
    {
        if (bits_ > 0) bytes_.push_back(static_cast<uint8_t>(acc_));
        bits_ = 0;
        acc_ = 0;
        return bytes_;
    }

private:
    Bytes bytes_;
    uint32_t acc_ = 0;
    int bits_ = 0;
};

// Minimum code size byte, payload in sub-blocks of up to 255 bytes, terminator.
Bytes SubBlocks(int minCodeSize, const Bytes& payload)
{
    Bytes out{static_cast<uint8_t>(minCodeSize)};
    for (size_t i = 0; i < payload.size(); i += 255) {
        size_t n = std::min<size_t>(255, payload.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), payload.begin() + static_cast<long>(i), payload.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
    return out;
}

struct EncodeOptions {
    bool clearFirst = true;
    bool clearWhenFull = true;
};

// A plain GIF LZW encoder.
Bytes LzwEncode(const Bytes& pixels, int m, EncodeOptions options = {})
{
    const int clear = 1 << m;
    const int end = clear + 1;
    int next = clear + 2;
    int width = m + 1;
    std::map<std::pair<int, int>, int> dict;
    BitWriter w;
    if (options.clearFirst) w.Put(clear, width);
    if (!pixels.empty()) {
        int prefix = pixels[0];
        for (size_t i = 1; i < pixels.size(); ++i) {
            auto it = dict.find({prefix, pixels[i]});
            if (it != dict.end()) {
                prefix = it->second;
                continue;
            }
            w.Put(prefix, width);
            if (next < 4096) {
                dict[{prefix, pixels[i]}] = next++;
                if (next > (1 << width) && width < 12) ++width;
            } else if (options.clearWhenFull) {
                w.Put(clear, width);
                dict.clear();
                next = clear + 2;
                width = m + 1;
            }
            prefix = pixels[i];
        }
        w.Put(prefix, width);
    }
    w.Put(end, width);
    return SubBlocks(m, w.Finish());
}

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    Bytes pixels;  // rows from the top
    bool control = true;
    int delay = 0;
    int disposal = 0;
    int transparent = -1;
    bool interlaced = false;
    std::vector<Rgb> local;
    EncodeOptions encode;
};

Bytes InterlaceOrder(const Bytes& pixels, int width, int height)
{
    Bytes out;
    const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
        for (int r = starts[p]; r < height; r += steps[p])
            out.insert(out.end(), pixels.begin() + r * width, pixels.begin() + (r + 1) * width);
    return out;
}

int TableBits(size_t entries)
{
    int n = 0;
    while ((2u << n) < entries) ++n;
    return n;
}

void PutTable(Bytes& b, const std::vector<Rgb>& table)
{
    int n = TableBits(table.size());
    for (int i = 0; i < (2 << n); ++i) {
        Rgb c = i < static_cast<int>(table.size()) ? table[i] : Rgb{0, 0, 0};
        b.insert(b.end(), c.begin(), c.end());
    }
}

void PutU16(Bytes& b, int v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

Bytes MakeGif(int sw, int sh, const std::vector<Rgb>& global, int background, const std::vector<Frame>& frames,
              const char* version = "89a")
{
    Bytes b{'G',
            'I',
            'F',
            static_cast<uint8_t>(version[0]),
            static_cast<uint8_t>(version[1]),
            static_cast<uint8_t>(version[2])};
    PutU16(b, sw);
    PutU16(b, sh);
    b.push_back(global.empty() ? 0 : static_cast<uint8_t>(0x80 | TableBits(global.size())));
    b.push_back(static_cast<uint8_t>(background));
    b.push_back(0);
    if (!global.empty()) PutTable(b, global);
    for (const Frame& f : frames) {
        if (f.control) {
            b.insert(b.end(), {0x21, 0xF9, 0x04});
            b.push_back(static_cast<uint8_t>((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0)));
            PutU16(b, f.delay);
            b.push_back(static_cast<uint8_t>(f.transparent >= 0 ? f.transparent : 0));
            b.push_back(0);
        }
        b.push_back(0x2C);
        PutU16(b, f.left);
        PutU16(b, f.top);
        PutU16(b, f.width);
        PutU16(b, f.height);
        uint8_t packed = f.interlaced ? 0x40 : 0;
        if (!f.local.empty()) packed |= static_cast<uint8_t>(0x80 | TableBits(f.local.size()));
        b.push_back(packed);
        if (!f.local.empty()) PutTable(b, f.local);
        Bytes px = f.interlaced ? InterlaceOrder(f.pixels, f.width, f.height) : f.pixels;
        Bytes data = LzwEncode(px, 8, f.encode);
        b.insert(b.end(), data.begin(), data.end());
    }
    b.push_back(0x3B);
    return b;
}

Frame Solid(int left, int top, int width, int height, uint8_t value)
{
    Frame f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.pixels.assign(static_cast<size_t>(width * height), value);
    return f;
}

const std::vector<Rgb> Pal4 = {Rgb{0, 0, 0}, Rgb{255, 0, 0}, Rgb{0, 255, 0}, Rgb{0, 0, 255}};

Bytes ReadHost(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes a code stream with the decoder alone; bytes past `limit` stay 0xEE.
Bytes Decode(const Bytes& stream, int limit, int& written, int room = 64)
{
    Bytes out(static_cast<size_t>(limit + room), 0xEE);
    std::vector<uint8_t> tables(GIFLzwTableSize);
    written = GIFDecodeLZW(stream.data(), static_cast<int32_t>(stream.size()), out.data(), limit, tables.data());
    return out;
}

class GifTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override
    {
        ImgFree(img);
        ErrResetState();
    }

    std::string Put(const Bytes& bytes, const std::string& name = "C:\\T.GIF")
    {
        machine.WriteFile(name, bytes);
        return name;
    }
    void LoadFirst(const Bytes& bytes)
    {
        std::string name = Put(bytes);
        GIFLoadFirst(name, img);
    }
    TFileInfo Info(const std::string& name, bool fullScan = true)
    {
        TFileInfo info;
        GIFInfo(name, info, fullScan);
        return info;
    }
    uint8_t At(int x, int y) const { return img.Data[y * img.Width + x]; }

    TempMachine machine;
    Limg img;
};

TEST(GifLzw, ClearCodeRightAfterCodeSize)
{
    Bytes px = {1, 2, 3, 1, 2, 3, 1, 2, 3, 3, 3, 3};
    int n = 0;
    Bytes out = Decode(LzwEncode(px, 8), 12, n);
    EXPECT_EQ(n, 12);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 12), px);
    // Without the leading clear code too.
    out = Decode(LzwEncode(px, 8, {false, true}), 12, n);
    EXPECT_EQ(n, 12);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 12), px);
}

TEST(GifLzw, CodeEqualToNextRepeatsThePreviousStringAndItsFirstByte)
{
    // m = 2: clear 4, end 5; width 3. Codes: clear, 1, 6 (= next), end.
    BitWriter w;
    for (int code : {4, 1, 6, 5}) w.Put(code, 3);
    int n = 0;
    Bytes out = Decode(SubBlocks(2, w.Finish()), 16, n);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{1, 1, 1, 0xEE}));
    // A run makes the encoder use that case repeatedly.
    Bytes run(1000, 7);
    out = Decode(LzwEncode(run, 8), 1000, n);
    EXPECT_EQ(n, 1000);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1000), run);
}

TEST(GifLzw, FullTableWithoutClearCodesKeepsDecoding)
{
    Bytes px(30000);
    uint32_t seed = 12345;
    for (auto& p : px) {
        seed = seed * 1103515245u + 12345u;
        p = static_cast<uint8_t>(seed >> 24);
    }
    int n = 0;
    Bytes out = Decode(LzwEncode(px, 8, {true, false}), 30000, n);
    EXPECT_EQ(n, 30000);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 30000), px);
    out = Decode(LzwEncode(px, 8, {true, true}), 30000, n);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 30000), px);
}

TEST(GifLzw, StringsAreCutAtTheOutputLimit)
{
    Bytes run(500, 9);
    int n = 0;
    Bytes out = Decode(LzwEncode(run, 8), 100, n);
    EXPECT_EQ(n, 100);
    EXPECT_EQ(out[99], 9);
    EXPECT_EQ(out[100], 0xEE);
}

TEST(GifLzw, BadStreamsEndCleanly)
{
    int n = 0;
    // A code beyond the table ends the decoding after what came before.
    BitWriter w;
    for (int code : {4, 2, 7, 1, 5}) w.Put(code, 3);
    Bytes out = Decode(SubBlocks(2, w.Finish()), 16, n);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 0xEE);
    // Code sizes outside 1..8 cannot be decoded.
    EXPECT_EQ(Decode(Bytes{0, 1, 0, 0}, 4, n)[0], 0xEE);
    EXPECT_EQ(n, -1);
    Decode(Bytes{12, 1, 0, 0}, 4, n);
    EXPECT_EQ(n, -1);
    // A sub-block that claims more bytes than there are.
    Bytes stream = LzwEncode(Bytes(50, 3), 8);
    stream[1] = 250;
    Decode(stream, 50, n);
    EXPECT_GE(n, 0);
    EXPECT_LE(n, 50);
}

TEST_F(GifTest, VersionOtherThan87aOr89aIsRefused)
{
    LoadFirst(MakeGif(2, 2, Pal4, 0, {Solid(0, 0, 2, 2, 1)}, "88a"));
    EXPECT_EQ(ErrGet(), 6002);
    EXPECT_EQ(ErrText(6002), "Invalid image format.");
    ErrResetState();
    LoadFirst(MakeGif(2, 2, Pal4, 0, {Solid(0, 0, 2, 2, 1)}, "87a"));
    EXPECT_EQ(ErrGet(), 0);
}

TEST_F(GifTest, SingleFrameWithoutControlBlockLoads)
{
    Frame f = Solid(0, 0, 3, 2, 0);
    f.control = false;
    f.pixels = {0, 1, 2, 3, 2, 1};
    std::string name = Put(MakeGif(3, 2, Pal4, 0, {f}));
    GIFLoadFirst(name, img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Width, 3);
    EXPECT_EQ(img.Height, 2);
    EXPECT_EQ(img.Bits, 8);
    EXPECT_EQ(Bytes(img.Data, img.Data + 6), f.pixels);
    // Palette entries in blue, green, red order.
    EXPECT_EQ(img.Palette[1][2], 255);
    EXPECT_EQ(img.Palette[1][0], 0);
    EXPECT_EQ(img.Palette[3][0], 255);
    TFileInfo info = Info(name);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Frames, 1);
    EXPECT_EQ(info.Picture.FramesPerSec, 0.0);
    EXPECT_EQ(info.Picture.Width, 3);
    EXPECT_EQ(info.Picture.Bits, 8);
    EXPECT_EQ(info.Picture.BytesPP, 1);
    EXPECT_EQ(info.Picture.Compression, "Variable-Length-Code LZW (Lempel-Ziv & Welch)");
    EXPECT_TRUE(info.Picture.Loadable);
    EXPECT_EQ(info.FileSize, static_cast<int32_t>(ReadHost(machine.Host(name)).size()));
}

TEST_F(GifTest, TinySingleFrameIsReadToTheEndOfItsData)
{
    // 1 x 1: its data is longer than 1.5 bytes per pixel.
    LoadFirst(MakeGif(1, 1, Pal4, 0, {Solid(0, 0, 1, 1, 3)}));
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(At(0, 0), 3);
}

TEST_F(GifTest, FrameRatesOfBothModes)
{
    std::vector<Frame> frames;
    for (int i = 0; i < 10; ++i) {
        Frame f = Solid(0, 0, 4, 4, static_cast<uint8_t>(i % 4));
        f.delay = 10;
        frames.push_back(f);
    }
    std::string name = Put(MakeGif(4, 4, Pal4, 0, frames));
    TFileInfo full = Info(name, true);
    EXPECT_EQ(full.Picture.Frames, 10);
    EXPECT_DOUBLE_EQ(full.Picture.FramesPerSec, 10.0);
    TFileInfo first = Info(name, false);
    EXPECT_EQ(first.Picture.Frames, 1);
    EXPECT_DOUBLE_EQ(first.Picture.FramesPerSec, 10.0);

    Frame three = Solid(0, 0, 4, 4, 1);
    three.delay = 3;
    name = Put(MakeGif(4, 4, Pal4, 0, {three}), "C:\\D3.GIF");
    EXPECT_DOUBLE_EQ(Info(name, false).Picture.FramesPerSec, 33.0);
    EXPECT_DOUBLE_EQ(Info(name, true).Picture.FramesPerSec, 100.0 / 3.0);
}

TEST_F(GifTest, FullScanLowerCasesTheName)
{
    Put(MakeGif(2, 2, Pal4, 0, {Solid(0, 0, 2, 2, 1)}), "C:\\MIXED.GIF");
    GIFHandle h;
    std::string name = "C:\\Mixed.GIF";
    GIFOpen(h, name, false);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(name, "c:\\mixed.gif");
    GIFClose(h);
}

TEST_F(GifTest, SecondInformationQueryIsAnsweredFromTheCache)
{
    std::vector<Frame> frames = {Solid(0, 0, 4, 4, 1), Solid(0, 0, 4, 4, 2), Solid(0, 0, 4, 4, 3)};
    Bytes bytes = MakeGif(4, 4, Pal4, 0, frames);
    std::string name = Put(bytes, "C:\\CACHE.GIF");
    std::string host = machine.Host(name);
    EXPECT_EQ(Info(name).Picture.Frames, 3);

    struct stat st {};
    ASSERT_EQ(stat(host.c_str(), &st), 0);
    // Same size and time stamp, but the frames are no longer findable.
    Bytes damaged = bytes;
    // A trailer in place of the second control block ends the frames there.
    for (size_t i = 13 + 12, seen = 0; i + 2 < damaged.size(); ++i)
        if (damaged[i] == 0x21 && damaged[i + 1] == 0xF9 && damaged[i + 2] == 0x04 && seen++ > 0) damaged[i] = 0x3B;
    {
        std::ofstream out(host, std::ios::binary);
        out.write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
    }
    timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    EXPECT_EQ(Info(name).Picture.Frames, 3);

    // A new time stamp makes the next query scan again.
    times[1].tv_sec += 10;
    ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    EXPECT_EQ(Info(name).Picture.Frames, 1);
}

TEST_F(GifTest, RewriteWithinTheSameSecondIsScannedAgain)
{
    std::vector<Frame> frames = {Solid(0, 0, 4, 4, 1), Solid(0, 0, 4, 4, 2), Solid(0, 0, 4, 4, 3)};
    Bytes bytes = MakeGif(4, 4, Pal4, 0, frames);
    std::string name = Put(bytes, "C:\\QUICK.GIF");
    std::string host = machine.Host(name);
    timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 100}};
    ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    EXPECT_EQ(Info(name).Picture.Frames, 3);

    // Rewritten at the same size, 200 nanoseconds later in the same second.
    Bytes damaged = bytes;
    // A trailer in place of the second control block ends the frames there.
    for (size_t i = 13 + 12, seen = 0; i + 2 < damaged.size(); ++i)
        if (damaged[i] == 0x21 && damaged[i + 1] == 0xF9 && damaged[i + 2] == 0x04 && seen++ > 0) damaged[i] = 0x3B;
    machine.WriteFile(name, damaged);
    times[1].tv_nsec = 300;
    ASSERT_EQ(utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    struct stat st {};
    ASSERT_EQ(stat(host.c_str(), &st), 0);
    if (st.st_mtim.tv_nsec != 300) GTEST_SKIP() << "the file system keeps no nanoseconds";
    EXPECT_EQ(Info(name).Picture.Frames, 1);
}

TEST_F(GifTest, CacheOfOneFileSurvivesFirstFrameLoadsOfAnother)
{
    std::vector<Frame> a = {Solid(0, 0, 4, 4, 1), Solid(0, 0, 4, 4, 2)};
    std::string nameA = Put(MakeGif(4, 4, Pal4, 0, a), "C:\\A.GIF");
    Frame comment = Solid(0, 0, 4, 4, 3);
    Bytes b = MakeGif(4, 4, Pal4, 0, {comment});
    // A comment extension moves the first frame of B.
    b.insert(b.begin() + 13 + 12, {0x21, 0xFE, 0x03, 'a', 'b', 'c', 0x00});
    std::string nameB = Put(b, "C:\\B.GIF");
    EXPECT_EQ(Info(nameA).Picture.Frames, 2);
    GIFLoadFirst(nameB, img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(At(0, 0), 3);

    GIFHandle h;
    std::string open = nameA;
    GIFOpen(h, open, false);
    ASSERT_EQ(h.Frames, 2);
    GIFLoad(h, img);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(At(0, 0), 1);
    GIFLoad(h, img);
    EXPECT_EQ(At(0, 0), 2);
    EXPECT_TRUE(h.EndFlag);
    GIFClose(h);
}

TEST_F(GifTest, InterlacedFrameIsDeinterlaced)
{
    Frame f = Solid(0, 0, 2, 11, 0);
    for (int r = 0; r < 11; ++r) f.pixels[r * 2] = f.pixels[r * 2 + 1] = static_cast<uint8_t>(r);
    f.interlaced = true;
    std::vector<Rgb> pal(16, Rgb{1, 2, 3});
    LoadFirst(MakeGif(2, 11, pal, 0, {f}));
    ASSERT_EQ(ErrGet(), 0);
    for (int r = 0; r < 11; ++r) {
        EXPECT_EQ(At(0, r), r);
        EXPECT_EQ(At(1, r), r);
    }
}

TEST_F(GifTest, InterlacedPartialFrameIsPlaced)
{
    Frame f = Solid(1, 2, 2, 5, 0);
    for (int r = 0; r < 5; ++r) f.pixels[r * 2] = f.pixels[r * 2 + 1] = static_cast<uint8_t>(r + 1);
    f.interlaced = true;
    std::vector<Rgb> pal(16, Rgb{1, 2, 3});
    LoadFirst(MakeGif(4, 8, pal, 9, {f}));
    ASSERT_EQ(ErrGet(), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x) {
            bool inside = x >= 1 && x < 3 && y >= 2 && y < 7;
            EXPECT_EQ(At(x, y), inside ? y - 1 : 9) << x << "," << y;
        }
}

TEST_F(GifTest, LocalPaletteReplacesTheImagePalette)
{
    Frame f = Solid(0, 0, 2, 2, 1);
    f.local = {Rgb{10, 20, 30}, Rgb{40, 50, 60}};
    LoadFirst(MakeGif(2, 2, Pal4, 0, {f}));
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Palette[1][0], 60);
    EXPECT_EQ(img.Palette[1][1], 50);
    EXPECT_EQ(img.Palette[1][2], 40);
    EXPECT_EQ(img.Palette[0][0], 30);
}

TEST_F(GifTest, FirstFrameSmallerThanTheScreenIsDrawnOverTheBackground)
{
    Frame f = Solid(2, 1, 2, 2, 0);
    f.pixels = {1, 2, 3, 1};
    LoadFirst(MakeGif(5, 4, Pal4, 3, {f}));
    ASSERT_EQ(ErrGet(), 0);
    const char* expect[4] = {"33333", "33123", "33313", "33333"};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(At(x, y), expect[y][x] - '0') << x << "," << y;
}

TEST_F(GifTest, FramesPastTheScreenEdgesAreClipped)
{
    // Larger than the screen, and a frame that starts at its right edge.
    Frame big = Solid(0, 0, 6, 5, 2);
    Frame off = Solid(3, 0, 4, 4, 1);
    std::string name = Put(MakeGif(3, 3, Pal4, 0, {big, off}));
    GIFHandle h;
    std::string open = name;
    GIFOpen(h, open, false);
    ASSERT_EQ(h.Frames, 2);
    GIFLoad(h, img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Width, 3);
    EXPECT_EQ(Bytes(img.Data, img.Data + 9), Bytes(9, 2));
    GIFLoad(h, img);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 9), Bytes(9, 2));
    GIFClose(h);
}

class GifAnimation : public GifTest {
protected:
    // Frame 0 fills 4 x 4 with 1; frame 1 draws 2 at (1,1)-(2,2) with the
    // given disposal; frame 2 draws one pixel 3 at (0,0).
    void Run(int disposal, int background)
    {
        Frame f0 = Solid(0, 0, 4, 4, 1);
        Frame f1 = Solid(1, 1, 2, 2, 2);
        f1.disposal = disposal;
        Frame f2 = Solid(0, 0, 1, 1, 3);
        std::string name = Put(MakeGif(4, 4, Pal4, background, {f0, f1, f2}));
        std::string open = name;
        GIFOpen(h, open, false);
        ASSERT_EQ(ErrGet(), 0);
        ASSERT_EQ(h.Frames, 3);
        EXPECT_TRUE(h.Partial);
        for (int i = 0; i < 3; ++i) {
            GIFLoad(h, img);
            ASSERT_EQ(ErrGet(), 0);
        }
        EXPECT_TRUE(h.EndFlag);
        GIFClose(h);
    }
    std::string Picture() const
    {
        std::string s;
        for (int i = 0; i < 16; ++i) s += static_cast<char>('0' + img.Data[i]);
        return s;
    }
    GIFHandle h;
};

TEST_F(GifAnimation, DisposalNoneKeepsTheFrame)
{
    Run(1, 0);
    EXPECT_EQ(Picture(),
              "3111"
              "1221"
              "1221"
              "1111");
}

TEST_F(GifAnimation, DisposalTwoFillsTheWindowWithTheBackground)
{
    Run(2, 0);
    EXPECT_EQ(Picture(),
              "3111"
              "1001"
              "1001"
              "1111");
}

TEST_F(GifAnimation, DisposalThreeRestoresWhatWasUnderTheWindow)
{
    Run(3, 0);
    EXPECT_EQ(Picture(),
              "3111"
              "1111"
              "1111"
              "1111");
}

TEST_F(GifAnimation, DisposalWindowsPastTheScreenAreClipped)
{
    for (int disposal : {2, 3}) {
        Frame f0 = Solid(0, 0, 4, 4, 1);
        Frame f1 = Solid(2, 2, 4, 4, 2);
        f1.disposal = disposal;
        Frame f2 = Solid(0, 0, 1, 1, 3);
        std::string name = Put(MakeGif(4, 4, Pal4, 0, {f0, f1, f2}), "C:\\EDGE.GIF");
        GIFOpen(h, name, false);
        for (int i = 0; i < 3; ++i) GIFLoad(h, img);
        ASSERT_EQ(ErrGet(), 0);
        GIFClose(h);
        EXPECT_EQ(Picture(), disposal == 2 ? "3111"
                                             "1111"
                                             "1100"
                                             "1100"
                                           : "3111"
                                             "1111"
                                             "1111"
                                             "1111")
            << disposal;
    }
}

TEST_F(GifTest, TransparentPixelsLetThePreviousFrameShow)
{
    Frame f0 = Solid(0, 0, 3, 1, 1);
    Frame f1 = Solid(0, 0, 3, 1, 0);
    f1.pixels = {2, 0, 3};
    f1.transparent = 0;
    std::string name = Put(MakeGif(3, 1, Pal4, 0, {f0, f1}));
    GIFHandle h;
    std::string open = name;
    GIFOpen(h, open, false);
    GIFLoad(h, img);
    GIFLoad(h, img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 3), (Bytes{2, 1, 3}));
    GIFClose(h);
}

// Clears the transparency flag of the n-th graphic control block, keeping
// its transparent index.
void ClearTransparencyFlag(Bytes& b, int n)
{
    for (size_t i = 13; i + 3 < b.size(); ++i)
        if (b[i] == 0x21 && b[i + 1] == 0xF9 && b[i + 2] == 0x04 && n-- == 0) {
            b[i + 3] &= 0xFE;
            return;
        }
}

TEST_F(GifTest, TransparentIndexCountsOnlyWithItsFlag)
{
    // A first frame smaller than the screen: with the flag its index-0
    // pixel lets the background show, without it the pixel is drawn.
    Frame f = Solid(1, 0, 2, 1, 0);
    f.pixels = {0, 2};
    f.transparent = 0;
    LoadFirst(MakeGif(4, 1, Pal4, 3, {f}));
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 4), (Bytes{3, 3, 2, 3}));
    Bytes noFlag = MakeGif(4, 1, Pal4, 3, {f});
    ClearTransparencyFlag(noFlag, 0);
    LoadFirst(noFlag);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 4), (Bytes{3, 0, 2, 3}));

    // A later whole-screen frame: the same rule.
    Frame f0 = Solid(0, 0, 3, 1, 1);
    Frame f1 = Solid(0, 0, 3, 1, 0);
    f1.pixels = {2, 0, 3};
    f1.transparent = 0;
    Bytes anim = MakeGif(3, 1, Pal4, 0, {f0, f1});
    ClearTransparencyFlag(anim, 1);
    std::string name = Put(anim, "C:\\NOFLAG.GIF");
    GIFHandle h;
    GIFOpen(h, name, false);
    GIFLoad(h, img);
    GIFLoad(h, img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 3), (Bytes{2, 0, 3}));
    GIFClose(h);
}

// A comment extension of exactly `total` bytes, its text all commas (the
// image separator's byte).
Bytes CommaComment(int total)
{
    Bytes c{0x21, 0xFE};
    int left = total - 3;
    while (left > 0) {
        int n = std::min(left - 1, 255);
        c.push_back(static_cast<uint8_t>(n));
        c.insert(c.end(), static_cast<size_t>(n), 0x2C);
        left -= n + 1;
    }
    c.push_back(0);
    return c;
}

TEST_F(GifTest, ControlBlockAtTheEndOfTheSearchWindow)
{
    // The window starts after the global table; the control block starts
    // 1020 bytes in (only 4 of its bytes inside), or 1010 bytes in (its
    // descriptor outside).
    for (int offset : {1020, 1010, 1016}) {
        Frame f = Solid(0, 0, 2, 2, 0);
        f.pixels = {1, 2, 3, 1};
        Bytes b = MakeGif(2, 2, Pal4, 0, {f});
        Bytes comment = CommaComment(offset);
        ASSERT_EQ(comment.size(), static_cast<size_t>(offset));
        b.insert(b.begin() + 13 + 12, comment.begin(), comment.end());
        std::string name = Put(b, "C:\\WINDOW.GIF");
        GIFLoadFirst(name, img);
        ASSERT_EQ(ErrGet(), 0) << offset;
        EXPECT_EQ(Bytes(img.Data, img.Data + 4), f.pixels) << offset;
        TFileInfo info = Info(name);
        EXPECT_EQ(info.Picture.Frames, 1) << offset;
        ImgFree(img);
    }
}

TEST_F(GifTest, DispatchLoadsTheFirstFrameAndTellsTheKind)
{
    std::vector<Frame> frames;
    for (int i = 0; i < 5; ++i) frames.push_back(Solid(0, 0, 4, 4, static_cast<uint8_t>(i % 4)));
    frames[0].pixels[5] = 3;
    Put(MakeGif(4, 4, Pal4, 0, frames), "C:\\ANIM.GIF");
    TUniInfo uni;
    ASSERT_TRUE(UniInfo("C:\\ANIM.GIF", uni, false));
    EXPECT_EQ(uni.Kind, 3);
    EXPECT_EQ(uni.Picture.Frames, 5);
    ImgLoad("C:\\ANIM.GIF", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(Bytes(img.Data, img.Data + 16), frames[0].pixels);

    Put(MakeGif(4, 4, Pal4, 0, {frames[1]}), "C:\\ONE.GIF");
    ASSERT_TRUE(UniInfo("C:\\ONE.GIF", uni, false));
    EXPECT_EQ(uni.Kind, 1);
}

TEST_F(GifTest, FramesWithoutControlBlocksCountWhereverTheyStand)
{
    Frame f0 = Solid(0, 0, 2, 2, 1);
    Frame f1 = Solid(0, 0, 2, 2, 2);
    Frame f2 = Solid(0, 0, 2, 2, 3);
    f2.control = false;
    EXPECT_EQ(Info(Put(MakeGif(2, 2, Pal4, 0, {f0, f1, f2}))).Picture.Frames, 3);
    f0.control = false;
    EXPECT_EQ(Info(Put(MakeGif(2, 2, Pal4, 0, {f0, f1, f2}), "C:\\NOCTL.GIF")).Picture.Frames, 3);
}

TEST_F(GifTest, MissingImageSeparatorIsAHeaderError)
{
    Bytes b = MakeGif(2, 2, Pal4, 0, {});
    b.insert(b.end() - 1, 20, 0x00);
    LoadFirst(b);
    EXPECT_EQ(ErrGet(), 6004);
}

TEST_F(GifTest, FileWithoutFramesLoadsNothing)
{
    LoadFirst(MakeGif(2, 2, Pal4, 0, {}));
    EXPECT_NE(ErrGet(), 0);
    ErrResetState();
    Bytes header = MakeGif(2, 2, {}, 0, {});
    header.pop_back();  // no trailer either
    TFileInfo info = Info(Put(header));
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Frames, 0);
    EXPECT_FALSE(info.Picture.Loadable);
}

TEST_F(GifTest, ZeroSizedImagesAreRefused)
{
    LoadFirst(MakeGif(0, 0, Pal4, 0, {Solid(0, 0, 2, 2, 1)}));
    EXPECT_EQ(ErrGet(), 6009);
    ErrResetState();
    Frame f = Solid(0, 0, 2, 2, 1);
    f.width = 0;
    LoadFirst(MakeGif(2, 2, Pal4, 0, {f}));
    EXPECT_EQ(ErrGet(), 6009);
}

TEST_F(GifTest, ReadsNoMemoryBlocksBeyondItsOwnTables)
{
    std::string name = Put(MakeGif(4, 4, Pal4, 0, {Solid(0, 0, 4, 4, 1), Solid(1, 1, 2, 2, 2)}));
    Info(name);
    GIFLoadFirst(name, img);
    int32_t afterFirst = MemCount();
    for (int i = 0; i < 5; ++i) {
        Info(name);
        GIFLoadFirst(name, img);
    }
    EXPECT_EQ(MemCount(), afterFirst);
}

// Every tenth of a file, and each prefix of its header, ends with an error
// or a picture.
void ExpectTruncationsEndCleanly(GifTest& t, TempMachine& machine, const Bytes& bytes)
{
    for (int tenth = 0; tenth < 10; ++tenth) {
        Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * tenth / 10));
        machine.WriteFile("C:\\CUT.GIF", cut);
        Limg img;
        ErrResetState();
        GIFLoadFirst("C:\\CUT.GIF", img);
        ImgFree(img);
        ErrResetState();
        TFileInfo info;
        GIFInfo("C:\\CUT.GIF", info, true);
        if (ErrGet() == 0) {
            GIFHandle h;
            std::string name = "C:\\CUT.GIF";
            GIFOpen(h, name, false);
            for (int i = 0; i < h.Frames && ErrGet() == 0; ++i) GIFLoad(h, img);
            GIFClose(h);
            ImgFree(img);
        }
        ErrResetState();
    }
    (void)t;
}

TEST_F(GifTest, TruncatedFilesEndCleanly)
{
    Bytes px(64 * 40);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>((i * 7) ^ (i >> 3));
    Frame f0 = Solid(0, 0, 64, 40, 0);
    f0.pixels = px;
    f0.interlaced = true;
    Frame f1 = Solid(5, 5, 20, 20, 2);
    f1.disposal = 3;
    Frame f2 = Solid(0, 0, 64, 40, 1);
    f2.transparent = 1;
    f2.local = Pal4;
    std::vector<Rgb> pal(256, Rgb{9, 9, 9});
    ExpectTruncationsEndCleanly(*this, machine, MakeGif(64, 40, pal, 4, {f0, f1, f2}));
    Bytes bytes = MakeGif(64, 40, pal, 4, {f0, f1, f2});
    // Damaged bytes inside the data: codes beyond the table, wrong lengths.
    for (size_t i = 800; i < bytes.size(); i += 97) {
        Bytes damaged = bytes;
        damaged[i] ^= 0x5A;
        machine.WriteFile("C:\\BAD.GIF", damaged);
        ErrResetState();
        GIFLoadFirst("C:\\BAD.GIF", img);
        ImgFree(img);
        ErrResetState();
        TFileInfo info;
        GIFInfo("C:\\BAD.GIF", info, true);
    }
}

TEST_F(GifTest, HostileFilesOfTheSharedDataEndCleanly)
{
    std::string root = SharedTestData();
    if (root.empty() || !std::filesystem::exists(root + "/pillow")) GTEST_SKIP() << "no shared test data";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root + "/pillow")) {
        std::string file = entry.path().filename().string();
        bool hostile = file.rfind("crash-", 0) == 0 || file.rfind("ossfuzz-", 0) == 0 ||
                       file.rfind("timeout-", 0) == 0 || file.find("bomb") != std::string::npos ||
                       file == "zero_width.gif";
        if (!hostile) continue;
        Bytes bytes = ReadHost(entry.path().string());
        // The files of other formats are fed in as GIFs too; GIF-ish ones are
        // also cut into tenths.
        machine.WriteFile("C:\\HOSTILE.GIF", bytes);
        ErrResetState();
        GIFLoadFirst("C:\\HOSTILE.GIF", img);
        ImgFree(img);
        ErrResetState();
        TFileInfo info;
        GIFInfo("C:\\HOSTILE.GIF", info, true);
        ErrResetState();
        if (bytes.size() > 3 && std::memcmp(bytes.data(), "GIF", 3) == 0)
            ExpectTruncationsEndCleanly(*this, machine, bytes);
        ++count;
    }
    EXPECT_GT(count, 0);
}

// Pillow's first frame of a GIF as text: "w h x0 y0 x1 y1 t", then per pixel
// its palette index and red, green, blue (hex).
bool PillowFirstFrame(const std::string& path, std::string& out)
{
    std::string script = testing::TempDir() + "lum_gif_" + std::to_string(::getpid()) + ".py";
    {
        std::ofstream s(script);
        s << "import sys\n"
             "from PIL import Image\n"
             "im = Image.open(sys.argv[1])\n"
             "im.load()\n"
             "ext = getattr(im, 'dispose_extent', (0, 0) + im.size)\n"
             "t = im.info.get('transparency', -1)\n"
             "if not isinstance(t, int): t = -1\n"
             "idx = list(im.getdata()) if im.mode in ('P', 'L') else [-1] * (im.size[0] * im.size[1])\n"
             "rgb = im.convert('RGB').tobytes()\n"
             "print(im.size[0], im.size[1], ext[0], ext[1], ext[2], ext[3], t)\n"
             "print(' '.join(str(i) for i in idx))\n"
             "print(rgb.hex())\n";
    }
    std::string command = std::string(LUM_PYTHON) + " '" + script + "' '" + path + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    out.clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = ::pclose(pipe);
    std::remove(script.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HavePillow()
{
    std::string command = std::string(LUM_PYTHON) + " -c 'import PIL' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST_F(GifTest, SharedGifsLoadWithPillowsPixels)
{
    std::string root = SharedTestData();
    if (root.empty() || !std::filesystem::exists(root + "/pillow")) GTEST_SKIP() << "no shared test data";
    if (!HavePillow()) GTEST_SKIP() << "Pillow is not installed for " << LUM_PYTHON;
    int compared = 0;
    std::vector<std::string> mismatched;
    for (const auto& entry : std::filesystem::directory_iterator(root + "/pillow")) {
        if (entry.path().extension() != ".gif") continue;
        std::string file = entry.path().filename().string();
        if (file.find("bomb") != std::string::npos) continue;
        std::string out;
        if (!PillowFirstFrame(entry.path().string(), out)) continue;
        std::istringstream in(out);
        int w, h, x0, y0, x1, y1, t;
        in >> w >> h >> x0 >> y0 >> x1 >> y1 >> t;
        std::vector<int> idx(static_cast<size_t>(w * h));
        for (int& v : idx) in >> v;
        std::string hex;
        in >> hex;
        if (hex.size() != static_cast<size_t>(w * h * 6)) continue;

        machine.WriteFile("C:\\PILLOW.GIF", ReadHost(entry.path().string()));
        ErrResetState();
        GIFLoadFirst("C:\\PILLOW.GIF", img);
        if (ErrGet() != 0) {
            mismatched.push_back(file + " (error " + std::to_string(ErrGet()) + ")");
            continue;
        }
        bool same = img.Width == w && img.Height == h;
        for (int y = y0; same && y < y1 && y < h; ++y)
            for (int x = x0; same && x < x1 && x < w; ++x) {
                int i = y * w + x;
                if (t >= 0 && idx[i] == t) continue;
                const uint8_t* bgr = img.Palette[img.Data[i]];
                unsigned r, g, b;
                std::sscanf(hex.c_str() + i * 6, "%2x%2x%2x", &r, &g, &b);
                if (bgr[2] != r || bgr[1] != g || bgr[0] != b) same = false;
            }
        if (!same) mismatched.push_back(file);
        ++compared;
        ImgFree(img);
    }
    EXPECT_GT(compared, 10);
    std::string list;
    for (const auto& m : mismatched) list += m + "\n";
    EXPECT_TRUE(mismatched.empty()) << list;
}

}  // namespace
