#include "formats/FFBasic_PCX.h"

#include <cstring>

#include "formats/DecodeLimits.h"
#include "formats/SaveVariants.h"

#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"

namespace {

constexpr int32_t PcxHeaderSize = 128;
constexpr uint8_t PcxManufacturer = 10;
constexpr uint8_t PcxPaletteMarker = 12;
constexpr int32_t PcxPaletteBytes = 768;
constexpr uint8_t PcxRunFlag = 192;
constexpr int32_t PcxMaxRun = 63;
constexpr int32_t PcxMaxField = 65535;
// Per-plane line lengths beyond the width by more than this are not trusted.
constexpr int32_t PcxMaxLinePadding = 8;
constexpr int32_t PcxHeaderPaletteAt = 16;
constexpr int32_t PcxHeaderPaletteEntries = 16;
// The resolution this writer gives, in dots per inch. Earlier versions put
// the picture's size there, which tells their files apart (RowLayout).
constexpr uint16_t PcxWrittenDpi = 72;

// A multi-page DCX file: its magic, then up to 1023 page offsets ended by 0.
constexpr uint32_t DcxMagic = 0x3ADE68B1u;
constexpr int32_t DcxTableEntries = 1024;
constexpr int32_t DcxHeaderSize = 4 + 4 * DcxTableEntries;

// Header fields that the working record has no place for.
struct TPcxExtra {
    int32_t Planes = 0;
    int32_t BitsPerPlane = 0;
    int32_t BytesPerLine = 0;
    int32_t HRes = 0;
    int32_t VRes = 0;
    int32_t PageEnd = 0;  // the end of the page's bytes: the file's, or the next DCX page's start
    uint8_t HeaderPalette[3 * PcxHeaderPaletteEntries] = {};
};
TPcxExtra pcxExtra;

// Bits a pixel has in a row of the given layout: the planes' bits together.
int32_t PixelBits(const TPcxExtra& x)
{
    return x.Planes * x.BitsPerPlane;
}

// The layouts read: 8 bits in 1 or 3 planes, 1 bit in 1 to 4 planes, 2 or
// 4 bits in 1 plane.
bool KnownLayout(int32_t bitsPerPlane, int32_t planes)
{
    if (bitsPerPlane == 8) return planes == 1 || planes == 3;
    if (bitsPerPlane == 1) return planes >= 1 && planes <= 4;
    return (bitsPerPlane == 2 || bitsPerPlane == 4) && planes == 1;
}

// Where the planes of a row lie in the decoded stream.
struct TPcxLayout {
    int32_t RowBytes = 0;    // one row of all planes, padding included
    int32_t PlaneStart = 0;  // distance between the starts of two planes
};

TPcxLayout RowLayout(int32_t width, int32_t height, int32_t planes, const TPcxExtra& x)
{
    if (x.BitsPerPlane < 8) {
        // Packed bits: a plane line holds at least the row's bits.
        const int32_t least = (width * x.BitsPerPlane + 7) / 8;
        int32_t line = least + (least & 1);
        if (x.BytesPerLine >= least && x.BytesPerLine - least <= PcxMaxLinePadding) line = x.BytesPerLine;
        return {line * planes, line};
    }
    const int32_t even = width + (width & 1);
    // This program's own files of odd width keep the planes at multiples of
    // the width and pad the row once per plane after all planes; they are
    // told by the resolution fields, which it sets to the picture size.
    if (planes > 1 && (width & 1) && x.BytesPerLine == even && x.HRes == width && x.VRes == height)
        return {even * planes, width};
    // Standard files: each plane is one line of "bytes per line" bytes.
    int32_t line = even;
    if (x.BytesPerLine >= width && x.BytesPerLine - width <= PcxMaxLinePadding) line = x.BytesPerLine;
    return {line * planes, line};
}

void PCX24Fix_(const uint8_t* rows, const TPcxLayout& layout, Limg& img)
{
    Guarded("PCX24Fix_", [&] {
        const int32_t w = img.Width;
        for (int32_t y = 0; y < img.Height; ++y) {
            const uint8_t* r = rows + static_cast<size_t>(y) * layout.RowBytes;
            const uint8_t* g = r + layout.PlaneStart;
            const uint8_t* b = g + layout.PlaneStart;
            uint8_t* d = img.Data + static_cast<size_t>(y) * w * 3;
            for (int32_t k = 0; k < w; ++k) {
                d[3 * k] = b[k];
                d[3 * k + 1] = g[k];
                d[3 * k + 2] = r[k];
            }
        }
    });
}

// Rows of fewer than 8 bits a pixel to palette indices: bit k of a pixel's
// index comes from plane k; within a plane line the first pixel is in the
// high bits of its byte.
void PCXUnpackBits_(const uint8_t* rows, const TPcxLayout& layout, const TPcxExtra& x, Limg& img)
{
    const int32_t bits = x.BitsPerPlane;
    const int32_t perByte = 8 / bits;
    const int32_t mask = (1 << bits) - 1;
    for (int32_t y = 0; y < img.Height; ++y) {
        const uint8_t* row = rows + static_cast<size_t>(y) * layout.RowBytes;
        uint8_t* d = img.Data + static_cast<size_t>(y) * img.Width;
        for (int32_t k = 0; k < img.Width; ++k) {
            const int32_t shift = 8 - bits * (k % perByte + 1);
            int32_t index = 0;
            for (int32_t p = 0; p < x.Planes; ++p)
                index |= ((row[p * layout.PlaneStart + k / perByte] >> shift) & mask) << (p * bits);
            d[k] = static_cast<uint8_t>(index);
        }
    }
}

// The palette of pictures of fewer than 8 bits a pixel: black and white for
// one bit in one plane, else the 16 entries of the header.
void SmallPalette(const TPcxExtra& x, Limg& img)
{
    std::memset(img.Palette, 0, sizeof img.Palette);
    if (PixelBits(x) == 1) {
        std::memset(img.Palette[1], 255, 3);
        return;
    }
    for (int i = 0; i < PcxHeaderPaletteEntries; ++i) {
        img.Palette[i][0] = x.HeaderPalette[3 * i + 2];
        img.Palette[i][1] = x.HeaderPalette[3 * i + 1];
        img.Palette[i][2] = x.HeaderPalette[3 * i];
    }
}

}  // namespace

