// The RIFF chunk walker, the AVI stream headers and codec table, and the
// ACM answers of the platform layer.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Acm.h"
#include "platform/Mmio.h"
#include "platform/Vfw.h"
#include "support/RiffBytes.h"
#include "support/TempMachine.h"

using namespace platform;
using namespace riff;

namespace {

Bytes Filler(size_t n, uint8_t v = 0x5A)
{
    return Bytes(n, v);
}

constexpr uint32_t Id(const char* s)
{
    return MakeFourCC(s[0], s[1], s[2], s[3]);
}

Bytes SmallAvi(bool withAudio)
{
    std::vector<Bytes> hdrl = {
        Chunk("avih", Filler(56, 0)),
        Form("LIST", "strl",
             {Chunk("strh", StreamHeader("vids", "cvid", 1001, 30000, 12)),
              Chunk("strf", BitmapInfo(64, 48, 24, "cvid")), Chunk("strn", {'c', 'a', 'm', 0})})};
    if (withAudio)
        hdrl.push_back(Form("LIST", "strl",
                            {Chunk("strh", StreamHeader("auds", nullptr, 4, 88200, 2205)),
                             Chunk("strf", WaveFormat(1, 2, 22050, 88200, 4, 16))}));
    return Form("RIFF", "AVI ", {Form("LIST", "hdrl", hdrl), Form("LIST", "movi", {}), Chunk("idx1", {})});
}

std::string Write(TempMachine& m, const std::string& name, const Bytes& bytes)
{
    std::string path = "C:\\" + name;
    m.WriteFile(path, bytes);
    return path;
}

}  // namespace

TEST(Mmio, DescendFindsChunkBehindOthersAndAscendSkipsPadByte)
{
    TempMachine m;
    Bytes file = Form("RIFF", "WAVE",
                      {Form("LIST", "INFO", {Chunk("ISFT", {'a', 'b', 'c'})}), Chunk("fmt ", Filler(16)),
                       Chunk("odd ", Filler(3)), Chunk("data", Filler(8, 7))});
    HMMIO h = mmioOpenA(Write(m, "a.wav", file), nullptr, MmioRead);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff;
    ASSERT_EQ(mmioDescend(h, &riff, nullptr, 0), 0u);
    EXPECT_EQ(riff.ckid, FourCCRiff);
    EXPECT_EQ(riff.fccType, Id("WAVE"));
    EXPECT_EQ(riff.dwDataOffset, 8u);
    EXPECT_EQ(mmioSeek(h, 0, MmioSeekCur), 12);

    MMCKINFO fmt;
    fmt.ckid = Id("fmt ");
    ASSERT_EQ(mmioDescend(h, &fmt, &riff, MmioFindChunk), 0u);
    EXPECT_EQ(fmt.cksize, 16u);
    EXPECT_EQ(fmt.fccType, 0u);
    EXPECT_EQ(mmioSeek(h, 0, MmioSeekCur), static_cast<int32_t>(fmt.dwDataOffset));
    ASSERT_EQ(mmioAscend(h, &fmt, 0), 0u);

    MMCKINFO odd;
    ASSERT_EQ(mmioDescend(h, &odd, &riff, 0), 0u);
    EXPECT_EQ(odd.ckid, Id("odd "));
    ASSERT_EQ(mmioAscend(h, &odd, 0), 0u);
    EXPECT_EQ(mmioSeek(h, 0, MmioSeekCur), static_cast<int32_t>(odd.dwDataOffset + 4));

    MMCKINFO data;
    ASSERT_EQ(mmioDescend(h, &data, &riff, 0), 0u);
    EXPECT_EQ(data.ckid, Id("data"));
    uint8_t buf[16] = {};
    EXPECT_EQ(mmioRead(h, buf, 16), 8);
    EXPECT_EQ(buf[7], 7);
    ASSERT_EQ(mmioAscend(h, &data, 0), 0u);
    MMCKINFO none;
    EXPECT_EQ(mmioDescend(h, &none, &riff, 0), MmioErrChunkNotFound);
    EXPECT_EQ(mmioClose(h, 0), 0u);
}

