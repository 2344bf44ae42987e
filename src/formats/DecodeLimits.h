#pragma once
// The caps every reader applies before it allocates for a file: picture
// sizes, palette entries, chunk sizes and frame counts, and how much picture
// the bytes of a file can possibly give. A file over a cap ends with the
// reader's code for an unsupported or damaged file, never with an allocation
// it cannot fill.

#include <cstdint>

#include "foundation/Bytes.h"

// The image record's own side limits, for the formats held to them (PNM on
// reading, every writer through its save preparation).
inline constexpr int32_t MinRecordSide = 4;
inline constexpr int32_t MaxRecordSide = 4096;

// Sides the external codec library checks a header against before it sizes
// its row buffers (libpng's own default).
inline constexpr uint32_t MaxLibrarySide = 1000000;

// The image record holds 256 palette entries; longer tables are cut there.
inline constexpr int32_t MaxPaletteEntries = 256;

// GIF frame positions: 256 blocks of 256 positions.
inline constexpr int32_t MaxFramesPerFile = 65536;

// Chunks a reader holds in memory whole. Metadata chunks of PNG files (the
// palette is 768 bytes, its transparency 256) and the number of them kept.
inline constexpr int32_t MaxChunkBytes = 1 << 16;
inline constexpr int32_t MaxCachedChunks = 128;
// A stream format: a BITMAPINFOHEADER with its palette, or a WAVEFORMATEX
// with a codec's extra bytes.
inline constexpr int32_t MaxStreamFormatBytes = 1 << 20;
inline constexpr int32_t MaxWaveFormatBytes = 18 + 0xFFFF;
// Chunks that are passed over are read through a piece of this size.
inline constexpr int32_t PassOverPieceBytes = 1 << 16;

// The most picture bytes one byte of coded data can give, by coding: the
// densest code of each, so that no real file is refused. Pixels a code skips
// (a BMP delta or end of line) or no frame covers (a GIF screen) are not
// filled from the file: a picture made mostly of them is refused.
inline constexpr int32_t RleBmpExpansion = 128;  // a two-byte run of 255 pixels
inline constexpr int32_t RlePcxExpansion = 32;   // a two-byte run of 63
inline constexpr int32_t RleTgaExpansion = 128;  // a header byte and one pixel for 128 pixels
inline constexpr int32_t RleSgiExpansion = 64;   // a two-byte run of 127
inline constexpr int32_t RleSunExpansion = 86;   // a three-byte run of 256
// A code of 12 bits writes at most the 4096 bytes of the longest string.
inline constexpr int32_t LzwExpansion = (4096 * 8 + 11) / 12;
// zlib's bound: 1032 bytes out of one byte of a Deflate stream.
inline constexpr int32_t DeflateExpansion = 1032;
// A JPEG codes every 8 x 8 block of its first component with one bit at
// least: 64 pixels of three bytes.
inline constexpr int32_t JpegExpansion = 64 * 3 * 8;
// TIFF rows come in any of its codings; LZW is the densest that loads.
inline constexpr int32_t TiffExpansion = LzwExpansion;

// BMP RLE pictures up to this size (a logo is 128000 bytes) are decoded
// whatever their data holds: end-of-line and delta codes fill a background
// without any data.
inline constexpr int32_t RleBmpFreeBytes = 4 << 20;

// Pictures up to this size are decoded whatever the coded data holds: a
// damaged small file still gives its partial picture.
inline constexpr int64_t SmallPictureBytes = 1 << 16;

// width × height × bytesPP into bytes when all three are positive and the
// product fits the 32-bit size of a memory block.
inline bool PictureBytes(int64_t width, int64_t height, int64_t bytesPP, int32_t& bytes)
{
    return width > 0 && height > 0 && bytesPP > 0 && CheckedMul32(width, height, bytesPP, bytes);
}

// True when `coded` bytes of a coding of the given expansion can give
// `decoded` bytes of picture, or the picture is small.
inline bool CodedBytesSuffice(int64_t decoded, int64_t coded, int64_t expansion)
{
    return decoded >= 0 && coded >= 0 && (decoded <= SmallPictureBytes || decoded <= coded * expansion);
}
