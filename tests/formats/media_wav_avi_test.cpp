// WAVE and AVI files described through the RIFF walker, the stream
// headers and the PCM answers of the audio layer.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "formats/FFBasic.h"
#include "formats/FF_AVI.h"
#include "formats/FF_WAV.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "media_support.h"

using namespace media;

namespace {

Bytes Wave(const std::vector<Bytes>& chunks)
{
    return Form("RIFF", "WAVE", chunks);
}

Bytes Pcm(const Bytes& format, size_t dataSize)
{
    return Wave({Chunk("fmt ", format), Chunk("data", Bytes(dataSize, 0x80))});
}

// ffprobe's numbers for the first audio stream of a file.
bool Ffprobe(const std::string& path, std::map<std::string, int64_t>& values)
{
    const std::string command =
        "ffprobe -v error -select_streams a:0 -show_entries "
        "stream=sample_rate,channels,bits_per_sample,duration_ts -of default=nw=1 '" +
        path + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text = line;
        const size_t eq = text.find('=');
        if (eq != std::string::npos) values[text.substr(0, eq)] = std::atoll(text.c_str() + eq + 1);
    }
    return ::pclose(pipe) == 0 && values.size() == 4;
}

// What follows the 18 bytes of a WAVE_FORMAT_EXTENSIBLE format: valid
// bits, channel mask and the sub-format GUID starting with its tag.
Bytes ExtensibleTail(uint16_t tag)
{
    Bytes tail(22, 0);
    tail[0] = 24;
    tail[6] = static_cast<uint8_t>(tag);
    tail[7] = static_cast<uint8_t>(tag >> 8);
    return tail;
}

Bytes PcmFormatBytes(const TSoundInfo& s)
{
    return Bytes(s.PcmFormat, s.PcmFormat + 18);
}

struct AviParts {
    const char* Handler = "cvid";
    uint32_t Scale = 1001;
    uint32_t Rate = 30000;
    uint32_t Length = 12;
    Bytes VideoFormat = BitmapInfo(64, 48, 24, "cvid");
    bool Audio = false;
    Bytes AudioFormat = WaveFormat(1, 2, 22050, 88200, 4, 16);
    uint32_t AudioLength = 2205;
    bool VideoStream = true;
};

Bytes Avi(const AviParts& p)
{
    std::vector<Bytes> hdrl = {Chunk("avih", Bytes(56, 0))};
    if (p.VideoStream)
        hdrl.push_back(Form(
            "LIST", "strl",
            {Chunk("strh", StreamHeader("vids", p.Handler, p.Scale, p.Rate, p.Length)), Chunk("strf", p.VideoFormat)}));
    if (p.Audio)
        hdrl.push_back(Form(
            "LIST", "strl",
            {Chunk("strh", StreamHeader("auds", nullptr, 1, 22050, p.AudioLength)), Chunk("strf", p.AudioFormat)}));
    return Form("RIFF", "AVI ", {Form("LIST", "hdrl", hdrl), Form("LIST", "movi", {}), Chunk("idx1", {})});
}

class WavTest : public MediaTest {};
class AviTest : public MediaTest {};

}  // namespace

TEST_F(WavTest, ListBeforeFormatAndSampleFramesOfStereoPcm)
{
    const Bytes file =
        Wave({Form("LIST", "INFO", {Chunk("INAM", {'t', 'o', 'n'})}),
              Chunk("fmt ", WaveFormat(1, 2, 44100, 176400, 4, 16, 16)), Chunk("data", Bytes(176400, 0))});
    const std::string name = Place(machine, "tone.wav", file);
    NothingLeft before;
    WAVHandle w;
    WAVOpen(w, name);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(w.SampleFrames, 44100);
    EXPECT_EQ(w.Data.cksize, 176400u);
    EXPECT_EQ(w.InFormatSize, 16);
    WAVClose(w);
    before.Check("WAVOpen");

    TFileInfo info;
    FFInfo(name, info);
    ASSERT_EQ(ErrGet(), 0);
    before.Check("FFInfo");
    EXPECT_EQ(info.Format, FmtWAV);
    EXPECT_EQ(info.FileSize, static_cast<int32_t>(file.size()));
    EXPECT_TRUE(info.Sound.Present);
    EXPECT_EQ(info.Sound.Size, 176400);
    EXPECT_EQ(info.Sound.SamplesPerSec, 44100);
    EXPECT_EQ(info.Sound.Channels, 2);
    EXPECT_EQ(info.Sound.BitsPerSample, 16);
    EXPECT_EQ(PcmFormatBytes(info.Sound), WaveFormat(1, 2, 44100, 176400, 4, 16));
    EXPECT_EQ(info.Sound.Compression, "(#1) PCM, uncompressed");
    EXPECT_EQ(info.Picture.Compression, "None");
    EXPECT_EQ(info.Picture.Width, 0);
}

