#include "formats/FF_HAV.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/FF_WAV.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "platform/Acm.h"

using platform::WAVEFORMATEX;

namespace {

constexpr uint8_t HavMagic[4] = {'H', 'A', 'V', 0x1A};
constexpr int32_t OffsetHeaderLength = 4;
constexpr int32_t OffsetVersion = 8;
constexpr int32_t OffsetWidth = 12;
constexpr int32_t OffsetHeight = 16;
constexpr int32_t OffsetBytesPP = 20;
constexpr int32_t OffsetMode = 24;
constexpr int32_t OffsetFrames = 28;
constexpr int32_t OffsetFrameRate = 36;
constexpr int32_t OffsetSoundFlags = 44;
constexpr int32_t OffsetSoundRate = 48;
constexpr int32_t OffsetSoundLength = 60;
constexpr int32_t MagicAndLength = 8;

constexpr uint32_t ModeFastBit = 2;
constexpr uint32_t SoundStereo = 4;
constexpr uint32_t Sound16Bits = 3;

int32_t S32(const HAVHandle& h, int32_t at)
{
    return static_cast<int32_t>(GetU32LE(h.Header + at));
}

double FrameRateOf(const HAVHandle& h)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | h.Header[OffsetFrameRate + i];
    double rate;
    std::memcpy(&rate, &bits, sizeof rate);
    return std::isfinite(rate) ? rate : 0;
}

// Seeks to a table entry, which must lie inside the file.
void SeekToEntry(const HAVHandle& h, uint32_t position)
{
    if (position > static_cast<uint32_t>(h.FileSize)) ErrSet(5005);
    FSeek(h.File, static_cast<int32_t>(position));
}

}  // namespace

void HAVOpen(HAVHandle& h, const std::string& name)
{
    Guarded("HAVOpen", [&] {
        h = HAVHandle{};
        FOpen(h.File, name, FmRead);
        h.FileSize = FSize(h.File);
        FRead(h.File, h.Header, MagicAndLength);
        if (std::memcmp(h.Header, HavMagic, sizeof HavMagic) != 0) {
            FClose(h.File);
            ErrSet(9001);
        }
        // The header length comes from the file: read no more than the
        // record holds, and require the rest of the header to be there (a
        // header longer than the file is a short read).
        const uint32_t headerLength = GetU32LE(h.Header + OffsetHeaderLength);
        if (headerLength < MagicAndLength) {
            FClose(h.File);
            ErrSet(9001);
        }
        if (headerLength > static_cast<uint32_t>(h.FileSize)) ErrSet(5003);
        const int32_t inRecord = static_cast<int32_t>(std::min<uint32_t>(headerLength, HAVHeaderSize));
        FRead(h.File, h.Header + MagicAndLength, inRecord - MagicAndLength);
        if (S32(h, OffsetVersion) != HAVVersion) {
            FClose(h.File);
            ErrSet(9005);
        }
        FSeek(h.File, static_cast<int32_t>(headerLength));

        MemAlloc(h.Index, HAVIndexSize);
        MemName(h.Index, "HAVOpen", "Index");
        FRead(h.File, h.Index, HAVIndexSize);
        SeekToEntry(h, GetU32LE(h.Index));
        MemAlloc(h.FrameIndex, HAVFrameIndexSize);
        MemName(h.FrameIndex, "HAVOpen", "FrameIndex");
        FRead(h.File, h.FrameIndex, HAVFrameIndexSize);
        SeekToEntry(h, GetU32LE(h.FrameIndex));

        const uint32_t mode = GetU32LE(h.Header + OffsetMode);
        h.FastPlayback = (mode & ModeFastBit) != 0;
        const int32_t bytesPP = S32(h, OffsetBytesPP);
        if (!CheckedMul32(S32(h, OffsetWidth), S32(h, OffsetHeight), bytesPP, h.FrameSize) ||
            !CheckedMul32(bytesPP, 8, h.BitsPP))
            ErrSet(9001);

        const uint32_t flags = GetU32LE(h.Header + OffsetSoundFlags);
        WAVEFORMATEX pcm;
        pcm.wFormatTag = platform::WaveFormatPcm;
        pcm.nChannels = (flags & SoundStereo) ? 2 : 1;
        pcm.wBitsPerSample = (flags & Sound16Bits) == Sound16Bits ? 16 : 8;
        pcm.nSamplesPerSec = GetU32LE(h.Header + OffsetSoundRate);
        // A file without sound has no rate: its format stays incomplete.
        PCMComplete_(pcm);
        platform::WriteWaveFormat(pcm, h.PcmFormat);
    });
}

void HAVClose(HAVHandle& h)
{
    Guarded("HAVClose", [&] {
        MemFree(h.FrameIndex);
        MemFree(h.Index);
        FClose(h.File);
    });
}

void HAVInfo(const std::string& name, TFileInfo& info)
{
    Guarded("HAVInfo", [&] {
        HAVHandle h;
        HAVOpen(h, name);
        info.FileSize = h.FileSize;
        info.Picture.Width = S32(h, OffsetWidth);
        info.Picture.Height = S32(h, OffsetHeight);
        info.Picture.BytesPP = S32(h, OffsetBytesPP);
        info.Picture.Bits = h.BitsPP;
        info.Picture.Frames = S32(h, OffsetFrames);
        info.Picture.FramesPerSec = FrameRateOf(h);
        switch (GetU32LE(h.Header + OffsetMode)) {
            case 0:
                info.Picture.Compression = "BEST";
                break;
            case 1:
                info.Picture.Compression = "FAST";
                break;
            case 2:
                info.Picture.Compression = "BEST-P";
                break;
            default:
                info.Picture.Compression = "N/A";
                break;
        }
        if (GetU32LE(h.Header + OffsetSoundFlags) != 0) {
            const WAVEFORMATEX pcm = platform::ReadWaveFormat(h.PcmFormat, sizeof h.PcmFormat);
            std::memcpy(info.Sound.PcmFormat, h.PcmFormat, sizeof info.Sound.PcmFormat);
            info.Sound.Compression = "PCM, uncompressed";
            info.Sound.SamplesPerSec = static_cast<int32_t>(std::min<uint32_t>(pcm.nSamplesPerSec, INT32_MAX));
            info.Sound.Channels = pcm.nChannels;
            info.Sound.BitsPerSample = pcm.wBitsPerSample;
            const int64_t size = static_cast<int64_t>(pcm.nBlockAlign) * GetU32LE(h.Header + OffsetSoundLength);
            info.Sound.Size = static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
        }
        info.Sound.Present = true;
        HAVClose(h);
    });
}
