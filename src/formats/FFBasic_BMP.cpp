// Windows and OS/2 device-independent bitmaps: every information header
// from the 12-byte OS/2 core header to the 124-byte V5 header; 1-, 4- and
// 8-bit palettes of any length, 16-, 24- and 32-bit pixels with or without
// bit fields (alpha laid over black); RLE4 and RLE8; bottom-up and top-down
// rows. The writer makes the plain 40-byte header files.

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"

namespace {

constexpr int32_t FileHeaderSize = 14;
constexpr int32_t InfoHeaderSize = 40;
constexpr int32_t HeadersSize = FileHeaderSize + InfoHeaderSize;
constexpr int32_t PaletteEntries = MaxPaletteEntries;
constexpr int32_t MaxPaletteSize = PaletteEntries * 4;
constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiRle8 = 1;
constexpr uint32_t BiRle4 = 2;
constexpr uint32_t BiBitfields = 3;
constexpr uint32_t BiAlphaBitfields = 6;
constexpr uint32_t CoreHeaderSize = 12;
constexpr uint32_t Os2HeaderSize = 64;
constexpr uint32_t V5HeaderSize = 124;
// The most the file and information headers and the masks after a 40-byte
// header take.
constexpr int32_t MaxHeadBytes = FileHeaderSize + V5HeaderSize + 16;

// What the headers say beyond the working record.
struct DibLayout {
    uint32_t Compression = BiRgb;
    int32_t FileBits = 0;  // bits per pixel in the file
    int32_t Stride = 0;    // bytes of a stored row, padded to 4
    int32_t PalEntrySize = 4;
    uint32_t Masks[4] = {};  // red, green, blue, alpha
    bool TopDown = false;
};
DibLayout dib;

int32_t RowPadding(int32_t lineSize)
{
    return (4 - lineSize % 4) % 4;
}

// One sample of a pixel by its mask, scaled to 0..255 as Pillow scales it.
uint8_t MaskSample(uint32_t pixel, uint32_t mask)
{
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const uint64_t top = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / top);
}

// True when the next code after `i` is an end of line.
bool EndOfLineAt(const uint8_t* in, int32_t inSize, int32_t i)
{
    return i + 1 < inSize && in[i] == 0 && in[i + 1] == 0;
}

// Decodes RLE8 or RLE4 (`nibbles`) into out (limit bytes, rows of `width`),
// first row first. A run or absolute run that passes the row's end just
// before an end of line is cut at the row's end: encoders pad rows so (to a
// multiple of 4 pixels). Without an end of line it runs on into the next
// row. Runs and deltas that would cross the limit are cut there and end
// the decoding; pixels that are skipped keep what out holds.
void DecodeRle(const uint8_t* in, int32_t inSize, uint8_t* out, int32_t width, int32_t limit, bool nibbles)
{
    int64_t pos = 0;
    int32_t i = 0;
    // The last run ended exactly at its row's end: pos stands at the next
    // row's start, but a run that an end of line follows is that row's padding.
    bool rowFilled = false;
    // Pixels a run may write: to the row's end when an end of line follows.
    const auto room = [&](int64_t n, int32_t next) {
        if (!EndOfLineAt(in, inSize, next)) return n;
        if (rowFilled) return int64_t{0};
        const int64_t rowEnd = (pos / width + 1) * width;
        return std::min(n, rowEnd - pos);
    };
    while (i + 1 < inSize && pos < limit) {
        const uint8_t first = in[i];
        const uint8_t second = in[i + 1];
        i += 2;
        if (first > 0) {
            const int64_t n = room(first, i);
            const int64_t write = std::min<int64_t>(n, limit - pos);
            if (nibbles) {
                for (int64_t k = 0; k < write; ++k) out[pos + k] = (k & 1) ? (second & 15) : (second >> 4);
            } else {
                std::memset(out + pos, second, static_cast<size_t>(write));
            }
            pos += n;
            rowFilled = n > 0 ? pos % width == 0 : rowFilled;
            continue;
        }
        if (second == 0) {
            // End of line; a row coded to its full width already stands at the next row.
            if (pos % width != 0) pos = (pos / width + 1) * width;
        } else if (second == 1) {
            return;
        } else if (second == 2) {
            if (i + 1 >= inSize) return;
            pos += in[i] + static_cast<int64_t>(in[i + 1]) * width;
            i += 2;
        } else {
            const int32_t n = second;
            const int32_t bytes = nibbles ? (n + 1) / 2 : n;
            const int32_t padded = bytes + (bytes & 1);
            const int32_t available = std::min(bytes, inSize - i);
            const int32_t pixels = nibbles ? std::min(n, available * 2) : available;
            const int64_t kept = room(n, i + padded);
            const int64_t write = std::min<int64_t>({static_cast<int64_t>(pixels), kept, limit - pos});
            for (int64_t k = 0; k < write; ++k)
                out[pos + k] = nibbles ? ((k & 1) ? (in[i + k / 2] & 15) : (in[i + k / 2] >> 4)) : in[i + k];
            if (available < bytes) return;
            pos += kept;
            rowFilled = kept > 0 ? pos % width == 0 : rowFilled;
            i += padded;
            continue;
        }
        rowFilled = false;
    }
}

