#pragma once
// Helpers of the media information tests: RIFF chunks, the committed files
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
#include "support/TempMachine.h"

namespace media {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutId(Bytes& b, const char* id)
{
    b.insert(b.end(), id, id + 4);
}
inline Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A chunk with its pad byte; a size of -1 stores the real size.
inline Bytes Chunk(const char* id, const Bytes& data, int64_t size = -1)
{
    Bytes b;
    PutId(b, id);
    Put32(b, size < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(size));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    return b;
}

inline Bytes Form(const char* id, const char* type, const std::vector<Bytes>& children, int64_t size = -1)
{
    Bytes data;
    PutId(data, type);
    for (const Bytes& c : children) data.insert(data.end(), c.begin(), c.end());
    return Chunk(id, data, size);
}

// A WAVEFORMATEX; `length` cuts it short (16 is a PCMWAVEFORMAT).
inline Bytes WaveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg, uint16_t align, uint16_t bits,
                        size_t length = 18)
{
    Bytes b;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, avg);
    Put16(b, align);
    Put16(b, bits);
    Put16(b, 0);
    b.resize(length, 0);
    return b;
}

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
