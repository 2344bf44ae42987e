// The image record's life cycle and the framework every image operation
// runs in.

#include "image/ImgBasic.h"

#include <cstring>
#include <utility>

#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/Memory.h"

namespace {

constexpr int32_t DefaultDepth = 24;

int DepthSlot_(int32_t bits)
{
    switch (bits) {
        case 8:
            return 0;
        case 15:
            return 1;
        case 16:
            return 2;
        case 24:
            return 3;
        case 32:
            return 4;
        default:
            return 5;
    }
}

void Keep8_(ImgOpInfo& info)
{
    info.DepthMap[0] = 8;
}

void Identity_(ImgOpInfo& info)
{
    info.DepthMap[0] = 8;
    info.DepthMap[1] = 15;
    info.DepthMap[2] = 16;
    info.DepthMap[3] = 24;
    info.DepthMap[4] = 32;
    info.DepthMap[5] = DefaultDepth;
}

void OnPalette_(ImgOpInfo& info)
{
    Keep8_(info);
    info.OnPalette = true;
}

void Range_(ImgOpInfo& info, int first, int last, int32_t low, int32_t high)
{
    for (int i = first; i <= last; ++i) {
        info.ParamRange[i][0] = low;
        info.ParamRange[i][1] = high;
    }
    info.HasParams = true;
}

}  // namespace

bool ImgHasPixels(const Limg& img)
{
    if (img.Data == nullptr || img.Width <= 0 || img.Height <= 0 || img.BytesPP <= 0) return false;
    int64_t need = static_cast<int64_t>(img.Width) * img.Height * img.BytesPP;
    return need <= img.Size && MemIsTracked(img.Data);
}

void ImgCheckPixels_(const Limg& img)
{
    int64_t need = static_cast<int64_t>(img.Width) * img.Height * img.BytesPP;
    if (img.Width <= 0 || img.Height <= 0 || img.BytesPP <= 0 || need <= 0) ErrSet(2001);
    if (!ImgHasPixels(img)) ErrSet(6000);
}

void ImgAlloc(Limg& img, int32_t width, int32_t height, int32_t bits)
{
    Guarded("ImgAlloc", [&] {
        int32_t bytesPP = (bits + 7) / 8;
        // The product is checked before anything is allocated or changed.
        int32_t size = 0;
        if (width <= 0 || height <= 0 || bytesPP <= 0 || !CheckedMul32(width, height, bytesPP, size) || size <= 0)
            ErrSet(2001);
        if (!MemIsTracked(img.Data)) img = Limg{};
        img.BytesPP = bytesPP;
        img.Size = size;
        MemAlloc(img.Data, size);
        img.Width = width;
        img.Height = height;
        img.BytesPP = bytesPP;
        img.Bits = bits;
    });
}

void ImgFree(Limg& img)
{
    LabelPush("ImgFree");
    MemFree(img.Data);
    img = Limg{};
    LabelPop();
}

void ImgSetDims(Limg& img, int32_t width, int32_t height, int32_t bits)
{
    img.Width = width;
    img.Height = height;
    img.Bits = bits;
    img.BytesPP = (bits + 7) / 8;
}

void ImgCopyDims(const Limg& src, Limg& dst)
{
    if (&src == &dst) return;
    dst.Width = src.Width;
    dst.Height = src.Height;
    dst.BytesPP = src.BytesPP;
    dst.Bits = src.Bits;
}

void ImgCopyPalette(const Limg& src, Limg& dst)
{
    Guarded("ImgCopyPalette", [&] {
        if (&src != &dst && src.BytesPP == 1) std::memcpy(dst.Palette, src.Palette, sizeof dst.Palette);
    });
}

void ImgCopyData(const Limg& src, Limg& dst)
{
    Guarded("ImgCopyData", [&] {
        if (&src == &dst) return;
        ImgCheckPixels_(src);
        ImgAlloc(dst, src.Width, src.Height, src.Bits);
        std::memcpy(dst.Data, src.Data, static_cast<size_t>(src.Width) * src.Height * src.BytesPP);
    });
}

void ImgCopy(const Limg& src, Limg& dst)
{
    LabelPush("ImgCopy");
    if (&src != &dst) {
        // The palette goes last: allocating a fresh record clears it.
        ImgCopyDims(src, dst);
        ImgCopyData(src, dst);
        ImgCopyPalette(src, dst);
    }
    LabelPop();
}

void ImgXchg(Limg& a, Limg& b)
{
    Guarded("ImgXchg", [&] {
        if (&a == &b) return;
        MemXchg(a.Data, b.Data);
        std::swap(a, b);
    });
}

void ImgName(Limg& img, const std::string& owner, const std::string& name)
{
    MemName(img.Data, owner, "(Limg) " + name);
}

void ImgInitInfo_(ImgOpInfo& info)
{
    LabelPush("ImgInitInfo_");
    info = ImgOpInfo{};
    for (auto& limit : info.Limits) {
        limit[0] = ImgMinSide;
        limit[1] = ImgMaxSide;
    }
    for (auto& depth : info.DepthMap) depth = DefaultDepth;
    info.InPlace = true;
    info.OnPalette = false;
    LabelPop();
}

