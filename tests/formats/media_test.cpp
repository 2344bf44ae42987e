// FLI/FLC and HAV headers, the MPEG summary, and how the media formats
// answer through the format dispatch.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/FFBasic.h"
#include "formats/FF_FLC.h"
#include "formats/FF_HAV.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "media_support.h"

using namespace media;

namespace {

// A 128-byte FLIC header; `extra` bytes of frame data follow.
Bytes FlicHeader(uint16_t magic, uint16_t frames, uint16_t width, uint16_t height, uint32_t speed, size_t extra = 0)
{
    Bytes b(128 + extra, 0);
    PutU32LE(&b[0], static_cast<uint32_t>(b.size()));
    PutU16LE(&b[4], magic);
    PutU16LE(&b[6], frames);
    PutU16LE(&b[8], width);
    PutU16LE(&b[10], height);
    PutU16LE(&b[12], 8);
    PutU32LE(&b[16], speed);
    return b;
}

struct HavFields {
    uint32_t HeaderLength = 64;
    uint32_t Version = 97;
    int32_t Width = 64;
    int32_t Height = 48;
    int32_t BytesPP = 2;
    uint32_t Mode = 0;
    int32_t Frames = 10;
    double FrameRate = 12.5;
    uint32_t SoundFlags = 0;
    uint32_t SoundRate = 0;
    uint32_t SoundLength = 0;
    bool ValidTables = true;
};

// A HAV file: header, the 1024-byte table pointing at the 3072-byte table,
// which points at the end of the file.
Bytes Hav(const HavFields& f)
{
    Bytes b(std::max<uint32_t>(f.HeaderLength, 64), 0);
    std::memcpy(&b[0], "HAV\x1A", 4);
    PutU32LE(&b[4], f.HeaderLength);
    PutU32LE(&b[8], f.Version);
    PutU32LE(&b[12], static_cast<uint32_t>(f.Width));
    PutU32LE(&b[16], static_cast<uint32_t>(f.Height));
    PutU32LE(&b[20], static_cast<uint32_t>(f.BytesPP));
    PutU32LE(&b[24], f.Mode);
    PutU32LE(&b[28], static_cast<uint32_t>(f.Frames));
    std::memcpy(&b[36], &f.FrameRate, 8);
    PutU32LE(&b[44], f.SoundFlags);
    PutU32LE(&b[48], f.SoundRate);
    PutU32LE(&b[60], f.SoundLength);
    b.resize(f.HeaderLength, 0);
    const uint32_t second = f.HeaderLength + 1024;
    Bytes index(1024, 0);
    PutU32LE(&index[0], f.ValidTables ? second : 0x7FFF0000u);
    Bytes frames(3072, 0);
    PutU32LE(&frames[0], second + 3072);
    return Cat(Cat(b, index), frames);
}

// An MPEG video sequence header and `pictures` picture start codes.
Bytes MpegStream(int width, int height, int rateCode, int pictures, bool mpeg2 = false)
{
    Bytes b = {0,
               0,
               1,
               0xB3,
               static_cast<uint8_t>(width >> 4),
               static_cast<uint8_t>(((width & 0x0F) << 4) | (height >> 8)),
               static_cast<uint8_t>(height & 0xFF),
               static_cast<uint8_t>(0x10 | rateCode),
               0xFF,
               0xFF,
               0xE0,
               0x18};
    if (mpeg2) b = Cat(b, {0, 0, 1, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00});
    for (int i = 0; i < pictures; ++i) b = Cat(b, {0, 0, 1, 0x00, 0x00, 0x0F, 0xFF, 0xF8, 0x12, 0x34});
    return Cat(b, {0, 0, 1, 0xB7});
}

class FlcTest : public MediaTest {};
class HavTest : public MediaTest {};
class MpgTest : public MediaTest {};
class MediaDispatchTest : public MediaTest {};

}  // namespace

