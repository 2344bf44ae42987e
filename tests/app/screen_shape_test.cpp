// The screen shape in the import's fitting rules, and the import's
// VGA-true colour reduction.

#include <gtest/gtest.h>

#include <set>

#include "app/Import.h"
#include "app_support.h"

using namespace apptest;

namespace {

class ShapeImportTest : public AppTest {
protected:
    Picture Import(const std::string& source)
    {
        OverwriteAll = true;
        const ImportResult r = ImportImage(source, "C:\\STORE\\out.png");
        EXPECT_EQ(r.Outcome, ImportOutcome::Imported) << ErrText(r.Error);
        return Load("C:\\STORE\\out.png");
    }
};

}  // namespace

TEST(FittingRules, EachScreenShapeHasItsOwnIntegerRules)
{
    struct Case {
        int32_t w, h, sw, sh;
        FitRect crop, canvas;  // X, Y, Width, Height
    };
    const Case cases[] = {
        // 4:3: a 640 x 480 picture is the screen's shape already.
        {640, 480, 4, 3, {0, 0, 640, 480}, {0, 0, 640, 480}},
        {300, 400, 4, 3, {0, 87, 300, 225}, {116, 0, 533, 400}},
        {1000, 480, 4, 3, {180, 0, 640, 480}, {0, 135, 1000, 750}},
        // 8:5: the 640 x 400 mode with square pixels.
        {1920, 1080, 8, 5, {96, 0, 1728, 1080}, {0, 60, 1920, 1200}},
        {800, 500, 8, 5, {0, 0, 800, 500}, {0, 0, 800, 500}},
        {7, 100, 8, 5, {0, 48, 7, 4}, {76, 0, 160, 100}},  // 7 x 5 / 8 = 4.375 truncates
        // Exact halves go to the even neighbour: 4 x 5 / 8 = 2.5, 12 x 5 / 8 = 7.5, 6 x 3 / 4 = 4.5.
        {4, 1, 8, 5, {1, 0, 1, 1}, {0, 0, 4, 2}},
        {12, 1, 8, 5, {5, 0, 1, 1}, {0, 3, 12, 8}},
        {6, 1, 4, 3, {2, 0, 1, 1}, {0, 1, 6, 4}},
        // 6:5 as before, with the same arguments given explicitly.
        {640, 480, 6, 5, {32, 0, 576, 480}, {0, 26, 640, 533}},
        {645, 10, 6, 5, {316, 0, 12, 10}, {0, 264, 645, 538}},
    };
    for (const Case& c : cases) {
        const FitRect crop = FillCrop(c.w, c.h, c.sw, c.sh);
        const FitRect canvas = BorderCanvas(c.w, c.h, c.sw, c.sh);
        const std::string what = std::to_string(c.w) + "x" + std::to_string(c.h) + " at " + std::to_string(c.sw) + ":" +
                                 std::to_string(c.sh);
        EXPECT_EQ(crop.X, c.crop.X) << what;
        EXPECT_EQ(crop.Y, c.crop.Y) << what;
        EXPECT_EQ(crop.Width, c.crop.Width) << what;
        EXPECT_EQ(crop.Height, c.crop.Height) << what;
        EXPECT_EQ(canvas.X, c.canvas.X) << what;
        EXPECT_EQ(canvas.Y, c.canvas.Y) << what;
        EXPECT_EQ(canvas.Width, c.canvas.Width) << what;
        EXPECT_EQ(canvas.Height, c.canvas.Height) << what;
    }
}

TEST_F(ShapeImportTest, TheShapeSettingDecidesWhatTheCropKeeps)
{
    // Red edges of 32 columns: outside the 6:5 crop of a 640 x 480 picture,
    // inside the 4:3 one, which is the whole picture.
    Save24("C:\\wide.bmp", 640, 480, [](int32_t x, int32_t) { return (x < 32 || x >= 608) ? Red : Green; });
    Settings.FullScreen = true;
    const auto redColumns = [](const Picture& p) {
        int32_t n = 0;
        for (int32_t x = 0; x < p.Width; ++x) n += p.At(x, 200)[0] > 200 ? 1 : 0;
        return n;
    };
    Settings.ScreenShape = ScreenShapeIndex("6:5");
    EXPECT_EQ(redColumns(Import("C:\\wide.bmp")), 0);
    Settings.ScreenShape = ScreenShapeIndex("4:3");
    const int32_t kept = redColumns(Import("C:\\wide.bmp"));
    EXPECT_GE(kept, 28);  // 2 x 32 of 640 columns are 2 x 16 of 320
    EXPECT_LE(kept, 34);

    // 8:5 with borders: a 4:3 picture gets bands left and right.
    Settings.FullScreen = false;
    Settings.ScreenShape = ScreenShapeIndex("8:5");
    Save24("C:\\white.bmp", 640, 480, [](int32_t, int32_t) { return White; });
    const Picture p = Import("C:\\white.bmp");
    EXPECT_EQ(p.At(10, 200), Black);
    EXPECT_EQ(p.At(160, 200), (Rgb{252, 252, 252}));
    EXPECT_EQ(p.At(309, 200), Black);
}

TEST_F(ShapeImportTest, BestReductionGivesADacTruePalette)
{
    Save24("C:\\busy.png", 400, 300, [](int32_t x, int32_t y) {
        return Rgb{static_cast<uint8_t>(x * 255 / 399), static_cast<uint8_t>(y * 255 / 299),
                   static_cast<uint8_t>((x * 5 + y * 11) & 255)};
    });
    Settings.BestColors = true;
    const Picture best = Import("C:\\busy.png");
    ASSERT_EQ(best.Bits, 8);
    std::set<uint8_t> used(best.Indexes.begin(), best.Indexes.end());
    EXPECT_GT(used.size(), 200u);
    std::set<Rgb> colours;
    for (uint8_t i : used) {
        const Rgb c = best.Palette[i];
        for (int k = 0; k < 3; ++k) ASSERT_EQ(c[k] % 4, 0) << "entry " << int(i);
        EXPECT_TRUE(colours.insert(c).second) << "entry " << int(i) << " repeats another on the DAC";
    }
    for (uint8_t i : used) {
        const Rgb c = best.Palette[i];
        const Rgb d = best.Palette[0];
        EXPECT_LE(d[0] + d[1] + d[2], c[0] + c[1] + c[2]) << "entry 0 is the darkest";
    }

    // The default stays the classic reduction, which differs.
    Settings.BestColors = false;
    const Picture classic = Import("C:\\busy.png");
    EXPECT_NE(classic.Indexes, best.Indexes);

    // A logo-sized 8-bit picture goes through the best reduction too.
    Settings.BestColors = true;
    Save8("C:\\logo.png", 320, 400, {Red, Green, Blue, White},
          [](int32_t x, int32_t y) { return static_cast<uint8_t>((x / 80 + y / 100) % 4); });
    const Picture small = Import("C:\\logo.png");
    EXPECT_EQ(small.At(0, 0), (Rgb{252, 0, 0}));
    EXPECT_EQ(small.At(80, 0), (Rgb{0, 252, 0}));
    EXPECT_EQ(small.At(240, 0), (Rgb{252, 252, 252}));
}
