#include "formats/FFBasic.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"
#include "formats/FormatTable.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "foundation/Utils.h"

TImgf imgf;

namespace {

bool IsLoadable(uint32_t id)
{
    const FormatDef* f = FormatById(id);
    return f != nullptr && f->Load != nullptr;
}

bool IsWritable(uint32_t id)
{
    const FormatDef* f = FormatById(id);
    return f != nullptr && f->Save != nullptr;
}

int32_t KindOf(uint32_t id, int32_t frames)
{
    const FormatDef* f = FormatById(id);
    if (f == nullptr) return 0;
    switch (f->Kind) {
        case FormatKind::Still:
            return frames > 1 ? 2 : 1;
        case FormatKind::Animation:
            return frames > 1 ? 3 : 1;
        case FormatKind::Moving:
            return 3;
        case FormatKind::Sound:
            return 4;
    }
    return 0;
}

// One entry of a dialog filter.
struct FilterRow {
    int32_t Flags;
    const char* Extensions;
    const char* ShortName;
    const char* Description;
    bool Sorted;  // sorted among the first formats, or else appended after them
};

std::string BuildFilter(const std::vector<FilterRow>& table, int32_t mask, int32_t options)
{
    std::string all = "All supported formats|";
    std::vector<std::string> entries;
    size_t sorted = 0;
    for (const FilterRow& row : table) {
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
        if (row.Sorted) {
            const auto end = entries.begin() + static_cast<std::ptrdiff_t>(sorted);
            entries.insert(std::find_if(entries.begin(), end, [&](const std::string& e) { return e > entry; }), entry);
            ++sorted;
        } else {
            entries.push_back(entry);
        }
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
    const std::string ext = LowerExtension(name);
    if (ext.empty()) return static_cast<uint32_t>(INVALID_HANDLE);
    for (const FormatDef& row : Formats())
        if (std::string_view(row.Extensions).find(ext) != std::string_view::npos) return row.Id;
    return static_cast<uint32_t>(INVALID_HANDLE);
}

void ImgLoad(const std::string& name, Limg& img)
{
    Guarded("ImgLoad(" + name + ")", [&] {
        ClearLoadDamage();
        CheckOpenable(name);
        const uint32_t id = FormatOfFile(name);
        if (!IsLoadable(id)) ErrSet(6002);
        FormatById(id)->Load(name, img);
    });
}

void ImgSave(const std::string& name, const Limg& img)
{
    Guarded("ImgSave(" + name + ")", [&] {
        ErrClear();
        if (!MemIsTracked(img.Data)) ErrSet(6009);
        const uint32_t id = FormatOf(name);
        if (!IsWritable(id)) ErrSet(6002);
        FormatById(id)->Save(name, img);
    });
}

void FFInfo(const std::string& name, TFileInfo& info)
{
    Guarded("FFInfo(" + name + ")", [&] {
        info = TFileInfo{};
        CheckOpenable(name);
        info.Format = FormatOfFile(name);
        info.Picture.Compression = "None";
        info.Sound.Compression = "None";
        const FormatDef* format = FormatById(info.Format);
        if (format == nullptr || format->Info == nullptr) ErrSet(11002);
        format->Info(name, info);
    });
}

bool UniInfo(const std::string& name, TUniInfo& info, bool sequences)
{
    LabelPush("UniInfo(" + name + ")");
    info = TUniInfo{};
    info.Format = FormatOfFile(name);
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
    std::vector<FilterRow> rows;
    for (const FormatDef& f : Formats())
        rows.push_back({f.Flags, f.Extensions, f.ShortName, f.Description, f.Id <= SortedFilterFormats});
    return BuildFilter(rows, mask, options);
}

std::string SaveFilter(int32_t mask, int32_t options)
{
    std::vector<FilterRow> rows;
    for (const FormatDef& f : Formats())
        for (const SaveEntry& e : f.SaveRows)
            if (e.Extension != nullptr)
                rows.push_back({f.Flags, e.Extension, e.ShortName, e.Description, f.Id <= SortedFilterFormats});
    return BuildFilter(rows, mask, options);
}

std::string FormatShortName(uint32_t id)
{
    const FormatDef* f = FormatById(id);
    return f != nullptr ? f->ShortName : "";
}

void SavePrepare(uint32_t id, TSaveCtx& ctx, const Limg& img)
{
    Guarded("SavePrepare", [&] {
        ErrClear();
        ctx = TSaveCtx{};
        const FormatDef* format = FormatById(id);
        const int32_t* depths = format != nullptr ? format->SaveDepth : nullptr;
        if (!MemIsTracked(img.Data) || img.Width < MinRecordSide || img.Width > MaxRecordSide ||
            img.Height < MinRecordSide || img.Height > MaxRecordSide || depths == nullptr)
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
        const int32_t depth = depths[column];
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
