#pragma once
// Helpers of the media information tests: the committed files
// made by ffmpeg and SoX, and a check that a call left nothing behind.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "support/RiffBytes.h"
#include "support/TempMachine.h"

namespace media {

using namespace riff;

// The bytes of a committed test file, tests/data/<folder>/<name>.
inline Bytes DataFile(const std::string& folder, const std::string& name)
{
    std::ifstream in(std::string(LUM_TESTS_DIR) + "/data/" + folder + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << folder << "/" << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Puts bytes on drive C: and gives the Windows name.
inline std::string Place(const TempMachine& m, const std::string& name, const Bytes& bytes)
{
    const std::string path = "C:\\" + name;
    m.WriteFile(path, bytes);
    return path;
}

// Copies a committed test file onto drive C: under its own name.
inline std::string PlaceData(const TempMachine& m, const std::string& folder, const std::string& name)
{
    return Place(m, name, DataFile(folder, name));
}

// Tracked blocks and files before a call, compared after it.
class NothingLeft {
public:
    NothingLeft() : blocks_(MemCount()), files_(FCount()) {}
    void Check(const std::string& what) const
    {
        EXPECT_EQ(MemCount(), blocks_) << what;
        EXPECT_EQ(FCount(), files_) << what;
        EXPECT_EQ(ErrFrameDepth(), 0) << what;
    }

private:
    int32_t blocks_;
    int32_t files_;
};

class MediaTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override { ErrResetState(); }
    TempMachine machine;
};

}  // namespace media
