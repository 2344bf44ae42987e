#include "formats/FFBasic_TGA.h"

#include <algorithm>
#include <cstring>

#include "formats/DecodeLimits.h"

#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"

namespace {

constexpr int32_t TgaHeaderSize = 18;
constexpr int32_t TgaMaxPacket = 128;
constexpr int32_t TgaMaxField = 65535;
constexpr uint8_t TgaTopFirst = 32;
constexpr int32_t TgaPaletteEntries = MaxPaletteEntries;
constexpr int32_t TgaMaxEntrySize = 32;  // (255 + 7) div 8

// The header fields that the working record has no place for.
uint8_t tgaMapType = 0;
// 32-bit colour and 16-bit grey pixels whose descriptor gives them 8 alpha
// bits, laid over black.
bool tgaAlpha = false;
bool tgaGrey = false;  // image types 3 and 11: grey, with or without an alpha byte

constexpr uint8_t TgaTypeGrey = 3;
constexpr uint8_t TgaTypeGreyRle = 11;

// The colour map entries read: those of the file, at most 256.
int32_t PaletteEntriesRead(const TImgf& f)
{
    return std::min(f.PalSize / f.PalEntrySize, TgaPaletteEntries);
}

// Raises 6009 when the entries read lie past the end of the file.
void CheckPalette(const TImgf& f)
{
    const int32_t bytes = PaletteEntriesRead(f) * f.PalEntrySize;
    if (static_cast<int64_t>(f.PalPos) + bytes > f.FileSize) ErrSet(6009);
}

void ReadPalette(TImgf& f, Limg& img)
{
    const int32_t entries = PaletteEntriesRead(f);
    const int32_t bytes = entries * f.PalEntrySize;
    uint8_t map[TgaPaletteEntries * TgaMaxEntrySize];
    FSeek(f.Handle, f.PalPos);
    FRead(f.Handle, map, bytes);
    for (int32_t i = 0; i < entries && f.FirstPalIndex + i < TgaPaletteEntries; ++i) {
        const uint8_t* e = map + i * f.PalEntrySize;
        uint8_t* p = img.Palette[f.FirstPalIndex + i];
        if (f.PalEntrySize == 1) {
            p[0] = p[1] = p[2] = e[0];
        } else if (f.PalEntrySize == 2) {
            const uint16_t v = GetU16LE(e);
            p[0] = static_cast<uint8_t>((v & 31) << 3);
            p[1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
            p[2] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
        } else {
            p[0] = e[0];
            p[1] = e[1];
            p[2] = e[2];
        }
    }
}

}  // namespace

int32_t TGAunCmps_(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen, int32_t pixelSize)
{
    if (pixelSize < 1) return 0;
    int32_t in = 0;
    int32_t out = 0;
    while (in < srcLen && out < dstLen) {
        const uint8_t h = src[in++];
        if (h < 128) {
            int32_t n = (h + 1) * pixelSize;
            n = std::min({n, srcLen - in, dstLen - out});
            std::memcpy(dst + out, src + in, n);
            in += n;
            out += n;
            continue;
        }
        if (srcLen - in < pixelSize) break;
        const uint8_t* px = src + in;
        in += pixelSize;
        for (int32_t k = h - 127; k > 0 && dstLen - out >= pixelSize; --k, out += pixelSize)
            std::memcpy(dst + out, px, pixelSize);
        if (dstLen - out < pixelSize) break;
    }
    return out;
}

int32_t TGAdoCmps_(const uint8_t* src, int32_t pixels, int32_t pixelSize, uint8_t* dst, int32_t dstCap)
{
    int32_t out = 0;
    Guarded("TGAdoCmps_", [&] {
        int32_t raw = -1;  // offset of the open raw packet's header
        bool overflow = false;
        auto put = [&](const uint8_t* p, int32_t n) {
            if (out + n <= dstCap)
                std::memcpy(dst + out, p, n);
            else
                overflow = true;
            out += n;
        };
        auto putByte = [&](uint8_t b) { put(&b, 1); };
        auto emitRepeat = [&](const uint8_t* px, int32_t n) {
            putByte(static_cast<uint8_t>(128 + n - 1));
            put(px, pixelSize);
        };
        auto appendRaw = [&](const uint8_t* px) {
            if (raw < 0) {
                raw = out;
                putByte(255);  // becomes count − 1 with the first pixel
            }
            put(px, pixelSize);
            if (raw < dstCap) {
                ++dst[raw];
                if (dst[raw] == TgaMaxPacket - 1) raw = -1;
            }
        };
        auto pixel = [&](int32_t i) { return src + static_cast<size_t>(i) * pixelSize; };
        int32_t i = 0;
        while (i < pixels) {
            const uint8_t* cur = pixel(i++);
            int32_t rep = 1;
            bool done = false;
            while (i < pixels && std::memcmp(pixel(i), cur, pixelSize) == 0) {
                raw = -1;
                ++rep;
                ++i;
                if (rep == TgaMaxPacket) {
                    emitRepeat(cur, rep);
                    done = true;
                    break;
                }
            }
            if (done) continue;
            if (rep >= 2)
                emitRepeat(cur, rep);
            else
                appendRaw(cur);
        }
        if (overflow) out = -1;
    });
    return out;
}

void TGAOpen_(TImgf& f, const std::string& name)
{
    Guarded("TGAOpen_", [&] {
        ImgfOpen_(f, name);
        uint8_t h[TgaHeaderSize];
        FRead(f.Handle, h, TgaHeaderSize);
        const uint8_t idLength = h[0];
        tgaMapType = h[1];
        const uint8_t type = h[2];
        tgaGrey = type == TgaTypeGrey || type == TgaTypeGreyRle;
        if (type != 1 && type != 2 && type != 9 && type != 10 && !tgaGrey) ErrSet(6002);
        const int32_t width = GetU16LE(h + 12);
        const int32_t height = GetU16LE(h + 14);
        const uint8_t depth = h[16];
        ImgfSetGeometry_(f, width, height, depth);
        if (depth == 16 && !tgaGrey) f.Bits = 15;
        const bool depthKnown = tgaGrey ? depth == 8 || depth == 16
                                        : depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
        f.Supported = depthKnown && width > 0 && height > 0 && f.ImageSize > 0;
        f.Compressed = type == 9 || type == 10 || type == TgaTypeGreyRle;
        f.BottomUp = (h[17] & TgaTopFirst) == 0;
        tgaAlpha = (depth == 32 || (tgaGrey && depth == 16)) && (h[17] & 0x0F) == 8;
        f.PalEntrySize = (h[7] + 7) / 8;
        f.FirstPalIndex = GetU16LE(h + 3);
        f.PalSize = GetU16LE(h + 5) * f.PalEntrySize;
        f.PalPos = TgaHeaderSize + idLength;
        f.DataPos = f.PalPos + (tgaMapType != 0 ? f.PalSize : 0);
    });
}

void TGAInfo_(const std::string& name, TFileInfo& info)
{
    Guarded("TGAInfo_", [&] {
        TGAOpen_(imgf, name);
        ImgfFillInfo_(imgf, info);
        // A grey picture loads as 8 bits, its alpha byte laid over black or dropped.
        if (tgaGrey && imgf.Supported) {
            info.Picture.Bits = 8;
            info.Picture.BytesPP = 1;
        }
        ImgfClose_(imgf);
    });
}

void TGALoad_(const std::string& name, Limg& img)
{
    Guarded("TGALoad_", [&] {
        TGAOpen_(imgf, name);
        if (!imgf.Supported) ErrSet(6001);
        // A grey file's colour map, if any, means nothing to its pixels.
        const bool mapped = tgaMapType != 0 && imgf.PalEntrySize != 0 && !tgaGrey;
        if (mapped) CheckPalette(imgf);
        if (imgf.Compressed)
            ImgfCheckCoded_(imgf, imgf.ImageSize, RleTgaExpansion);
        else
            ImgfCheckRows_(imgf, 0);
        const int32_t w = imgf.Width, h = imgf.Height;
        const int32_t bits = tgaGrey ? 8 : imgf.Bits;
        ImgAlloc(img, w, h, bits);
        std::memset(img.Palette, 0, sizeof img.Palette);
        if (mapped) {
            ReadPalette(imgf, img);
        } else if (bits == 8) {
            for (int i = 0; i < 256; ++i)
                img.Palette[i][0] = img.Palette[i][1] = img.Palette[i][2] = static_cast<uint8_t>(i);
        }
        ImgSetDims(img, w, h, bits);
        // Grey pixels with an alpha byte are read whole, then the grey kept,
        // laid over black when the descriptor counts the byte as alpha.
        uint8_t* pixels = img.Data;
        if (imgf.BytesPP != img.BytesPP) {
            MemAlloc(pixels, imgf.ImageSize);
            MemName(pixels, "TGALoad_", "grey and alpha");
        }
        if (imgf.Compressed) {
            std::memset(pixels, 0, imgf.ImageSize);
            GetCmpsData_(imgf);
            TGAunCmps_(imgf.CmpsData, imgf.CmpsSize, pixels, imgf.ImageSize, imgf.BytesPP);
            MemFree(imgf.CmpsData);
        } else {
            // Rows are put top first here; the flip below is for both codings.
            const bool bottomUp = imgf.BottomUp;
            imgf.BottomUp = false;
            Dsk2Mem_(imgf, pixels, 0);
            imgf.BottomUp = bottomUp;
        }
        if (pixels != img.Data) {
            const int32_t n = w * h;
            for (int32_t i = 0; i < n; ++i) {
                const uint8_t* p = pixels + static_cast<size_t>(i) * imgf.BytesPP;
                img.Data[i] = tgaAlpha ? OverBlack(p[0], p[1]) : p[0];
            }
            MemFree(pixels);
        }
        if (imgf.BottomUp) ImgFlipV(img, img);
        if (tgaAlpha && !tgaGrey) ImgAlphaOverBlack_(img);
        ImgfClose_(imgf);
    });
}

void TGASave_(const std::string& name, const Limg& img)
{
    Guarded("TGASave_", [&] {
        if (img.Width < 1 || img.Height < 1 || img.Width > TgaMaxField || img.Height > TgaMaxField) ErrSet(11001);
        // 5-6-5 pixels have no TGA layout, and a fourth byte would be read as
        // alpha: both are written as 24-bit pictures.
        Limg temp;
        const Limg* src = &img;
        if (img.Bits != 8 && img.Bits != 15 && img.Bits != 24) {
            ImgConvBit(img, temp, 24);
            src = &temp;
        }
        const int32_t w = src->Width, h = src->Height, bpp = src->BytesPP;
        const int32_t line = w * bpp;
        const bool mapped = bpp == 1;
        int32_t file = INVALID_HANDLE;
        FOpen(file, name, FmCreate);
        uint8_t head[TgaHeaderSize] = {};
        head[1] = mapped ? 1 : 0;
        head[2] = mapped ? 9 : 10;
        PutU16LE(head + 5, mapped ? TgaPaletteEntries : 0);
        head[7] = mapped ? 24 : 0;
        PutU16LE(head + 12, static_cast<uint16_t>(w));
        PutU16LE(head + 14, static_cast<uint16_t>(h));
        head[16] = static_cast<uint8_t>(bpp * 8);
        FWrite(file, head, TgaHeaderSize);
        if (mapped) FWrite(file, src->Palette, sizeof src->Palette);
        uint8_t* packed = nullptr;
        MemAlloc(packed, 2 * line);
        MemName(packed, "TGAdoCmps_", "imgf.CmpsData");
        for (int32_t y = h - 1; y >= 0; --y) {
            const int32_t n = TGAdoCmps_(src->Data + static_cast<size_t>(y) * line, w, bpp, packed, 2 * line);
            if (n < 0) ErrSet(6005);
            WriteRow_(file, packed, n, 6005);
        }
        MemFree(packed);
        FClose(file);
        if (src == &temp) ImgFree(temp);
    });
}
