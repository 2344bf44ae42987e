#include "formats/FF_FLC.h"

#include <algorithm>
#include <cmath>

#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Utils.h"

namespace {

constexpr int32_t OffsetFrames = 6;
constexpr int32_t OffsetWidth = 8;
constexpr int32_t OffsetHeight = 10;
constexpr int32_t OffsetSpeed = 16;
constexpr double FliTicksPerSecond = 70;
constexpr double FlcTicksPerSecond = 1000;

bool IsFliName(const std::string& name)
{
    return LowerExtension(name) == ".fli";
}

}  // namespace

double FLCFrameRate_(uint32_t speed, const std::string& name)
{
    if (speed == 0) return 0;
    const double ticks = IsFliName(name) ? FliTicksPerSecond : FlcTicksPerSecond;
    return std::nearbyint(ticks / speed * 10) * 0.1;
}

void FLCOpen(FLCHandle& h, const std::string& name)
{
    Guarded("FLCOpen", [&] {
        h = FLCHandle{};
        FOpen(h.File, name, FmRead);
        h.FileSize = FSize(h.File);
        FRead(h.File, h.Header, FLCHeaderSize);
        // Two 16-bit sides can exceed the 32-bit count; such a header is kept
        // for its other fields and the count saturates.
        const int64_t pixels =
            static_cast<int64_t>(GetU16LE(h.Header + OffsetWidth)) * GetU16LE(h.Header + OffsetHeight);
        h.PixelCount = static_cast<int32_t>(std::min<int64_t>(pixels, INT32_MAX));
        h.FrameRate = FLCFrameRate_(GetU32LE(h.Header + OffsetSpeed), name);
        h.Planes = 1;
        h.BitsPP = 8;
    });
}

void FLCClose(FLCHandle& h)
{
    Guarded("FLCClose", [&] { FClose(h.File); });
}

void FLCInfo(const std::string& name, TFileInfo& info)
{
    Guarded("FLCInfo", [&] {
        FLCHandle h;
        FLCOpen(h, name);
        info.FileSize = h.FileSize;
        info.Picture.Width = GetU16LE(h.Header + OffsetWidth);
        info.Picture.Height = GetU16LE(h.Header + OffsetHeight);
        info.Picture.BytesPP = 1;
        info.Picture.Bits = h.BitsPP;
        info.Picture.Frames = GetU16LE(h.Header + OffsetFrames);
        info.Picture.FramesPerSec = h.FrameRate;
        info.Picture.Compression = "RLE + pixel difference from previous frame";
        info.Picture.Loadable = true;
        FLCClose(h);
    });
}