TEST_F(WavTest, ToolMadeFilesAsTheirPcmEquivalent)
{
    struct Case {
        const char* Name;
        int32_t Rate;
        int32_t Channels;
        int32_t Bits;  // of the file's own format
        int32_t Size;  // as 16-bit PCM for the compressed ones
        int32_t PcmBits;
    };
    // Sizes by hand from each file's format and data chunk:
    //   IMA ADPCM: 2 blocks of 1024 bytes at 16000 bytes/s -> x 44100 / 16000 = 5644.8
    //   SoX IMA: 4 blocks of 256 at 8111 bytes/s -> x 32000 / 8111 = 4039.95
    //   A-law 1600 bytes, u-law 800 bytes -> twice as many 16-bit bytes
    //   MS ADPCM: 1 block of 1024 at 16000 bytes/s -> x 22050 / 16000 = 1411.2
    //   GSM 6.10: 3 blocks of 65 (196 bytes of data) at 1625 bytes/s -> x 16000 / 1625
    //   MP3: 1 block of 576 (1045 bytes of data) at 4000 bytes/s -> x 44100 / 4000 = 6350.4
    const Case cases[] = {
        {"pcm16_stereo.wav", 44100, 2, 16, 3528, 16}, {"u8_list.wav", 8000, 1, 8, 800, 8},
        {"ima_adpcm.wav", 22050, 1, 4, 5645, 16},     {"sox_ima.wav", 16000, 1, 4, 4040, 16},
        {"alaw.wav", 8000, 1, 8, 3200, 16},           {"sox_ulaw.wav", 8000, 1, 8, 1600, 16},
        {"ms_adpcm.wav", 11025, 1, 4, 1411, 16},      {"sox_gsm.wav", 8000, 1, 0, 1920, 16},
        {"mp3.wav", 22050, 1, 0, 6350, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Bytes bytes = DataFile("wav", c.Name);
        const std::string name = Place(machine, c.Name, bytes);
        NothingLeft before;
        TFileInfo info;
        FFInfo(name, info);
        ASSERT_EQ(ErrGet(), 0);
        before.Check(c.Name);
        EXPECT_EQ(info.FileSize, static_cast<int32_t>(bytes.size()));
        EXPECT_EQ(info.Sound.SamplesPerSec, c.Rate);
        EXPECT_EQ(info.Sound.Channels, c.Channels);
        EXPECT_EQ(info.Sound.BitsPerSample, c.Bits);
        EXPECT_EQ(info.Sound.Size, c.Size);
        const int align = c.Channels * c.PcmBits / 8;
        EXPECT_EQ(PcmFormatBytes(info.Sound),
                  WaveFormat(1, static_cast<uint16_t>(c.Channels), c.Rate, static_cast<uint32_t>(c.Rate * align),
                             static_cast<uint16_t>(align), static_cast<uint16_t>(c.PcmBits)));
    }
}

TEST_F(WavTest, AverageBytesZeroIsRepaired)
{
    const std::string ima = Place(machine, "ima.wav", Pcm(WaveFormat(0x11, 1, 22050, 0, 1024, 4, 20), 2048));
    WAVHandle w;
    WAVOpen(w, ima);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(GetU32LE(w.InFormat + 8), 22050u * 1024);
    WAVClose(w);
    TFileInfo info;
    FFInfo(ima, info);
    ASSERT_EQ(ErrGet(), 0);
    // 2048 bytes at 22,579,200 bytes/s are 4 bytes at 44,100.
    EXPECT_EQ(info.Sound.Size, 4);

    FFInfo(Place(machine, "pcm.wav", Pcm(WaveFormat(1, 2, 8000, 0, 4, 16), 400)), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Sound.Size, 400);
    EXPECT_EQ(PcmFormatBytes(info.Sound), WaveFormat(1, 2, 8000, 32000, 4, 16));
}

TEST_F(WavTest, ShortFormatChunksReadAsFarAsTheyGo)
{
    TFileInfo info;
    // Fourteen bytes: everything but the bits per sample, so the PCM format
    // is incomplete and refused.
    FFInfo(Place(machine, "a.wav", Pcm(WaveFormat(1, 1, 8000, 8000, 1, 8, 14), 100)), info);
    EXPECT_EQ(ErrGet(), 10001);
    // Six bytes: no rate and no block alignment.
    FFInfo(Place(machine, "b.wav", Pcm(WaveFormat(1, 1, 8000, 8000, 1, 8, 6), 100)), info);
    EXPECT_EQ(ErrGet(), 10001);
    FFInfo(Place(machine, "c.wav", Pcm({}, 100)), info);
    EXPECT_EQ(ErrGet(), 10001);
    // Sixteen bytes are a whole PCMWAVEFORMAT.
    FFInfo(Place(machine, "d.wav", Pcm(WaveFormat(1, 1, 8000, 8000, 1, 8, 16), 100)), info);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Sound.Size, 100);
}

