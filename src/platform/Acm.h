#pragma once
// What the Audio Compression Manager of a Windows 98 machine answered: the
// names of the sound format tags it knew and the PCM format it suggested for
// the compressed formats it could decode.

#include <cstddef>
#include <cstdint>

namespace platform {

// A WAVEFORMATEX, held field by field; its file layout is 18 bytes.
struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};
inline constexpr int32_t WaveFormatExSize = 18;
// A PCMWAVEFORMAT (the format without cbSize).
inline constexpr int32_t PcmWaveFormatSize = 16;

// Reads a WAVEFORMATEX from the first size bytes of p; fields that lie
// beyond size are 0.
WAVEFORMATEX ReadWaveFormat(const uint8_t* p, size_t size);
// Writes the 18-byte layout.
void WriteWaveFormat(const WAVEFORMATEX& wf, uint8_t out[WaveFormatExSize]);

inline constexpr uint16_t WaveFormatPcm = 0x0001;
inline constexpr uint16_t WaveFormatAdpcm = 0x0002;
inline constexpr uint16_t WaveFormatIeeeFloat = 0x0003;
inline constexpr uint16_t WaveFormatAlaw = 0x0006;
inline constexpr uint16_t WaveFormatMulaw = 0x0007;
inline constexpr uint16_t WaveFormatImaAdpcm = 0x0011;
inline constexpr uint16_t WaveFormatGsm610 = 0x0031;
inline constexpr uint16_t WaveFormatMpeg = 0x0050;
inline constexpr uint16_t WaveFormatMpegLayer3 = 0x0055;
inline constexpr uint16_t WaveFormatDolbyAc3 = 0x2000;
inline constexpr uint16_t WaveFormatExtensible = 0xFFFE;

inline constexpr uint32_t MmsysErrInvalParam = 11;
inline constexpr uint32_t AcmErrNotPossible = 512;

inline constexpr uint32_t AcmFormatSuggestFWFormatTag = 0x00010000;
inline constexpr uint32_t AcmFormatTagDetailsFFormatTag = 0x00000001;

inline constexpr int AcmFormatTagDetailsChars = 48;
struct ACMFORMATTAGDETAILSA {
    uint32_t cbStruct = 0;
    uint32_t dwFormatTagIndex = 0;
    uint32_t dwFormatTag = 0;
    uint32_t cbFormatSize = 0;
    uint32_t fdwSupport = 0;
    uint32_t cFormatDrivers = 0;
    char szFormatTag[AcmFormatTagDetailsChars] = {};
};

// Details of the tag set in details->dwFormatTag (only by tag); 0 or
// AcmErrNotPossible for a tag no installed driver knows.
uint32_t acmFormatTagDetailsA(void* driver, ACMFORMATTAGDETAILSA* details, uint32_t flags);

// Suggests a destination format for src. Only suggestion by tag to PCM (dst
// tag 1) is possible, for the formats a decoder was installed for; the
// result is 16-bit PCM with the source's channels and rate. 0 on success.
uint32_t acmFormatSuggest(void* driver, const WAVEFORMATEX* src, WAVEFORMATEX* dst, uint32_t dstSize, uint32_t flags);

}  // namespace platform
