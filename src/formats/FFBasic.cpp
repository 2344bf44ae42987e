#include "formats/FFBasic.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/Codecs.h"
#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "foundation/Utils.h"

TImgf imgf;

namespace {

struct FormatRow {
    uint32_t Id;
    int32_t Flags;
    const char* Extensions;
    const char* ShortName;
    const char* Description;
};

constexpr FormatRow ReadTable[] = {
    {FmtAVI, 26, ".avi", "AVI", "AVI, Windows Audio Video Interleaved"},
    {FmtBMP, 9, ".dib.bmp.rle", "BMP", "BMP, Windows Device Independent Bitmap"},
    {FmtFLIC, 10, ".fli.flc", "FLIC", "FLIC/FLIC-Pro, Autodesk"},
    {FmtGIF, 11, ".gif.giff", "GIF", "GIF, Graphics Interchange Format"},
    {FmtHAV, 26, ".hav", "HAV", "HAV, High quality Audio Video"},
    {FmtJPEG, 9, ".jpg.jpeg.jif.jfif.jpe.J", "JPEG", "JPEG-JFIF, Joint Photographic Expert Group"},
    {FmtPCX, 9, ".pcx.pcc.dcx", "PCX", "PCX, Zsoft Paintbrush"},
    {FmtPNG, 9, ".png", "PNG", "PNG, Portable Network Graphics"},
    {FmtTGA, 9, ".tga.pix.bpx.vda.icb.vst", "TGA", "TGA, Truevision Targa"},
    {FmtTIFF, 9, ".tif.tim.tiff", "TIFF", "TIFF, Tagged Image File Format"},
    {FmtMPEG, 10, ".mpg.mpeg.m1v.m2v.mpe", "MPEG", "MPEG Layer I/II, Moving Pictures Expert Group"},
    {FmtWAV, 20, ".wav", "WAV", "WAV, Windows Wave Sound"},
    {FmtRGB, 9, ".rgb.bw.iris.sgi", "RGB", "RGB, Silicon Graphics Image"},
    {FmtRAS, 9, ".ras.sun", "RAS", "RAS, Sun Raster Image"},
    {FmtPNM, 9, ".pnm.ppm.pgm.pbm.pam.rpnm.rppm.rpgm", "PNM", "PNM, Portable Image"},
};

constexpr FormatRow WriteTable[] = {
    {FmtAVI, 26, ".avi", "AVI", "AVI, Windows Audio Video Interleaved"},
    {FmtBMP, 9, ".bmp", "BMP", "BMP, Windows Bitmap"},
    {FmtBMP, 9, ".dib", "DIB", "DIB, Windows Device Independent Bitmap"},
    {FmtFLIC, 10, ".fli.flc", "FLIC", "FLIC/FLIC-Pro, Autodesk"},
    {FmtHAV, 26, ".hav", "HAV", "HAV, High quality Audio Video"},
    {FmtJPEG, 9, ".jpg", "JPEG", "JPEG-JFIF, Joint Photographic Expert Group"},
    {FmtPCX, 9, ".pcx", "PCX", "PCX, Zsoft Paintbrush"},
    {FmtPNG, 9, ".png", "PNG", "PNG, Portable Network Graphics"},
    {FmtTGA, 9, ".tga", "TGA", "TGA, Truevision Targa"},
    {FmtMPEG, 10, ".mpg", "MPEG-I", "MPEG Layer I, Moving Pictures Expert Group"},
    {FmtMPEG, 10, ".m2v", "MPEG-II", "MPEG Layer II, Moving Pictures Expert Group"},
    {FmtWAV, 20, ".wav", "WAV", "WAV, Windows Wave Sound"},
    {FmtRGB, 9, ".rgb", "RGB", "RGB, Silicon Graphics Image"},
    {FmtRAS, 9, ".ras", "RAS", "RAS, Sun Raster Image"},
    {FmtPNM, 9, ".ppm", "PPM", "PPM, Portable PixelMap"},
};

// Depth written for images of 8, 15, 16, 24, 32 and any other bits.
struct SaveDepthRow {
    uint32_t Id;
    int32_t Depth[6];
};

constexpr SaveDepthRow SaveDepthTable[] = {
    {FmtAVI, {8, 15, 24, 24, 24, 24}},   {FmtBMP, {8, 15, 24, 24, 24, 24}},   {FmtBMP, {8, 15, 24, 24, 24, 24}},
    {FmtFLIC, {8, 8, 8, 8, 8, 8}},       {FmtHAV, {8, 16, 16, 24, 24, 24}},   {FmtJPEG, {24, 24, 24, 24, 24, 24}},
    {FmtPCX, {8, 24, 24, 24, 24, 24}},   {FmtPNG, {8, 24, 24, 24, 24, 24}},   {FmtTGA, {8, 15, 24, 24, 24, 24}},
    {FmtMPEG, {24, 24, 24, 24, 24, 24}}, {FmtMPEG, {24, 24, 24, 24, 24, 24}}, {FmtWAV, {0, 0, 0, 0, 0, 0}},
    {FmtRGB, {24, 24, 24, 24, 24, 24}},  {FmtRAS, {8, 24, 24, 24, 24, 24}},   {FmtPNM, {24, 24, 24, 24, 24, 24}},
};

bool IsLoadable(uint32_t id)
{
    switch (id) {
        case FmtTGA:
        case FmtPCX:
        case FmtBMP:
        case FmtGIF:
        case FmtJPEG:
        case FmtPNG:
        case FmtTIFF:
        case FmtRGB:
        case FmtRAS:
        case FmtPNM:
            return true;
        default:
            return false;
    }
}

bool IsWritable(uint32_t id)
{
    switch (id) {
        case FmtTGA:
        case FmtPCX:
        case FmtBMP:
        case FmtJPEG:
        case FmtPNG:
        case FmtRGB:
        case FmtRAS:
        case FmtPNM:
            return true;
        default:
            return false;
    }
}

bool IsStill(uint32_t id)
{
    return id != FmtGIF && IsLoadable(id);
}

int32_t KindOf(uint32_t id, int32_t frames)
{
    if (id == 0 || id > FormatCount) return 0;
    if (IsStill(id)) return frames > 1 ? 2 : 1;
    if (id == FmtGIF) return frames > 1 ? 3 : 1;
    if (id == FmtWAV) return 4;
    return 3;
}

std::string LowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The extension from the last dot of the name part, dot included.
std::string ExtensionOf(const std::string& name)
{
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    size_t sep = name.find_last_of("\\/:");
    if (sep != std::string::npos && sep > dot) return {};
    return name.substr(dot);
}

template <size_t N>
std::string BuildFilter(const FormatRow (&table)[N], int32_t mask, int32_t options)
{
    std::string all = "All supported formats|";
    std::vector<std::string> entries;
    for (const FormatRow& row : table) {
        if (mask != 0 && (row.Flags & mask) == 0) continue;
        std::string entry = HasFlag(options, 1) ? row.Description : row.ShortName;
        std::string patterns, plain;
        const std::string exts = row.Extensions;
        size_t pos = 0;
        while (pos < exts.size()) {
            size_t next = exts.find('.', pos + 1);
            if (next == std::string::npos) next = exts.size();
            const std::string ext = exts.substr(pos + 1, next - pos - 1);
            if (!patterns.empty()) {
                patterns += ';';
                plain += ',';
            }
            patterns += "*." + ext;
            plain += ext;
            pos = next;
        }
        if (HasFlag(options, 2)) entry += " (" + plain + ")";
        entry += "|" + patterns;
        all += patterns + ";";
        auto at = std::find_if(entries.begin(), entries.end(), [&](const std::string& e) { return e > entry; });
        entries.insert(at, entry);
    }
    std::string result;
    if (entries.size() >= 2) {
        all.pop_back();
        result = all + "|";
    }
    for (const std::string& e : entries) result += e + "|";
    result += "Any file (*.*)|*.*";
    return result;
}

struct SeqName {
    std::string Prefix;
    std::string Suffix;
    int32_t First = 0;
    int32_t Digits = 0;
};

// Splits folder\pic007.bmp into folder\pic, 7 (3 digits) and .bmp.
bool SplitSequenceName(const std::string& name, SeqName& out)
{
    size_t sep = name.find_last_of("\\/:");
    size_t start = sep == std::string::npos ? 0 : sep + 1;
    size_t end = name.size();
    size_t i = end;
    while (i > start && !(name[i - 1] >= '0' && name[i - 1] <= '9')) --i;
    size_t digitsEnd = i;
    while (i > start && name[i - 1] >= '0' && name[i - 1] <= '9') --i;
    size_t digitsBegin = i;
    if (digitsBegin == digitsEnd) return false;
    int64_t value = 0;
    for (size_t k = digitsBegin; k < digitsEnd; ++k) {
        value = value * 10 + (name[k] - '0');
        if (value > INT32_MAX) return false;
    }
    out.Prefix = name.substr(0, digitsBegin);
    out.Suffix = name.substr(digitsEnd);
    out.First = static_cast<int32_t>(value);
    out.Digits = static_cast<int32_t>(digitsEnd - digitsBegin);
    return true;
}

// One further file of a sequence: true when it describes cleanly with the
// first file's geometry.
bool ProbeSequenceFile(const std::string& name, const TFileInfo& first, int32_t& size)
{
    bool ok = false;
    GuardedBlockLocal([&] {
        TFileInfo info;
        FFInfo(name, info);
        if (ErrGet() != 0) return;
        ok = info.Picture.Width == first.Picture.Width && info.Picture.Height == first.Picture.Height &&
             info.Picture.Bits == first.Picture.Bits && first.Picture.Frames == 1 && first.Picture.Loadable;
        size = info.FileSize;
    });
    return ok && ErrGet() == 0;
}

}  // namespace

