#pragma once
// Autodesk FLI and FLC animations: described from their 128-byte header,
// never decoded.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"

inline constexpr int32_t FLCHeaderSize = 128;

struct FLCHandle {
    uint8_t Header[FLCHeaderSize] = {};  // as stored in the file
    int32_t Planes = 0;
    int32_t BitsPP = 0;
    int32_t File = 0;
    int32_t PixelCount = 0;
    int32_t FileSize = 0;
    double FrameRate = 0;  // frames per second, one decimal
};

void FLCOpen(FLCHandle& h, const std::string& name);
void FLCInfo(const std::string& name, TFileInfo& info);
void FLCClose(FLCHandle& h);

// Frames per second of a header speed: 1/70 s units for ".fli" names,
// milliseconds for any other, rounded to one decimal; 0 for speed 0.
double FLCFrameRate_(uint32_t speed, const std::string& name);
