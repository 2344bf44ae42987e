#include "formats/FF_SUN.h"

#include <cstring>

#include "formats/DecodeLimits.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"

namespace {

constexpr uint32_t SunMagic = 0x59A66A95u;
constexpr int32_t SunHeaderSize = 32;
constexpr uint32_t SunTypeStandard = 1;
constexpr uint32_t SunTypeEncoded = 2;
constexpr uint32_t SunTypeRgb = 3;
constexpr uint32_t SunMaxType = 5;
constexpr uint8_t SunEscape = 128;
constexpr int32_t SunMaxRepeat = 255;
constexpr int32_t SunPaletteBytes = 768;

struct TSunFile {
    int32_t Handle = INVALID_HANDLE;
    int32_t FileSize = 0;
    bool Supported = false;
    uint32_t Magic = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t Depth = 0;
    uint32_t Length = 0;
    uint32_t Type = 0;
    uint32_t MapType = 0;
    uint32_t MapLength = 0;
};

void SUNOpen_(TSunFile& f, const std::string& name)
{
    Guarded("SUNOpen_", [&] {
        f = TSunFile{};
        FOpen(f.Handle, name, FmRead);
        f.FileSize = FSize(f.Handle);
        uint8_t h[SunHeaderSize];
        FRead(f.Handle, h, SunHeaderSize);
        f.Magic = GetU32BE(h);
        if (f.Magic != SunMagic) ErrSet(6002);
        f.Width = GetU32BE(h + 4);
        f.Height = GetU32BE(h + 8);
        f.Depth = GetU32BE(h + 12);
        f.Length = GetU32BE(h + 16);
        f.Type = GetU32BE(h + 20);
        f.MapType = GetU32BE(h + 24);
        f.MapLength = GetU32BE(h + 28);
        f.Supported = f.Type <= SunMaxType && (f.Depth == 8 || f.Depth == 24 || f.Depth == 32) && f.Width > 0 &&
                      f.Height > 0 && f.Width <= INT32_MAX && f.Height <= INT32_MAX;
    });
}

}  // namespace

int32_t SUNunCmps(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen)
{
    int32_t in = 0;
    int32_t out = 0;
    while (in < srcLen && out < dstLen) {
        const uint8_t c = src[in++];
        if (c != SunEscape) {
            dst[out++] = c;
            continue;
        }
        if (in >= srcLen) break;
        const uint8_t n = src[in++];
        if (n == 0) {
            dst[out++] = SunEscape;
            continue;
        }
        if (in >= srcLen) break;
        const uint8_t v = src[in++];
        int32_t count = n + 1;
        if (count > dstLen - out) count = dstLen - out;
        std::memset(dst + out, v, count);
        out += count;
    }
    return out;
}

int32_t SUNdoCmpsRow(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstCap)
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
    auto emit = [&](uint8_t v, int32_t further) {
        if (further == 0) {
            put(v);
            if (v == SunEscape) put(0);
        } else {
            put(SunEscape);
            put(static_cast<uint8_t>(further));
            put(v);
        }
    };
    if (srcLen <= 0) return 0;
    uint8_t cur = src[0];
    int32_t further = 0;
    for (int32_t i = 1; i < srcLen; ++i) {
        if (src[i] == cur && further < SunMaxRepeat) {
            ++further;
            continue;
        }
        emit(cur, further);
        cur = src[i];
        further = 0;
    }
    emit(cur, further);
    return overflow ? -1 : out;
}

void SUNInfo(const std::string& name, TFileInfo& info)
{
    Guarded("SUNInfo", [&] {
        TSunFile f;
        SUNOpen_(f, name);
        info.FileSize = f.FileSize;
        info.Picture.Width = static_cast<int32_t>(f.Width);
        info.Picture.Height = static_cast<int32_t>(f.Height);
        info.Picture.BytesPP = static_cast<int32_t>((f.Depth + 7) / 8);
        info.Picture.Bits = static_cast<int32_t>(f.Depth);
        info.Picture.Frames = 1;
        if (f.Type == SunTypeEncoded) info.Picture.Compression = "Run Length Encoding (RLE)";
        info.Picture.Loadable = f.Supported;
        FClose(f.Handle);
    });
}

