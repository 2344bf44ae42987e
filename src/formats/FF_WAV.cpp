#include "formats/FF_WAV.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/DecodeLimits.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"

using namespace platform;

namespace {

constexpr uint32_t FourCCWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr uint32_t FourCCFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr uint32_t FourCCData = MakeFourCC('d', 'a', 't', 'a');

// A format chunk holds a WAVEFORMATEX and at most 65535 extra bytes.
static_assert(MaxWaveFormatBytes == WaveFormatExSize + 0xFFFF);
constexpr uint32_t MaxFormatChunk = MaxWaveFormatBytes;
constexpr int32_t ExtraPiece = PassOverPieceBytes;

constexpr int32_t OffsetAvgBytes = 8;
// WAVE_FORMAT_EXTENSIBLE: cbSize 22, then valid bits, channel mask and the
// sub-format GUID, whose first two bytes are the format tag it stands for.
constexpr int32_t ExtensibleFormatSize = 40;
constexpr int32_t OffsetSubFormat = 24;

bool Matches(const MMCKINFO& found, const MMCKINFO& wanted, uint32_t flags)
{
    if (flags & WavFindRiff) return found.ckid == FourCCRiff && found.fccType == wanted.fccType;
    if (flags & WavFindList) return found.ckid == FourCCList && found.fccType == wanted.fccType;
    if (flags & WavFindChunk) return found.ckid == wanted.ckid;
    return false;
}

// After a failed block inside WAVOpen: the blocks are gone already, the
// multimedia file (not a tracked file) is closed here.
void DropAfterFailure(WAVHandle& w)
{
    if (w.File) mmioClose(w.File, 0);
    w = WAVHandle{};
}

void OpenSteps(WAVHandle& w)
{
    MMCKINFO riff;
    if (mmioDescend(w.File, &riff, nullptr, 0) != 0 || riff.ckid != FourCCRiff || riff.fccType != FourCCWave)
        WAVAbort_(w);

    MMCKINFO fmt;
    fmt.ckid = FourCCFmt;
    if (FindChunkAndKeepExtras_(w.File, fmt, riff, WavFindChunk) != 0) WAVAbort_(w);
    if (fmt.cksize > MaxFormatChunk) WAVAbort_(w);
    // A short format chunk (a PCMWAVEFORMAT of 16 bytes, or less) reads as
    // far as it goes; the fields it lacks are 0.
    const int32_t fmtSize = static_cast<int32_t>(fmt.cksize);
    MemAlloc(w.InFormat, std::max(fmtSize, WaveFormatExSize));
    MemName(w.InFormat, "WAVOpen", "wf.sl.InFormat");
    std::memset(w.InFormat, 0, static_cast<size_t>(std::max(fmtSize, WaveFormatExSize)));
    w.InFormatSize = fmtSize;
    if (fmtSize > 0 && mmioRead(w.File, w.InFormat, fmtSize) != fmtSize) WAVAbort_(w);
    if (mmioAscend(w.File, &fmt, 0) != 0) WAVAbort_(w);

    // A recording cut short (its data chunk running past the end of the
    // file, or of the RIFF form) is described with what it holds.
    w.Data.ckid = FourCCData;
    if (FindChunkAndKeepExtras_(w.File, w.Data, riff, WavFindChunk | WavClipLast) != 0) WAVAbort_(w);
    if (mmioAscend(w.File, &w.Data, 0) != 0) WAVAbort_(w);

    WAVEFORMATEX file = ReadWaveFormat(w.InFormat, WaveFormatExSize);
    // Without a block alignment the data has no sample frames to count.
    if (file.nBlockAlign == 0) WAVAbort_(w);
    w.SampleFrames = static_cast<int32_t>(std::min<uint32_t>(w.Data.cksize / file.nBlockAlign, INT32_MAX));

    if (static_cast<int32_t>(file.nAvgBytesPerSec) <= 0) {
        int32_t avg = 0;
        if (!CheckedMul32(file.nSamplesPerSec, file.nBlockAlign, avg)) WAVAbort_(w);
        file.nAvgBytesPerSec = static_cast<uint32_t>(avg);
        PutU32LE(w.InFormat + OffsetAvgBytes, file.nAvgBytesPerSec);
    }

    WAVEFORMATEX pcm;
    if (!SoundAsPcm_(file, SoundFormatTag_(w.InFormat, w.InFormatSize), pcm)) WAVAbort_(w);
    WriteWaveFormat(pcm, w.PcmFormat);
}

}  // namespace