TEST_F(WavTest, RefusedFilesAndChunksPastTheirParent)
{
    NothingLeft before;
    auto code = [&](const std::string& name, const Bytes& bytes) {
        TFileInfo info;
        FFInfo(Place(machine, name, bytes), info);
        before.Check(name);
        return ErrGet();
    };
    const Bytes fmt = Chunk("fmt ", WaveFormat(1, 1, 8000, 8000, 1, 8));
    EXPECT_EQ(code("g726.wav", DataFile("wav", "g726.wav")), 10001);
    EXPECT_EQ(ErrText(10001), "Cannot open WAV file.");
    EXPECT_EQ(code("empty.wav", {}), 10001);
    EXPECT_EQ(code("avi.wav", Form("RIFF", "AVI ", {fmt, Chunk("data", {1, 2})})), 10001);
    EXPECT_EQ(code("list.wav", Form("LIST", "WAVE", {fmt, Chunk("data", {1, 2})})), 10001);
    EXPECT_EQ(code("nofmt.wav", Wave({Chunk("data", {1, 2})})), 10001);
    EXPECT_EQ(code("nodata.wav", Wave({fmt})), 10001);
    EXPECT_EQ(code("align0.wav", Pcm(WaveFormat(1, 1, 8000, 8000, 0, 8), 10)), 10001);
    EXPECT_EQ(code("speech.wav", Pcm(WaveFormat(0x22, 1, 8000, 1067, 32, 1), 10)), 10001);
    // Data before the format is not looked back for.
    EXPECT_EQ(code("order.wav", Wave({Chunk("data", {1, 2}), fmt})), 10001);
    // The data chunk lies behind the end of the RIFF form.
    EXPECT_EQ(code("outside.wav", Cat(Form("RIFF", "WAVE", {fmt}), Chunk("data", {1, 2}))), 10001);

    // Chunk sizes that run past the RIFF form or the file.
    EXPECT_EQ(code("bigfmt.wav", Wave({Chunk("fmt ", WaveFormat(1, 1, 8000, 8000, 1, 8), 4000), Chunk("data", {1})})),
              10003);
    EXPECT_EQ(ErrText(10003), "Cannot read from WAV file.");
    EXPECT_EQ(code("bigskip.wav", Wave({Chunk("junk", {1, 2}, 0xFFFFFFF0u), fmt, Chunk("data", {1})})), 10003);
    Bytes bigParent = Pcm(WaveFormat(1, 1, 8000, 8000, 1, 8), 10);
    PutU32LE(&bigParent[4], 0xFFFFFFF0u);
    EXPECT_EQ(code("bigriff.wav", bigParent), 0);
}