uint32_t FormatOf(const std::string& name)
{
    const std::string ext = LowerAscii(ExtensionOf(name));
    if (ext.empty()) return static_cast<uint32_t>(INVALID_HANDLE);
    for (const FormatRow& row : ReadTable)
        if (std::string_view(row.Extensions).find(ext) != std::string_view::npos) return row.Id;
    return static_cast<uint32_t>(INVALID_HANDLE);
}

void ImgLoad(const std::string& name, Limg& img)
{
    Guarded("ImgLoad(" + name + ")", [&] {
        const uint32_t id = FormatOf(name);
        if (!IsLoadable(id)) ErrSet(6002);
        const CodecEntry& codec = CodecFor(id);
        if (codec.Load == nullptr) ErrSet(6001);
        codec.Load(name, img);
    });
}

void ImgSave(const std::string& name, const Limg& img)
{
    Guarded("ImgSave(" + name + ")", [&] {
        ErrClear();
        if (!MemIsTracked(img.Data)) ErrSet(6009);
        const uint32_t id = FormatOf(name);
        if (!IsWritable(id)) ErrSet(6002);
        const CodecEntry& codec = CodecFor(id);
        if (codec.Save == nullptr) ErrSet(6001);
        codec.Save(name, img);
    });
}

void FFInfo(const std::string& name, TFileInfo& info)
{
    Guarded("FFInfo(" + name + ")", [&] {
        info = TFileInfo{};
        info.Format = FormatOf(name);
        info.Picture.Compression = "None";
        info.Sound.Compression = "None";
        const CodecEntry& codec = CodecFor(info.Format);
        if (codec.Info == nullptr) ErrSet(11002);
        codec.Info(name, info);
    });
}