// One stored row into the picture's row: palette indices of 1, 4 or 8 bits
// as bytes, 5-5-5 pixels as they are, everything else as blue-green-red
// (alpha laid over black).
void ConvertRow(const uint8_t* in, uint8_t* out, int32_t width, bool rawCopy)
{
    const int32_t bits = dib.FileBits;
    if (rawCopy) {
        std::memcpy(out, in, static_cast<size_t>(width) * ((bits + 7) / 8));
        return;
    }
    if (bits < 8) {
        const int32_t perByte = 8 / bits;
        const int32_t mask = (1 << bits) - 1;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t shift = 8 - bits * (x % perByte + 1);
            out[x] = static_cast<uint8_t>((in[x / perByte] >> shift) & mask);
        }
        return;
    }
    const int32_t bytes = bits / 8;
    const uint32_t* m = dib.Masks;
    for (int32_t x = 0; x < width; ++x, in += bytes, out += 3) {
        const uint32_t pixel =
            bytes == 2 ? GetU16LE(in) : (bytes == 3 ? in[0] | in[1] << 8 | in[2] << 16 : GetU32LE(in));
        const uint32_t alpha = m[3] != 0 ? MaskSample(pixel, m[3]) : 255;
        out[0] = OverBlack(MaskSample(pixel, m[2]), alpha);
        out[1] = OverBlack(MaskSample(pixel, m[1]), alpha);
        out[2] = OverBlack(MaskSample(pixel, m[0]), alpha);
    }
}

// The depth of the picture a file gives: 8 for palettes, 15 for plain 5-5-5
// pixels, 24 for the rest.
int32_t PictureBits()
{
    if (dib.FileBits <= 8) return 8;
    if (dib.FileBits == 16 && dib.Masks[0] == 0x7C00 && dib.Masks[1] == 0x03E0 && dib.Masks[2] == 0x001F &&
        dib.Masks[3] == 0)
        return 15;
    return 24;
}

}  // namespace

