#pragma once
// HAV movies (this library's own format with optional PCM sound): described
// from their header, never decoded.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"

inline constexpr int32_t HAVHeaderSize = 64;
inline constexpr int32_t HAVIndexSize = 1024;
inline constexpr int32_t HAVFrameIndexSize = 3072;
inline constexpr int32_t HAVVersion = 97;

struct HAVHandle {
    uint8_t Header[HAVHeaderSize] = {};  // fields at their file offsets
    uint8_t* Index = nullptr;            // tracked, HAVIndexSize bytes
    uint8_t* FrameIndex = nullptr;       // tracked, HAVFrameIndexSize bytes
    int32_t File = 0;
    int32_t FrameSize = 0;
    int32_t BitsPP = 0;
    int32_t FileSize = 0;
    bool FastPlayback = false;
    uint8_t PcmFormat[18] = {};  // WAVEFORMATEX layout
};

void HAVOpen(HAVHandle& h, const std::string& name);
void HAVClose(HAVHandle& h);
void HAVInfo(const std::string& name, TFileInfo& info);
