#pragma once
// Colour reduction for the boot screen's VGA palette: libimagequant with its
// own dithering, posterised to the 6 bits a channel that the VGA DAC keeps,
// so no two entries show as one colour and none is spent on a difference the
// screen cannot show.

#include <cstdint>

#include "image/ImgBasic.h"

// The bits the DAC drops from each 8-bit palette channel.
inline constexpr int32_t VgaDroppedBits = 2;

// Makes a 24-bit image (an 8-bit one is first expanded through its palette)
// an 8-bit image of at most `colours` (2..256) palette entries. Every entry
// is a multiple of 4 in each channel, the darkest entry is index 0, and the
// entries from `colours` up are white, as the classic reduction leaves them.
void PalReduceVga(Limg& image, int32_t colours);