void SUNLoad(const std::string& name, Limg& img)
{
    Guarded("SUNLoad", [&] {
        TSunFile f;
        SUNOpen_(f, name);
        if (!f.Supported) ErrSet(6001);
        const int32_t w = static_cast<int32_t>(f.Width);
        const int32_t h = static_cast<int32_t>(f.Height);
        const int32_t fileBpp = static_cast<int32_t>(f.Depth / 8);
        const int32_t bits = f.Depth == 8 ? 8 : 24;
        int32_t rowBytes = 0, pixelBytes = 0, unpadded = 0;
        if (!PictureBytes(w, 1, fileBpp, rowBytes) || !PictureBytes(rowBytes, h, 1, unpadded) ||
            !PictureBytes(w, h, bits / 8, pixelBytes))
            ErrSet(6001);
        // Rows are padded to an even length; files of earlier versions of
        // this program are told apart below.
        int32_t stride = rowBytes + (rowBytes & 1);
        int32_t dataBytes = 0;
        if (!PictureBytes(stride, h, 1, dataBytes)) ErrSet(6001);

        if (f.MapLength > static_cast<uint32_t>(f.FileSize - SunHeaderSize)) ErrSet(6009);
        const int32_t mapLength = static_cast<int32_t>(f.MapLength);
        const int32_t dataPos = SunHeaderSize + mapLength;
        // Raw rows must be in the file before anything is allocated for them,
        // and encoded ones must be able to give them.
        // Raw files whose length field gives the unpadded size have unpadded rows.
        const int32_t rawStride = f.Length == static_cast<uint32_t>(unpadded) ? rowBytes : stride;
        if (f.Type != SunTypeEncoded && static_cast<int64_t>(rawStride) * (h - 1) + rowBytes > f.FileSize - dataPos)
            ErrSet(5003);
        if (f.Type == SunTypeEncoded && !CodedBytesSuffice(unpadded, f.FileSize - dataPos, RleSunExpansion))
            ErrSet(6003);
        ImgAlloc(img, w, h, bits);
        if (f.MapType == 1 && mapLength >= 3) {
            uint8_t* map = nullptr;
            MemAlloc(map, mapLength);
            MemName(map, "SUNLoad", "colour map");
            FRead(f.Handle, map, mapLength);
            // A map holds length / 3 entries of each colour, not always 256.
            const int32_t entries = mapLength / 3;
            for (int32_t i = 0; i < MaxPaletteEntries && i < entries; ++i) {
                img.Palette[i][0] = map[2 * entries + i];
                img.Palette[i][1] = map[entries + i];
                img.Palette[i][2] = map[i];
            }
            MemFree(map);
        } else if (bits == 8) {
            for (int i = 0; i < 256; ++i)
                img.Palette[i][0] = img.Palette[i][1] = img.Palette[i][2] = static_cast<uint8_t>(i);
        }

        uint8_t* raw = nullptr;
        MemAlloc(raw, dataBytes);
        MemName(raw, "SUNLoad", "rows");
        FSeek(f.Handle, dataPos);
        if (f.Type == SunTypeEncoded) {
            std::memset(raw, 0, dataBytes);
            const int32_t packedBytes = f.FileSize - dataPos;
            int32_t decoded = 0;
            if (packedBytes > 0) {
                uint8_t* packed = nullptr;
                MemAlloc(packed, packedBytes);
                MemName(packed, "SUNLoad", "encoded data");
                FRead(f.Handle, packed, packedBytes);
                decoded = SUNunCmps(packed, packedBytes, raw, dataBytes);
                MemFree(packed);
            }
            // Earlier versions of this program wrote odd-length rows
            // unpadded, with the decoded size in the length field: their
            // streams end at exactly that size, where a standard file's
            // would go on to its padding.
            if (stride != rowBytes && f.Length == static_cast<uint32_t>(unpadded) && decoded == unpadded)
                stride = rowBytes;
        } else {
            // The last row's padding may be missing.
            stride = rawStride;
            const int32_t need = stride * (h - 1) + rowBytes;
            FRead(f.Handle, raw, need);
        }
        const bool rgb = f.Type == SunTypeRgb;
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = raw + static_cast<size_t>(y) * stride;
            uint8_t* d = img.Data + static_cast<size_t>(y) * w * (bits / 8);
            if (fileBpp == 1) {
                std::memcpy(d, s, w);
                continue;
            }
            // 32-bit pixels carry one leading byte that is dropped.
            const int32_t skip = fileBpp - 3;
            for (int32_t k = 0; k < w; ++k, s += fileBpp, d += 3) {
                d[0] = s[rgb ? skip + 2 : skip];
                d[1] = s[skip + 1];
                d[2] = s[rgb ? skip : skip + 2];
            }
        }
        MemFree(raw);
        ImgSetDims(img, w, h, bits);
        FClose(f.Handle);
    });
}

