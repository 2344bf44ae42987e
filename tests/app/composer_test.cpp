#include "app/Composer.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/Backup.h"
#include "app/Settings.h"
#include "app_support.h"
#include "platform/Files.h"
#include "platform/TextSurface.h"

using namespace apptest;

namespace {

const std::string ShutDownText = "wait...\r\ndon't rush...\r\ngive me a second...\r\n";

// A seed whose next draws are the given ones, each (n, r).
int32_t SeedForDraws(const std::vector<std::pair<int32_t, int32_t>>& draws)
{
    for (int32_t s = 1;; ++s) {
        Lcg g(s);
        bool all = true;
        for (const auto& d : draws) all = all && g.Next(d.first) == d.second;
        if (all) return s;
    }
}

// The message as the system draws it: 0 background, 1 outline, 2 text.
struct Ink {
    int32_t W = 0, H = 0;
    std::vector<uint8_t> Level;
};

bool FontAvailable()
{
    platform::TextSurface s;
    return s.SelectFont("Arial", 10);
}

Ink Render(const std::string& line)
{
    platform::TextSurface s;
    EXPECT_TRUE(s.SelectFont("Arial", 10));
    int32_t cx = 0, cy = 0;
    s.MeasureText(line, cx, cy);
    s.SetSize(cx + 4, cy + 4);
    s.Fill(0, 0, 0);
    const int32_t offsets[8][2] = {{3, 1}, {1, 3}, {1, 2}, {1, 1}, {2, 1}, {3, 2}, {3, 3}, {2, 3}};
    for (const auto& o : offsets) s.DrawText(o[0], o[1], line, 64, 64, 64);
    s.DrawText(2, 2, line, 255, 255, 255);
    Ink ink;
    ink.W = s.Width();
    ink.H = s.Height();
    for (int32_t y = 0; y < ink.H; ++y)
        for (int32_t x = 0; x < ink.W; ++x) {
            const uint32_t p = s.Pixel(x, y);
            EXPECT_TRUE(p == 0 || p == 0x404040 || p == 0xFFFFFF) << "pixel " << std::hex << p;
            ink.Level.push_back(p == 0 ? 0 : (p == 0x404040 ? 1 : 2));
        }
    return ink;
}

// Palette of the drawing tests: blue background at 5, the outline grey at 1,
// white at 2, black only at 7 (so 7 is the transparent index); red elsewhere.
constexpr uint8_t Background = 5;
constexpr uint8_t OutlineIndex = 1;
constexpr uint8_t TextIndex = 2;

void MakeCanvas(Limg& img)
{
    ImgAlloc(img, 320, 400, 8);
    for (int i = 0; i < 256; ++i) {
        img.Palette[i][0] = 0;
        img.Palette[i][1] = 0;
        img.Palette[i][2] = 255;
    }
    auto set = [&](int i, uint8_t r, uint8_t g, uint8_t b) {
        img.Palette[i][0] = b;
        img.Palette[i][1] = g;
        img.Palette[i][2] = r;
    };
    set(Background, 0, 0, 255);
    set(OutlineIndex, 64, 64, 64);
    set(TextIndex, 255, 255, 255);
    set(7, 0, 0, 0);
    std::fill(img.Data, img.Data + 320 * 400, Background);
}

class ComposerTest : public AppTest {};

}  // namespace

TEST(PickMessage, EveryCandidateFollowsTheGeneratorAndIsEquallyLikely)
{
    const std::vector<std::string> candidates = {"wait...", "don't rush...", "give me a second...", ""};
    for (int32_t seed = -500; seed < 500; ++seed) {
        SetRandomSeed(seed);
        Lcg model(seed);
        ASSERT_EQ(PickMessage(ShutDownText), candidates[static_cast<size_t>(model.Next(4))]) << "seed " << seed;
        ASSERT_EQ(static_cast<uint32_t>(RandomSeed()), model.seed);
    }
    std::map<std::string, int> counts;
    SetRandomSeed(1);
    for (int i = 0; i < 4000; ++i) ++counts[PickMessage(ShutDownText)];
    ASSERT_EQ(counts.size(), 4u);
    for (const auto& c : candidates) {
        EXPECT_GT(counts[c], 900) << '"' << c << '"';
        EXPECT_LT(counts[c], 1100) << '"' << c << '"';
    }
}