TEST(Mmio, FindListMatchesFormTypeAndMissingChunkIsNotFound)
{
    TempMachine m;
    Bytes file = Form("RIFF", "WAVE", {Form("LIST", "INFO", {}), Form("LIST", "adtl", {}), Chunk("fmt ", Filler(2))});
    HMMIO h = mmioOpenA(Write(m, "b.wav", file), nullptr, MmioRead);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff;
    ASSERT_EQ(mmioDescend(h, &riff, nullptr, 0), 0u);
    MMCKINFO list;
    list.fccType = Id("adtl");
    ASSERT_EQ(mmioDescend(h, &list, &riff, MmioFindList), 0u);
    EXPECT_EQ(list.dwDataOffset, 8u + 4 + 12 + 8);
    mmioSeek(h, 12, MmioSeekSet);
    MMCKINFO data;
    data.ckid = Id("data");
    EXPECT_EQ(mmioDescend(h, &data, &riff, MmioFindChunk), MmioErrChunkNotFound);
    mmioClose(h, 0);
}

TEST(Mmio, ChunkRunningPastParentOrFileIsRefusedBeforeAnyRead)
{
    TempMachine m;
    // A child that claims more than its parent holds.
    Bytes inner = Form("RIFF", "WAVE", {Chunk("fmt ", Filler(16), 4000)});
    HMMIO h = mmioOpenA(Write(m, "c.wav", inner), nullptr, MmioRead);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff, ck;
    ASSERT_EQ(mmioDescend(h, &riff, nullptr, 0), 0u);
    ck.ckid = Id("data");
    EXPECT_EQ(mmioDescend(h, &ck, &riff, MmioFindChunk), MmioErrChunkOverrun);
    EXPECT_EQ(ck.ckid, Id("fmt "));
    EXPECT_EQ(ck.cksize, 4000u);
    mmioClose(h, 0);

    // A truncated file: the RIFF form claims more than the file, its chunks
    // are checked against the file's end.
    Bytes cut = Form("RIFF", "WAVE", {Chunk("fmt ", Filler(16)), Chunk("data", Filler(100))});
    cut.resize(cut.size() - 50);
    h = mmioOpenA(Write(m, "d.wav", cut), nullptr, MmioRead);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(mmioDescend(h, &riff, nullptr, 0), 0u);
    ck.ckid = Id("fmt ");
    EXPECT_EQ(mmioDescend(h, &ck, &riff, MmioFindChunk), 0u);
    mmioAscend(h, &ck, 0);
    EXPECT_EQ(mmioDescend(h, &ck, &riff, 0), MmioErrChunkOverrun);
    EXPECT_EQ(ck.ckid, Id("data"));
    mmioClose(h, 0);
}

TEST(Mmio, ReadsStopAtTheFileEndAndOpenFailsForMissingFile)
{
    TempMachine m;
    HMMIO h = mmioOpenA(Write(m, "e.bin", Filler(10)), nullptr, MmioRead);
    ASSERT_NE(h, nullptr);
    uint8_t buf[32];
    EXPECT_EQ(mmioSeek(h, 6, MmioSeekSet), 6);
    EXPECT_EQ(mmioRead(h, buf, 32), 4);
    EXPECT_EQ(mmioRead(h, buf, 32), 0);
    EXPECT_EQ(mmioSeek(h, 100, MmioSeekSet), 100);
    EXPECT_EQ(mmioRead(h, buf, 32), 0);
    EXPECT_EQ(mmioSeek(h, -1, MmioSeekSet), -1);
    MMCKINFO ck;
    EXPECT_EQ(mmioDescend(h, &ck, nullptr, 0), MmioErrChunkNotFound);
    EXPECT_EQ(mmioFileSize(h), 10);
    mmioClose(h, 0);
    EXPECT_EQ(mmioOpenA("C:\\missing.wav", nullptr, MmioRead), nullptr);
}

