// Animated start-up logos and the boot-screen preview: the cycle rule, the
// logo file's cycle byte, where the picture, the bar and the message may lie
// in the palette, the DAC, and the preview GIF as an independent reader sees it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

#include "app/BootPreview.h"
#include "app/BootScreen.h"
#include "app/Composer.h"
#include "app_support.h"
#include "support/HostTools.h"

using namespace apptest;

namespace {

using Palette = uint8_t[256][3];

// A smooth, busy picture: far more than 236 colours at 6 bits.
Rgb Busy(int32_t x, int32_t y)
{
    return {static_cast<uint8_t>(x * 255 / 319), static_cast<uint8_t>(y * 255 / 399),
            static_cast<uint8_t>((x * 7 + y * 3) & 255)};
}

class BootScreenTest : public AppTest {
protected:
    // A warehouse-ready 8-bit picture made by the import of a busy picture.
    std::string MakeSource()
    {
        Save24("C:\\busy.png", 320, 400, Busy);
        const ImportResult r = ImportImage("C:\\busy.png", "C:\\STORE\\busy.png");
        EXPECT_EQ(r.Outcome, ImportOutcome::Imported);
        return "C:\\STORE\\busy.png";
    }
    // An animated start-up logo without a message, set and read back.
    LogoFile SetAnimatedStartupLogo()
    {
        const std::string source = MakeSource();
        Settings.AnimatedBar = true;
        SetLogoMessages(LogoStartup, "");
        EXPECT_TRUE(SetLogo(source, LogoStartup));
        uint32_t important = 0;
        return ReadLogo("C:\\LOGO.SYS", important);
    }
    LogoFile ReadLogo(const std::string& path, uint32_t& important)
    {
        Bytes b = machine.ReadFile(path);
        EXPECT_EQ(b.size(), LogoFileSize);
        LogoFile logo;
        if (b.size() != LogoFileSize) return logo;
        important = U32(b, 50);
        // The rest of the header is the still logo's.
        b[50] = 0;
        b[51] = 1;
        EXPECT_TRUE(ParseLogo(b, logo));
        return logo;
    }
};

}  // namespace

TEST(CyclePalette, OneStepMovesEachCycledColourDownAndWrapsTheFirst)
{
    Palette p;
    for (int i = 0; i < 256; ++i) p[i][0] = p[i][1] = p[i][2] = static_cast<uint8_t>(i);
    CyclePalette(p, 236);
    for (int i = 0; i < 236; ++i) ASSERT_EQ(p[i][0], i) << "still entry " << i;
    for (int i = 236; i < 255; ++i) ASSERT_EQ(p[i][1], i + 1) << "entry " << i;
    EXPECT_EQ(p[255][2], 236);

    // A full cycle is as many steps as cycled entries; fewer do not return.
    for (int first : {236, 250, 255, 1}) {
        Palette q, start;
        for (int i = 0; i < 256; ++i) q[i][0] = q[i][1] = q[i][2] = static_cast<uint8_t>(i * 13);
        std::memcpy(start, q, sizeof q);
        for (int k = 1; k <= 256 - first; ++k) {
            CyclePalette(q, first);
            const bool same = std::memcmp(q, start, sizeof q) == 0;
            ASSERT_EQ(same, k == 256 - first) << "first " << first << ", step " << k;
        }
    }
    Palette r, before;
    std::memset(r, 7, sizeof r);
    r[0][0] = 1;
    std::memcpy(before, r, sizeof r);
    CyclePalette(r, 0);  // 0: a still logo
    EXPECT_EQ(std::memcmp(r, before, sizeof r), 0);
}

TEST(BarColor, ParsesHexAndRefusesTheRest)
{
    uint8_t rgb[3];
    ASSERT_TRUE(ParseBarColor("2864fC", rgb));
    EXPECT_EQ(rgb[0], 0x28);
    EXPECT_EQ(rgb[1], 0x64);
    EXPECT_EQ(rgb[2], 0xFC);
    EXPECT_TRUE(ParseBarColor("#000000", rgb));
    for (const char* bad : {"", "12345", "1234567", "12345g", "# 12345"}) EXPECT_FALSE(ParseBarColor(bad, rgb)) << bad;
}

