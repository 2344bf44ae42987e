#pragma once
// An area-averaging fit for the VGA-true import: every output pixel is the
// exact average of the canvas area it covers, so a photo shrunk many times
// keeps its mean colours and no aliasing reaches the palette.

#include <cstdint>

#include "image/ImgBasic.h"

// Fits a canvasWidth × canvasHeight canvas, on which the 24-bit src lies at
// (x, y) and the rest is black, into a new width × height 24-bit image in
// dst. A negative position crops the source, as ImgResampleRect_ has it.
void ImgBoxFit(const Limg& src, Limg& dst, int32_t width, int32_t height, int32_t canvasWidth, int32_t canvasHeight,
               int32_t x, int32_t y);