TEST_F(WavTest, RecordingsCutShortAreDescribedWithWhatTheyHold)
{
    auto described = [&](const std::string& name, const Bytes& bytes) {
        NothingLeft before;
        TFileInfo info;
        FFInfo(Place(machine, name, bytes), info);
        EXPECT_EQ(ErrGet(), 0) << name;
        before.Check(name);
        return info.Sound.Size;
    };
    const Bytes fmt = Chunk("fmt ", WaveFormat(1, 2, 8000, 32000, 4, 16));
    // The data chunk claims far more than the file holds: 6 bytes are one
    // whole frame of four bytes.
    EXPECT_EQ(described("big.wav", Wave({fmt, Chunk("data", {1, 2, 3, 4, 5, 6}, 0x7FFFFFFF)})), 4);
    // A recording cut off, RIFF and data sizes both past the end.
    Bytes cut = Pcm(WaveFormat(1, 2, 8000, 32000, 4, 16), 1000);
    cut.resize(cut.size() - 10);
    EXPECT_EQ(described("cut.wav", cut), 988);
    // A data chunk past the end of its RIFF form keeps what the form holds.
    Bytes form = Pcm(WaveFormat(1, 2, 8000, 32000, 4, 16), 400);
    PutU32LE(&form[4], static_cast<uint32_t>(form.size() - 8 - 200));
    EXPECT_EQ(described("form.wav", form), 200);
}