TEST(Band, WrapsSmoothlyInDacSteps)
{
    Palette p{};
    const uint8_t rgb[3] = {255, 128, 0};
    MakeBand(p, rgb);
    int32_t largestJump = 0;
    for (int k = 0; k < CycleLength; ++k) {
        const uint8_t* a = p[CycleFirst + k];
        const uint8_t* b = p[CycleFirst + (k + 1) % CycleLength];
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(a[c] % 4, 0);
            largestJump = std::max(largestJump, std::abs(a[c] - b[c]));
        }
        EXPECT_EQ(a[0], 0) << "no blue in an orange band";
        EXPECT_GT(a[2], 40) << "never black";
    }
    EXPECT_LT(largestJump, 48) << "no seam where the band wraps";
    for (int i = 0; i < CycleFirst; ++i) ASSERT_EQ(p[i][2], 0) << "still entries untouched";
}

TEST_F(BootScreenTest, AnimatedLogoKeepsThePictureAndTheMessageOnStillEntries)
{
    const std::string source = MakeSource();
    Settings.AnimatedBar = true;
    Settings.BarColor = "";
    SetLogoMessages(LogoStartup, "Starting Windows 98 with a long message");

    for (int32_t corner = 0; corner < 4; ++corner) {
        // The first draw picks the only line, the second the corner.
        int32_t seed = 1;
        for (;; ++seed) {
            Lcg g(seed);
            g.Next(1);
            if (g.Next(4) == corner) break;
        }
        SetRandomSeed(seed);
        ASSERT_TRUE(SetLogo(source, LogoStartup));
        uint32_t important = 0;
        const LogoFile logo = ReadLogo("C:\\LOGO.SYS", important);
        ASSERT_EQ(logo.Indexes.size(), 320u * 400u);
        EXPECT_EQ(important, static_cast<uint32_t>(CycleFirst));
        EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS")[CycleStartOffset], 0xEC);

        std::set<uint8_t> used;
        for (int32_t y = 0; y < 400 - BarHeight; ++y)
            for (int32_t x = 0; x < 320; ++x) {
                const uint8_t i = logo.IndexAt(x, y);
                ASSERT_LT(i, CycleFirst) << "picture or message on a cycled entry at " << x << "," << y;
                used.insert(i);
            }
        // The picture has far more colours than entries: it uses nearly all still ones.
        EXPECT_GT(used.size(), 200u);
        // The bar: full width, every cycled entry, the highest on the left.
        for (int32_t y = 400 - BarHeight; y < 400; ++y)
            for (int32_t x = 0; x < 320; ++x) ASSERT_EQ(logo.IndexAt(x, y), 255 - x / 16) << x << "," << y;
        for (int k = 0; k < CycleLength; ++k) EXPECT_NE(logo.Palette[CycleFirst + k], logo.Palette[0]);
    }
    // The message is there: the logo differs from one made without it.
    const Bytes withMessage = machine.ReadFile("C:\\LOGO.SYS");
    SetLogoMessages(LogoStartup, "");
    ASSERT_TRUE(SetLogo(source, LogoStartup));
    EXPECT_NE(machine.ReadFile("C:\\LOGO.SYS"), withMessage);
}

