#include "app/Import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "app_support.h"
#include "platform/Files.h"

using namespace apptest;

namespace {

bool Near(const Rgb& a, const Rgb& b, int tolerance = 16)
{
    for (int k = 0; k < 3; ++k)
        if (std::abs(a[k] - b[k]) > tolerance) return false;
    return true;
}

std::string Show(const Rgb& c)
{
    return "(" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) + ")";
}

// Every pixel of the rectangle [x0, x1] × [y0, y1] is near the colour.
void ExpectArea(const Picture& p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Rgb& colour,
                const std::string& what)
{
    int bad = 0;
    for (int32_t y = y0; y <= y1; ++y)
        for (int32_t x = x0; x <= x1; ++x)
            if (!Near(p.At(x, y), colour) && bad++ == 0)
                ADD_FAILURE() << what << ": pixel " << x << "," << y << " is " << Show(p.At(x, y)) << ", not "
                              << Show(colour);
    EXPECT_EQ(bad, 0) << what;
}

class ImportTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_TRUE(platform::CreateDirectory("C:\\PICS"));
        warehouse = Settings.LogosDir;
    }

    // Imports source into the warehouse under its own name and reads the result.
    Picture Import(const std::string& source, bool fullScreen)
    {
        Settings.FullScreen = fullScreen;
        const std::string target = warehouse + WarehouseName(source);
        if (platform::FileExists(target)) platform::DeleteFile(target);
        ImportResult r = ImportImage(source, target);
        EXPECT_EQ(r.Outcome, ImportOutcome::Imported) << source << ": error " << r.Error;
        EXPECT_EQ(r.Target, target);
        Picture p = Load(target);
        EXPECT_EQ(p.Width, 320);
        EXPECT_EQ(p.Height, 400);
        EXPECT_EQ(p.Bits, 8) << "warehouse images hold 256 colours";
        return p;
    }

    // A small warehouse image standing in the way of an import.
    void Occupy(const std::string& name)
    {
        ForceFolders(warehouse);
        Save8(warehouse + name, 8, 8, {Green}, [](int32_t, int32_t) { return 0; });
    }
    int32_t WidthOf(const std::string& name) { return Load(name).Width; }

    std::string warehouse;
};

// An animation of `frames` frames, each w × h pixels of colour index 0 (black; index 1 is white).
// The codes are 3 bits wide throughout: a clear code before every two pixels
// keeps the table from growing.
Bytes Gif(int32_t w, int32_t h, int frames)
{
    Bytes g = {'G',
               'I',
               'F',
               '8',
               '9',
               'a',
               static_cast<uint8_t>(w),
               static_cast<uint8_t>(w >> 8),
               static_cast<uint8_t>(h),
               static_cast<uint8_t>(h >> 8),
               0x80,
               0,
               0,
               0,
               0,
               0,
               255,
               255,
               255};
    for (int f = 0; f < frames; ++f) {
        g.insert(g.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0});  // graphic control: a delay of 0.1 s
        g.insert(g.end(), {0x2C, 0, 0, 0, 0, static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8),
                           static_cast<uint8_t>(h), static_cast<uint8_t>(h >> 8), 0, 2});
        std::vector<int> codes;
        for (int32_t i = 0; i < w * h; ++i) {
            if (i % 2 == 0) codes.push_back(4);
            codes.push_back(0);
        }
        codes.push_back(5);
        Bytes data((codes.size() * 3 + 7) / 8, 0);
        for (size_t i = 0; i < codes.size(); ++i)
            for (int b = 0; b < 3; ++b)
                if (codes[i] & (1 << b)) data[(i * 3 + b) / 8] |= static_cast<uint8_t>(1 << ((i * 3 + b) % 8));
        for (size_t at = 0; at < data.size(); at += 255) {
            const size_t n = std::min<size_t>(255, data.size() - at);
            g.push_back(static_cast<uint8_t>(n));
            g.insert(g.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
        }
        g.push_back(0);
    }
    g.push_back(0x3B);
    return g;
}

