#include "platform/Acm.h"

#include <cstring>

namespace platform {

namespace {

uint16_t U16At(const uint8_t* p, size_t size, size_t at)
{
    if (at + 2 > size) return 0;
    return static_cast<uint16_t>(p[at] | (p[at + 1] << 8));
}

uint32_t U32At(const uint8_t* p, size_t size, size_t at)
{
    if (at + 4 > size) return 0;
    return static_cast<uint32_t>(p[at]) | (static_cast<uint32_t>(p[at + 1]) << 8) |
           (static_cast<uint32_t>(p[at + 2]) << 16) | (static_cast<uint32_t>(p[at + 3]) << 24);
}

struct TagName {
    uint16_t Tag;
    const char* Name;
};

// The format tags of the drivers a Windows 98 machine came with, plus the
// MPEG Layer-3 decoder that arrived with its media player, and the names of
// IEEE float and AC-3 sound as later systems give them.
constexpr TagName TagNames[] = {
    {0x0001, "PCM"},
    {0x0002, "Microsoft ADPCM"},
    {0x0003, "IEEE Float"},
    {0x0006, "CCITT A-Law"},
    {0x0007, "CCITT u-Law"},
    {0x0011, "IMA ADPCM"},
    {0x0022, "DSP Group TrueSpeech(TM)"},
    {0x0031, "GSM 6.10"},
    {0x0042, "Microsoft G.723.1"},
    {0x0050, "MPEG"},
    {0x0055, "MPEG Layer-3"},
    {0x2000, "Dolby AC-3"},
};

// Whether an installed decoder accepts src and turns it into PCM.
bool CanDecode(const WAVEFORMATEX& src)
{
    constexpr uint32_t MaxRate = 1000000;
    if (src.nSamplesPerSec == 0 || src.nSamplesPerSec > MaxRate || src.nChannels == 0 || src.nChannels > 2)
        return false;
    switch (src.wFormatTag) {
        case WaveFormatImaAdpcm:
        case WaveFormatAdpcm:
            return src.wBitsPerSample == 4 && src.nBlockAlign > 0;
        case WaveFormatAlaw:
        case WaveFormatMulaw:
            return src.wBitsPerSample == 8;
        case WaveFormatGsm610:
            return src.nChannels == 1 && src.nBlockAlign > 0;
        case WaveFormatMpegLayer3:
            return true;
        default:
            return false;
    }
}

}  // namespace

WAVEFORMATEX ReadWaveFormat(const uint8_t* p, size_t size)
{
    WAVEFORMATEX wf;
    if (!p) return wf;
    wf.wFormatTag = U16At(p, size, 0);
    wf.nChannels = U16At(p, size, 2);
    wf.nSamplesPerSec = U32At(p, size, 4);
    wf.nAvgBytesPerSec = U32At(p, size, 8);
    wf.nBlockAlign = U16At(p, size, 12);
    wf.wBitsPerSample = U16At(p, size, 14);
    wf.cbSize = U16At(p, size, 16);
    return wf;
}

void WriteWaveFormat(const WAVEFORMATEX& wf, uint8_t out[WaveFormatExSize])
{
    auto put16 = [&](int at, uint16_t v) {
        out[at] = static_cast<uint8_t>(v);
        out[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put16(0, wf.wFormatTag);
    put16(2, wf.nChannels);
    put32(4, wf.nSamplesPerSec);
    put32(8, wf.nAvgBytesPerSec);
    put16(12, wf.nBlockAlign);
    put16(14, wf.wBitsPerSample);
    put16(16, wf.cbSize);
}

uint32_t acmFormatTagDetailsA(void* /*driver*/, ACMFORMATTAGDETAILSA* details, uint32_t flags)
{
    if (!details || flags != AcmFormatTagDetailsFFormatTag) return MmsysErrInvalParam;
    for (const TagName& t : TagNames) {
        if (t.Tag != details->dwFormatTag) continue;
        std::memset(details->szFormatTag, 0, sizeof details->szFormatTag);
        std::strncpy(details->szFormatTag, t.Name, sizeof details->szFormatTag - 1);
        details->cbFormatSize = t.Tag == WaveFormatPcm ? PcmWaveFormatSize : WaveFormatExSize;
        details->cFormatDrivers = 1;
        return 0;
    }
    return AcmErrNotPossible;
}

uint32_t acmFormatSuggest(void* /*driver*/, const WAVEFORMATEX* src, WAVEFORMATEX* dst, uint32_t dstSize,
                          uint32_t flags)
{
    if (!src || !dst || dstSize < static_cast<uint32_t>(PcmWaveFormatSize)) return MmsysErrInvalParam;
    if (flags != AcmFormatSuggestFWFormatTag || dst->wFormatTag != WaveFormatPcm) return AcmErrNotPossible;
    if (!CanDecode(*src)) return AcmErrNotPossible;
    WAVEFORMATEX pcm;
    pcm.wFormatTag = WaveFormatPcm;
    pcm.nChannels = src->nChannels;
    pcm.nSamplesPerSec = src->nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<uint16_t>(pcm.nChannels * 2);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    pcm.cbSize = 0;
    *dst = pcm;
    return 0;
}

}  // namespace platform
