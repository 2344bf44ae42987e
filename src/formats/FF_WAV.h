#pragma once
// RIFF WAVE sound files, described as the PCM sound they play as; never
// decoded. Also the PCM completion rule the AVI and HAV readers share.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"
#include "platform/Acm.h"
#include "platform/Mmio.h"

struct WAVHandle {
    platform::HMMIO File = nullptr;
    platform::MMCKINFO Data;           // the "data" chunk
    uint8_t* InFormat = nullptr;       // tracked: the file's own format, at least 18 bytes
    int32_t InFormatSize = 0;          // the format chunk's size
    uint8_t PcmFormat[18] = {};        // WAVEFORMATEX layout
    uint8_t* Extra = nullptr;          // tracked, released on close
    int32_t SampleFrames = 0;
    bool WriteMode = false;
};

// Search flags of FindChunkAndKeepExtras_.
inline constexpr uint32_t WavFindChunk = platform::MmioFindChunk;
inline constexpr uint32_t WavFindRiff = platform::MmioFindRiff;
inline constexpr uint32_t WavFindList = platform::MmioFindList;
// With a find flag: a matching chunk that runs past its parent or the file
// is found, its size cut to what they hold.
inline constexpr uint32_t WavClipLast = 0x1000;

void WAVOpen(WAVHandle& w, const std::string& name);
void WAVClose(WAVHandle& w);
void WAVInfo(const std::string& name, TFileInfo& info);

// Closes the handle and raises 10001 ("Cannot open WAV file.").
void WAVAbort_(WAVHandle& w);
// Descends into the chunks of parent until one matches chunk (by flags),
// reading past the others; 0 with the file at the match's data, or the
// walker's failure code. With no flags, reaching the parent's end is 0. A
// chunk past its parent's end is error 10003, unless WavClipLast allows it.
uint32_t FindChunkAndKeepExtras_(platform::HMMIO file, platform::MMCKINFO& chunk, const platform::MMCKINFO& parent,
                                 uint32_t flags);
// Reads a chunk's data and pad byte (the file positioned at its data).
void ReadIntoExtra_(platform::HMMIO file, const platform::MMCKINFO& chunk);

// A PCM format is complete when channels, rate and bits are non-zero;
// completing sets block align and average bytes per second. False (format
// unchanged) when incomplete or when the values do not fit their fields.
bool PCMComplete_(platform::WAVEFORMATEX& wf);

// The tag a format chunk of `size` bytes stands for: the sub-format of a
// WAVE_FORMAT_EXTENSIBLE format, else its own tag.
uint16_t SoundFormatTag_(const uint8_t* format, int32_t size);

// The PCM format a sound of the given format and tag plays as, complete;
// false when there is none. PCM and IEEE float are taken as they are;
// other formats as the Audio Compression Manager suggests, and MPEG audio
// and AC-3 as the 16-bit sound their decoders give.
bool SoundAsPcm_(const platform::WAVEFORMATEX& format, uint16_t tag, platform::WAVEFORMATEX& pcm);

// The name of a sound format: "(#" tag ") " and the format tag's name.
std::string SoundFormatName_(uint32_t tag);

// size ÷ source average bytes per second × PCM average bytes per second,
// rounded; limited to the int32 range; 0 when the source rate is 0.
int32_t PCMSizeOf_(int64_t size, uint32_t sourceAvgBytes, uint32_t pcmAvgBytes);