std::string Question(const std::string& name)
{
    return "File \"" + name +
           "\" already exists. Do you want to overwrite it? \"Yes\"=Overwrite, \"No\"=Select another name or skip, "
           "\"All\"=Overwrite always, \"Cancel\"=Abort.";
}

}  // namespace

TEST(FittingRules, CropAndCanvasFollowTheSixToFiveShape)
{
    auto same = [](const FitRect& r, int32_t x, int32_t y, int32_t w, int32_t h) {
        return r.X == x && r.Y == y && r.Width == w && r.Height == h;
    };
    EXPECT_TRUE(same(FillCrop(640, 480), 32, 0, 576, 480));
    EXPECT_TRUE(same(BorderCanvas(640, 480), 0, 26, 640, 533));
    EXPECT_TRUE(same(FillCrop(300, 400), 0, 75, 300, 250));
    EXPECT_TRUE(same(BorderCanvas(300, 400), 90, 0, 480, 400));
    // Exactly 6:5 keeps its whole area either way.
    EXPECT_TRUE(same(FillCrop(600, 500), 0, 0, 600, 500));
    EXPECT_TRUE(same(BorderCanvas(600, 500), 0, 0, 600, 500));
    // div and the halvings truncate.
    EXPECT_TRUE(same(FillCrop(641, 480), 32, 0, 576, 480));
    EXPECT_TRUE(same(FillCrop(301, 400), 0, 75, 301, 250));
    EXPECT_TRUE(same(BorderCanvas(301, 400), 89, 0, 480, 400));
    // An exact half goes to the even neighbour: 645 × 5 / 6 = 537.5, 651 × 5 / 6 = 542.5.
    EXPECT_TRUE(same(BorderCanvas(645, 10), 0, 264, 645, 538));
    EXPECT_TRUE(same(BorderCanvas(651, 10), 0, 266, 651, 542));
}

TEST_F(ImportTest, WidePictureIsCroppedToFillTheScreen)
{
    // Red columns lie outside the centred 576 x 480 crop.
    Save24("C:\\PICS\\wide.bmp", 640, 480,
           [](int32_t x, int32_t) { return (x < 32 || x >= 608) ? Red : (x < 320 ? Green : Blue); });
    const Picture p = Import("C:\\PICS\\wide.bmp", true);
    ExpectArea(p, 0, 0, 157, 399, Green, "left half");
    ExpectArea(p, 162, 0, 319, 399, Blue, "right half");
    for (const Rgb& c : p.Pixels) ASSERT_LT(c[0], 40) << "red from outside the crop";
}

TEST_F(ImportTest, WidePictureGetsBlackBandsAboveAndBelow)
{
    // Canvas 640 x 533 with the picture at y = 26: bands of 26 and 27 rows, 19.5 and 20.3 after resampling.
    Save24("C:\\PICS\\wide.bmp", 640, 480, [](int32_t, int32_t) { return White; });
    const Picture p = Import("C:\\PICS\\wide.bmp", false);
    ExpectArea(p, 0, 0, 319, 18, Black, "top band");
    ExpectArea(p, 0, 21, 319, 378, White, "picture");
    ExpectArea(p, 0, 381, 319, 399, Black, "bottom band");
}

TEST_F(ImportTest, TallPictureIsCroppedToFillTheScreen)
{
    Save24("C:\\PICS\\tall.bmp", 300, 400,
           [](int32_t, int32_t y) { return (y < 75 || y >= 325) ? Red : (y < 200 ? Green : Blue); });
    const Picture p = Import("C:\\PICS\\tall.bmp", true);
    ExpectArea(p, 0, 0, 319, 197, Green, "upper half");
    ExpectArea(p, 0, 202, 319, 399, Blue, "lower half");
    for (const Rgb& c : p.Pixels) ASSERT_LT(c[0], 40) << "red from outside the crop";
}

