#pragma once
// The GIF reader (87a and 89a): a summary for the information query and the
// frames decoded into an 8-bit image record, one after the other.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"
#include "image/ImgBasic.h"

// The state of one open GIF file. One GIF file is open at a time.
struct GIFHandle {
    int32_t Width = 0;  // logical screen
    int32_t Height = 0;
    int32_t Planes = 0;
    int32_t Bits = 0;
    int32_t Frames = 0;
    int32_t NextFrame = 0;  // the frame the next GIFLoad decodes
    double FrameRate = 0;   // frames per second, 0 when the file gives no delays
    int32_t FileSize = 0;
    int32_t Background = -1;  // -1 without a global colour table
    // The area of the last loaded frame (clipped to the screen), for its disposal.
    int32_t WinLeft = 0;
    int32_t WinTop = 0;
    int32_t WinWidth = 0;
    int32_t WinHeight = 0;
    uint8_t* SavedWin = nullptr;  // tracked: the pixels under the window (disposal 3)
    int32_t Disposal = 0;
    bool EndFlag = false;
    bool Partial = false;          // some frame after the first does not cover the screen
    uint8_t Palette[256][3] = {};  // global table, blue, green, red
};

// Opens and summarises the file and leaves it open. In full-scan mode every
// frame is counted and `name` becomes its lower-cased form.
void GIFOpen(GIFHandle& handle, std::string& name, bool firstFrameOnly);
// Decodes the frame at NextFrame into img, composing over what img holds.
void GIFLoad(GIFHandle& handle, Limg& img);
void GIFClose(GIFHandle& handle);
void GIFInfo(const std::string& name, TFileInfo& info, bool fullScan);

// The dispatch entries: the first frame, and the full-scan information.
void GIFLoadFirst(const std::string& name, Limg& img);
void GIFInfoFull(const std::string& name, TFileInfo& info);

// The LZW decoder on its own. `data` starts with the minimum code size byte,
// followed by the sub-blocks; at most outSize pixels are written to out.
// `tables` is a work area of GIFLzwTableSize bytes. Returns the number of
// pixels written, or -1 when the stream cannot be decoded at all (a code
// size outside 1..11). Codes that point outside the table end the decoding.
inline constexpr int32_t GIFLzwTableSize = 20480;
int32_t GIFDecodeLZW(const uint8_t* data, int32_t size, uint8_t* out, int32_t outSize, void* tables);