int32_t PCXunCmps_(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen)
{
    int32_t out = 0;
    Guarded("PCXunCmps_", [&] {
        int32_t in = 0;
        while (in < srcLen && out < dstLen) {
            const uint8_t c = src[in++];
            if (c < PcxRunFlag) {
                dst[out++] = c;
                continue;
            }
            if (in >= srcLen) break;
            const uint8_t v = src[in++];
            int32_t n = c - PcxRunFlag;
            if (n > dstLen - out) n = dstLen - out;
            std::memset(dst + out, v, n);
            out += n;
        }
    });
    return out;
}

int32_t PCXdoCmps_(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstCap)
{
    int32_t out = 0;
    bool overflow = false;
    auto put = [&](uint8_t b) {
        if (out < dstCap)
            dst[out] = b;
        else
            overflow = true;
        ++out;
    };
    auto emit = [&](uint8_t v, int32_t run) {
        if (run == 1 && v < PcxRunFlag) {
            put(v);
        } else {
            put(static_cast<uint8_t>(PcxRunFlag + run));
            put(v);
        }
    };
    if (srcLen <= 0) return 0;
    uint8_t cur = src[0];
    int32_t run = 1;
    for (int32_t i = 1; i < srcLen; ++i) {
        if (src[i] == cur && run < PcxMaxRun) {
            ++run;
            continue;
        }
        emit(cur, run);
        cur = src[i];
        run = 1;
    }
    emit(cur, run);
    return overflow ? -1 : out;
}