TEST_F(ImportTest, TallPictureGetsBlackBandsLeftAndRight)
{
    // Canvas 480 x 400 with the picture at x = 90: 60 columns each side after resampling.
    Save24("C:\\PICS\\tall.bmp", 300, 400, [](int32_t, int32_t) { return White; });
    const Picture p = Import("C:\\PICS\\tall.bmp", false);
    ExpectArea(p, 0, 0, 58, 399, Black, "left band");
    ExpectArea(p, 62, 0, 257, 399, White, "picture");
    ExpectArea(p, 262, 0, 319, 399, Black, "right band");
}

TEST_F(ImportTest, FittingGivesTheBytesOfAnExplicitCropOrCanvas)
{
    // The import reads the crop or the bordered canvas in place; the result
    // is that of cutting the crop or pasting onto a black canvas first.
    const int32_t sizes[][2] = {{1001, 777}, {777, 1001},  {100, 80}, {50, 90},  {321, 401},
                                {645, 412},  {2000, 1700}, {7, 9},    {1500, 3}, {3, 1500}};
    for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        Lcg rnd(w * 7 + h);
        const std::string name = "C:\\PICS\\p" + std::to_string(w) + "x" + std::to_string(h) + ".bmp";
        Save24(name, w, h, [&](int32_t x, int32_t y) {
            return Rgb{uint8_t(x * 255 / w + rnd.Next(24)), uint8_t(y * 255 / h + rnd.Next(24)),
                       uint8_t(rnd.Next(256))};
        });
        for (const bool fill : {true, false}) {
            Limg ref, temp;
            ImgLoad(name, ref);
            if (fill) {
                const FitRect r = FillCrop(w, h);
                ImgCrop(ref, temp, r.X, r.Y, r.Width, r.Height);
            } else {
                const FitRect r = BorderCanvas(w, h);
                ImgAlloc(temp, r.Width, r.Height, 24);
                std::fill(temp.Data, temp.Data + temp.Size, uint8_t{0});
                ImgInsert(ref, temp, r.X, r.Y);
            }
            ImgResample(temp, ref, 320, 400);
            ReduceColors(ref);
            ASSERT_EQ(ErrGet(), 0);
            const Picture p = Import(name, fill);
            const std::string what = name + (fill ? " filling" : " with borders");
            EXPECT_EQ(p.Indexes, std::vector<uint8_t>(ref.Data, ref.Data + 320 * 400)) << what;
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(p.Palette[i], (Rgb{ref.Palette[i][2], ref.Palette[i][1], ref.Palette[i][0]})) << what;
            ImgFree(temp);
            ImgFree(ref);
        }
    }
}

TEST_F(ImportTest, LogoScreenModesAreStretchedWhateverTheFittingRule)
{
    Save24("C:\\PICS\\half.bmp", 320, 200, [](int32_t, int32_t y) { return y < 100 ? Red : Blue; });
    Save24("C:\\PICS\\double.bmp", 640, 400, [](int32_t x, int32_t) { return x < 320 ? Red : Green; });

    const Picture half = Import("C:\\PICS\\half.bmp", true);
    const Bytes halfFill = machine.ReadFile(warehouse + "half.png");
    ExpectArea(half, 0, 0, 319, 197, Red, "320 x 200 top");
    ExpectArea(half, 0, 202, 319, 399, Blue, "320 x 200 bottom");
    Import("C:\\PICS\\half.bmp", false);
    EXPECT_EQ(machine.ReadFile(warehouse + "half.png"), halfFill);

    const Picture twice = Import("C:\\PICS\\double.bmp", false);
    const Bytes doubleBorders = machine.ReadFile(warehouse + "double.png");
    ExpectArea(twice, 0, 0, 157, 399, Red, "640 x 400 left");
    ExpectArea(twice, 162, 0, 319, 399, Green, "640 x 400 right");
    Import("C:\\PICS\\double.bmp", true);
    EXPECT_EQ(machine.ReadFile(warehouse + "double.png"), doubleBorders);
}