TEST(Vfw, StreamsHeadersFormatsAndLengths)
{
    TempMachine m;
    std::string name = Write(m, "a.avi", SmallAvi(true));
    AVIFileInit();
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpen(&file, name, OfRead, nullptr), AviErrOk);
    PAVISTREAM video = nullptr, audio = nullptr, none = nullptr;
    ASSERT_EQ(AVIFileGetStream(file, &video, StreamTypeVideo, 0), AviErrOk);
    ASSERT_EQ(AVIFileGetStream(file, &audio, StreamTypeAudio, 0), AviErrOk);
    EXPECT_EQ(AVIFileGetStream(file, &none, StreamTypeAudio, 1), AviErrNoData);
    EXPECT_EQ(none, nullptr);

    AVISTREAMINFO info;
    ASSERT_EQ(AVIStreamInfo(video, &info, AviStreamInfoSize), AviErrOk);
    EXPECT_EQ(info.fccType, StreamTypeVideo);
    EXPECT_EQ(info.fccHandler, Id("cvid"));
    EXPECT_EQ(info.dwScale, 1001u);
    EXPECT_EQ(info.dwRate, 30000u);
    EXPECT_EQ(info.rcFrameRight, 64);
    EXPECT_EQ(info.szName[0], u'c');
    EXPECT_EQ(info.szName[3], 0);
    EXPECT_EQ(AVIStreamLength(video), 12);
    EXPECT_EQ(AVIStreamInfo(video, &info, 140), AviErrBadSize);

    int32_t size = 0;
    ASSERT_EQ(AVIStreamReadFormat(video, 0, nullptr, &size), AviErrOk);
    EXPECT_EQ(size, 40);
    uint8_t bih[40];
    ASSERT_EQ(AVIStreamReadFormat(video, 0, bih, &size), AviErrOk);
    EXPECT_EQ(bih[4], 64);
    EXPECT_EQ(bih[14], 24);

    ASSERT_EQ(AVIStreamReadFormat(audio, 0, nullptr, &size), AviErrOk);
    EXPECT_EQ(size, 18);
    EXPECT_EQ(AVIStreamLength(audio), 2205);

    AVIStreamRelease(audio);
    AVIStreamRelease(video);
    AVIFileRelease(file);
    AVIFileExit();
}

TEST(Vfw, NonAviAndDamagedFilesAreRefused)
{
    TempMachine m;
    PAVIFILE file = nullptr;
    EXPECT_EQ(AVIFileOpen(&file, "C:\\none.avi", OfRead, nullptr), AviErrFileOpen);
    EXPECT_EQ(AVIFileOpen(&file, Write(m, "w.avi", Form("RIFF", "WAVE", {})), OfRead, nullptr), AviErrBadFormat);
    EXPECT_EQ(file, nullptr);

    Bytes noStreams = Form("RIFF", "AVI ", {Form("LIST", "hdrl", {Chunk("avih", Filler(56))})});
    EXPECT_EQ(AVIFileOpen(&file, Write(m, "n.avi", noStreams), OfRead, nullptr), AviErrBadFormat);

    Bytes overrun = Form("RIFF", "AVI ", {Form("LIST", "hdrl", {Chunk("avih", Filler(56), 0x7FFFFFF0)})});
    EXPECT_EQ(AVIFileOpen(&file, Write(m, "o.avi", overrun), OfRead, nullptr), AviErrBadFormat);

    Bytes cut = SmallAvi(true);
    cut.resize(100);
    EXPECT_NE(AVIFileOpen(&file, Write(m, "c.avi", cut), OfRead, nullptr), AviErrOk);
    EXPECT_EQ(file, nullptr);

    // An empty stream header reads as zeros: a stream of no type.
    Bytes empty = Form("RIFF", "AVI ",
                       {Form("LIST", "hdrl", {Chunk("avih", Filler(56)), Form("LIST", "strl", {Chunk("strh", {})})})});
    ASSERT_EQ(AVIFileOpen(&file, Write(m, "e.avi", empty), OfRead, nullptr), AviErrOk);
    PAVISTREAM stream = nullptr;
    EXPECT_EQ(AVIFileGetStream(file, &stream, Id("vids"), 0), AviErrNoData);
    ASSERT_EQ(AVIFileGetStream(file, &stream, 0, 0), AviErrOk);
    AVISTREAMINFO info;
    ASSERT_EQ(AVIStreamInfo(stream, &info, AviStreamInfoSize), AviErrOk);
    EXPECT_EQ(info.fccType, 0u);
    EXPECT_EQ(info.dwLength, 0u);
    AVIStreamRelease(stream);
    AVIFileRelease(file);
}