TEST_F(BootScreenTest, WithoutTheOptionLogosStayStillAndUnchanged)
{
    const std::string source = MakeSource();
    SetLogoMessages(LogoStartup, "hello");
    SetLogoMessages(LogoShutDown, "hello");

    Settings.AnimatedBar = false;
    SetRandomSeed(99);
    ASSERT_TRUE(SetLogo(source, LogoStartup));
    const Bytes still = machine.ReadFile("C:\\LOGO.SYS");
    ASSERT_EQ(still.size(), LogoFileSize);
    EXPECT_EQ(still[CycleStartOffset], 0);
    EXPECT_EQ(U32(still, 50), 256u);
    EXPECT_EQ(CycleStartOf("C:\\LOGO.SYS"), 0);

    // The option animates the start-up logo only: the shut-down logo is the same either way.
    SetRandomSeed(7);
    ASSERT_TRUE(SetLogo(source, LogoShutDown));
    const Bytes shutDown = machine.ReadFile("C:\\WINDOWS\\LOGOW.SYS");
    Settings.AnimatedBar = true;
    SetRandomSeed(7);
    ASSERT_TRUE(SetLogo(source, LogoShutDown));
    EXPECT_EQ(machine.ReadFile("C:\\WINDOWS\\LOGOW.SYS"), shutDown);

    SetRandomSeed(99);
    ASSERT_TRUE(SetLogo(source, LogoStartup));
    EXPECT_EQ(CycleStartOf("C:\\LOGO.SYS"), CycleFirst);
    EXPECT_EQ(CycleStartOf("C:\\WINDOWS\\LOGOW.SYS"), 0);
    EXPECT_EQ(CycleStartOf("C:\\STORE\\busy.png"), -1) << "not a BMP";
    EXPECT_EQ(CycleStartOf("C:\\nothing.sys"), -1);
}

TEST_F(BootScreenTest, ChosenBarColourMakesTheBand)
{
    const std::string source = MakeSource();
    Settings.AnimatedBar = true;
    Settings.BarColor = "00FF00";
    SetLogoMessages(LogoStartup, "");
    ASSERT_TRUE(SetLogo(source, LogoStartup));
    uint32_t important = 0;
    const LogoFile logo = ReadLogo("C:\\LOGO.SYS", important);
    ASSERT_EQ(logo.Indexes.size(), 320u * 400u);
    for (int k = 0; k < CycleLength; ++k) {
        const Rgb c = logo.Palette[CycleFirst + k];
        EXPECT_EQ(c[0], 0);
        EXPECT_EQ(c[2], 0);
        EXPECT_GT(c[1], 0);
    }
}

TEST(Dac, SixBitsShownOnTheFullScale)
{
    const std::pair<int, int> cases[] = {{0, 0},     {3, 0},     {4, 4},     {7, 4},     {128, 129},
                                         {131, 129}, {132, 133}, {251, 250}, {252, 255}, {255, 255}};
    for (const auto& [v, shown] : cases) EXPECT_EQ(DacLevel(static_cast<uint8_t>(v)), shown) << v;
}

TEST(PreviewShape, ScreenShapesInABoxAndOnFile)
{
    struct Case {
        int32_t sw, sh, bw, bh, w, h;
    };
    const Case cases[] = {{6, 5, 192, 160, 192, 160},
                          {4, 3, 192, 160, 192, 144},
                          {8, 5, 192, 160, 192, 120},
                          {6, 5, 100, 300, 100, 83},
                          {4, 3, 400, 150, 200, 150}};
    for (const Case& c : cases) {
        const PreviewSize s = ShapeInBox(c.sw, c.sh, c.bw, c.bh);
        EXPECT_EQ(s.Width, c.w) << c.sw << ":" << c.sh;
        EXPECT_EQ(s.Height, c.h) << c.sw << ":" << c.sh;
    }
    EXPECT_EQ(ScreenSizeOf(6, 5).Width, 480);
    EXPECT_EQ(ScreenSizeOf(4, 3).Width, 533);
    EXPECT_EQ(ScreenSizeOf(8, 5).Width, 640);
    EXPECT_EQ(ScreenSizeOf(8, 5).Height, 400);
}