TEST_F(ImportTest, LogoSizedPicturesKeepEveryPixel)
{
    // A one-pixel checkerboard would not survive any resampling. The palette
    // holds the colours to 6 bits per channel.
    auto checker = [](int32_t x, int32_t y) { return ((x + y) & 1) != 0; };
    Save24("C:\\PICS\\deep.png", 320, 400, [&](int32_t x, int32_t y) { return checker(x, y) ? Red : Blue; });
    const Picture deep = Import("C:\\PICS\\deep.png", true);
    for (int32_t y = 0; y < 400; ++y)
        for (int32_t x = 0; x < 320; ++x)
            ASSERT_TRUE(Near(deep.At(x, y), checker(x, y) ? Red : Blue, 4)) << x << "," << y;

    // An 8-bit one is only remapped: every pixel keeps its colour.
    const std::vector<Rgb> palette = {{10, 20, 30}, {200, 100, 50}, {0, 255, 128}, {255, 255, 255}};
    Save8("C:\\PICS\\indexed.bmp", 320, 400, palette,
          [](int32_t x, int32_t y) { return static_cast<uint8_t>((x / 3 + y) % 4); });
    const Picture indexed = Import("C:\\PICS\\indexed.bmp", false);
    for (int32_t y = 0; y < 400; ++y)
        for (int32_t x = 0; x < 320; ++x)
            ASSERT_TRUE(Near(indexed.At(x, y), palette[static_cast<size_t>((x / 3 + y) % 4)], 4))
                << x << "," << y << " " << Show(indexed.At(x, y));
}

TEST_F(ImportTest, LogoSizedPicturesOfOtherDepthsAreBroughtTo24BitsFirst)
{
    const Rgb quadrants[4] = {{248, 0, 0}, {0, 248, 0}, {0, 0, 248}, {248, 248, 248}};
    auto colour = [&](int32_t x, int32_t y) { return quadrants[(x < 160 ? 0 : 1) + (y < 200 ? 0 : 2)]; };

    // 15 bits: a BMP of 16 bits per pixel, written by the program's own writer.
    {
        Limg img;
        ImgAlloc(img, 320, 400, 24);
        for (int32_t y = 0; y < 400; ++y)
            for (int32_t x = 0; x < 320; ++x) {
                const Rgb c = colour(x, y);
                uint8_t* p = img.Data + (static_cast<size_t>(y) * 320 + x) * 3;
                p[0] = c[2];
                p[1] = c[1];
                p[2] = c[0];
            }
        ImgConvBit(img, img, 15);
        ImgSave("C:\\PICS\\fifteen.bmp", img);
        ASSERT_EQ(ErrGet(), 0);
        ImgFree(img);
        ASSERT_EQ(U16(machine.ReadFile("C:\\PICS\\fifteen.bmp"), 28), 16u);
    }
    // 32 bits: a Targa file with an opaque alpha channel, rows from the top.
    {
        Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 320 & 255, 320 >> 8, 400 & 255, 400 >> 8, 32, 0x28};
        for (int32_t y = 0; y < 400; ++y)
            for (int32_t x = 0; x < 320; ++x) {
                const Rgb c = colour(x, y);
                tga.insert(tga.end(), {c[2], c[1], c[0], 0xFF});
            }
        machine.WriteFile("C:\\PICS\\thirtytwo.tga", tga);
    }
    for (const std::string& name : {std::string("C:\\PICS\\fifteen.bmp"), std::string("C:\\PICS\\thirtytwo.tga")}) {
        const Picture p = Import(name, true);
        ExpectArea(p, 0, 0, 159, 199, quadrants[0], name + " top left");
        ExpectArea(p, 160, 0, 319, 199, quadrants[1], name + " top right");
        ExpectArea(p, 0, 200, 159, 399, quadrants[2], name + " bottom left");
        ExpectArea(p, 160, 200, 319, 399, quadrants[3], name + " bottom right");
    }
}