TEST(PickMessage, LineBreaksDecideTheCandidates)
{
    struct Case {
        std::string text;
        std::vector<std::string> outcomes;  // by draw 0 .. n-1
    };
    const std::vector<Case> cases = {
        {"a\r\n\r\nb\r\n", {"a", "b", "b", ""}},  // an empty middle line yields the next one
        {"only", {"only"}},
        {"", {""}},
        {"x\r\ny", {"x", "y"}},
        {"a\rb", {"a", "b"}},
        {"a\nb", {"a\nb"}},  // a bare line feed separates nothing
        {"\r\n\r\nz", {"", "z", "z"}},
    };
    for (const Case& c : cases) {
        const int32_t n = static_cast<int32_t>(c.outcomes.size());
        for (int32_t r = 0; r < n; ++r) {
            SetRandomSeed(SeedFor(n, r));
            EXPECT_EQ(PickMessage(c.text), c.outcomes[static_cast<size_t>(r)]) << "draw " << r << " of " << n;
        }
    }
}

TEST(DrawMessage, EachCornerHoldsTheOutlinedLineOverATransparentBackground)
{
    if (!FontAvailable()) GTEST_SKIP() << "no font for Arial";
    ErrResetState();
    const std::string wide = "The quick brown fox jumps over the lazy dog, and on and on";
    for (const std::string& line : {std::string("Hello, world"), std::string("  padded  "), wide}) {
        const Ink ink = Render(line);
        if (line == wide) {
            ASSERT_GT(ink.W, 304) << "the wide case needs a line wider than 304 pixels";
        }
        for (int32_t corner = 0; corner < 4; ++corner) {
            Limg logo;
            MakeCanvas(logo);
            const int32_t seed = SeedFor(4, corner);
            SetRandomSeed(seed);
            DrawMessage(logo, line);
            EXPECT_EQ(ErrGet(), 0);
            Lcg model(seed);
            model.Next(4);
            EXPECT_EQ(static_cast<uint32_t>(RandomSeed()), model.seed) << "one draw, for the corner";

            int32_t x = (corner % 2 == 0) ? 12 : 308 - ink.W;
            int32_t y = (corner < 2) ? 12 : 388 - ink.H;
            x = std::max(x, 4);
            y = std::max(y, 4);
            int mismatches = 0, inked = 0;
            for (int32_t py = 0; py < 400; ++py)
                for (int32_t px = 0; px < 320; ++px) {
                    uint8_t expected = Background;
                    const int32_t i = px - x, j = py - y;
                    if (i >= 0 && j >= 0 && i < ink.W && j < ink.H) {
                        const uint8_t level = ink.Level[static_cast<size_t>(j) * ink.W + i];
                        if (level == 1) expected = OutlineIndex;
                        if (level == 2) expected = TextIndex;
                    }
                    if (expected != Background) ++inked;
                    if (logo.Data[static_cast<size_t>(py) * 320 + px] != expected) ++mismatches;
                }
            EXPECT_EQ(mismatches, 0) << '"' << line << "\" in corner " << corner << " at " << x << "," << y;
            EXPECT_GT(inked, 20);
            if (line == wide) {
                EXPECT_EQ(x, corner % 2 == 0 ? 12 : 4);
                // Part of the line lies past the right edge of the logo, which cuts it.
                bool inkBeyond = false;
                for (int32_t j = 0; j < ink.H; ++j)
                    for (int32_t i = 320 - x; i < ink.W; ++i) inkBeyond = inkBeyond || ink.Level[j * ink.W + i] != 0;
                EXPECT_TRUE(inkBeyond);
            }
            ImgFree(logo);
        }
    }
}

// A line wider than the logo shows the same pixels however long it goes on;
// only what can show is measured and drawn.
TEST(DrawMessage, EndlessLineDrawsWhatShowsOfIt)
{
    if (!FontAvailable()) GTEST_SKIP() << "no font for Arial";
    ErrResetState();
    const std::string wide = "The quick brown fox jumps over the lazy dog, and on and on";
    const std::string endless = wide + std::string(1000000, 'x');
    for (int32_t corner = 0; corner < 4; ++corner) {
        Limg a, b;
        MakeCanvas(a);
        MakeCanvas(b);
        SetRandomSeed(SeedFor(4, corner));
        DrawMessage(a, wide);
        SetRandomSeed(SeedFor(4, corner));
        DrawMessage(b, endless);
        EXPECT_EQ(ErrGet(), 0);
        EXPECT_TRUE(std::equal(a.Data, a.Data + 320 * 400, b.Data)) << "corner " << corner;
        ImgFree(a);
        ImgFree(b);
    }
}