void ImgInfo(ImgOpInfo& info, int32_t op)
{
    Guarded("ImgInfo", [&] {
        ImgInitInfo_(info);
        info.Op = op;
        switch (op) {
            case 1:
            case 34:
            case 40:
                Identity_(info);
                break;
            case 2:
            case 33:
            case 35:
                Keep8_(info);
                break;
            case 3:
                OnPalette_(info);
                info.DepthMap[2] = 16;
                break;
            case 4:
            case 12:
            case 38:
                OnPalette_(info);
                break;
            case 5:
                OnPalette_(info);
                Range_(info, 0, 0, -100, 100);
                break;
            case 6:
            case 7:
            case 8:
                OnPalette_(info);
                Range_(info, 0, 2, -100, 100);
                break;
            case 9:
                OnPalette_(info);
                Range_(info, 0, 2, 1, 499);
                break;
            case 10:
            case 11:
                OnPalette_(info);
                Range_(info, 0, 2, 1, 255);
                break;
            case 13:
            case 14:
            case 15:
            case 16:
            case 17:
            case 18:
            case 19:
            case 37:
                info.InPlace = false;
                break;
            case 20:
                Range_(info, 0, 0, 1, 254);
                info.InPlace = false;
                break;
            case 21:
                Keep8_(info);
                Range_(info, 0, 0, 1, 10);
                info.InPlace = false;
                break;
            case 22:
            case 23:
            case 24:
                Range_(info, 0, 2, 0, 100);
                break;
            case 25:
                Range_(info, 0, 1, 2, 64);
                break;
            case 27:
                OnPalette_(info);
                Range_(info, 0, 0, -180, 180);
                break;
            case 28:
                Range_(info, 0, 0, 1, 7);
                info.InPlace = false;
                break;
            case 31:
                Identity_(info);
                info.InPlace = false;
                info.MatchDest = true;
                break;
            case 32:
                Identity_(info);
                info.InPlace = false;
                info.ConvertDest = true;
                break;
            case 36:
            case 39:
                Keep8_(info);
                info.InPlace = false;
                break;
            default:
                break;  // 0, 26, 29, 30 and unknown ids: every depth works at 24
        }
    });
}

void ImgInitEx(const ImgOpInfo& info, ImgOpCtx& ctx, const Limg* src, Limg* dst, int32_t targetWidth,
               int32_t targetHeight)
{
    Guarded("ImgInitEx", [&] {
        ctx = ImgOpCtx{};
        if (!info.InPlace && dst == nullptr) ErrSet(6006);
        if (src == nullptr) return;
        // A record that is both source and destination is changed through dst.
        Limg* source = const_cast<Limg*>(src);
        int32_t depth = info.DepthMap[DepthSlot_(src->Bits)];
        if (dst != nullptr) {
            if (info.MatchDest && depth != dst->Bits) {
                if (dst->Bits < depth)
                    ImgConvBit(*dst, *dst, depth);
                else
                    depth = dst->Bits;
            } else if (info.ConvertDest && depth != dst->Bits) {
                ImgConvBit(*dst, *dst, depth);
            }
        }
        if (depth != source->Bits) {
            ImgConvBit(*source, ctx.Temp, depth);
            ctx.Src = &ctx.Temp;
            ctx.OwnsTemp = true;
            ctx.Dst = dst;
        } else if (info.InPlace || source != dst) {
            ctx.Src = source;
            ctx.Dst = dst;
        } else {
            ImgAlloc(ctx.Temp, targetWidth, targetHeight, depth);
            ctx.OwnsTemp = true;
            ctx.SwapBack = true;
            ctx.Src = source;
            ctx.Dst = &ctx.Temp;
        }
        if (ctx.Dst == nullptr) ctx.Dst = ctx.Src;  // an in-place operation given no destination
        ImgCheckPixels_(*ctx.Src);
        if (ctx.Src != ctx.Dst) {
            ImgAlloc(*ctx.Dst, targetWidth, targetHeight, depth);
            ImgSetDims(*ctx.Dst, targetWidth, targetHeight, depth);
        }
        const Limg& s = *ctx.Src;
        Limg& d = *ctx.Dst;
        ctx.SrcRow = s.Width * s.BytesPP;
        ctx.SrcBytes = ctx.SrcRow * s.Height;
        ctx.DstRow = targetWidth * d.BytesPP;
        ctx.DstBytes = targetHeight * ctx.DstRow;
        ctx.SrcPixels = s.Width * s.Height;
        ctx.DstPixels = targetWidth * targetHeight;
        ctx.TargetW = targetWidth;
        ctx.TargetH = targetHeight;
        if (info.OnPalette && s.Bits == 8) {
            ctx.SrcCount = ctx.DstCount = 256;
            ctx.SrcLen = ctx.DstLen = 768;
            ctx.SrcPtr = &ctx.Src->Palette[0][0];
            ctx.DstPtr = &ctx.Dst->Palette[0][0];
            ctx.CopyData = true;
        } else {
            ctx.SrcCount = ctx.SrcPixels;
            ctx.DstCount = ctx.DstPixels;
            ctx.SrcLen = ctx.SrcBytes;
            ctx.DstLen = ctx.DstBytes;
            ctx.SrcPtr = ctx.Src->Data;
            ctx.DstPtr = ctx.Dst->Data;
            ctx.CopyData = false;
        }
        ctx.CopyPalette = (s.Bits == 8);
    });
}

void ImgOpConvert(const ImgOpInfo& info, ImgOpCtx& ctx, const Limg* src, Limg* dst)
{
    ImgInitEx(info, ctx, src, dst, src ? src->Width : 0, src ? src->Height : 0);
}

void ImgDone(ImgOpCtx& ctx)
{
    Guarded("ImgDone", [&] {
        if (ctx.Src == nullptr || ctx.Dst == nullptr) return;
        if (ctx.CopyData)
            ImgCopyData(*ctx.Src, *ctx.Dst);
        else if (ctx.CopyPalette)
            ImgCopyPalette(*ctx.Src, *ctx.Dst);
        if (ctx.SwapBack) ImgXchg(*ctx.Src, ctx.Temp);
        if (ctx.OwnsTemp) ImgFree(ctx.Temp);
        ctx.Dst->Width = ctx.TargetW;
        ctx.Dst->Height = ctx.TargetH;
    });
}
