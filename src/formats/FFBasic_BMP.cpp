// Windows device-independent bitmaps: uncompressed 8-, 16- and 24-bit files
// with the 40-byte information header, and RLE8.

#include <algorithm>
#include <cstring>

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

int32_t RowPadding(int32_t lineSize)
{
    return (4 - lineSize % 4) % 4;
}

// Decodes RLE8 into out (limit bytes, rows of `width`), first row first.
// Runs and deltas that would cross the limit are cut there and end the
// decoding; pixels that are skipped keep what out holds.
void DecodeRle8(const uint8_t* in, int32_t inSize, uint8_t* out, int32_t width, int32_t limit)
{
    int64_t pos = 0;
    int32_t i = 0;
    while (i + 1 < inSize && pos < limit) {
        const uint8_t first = in[i];
        const uint8_t second = in[i + 1];
        i += 2;
        if (first > 0) {
            const int64_t n = std::min<int64_t>(first, limit - pos);
            std::memset(out + pos, second, static_cast<size_t>(n));
            pos += first;
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
            const int32_t available = std::min(n, inSize - i);
            const int64_t copy = std::min<int64_t>(available, limit - pos);
            std::memcpy(out + pos, in + i, static_cast<size_t>(copy));
            if (available < n) return;
            pos += n;
            i += n + (n & 1);
        }
    }
}

}  // namespace

void DIBOpen_(TImgf& f, const std::string& name)
{
    Guarded("DIBOpen_", [&] {
        ImgfOpen_(f, name);
        uint8_t header[HeadersSize] = {};
        int32_t done = 0;
        FReadMax(f.Handle, header, HeadersSize, done);
        if (done < 2 || header[0] != 'B' || header[1] != 'M') ErrSet(6002);
        if (done < HeadersSize) ErrSet(5003);

        const uint32_t dataOffset = GetU32LE(header + 10);
        const uint32_t infoSize = GetU32LE(header + 14);
        const int32_t width = static_cast<int32_t>(GetU32LE(header + 18));
        const int32_t height = static_cast<int32_t>(GetU32LE(header + 22));
        const int32_t bits = GetU16LE(header + 28);
        const uint32_t compression = GetU32LE(header + 30);

        ImgfSetGeometry_(f, width, height, bits);
        if (bits == 16) f.Bits = 15;
        const bool knownDepth = bits == 8 || bits == 16 || bits == 24;
        f.Compressed = f.BytesPP == 1 && compression == BiRle8;
        // Bit fields, RLE4 and embedded JPEG/PNG would decode as garbage.
        const bool knownCompression = compression == BiRgb || f.Compressed;
        f.Supported = infoSize == InfoHeaderSize && knownDepth && knownCompression && f.ImageSize > 0;
        f.BottomUp = true;
        f.PalPos = HeadersSize;
        // The offset is unsigned; one past 2 GB lies beyond any file this
        // program opens, so its rows are missing.
        f.PalSize = static_cast<int32_t>(std::clamp<int64_t>(int64_t{dataOffset} - HeadersSize, 0, MaxPaletteSize));
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
        const int32_t padding = RowPadding(imgf.LineSize);
        if (imgf.Compressed)
            ImgfCheckCoded_(imgf, imgf.ImageSize, RleBmpExpansion);
        else
            ImgfCheckRows_(imgf, padding);

        ImgAlloc(img, imgf.Width, imgf.Height, imgf.Bits);
        if (imgf.BytesPP == 1) {
            uint8_t palette[MaxPaletteSize] = {};
            if (imgf.PalSize > 0) {
                FSeek(imgf.Handle, imgf.PalPos);
                FRead(imgf.Handle, palette, imgf.PalSize);
            }
            for (int32_t i = 0; i < PaletteEntries; ++i) std::memcpy(img.Palette[i], palette + 4 * i, 3);
        }
        ImgSetDims(img, imgf.Width, imgf.Height, imgf.Bits);

        if (imgf.Compressed) {
            GetCmpsData_(imgf);
            // Pixels the data skips stay at index 0 rather than undefined.
            std::memset(img.Data, 0, static_cast<size_t>(imgf.ImageSize));
            DecodeRle8(imgf.CmpsData, imgf.CmpsSize, img.Data, imgf.Width, imgf.ImageSize);
            MemFree(imgf.CmpsData);
            ImgFlipV(img, img);
        } else {
            Dsk2Mem_(imgf, img.Data, padding);
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
