// The import refuses video clips by their kind, and a sound file gets past
// both refusals only to fail inside the library.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "app/Import.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "support/TempMachine.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes DataFile(const std::string& folder, const std::string& name)
{
    std::ifstream in(std::string(LUM_TESTS_DIR) + "/data/" + folder + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An FLC header of one 320 x 200 frame at 25 frames per second.
Bytes Flc()
{
    Bytes b(200, 0);
    PutU32LE(&b[0], static_cast<uint32_t>(b.size()));
    PutU16LE(&b[4], 0xAF12);
    PutU16LE(&b[6], 1);
    PutU16LE(&b[8], 320);
    PutU16LE(&b[10], 200);
    PutU16LE(&b[12], 8);
    PutU32LE(&b[16], 40);
    return b;
}

class ImportMediaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ErrResetState();
        SetDialogs(&ui);
    }
    void TearDown() override
    {
        SetDialogs(nullptr);
        ErrResetState();
    }
    TempMachine machine;
    ScriptedDialogs ui;
};

}  // namespace

TEST_F(ImportMediaTest, VideoClipsAreRefusedByName)
{
    struct Case {
        const char* Name;
        Bytes Content;
    };
    const Case cases[] = {
        {"intro.flc", Flc()},
        {"Clip.AVI", DataFile("avi", "cvid_pcm.avi")},
        {"movie.mpg", DataFile("mpeg", "mpeg1_system.mpg")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ui.Errors.clear();
        const std::string source = std::string("C:\\clips\\") + c.Name;
        machine.WriteFile(source, c.Content);
        const ImportResult r = ImportImage(source, "C:\\logos\\clip.png");
        EXPECT_EQ(r.Outcome, ImportOutcome::Refused);
        ASSERT_EQ(ui.Errors.size(), 1u);
        EXPECT_EQ(ui.Errors[0], std::string("Video clips are not accepted (\"") + c.Name + "\")");
        EXPECT_FALSE(machine.Exists("C:\\logos\\clip.png"));
    }
}

TEST_F(ImportMediaTest, SoundFileIsRefusedLikeAVideoClip)
{
    machine.WriteFile("C:\\sounds\\tone.wav", DataFile("wav", "pcm16_stereo.wav"));
    const ImportResult r = ImportImage("C:\\sounds\\tone.wav", "C:\\logos\\tone.png");
    EXPECT_EQ(r.Outcome, ImportOutcome::Refused);
    EXPECT_EQ(r.Target, "");
    EXPECT_EQ(ui.Errors, std::vector<std::string>{"Sound files are not accepted (\"tone.wav\")"});
    EXPECT_FALSE(machine.Exists("C:\\logos\\tone.png"));
}