void DIBOpen_(TImgf& f, const std::string& name)
{
    Guarded("DIBOpen_", [&] {
        ImgfOpen_(f, name);
        dib = DibLayout{};
        uint8_t header[MaxHeadBytes] = {};
        int32_t done = 0;
        FReadMax(f.Handle, header, MaxHeadBytes, done);
        if (done < 2 || header[0] != 'B' || header[1] != 'M') ErrSet(6002);
        if (done < FileHeaderSize + 4) ErrSet(5003);

        const uint32_t dataOffset = GetU32LE(header + 10);
        const uint32_t infoSize = GetU32LE(header + 14);
        const bool core = infoSize == CoreHeaderSize;
        const bool known = core || (infoSize >= 16 && infoSize <= V5HeaderSize);
        if (done < FileHeaderSize + static_cast<int32_t>(std::min<uint32_t>(infoSize, InfoHeaderSize))) ErrSet(5003);

        int32_t width = 0, height = 0, bits = 0;
        uint32_t colours = 0;
        if (core) {
            width = GetU16LE(header + 18);
            height = static_cast<int16_t>(GetU16LE(header + 20));
            bits = GetU16LE(header + 24);
            dib.PalEntrySize = 3;
        } else {
            width = static_cast<int32_t>(GetU32LE(header + 18));
            height = static_cast<int32_t>(GetU32LE(header + 22));
            bits = GetU16LE(header + 28);
            if (infoSize >= 20) dib.Compression = GetU32LE(header + 30);
            if (infoSize >= 36) colours = GetU32LE(header + 46);
        }
        // OS/2 2.x numbers its Huffman and RLE24 codings as 3 and 4.
        const bool os2 = infoSize == Os2HeaderSize || (infoSize > CoreHeaderSize && infoSize < InfoHeaderSize);
        const uint32_t c = dib.Compression;
        const bool fields = !os2 && (c == BiBitfields || c == BiAlphaBitfields) && (bits == 16 || bits == 32);
        int32_t palPos = FileHeaderSize + static_cast<int32_t>(std::min(infoSize, V5HeaderSize));
        if (fields) {
            // A 40-byte header is followed by the masks; longer ones hold them.
            const int32_t at = FileHeaderSize + InfoHeaderSize;
            const int32_t count = c == BiAlphaBitfields || infoSize >= 56 ? 4 : 3;
            if (infoSize == InfoHeaderSize) palPos += 4 * count;
            if (done < at + 4 * count) ErrSet(5003);
            for (int32_t k = 0; k < count; ++k) dib.Masks[k] = GetU32LE(header + at + 4 * k);
        } else if (bits == 16) {
            dib.Masks[0] = 0x7C00, dib.Masks[1] = 0x03E0, dib.Masks[2] = 0x001F;
        } else if (bits == 24 || bits == 32) {
            dib.Masks[0] = 0xFF0000, dib.Masks[1] = 0xFF00, dib.Masks[2] = 0xFF;
        }

        dib.FileBits = bits;
        dib.TopDown = height < 0 && height != INT32_MIN;
        if (dib.TopDown) height = -height;
        ImgfSetGeometry_(f, width, height, bits);
        if (bits == 16) f.Bits = 15;
        const bool paletted = bits == 1 || bits == 4 || bits == 8;
        const bool knownDepth = paletted || bits == 16 || bits == 24 || bits == 32;
        f.Compressed = (c == BiRle8 && bits == 8) || (c == BiRle4 && bits == 4);
        const bool knownCompression = c == BiRgb || f.Compressed || fields;
        int32_t stride = 0;
        const bool sized = width > 0 && height > 0 &&
                           CheckedMul32((static_cast<int64_t>(width) * bits + 31) / 32, 4, stride) &&
                           PictureBytes(width, height, paletted ? 1 : 3, f.ImageSize);
        dib.Stride = stride;
        // Rows of compressed files are stored bottom-up only.
        const bool colourMasks = dib.FileBits <= 8 || (dib.Masks[0] | dib.Masks[1] | dib.Masks[2]) != 0;
        f.Supported = known && knownDepth && knownCompression && colourMasks && sized && !(f.Compressed && dib.TopDown);
        f.BottomUp = !dib.TopDown;
        f.PalPos = palPos;
        const int64_t entries = std::min<int64_t>(colours != 0 ? colours : (paletted ? 1 << bits : 0), PaletteEntries);
        // The offset is unsigned; one past 2 GB lies beyond any file this
        // program opens, so its rows are missing.
        f.PalSize = static_cast<int32_t>(
            std::clamp<int64_t>(int64_t{dataOffset} - palPos, 0, std::max<int64_t>(entries, 0) * dib.PalEntrySize));
        f.PalEntrySize = dib.PalEntrySize;
        f.DataPos = static_cast<int32_t>(std::min<uint32_t>(dataOffset, INT32_MAX));
    });
}

void DIBInfo_(const std::string& name, TFileInfo& info)
{
    Guarded("DIBInfo_", [&] {
        DIBOpen_(imgf, name);
        ImgfFillInfo_(imgf, info);
        ImgfClose_(imgf);
    });
}

