#pragma once
// AVI files, summarised through the video-for-windows layer of the
// platform: the first video and audio streams, their formats and lengths,
// and the names of their codecs. No frame is decoded.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"
#include "platform/Vfw.h"

struct AVIHandle {
    platform::PAVIFILE File = nullptr;
    platform::PAVISTREAM Video = nullptr;
    platform::PAVISTREAM FurtherStream = nullptr;  // released on close, never set
    void* GetFrame = nullptr;                      // released on close, never set
    platform::PAVISTREAM Audio = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BytesPP = 0;
    int32_t BitsPP = 0;
    int32_t Frames = 0;
    int32_t FileSize = 0;
    double FrameRate = 0;
    platform::AVISTREAMINFO VideoInfo;
    platform::AVISTREAMINFO AudioInfo;
    uint8_t* VideoFormat = nullptr;  // tracked, at least a BITMAPINFOHEADER
    int32_t VideoFormatSize = 0;
    uint8_t* AudioFormat = nullptr;  // tracked, at least a WAVEFORMATEX
    int32_t AudioFormatSize = 0;
    uint8_t PcmFormat[18] = {};  // WAVEFORMATEX layout
    uint8_t* Further = nullptr;  // tracked, released on close
    int32_t AudioLength = 0;
    bool Opened = false;  // AVIOpen ran on it; AVIClose releases it once
};

void AVIOpen(AVIHandle& h, const std::string& name);
void AVIClose(AVIHandle& h);
void AVIInfo(const std::string& name, TFileInfo& info);

// The video compression name of a handler or compression code.
void AVIGetVideoName(uint32_t code, std::string& text);
// The sound compression name of a format tag.
void AVIGetAudioName_(uint32_t tag, std::string& text);
// Reads a stream's format into a new tracked block of at least minSize
// bytes (zero beyond the format); false, with no block, when it fails.
bool AVIStreamReadFormat_(platform::PAVISTREAM stream, uint8_t*& block, int32_t& size, int32_t minSize);
// Releases the audio stream, sets it to none, warns 8001.
void AVIIgnoreAudio_(platform::PAVISTREAM& audio);
