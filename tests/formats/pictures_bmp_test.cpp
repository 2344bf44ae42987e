// BMP files of every kind the family has, checked against Pillow's decode:
// the bmpsuite files Pillow ships and ImageMagick's own output.

#include <gtest/gtest.h>

#include <filesystem>

#include "formats/pictures_support.h"
#include "foundation/Bytes.h"
#include "support/TempMachine.h"

namespace {

namespace fs = std::filesystem;
using pictures::Bytes;

fs::path BmpSuite()
{
    const std::string root = SharedTestData();
    if (root.empty() || !fs::is_directory(root + "/pillow/bmp/g")) return {};
    return fs::path(root) / "pillow" / "bmp";
}

// 5-5-5 pictures stay 15-bit; Pillow widens each 5-bit sample by 255 / 31.
void WidenLikePillow(const std::string& file, pictures::Rgb& ours)
{
    Limg img;
    ImgLoad(file, img);
    ASSERT_EQ(ErrGet(), 0);
    if (img.Bits == 15) {
        ours.Pixels.clear();
        for (int32_t i = 0; i < img.Width * img.Height; ++i) {
            const uint16_t v = GetU16LE(img.Data + 2 * i);
            for (int shift : {10, 5, 0}) ours.Pixels.push_back(static_cast<uint8_t>(((v >> shift) & 31) * 255 / 31));
        }
    }
    ImgFree(img);
}

TEST(PicturesBmp, EveryGoodSuiteFileMatchesPillow)
{
    TempMachine machine;
    const fs::path suite = BmpSuite();
    if (suite.empty()) GTEST_SKIP() << "no shared test data";
    if (!hosttools::HavePillow()) GTEST_SKIP() << "Pillow is not installed";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(suite / "g")) {
        const std::string file = entry.path().string();
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        pictures::Rgb ours, theirs;
        ASSERT_EQ(pictures::OurRgb(file, ours), 0);
        WidenLikePillow(file, ours);
        // Pillow drops the last pixel of odd absolute runs of RLE4: the
        // uncompressed twin is the reference. Bit fields it does not know
        // it refuses; the file must load here all the same.
        const std::string reference = name == "pal4rle.bmp" ? (suite / "g" / "pal4.bmp").string() : file;
        if (!pictures::PillowRgb(reference, theirs)) continue;
        EXPECT_EQ(ours.Width, theirs.Width);
        EXPECT_EQ(ours.Height, theirs.Height);
        EXPECT_TRUE(ours.Pixels == theirs.Pixels);
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

TEST(PicturesBmp, QuestionableFilesGiveAPictureOrAClearErrorAndBadOnesNeverCrash)
{
    TempMachine machine;
    const fs::path suite = BmpSuite();
    if (suite.empty()) GTEST_SKIP() << "no shared test data";
    int pictures = 0;
    for (const char* folder : {"q", "b"}) {
        for (const auto& entry : fs::directory_iterator(suite / folder)) {
            SCOPED_TRACE(entry.path().string());
            pictures::Rgb ours;
            const int32_t code = pictures::OurRgb(entry.path().string(), ours);
            if (code == 0) {
                ++pictures;
                EXPECT_EQ(ours.Pixels.size(), static_cast<size_t>(ours.Width) * ours.Height * 3);
            } else {
                EXPECT_TRUE(code == 5003 || code == 6001 || code == 6002 || code == 6003) << code;
            }
            EXPECT_EQ(ErrFrameDepth(), 0);
        }
    }
    EXPECT_GE(pictures, 15);
}

TEST(PicturesBmp, ImageMagickDefaultsMatchPillow)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("bmp");
    // A width that is no multiple of 4: ImageMagick codes each RLE8 row to a
    // multiple of 4 pixels and ends it with an end of line.
    const std::string make = "cd '" + dir +
                             "' && convert -size 37x21 gradient:red-blue -swirl 90 photo.png && "
                             "convert photo.png v5.bmp && convert photo.png BMP3:v3.bmp && "
                             "convert photo.png -colors 40 -compress RLE rle8.bmp && "
                             "convert photo.png -colors 12 -compress RLE -type palette BMP3:rle4.bmp && "
                             "convert -size 37x21 gradient:'rgba(255,0,0,0.1)-rgba(0,0,255,1)' alpha.bmp";
    if (std::system((make + " 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "ImageMagick is not installed";
    if (!hosttools::HavePillow()) GTEST_SKIP() << "Pillow is not installed";
    for (const char* name : {"v5.bmp", "v3.bmp", "rle8.bmp", "rle4.bmp", "alpha.bmp"})
        pictures::ExpectSameAsPillow(dir + "/" + name);
}

TEST(PicturesBmp, LogoSizedRleWithEarlyLineEndsLoads)
{
    TempMachine machine;
    // 320 x 400, every row a short run and an end of line: 2 KB of data for
    // a 128000-byte picture, as Windows' own logo files are coded.
    Bytes file(54 + 1024, 0);
    file[0] = 'B', file[1] = 'M';
    PutU32LE(&file[10], 54 + 1024);
    PutU32LE(&file[14], 40);
    PutU32LE(&file[18], 320);
    PutU32LE(&file[22], 400);
    PutU16LE(&file[26], 1);
    PutU16LE(&file[28], 8);
    PutU32LE(&file[30], 1);
    for (int y = 0; y < 400; ++y) file.insert(file.end(), {3, static_cast<uint8_t>(y % 7 + 1), 0, 0});
    file.insert(file.end(), {0, 1});
    machine.WriteFile("C:\\LOGO.BMP", file);
    Limg img;
    ImgLoad("C:\\LOGO.BMP", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Data[0], 399 % 7 + 1);    // top row, stored last
    EXPECT_EQ(img.Data[3], 0);              // the background past the run
    EXPECT_EQ(img.Data[399 * 320 + 2], 1);  // bottom row, stored first
    ImgFree(img);
}

}  // namespace