bool UniInfo(const std::string& name, TUniInfo& info, bool sequences)
{
    LabelPush("UniInfo(" + name + ")");
    info = TUniInfo{};
    info.Format = FormatOf(name);
    GuardedBlockLocal([&] {
        TFileInfo first;
        FFInfo(name, first);
        info.FileName = name;
        info.TotalSize = first.FileSize;
        info.Picture = first.Picture;
        info.Sound = first.Sound;
        info.Kind = KindOf(info.Format, first.Picture.Frames);
        SeqName seq;
        if (info.Kind == 1 && sequences && SplitSequenceName(name, seq)) {
            int32_t count = 0;
            int32_t lastSize = 0;
            bool more = true;
            while (more) {
                ++count;
                info.TotalSize += lastSize;
                const int64_t number = static_cast<int64_t>(seq.First) + count;
                if (number > UINT32_MAX) break;
                const std::string probe =
                    seq.Prefix + NumToStr(static_cast<uint32_t>(number), 200 + seq.Digits) + seq.Suffix;
                lastSize = 0;
                more = ProbeSequenceFile(probe, first, lastSize);
            }
            ErrClear();
            if (count > 1) {
                info.Kind = 2;
                info.Picture.Frames = count;
                info.SeqPrefix = seq.Prefix;
                info.SeqSuffix = seq.Suffix;
                info.SeqFirst = seq.First;
                info.SeqCount = count;
                info.SeqDigits = seq.Digits;
            }
        }
    });
    bool ok = true;
    if (ErrGet() != 0) {
        ErrClear();
        WrnSet(5002);
        ok = false;
    }
    LabelPop();
    return ok;
}

