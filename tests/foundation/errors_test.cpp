#include "foundation/Errors.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>

#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "support/TempMachine.h"

namespace {

class ErrorsTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override
    {
        EXPECT_EQ(ErrFrameDepth(), 0);
        EXPECT_EQ(MemCount(), 0);
        EXPECT_EQ(FCount(), 0);
        ErrResetState();
    }

    std::string TraceText() const
    {
        auto bytes = machine.ReadFile("C:\\trace.txt");
        return std::string(bytes.begin(), bytes.end());
    }

    TempMachine machine;
};

// Three nested operations, each holding a block; the innermost asks for
// more than can be given.
void Level3(uint8_t*& a, uint8_t*& b, uint8_t*& c)
{
    Guarded("Level3", [&] {
        MemAlloc(c, 64);
        MemAlloc(c, -5);
    });
    (void)a;
    (void)b;
}
void Level2(uint8_t*& a, uint8_t*& b, uint8_t*& c, bool& after)
{
    Guarded("Level2", [&] {
        MemAlloc(b, 32);
        Level3(a, b, c);
        after = true;
    });
}
void Level1(uint8_t*& a, uint8_t*& b, uint8_t*& c, bool& after)
{
    Guarded("Level1", [&] {
        MemAlloc(a, 16);
        Level2(a, b, c, after);
        after = true;
    });
}

TEST_F(ErrorsTest, FailureThreeLevelsDeepFreesEverythingAndReachesTheCaller)
{
    uint8_t *a = nullptr, *b = nullptr, *c = nullptr;
    bool after = false;
    EXPECT_NO_THROW(Level1(a, b, c, after));
    EXPECT_EQ(ErrGet(), 2001);
    EXPECT_EQ(MemCount(), 0);
    EXPECT_FALSE(after) << "nothing after the failing call runs in any enclosing operation";
    EXPECT_EQ(ErrText(ErrGet()), "Memory allocation fault.");
}

TEST_F(ErrorsTest, LocalBlockStopsThePassingUntilTheEnclosingBlockEnds)
{
    bool after = false;
    int32_t seenInside = -1;
    Guarded("Outer", [&] {
        GuardedLocal("Probe", [&] { ErrSet(6002); });
        seenInside = ErrGet();
        after = true;
    });
    EXPECT_TRUE(after);
    EXPECT_EQ(seenInside, 6002);
    EXPECT_EQ(ErrGet(), 0) << "the outer block succeeded itself";
}

TEST_F(ErrorsTest, AbortLeavesAtOnceWithoutErrorAndKeepsWhatWasDone)
{
    uint8_t* block = nullptr;
    bool after = false;
    Guarded("Op", [&] {
        MemAlloc(block, 10);
        ErrAbort();
        after = true;
    });
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_FALSE(after);
    EXPECT_TRUE(MemIsTracked(block)) << "an abort releases nothing";
    MemFree(block);
    EXPECT_EQ(block, nullptr);
}

TEST_F(ErrorsTest, SetOutsideBlocksAndSecondSetInRaisedBlock)
{
    ErrSet(0);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_NO_THROW(ErrSet(5003));
    EXPECT_EQ(ErrGet(), 5003);
    ErrClear();
    EXPECT_EQ(ErrGet(), 0);

    machine.WriteText("C:\\trace.txt", "");
    ErrSetTrace(true);
    Guarded("Op", [&] {
        try {
            ErrSet(6003);
        } catch (const EMon&) {
            ErrSet(6009);  // already raised: its line is written, nothing is raised
        }
    });
    ErrSetTrace(false);
    EXPECT_EQ(ErrGet(), 6003);
    std::string trace = TraceText();
    EXPECT_NE(trace.find("ERR #6003: Cannot decompress image data.\r\n"), std::string::npos);
    EXPECT_NE(trace.find("ERR #6009: Image data corrupted.\r\n"), std::string::npos);
}

TEST_F(ErrorsTest, RuntimeExceptionBecomesErrorOneWithItsDescription)
{
    Guarded("Op", [&] { throw std::runtime_error("disk on fire"); });
    EXPECT_EQ(ErrGet(), 1);
    EXPECT_NE(ErrText(1).find("runtime_error"), std::string::npos);
    EXPECT_NE(ErrText(1).find("disk on fire"), std::string::npos);
}

TEST_F(ErrorsTest, TextsOfCodes)
{
    EXPECT_EQ(ErrText(0), "");
    EXPECT_EQ(ErrText(4711), "Undefined error #4711");
    EXPECT_EQ(WrnText(7), "Undefined warning #7");
    EXPECT_EQ(WrnText(5002), "File not exist.");
    EXPECT_EQ(ErrText(11002), "File format not supported.");
    ErrExternal("libpng said no");
    EXPECT_EQ(ErrGet(), 1);
    EXPECT_EQ(ErrText(1), "External error: libpng said no");
    WrnExternal("careful");
    EXPECT_EQ(WrnGet(), 1);
    EXPECT_EQ(WrnText(1), "careful");
}

TEST_F(ErrorsTest, TraceLineNamesTheLabelPath)
{
    machine.WriteText("C:\\trace.txt", "");
    ErrSetTrace(true);
    uint8_t* block = nullptr;
    Guarded("ImgLoad(c:\\a.gif)", [&] { Guarded("GIFLoad", [&] { MemAlloc(block, 0); }); });
    EXPECT_EQ(ErrLabelDepth(), 0) << "a logged error empties the label stack";
    WrnSet(5002);
    ErrSetTrace(false);
    EXPECT_EQ(TraceText(),
              "FN(ImgLoad(c:\\a.gif)->GIFLoad->MemAlloc): ERR #2001: Memory allocation fault.\r\n"
              "FN(): WRN #5002: File not exist.\r\n");
}

TEST_F(ErrorsTest, TracingWithoutTraceFileWritesNothing)
{
    ErrSetTrace(true);
    int32_t h;
    FOpen(h, "C:\\missing.bin", FmRead);
    EXPECT_EQ(ErrGet(), 5001);
    EXPECT_EQ(ErrText(5001), "Cannot open file: C:\\missing.bin") << "the trace attempt keeps the file name";
    ErrSetTrace(false);
    EXPECT_FALSE(machine.Exists("C:\\trace.txt"));
}

TEST_F(ErrorsTest, TooManyNestedBlocksFailInTheInnermostOpenBlock)
{
    int deepest = 0;
    std::function<void(int)> nest = [&](int level) {
        Guarded("Nest", [&] {
            deepest = level;
            nest(level + 1);
        });
    };
    nest(1);
    EXPECT_EQ(deepest, MaxErrFrames);
    EXPECT_EQ(ErrGet(), 2001);
}

TEST_F(ErrorsTest, TooManyLabelsFailWithTheAllocationCode)
{
    ErrSetTrace(true);
    for (int i = 0; i < MaxLabels; ++i) LabelPush("L");
    EXPECT_EQ(ErrLabelDepth(), MaxLabels);
    LabelPush("one too many");
    EXPECT_EQ(ErrGet(), 2001);
    EXPECT_EQ(ErrLabelDepth(), 0);
    ErrSetTrace(false);
}

}  // namespace

// The leak report runs as the program ends, after other static objects are
// gone; it must still find the trace file through the drive table.
TEST_F(ErrorsTest, LeakReportAtProgramEndReachesTheTrace)
{
    machine.WriteText("C:\\trace.txt", "");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ErrSetTrace(true);
        uint8_t* block = nullptr;
        MemAlloc(block, 16);
        MemName(block, "LeakTest", "block");
        std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_NE(TraceText().find("Unallocated memory:"), std::string::npos) << TraceText();
}
