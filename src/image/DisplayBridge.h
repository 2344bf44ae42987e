#pragma once
// Draws an image onto a device context, realising a logical palette for it on
// 256-colour displays. Neither operation reports errors of its own.

#include <cstdint>

#include "image/ImgBasic.h"
#include "platform/Gdi.h"

void PalPut(const uint8_t (&palette)[256][3], platform::HDC dc);
void ImgPut(const Limg& img, platform::HDC dc, int32_t x, int32_t y);
