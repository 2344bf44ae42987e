#include "formats/FF_AVI.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "formats/DecodeLimits.h"
#include "formats/FF_WAV.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "platform/Acm.h"
#include "platform/Paths.h"

using namespace platform;

namespace {

constexpr int32_t BitmapInfoHeaderSize = 40;
constexpr int32_t OffsetBiWidth = 4;
constexpr int32_t OffsetBiHeight = 8;
constexpr int32_t OffsetBiBitCount = 14;
constexpr int32_t OffsetBiCompression = 16;
constexpr int32_t OffsetWfAvgBytes = 8;
constexpr uint16_t MaxBitCount = 24;

// Handles open over the AVI file interface; it is started with the first.
int32_t AviUseCount = 0;

int32_t S32At(const uint8_t* p)
{
    return static_cast<int32_t>(GetU32LE(p));
}

std::string FourChars(uint32_t code)
{
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((code >> (8 * i)) & 0xFF);
    return s;
}

// The codec manager's descriptions are 16-bit characters.
std::string Utf8Of(const char16_t* text, size_t max)
{
    std::string out;
    for (size_t i = 0; i < max && text[i] != 0; ++i) {
        const uint32_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The audio stream's source format and the PCM format it plays as; false
// when no complete PCM equivalent exists.
bool PrepareAudio(AVIHandle& h)
{
    WAVEFORMATEX src = ReadWaveFormat(h.AudioFormat, WaveFormatExSize);
    if (static_cast<int32_t>(src.nAvgBytesPerSec) <= 0) {
        int32_t avg = 0;
        if (!CheckedMul32(src.nSamplesPerSec, src.nBlockAlign, avg)) return false;
        src.nAvgBytesPerSec = static_cast<uint32_t>(avg);
        PutU32LE(h.AudioFormat + OffsetWfAvgBytes, src.nAvgBytesPerSec);
    }
    WAVEFORMATEX pcm;
    if (!SoundAsPcm_(src, SoundFormatTag_(h.AudioFormat, h.AudioFormatSize), pcm)) return false;
    WriteWaveFormat(pcm, h.PcmFormat);
    return true;
}

void OpenSteps(AVIHandle& h, const std::string& name)
{
    // The file must exist and hold something before the interface sees it.
    int32_t file = INVALID_HANDLE;
    GuardedBlockLocal([&] {
        FOpen(file, name, FmRead);
        h.FileSize = FSize(file);
        FClose(file);
    });
    if (ErrGet() != 0 || h.FileSize <= 0) ErrSet(8005);

    if (AVIFileOpen(&h.File, name, OfRead, nullptr) != AviErrOk) ErrSet(8005);
    if (AVIFileGetStream(h.File, &h.Video, StreamTypeVideo, 0) != AviErrOk) ErrSet(8005);
    if (AVIStreamInfo(h.Video, &h.VideoInfo, AviStreamInfoSize) != AviErrOk) ErrSet(8005);
    if (!AVIStreamReadFormat_(h.Video, h.VideoFormat, h.VideoFormatSize, BitmapInfoHeaderSize)) ErrSet(8005);
    h.Frames = AVIStreamLength(h.Video);
    if (h.Frames <= 0) ErrSet(8005);

    if (AVIFileGetStream(h.File, &h.Audio, StreamTypeAudio, 0) == AviErrOk) {
        h.AudioLength = AVIStreamLength(h.Audio);
        if (AVIStreamInfo(h.Audio, &h.AudioInfo, AviStreamInfoSize) != AviErrOk) {
            AVIIgnoreAudio_(h.Audio);
        } else if (!AVIStreamReadFormat_(h.Audio, h.AudioFormat, h.AudioFormatSize, WaveFormatExSize)) {
            AVIIgnoreAudio_(h.Audio);
        } else {
            if (!PrepareAudio(h)) AVIIgnoreAudio_(h.Audio);
        }
    }

    h.Width = S32At(h.VideoFormat + OffsetBiWidth);
    // A negative height marks rows stored from the top; the picture is as high.
    const int32_t height = S32At(h.VideoFormat + OffsetBiHeight);
    h.Height = height == INT32_MIN ? INT32_MAX : std::abs(height);
    uint16_t bits = GetU16LE(h.VideoFormat + OffsetBiBitCount);
    if (bits > MaxBitCount) {
        bits = MaxBitCount;
        PutU16LE(h.VideoFormat + OffsetBiBitCount, bits);
    }
    h.BytesPP = bits / 8;
    h.BitsPP = bits == 16 ? 15 : bits;

    // A stream without a time scale has no rate to tell.
    const AVISTREAMINFO& vi = h.VideoInfo;
    h.FrameRate = vi.dwScale == 0 ? 0 : std::nearbyint(static_cast<double>(vi.dwRate) / vi.dwScale * 10) * 0.1;
}

void FillInfo(const AVIHandle& h, TFileInfo& info)
{
    info.FileSize = h.FileSize;
    info.Picture.Width = h.Width;
    info.Picture.Height = h.Height;
    info.Picture.Bits = h.BitsPP;
    info.Picture.BytesPP = (h.BitsPP + 7) / 8;
    info.Picture.Frames = h.Frames;
    info.Picture.FramesPerSec = h.FrameRate;
    const uint32_t code =
        h.VideoInfo.fccHandler != 0 ? h.VideoInfo.fccHandler : GetU32LE(h.VideoFormat + OffsetBiCompression);
    AVIGetVideoName(code, info.Picture.Compression);
    info.Picture.Loadable = true;

    if (h.Audio != nullptr) {
        const WAVEFORMATEX src = ReadWaveFormat(h.AudioFormat, WaveFormatExSize);
        const WAVEFORMATEX pcm = ReadWaveFormat(h.PcmFormat, WaveFormatExSize);
        std::memcpy(info.Sound.PcmFormat, h.PcmFormat, sizeof info.Sound.PcmFormat);
        info.Sound.SamplesPerSec = static_cast<int32_t>(std::min<uint32_t>(src.nSamplesPerSec, INT32_MAX));
        info.Sound.Channels = src.nChannels;
        info.Sound.BitsPerSample = src.wBitsPerSample;
        const uint16_t tag = SoundFormatTag_(h.AudioFormat, h.AudioFormatSize);
        AVIGetAudioName_(tag, info.Sound.Compression);
        const int64_t size = static_cast<int64_t>(src.nBlockAlign) * std::max(h.AudioLength, 0);
        const bool asStored = tag == WaveFormatPcm || tag == WaveFormatIeeeFloat;
        info.Sound.Size = asStored ? static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX))
                                   : PCMSizeOf_(size, src.nAvgBytesPerSec, pcm.nAvgBytesPerSec);
    }
    info.Sound.Present = true;
}

}  // namespace

