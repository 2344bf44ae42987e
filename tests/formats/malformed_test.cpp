#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

// The files of tests/data/<format>/malformed/: inputs that once crashed a
// reader, made it allocate without bound or read outside its buffers (most
// found by the fuzz targets). Each must end with the code stated here and
// leave no block or file behind.

namespace {

namespace fs = std::filesystem;

struct Malformed {
    const char* Path;  // below tests/data
    int32_t InfoCode;  // FFInfo
    int32_t LoadCode;  // ImgLoad; -1 for formats that only describe
};

// clang-format off
const Malformed Files[] = {
    // A data offset of 0x80000000 once overflowed the palette size.
    {"bmp/malformed/dataoffset-overflow.bmp", 0, 6001},
    // iTXt chunks claiming over a gigabyte, once buffered whole by libpng.
    {"png/malformed/chunk-length-oom.png", 5003, 5003},
    {"png/malformed/chunk-length-oom-2.png", 5003, 5003},
    // A stream header chunk of no bytes, once copied from a null pointer.
    {"avi/malformed/empty-strh.avi", 8005, -1},
};
// clang-format on

std::vector<uint8_t> ReadData(const std::string& path)
{
    std::ifstream in(std::string(LUM_TESTS_DIR) + "/data/" + path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MalformedTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override { ErrResetState(); }
    TempMachine machine;
};

TEST_F(MalformedTest, EveryFileEndsWithItsCode)
{
    for (const Malformed& m : Files) {
        SCOPED_TRACE(m.Path);
        const std::string name = "C:\\" + fs::path(m.Path).filename().string();
        machine.WriteFile(name, ReadData(m.Path));
        const int32_t blocks = MemCount(), files = FCount();
        TFileInfo info;
        FFInfo(name, info);
        EXPECT_EQ(ErrGet(), m.InfoCode);
        ErrResetState();
        if (m.LoadCode >= 0) {
            Limg img;
            ImgLoad(name, img);
            EXPECT_EQ(ErrGet(), m.LoadCode);
            ErrResetState();
            ImgFree(img);
        }
        EXPECT_EQ(MemCount(), blocks);
        EXPECT_EQ(FCount(), files);
        EXPECT_EQ(ErrFrameDepth(), 0);
    }
}

TEST_F(MalformedTest, EveryCommittedFileIsListed)
{
    std::vector<std::string> listed;
    for (const Malformed& m : Files) listed.push_back(m.Path);
    const fs::path data = fs::path(LUM_TESTS_DIR) / "data";
    for (const auto& entry : fs::recursive_directory_iterator(data)) {
        if (!entry.is_regular_file() || entry.path().parent_path().filename() != "malformed") continue;
        if (entry.path().extension() == ".txt") continue;
        const std::string rel = fs::relative(entry.path(), data).generic_string();
        EXPECT_NE(std::find(listed.begin(), listed.end(), rel), listed.end()) << rel << " has no stated code";
    }
}

}  // namespace
