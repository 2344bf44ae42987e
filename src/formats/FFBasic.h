#pragma once
// The front door of the format library: format tables and lookup by
// extension, the load/save/information entry points, and the dialog filters.

#include <cstdint>
#include <string>

#include "image/ImgBasic.h"

enum FormatId : uint32_t {
    FmtNone = 0,
    FmtTGA = 1,
    FmtPCX = 2,
    FmtBMP = 3,
    FmtGIF = 4,
    FmtFLIC = 5,
    FmtAVI = 6,
    FmtHAV = 7,
    FmtJPEG = 8,
    FmtPNG = 9,
    FmtTIFF = 10,
    FmtMPEG = 11,
    FmtWAV = 12,
    FmtRGB = 13,
    FmtRAS = 14,
    FmtPNM = 15,
    FmtWEBP = 16,
    FmtHEIF = 17,
    FmtAVIF = 18,
};
inline constexpr uint32_t FormatCount = 18;
// The formats the dialog filters sort among themselves; later ones follow
// them in table order.
inline constexpr uint32_t SortedFilterFormats = 15;

// Capability flags of a format row.
inline constexpr int32_t FfStill = 1;
inline constexpr int32_t FfMoving = 2;
inline constexpr int32_t FfSoundOnly = 4;
inline constexpr int32_t FfPictures = 8;
inline constexpr int32_t FfSound = 16;

struct TPictureInfo {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BytesPP = 0;
    int32_t Bits = 0;  // 15 for 5-5-5 colour
    int32_t Frames = 0;
    double FramesPerSec = 0;
    std::string Compression;
    bool Loadable = false;
    // The EXIF or TIFF orientation (1 to 8) the picture is turned by on
    // loading, Width and Height being the turned ones; 0 when the file has none.
    int32_t Orientation = 0;
};

struct TSoundInfo {
    int32_t Size = 0;  // sound data in bytes, as PCM
    int32_t SamplesPerSec = 0;
    int32_t Channels = 0;
    int32_t BitsPerSample = 0;
    uint8_t PcmFormat[18] = {};  // WAVEFORMATEX layout
    std::string Compression;
    bool Present = false;
};

// What FFInfo tells of a file.
struct TFileInfo {
    uint32_t Format = 0;
    int32_t FileSize = 0;
    TPictureInfo Picture;
    TSoundInfo Sound;
};

// What UniInfo tells the application, numbered sequences included.
struct TUniInfo {
    uint32_t Format = 0;
    int32_t Kind = 0;  // 0 none, 1 picture, 2 picture series, 3 moving pictures, 4 sound
    std::string FileName;
    int32_t TotalSize = 0;
    TPictureInfo Picture;
    TSoundInfo Sound;
    std::string SeqPrefix;
    std::string SeqSuffix;
    int32_t SeqFirst = 0;
    int32_t SeqCount = 0;
    int32_t SeqDigits = 0;
};

// The identifier of a file name's format, INVALID_HANDLE when none matches.
uint32_t FormatOf(const std::string& name);
// The short name of a format identifier ("BMP"), empty for none.
std::string FormatShortName(uint32_t id);

// The format a file is read as: its name's, unless the file carries another
// format's signature and not that one's (a PNG named .jpg). A file that
// cannot be read, or matches no signature, keeps its name's format.
uint32_t FormatOfFile(const std::string& name);

// Why a file is no picture at all, as a message naming it `shown`: missing,
// a folder, a pipe or device, empty, an SVG drawing, a sound file. Empty
// when it may be a picture.
std::string NotAPicture(const std::string& name, const std::string& shown);

void ImgLoad(const std::string& name, Limg& img);
// The damage the last ImgLoad met and worked around (a picture whose data
// ends early comes back partly filled): empty when the file was whole.
const std::string& LoadDamage();
void ImgSave(const std::string& name, const Limg& img);
void FFInfo(const std::string& name, TFileInfo& info);
bool UniInfo(const std::string& name, TUniInfo& info, bool sequences);

std::string OpenFilter(int32_t mask, int32_t options);
std::string SaveFilter(int32_t mask, int32_t options);

// Save preparation: the image to write at the format's save depth.
struct TSaveCtx {
    const Limg* Img = nullptr;
    Limg Temp;
    bool OwnsTemp = false;
};
void SavePrepare(uint32_t id, TSaveCtx& ctx, const Limg& img);
void SaveRelease(TSaveCtx& ctx);