void PCXOpen_(TImgf& f, const std::string& name)
{
    Guarded("PCXOpen_", [&] {
        ImgfOpen_(f, name);
        pcxExtra = TPcxExtra{};
        pcxExtra.PageEnd = f.FileSize;
        // A DCX file is read from its first page, up to the second.
        int32_t base = 0;
        uint8_t magic[4] = {};
        FReadMax(f.Handle, magic, 4, base);
        if (base == 4 && GetU32LE(magic) == DcxMagic) {
            uint8_t table[8] = {};
            FRead(f.Handle, table, 8);
            const uint32_t first = GetU32LE(table), second = GetU32LE(table + 4);
            if (first < 8 || static_cast<int64_t>(first) + PcxHeaderSize > f.FileSize) ErrSet(6009);
            if (second > first && second <= static_cast<uint32_t>(f.FileSize))
                pcxExtra.PageEnd = static_cast<int32_t>(second);
            base = static_cast<int32_t>(first);
        } else {
            base = 0;
        }
        FSeek(f.Handle, base);
        uint8_t h[PcxHeaderSize];
        FRead(f.Handle, h, PcxHeaderSize);
        if (h[0] != PcxManufacturer) ErrSet(6002);
        const uint8_t encoding = h[2];
        const int32_t width = static_cast<int32_t>(GetU16LE(h + 8)) - GetU16LE(h + 4) + 1;
        const int32_t height = static_cast<int32_t>(GetU16LE(h + 10)) - GetU16LE(h + 6) + 1;
        pcxExtra.BitsPerPlane = h[3];
        pcxExtra.Planes = h[65];
        pcxExtra.BytesPerLine = GetU16LE(h + 66);
        pcxExtra.HRes = GetU16LE(h + 12);
        pcxExtra.VRes = GetU16LE(h + 14);
        std::memcpy(pcxExtra.HeaderPalette, h + PcxHeaderPaletteAt, sizeof pcxExtra.HeaderPalette);
        // Two 8-bit planes would be 16-bit pixels of no known layout, and no
        // planes no picture: neither is taken as supported.
        const bool known = KnownLayout(pcxExtra.BitsPerPlane, pcxExtra.Planes);
        ImgfSetGeometry_(f, width, height, known ? PixelBits(pcxExtra) : pcxExtra.Planes * 8);
        f.Supported = encoding == 1 && known && width > 0 && height > 0 && f.ImageSize > 0;
        f.Compressed = true;
        f.PalSize = PcxPaletteBytes;
        f.DataPos = base + PcxHeaderSize;
    });
}

void PCXInfo_(const std::string& name, TFileInfo& info)
{
    Guarded("PCXInfo_", [&] {
        PCXOpen_(imgf, name);
        ImgfFillInfo_(imgf, info);
        info.Picture.Compression = RleCompressionName;
        ImgfClose_(imgf);
    });
}

void PCXLoad_(const std::string& name, Limg& img)
{
    Guarded("PCXLoad_", [&] {
        PCXOpen_(imgf, name);
        if (!imgf.Supported) ErrSet(6001);
        const int32_t w = imgf.Width, h = imgf.Height;
        const int32_t bits = imgf.Bits < 8 ? 8 : imgf.Bits;
        const TPcxLayout layout = RowLayout(w, h, pcxExtra.Planes, pcxExtra);
        int32_t limit = 0;
        if (!PictureBytes(layout.RowBytes, h, 1, limit)) ErrSet(6001);
        ImgfCheckCoded_(imgf, limit, RlePcxExpansion);
        ImgAlloc(img, w, h, bits);
        GetCmpsData_(imgf);
        int32_t dataLen = pcxExtra.PageEnd - imgf.DataPos;
        if (dataLen < 0 || dataLen > imgf.CmpsSize) dataLen = imgf.CmpsSize;
        if (imgf.Bits < 8) {
            SmallPalette(pcxExtra, img);
        } else if (bits == 8) {
            // The palette follows its marker at the end; files without one
            // are grey pictures.
            const int32_t tail = PcxPaletteBytes + 1;
            if (dataLen >= tail && imgf.CmpsData[dataLen - tail] == PcxPaletteMarker) {
                const uint8_t* pal = imgf.CmpsData + dataLen - PcxPaletteBytes;
                for (int i = 0; i < MaxPaletteEntries; ++i) {
                    img.Palette[i][0] = pal[3 * i + 2];
                    img.Palette[i][1] = pal[3 * i + 1];
                    img.Palette[i][2] = pal[3 * i];
                }
                dataLen -= tail;
            } else {
                for (int i = 0; i < 256; ++i)
                    img.Palette[i][0] = img.Palette[i][1] = img.Palette[i][2] = static_cast<uint8_t>(i);
            }
        }
        uint8_t* rows = nullptr;
        MemAlloc(rows, limit);
        MemName(rows, "PCXLoad_", "rows");
        std::memset(rows, 0, limit);
        PCXunCmps_(imgf.CmpsData, dataLen, rows, limit);
        MemFree(imgf.CmpsData);
        if (imgf.Bits < 8) {
            PCXUnpackBits_(rows, layout, pcxExtra, img);
        } else if (bits == 8) {
            for (int32_t y = 0; y < h; ++y)
                std::memcpy(img.Data + static_cast<size_t>(y) * w, rows + static_cast<size_t>(y) * layout.RowBytes, w);
        } else {
            PCX24Fix_(rows, layout, img);
        }
        MemFree(rows);
        ImgSetDims(img, w, h, bits);
        ImgfClose_(imgf);
    });
}