std::string OpenFilter(int32_t mask, int32_t options)
{
    return BuildFilter(ReadTable, mask, options);
}

std::string SaveFilter(int32_t mask, int32_t options)
{
    return BuildFilter(WriteTable, mask, options);
}

void SavePrepare(uint32_t id, TSaveCtx& ctx, const Limg& img)
{
    Guarded("SavePrepare", [&] {
        ErrClear();
        ctx = TSaveCtx{};
        const SaveDepthRow* row = nullptr;
        for (const SaveDepthRow& r : SaveDepthTable)
            if (r.Id == id) {
                row = &r;
                break;
            }
        if (!MemIsTracked(img.Data) || img.Width < MinRecordSide || img.Width > MaxRecordSide ||
            img.Height < MinRecordSide || img.Height > MaxRecordSide || row == nullptr)
            ErrSet(11001);
        int column = 5;
        switch (img.Bits) {
            case 8:
                column = 0;
                break;
            case 15:
                column = 1;
                break;
            case 16:
                column = 2;
                break;
            case 24:
                column = 3;
                break;
            case 32:
                column = 4;
                break;
            default:
                break;
        }
        const int32_t depth = row->Depth[column];
        if (depth != img.Bits) {
            ImgConvBit(img, ctx.Temp, depth);
            ctx.OwnsTemp = true;
            ctx.Img = &ctx.Temp;
        } else {
            ctx.Img = &img;
        }
    });
}

void SaveRelease(TSaveCtx& ctx)
{
    if (ctx.OwnsTemp) ImgFree(ctx.Temp);
    ctx = TSaveCtx{};
}

void ImgfClear_(TImgf& f)
{
    f = TImgf{};
}

void ImgfSetGeometry_(TImgf& f, int32_t width, int32_t height, int32_t bits)
{
    f.Width = width;
    f.Height = height;
    f.Bits = bits;
    f.BytesPP = (bits + 7) / 8;
    f.LineSize = 0;
    f.ImageSize = 0;
    int32_t image = 0;
    if (PictureBytes(width, height, f.BytesPP, image)) {
        f.LineSize = width * f.BytesPP;
        f.ImageSize = image;
    }
}

void ImgfCheckGeometry_(const TImgf& f, int32_t code)
{
    if (f.Width <= 0 || f.Height <= 0 || f.BytesPP <= 0 || f.LineSize <= 0 || f.ImageSize <= 0) ErrSet(code);
}

