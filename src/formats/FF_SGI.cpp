#include "formats/FF_SGI.h"

#include <cstring>

#include "formats/DecodeLimits.h"
#include "formats/SaveVariants.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"

namespace {

constexpr uint16_t SgiMagic = 474;
constexpr int32_t SgiHeaderSize = 512;
constexpr int32_t SgiFieldsSize = 24;
constexpr int32_t SgiMaxRepeat = 126;
constexpr int32_t SgiMaxLiteral = 125;

struct TSgiFile {
    int32_t Handle = INVALID_HANDLE;
    int32_t FileSize = 0;
    bool Supported = false;
    uint16_t Magic = 0;
    uint8_t Storage = 0;
    uint8_t Bpc = 0;
    uint16_t Dimension = 0;
    int32_t XSize = 0;
    int32_t YSize = 0;
    int32_t ZSize = 0;
    int32_t MinValue = 0;
    int32_t MaxValue = 0;
};

void SGIOpen_(TSgiFile& f, const std::string& name)
{
    Guarded("SGIOpen_", [&] {
        f = TSgiFile{};
        FOpen(f.Handle, name, FmRead);
        f.FileSize = FSize(f.Handle);
        uint8_t h[SgiFieldsSize];
        FRead(f.Handle, h, SgiFieldsSize);
        f.Magic = GetU16BE(h);
        if (f.Magic != SgiMagic) ErrSet(6002);
        f.Storage = h[2];
        f.Bpc = h[3];
        f.Dimension = GetU16BE(h + 4);
        f.XSize = static_cast<int16_t>(GetU16BE(h + 6));
        f.YSize = static_cast<int16_t>(GetU16BE(h + 8));
        f.ZSize = static_cast<int16_t>(GetU16BE(h + 10));
        f.MinValue = static_cast<int32_t>(GetU32BE(h + 12));
        f.MaxValue = static_cast<int32_t>(GetU32BE(h + 16));
        // One- and two-dimensional files leave the unused sizes open.
        if (f.Dimension == 1) f.YSize = 1;
        if (f.Dimension <= 2) f.ZSize = 1;
        f.Supported =
            (f.Bpc == 1 || f.Bpc == 2) && f.Storage <= 1 && f.XSize > 0 && f.YSize > 0 && f.ZSize >= 1 && f.ZSize <= 4;
    });
}

// Pixel k of the row from the channel planes: grey from plane 0 (a second
// alpha plane is dropped), colour as blue, green, red (alpha dropped).
void PlaceRow(const uint8_t* planes, int32_t width, int32_t channels, uint8_t* out)
{
    if (channels <= 2) {
        std::memcpy(out, planes, width);
        return;
    }
    const uint8_t* r = planes;
    const uint8_t* g = planes + width;
    const uint8_t* b = planes + 2 * width;
    for (int32_t k = 0; k < width; ++k) {
        out[3 * k] = b[k];
        out[3 * k + 1] = g[k];
        out[3 * k + 2] = r[k];
    }
}

}  // namespace

int32_t SGIunCmpsRow(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen)
{
    int32_t in = 0;
    int32_t out = 0;
    while (in < srcLen && out < dstLen) {
        const uint8_t c = src[in++];
        int32_t n = c & 127;
        if (n == 0) break;
        if (c & 128) {
            if (n > srcLen - in) n = srcLen - in;
            if (n > dstLen - out) n = dstLen - out;
            std::memcpy(dst + out, src + in, n);
            in += n;
        } else {
            if (in >= srcLen) break;
            const uint8_t v = src[in++];
            if (n > dstLen - out) n = dstLen - out;
            std::memset(dst + out, v, n);
        }
        out += n;
    }
    return out;
}

int32_t SGIunCmpsRow16(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen)
{
    const int32_t words = srcLen / 2;
    int32_t in = 0;
    int32_t out = 0;
    auto word = [&](int32_t i) { return static_cast<uint16_t>(src[2 * i] << 8 | src[2 * i + 1]); };
    while (in < words && out < dstLen) {
        const uint16_t c = word(in++);
        int32_t n = c & 127;
        if (n == 0) break;
        if (n > dstLen - out) n = dstLen - out;
        if (c & 128) {
            if (n > words - in) n = words - in;
            for (int32_t k = 0; k < n; ++k) dst[out + k] = src[2 * (in + k)];
            in += n;
        } else {
            if (in >= words) break;
            std::memset(dst + out, src[2 * in], n);
            ++in;
        }
        out += n;
    }
    return out;
}

