// What is no picture, or a damaged one, is refused with a message that says
// what it is; a picture whose name lies is read by its signature.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "app/Import.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

namespace {

class ImportRefusalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ErrResetState();
        SetDialogs(&ui);
        ::mkdir(machine.Host("C:\\in").c_str(), 0755);
    }
    void TearDown() override
    {
        SetDialogs(nullptr);
        ErrResetState();
    }
    // A 64 x 48 picture saved through our own writer under `name`.
    void WritePicture(const std::string& name)
    {
        Limg img;
        ImgAlloc(img, 64, 48, 24);
        for (int32_t i = 0; i < img.Size; ++i) img.Data[i] = static_cast<uint8_t>(i * 7);
        ImgSave(name, img);
        ASSERT_EQ(ErrGet(), 0);
        ImgFree(img);
    }
    TempMachine machine;
    ScriptedDialogs ui;
};

}  // namespace

TEST_F(ImportRefusalTest, NonPicturesAreNamedForWhatTheyAre)
{
    machine.WriteFile("C:\\in\\empty.png", {});
    machine.WriteText("C:\\in\\drawing.svg", "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>\n");
    machine.WriteText("C:\\in\\drawing.png", "\xEF\xBB\xBF  <svg width=\"4\"/>");
    machine.WriteText("C:\\in\\song.mp3", "ID3\x03\x00\x00\x00\x00\x00\x00 tagged sound");
    machine.WriteText("C:\\in\\voice.ogg", "OggS\x00\x02 some sound");
    ASSERT_EQ(::mkdir(machine.Host("C:\\in\\folder.jpg").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(machine.Host("C:\\in\\pipe.png").c_str(), 0644), 0);

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.jpg", "File not found (\"missing.jpg\")"},
        {"folder.jpg", "\"folder.jpg\" is a folder, not a picture"},
        {"pipe.png", "\"pipe.png\" is a device or a pipe, not a picture file"},
        {"empty.png", "\"empty.png\" is empty"},
        {"drawing.svg", "\"drawing.svg\" is an SVG drawing: export it as PNG first"},
        {"drawing.png", "\"drawing.png\" is an SVG drawing: export it as PNG first"},
        {"song.mp3", "Sound files are not accepted (\"song.mp3\")"},
        {"voice.ogg", "Sound files are not accepted (\"voice.ogg\")"},
    };
    for (const auto& [file, message] : cases) {
        ui.Errors.clear();
        const ImportResult r = ImportImage("C:\\in\\" + file, "C:\\logos\\out.png");
        EXPECT_EQ(r.Outcome, ImportOutcome::Refused) << file;
        EXPECT_EQ(ui.Errors, std::vector<std::string>{message}) << file;
    }
    EXPECT_FALSE(machine.Exists("C:\\logos\\out.png"));

    // The library itself never opens a pipe: it would wait for a writer.
    Limg img;
    ImgLoad("C:\\in\\pipe.png", img);
    EXPECT_EQ(ErrGet(), 5001);
    TFileInfo info;
    FFInfo("C:\\in\\pipe.png", info);
    EXPECT_EQ(ErrGet(), 5001);
    ImgFree(img);
}

TEST_F(ImportRefusalTest, DeviceIsRefusedWithoutReadingIt)
{
    ui.Errors.clear();
    const ImportResult r = ImportImage("/dev/zero", "C:\\logos\\zero.png");
    EXPECT_EQ(r.Outcome, ImportOutcome::Refused);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{"\"zero\" is a device or a pipe, not a picture file"});
}

TEST_F(ImportRefusalTest, NamesThatLieAreReadByTheirSignature)
{
    // A PNG named .jpg, a JPEG named .png, a BMP named .tga, a PNG without extension.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"C:\\in\\a.png", "C:\\in\\png.jpg"},
        {"C:\\in\\b.jpg", "C:\\in\\jpeg.png"},
        {"C:\\in\\c.bmp", "C:\\in\\bmp.tga"},
        {"C:\\in\\d.png", "C:\\in\\download"},
    };
    for (const auto& [made, named] : cases) {
        WritePicture(made);
        machine.WriteFile(named, machine.ReadFile(made));
        EXPECT_EQ(FormatOfFile(named), FormatOf(made)) << named;
        Limg img;
        ImgLoad(named, img);
        EXPECT_EQ(ErrGet(), 0) << named;
        EXPECT_EQ(img.Width, 64) << named;
        ImgFree(img);
        ErrClear();
        const ImportResult r = ImportImage(named, "C:\\logos\\lied.png");
        EXPECT_EQ(r.Outcome, ImportOutcome::Imported) << named;
        ErrClear();
        OverwriteAll = true;
    }
    OverwriteAll = false;
    // A file no signature matches keeps its name's format and its codec's answer.
    machine.WriteText("C:\\in\\text.png", "just some text, no picture at all");
    Limg img;
    ImgLoad("C:\\in\\text.png", img);
    EXPECT_EQ(ErrGet(), 6002);
    ImgFree(img);
    ErrClear();
    ui.Errors.clear();
    EXPECT_EQ(ImportImage("C:\\in\\text.png", "C:\\logos\\text.png").Outcome, ImportOutcome::Refused);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{"Format not supported (\"text.png\")"});
}

TEST_F(ImportRefusalTest, TruncatedJpegIsRefusedAndNothingIsWritten)
{
    Limg img;
    ImgAlloc(img, 320, 240, 24);
    for (int32_t i = 0; i < img.Size; ++i) img.Data[i] = static_cast<uint8_t>((i * 31) ^ (i >> 7));
    ImgSave("C:\\in\\whole.jpg", img);
    ImgFree(img);
    std::vector<uint8_t> bytes = machine.ReadFile("C:\\in\\whole.jpg");
    bytes.resize(bytes.size() / 2);
    machine.WriteFile("C:\\in\\half.jpg", bytes);

    // The library hands back the partial picture and says what it met.
    ImgLoad("C:\\in\\half.jpg", img);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(LoadDamage(), "Premature end of JPEG file");
    ImgFree(img);
    ImgLoad("C:\\in\\whole.jpg", img);
    EXPECT_EQ(LoadDamage(), "");
    ImgFree(img);

    const ImportResult r = ImportImage("C:\\in\\half.jpg", "C:\\logos\\half.png");
    EXPECT_EQ(r.Outcome, ImportOutcome::Refused);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{"\"half.jpg\" is damaged: Premature end of JPEG file"});
    EXPECT_FALSE(machine.Exists("C:\\logos\\half.png"));
}