void SUNSave(const std::string& name, const Limg& img)
{
    Guarded("SUNSave", [&] {
        TSaveCtx ctx;
        // Prepared before the old file is deleted, so a refused image keeps it.
        SavePrepare(FmtRAS, ctx, img);
        const Limg& src = *ctx.Img;
        FDelete(name);
        int32_t file = INVALID_HANDLE;
        FOpen(file, name, FmCreate);
        const bool mapped = src.BytesPP == 1;
        const int32_t line = src.Width * src.BytesPP;
        // Pillow and ImageMagick decode byte-encoded rows without their
        // padding, and ImageMagick takes byte-encoded 24-bit pixels as red
        // first: only 8-bit pictures of even width are encoded, others are
        // written as standard rows that every reader takes alike.
        const bool encoded = mapped && line % 2 == 0;
        uint8_t head[SunHeaderSize];
        PutU32BE(head, SunMagic);
        PutU32BE(head + 4, static_cast<uint32_t>(src.Width));
        PutU32BE(head + 8, static_cast<uint32_t>(src.Height));
        PutU32BE(head + 12, static_cast<uint32_t>(src.Bits));
        PutU32BE(head + 16, 0);  // the data's length, filled in below
        PutU32BE(head + 20, encoded ? SunTypeEncoded : SunTypeStandard);
        PutU32BE(head + 24, mapped ? 1 : 0);
        PutU32BE(head + 28, mapped ? SunPaletteBytes : 0);
        FWrite(file, head, SunHeaderSize);
        if (mapped) {
            uint8_t map[SunPaletteBytes];
            for (int i = 0; i < 256; ++i) {
                map[i] = src.Palette[i][2];
                map[256 + i] = src.Palette[i][1];
                map[512 + i] = src.Palette[i][0];
            }
            FWrite(file, map, SunPaletteBytes);
        }
        // Rows are padded to a multiple of 16 bits; the length field counts
        // the bytes of data, for encoded rows only known once written.
        const int32_t padded = line + (line & 1);
        uint8_t* row = nullptr;
        uint8_t* packed = nullptr;
        const int32_t packedCap = 2 * padded;
        MemAlloc(row, padded);
        MemName(row, "SUNSave", "row");
        row[padded - 1] = 0;
        MemAlloc(packed, packedCap);
        MemName(packed, "SUNSave", "packed");
        int64_t length = 0;
        for (int32_t y = 0; y < src.Height; ++y) {
            std::memcpy(row, src.Data + static_cast<size_t>(y) * line, line);
            if (!encoded) {
                FWrite(file, row, padded);
                length += padded;
                continue;
            }
            const int32_t n = SUNdoCmpsRow(row, padded, packed, packedCap);
            if (n < 0) ErrSet(6005);
            FWrite(file, packed, n);
            length += n;
        }
        if (length > UINT32_MAX) ErrSet(6005);
        uint8_t field[4];
        PutU32BE(field, static_cast<uint32_t>(length));
        FSeek(file, 16);
        FWrite(file, field, 4);
        MemFree(row);
        MemFree(packed);
        FClose(file);
        SaveRelease(ctx);
    });
}