void AVIOpen(AVIHandle& h, const std::string& name)
{
    Guarded("AVIOpen", [&] {
        if (AviUseCount == 0) AVIFileInit();
        ++AviUseCount;
        h = AVIHandle{};
        h.Opened = true;
        try {
            OpenSteps(h, name);
        } catch (...) {
            // The failed block has freed the tracked formats already; the
            // interface objects are left to AVIClose.
            h.VideoFormat = nullptr;
            h.AudioFormat = nullptr;
            h.Further = nullptr;
            throw;
        }
    });
}

// Releasing cannot fail; it needs no block of its own.
void AVIClose(AVIHandle& h)
{
    LabelPush("AVIClose");
    if (AviUseCount > 0 && h.Opened) {
        if (h.Audio != nullptr) AVIStreamRelease(h.Audio);
        MemFree(h.Further);
        MemFree(h.AudioFormat);
        if (h.FurtherStream != nullptr) AVIStreamRelease(h.FurtherStream);
        if (h.Video != nullptr) AVIStreamRelease(h.Video);
        MemFree(h.VideoFormat);
        if (h.File != nullptr) AVIFileRelease(h.File);
        h = AVIHandle{};
        if (--AviUseCount == 0) AVIFileExit();
    }
    LabelPop();
}

void AVIInfo(const std::string& name, TFileInfo& info)
{
    Guarded("AVIInfo", [&] {
        AVIHandle h;
        try {
            AVIOpen(h, name);
            FillInfo(h, info);
        } catch (...) {
            AVIClose(h);
            throw;
        }
        // Freeing the formats clears the warning; the caller is to see that
        // the audio was ignored.
        const int32_t warning = WrnGet();
        AVIClose(h);
        if (warning != 0 && WrnGet() == 0) WrnSet(warning);
    });
}

void AVIGetVideoName(uint32_t code, std::string& text)
{
    const std::string four = FourChars(code);
    const std::string upper = UpperAZ(four);
    text = code != 0 ? "(" + four + ")" : "";
    if (code == 0 || upper == "DIB " || upper == "RAW " || upper == "RGB ") {
        text += " Full frames, uncompressed";
    } else {
        // Video 1 streams carry any of its three codes; the codec answers as msvc.
        uint32_t query = code;
        if (upper == "MSVC" || upper == "CRAM" || upper == "WHAM") query = MakeFourCC('m', 's', 'v', 'c');
        HIC hic = ICOpen(IcTypeVideo, query, IcModeQuery);
        if (hic != nullptr) {
            ICINFO details;
            if (ICGetInfo(hic, &details, IcInfoSize) != 0)
                text += " " + Utf8Of(details.szDescription, std::size(details.szDescription));
            ICClose(hic);
        }
    }
    if (text.empty()) text = "N/A";
}

void AVIGetAudioName_(uint32_t tag, std::string& text)
{
    text = SoundFormatName_(tag);
}

bool AVIStreamReadFormat_(PAVISTREAM stream, uint8_t*& block, int32_t& size, int32_t minSize)
{
    LabelPush("AVIStreamReadFormat_");
    bool ok = false;
    int32_t need = 0;
    if (AVIStreamReadFormat(stream, 0, nullptr, &need) == AviErrOk && need > 0 && need <= MaxStreamFormatBytes) {
        // A short format reads as far as it goes; the fields it lacks are 0.
        const int32_t room = std::max(need, minSize);
        MemAlloc(block, room);
        MemName(block, "AVIStreamReadFormat_", "dest_ptr");
        std::memset(block, 0, static_cast<size_t>(room));
        int32_t got = need;
        if (AVIStreamReadFormat(stream, 0, block, &got) == AviErrOk && got == need) {
            size = need;
            ok = true;
        } else {
            MemFree(block);
        }
    }
    LabelPop();
    return ok;
}

void AVIIgnoreAudio_(PAVISTREAM& audio)
{
    if (audio != nullptr) AVIStreamRelease(audio);
    audio = nullptr;
    WrnSet(8001);
}