uint16_t SoundFormatTag_(const uint8_t* format, int32_t size)
{
    const uint16_t tag = size >= 2 ? GetU16LE(format) : 0;
    if (tag != WaveFormatExtensible || size < ExtensibleFormatSize) return tag;
    return GetU16LE(format + OffsetSubFormat);
}

bool SoundAsPcm_(const WAVEFORMATEX& format, uint16_t tag, WAVEFORMATEX& pcm)
{
    pcm = WAVEFORMATEX{};
    pcm.wFormatTag = WaveFormatPcm;
    if (tag == WaveFormatPcm || tag == WaveFormatIeeeFloat) {
        pcm.nChannels = format.nChannels;
        pcm.nSamplesPerSec = format.nSamplesPerSec;
        pcm.wBitsPerSample = format.wBitsPerSample;
    } else if (acmFormatSuggest(nullptr, &format, &pcm, WaveFormatExSize, AcmFormatSuggestFWFormatTag) != 0) {
        if (tag != WaveFormatMpeg && tag != WaveFormatMpegLayer3 && tag != WaveFormatDolbyAc3) return false;
        pcm = WAVEFORMATEX{};
        pcm.wFormatTag = WaveFormatPcm;
        pcm.nChannels = format.nChannels;
        pcm.nSamplesPerSec = format.nSamplesPerSec;
        pcm.wBitsPerSample = 16;
    }
    return PCMComplete_(pcm);
}

std::string SoundFormatName_(uint32_t tag)
{
    std::string text = "(#" + std::to_string(tag) + ") ";
    if (tag == WaveFormatPcm) return text + "PCM, uncompressed";
    ACMFORMATTAGDETAILSA details;
    details.cbStruct = sizeof details;
    details.dwFormatTag = tag;
    if (acmFormatTagDetailsA(nullptr, &details, AcmFormatTagDetailsFFormatTag) == 0)
        return text + std::string(details.szFormatTag, strnlen(details.szFormatTag, sizeof details.szFormatTag));
    return text + "Unknown audio codec";
}

bool PCMComplete_(WAVEFORMATEX& wf)
{
    if (wf.nChannels == 0 || wf.nSamplesPerSec == 0 || wf.wBitsPerSample == 0) return false;
    const int64_t align = static_cast<int64_t>(wf.nChannels) * (wf.wBitsPerSample / 8);
    const int64_t avg = static_cast<int64_t>(wf.nSamplesPerSec) * align;
    if (align > UINT16_MAX || avg > UINT32_MAX) return false;
    wf.nBlockAlign = static_cast<uint16_t>(align);
    wf.nAvgBytesPerSec = static_cast<uint32_t>(avg);
    return true;
}

int32_t PCMSizeOf_(int64_t size, uint32_t sourceAvgBytes, uint32_t pcmAvgBytes)
{
    if (sourceAvgBytes == 0) return 0;
    const double pcm = std::nearbyint(static_cast<double>(size) / sourceAvgBytes * pcmAvgBytes);
    if (!(pcm >= 0)) return 0;
    return pcm > INT32_MAX ? INT32_MAX : static_cast<int32_t>(pcm);
}

void ReadIntoExtra_(HMMIO file, const MMCKINFO& chunk)
{
    Guarded("ReadInfoExtra_", [&] {
        // A LIST or RIFF chunk is entered after its form type, which is part
        // of its data: read from the start of the data, not from here.
        if (mmioSeek(file, static_cast<int32_t>(chunk.dwDataOffset), MmioSeekSet) < 0) ErrSet(10003);
        uint8_t* lp = nullptr;
        int64_t left = chunk.cksize;
        if (left > 0) {
            MemAlloc(lp, static_cast<int32_t>(std::min<int64_t>(left, ExtraPiece)));
            MemName(lp, "ReadInfoExtra_", "lp");
        }
        while (left > 0) {
            const int32_t piece = static_cast<int32_t>(std::min<int64_t>(left, ExtraPiece));
            if (mmioRead(file, lp, piece) != piece) ErrSet(10003);
            left -= piece;
        }
        MemFree(lp);
        // The pad byte of an odd-sized chunk; the last chunk of a file may lack it.
        if (chunk.cksize & 1) mmioSeek(file, 1, MmioSeekCur);
    });
}