void PCXSave_(const std::string& name, const Limg& img)
{
    Guarded("PCXSave_", [&] {
        if (img.Width < 1 || img.Height < 1 || img.Width > PcxMaxField - 1 || img.Height > PcxMaxField + 1)
            ErrSet(11001);
        // Only palette and 24-bit pictures have a PCX layout here.
        Limg temp;
        const Limg* src = &img;
        if (img.Bits != 8 && img.Bits != 24) {
            ImgConvBit(img, temp, 24);
            src = &temp;
        }
        const int32_t w = src->Width, h = src->Height, bpp = src->BytesPP;
        const int32_t line = w * bpp;
        FDelete(name);
        int32_t file = INVALID_HANDLE;
        FOpen(file, name, FmCreate);
        if (NameHasExtension(name, ".dcx")) {
            // A DCX file of one page, which follows the offset table.
            uint8_t table[DcxHeaderSize] = {};
            PutU32LE(table, DcxMagic);
            PutU32LE(table + 4, DcxHeaderSize);
            FWrite(file, table, DcxHeaderSize);
        }
        uint8_t head[PcxHeaderSize] = {};
        head[0] = PcxManufacturer;
        head[1] = 5;
        head[2] = 1;
        head[3] = 8;
        PutU16LE(head + 8, static_cast<uint16_t>(w - 1));
        PutU16LE(head + 10, static_cast<uint16_t>(h - 1));
        PutU16LE(head + 12, PcxWrittenDpi);
        PutU16LE(head + 14, PcxWrittenDpi);
        head[65] = static_cast<uint8_t>(bpp);
        PutU16LE(head + 66, static_cast<uint16_t>(w + (w & 1)));
        FWrite(file, head, PcxHeaderSize);
        uint8_t* packed = nullptr;
        MemAlloc(packed, 2 * line);
        MemName(packed, "PCXSave_", "imgf.CmpsData");
        uint8_t* planesLine = nullptr;
        if (bpp == 3) {
            MemAlloc(planesLine, line);
            MemName(planesLine, "PCXSave", "tmplin");
        }
        // Each plane's line is padded to an even length, as the format
        // requires; the padding byte is written after the plane's code.
        const uint8_t pad = 0;
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* px = src->Data + static_cast<size_t>(y) * line;
            const uint8_t* row = px;
            if (bpp == 3) {
                for (int32_t k = 0; k < w; ++k) {
                    planesLine[k] = px[3 * k + 2];
                    planesLine[w + k] = px[3 * k + 1];
                    planesLine[2 * w + k] = px[3 * k];
                }
                row = planesLine;
            }
            for (int32_t p = 0; p < bpp; ++p) {
                const int32_t n = PCXdoCmps_(row + static_cast<size_t>(p) * w, w, packed, 2 * line);
                if (n < 0) ErrSet(6005);
                WriteRow_(file, packed, n, 6005);
                if (w & 1) WriteRow_(file, &pad, 1, 6005);
            }
        }
        if (planesLine != nullptr) MemFree(planesLine);
        MemFree(packed);
        if (bpp == 1) {
            uint8_t pal[PcxPaletteBytes + 1];
            pal[0] = PcxPaletteMarker;
            for (int i = 0; i < 256; ++i) {
                pal[1 + 3 * i] = src->Palette[i][2];
                pal[2 + 3 * i] = src->Palette[i][1];
                pal[3 + 3 * i] = src->Palette[i][0];
            }
            FWrite(file, pal, PcxPaletteBytes + 1);
        }
        FClose(file);
        if (src == &temp) ImgFree(temp);
    });
}