int32_t SGIdoCmpsRow(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstCap)
{
    int32_t out = 0;
    int32_t literal = -1;  // offset of the open literal packet's count byte
    bool overflow = false;
    auto put = [&](uint8_t b) {
        if (out < dstCap)
            dst[out] = b;
        else
            overflow = true;
        ++out;
    };
    auto emitRepeat = [&](uint8_t v, int32_t n) {
        put(static_cast<uint8_t>(n));
        put(v);
    };
    auto appendLiteral = [&](uint8_t v) {
        if (literal < 0) {
            literal = out;
            put(128);
        }
        put(v);
        if (literal < dstCap) {
            ++dst[literal];
            if ((dst[literal] & 127) == SgiMaxLiteral) literal = -1;
        }
    };
    int32_t i = 0;
    while (i < srcLen) {
        uint8_t cur = src[i++];
        int32_t rep = 1;
        bool open = true;
        while (i < srcLen && src[i] == cur) {
            literal = -1;
            ++rep;
            ++i;
            if (rep == SgiMaxRepeat) {
                emitRepeat(cur, rep);
                open = false;
                break;
            }
        }
        if (!open) continue;
        if (rep >= 2)
            emitRepeat(cur, rep);
        else
            appendLiteral(cur);
    }
    put(0);
    return overflow ? -1 : out;
}

void SGIInfo(const std::string& name, TFileInfo& info)
{
    Guarded("SGIInfo", [&] {
        TSgiFile f;
        SGIOpen_(f, name);
        info.FileSize = f.FileSize;
        info.Picture.Width = f.XSize;
        info.Picture.Height = f.YSize;
        info.Picture.BytesPP = f.ZSize;
        info.Picture.Bits = f.ZSize * f.Bpc * 8;
        info.Picture.Frames = 1;
        if (f.Storage == 1) info.Picture.Compression = "Run Length Encoding (RLE)";
        info.Picture.Loadable = f.Supported;
        FClose(f.Handle);
    });
}

void SGILoad(const std::string& name, Limg& img)
{
    Guarded("SGILoad", [&] {
        TSgiFile f;
        SGIOpen_(f, name);
        if (!f.Supported) ErrSet(6001);
        const int32_t x = f.XSize, y = f.YSize, z = f.ZSize;
        const int32_t bits = z <= 2 ? 8 : 24;
        int32_t pixelBytes = 0, planesBytes = 0;
        if (!PictureBytes(x, y, bits / 8, pixelBytes) || !PictureBytes(x, y, z, planesBytes)) ErrSet(6001);
        // Two bytes a channel are big-endian samples; their high byte is kept.
        const int32_t bpc = f.Bpc;
        const int64_t planeBytes = static_cast<int64_t>(x) * y * bpc;
        if (f.Storage == 0) {
            if (SgiHeaderSize + planeBytes * z > f.FileSize) ErrSet(5003);
        } else {
            const int64_t tables = SgiHeaderSize + static_cast<int64_t>(y) * z * 8;
            if (tables > f.FileSize) ErrSet(6009);
            if (!CodedBytesSuffice(planesBytes, f.FileSize - tables, RleSgiExpansion)) ErrSet(6003);
        }
        uint8_t* file = nullptr;
        MemAlloc(file, f.FileSize);
        MemName(file, "SGILoad", "file");
        FSeek(f.Handle, 0);
        FRead(f.Handle, file, f.FileSize);
        ImgAlloc(img, x, y, bits);
        uint8_t* row = nullptr;
        MemAlloc(row, x * z);
        MemName(row, "SGILoad", "row");
        const uint8_t* starts = file + SgiHeaderSize;
        const uint8_t* lengths = starts + static_cast<size_t>(y) * z * 4;
        for (int32_t j = 0; j < y; ++j) {
            for (int32_t i = 0; i < z; ++i) {
                uint8_t* plane = row + static_cast<size_t>(i) * x;
                if (f.Storage == 0) {
                    const uint8_t* stored = file + SgiHeaderSize + i * planeBytes + static_cast<int64_t>(j) * x * bpc;
                    for (int32_t k = 0; k < x; ++k) plane[k] = stored[k * bpc];
                    continue;
                }
                // Rows are found by the start and length tables, in any
                // order; a row outside the file stays empty.
                std::memset(plane, 0, x);
                const size_t entry = (static_cast<size_t>(i) * y + j) * 4;
                const uint32_t start = GetU32BE(starts + entry);
                uint32_t length = GetU32BE(lengths + entry);
                if (start >= static_cast<uint32_t>(f.FileSize)) continue;
                const uint32_t left = static_cast<uint32_t>(f.FileSize) - start;
                if (length == 0 || length > left) length = left;
                if (bpc == 1)
                    SGIunCmpsRow(file + start, static_cast<int32_t>(length), plane, x);
                else
                    SGIunCmpsRow16(file + start, static_cast<int32_t>(length), plane, x);
            }
            PlaceRow(row, x, z, img.Data + static_cast<size_t>(y - 1 - j) * x * (bits / 8));
        }
        MemFree(row);
        MemFree(file);
        ImgSetDims(img, x, y, bits);
        if (bits == 8)
            for (int i = 0; i < 256; ++i)
                img.Palette[i][0] = img.Palette[i][1] = img.Palette[i][2] = static_cast<uint8_t>(i);
        FClose(f.Handle);
    });
}