TEST_F(ImportTest, WarehouseFolderIsCreatedWhenMissing)
{
    ASSERT_FALSE(FolderExists(warehouse));
    Save24("C:\\PICS\\a.bmp", 8, 8, [](int32_t, int32_t) { return Red; });
    Import("C:\\PICS\\a.bmp", true);
    EXPECT_TRUE(FolderExists(warehouse));
}

TEST_F(ImportTest, AddCommandReportsProgressAndRemembersTheFolder)
{
    Save24("C:\\PICS\\a.bmp", 8, 8, [](int32_t, int32_t) { return Red; });
    Save24("C:\\PICS\\b.jpeg", 8, 8, [](int32_t, int32_t) { return Blue; });
    Settings.GrabDir = "C:\\START\\";
    OverwriteAll = true;  // left from an earlier command: cleared at the start
    CancelAll = true;
    Occupy("a.png");
    ui.OpenFilesAnswers.push_back({"C:\\PICS\\a.bmp", "C:\\PICS\\b.jpeg"});
    ui.OverwriteAnswers.push_back(AnswerYes);

    const AddResult r = AddImages();

    ASSERT_FALSE(ui.Calls.empty());
    EXPECT_EQ(ui.Calls[0], "OpenFiles: Add New Image | C:\\START\\ | 0");
    EXPECT_EQ(Settings.GrabDir, "C:\\PICS\\");
    EXPECT_EQ(ui.Statuses, (std::vector<std::string>{"Adding file \"a.bmp\" (file 1 of 2)",
                                                     "Adding file \"b.jpeg\" (file 2 of 2)"}));
    EXPECT_EQ(ui.Count("ShowStatus(bold): "), 2);
    EXPECT_EQ(ui.Count("AskOverwrite: "), 1);
    EXPECT_EQ(r.Chosen, 2);
    EXPECT_EQ(r.Imported, 2);
    EXPECT_EQ(r.LastTarget, "b.png");
    EXPECT_EQ(WidthOf(warehouse + "a.png"), 320);
    EXPECT_EQ(WidthOf(warehouse + "b.png"), 320);
}

TEST_F(ImportTest, CancelledOpenDialogImportsNothing)
{
    const AddResult r = AddImages();
    EXPECT_EQ(r.Chosen, 0);
    EXPECT_TRUE(ui.Statuses.empty());
    EXPECT_EQ(Settings.GrabDir, "");
}

TEST_F(ImportTest, AllOverwritesEveryLaterNameOfTheSameCommandOnly)
{
    Save24("C:\\PICS\\a.bmp", 8, 8, [](int32_t, int32_t) { return Red; });
    Save24("C:\\PICS\\b.bmp", 8, 8, [](int32_t, int32_t) { return Blue; });
    Occupy("a.png");
    Occupy("b.png");
    ui.OverwriteAnswers = {AnswerAll};

    const AddResult r = AddFiles({"C:\\PICS\\a.bmp", "C:\\PICS\\b.bmp"});
    EXPECT_EQ(r.Imported, 2);
    EXPECT_TRUE(OverwriteAll);
    EXPECT_EQ(ui.Count("AskOverwrite: "), 1);
    EXPECT_EQ(ui.Calls[1], "AskOverwrite: " + Question("a.png"));
    EXPECT_EQ(WidthOf(warehouse + "a.png"), 320);
    EXPECT_EQ(WidthOf(warehouse + "b.png"), 320);

    // The next command asks again.
    ui.OverwriteAnswers = {AnswerYes};
    AddFiles({"C:\\PICS\\a.bmp"});
    EXPECT_EQ(ui.Count("AskOverwrite: "), 2);
}