void ImgfCheckRows_(const TImgf& f, int32_t padding)
{
    const int64_t rows = static_cast<int64_t>(f.LineSize + static_cast<int64_t>(padding)) * (f.Height - 1) + f.LineSize;
    if (f.DataPos < 0 || padding < 0 || static_cast<int64_t>(f.DataPos) + rows > f.FileSize) ErrSet(5003);
}

void ImgfCheckCoded_(const TImgf& f, int64_t decoded, int32_t expansion)
{
    if (f.DataPos < 0 || f.DataPos > f.FileSize) ErrSet(5003);
    if (!CodedBytesSuffice(decoded, f.FileSize - f.DataPos, expansion)) ErrSet(6003);
}

void ImgfOpen_(TImgf& f, const std::string& name)
{
    ImgfClear_(f);
    FOpen(f.Handle, name, FmRead);
    f.FileSize = FSize(f.Handle);
}

void ImgfClose_(TImgf& f)
{
    if (f.CmpsData != nullptr) MemFree(f.CmpsData);
    if (f.Handle != INVALID_HANDLE) FClose(f.Handle);
    f.Handle = INVALID_HANDLE;
}

void ImgfFillInfo_(const TImgf& f, TFileInfo& info)
{
    info.FileSize = f.FileSize;
    info.Picture.Width = f.Width;
    info.Picture.Height = f.Height;
    info.Picture.BytesPP = f.BytesPP;
    info.Picture.Bits = f.Bits;
    info.Picture.Frames = 1;
    if (f.Compressed) info.Picture.Compression = RleCompressionName;
    info.Picture.Loadable = f.Supported;
}

void Dsk2Mem_(TImgf& f, uint8_t* pixels, int32_t padding)
{
    Guarded("Dsk2Mem_", [&] {
        int64_t position = f.DataPos;
        uint8_t* row = f.BottomUp ? pixels + static_cast<int64_t>(f.Height - 1) * f.LineSize : pixels;
        const int64_t step = f.BottomUp ? -static_cast<int64_t>(f.LineSize) : f.LineSize;
        for (int32_t y = 0; y < f.Height; ++y) {
            if (position > INT32_MAX) ErrSet(5005);
            FSeek(f.Handle, static_cast<int32_t>(position));
            FRead(f.Handle, row, f.LineSize);
            row += step;
            position += static_cast<int64_t>(f.LineSize) + padding;
        }
    });
}

void Mem2Dsk_(int32_t file, const Limg& img, int32_t padding)
{
    Guarded("Mem2Dsk_", [&] {
        int32_t line = 0;
        int32_t total = 0;
        if (img.Data == nullptr || img.Height <= 0 || padding < 0 || !CheckedMul32(img.Width, img.BytesPP, line) ||
            !CheckedMul32(line, img.Height, total) || total > img.Size)
            ErrSet(6009);
        std::vector<uint8_t> buffer(static_cast<size_t>(line) + padding, 0);
        for (int32_t y = img.Height - 1; y >= 0; --y) {
            std::memcpy(buffer.data(), img.Data + static_cast<int64_t>(y) * line, line);
            FWrite(file, buffer.data(), static_cast<int32_t>(buffer.size()));
        }
    });
}

void WriteRow_(int32_t file, const void* data, int32_t count, int32_t code)
{
    GuardedBlockLocal([&] { FWrite(file, data, count); });
    if (ErrGet() != 0) ErrSet(code);
}

void GetCmpsData_(TImgf& f)
{
    Guarded("GetCmpsData_", [&] {
        if (f.DataPos < 0 || f.DataPos > f.FileSize) ErrSet(5003);
        const int32_t size = f.FileSize - f.DataPos;
        MemAlloc(f.CmpsData, std::max<int32_t>(size, 1));
        MemName(f.CmpsData, "GetCmpsData_", "imgf.CmpsData");
        FSeek(f.Handle, f.DataPos);
        FRead(f.Handle, f.CmpsData, size);
        f.CmpsSize = size;
    });
}
