#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> CorpusFiles()
{
    std::vector<std::string> files;
    std::string root = SharedTestData();
    if (root.empty() || !fs::is_directory(root + "/pillow")) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root + "/pillow")) {
        if (!entry.is_regular_file()) continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".tif" || ext == ".tiff")
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every third-party PNG, JPEG and TIFF ends with a picture or an error code,
// and leaves no block or file behind either way.
TEST(ExtCodecCorpus, EveryFileEndsWithAPictureOrAnErrorCode)
{
    TempMachine machine;
    std::vector<std::string> files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "no shared test data";
    int pictures = 0, refused = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        ErrResetState();
        const int32_t blocks = MemCount(), open = FCount();
        TFileInfo info;
        FFInfo(file, info);
        const int32_t infoCode = ErrGet();
        Limg img;
        ImgLoad(file, img);
        const int32_t code = ErrGet();
        if (code == 0) {
            ++pictures;
            EXPECT_TRUE(MemIsTracked(img.Data));
            EXPECT_GT(img.Width, 0);
            EXPECT_GT(img.Height, 0);
            EXPECT_EQ(img.Size, img.Width * img.Height * img.BytesPP);
            EXPECT_TRUE(img.Bits == 8 || img.Bits == 24) << img.Bits;
            if (infoCode == 0) {
                EXPECT_EQ(info.Picture.Width, img.Width);
                EXPECT_EQ(info.Picture.Height, img.Height);
            }
        } else {
            ++refused;
        }
        ImgFree(img);
        EXPECT_EQ(MemCount(), blocks);
        EXPECT_EQ(FCount(), open);
    }
    std::printf("[ corpus   ] %d pictures, %d refused of %zu files\n", pictures, refused, files.size());
    EXPECT_GT(pictures, 0);
}

}  // namespace