TEST_F(ImportTest, CancelSkipsTheFileAndEndsTheCommand)
{
    Save24("C:\\PICS\\a.bmp", 8, 8, [](int32_t, int32_t) { return Red; });
    Save24("C:\\PICS\\b.bmp", 8, 8, [](int32_t, int32_t) { return Blue; });
    Occupy("a.png");
    ui.OverwriteAnswers = {AnswerCancel};

    const AddResult r = AddFiles({"C:\\PICS\\a.bmp", "C:\\PICS\\b.bmp"});
    EXPECT_TRUE(CancelAll);
    EXPECT_EQ(r.Imported, 0);
    ASSERT_EQ(r.Results.size(), 1u);
    EXPECT_EQ(r.Results[0].Outcome, ImportOutcome::Skipped);
    EXPECT_EQ(ui.Statuses.size(), 1u);
    EXPECT_EQ(WidthOf(warehouse + "a.png"), 8);
    EXPECT_FALSE(platform::FileExists(warehouse + "b.png"));
}

TEST_F(ImportTest, NoAsksForAnotherNameThatIsAlwaysAPngInTheWarehouse)
{
    Save24("C:\\PICS\\flower.jpeg", 8, 8, [](int32_t, int32_t) { return Red; });
    Occupy("flower.png");
    ASSERT_TRUE(platform::CreateDirectory("C:\\ELSEWHERE"));
    ui.OverwriteAnswers = {AnswerNo};
    // Another folder, a new subfolder of the warehouse: neither would show
    // in the list, so the name is asked for again.
    ui.SaveAsAnswers = {"C:\\ELSEWHERE\\flower2.bmp", warehouse + "new\\flower2.png", warehouse + "flower2.bmp"};

    const AddResult r = AddFiles({"C:\\PICS\\flower.jpeg"});
    ASSERT_EQ(r.Results.size(), 1u);
    EXPECT_EQ(r.Results[0].Outcome, ImportOutcome::Imported);
    EXPECT_EQ(r.Results[0].Target, warehouse + "flower2.png");
    EXPECT_EQ(ui.Count("SaveAs: Select a different name | " + warehouse + " | flower.png"), 3);
    EXPECT_EQ(ui.Errors, (std::vector<std::string>(2, "Choose a name in the warehouse folder \"" + warehouse + "\".")));
    EXPECT_EQ(WidthOf(warehouse + "flower2.png"), 320);
    EXPECT_FALSE(platform::FileExists("C:\\ELSEWHERE\\flower2.png"));
    EXPECT_FALSE(platform::FileExists(warehouse + "new"));
    EXPECT_FALSE(platform::FileExists(warehouse + "flower2.bmp"));
    EXPECT_EQ(WidthOf(warehouse + "flower.png"), 8);
}

TEST_F(ImportTest, NoThenATakenNameAsksAgainAboutThatName)
{
    Save24("C:\\PICS\\a.bmp", 8, 8, [](int32_t, int32_t) { return Red; });
    Occupy("a.png");
    Occupy("taken.png");
    ui.OverwriteAnswers = {AnswerNo, AnswerYes};
    ui.SaveAsAnswers = {warehouse + "taken.tif"};

    AddFiles({"C:\\PICS\\a.bmp"});
    EXPECT_EQ(ui.Count("AskOverwrite: " + Question("a.png")), 1);
    EXPECT_EQ(ui.Count("AskOverwrite: " + Question("taken.png")), 1);
    EXPECT_EQ(WidthOf(warehouse + "taken.png"), 320);
    EXPECT_EQ(WidthOf(warehouse + "a.png"), 8);
}

