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