TEST_F(BootScreenTest, PreviewFramesRotateTheBarThroughTheDac)
{
    const LogoFile logo = SetAnimatedStartupLogo();
    ASSERT_EQ(logo.Indexes.size(), 320u * 400u);

    BootPreview preview;
    ASSERT_TRUE(preview.Load("C:\\LOGO.SYS", false));
    EXPECT_EQ(preview.CycleStart(), CycleFirst);
    ASSERT_EQ(preview.Steps(), CycleLength);
    for (int32_t step : {0, 1, 7, 20}) {
        Limg frame;
        preview.Frame(step, 640, 400, frame);  // 8:5, two screen pixels a logo pixel
        ASSERT_EQ(ErrGet(), 0);
        for (int32_t x : {0, 1, 31, 32, 300, 639}) {
            for (int32_t y : {0, 200, 399}) {
                const uint8_t index = logo.IndexAt(x / 2, y);
                // After `step` steps entry i shows what entry i + step had.
                const int32_t from =
                    index < CycleFirst ? index : CycleFirst + (index - CycleFirst + step) % CycleLength;
                const Rgb want = logo.Palette[from];
                const uint8_t* px = frame.Data + (static_cast<size_t>(y) * 640 + x) * 3;
                ASSERT_EQ(px[2], DacLevel(want[0])) << "step " << step << " at " << x << "," << y;
                ASSERT_EQ(px[1], DacLevel(want[1]));
                ASSERT_EQ(px[0], DacLevel(want[2]));
            }
        }
        ImgFree(frame);
    }
}

TEST_F(BootScreenTest, PreviewGifIsOneFullCycleWithAPalettePerFrame)
{
    if (!hosttools::HavePillow()) GTEST_SKIP() << "Pillow is missing";
    const LogoFile logo = SetAnimatedStartupLogo();
    ASSERT_EQ(logo.Indexes.size(), 320u * 400u);

    BootPreview preview;
    ASSERT_TRUE(preview.Load("C:\\LOGO.SYS", false));
    std::string reason;
    ASSERT_TRUE(WritePreview(preview, "C:\\preview.gif", 480, 400, reason)) << reason;
    EXPECT_FALSE(machine.Exists("C:\\preview.gif.tmp"));

    // Each frame as Pillow composes it: the bar's colour at the left end and
    // a picture pixel, and how many colours the frame's palette shows.
    const std::string script =
        "from PIL import Image\n"
        "im = Image.open('" +
        machine.Host("C:\\preview.gif") +
        "')\n"
        "print(im.n_frames, im.size[0], im.size[1], im.info.get('duration'))\n"
        "for n in range(im.n_frames):\n"
        "    im.seek(n)\n"
        "    rgb = im.convert('RGB')\n"
        "    print(*rgb.getpixel((0, 399)), *rgb.getpixel((240, 100)))\n";
    std::string out;
    ASSERT_TRUE(hosttools::RunPython(script, out)) << out;
    std::istringstream in(out);
    int frames = 0, w = 0, h = 0, duration = 0;
    in >> frames >> w >> h >> duration;
    EXPECT_EQ(frames, CycleLength);
    EXPECT_EQ(w, 480);
    EXPECT_EQ(h, 400);
    EXPECT_EQ(duration, CycleStepMs);
    const Rgb picture = logo.Palette[logo.IndexAt(160, 100)];
    for (int f = 0; f < frames; ++f) {
        int c[6];
        for (int& v : c) in >> v;
        const Rgb bar = logo.Palette[CycleFirst + (255 - CycleFirst + f) % CycleLength];
        EXPECT_EQ(c[0], DacLevel(bar[0])) << "frame " << f;
        EXPECT_EQ(c[1], DacLevel(bar[1])) << "frame " << f;
        EXPECT_EQ(c[2], DacLevel(bar[2])) << "frame " << f;
        EXPECT_EQ(c[3], DacLevel(picture[0])) << "frame " << f;
        EXPECT_EQ(c[5], DacLevel(picture[2])) << "frame " << f;
    }

    std::string refused;
    EXPECT_FALSE(WritePreview(preview, "C:\\preview.bmp", 480, 400, refused));
    EXPECT_NE(refused.find(".bmp"), std::string::npos);
}
