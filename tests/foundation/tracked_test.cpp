#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "platform/Files.h"
#include "support/TempMachine.h"

namespace {

class TrackedTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override
    {
        EXPECT_EQ(MemCount(), 0);
        EXPECT_EQ(FCount(), 0);
        ErrResetState();
    }
    TempMachine machine;
};

TEST_F(TrackedTest, AllocationSizesCarryHeadroom)
{
    uint8_t* p = nullptr;
    EXPECT_EQ(MemAlloc(p, 0), 2001);
    EXPECT_EQ(MemAlloc(p, -1), 2001);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(MemAlloc(p, 1), 0);
    EXPECT_EQ(MemEntrySize(0), 4);
    MemFree(p);
    EXPECT_EQ(MemAlloc(p, 100), 0);
    EXPECT_EQ(MemEntrySize(0), 108);
    MemFree(p);
    // Padding the largest sizes would not fit in 32 bits.
    EXPECT_EQ(MemAlloc(p, INT32_MAX), 2001);
    EXPECT_EQ(MemAlloc(p, 2100000000), 2001);
    EXPECT_EQ(MemCount(), 0);
}

TEST_F(TrackedTest, ResizeKeepsNameAndContents)
{
    uint8_t* p = nullptr;
    ASSERT_EQ(MemAlloc(p, 8), 0);
    EXPECT_EQ(MemEntryName(0), "Handle #0");
    MemName(p, "Test", "buffer");
    std::memcpy(p, "abcdefgh", 8);
    ASSERT_EQ(MemAlloc(p, 4000), 0);
    EXPECT_EQ(MemCount(), 1);
    EXPECT_EQ(MemEntryName(0), "Test: buffer");
    EXPECT_EQ(std::memcmp(p, "abcdefgh", 8), 0);
    MemFree(p);
}

TEST_F(TrackedTest, LargeBlocksStartOnAHugePageAndResizeLikeOthers)
{
    // Picture-sized blocks start on a 2 MB boundary, where huge pages can back them whole.
    uint8_t* p = nullptr;
    ASSERT_EQ(MemAlloc(p, 5 * 1024 * 1024), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % (2 * 1024 * 1024), 0u);
    p[0] = 'a';
    p[5 * 1024 * 1024 - 1] = 'z';
    ASSERT_EQ(MemAlloc(p, 9 * 1024 * 1024), 0);
    EXPECT_EQ(p[0], 'a');
    EXPECT_EQ(p[5 * 1024 * 1024 - 1], 'z');
    ASSERT_EQ(MemAlloc(p, 16), 0);
    EXPECT_EQ(p[0], 'a');
    EXPECT_EQ(MemCount(), 1);
    MemFree(p);
}

TEST_F(TrackedTest, FreeOfUntrackedOrNullLeavesTheVariable)
{
    uint8_t local[4] = {};
    uint8_t* p = local;
    MemFree(p);
    EXPECT_EQ(p, local);
    uint8_t* q = nullptr;
    MemFree(q);
    EXPECT_EQ(q, nullptr);
    EXPECT_FALSE(MemIsTracked(p));
}

TEST_F(TrackedTest, ExchangeSwapsBlocksButKeepsNamesWithVariables)
{
    uint8_t *a = nullptr, *b = nullptr;
    MemAlloc(a, 10);
    MemAlloc(b, 100);
    MemName(a, "T", "a");
    MemName(b, "T", "b");
    uint8_t* oldA = a;
    MemXchg(a, b);
    EXPECT_EQ(ErrGet(), 0);
    std::swap(a, b);
    EXPECT_EQ(b, oldA);
    MemFree(a);  // frees the 100-byte block, which is now a's
    EXPECT_EQ(MemCount(), 1);
    EXPECT_EQ(MemEntrySize(0), 12);
    EXPECT_EQ(MemEntryName(0), "T: b");
    MemFree(b);

    uint8_t* untracked = nullptr;
    MemAlloc(a, 4);
    MemXchg(a, untracked);
    EXPECT_EQ(ErrGet(), 2002);
    EXPECT_EQ(MemCount(), 1) << "a block allocated before the exchange is not its to release";
    MemFree(a);
}

TEST_F(TrackedTest, TableLimitsFailWithTheAllocationAndOpenCodes)
{
    std::vector<uint8_t*> blocks(MaxMemBlocks + 1, nullptr);
    for (int i = 0; i < MaxMemBlocks; ++i) ASSERT_EQ(MemAlloc(blocks[static_cast<size_t>(i)], 4), 0);
    EXPECT_EQ(MemAlloc(blocks[MaxMemBlocks], 4), 2001);
    EXPECT_EQ(blocks[MaxMemBlocks], nullptr);
    MemFreeDownTo(0);

    machine.WriteText("C:\\f.txt", "x");
    std::vector<int32_t> handles(MaxOpenFiles + 1);
    for (int i = 0; i < MaxOpenFiles; ++i) ASSERT_EQ(FOpen(handles[static_cast<size_t>(i)], "C:\\f.txt", FmRead), 0);
    EXPECT_EQ(FOpen(handles[MaxOpenFiles], "C:\\f.txt", FmRead), 5001);
    EXPECT_EQ(handles[MaxOpenFiles], INVALID_HANDLE);
    EXPECT_EQ(FOpen(handles[MaxOpenFiles], "C:\\g.txt", FmCreate), 5002);
    FCloseDownTo(0);
}