TEST(Vfw, CodecDescriptionsAreFoundWithoutRegardToCase)
{
    ICINFO info;
    HIC hic = ICOpen(IcTypeVideo, Id("CVID"), IcModeQuery);
    ASSERT_NE(hic, nullptr);
    ASSERT_EQ(ICGetInfo(hic, &info, IcInfoSize), IcInfoSize);
    std::u16string description(info.szDescription);
    EXPECT_EQ(description, u"Cinepak Codec by Radius");
    EXPECT_EQ(ICClose(hic), 0);

    hic = ICOpen(IcTypeVideo, Id("msvc"), IcModeQuery);
    ASSERT_NE(hic, nullptr);
    ICGetInfo(hic, &info, IcInfoSize);
    EXPECT_EQ(std::u16string(info.szDescription), u"Microsoft Video 1");
    ICClose(hic);

    EXPECT_EQ(ICOpen(IcTypeVideo, Id("CRAM"), IcModeQuery), nullptr);
    EXPECT_EQ(ICOpen(IcTypeVideo, Id("zzzz"), IcModeQuery), nullptr);
    EXPECT_EQ(ICOpen(IcTypeVideo, 0, IcModeQuery), nullptr);
}

TEST(Acm, FormatTagNames)
{
    auto name = [](uint32_t tag) -> std::string {
        ACMFORMATTAGDETAILSA d;
        d.cbStruct = 72;
        d.dwFormatTag = tag;
        if (acmFormatTagDetailsA(nullptr, &d, AcmFormatTagDetailsFFormatTag) != 0) return "?";
        return d.szFormatTag;
    };
    EXPECT_EQ(name(1), "PCM");
    EXPECT_EQ(name(2), "Microsoft ADPCM");
    EXPECT_EQ(name(6), "CCITT A-Law");
    EXPECT_EQ(name(7), "CCITT u-Law");
    EXPECT_EQ(name(0x11), "IMA ADPCM");
    EXPECT_EQ(name(0x31), "GSM 6.10");
    EXPECT_EQ(name(0x50), "MPEG");
    EXPECT_EQ(name(0x55), "MPEG Layer-3");
    EXPECT_EQ(name(3), "IEEE Float");
    EXPECT_EQ(name(0x2000), "Dolby AC-3");
    EXPECT_EQ(name(0x1234), "?");
}

TEST(Acm, PcmSuggestionForDecodableFormatsOnly)
{
    auto suggest = [](const WAVEFORMATEX& src, WAVEFORMATEX& dst) {
        dst = WAVEFORMATEX{};
        dst.wFormatTag = WaveFormatPcm;
        return acmFormatSuggest(nullptr, &src, &dst, WaveFormatExSize, AcmFormatSuggestFWFormatTag);
    };
    WAVEFORMATEX ima{WaveFormatImaAdpcm, 2, 22050, 22311, 1024, 4, 2};
    WAVEFORMATEX pcm;
    ASSERT_EQ(suggest(ima, pcm), 0u);
    EXPECT_EQ(pcm.wFormatTag, 1);
    EXPECT_EQ(pcm.nChannels, 2);
    EXPECT_EQ(pcm.nSamplesPerSec, 22050u);
    EXPECT_EQ(pcm.wBitsPerSample, 16);
    EXPECT_EQ(pcm.nBlockAlign, 4);
    EXPECT_EQ(pcm.nAvgBytesPerSec, 88200u);

    WAVEFORMATEX alaw{WaveFormatAlaw, 1, 8000, 8000, 1, 8, 0};
    ASSERT_EQ(suggest(alaw, pcm), 0u);
    EXPECT_EQ(pcm.wBitsPerSample, 16);
    WAVEFORMATEX gsm{WaveFormatGsm610, 1, 8000, 1625, 65, 0, 2};
    EXPECT_EQ(suggest(gsm, pcm), 0u);
    WAVEFORMATEX mp3{WaveFormatMpegLayer3, 2, 44100, 16000, 1, 0, 12};
    EXPECT_EQ(suggest(mp3, pcm), 0u);

    WAVEFORMATEX mp2{WaveFormatMpeg, 2, 44100, 16000, 1, 0, 22};
    EXPECT_EQ(suggest(mp2, pcm), AcmErrNotPossible);
    WAVEFORMATEX badIma{WaveFormatImaAdpcm, 1, 22050, 0, 512, 16, 2};
    EXPECT_EQ(suggest(badIma, pcm), AcmErrNotPossible);
    WAVEFORMATEX silent{WaveFormatAdpcm, 1, 0, 0, 256, 4, 32};
    EXPECT_EQ(suggest(silent, pcm), AcmErrNotPossible);

    WAVEFORMATEX toAlaw{};
    toAlaw.wFormatTag = WaveFormatAlaw;
    EXPECT_EQ(acmFormatSuggest(nullptr, &ima, &toAlaw, WaveFormatExSize, AcmFormatSuggestFWFormatTag),
              AcmErrNotPossible);
}