void DIBLoad_(const std::string& name, Limg& img)
{
    Guarded("DIBLoad_", [&] {
        DIBOpen_(imgf, name);
        if (!imgf.Supported) ErrSet(6001);
        ImgfCheckGeometry_(imgf, 6001);
        const int32_t width = imgf.Width;
        const int32_t height = imgf.Height;
        const int32_t bits = PictureBits();
        int32_t stored = 0;
        if (!CheckedMul32(dib.Stride, height, stored)) ErrSet(6001);
        if (imgf.Compressed) {
            // A logo-sized picture is decoded whatever its data holds: rows
            // ended early by end-of-line codes fill a black background.
            if (imgf.ImageSize > RleBmpFreeBytes) ImgfCheckCoded_(imgf, imgf.ImageSize, RleBmpExpansion);
        } else {
            const int32_t rowBytes = static_cast<int32_t>((static_cast<int64_t>(width) * dib.FileBits + 7) / 8);
            const int64_t need = static_cast<int64_t>(dib.Stride) * (height - 1) + rowBytes;
            if (imgf.DataPos < 0 || imgf.DataPos + need > imgf.FileSize) ErrSet(5003);
        }

        ImgAlloc(img, width, height, bits);
        if (bits == 8) {
            uint8_t palette[MaxPaletteSize] = {};
            if (imgf.PalSize > 0) {
                FSeek(imgf.Handle, imgf.PalPos);
                FRead(imgf.Handle, palette, imgf.PalSize);
            }
            for (int32_t i = 0; i < PaletteEntries; ++i) std::memcpy(img.Palette[i], palette + dib.PalEntrySize * i, 3);
        }
        ImgSetDims(img, width, height, bits);

        if (imgf.Compressed) {
            GetCmpsData_(imgf);
            // Pixels the data skips stay at index 0 rather than undefined.
            std::memset(img.Data, 0, static_cast<size_t>(imgf.ImageSize));
            DecodeRle(imgf.CmpsData, imgf.CmpsSize, img.Data, width, imgf.ImageSize, dib.FileBits == 4);
            MemFree(imgf.CmpsData);
            ImgFlipV(img, img);
        } else {
            const bool raw = dib.FileBits == 8 || dib.FileBits == 24 || bits == 15;
            const int32_t line = width * img.BytesPP;
            std::vector<uint8_t> row(static_cast<size_t>(dib.Stride));
            for (int32_t y = 0; y < height; ++y) {
                FSeek(imgf.Handle, static_cast<int32_t>(imgf.DataPos + static_cast<int64_t>(dib.Stride) * y));
                int32_t got = 0;
                FReadMax(imgf.Handle, row.data(), dib.Stride, got);
                const int32_t target = dib.TopDown ? y : height - 1 - y;
                ConvertRow(row.data(), img.Data + static_cast<int64_t>(target) * line, width, raw);
            }
        }
        ImgfClose_(imgf);
    });
}

namespace {

// Runs inside DIBSave_'s block.
void WriteDib(const std::string& name, const Limg& img)
{
    TImgf g;
    ImgfSetGeometry_(g, img.Width, img.Height, img.BytesPP * 8);
    if (img.Data == nullptr || g.ImageSize <= 0 || g.ImageSize > img.Size || img.BytesPP < 1 || img.BytesPP > 4)
        ErrSet(6009);
    const int32_t padding = RowPadding(g.LineSize);
    const int32_t paletteSize = img.BytesPP == 1 ? MaxPaletteSize : 0;
    int32_t paddedSize = 0;
    int32_t fileSize = 0;
    if (!CheckedMul32(g.LineSize + static_cast<int64_t>(padding), g.Height, paddedSize) ||
        !CheckedMul32(static_cast<int64_t>(HeadersSize) + paletteSize + paddedSize, 1, fileSize))
        ErrSet(6009);

    uint8_t header[HeadersSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutU32LE(header + 2, static_cast<uint32_t>(fileSize));
    PutU32LE(header + 10, static_cast<uint32_t>(HeadersSize + paletteSize));
    PutU32LE(header + 14, InfoHeaderSize);
    PutU32LE(header + 18, static_cast<uint32_t>(img.Width));
    PutU32LE(header + 22, static_cast<uint32_t>(img.Height));
    PutU16LE(header + 26, 1);
    PutU16LE(header + 28, static_cast<uint16_t>(img.BytesPP * 8));
    PutU32LE(header + 30, BiRgb);
    PutU32LE(header + 34, static_cast<uint32_t>(paddedSize));
    if (img.BytesPP == 1) {
        PutU32LE(header + 46, PaletteEntries);
        PutU32LE(header + 50, PaletteEntries);
    }

    int32_t h = INVALID_HANDLE;
    FOpen(h, name, FmCreate);
    FWrite(h, header, HeadersSize);
    if (img.BytesPP == 1) {
        uint8_t palette[MaxPaletteSize] = {};
        for (int32_t i = 0; i < PaletteEntries; ++i) std::memcpy(palette + 4 * i, img.Palette[i], 3);
        FWrite(h, palette, MaxPaletteSize);
    }
    Mem2Dsk_(h, img, padding);
    FClose(h);
}

}  // namespace

void DIBSave_(const std::string& name, const Limg& img)
{
    Guarded("DIBSave_", [&] {
        // A 5-6-5 image would read back as 5-5-5 colour; BMP keeps it as 24 bits.
        if (img.Bits == 16) {
            Limg wide;
            ImgConvBit(img, wide, 24);
            WriteDib(name, wide);
            ImgFree(wide);
        } else {
            WriteDib(name, img);
        }
    });
}