TEST_F(WavTest, FilesOfSoxAndFfmpegAsFfprobeDescribesThem)
{
    // Extensible formats (24 and 32 bits, six channels), IEEE float, and a
    // cut 24-bit file whose size is what it holds.
    const std::string dir = machine.DriveC() + "/";
    struct Made {
        const char* Name;
        const char* Command;
        const char* Compression;
    };
    const Made made[] = {
        {"s24.wav", "sox -n -r 22050 -c 2 -b 24 s24.wav synth 0.1 sine 440", "(#1) PCM, uncompressed"},
        {"f32.wav", "sox -n -r 8000 -c 1 -e floating-point -b 32 f32.wav synth 0.05 sine 300", "(#3) IEEE Float"},
        {"six.wav",
         "ffmpeg -y -f lavfi -i sine=frequency=440:sample_rate=16000:duration=0.1 -ac 6 -c:a pcm_s16le six.wav",
         "(#1) PCM, uncompressed"},
        {"s32.wav", "ffmpeg -y -f lavfi -i sine=sample_rate=8000:duration=0.1 -c:a pcm_s32le s32.wav",
         "(#1) PCM, uncompressed"},
        {"f64.wav", "ffmpeg -y -f lavfi -i sine=sample_rate=8000:duration=0.05 -c:a pcm_f64le f64.wav",
         "(#3) IEEE Float"},
    };
    int described = 0;
    for (const Made& m : made) {
        SCOPED_TRACE(m.Name);
        const std::string path = dir + m.Name;
        if (std::system(("cd " + dir + " && " + m.Command + " >/dev/null 2>&1").c_str()) != 0) continue;
        std::map<std::string, int64_t> probe;
        if (!Ffprobe(path, probe)) continue;
        TFileInfo info;
        FFInfo(std::string("C:\\") + m.Name, info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(info.Sound.SamplesPerSec, probe["sample_rate"]);
        EXPECT_EQ(info.Sound.Channels, probe["channels"]);
        EXPECT_EQ(info.Sound.BitsPerSample, probe["bits_per_sample"]);
        const int64_t frameBytes = probe["channels"] * probe["bits_per_sample"] / 8;
        EXPECT_EQ(info.Sound.Size, probe["duration_ts"] * frameBytes);
        EXPECT_EQ(info.Sound.Compression, m.Compression);
        const auto align = static_cast<uint16_t>(frameBytes);
        EXPECT_EQ(PcmFormatBytes(info.Sound),
                  WaveFormat(1, static_cast<uint16_t>(probe["channels"]), static_cast<uint32_t>(probe["sample_rate"]),
                             static_cast<uint32_t>(probe["sample_rate"] * align), align,
                             static_cast<uint16_t>(probe["bits_per_sample"])));
        if (std::string(m.Name) == "s24.wav") {
            // Cut inside its data: 3000 bytes hold 2932 of data, 488 frames of 6.
            Bytes bytes = machine.ReadFile("C:\\s24.wav");
            const size_t dataAt = bytes.size() - static_cast<size_t>(probe["duration_ts"] * frameBytes);
            bytes.resize(3000);
            FFInfo(Place(machine, "s24cut.wav", bytes), info);
            ASSERT_EQ(ErrGet(), 0);
            EXPECT_EQ(info.Sound.Size, static_cast<int32_t>((3000 - dataAt) / 6 * 6));
        }
        ++described;
    }
    if (described == 0) GTEST_SKIP() << "neither SoX nor ffmpeg with ffprobe is installed";
}

TEST_F(WavTest, ClosingAHandleThatIsNotOpenIsSilent)
{
    WAVHandle w;
    WAVClose(w);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(ErrFrameDepth(), 0);
}

TEST_F(AviTest, ToolMadeFiles)
{
    struct Case {
        const char* Name;
        int32_t Width, Height, Bits, BytesPP, Frames;
        double Rate;
        const char* Video;
        const char* Audio;  // null: no sound described
        int32_t SoundRate, Channels, SoundBits, SoundSize;
        int32_t Warning;
    };
    // Width, height, frame count (the stream length) and rate agree with
    // ffprobe's width, height, nb_frames and r_frame_rate. Sound sizes by
    // hand: PCM 2205 blocks of 4; IMA 2 blocks of 1024 at 16000 bytes/s as
    // 16-bit mono at 22050 (5644.8); MP3 9 blocks of 576 at 4000 bytes/s as
    // 16-bit mono at 22050 (57153.6); MP2 (ffprobe: 0.108 s) 3 blocks of
    // 1152 at 48000 bytes/s as 16-bit mono at 32000; AC-3 1 block of 3840
    // (as ffmpeg gives its block alignment) at 12000 bytes/s as 16-bit mono
    // at 48000.
    const Case cases[] = {
        {"cvid_pcm.avi", 32, 24, 24, 3, 4, 30.0, "(cvid) Cinepak Codec by Radius", "(#1) PCM, uncompressed", 22050, 2,
         16, 8820, 0},
        {"cram_ima.avi", 32, 24, 15, 2, 3, 25.0, "(CRAM) Microsoft Video 1", "(#17) IMA ADPCM", 22050, 1, 4, 5645, 0},
        {"mp43_mp3.avi", 32, 24, 24, 3, 5, 24.0, "(MP43) Microsoft MPEG-4 Video Codec V3", "(#85) MPEG Layer-3", 22050,
         1, 0, 57154, 0},
        {"xvid_mp2.avi", 32, 24, 24, 3, 3, 25.0, "(XVID) XviD MPEG-4 Codec", "(#80) MPEG", 32000, 1, 0, 6912, 0},
        {"mjpg.avi", 32, 24, 24, 3, 2, 10.0, "(MJPG) Motion JPEG Codec", nullptr, 0, 0, 0, 0, 0},
        {"mjpg_ac3.avi", 32, 24, 24, 3, 2, 12.0, "(MJPG) Motion JPEG Codec", "(#8192) Dolby AC-3", 48000, 1, 16, 30720,
         0},
        {"raw16.avi", 16, 8, 15, 2, 2, 15.0, " Full frames, uncompressed", nullptr, 0, 0, 0, 0, 0},
        {"raw24.avi", 16, 8, 24, 3, 2, 15.0, " Full frames, uncompressed", nullptr, 0, 0, 0, 0, 0},
        {"raw32.avi", 16, 8, 24, 3, 2, 15.0, " Full frames, uncompressed", nullptr, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Bytes bytes = DataFile("avi", c.Name);
        const std::string name = Place(machine, c.Name, bytes);
        NothingLeft before;
        TFileInfo info;
        FFInfo(name, info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(WrnGet(), c.Warning);
        before.Check(c.Name);
        EXPECT_EQ(info.Format, FmtAVI);
        EXPECT_EQ(info.FileSize, static_cast<int32_t>(bytes.size()));
        EXPECT_EQ(info.Picture.Width, c.Width);
        EXPECT_EQ(info.Picture.Height, c.Height);
        EXPECT_EQ(info.Picture.Bits, c.Bits);
        EXPECT_EQ(info.Picture.BytesPP, c.BytesPP);
        EXPECT_EQ(info.Picture.Frames, c.Frames);
        EXPECT_NEAR(info.Picture.FramesPerSec, c.Rate, 1e-9);
        EXPECT_EQ(info.Picture.Compression, c.Video);
        EXPECT_TRUE(info.Picture.Loadable);
        EXPECT_TRUE(info.Sound.Present);
        EXPECT_EQ(info.Sound.Compression, c.Audio ? c.Audio : "None");
        EXPECT_EQ(info.Sound.SamplesPerSec, c.SoundRate);
        EXPECT_EQ(info.Sound.Channels, c.Channels);
        EXPECT_EQ(info.Sound.BitsPerSample, c.SoundBits);
        EXPECT_EQ(info.Sound.Size, c.SoundSize);
        if (c.Audio) {
            const int align = c.Channels * 2;
            EXPECT_EQ(PcmFormatBytes(info.Sound),
                      WaveFormat(1, static_cast<uint16_t>(c.Channels), c.SoundRate,
                                 static_cast<uint32_t>(c.SoundRate * align), static_cast<uint16_t>(align), 16));
        }
    }
}

TEST_F(AviTest, RatesDepthsAndShortFormats)
{
    struct Case {
        uint32_t Scale, Rate;
        uint16_t BitCount;
        double Fps;
        int32_t Bits, BytesPP;
    };
    const Case cases[] = {{1001, 30000, 16, 30.0, 15, 2}, {1001, 24000, 32, 24.0, 24, 3}, {1, 15, 8, 15.0, 8, 1},
                          {3, 1, 24, 0.3, 24, 3},         {0, 25, 4, 0.0, 4, 1},          {100, 2997, 48, 30.0, 24, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Rate);
        AviParts p;
        p.Scale = c.Scale;
        p.Rate = c.Rate;
        p.VideoFormat = BitmapInfo(64, 48, c.BitCount, "cvid");
        TFileInfo info;
        FFInfo(Place(machine, "r.avi", Avi(p)), info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_NEAR(info.Picture.FramesPerSec, c.Fps, 1e-9);
        EXPECT_EQ(info.Picture.Bits, c.Bits);
        EXPECT_EQ(info.Picture.BytesPP, c.BytesPP);
        EXPECT_EQ(info.Picture.Frames, 12);
        EXPECT_EQ(WrnGet(), 0);
    }

    // A format of twelve bytes has a size but no depth or compression: the
    // handler code names the codec.
    AviParts shortFormat;
    shortFormat.VideoFormat = BitmapInfo(320, -240, 24, "xxxx", 12);
    shortFormat.Handler = "iv50";
    TFileInfo info;
    FFInfo(Place(machine, "s.avi", Avi(shortFormat)), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Width, 320);
    EXPECT_EQ(info.Picture.Height, 240);
    EXPECT_EQ(info.Picture.Bits, 0);
    EXPECT_EQ(info.Picture.Compression, "(iv50) Indeo(R) video 5.10");

    // Without a handler code the format's compression is used.
    AviParts noHandler;
    noHandler.Handler = nullptr;
    noHandler.VideoFormat = BitmapInfo(8, 8, 24, "WHAM");
    FFInfo(Place(machine, "w.avi", Avi(noHandler)), info);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Compression, "(WHAM) Microsoft Video 1");
}

TEST_F(AviTest, AudioStreamsAndWarning8001)
{
    struct Case {
        Bytes Format;
        int32_t Warning;
        int32_t Size;
        const char* Name;
    };
    const Case cases[] = {
        {WaveFormat(1, 2, 22050, 88200, 4, 16), 0, 8820, "(#1) PCM, uncompressed"},
        // A PCMWAVEFORMAT of 16 bytes and a repaired average rate.
        {WaveFormat(1, 1, 8000, 0, 2, 16, 16), 0, 4410, "(#1) PCM, uncompressed"},
        {WaveFormat(7, 1, 8000, 8000, 1, 8), 0, 4410, "(#7) CCITT u-Law"},
        {WaveFormat(6, 2, 8000, 0, 2, 8), 0, 8820, "(#6) CCITT A-Law"},
        // MPEG audio without a decoder's answer plays as 16-bit sound:
        // 2205 blocks of 1 byte at 16000 bytes/s as 176400 bytes/s.
        {WaveFormat(0x50, 2, 44100, 16000, 1, 0), 0, 24310, "(#80) MPEG"},
        // Extensible PCM: 24 bits in six channels, 18 bytes a frame.
        {Cat(WaveFormat(0xFFFE, 6, 8000, 144000, 18, 24), ExtensibleTail(1)), 0, 2205 * 18, "(#1) PCM, uncompressed"},
        // Incomplete formats and formats without a PCM equivalent.
        {WaveFormat(1, 1, 8000, 8000, 1, 8, 14), 8001, 0, nullptr},
        {WaveFormat(0x22, 1, 8000, 1067, 32, 1), 8001, 0, nullptr},
        {WaveFormat(0x1234, 2, 44100, 16000, 1, 0), 8001, 0, nullptr},
        {{}, 8001, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Size);
        AviParts p;
        p.Audio = true;
        p.AudioFormat = c.Format;
        const std::string name = Place(machine, "a.avi", Avi(p));
        NothingLeft before;
        TFileInfo info;
        FFInfo(name, info);
        ASSERT_EQ(ErrGet(), 0);
        before.Check("FFInfo");
        EXPECT_EQ(WrnGet(), c.Warning);
        EXPECT_TRUE(info.Sound.Present);
        EXPECT_EQ(info.Sound.Size, c.Size);
        EXPECT_EQ(info.Sound.Compression, c.Name ? c.Name : "None");
        EXPECT_EQ(info.Picture.Width, 64);
    }
    EXPECT_EQ(WrnText(8001), "AVI audio stream not valid (decompressor not found?), ignoring audio");
}

TEST_F(AviTest, FilesThatCannotBeOpened)
{
    NothingLeft before;
    auto code = [&](const std::string& name, const Bytes& bytes) {
        TFileInfo info;
        FFInfo(Place(machine, name, bytes), info);
        before.Check(name);
        return ErrGet();
    };
    AviParts noVideo;
    noVideo.VideoStream = false;
    noVideo.Audio = true;
    AviParts empty;
    empty.Length = 0;
    AviParts noFormat;
    noFormat.VideoFormat = {};
    AviParts hugeLength;
    hugeLength.Length = 0x80000000u;
    EXPECT_EQ(code("none.avi", {}), 8005);
    EXPECT_EQ(ErrText(8005), "Cannot open AVI file.");
    EXPECT_EQ(code("audio.avi", Avi(noVideo)), 8005);
    EXPECT_EQ(code("zero.avi", Avi(empty)), 8005);
    EXPECT_EQ(code("nofmt.avi", Avi(noFormat)), 8005);
    EXPECT_EQ(code("long.avi", Avi(hugeLength)), 8005);
    EXPECT_EQ(code("wave.avi", DataFile("wav", "pcm16_stereo.wav")), 8005);
    Bytes cut = Avi(AviParts{});
    cut.resize(150);
    EXPECT_EQ(code("cut.avi", cut), 8005);
    Bytes overrun = Avi(AviParts{});
    PutU32LE(&overrun[16], 0x7FFFFFF0u);  // the hdrl list
    EXPECT_EQ(code("overrun.avi", overrun), 8005);
    TFileInfo info;
    FFInfo("C:\\missing.avi", info);
    EXPECT_EQ(ErrGet(), 8005);
    before.Check("missing");

    // Failures leave the interface usable.
    FFInfo(Place(machine, "good.avi", Avi(AviParts{})), info);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(info.Picture.Width, 64);
    before.Check("good");
}

TEST_F(AviTest, HandleLifeAndDoubleClose)
{
    AviParts p;
    p.Audio = true;
    const std::string name = Place(machine, "h.avi", Avi(p));
    NothingLeft before;
    AVIHandle a, b;
    AVIOpen(a, name);
    ASSERT_EQ(ErrGet(), 0);
    AVIOpen(b, name);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(a.Width, 64);
    EXPECT_EQ(a.Frames, 12);
    EXPECT_EQ(a.VideoFormatSize, 40);
    EXPECT_EQ(a.AudioFormatSize, 18);
    EXPECT_EQ(a.AudioLength, 2205);
    EXPECT_NE(a.Audio, nullptr);
    AVIClose(a);
    AVIClose(a);  // a second close of the same handle changes nothing
    EXPECT_EQ(a.File, nullptr);
    EXPECT_NE(b.File, nullptr);
    AVIClose(b);
    before.Check("handles");
}

TEST(AviNames, VideoCodecDescriptions)
{
    auto name = [](const char* code) {
        std::string text;
        AVIGetVideoName(code ? platform::MakeFourCC(code[0], code[1], code[2], code[3]) : 0, text);
        return text;
    };
    EXPECT_EQ(name("cvid"), "(cvid) Cinepak Codec by Radius");
    EXPECT_EQ(name("CVID"), "(CVID) Cinepak Codec by Radius");
    EXPECT_EQ(name("msvc"), "(msvc) Microsoft Video 1");
    EXPECT_EQ(name("CRAM"), "(CRAM) Microsoft Video 1");
    EXPECT_EQ(name("wham"), "(wham) Microsoft Video 1");
    EXPECT_EQ(name("iv32"), "(iv32) Intel Indeo(R) Video R3.2");
    EXPECT_EQ(name("IV41"), "(IV41) Intel Indeo(R) Video Interactive R4.1");
    EXPECT_EQ(name("iv50"), "(iv50) Indeo(R) video 5.10");
    EXPECT_EQ(name("mjpg"), "(mjpg) Motion JPEG Codec");
    EXPECT_EQ(name("divx"), "(divx) DivX Pro 5.0 Codec");
    EXPECT_EQ(name("xvid"), "(xvid) XviD MPEG-4 Codec");
    EXPECT_EQ(name("MP42"), "(MP42) Microsoft MPEG-4 Video Codec V2");
    EXPECT_EQ(name("mp43"), "(mp43) Microsoft MPEG-4 Video Codec V3");
    EXPECT_EQ(name("dvsd"), "(dvsd) DV Video Codec");
    EXPECT_EQ(name("h264"), "(h264)");
    EXPECT_EQ(name("mpg2"), "(mpg2)");
    EXPECT_EQ(name(nullptr), " Full frames, uncompressed");
    EXPECT_EQ(name("DIB "), "(DIB ) Full frames, uncompressed");
    EXPECT_EQ(name("raw "), "(raw ) Full frames, uncompressed");
    EXPECT_EQ(name("RGB "), "(RGB ) Full frames, uncompressed");
    EXPECT_EQ(name("RGB2"), "(RGB2)");
}

TEST(AviNames, AudioFormatTagNames)
{
    auto name = [](uint32_t tag) {
        std::string text;
        AVIGetAudioName_(tag, text);
        return text;
    };
    EXPECT_EQ(name(1), "(#1) PCM, uncompressed");
    EXPECT_EQ(name(2), "(#2) Microsoft ADPCM");
    EXPECT_EQ(name(6), "(#6) CCITT A-Law");
    EXPECT_EQ(name(7), "(#7) CCITT u-Law");
    EXPECT_EQ(name(0x11), "(#17) IMA ADPCM");
    EXPECT_EQ(name(0x31), "(#49) GSM 6.10");
    EXPECT_EQ(name(0x50), "(#80) MPEG");
    EXPECT_EQ(name(0x55), "(#85) MPEG Layer-3");
    EXPECT_EQ(name(0), "(#0) Unknown audio codec");
    EXPECT_EQ(name(3), "(#3) IEEE Float");
    EXPECT_EQ(name(0x2000), "(#8192) Dolby AC-3");
    EXPECT_EQ(name(0x1234), "(#4660) Unknown audio codec");
}