TEST(Acm, ShortFormatBlocksReadAsFarAsTheyGo)
{
    Bytes b = WaveFormat(1, 2, 44100, 176400, 4, 16);
    b[16] = 9;
    WAVEFORMATEX full = ReadWaveFormat(b.data(), 18);
    EXPECT_EQ(full.cbSize, 9);
    WAVEFORMATEX pcm16 = ReadWaveFormat(b.data(), 16);
    EXPECT_EQ(pcm16.wBitsPerSample, 16);
    EXPECT_EQ(pcm16.cbSize, 0);
    WAVEFORMATEX stub = ReadWaveFormat(b.data(), 6);
    EXPECT_EQ(stub.nChannels, 2);
    EXPECT_EQ(stub.nSamplesPerSec, 0u);
    EXPECT_EQ(stub.wBitsPerSample, 0);

    uint8_t out[WaveFormatExSize];
    WriteWaveFormat(full, out);
    EXPECT_EQ(Bytes(out, out + 18), b);
}

TEST(Acm, EachDecoderSuggestsSixteenBitsAtTheSourceRateAndChannels)
{
    struct Case {
        uint16_t Tag;
        uint16_t Channels;
        uint32_t Rate;
        uint16_t Align;
        uint16_t Bits;
        bool Decodes;
    };
    const Case cases[] = {
        {WaveFormatImaAdpcm, 2, 22050, 1024, 4, true},
        {WaveFormatAdpcm, 1, 11025, 256, 4, true},
        {WaveFormatAlaw, 2, 8000, 2, 8, true},
        {WaveFormatMulaw, 1, 44100, 1, 8, true},
        {WaveFormatGsm610, 1, 8000, 65, 0, true},
        {WaveFormatMpegLayer3, 2, 48000, 1152, 0, true},
        {WaveFormatMpeg, 2, 44100, 1152, 0, false},
        {0x0022, 1, 8000, 32, 1, false},
        {0x0045, 1, 8000, 1, 4, false},
        {0x2000, 2, 48000, 1536, 0, false},
        {0xFFFE, 2, 44100, 4, 16, false},
        {WaveFormatPcm, 2, 44100, 4, 16, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Tag);
        const WAVEFORMATEX src{c.Tag, c.Channels, c.Rate, 8000, c.Align, c.Bits, 0};
        WAVEFORMATEX pcm{};
        pcm.wFormatTag = WaveFormatPcm;
        const uint32_t r = acmFormatSuggest(nullptr, &src, &pcm, WaveFormatExSize, AcmFormatSuggestFWFormatTag);
        if (!c.Decodes) {
            EXPECT_EQ(r, AcmErrNotPossible);
            continue;
        }
        ASSERT_EQ(r, 0u);
        EXPECT_EQ(pcm.wFormatTag, WaveFormatPcm);
        EXPECT_EQ(pcm.nChannels, c.Channels);
        EXPECT_EQ(pcm.nSamplesPerSec, c.Rate);
        EXPECT_EQ(pcm.wBitsPerSample, 16);
        EXPECT_EQ(pcm.nBlockAlign, c.Channels * 2);
        EXPECT_EQ(pcm.nAvgBytesPerSec, c.Rate * c.Channels * 2);
        EXPECT_EQ(pcm.cbSize, 0);
    }
}