TEST_F(TrackedTest, OpenModes)
{
    int32_t h;
    EXPECT_EQ(FOpen(h, "C:\\missing.bin", FmRead), 5001);
    EXPECT_EQ(h, INVALID_HANDLE);
    EXPECT_EQ(ErrText(5001), "Cannot open file: C:\\missing.bin");
    EXPECT_EQ(FOpen(h, "C:\\missing.bin", FmAppend), 5007);
    EXPECT_EQ(FOpen(h, "C:\\NoSuchFolder\\x.bin", FmCreate), 5002);
    EXPECT_EQ(FOpen(h, "C:\\WINDOWS", FmRead), 5001) << "a folder is not a file";

    ASSERT_EQ(FOpen(h, "C:\\data.bin", FmCreate), 0);
    EXPECT_EQ(FWrite(h, "hello", 5), 0);
    EXPECT_EQ(FSize(h), 5);
    FClose(h);

    ASSERT_EQ(FOpen(h, "C:\\data.bin", FmAppend), 0);
    EXPECT_EQ(FPos(h), 5);
    EXPECT_EQ(FWrite(h, "!", 1), 0);
    FClose(h);

    ASSERT_EQ(FOpen(h, "C:\\data.bin", FmRead), 0);
    char buf[8] = {};
    EXPECT_EQ(FSeek(h, 1), 0);
    EXPECT_EQ(FRead(h, buf, 5), 0);
    EXPECT_EQ(std::string(buf), "ello!");
    EXPECT_EQ(FRead(h, buf, 1), 5003) << "a short read is an error";
    int32_t done = -1;
    FSeek(h, 4);
    FReadMax(h, buf, 8, done);
    EXPECT_EQ(done, 2);
    EXPECT_EQ(FWrite(h, "x", 1), 5004) << "opened for reading only";
    FClose(h);

    EXPECT_EQ(FSize(12345), INVALID_HANDLE);
    EXPECT_EQ(FRead(12345, buf, 1), 0) << "unknown handles are ignored";
}

TEST_F(TrackedTest, HandlesAreNeverReused)
{
    machine.WriteText("C:\\f.txt", "x");
    int32_t h1, h2;
    FOpen(h1, "C:\\f.txt", FmRead);
    FClose(h1);
    FOpen(h2, "C:\\f.txt", FmRead);
    EXPECT_GT(h2, h1);
    FClose(h2);
}

TEST_F(TrackedTest, DeleteClearsReadOnlyAndIgnoresMissingFiles)
{
    EXPECT_EQ(FDelete("C:\\missing.bin"), 0);
    machine.WriteText("C:\\ro.txt", "x");
    ASSERT_TRUE(platform::SetFileAttributes("C:\\ro.txt", platform::AttrReadOnly));
    EXPECT_EQ(FDelete("C:\\ro.txt"), 0);
    EXPECT_FALSE(machine.Exists("C:\\ro.txt"));
}

TEST_F(TrackedTest, TextFilesEndLinesWithCrLf)
{
    int32_t h;
    ASSERT_EQ(TxtOpen(h, "C:\\log.txt", FmCreate), 0);
    TxtWrite(h, "one");
    TxtClose(h);
    ASSERT_EQ(TxtOpen(h, "C:\\log.txt", FmAppend), 0);
    TxtWrite(h, "two");
    TxtClose(h);
    auto bytes = machine.ReadFile("C:\\log.txt");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "one\r\ntwo\r\n");
    EXPECT_EQ(TxtOpen(h, "C:\\nope.txt", 0), 5001);
}

TEST_F(TrackedTest, FailedOperationClosesItsFiles)
{
    machine.WriteText("C:\\f.txt", "x");
    int32_t h = 0;
    Guarded("Op", [&] {
        FOpen(h, "C:\\f.txt", FmRead);
        char c[2];
        FRead(h, c, 2);
    });
    EXPECT_EQ(ErrGet(), 5003);
    EXPECT_EQ(FCount(), 0);
}

TEST_F(TrackedTest, LeakReportNamesBlocksOrCountsFiles)
{
    machine.WriteText("C:\\trace.txt", "");
    ErrSetTrace(true);
    uint8_t *a = nullptr, *b = nullptr;
    MemAlloc(a, 1000000);
    MemName(a, "Loader", "pixels");
    MemAlloc(b, 1);
    ReportLeaks();
    EXPECT_EQ(MemCount(), 0);

    int32_t h1, h2;
    FOpen(h1, "C:\\trace.txt", FmRead);
    FOpen(h2, "C:\\trace.txt", FmRead);
    ReportLeaks();
    EXPECT_EQ(FCount(), 0);
    ErrSetTrace(false);

    auto bytes = machine.ReadFile("C:\\trace.txt");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "Unallocated memory:\r\n  Handle #1:     4\r\n\r\n  Loader: pixels:1,050,000\r\n\r\n"
              "Open files: 2\r\n\r\n");
}

}  // namespace
