#pragma once
// What the BMP, PCX and TGA codecs share: the working record of the file
// being read and the disk/memory helpers. Internal to the format library.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"
#include "foundation/FileIO.h"

// The working record of one open file. All sizes are in bytes.
struct TImgf {
    int32_t Handle = INVALID_HANDLE;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BytesPP = 0;
    int32_t Bits = 0;
    int32_t FileSize = 0;
    int32_t PalPos = 0;
    int32_t PalSize = 0;
    int32_t DataPos = 0;
    uint8_t* CmpsData = nullptr;  // tracked, see GetCmpsData_
    int32_t CmpsSize = 0;
    int32_t PalEntrySize = 0;
    int32_t FirstPalIndex = 0;
    int32_t LineSize = 0;   // Width × BytesPP, no padding
    int32_t ImageSize = 0;  // LineSize × Height
    bool Compressed = false;
    bool Supported = false;
    bool BottomUp = false;
};

// The record the codecs work in; one file is open at a time.
extern TImgf imgf;

inline constexpr const char* RleCompressionName = "Run Length Encoding (RLE)";

// Clears the record (handle INVALID_HANDLE, CmpsData null) without freeing.
void ImgfClear_(TImgf& f);

// Sets width, height and bits and derives bytes per pixel, line size and
// image size. When a size is not positive or does not fit in 32 bits, the
// line and image sizes are 0; ImgfCheckGeometry_ reports that.
void ImgfSetGeometry_(TImgf& f, int32_t width, int32_t height, int32_t bits);

// Raises `code` unless width and height are positive and line size and
// image size fit in 32 bits (so ImgAlloc can be given them).
void ImgfCheckGeometry_(const TImgf& f, int32_t code);

// Raises 5003 ("Cannot read from file.") unless the file holds Height rows of
// LineSize + padding bytes from DataPos on (the last row's padding may be
// missing). Call before allocating for uncompressed data.
void ImgfCheckRows_(const TImgf& f, int32_t padding);

// Raises 5003 when DataPos lies outside the file, and 6003 ("Cannot
// decompress image data.") when the coded bytes from DataPos on cannot give
// `decoded` bytes at the coding's expansion (DecodeLimits.h). Call before
// allocating for compressed data.
void ImgfCheckCoded_(const TImgf& f, int64_t decoded, int32_t expansion);

// Clears the record, opens the file for reading and sets FileSize.
void ImgfOpen_(TImgf& f, const std::string& name);
// Closes the record's file, if open, and frees CmpsData, if held.
void ImgfClose_(TImgf& f);

// Fills what the information routines report from the record: file size,
// geometry, frames 1, the RLE compression name when compressed, loadable.
void ImgfFillInfo_(const TImgf& f, TFileInfo& info);

// Reads Height uncompressed rows of LineSize bytes, each followed by
// `padding` bytes in the file, from DataPos into pixels (rows from the top;
// the first stored row goes last when BottomUp is set).
void Dsk2Mem_(TImgf& f, uint8_t* pixels, int32_t padding);

// Writes the image's rows from its last to its first, each followed by
// `padding` zero bytes.
void Mem2Dsk_(int32_t file, const Limg& img, int32_t padding);

// Writes `count` encoded bytes of one row; a failed write is reported as
// `code` instead of the file error (the PCX and TGA writers name 6005).
void WriteRow_(int32_t file, const void* data, int32_t count, int32_t code);

// Reads everything from DataPos to the end of the file into the tracked
// block f.CmpsData and sets CmpsSize. A DataPos beyond the end raises 5003.
// The caller frees it with MemFree(f.CmpsData) after decoding.
void GetCmpsData_(TImgf& f);

// Reads up to size bytes from the start of a regular file without reporting
// anything; the bytes read, 0 when it cannot be read.
int32_t ReadFileHead(const std::string& name, uint8_t* head, int32_t size);
// Raises 5001 for a pipe, device or socket, which no codec may open.
void CheckOpenable(const std::string& name);
// The damage a codec met and worked around while loading; the first note of
// a load is kept.
void ClearLoadDamage();
void NoteLoadDamage(const std::string& text);

// A colour laid over black by its alpha, rounded to the nearest value.
inline uint8_t OverBlack(uint32_t colour, uint32_t alpha)
{
    return static_cast<uint8_t>((colour * alpha + 127) / 255);
}
// Lays count pixels of `channels` samples, alpha last, over black, in
// place: each pixel keeps channels - 1 samples, packed from the start.
void AlphaOverBlack_(uint8_t* pixels, int64_t count, int32_t channels);
// Moves the first bytes of img's pixels into a record of `bits` per pixel
// sized for them, palette kept.
void ImgShrink_(Limg& img, int32_t bits);
// A 32-bit image whose fourth bytes are alpha becomes 24-bit over black.
void ImgAlphaOverBlack_(Limg& img);

// EXIF and TIFF orientations 1 to 8 (1: as stored); 5 to 8 swap width and
// height. ImgOrient_ turns and mirrors a stored picture as its orientation
// says; other values leave it as it is.
bool TurnsSides(int32_t orientation);
void ImgOrient_(Limg& img, int32_t orientation);
// The orientation an EXIF block names: of a JPEG file, or of the TIFF-ordered
// block a PNG eXIf chunk holds. 0 when there is none; a damaged block counts
// as none, so the picture loads as stored.
int32_t ExifFileOrientation_(const std::string& hostName);
int32_t ExifBlockOrientation_(const uint8_t* tiff, size_t size);

// The BMP codec (format 3).
void DIBOpen_(TImgf& f, const std::string& name);
void DIBInfo_(const std::string& name, TFileInfo& info);
void DIBLoad_(const std::string& name, Limg& img);
void DIBSave_(const std::string& name, const Limg& img);
