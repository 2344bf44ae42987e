#pragma once
// The image record and the operations on it: lifecycle, the operation
// framework, depth conversion and geometry.

#include <cstdint>
#include <string>

// Rows run from the top, packed without padding; 24-bit pixels are blue,
// green, red. The pixel block is tracked under the address of Data, so a
// record is duplicated with ImgCopy or exchanged with ImgXchg, never copied.
struct Limg {
    uint8_t* Data = nullptr;
    int32_t Size = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BytesPP = 0;
    int32_t Bits = 0;
    uint8_t Palette[256][3] = {};  // blue, green, red
};

void ImgAlloc(Limg& img, int32_t width, int32_t height, int32_t bits);
void ImgFree(Limg& img);
void ImgSetDims(Limg& img, int32_t width, int32_t height, int32_t bits);
void ImgCopyDims(const Limg& src, Limg& dst);
void ImgCopyPalette(const Limg& src, Limg& dst);
void ImgCopyData(const Limg& src, Limg& dst);
void ImgCopy(const Limg& src, Limg& dst);
void ImgXchg(Limg& a, Limg& b);
void ImgName(Limg& img, const std::string& owner, const std::string& name);

void ImgConvBit(const Limg& src, Limg& dst, int32_t bits);
void ImgXchgRB(const Limg& src, Limg& dst);
void ImgFlipV(const Limg& src, Limg& dst);

void ImgCrop(const Limg& src, Limg& dst, int32_t x, int32_t y, int32_t width, int32_t height);
void ImgInsert(const Limg& src, Limg& dst, int32_t x, int32_t y);
void ImgSprite(const Limg& src, Limg& dst, int32_t x, int32_t y, int32_t key);
void ImgResize(const Limg& src, Limg& dst, int32_t width, int32_t height);
void ImgResample(const Limg& src, Limg& dst, int32_t width, int32_t height);
// ImgResample of a canvasWidth × canvasHeight picture on which src lies at
// (x, y), the rest black: a negative position crops the source, a positive
// one gives it borders, without a copy of the canvas. A step of ImgResample,
// under its label; ImgResample is the canvas of the source's own size at (0, 0).
void ImgResampleRect_(const Limg& src, Limg& dst, int32_t width, int32_t height, int32_t canvasWidth,
                      int32_t canvasHeight, int32_t x, int32_t y);

// Row and palette helpers shared with the codecs. RowTo24 turns `count`
// pixels, `stride` bytes apart, into three-byte pixels: strides of three or
// more take the first three bytes as they are, shorter ones read a 15-bit
// word and give red first; swapRB = 1 then exchanges the first and third byte.
void RowTo24(uint8_t swapRB, int32_t stride, int32_t count, uint8_t* dest, const uint8_t* source);
void PalGrey(uint8_t (&palette)[256][3]);
void PalGreyInv(uint8_t (&palette)[256][3]);

// Operation ids. ImgInfo answers for every id of the table, also for those
// no operation of this program uses.
enum ImgOpId : int32_t {
    ImgOpInsert = 31,
    ImgOpSprite = 32,
    ImgOpCrop = 33,
    ImgOpFlipV = 34,
    ImgOpResize = 36,
    ImgOpResample = 37,
    ImgOpXchgRB = 38,
    ImgOpLastId = 40,
};

inline constexpr int32_t ImgMinSide = 4;
inline constexpr int32_t ImgMaxSide = 4096;

// What an operation needs: the working depth for each source depth (8, 15,
// 16, 24, 32, any other), whether it may write into its own source, and
// whether it works on the palette of 8-bit images.
struct ImgOpInfo {
    int32_t Op = 0;
    int32_t Limits[4][2] = {};  // size limits (minimum, maximum); filled, never read
    int32_t DepthMap[6] = {};
    bool InPlace = false;
    bool OnPalette = false;
    bool HasParams = false;
    bool ConvertDest = false;
    bool MatchDest = false;
    int32_t ParamRange[16][2] = {};
};

// One run of an operation: the working source and destination (possibly a
// converted copy or a temporary that replaces the source) and their sizes.
// The operation reads SrcPtr/SrcRow and writes DstPtr/DstRow. A context holds
// a tracked block in Temp, so it must not be moved while a run is open.
struct ImgOpCtx {
    bool OwnsTemp = false;
    bool CopyData = false;
    bool CopyPalette = false;
    bool SwapBack = false;
    int32_t SrcRow = 0, DstRow = 0;
    int32_t SrcBytes = 0, DstBytes = 0;
    int32_t SrcCount = 0, DstCount = 0;
    int32_t SrcPixels = 0, DstPixels = 0;
    int32_t SrcLen = 0, DstLen = 0;
    int32_t TargetW = 0, TargetH = 0;
    Limg* Src = nullptr;
    Limg* Dst = nullptr;
    Limg Temp;
    uint8_t* SrcPtr = nullptr;
    uint8_t* DstPtr = nullptr;
};

void ImgInitInfo_(ImgOpInfo& info);
void ImgInfo(ImgOpInfo& info, int32_t op);
// src and dst may be the same record; a missing src leaves the context empty.
void ImgInitEx(const ImgOpInfo& info, ImgOpCtx& ctx, const Limg* src, Limg* dst, int32_t targetWidth,
               int32_t targetHeight);
void ImgOpConvert(const ImgOpInfo& info, ImgOpCtx& ctx, const Limg* src, Limg* dst);
void ImgDone(ImgOpCtx& ctx);

// The record's block holds Width × Height × BytesPP bytes (false for an
// empty record or a block that is gone or too small).
bool ImgHasPixels(const Limg& img);
// Fails the running operation unless the record has pixels: 2001 for an
// empty record (as allocating its size would), 6000 for one whose block is
// gone or too small for its size fields.
void ImgCheckPixels_(const Limg& img);