TEST_F(FlcTest, SpeedIsSeventiethsForFliNamesAndMillisecondsOtherwise)
{
    struct Case {
        const char* Name;
        uint32_t Speed;
        double Rate;
    };
    const Case cases[] = {
        {"a.fli", 5, 14.0}, {"b.FLI", 5, 14.0}, {"c.flc", 40, 25.0}, {"d.flc", 0, 0.0},
        {"e.fli", 0, 0.0},  {"f.fli", 3, 23.3}, {"g.flc", 171, 5.8}, {"h.flc", 0xFFFFFFFFu, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string name = Place(machine, c.Name, FlicHeader(0xAF12, 7, 320, 200, c.Speed, 10));
        TFileInfo info;
        FFInfo(name, info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_NEAR(info.Picture.FramesPerSec, c.Rate, 1e-9);
    }
}

TEST_F(FlcTest, HeaderFieldsAsStoredAndTheMagicIsNotChecked)
{
    // Frame count as stored (the ring frame is not in it), file size from
    // the file rather than the header, and any magic.
    Bytes b = FlicHeader(0x1234, 384, 640, 480, 40, 1000);
    PutU32LE(&b[0], 99);
    const std::string name = Place(machine, "movie.flc", b);
    NothingLeft before;
    TFileInfo info;
    FFInfo(name, info);
    ASSERT_EQ(ErrGet(), 0);
    before.Check("FFInfo");
    EXPECT_EQ(info.Format, FmtFLIC);
    EXPECT_EQ(info.FileSize, 1128);
    EXPECT_EQ(info.Picture.Width, 640);
    EXPECT_EQ(info.Picture.Height, 480);
    EXPECT_EQ(info.Picture.BytesPP, 1);
    EXPECT_EQ(info.Picture.Bits, 8);
    EXPECT_EQ(info.Picture.Frames, 384);
    EXPECT_EQ(info.Picture.Compression, "RLE + pixel difference from previous frame");
    EXPECT_TRUE(info.Picture.Loadable);
    EXPECT_FALSE(info.Sound.Present);
    EXPECT_EQ(info.Sound.Compression, "None");

    FLCHandle h;
    FLCOpen(h, Place(machine, "huge.flc", FlicHeader(0xAF12, 1, 65535, 65535, 1)));
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(h.PixelCount, INT32_MAX);
    EXPECT_EQ(h.Planes, 1);
    EXPECT_EQ(h.BitsPP, 8);
    FLCClose(h);
    before.Check("FLCOpen");
}

TEST_F(FlcTest, ShortAndMissingFilesFail)
{
    NothingLeft before;
    Bytes cut = FlicHeader(0xAF11, 1, 320, 200, 5);
    cut.resize(127);
    TFileInfo info;
    FFInfo(Place(machine, "cut.fli", cut), info);
    EXPECT_EQ(ErrGet(), 5003);
    before.Check("short");
    FFInfo("C:\\none.flc", info);
    EXPECT_EQ(ErrGet(), 5001);
    EXPECT_EQ(ErrText(5001), "Cannot open file: C:\\none.flc");
    before.Check("missing");
}

TEST_F(HavTest, StereoSixteenBitSoundFromFlagsSeven)
{
    HavFields f;
    f.SoundFlags = 7;
    f.SoundRate = 22050;
    f.SoundLength = 1000;
    const std::string name = Place(machine, "a.hav", Hav(f));
    NothingLeft before;
    TFileInfo info;
    FFInfo(name, info);
    ASSERT_EQ(ErrGet(), 0);
    before.Check("FFInfo");
    EXPECT_EQ(info.FileSize, 64 + 1024 + 3072);
    EXPECT_EQ(info.Picture.Width, 64);
    EXPECT_EQ(info.Picture.Height, 48);
    EXPECT_EQ(info.Picture.BytesPP, 2);
    EXPECT_EQ(info.Picture.Bits, 16);
    EXPECT_EQ(info.Picture.Frames, 10);
    EXPECT_DOUBLE_EQ(info.Picture.FramesPerSec, 12.5);
    EXPECT_EQ(info.Picture.Compression, "BEST");
    EXPECT_TRUE(info.Sound.Present);
    EXPECT_EQ(info.Sound.Compression, "PCM, uncompressed");
    EXPECT_EQ(info.Sound.Channels, 2);
    EXPECT_EQ(info.Sound.BitsPerSample, 16);
    EXPECT_EQ(info.Sound.SamplesPerSec, 22050);
    EXPECT_EQ(info.Sound.Size, 4000);
    const Bytes pcm(info.Sound.PcmFormat, info.Sound.PcmFormat + 18);
    EXPECT_EQ(pcm, WaveFormat(1, 2, 22050, 88200, 4, 16));

    HAVHandle h;
    HAVOpen(h, name);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(h.FrameSize, 64 * 48 * 2);
    EXPECT_EQ(h.BitsPP, 16);
    EXPECT_FALSE(h.FastPlayback);
    HAVClose(h);
    before.Check("HAVOpen");
}

TEST_F(HavTest, ModesAndOtherSoundFlags)
{
    struct Case {
        uint32_t Mode;
        const char* Name;
        bool Fast;
        uint32_t Flags;
        int32_t Channels;
        int32_t Bits;
    };
    const Case cases[] = {{0, "BEST", false, 1, 1, 8},
                          {1, "FAST", false, 2, 1, 8},
                          {2, "BEST-P", true, 4, 2, 8},
                          {3, "N/A", true, 3, 1, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        HavFields f;
        f.Mode = c.Mode;
        f.SoundFlags = c.Flags;
        f.SoundRate = 11025;
        f.SoundLength = 100;
        const std::string name = Place(machine, "m.hav", Hav(f));
        TFileInfo info;
        FFInfo(name, info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(info.Picture.Compression, c.Name);
        EXPECT_EQ(info.Sound.Channels, c.Channels);
        EXPECT_EQ(info.Sound.BitsPerSample, c.Bits);
        EXPECT_EQ(info.Sound.Size, c.Channels * c.Bits / 8 * 100);
        HAVHandle h;
        HAVOpen(h, name);
        EXPECT_EQ(h.FastPlayback, c.Fast);
        HAVClose(h);
    }

    // Without sound the sound part stays empty but is marked present.
    HavFields silent;
    TFileInfo info;
    FFInfo(Place(machine, "s.hav", Hav(silent)), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_TRUE(info.Sound.Present);
    EXPECT_EQ(info.Sound.Compression, "None");
    EXPECT_EQ(info.Sound.Size, 0);
    EXPECT_EQ(info.Sound.Channels, 0);
}

TEST_F(HavTest, HeaderLengthNeverReadsPastTheRecord)
{
    // A header longer than the record: the record's 64 bytes are read and
    // the tables follow the whole header.
    HavFields longer;
    longer.HeaderLength = 300;
    longer.SoundFlags = 7;
    longer.SoundRate = 8000;
    longer.SoundLength = 5;
    TFileInfo info;
    FFInfo(Place(machine, "long.hav", Hav(longer)), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Width, 64);
    EXPECT_EQ(info.Sound.Size, 20);
    EXPECT_EQ(info.FileSize, 300 + 1024 + 3072);

    // A header shorter than the record: fields past its end are not read.
    HavFields shorter;
    shorter.HeaderLength = 20;
    FFInfo(Place(machine, "short.hav", Hav(shorter)), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Height, 48);
    EXPECT_EQ(info.Picture.BytesPP, 0);
    EXPECT_EQ(info.Picture.Frames, 0);
}

TEST_F(HavTest, DamagedFilesEndWithTheirCodes)
{
    NothingLeft before;
    auto code = [&](const Bytes& bytes) {
        TFileInfo info;
        FFInfo(Place(machine, "bad.hav", bytes), info);
        before.Check("bad.hav");
        return ErrGet();
    };
    HavFields f;
    Bytes magic = Hav(f);
    magic[3] = 0x1B;
    EXPECT_EQ(code(magic), 9001);
    EXPECT_EQ(ErrText(9001), "Invalid movie format.");

    HavFields version;
    version.Version = 96;
    EXPECT_EQ(code(Hav(version)), 9005);
    EXPECT_EQ(ErrText(9005), "Movie format not supported.");

    Bytes tiny = Hav(f);
    PutU32LE(&tiny[4], 4);
    EXPECT_EQ(code(tiny), 9001);

    Bytes beyond = Hav(f);
    PutU32LE(&beyond[4], 0x7FFFFFF0u);
    EXPECT_EQ(code(beyond), 5003);

    HavFields badTable;
    badTable.ValidTables = false;
    EXPECT_EQ(code(Hav(badTable)), 5005);

    Bytes cut = Hav(f);
    cut.resize(64 + 1024 + 100);
    EXPECT_EQ(code(cut), 5003);
    EXPECT_EQ(code(Bytes{'H', 'A', 'V'}), 5003);

    HavFields huge;
    huge.Width = 70000;
    huge.Height = 70000;
    EXPECT_EQ(code(Hav(huge)), 9001);
}

TEST_F(MpgTest, ToolMadeStreams)
{
    struct Case {
        const char* Name;
        int32_t Size;
        int32_t Frames;
        double Rate;
        const char* Standard;
    };
    // Size, picture count and rate as ffprobe reports them (count_packets
    // and r_frame_rate of the video stream).
    const Case cases[] = {
        {"mpeg1_25.m1v", 1871, 6, 25.0, "MPEG-I, ISO/IEC 11172-2"},
        {"mpeg2_23976.m2v", 1842, 5, 24000.0 / 1001, "MPEG-II, ISO/IEC 13818-2 DIS"},
        {"mpeg1_system.mpg", 12288, 7, 30000.0 / 1001, "MPEG-I, ISO/IEC 11172-2"},
        {"mpeg2_program.mpg", 10240, 8, 50.0, "MPEG-II, ISO/IEC 13818-2 DIS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string name = PlaceData(machine, "mpeg", c.Name);
        NothingLeft before;
        TFileInfo info;
        FFInfo(name, info);
        ASSERT_EQ(ErrGet(), 0);
        before.Check(c.Name);
        EXPECT_EQ(info.Format, FmtMPEG);
        EXPECT_EQ(info.FileSize, c.Size);
        EXPECT_EQ(info.Picture.Width, 48);
        EXPECT_EQ(info.Picture.Height, 32);
        EXPECT_EQ(info.Picture.Frames, c.Frames);
        EXPECT_DOUBLE_EQ(info.Picture.FramesPerSec, c.Rate);
        EXPECT_EQ(info.Picture.Compression, c.Standard);
        EXPECT_EQ(info.Picture.Bits, 24);
        EXPECT_EQ(info.Picture.BytesPP, 3);
        EXPECT_TRUE(info.Picture.Loadable);
        EXPECT_FALSE(info.Sound.Present);
    }
}

TEST_F(MpgTest, RateCodesAndStandards)
{
    struct Case {
        int Code;
        double Rate;
    };
    const Case cases[] = {{0, 0.0},
                          {1, 24000.0 / 1001},
                          {2, 24},
                          {3, 25},
                          {4, 30000.0 / 1001},
                          {5, 30},
                          {6, 50},
                          {7, 60000.0 / 1001},
                          {8, 60},
                          {9, 60},
                          {12, 60},
                          {15, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Code);
        TFileInfo info;
        FFInfo(Place(machine, "r.m1v", MpegStream(352, 288, c.Code, 3)), info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_DOUBLE_EQ(info.Picture.FramesPerSec, c.Rate);
        EXPECT_EQ(info.Picture.Width, 352);
        EXPECT_EQ(info.Picture.Height, 288);
        EXPECT_EQ(info.Picture.Frames, 3);
        EXPECT_EQ(info.Picture.Compression, "MPEG-I, ISO/IEC 11172-2");
    }

    TFileInfo info;
    FFInfo(Place(machine, "two.mpg", MpegStream(720, 576, 3, 2, true)), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Compression, "MPEG-II, ISO/IEC 13818-2 DIS");
    EXPECT_EQ(info.Picture.Bits, 24);
    EXPECT_EQ(info.Picture.Frames, 2);
    EXPECT_DOUBLE_EQ(info.Picture.FramesPerSec, 25.0);
}

TEST_F(MpgTest, FilesWithoutASequenceHeaderAndUnreadableFiles)
{
    NothingLeft before;
    TFileInfo info;
    FFInfo(Place(machine, "empty.mpg", {}), info);
    EXPECT_EQ(ErrGet(), 9006);
    EXPECT_EQ(ErrText(9006), "Cannot open movie file.");
    Bytes noSequence = {0, 0, 1, 0x00, 1, 2, 3, 0, 0, 1, 0xB7};
    FFInfo(Place(machine, "noseq.m2v", noSequence), info);
    EXPECT_EQ(ErrGet(), 9006);
    FFInfo(Place(machine, "text.mpeg", Bytes(5000, 'x')), info);
    EXPECT_EQ(ErrGet(), 9006);
    FFInfo("C:\\missing.mpg", info);
    EXPECT_EQ(ErrGet(), 9006);
    before.Check("no sequence");

    // A folder opens but cannot be read: the library's message comes back
    // as an external error.
    machine.WriteFile("C:\\clip.mpg\\inside.txt", {1});
    FFInfo("C:\\clip.mpg", info);
    EXPECT_EQ(ErrGet(), 1);
    EXPECT_EQ(ErrText(1), "External error: Cannot read from MPEG file.");
    before.Check("folder");
}

TEST_F(MediaDispatchTest, KindsOfTheMediaFormats)
{
    HavFields hav;
    const std::string avi = PlaceData(machine, "avi", "cvid_pcm.avi");
    const std::string wav = PlaceData(machine, "wav", "pcm16_stereo.wav");
    const std::string mpg = PlaceData(machine, "mpeg", "mpeg1_system.mpg");
    const std::string flc = Place(machine, "a.flc", FlicHeader(0xAF12, 1, 320, 200, 40));
    const std::string havName = Place(machine, "a.hav", Hav(hav));
    struct Case {
        std::string Name;
        uint32_t Format;
        int32_t Kind;
    };
    const Case cases[] = {
        {avi, FmtAVI, 3}, {wav, FmtWAV, 4}, {mpg, FmtMPEG, 3}, {flc, FmtFLIC, 3}, {havName, FmtHAV, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TUniInfo info;
        // A single frame or a number in the name makes no sequence of a clip.
        EXPECT_TRUE(UniInfo(c.Name, info, true));
        EXPECT_EQ(info.Format, c.Format);
        EXPECT_EQ(info.Kind, c.Kind);
        EXPECT_EQ(info.FileName, c.Name);
        EXPECT_GT(info.TotalSize, 0);
        EXPECT_EQ(info.SeqCount, 0);
        Limg img;
        ImgLoad(c.Name, img);
        EXPECT_EQ(ErrGet(), 6002);
    }

    TUniInfo info;
    EXPECT_FALSE(UniInfo(Place(machine, "bad.wav", {1, 2, 3}), info, false));
    EXPECT_EQ(WrnGet(), 5002);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Kind, 0);
}