TEST(DrawMessage, BlankLineDrawsNothingAndDrawsNoCorner)
{
    ErrResetState();
    for (const std::string& line : {std::string(""), std::string("  \t \x01 ")}) {
        Limg logo;
        MakeCanvas(logo);
        SetRandomSeed(31);
        DrawMessage(logo, line);
        EXPECT_EQ(RandomSeed(), 31);
        EXPECT_EQ(std::count(logo.Data, logo.Data + 320 * 400, Background), 320 * 400);
        ImgFree(logo);
    }
}

TEST_F(ComposerTest, LogoFileIsTheSourcePictureInTheFixedBmpLayout)
{
    ASSERT_TRUE(platform::CreateDirectory("C:\\STORE"));
    std::vector<Rgb> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)});
    auto index = [](int32_t x, int32_t y) { return static_cast<uint8_t>((x * 3 + y) & 255); };
    Save8("C:\\STORE\\pic.png", 320, 400, palette, index);
    SetLogoMessages(LogoShutDown, "");

    EXPECT_TRUE(SetLogo("C:\\STORE\\pic.png", LogoShutDown));

    LogoFile logo;
    ASSERT_TRUE(ParseLogo(machine.ReadFile("C:\\WINDOWS\\LOGOW.SYS"), logo));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(logo.Palette[i], palette[i]) << "entry " << i;
    for (int32_t y = 0; y < 400; ++y)
        for (int32_t x = 0; x < 320; ++x) ASSERT_EQ(logo.IndexAt(x, y), index(x, y)) << x << "," << y;
    EXPECT_FALSE(machine.Exists("C:\\WINDOWS\\LOGOW.bmp"));
    EXPECT_NE(Text(machine.ReadFile(RestoreBatchPath())).find("DEL  \"C:\\WINDOWS\\LOGOW.SYS\""), std::string::npos);
}

TEST_F(ComposerTest, MessageChangesOnlyItsCorner)
{
    if (!FontAvailable()) GTEST_SKIP() << "no font for Arial";
    ASSERT_TRUE(platform::CreateDirectory("C:\\STORE"));
    std::vector<Rgb> palette;
    for (int i = 0; i < 256; ++i) palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(i), 40});
    palette[0] = Black;
    palette[255] = White;
    Save8("C:\\STORE\\pic.png", 320, 400, palette, [](int32_t x, int32_t y) { return static_cast<uint8_t>(x ^ y); });
    SetLogoMessages(LogoStartup, "Hello");
    // No logo yet, so no backup name: the draws are the message line, then the corner.
    SetRandomSeed(SeedForDraws({{1, 0}, {4, 3}}));

    ASSERT_TRUE(SetLogo("C:\\STORE\\pic.png", LogoStartup));
    LogoFile logo;
    ASSERT_TRUE(ParseLogo(machine.ReadFile("C:\\LOGO.SYS"), logo));
    int changed = 0;
    for (int32_t y = 0; y < 400; ++y)
        for (int32_t x = 0; x < 320; ++x) {
            if (logo.IndexAt(x, y) == static_cast<uint8_t>(x ^ y)) continue;
            ++changed;
            EXPECT_TRUE(x >= 200 && x < 308 && y >= 360 && y < 388) << "changed at " << x << "," << y;
        }
    EXPECT_GT(changed, 20);
}