void SGISave(const std::string& name, const Limg& img)
{
    Guarded("SGISave", [&] {
        TSaveCtx ctx;
        // Prepared before the old file is deleted, so a refused image keeps it.
        SavePrepare(FmtRGB, ctx, img);
        const Limg& src = *ctx.Img;
        const int32_t w = src.Width, h = src.Height;
        const int32_t channels = NameHasExtension(name, ".bw") ? 1 : 3;
        FDelete(name);
        int32_t file = INVALID_HANDLE;
        FOpen(file, name, FmCreate);
        uint8_t head[SgiHeaderSize] = {};
        PutU16BE(head, SgiMagic);
        head[2] = 1;
        head[3] = 1;
        PutU16BE(head + 4, channels == 1 ? 2 : 3);
        PutU16BE(head + 6, static_cast<uint16_t>(w));
        PutU16BE(head + 8, static_cast<uint16_t>(h));
        PutU16BE(head + 10, static_cast<uint16_t>(channels));
        PutU32BE(head + 16, 255);
        FWrite(file, head, SgiHeaderSize);
        const int32_t tableBytes = channels * h * 4;
        int32_t pos = SgiHeaderSize + 2 * tableBytes;
        FSeek(file, pos);
        uint8_t* starts = nullptr;
        uint8_t* lengths = nullptr;
        uint8_t* line = nullptr;
        uint8_t* packed = nullptr;
        MemAlloc(starts, tableBytes);
        MemName(starts, "SGISave", "starts");
        MemAlloc(lengths, tableBytes);
        MemName(lengths, "SGISave", "lengths");
        MemAlloc(line, w);
        MemName(line, "SGISave", "line");
        const int32_t packedCap = 2 * w + 2;
        MemAlloc(packed, packedCap);
        MemName(packed, "SGISave", "packed");
        for (int32_t i = 0; i < channels; ++i) {
            const int32_t byte = 2 - i;  // red is the pixels' third byte
            for (int32_t r = h - 1, j = 0; r >= 0; --r, ++j) {
                const uint8_t* px = src.Data + static_cast<size_t>(r) * w * 3;
                if (channels == 1)
                    GreyRow(src, r, line);
                else
                    for (int32_t k = 0; k < w; ++k) line[k] = px[3 * k + byte];
                const int32_t n = SGIdoCmpsRow(line, w, packed, packedCap);
                if (n < 0) ErrSet(6005);
                PutU32BE(starts + (i * h + j) * 4, static_cast<uint32_t>(pos));
                PutU32BE(lengths + (i * h + j) * 4, static_cast<uint32_t>(n));
                FWrite(file, packed, n);
                pos += n;
            }
        }
        FSeek(file, SgiHeaderSize);
        FWrite(file, starts, tableBytes);
        FWrite(file, lengths, tableBytes);
        MemFree(packed);
        MemFree(line);
        MemFree(lengths);
        MemFree(starts);
        FClose(file);
        SaveRelease(ctx);
    });
}