TEST_F(ImportTest, NoThenCancelledDialogSkipsOnlyThatFile)
{
    Save24("C:\\PICS\\a.bmp", 8, 8, [](int32_t, int32_t) { return Red; });
    Save24("C:\\PICS\\b.bmp", 8, 8, [](int32_t, int32_t) { return Blue; });
    Occupy("a.png");
    ui.OverwriteAnswers = {AnswerNo};
    ui.SaveAsAnswers = {""};

    const AddResult r = AddFiles({"C:\\PICS\\a.bmp", "C:\\PICS\\b.bmp"});
    EXPECT_FALSE(CancelAll);
    ASSERT_EQ(r.Results.size(), 2u);
    EXPECT_EQ(r.Results[0].Outcome, ImportOutcome::Skipped);
    EXPECT_EQ(r.Results[1].Outcome, ImportOutcome::Imported);
    EXPECT_EQ(WidthOf(warehouse + "a.png"), 8);
    EXPECT_EQ(WidthOf(warehouse + "b.png"), 320);
}

TEST_F(ImportTest, FilesThatAreNoStillPicturesAreRefusedWithAMessage)
{
    machine.WriteText("C:\\PICS\\notes.xyz", "text");
    machine.WriteFile("C:\\PICS\\anim.gif", Gif(8, 8, 2));
    machine.WriteFile("C:\\PICS\\still.gif", Gif(8, 8, 1));

    const AddResult r =
        AddFiles({"C:\\PICS\\notes.xyz", "C:\\PICS\\anim.gif", "C:\\PICS\\missing.jpg", "C:\\PICS\\still.gif"});
    EXPECT_EQ(ui.Errors, (std::vector<std::string>{"Format not supported (\"notes.xyz\")",
                                                   "Video clips are not accepted (\"anim.gif\")",
                                                   "File not found (\"missing.jpg\")"}));
    EXPECT_EQ(r.Refused, 3);
    EXPECT_EQ(r.Imported, 1);
    EXPECT_FALSE(platform::FileExists(warehouse + "notes.png"));
    EXPECT_FALSE(platform::FileExists(warehouse + "anim.png"));
    // The single frame is a still picture: black, with the black borders of its canvas.
    const Picture still = Load(warehouse + "still.png");
    for (const Rgb& c : still.Pixels) ASSERT_EQ(c, Black);
}

TEST_F(ImportTest, FailedLibraryStepIsToldAndTheNextFileImported)
{
    // The header is whole, the pixels are cut short: the information reads, the load fails.
    Save24("C:\\PICS\\cut.bmp", 64, 64, [](int32_t, int32_t) { return Red; });
    Bytes cut = machine.ReadFile("C:\\PICS\\cut.bmp");
    cut.resize(cut.size() / 2);
    machine.WriteFile("C:\\PICS\\cut.bmp", cut);
    Save24("C:\\PICS\\ok.bmp", 8, 8, [](int32_t, int32_t) { return Red; });

    const AddResult r = AddFiles({"C:\\PICS\\cut.bmp", "C:\\PICS\\ok.bmp"});
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_EQ(ui.Errors[0].rfind("Couldn't add \"cut.bmp\": ", 0), 0u) << ui.Errors[0];
    ASSERT_EQ(r.Results.size(), 2u);
    EXPECT_EQ(r.Results[0].Outcome, ImportOutcome::Failed);
    EXPECT_NE(r.Results[0].Error, 0);
    EXPECT_EQ(r.Results[1].Outcome, ImportOutcome::Imported);
    EXPECT_FALSE(platform::FileExists(warehouse + "cut.png"));
}

TEST_F(ImportTest, WarehouseThatCannotBeMadeIsTold)
{
    machine.WriteText("C:\\BLOCKED", "a file in the way");
    Settings.LogosDir = "C:\\BLOCKED\\logos\\";
    Save24("C:\\PICS\\a.bmp", 8, 8, [](int32_t, int32_t) { return Red; });
    const AddResult r = AddFiles({"C:\\PICS\\a.bmp"});
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_EQ(ui.Errors[0].rfind("Couldn't add \"a.bmp\": ", 0), 0u) << ui.Errors[0];
    EXPECT_EQ(r.Failed, 1);
    EXPECT_EQ(Text(machine.ReadFile("C:\\BLOCKED")), "a file in the way");
}