uint32_t FindChunkAndKeepExtras_(HMMIO file, MMCKINFO& chunk, const MMCKINFO& parent, uint32_t flags)
{
    uint32_t result = 0;
    Guarded("FindChunkAndKeepExtras_", [&] {
        for (;;) {
            MMCKINFO ck;
            const uint32_t r = mmioDescend(file, &ck, &parent, 0);
            if (r == MmioErrChunkOverrun && (flags & WavClipLast) && Matches(ck, chunk, flags)) {
                // The chunk keeps what the parent and the file hold of it.
                const int64_t end =
                    std::min<int64_t>(static_cast<int64_t>(parent.dwDataOffset) + parent.cksize, mmioFileSize(file));
                ck.cksize = static_cast<uint32_t>(std::max<int64_t>(end - ck.dwDataOffset, 0));
                if (mmioSeek(file, static_cast<int32_t>(ck.dwDataOffset), MmioSeekSet) < 0) ErrSet(10003);
                chunk = ck;
                result = 0;
                return;
            }
            if (r == MmioErrChunkOverrun) ErrSet(10003);
            if (r != 0) {
                result = (flags == 0 && r == MmioErrChunkNotFound) ? 0 : r;
                return;
            }
            if (Matches(ck, chunk, flags)) {
                chunk = ck;
                result = 0;
                return;
            }
            ReadIntoExtra_(file, ck);
        }
    });
    return result;
}

void WAVAbort_(WAVHandle& w)
{
    WAVClose(w);
    ErrSet(10001);
}

void WAVOpen(WAVHandle& w, const std::string& name)
{
    Guarded("WAVOpen", [&] {
        w = WAVHandle{};
        w.File = mmioOpenA(name, nullptr, MmioRead);
        if (!w.File) ErrSet(10001);
        GuardedBlockLocal([&] { OpenSteps(w); });
        const int32_t code = ErrGet();
        if (code != 0) {
            DropAfterFailure(w);
            ErrSet(code);
        }
    });
}

void WAVClose(WAVHandle& w)
{
    Guarded("WAVClose", [&] {
        if (!w.File) ErrAbort();
        mmioClose(w.File, 0);
        MemFree(w.InFormat);
        MemFree(w.Extra);
        w = WAVHandle{};
    });
}

void WAVInfo(const std::string& name, TFileInfo& info)
{
    Guarded("WAVInfo", [&] {
        WAVHandle w;
        WAVOpen(w, name);
        const WAVEFORMATEX file = ReadWaveFormat(w.InFormat, WaveFormatExSize);
        const WAVEFORMATEX pcm = ReadWaveFormat(w.PcmFormat, WaveFormatExSize);
        std::memcpy(info.Sound.PcmFormat, w.PcmFormat, sizeof info.Sound.PcmFormat);
        info.Sound.SamplesPerSec = static_cast<int32_t>(std::min<uint32_t>(file.nSamplesPerSec, INT32_MAX));
        info.Sound.Channels = file.nChannels;
        info.Sound.BitsPerSample = file.wBitsPerSample;
        const uint16_t tag = SoundFormatTag_(w.InFormat, w.InFormatSize);
        const int64_t size = static_cast<int64_t>(file.nBlockAlign) * w.SampleFrames;
        const bool asStored = tag == WaveFormatPcm || tag == WaveFormatIeeeFloat;
        info.Sound.Size = asStored ? static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX))
                                   : PCMSizeOf_(size, file.nAvgBytesPerSec, pcm.nAvgBytesPerSec);
        info.Sound.Compression = SoundFormatName_(tag);
        info.Sound.Present = true;
        WAVClose(w);
        int32_t h = INVALID_HANDLE;
        FOpen(h, name, FmRead);
        info.FileSize = FSize(h);
        FClose(h);
    });
}