TEST_F(ComposerTest, RefusedSourcesLeaveTheLogoAloneAfterItsBackup)
{
    ASSERT_TRUE(platform::CreateDirectory("C:\\STORE"));
    const Bytes old = {'o', 'l', 'd'};
    machine.WriteFile("C:\\LOGO.SYS", old);
    Save24("C:\\STORE\\deep.png", 320, 400, [](int32_t x, int32_t) { return Rgb{static_cast<uint8_t>(x), 0, 0}; });
    Save8("C:\\STORE\\narrow.png", 300, 400, {White}, [](int32_t, int32_t) { return 0; });
    machine.WriteText("C:\\STORE\\broken.png", "not a picture");

    // The first refusal still makes the backup.
    EXPECT_FALSE(SetLogo("C:\\STORE\\deep.png", LogoStartup));
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), old);
    const std::string script = Text(machine.ReadFile(RestoreBatchPath()));
    const size_t at = script.find("COPY ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(machine.ReadFile(QuotedItem(script.substr(at), 1)), old);

    // Later ones draw nothing at all: the location is recorded and no message is picked.
    for (const std::string& source : {std::string("C:\\STORE\\narrow.png"), std::string("C:\\STORE\\broken.png"),
                                      std::string("C:\\STORE\\missing.png"), std::string("")}) {
        SetRandomSeed(99);
        EXPECT_FALSE(SetLogo(source, LogoStartup)) << source;
        EXPECT_EQ(RandomSeed(), 99) << source;
        EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), old) << source;
        EXPECT_FALSE(machine.Exists("C:\\LOGO.bmp")) << source;
    }
    EXPECT_EQ(Text(machine.ReadFile(RestoreBatchPath())), script);
    EXPECT_FALSE(SetLogo("C:\\STORE\\deep.png", 3));
}

TEST_F(ComposerTest, OldLogoIsReplacedUnderItsOwnNameWithNoTemporaryLeft)
{
    ASSERT_TRUE(platform::CreateDirectory("C:\\STORE"));
    Save8("C:\\STORE\\pic.png", 320, 400, {Black, White}, [](int32_t x, int32_t) { return x & 1; });
    // The host file is lower case; the logo path is upper case. The user's
    // own LOGO.BMP (a hand-made logo's usual name) is not a temporary file.
    machine.WriteFile("C:\\logo.sys", {'o', 'l', 'd'});
    machine.WriteFile("C:\\LOGO.bmp", {'u'});
    SetLogoMessages(LogoStartup, "");

    ASSERT_TRUE(MakeLogo("C:\\STORE\\pic.png", LogoPath(LogoStartup), ""));

    std::vector<std::string> names;
    DIR* dir = opendir(machine.DriveC().c_str());
    ASSERT_NE(dir, nullptr);
    while (dirent* e = readdir(dir)) names.push_back(e->d_name);
    closedir(dir);
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return strcasecmp(n.c_str(), "logo.sys") == 0; }),
              1);
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return strcasecmp(n.c_str(), "logo.bmp") == 0; }),
              1);
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.bmp"), Bytes{'u'});
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind(".~", 0) == 0; }), 0);
    LogoFile logo;
    ASSERT_TRUE(ParseLogo(machine.ReadFile("C:\\LOGO.SYS"), logo));
    EXPECT_EQ(logo.IndexAt(1, 0), 1);
    EXPECT_EQ(logo.IndexAt(2, 0), 0);
}

TEST_F(ComposerTest, ReadOnlyLogoStaysAndNothingIsLeftBesideIt)
{
    ASSERT_TRUE(platform::CreateDirectory("C:\\STORE"));
    Save8("C:\\STORE\\pic.png", 320, 400, {Black}, [](int32_t, int32_t) { return 0; });
    machine.WriteFile("C:\\LOGO.SYS", {'o', 'l', 'd'});
    ASSERT_EQ(chmod(machine.Host("C:\\LOGO.SYS").c_str(), 0444), 0);

    std::string why;
    EXPECT_FALSE(MakeLogo("C:\\STORE\\pic.png", "C:\\LOGO.SYS", "", &why));
    EXPECT_NE(why.find("read-only"), std::string::npos) << why;
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(platform::FindFiles("C:\\*").size(), 3u) << "LOGO.SYS, STORE and WINDOWS only";
}

TEST_F(ComposerTest, LogoThatCannotBeSavedChangesNothing)
{
    ASSERT_TRUE(platform::CreateDirectory("C:\\STORE"));
    Save8("C:\\STORE\\pic.png", 320, 400, {Black}, [](int32_t, int32_t) { return 0; });
    SetLogoFolder(LogoStartup, "C:\\NOWHERE");
    EXPECT_FALSE(SetLogo("C:\\STORE\\pic.png", LogoStartup));
    EXPECT_FALSE(machine.Exists("C:\\NOWHERE"));
    EXPECT_NE(Text(machine.ReadFile(RestoreBatchPath())).find("DEL  \"C:\\NOWHERE\\LOGO.SYS\""), std::string::npos);
}
