#pragma once
// Palette reduction: a box split of a 6-bit-per-channel colour cube, each
// box averaged to one palette colour, and mapping of images onto the result
// with or without error diffusion. One work block per process, from PalInit
// to PalDone; the histogram doubles as the colour-to-index lookup table.

#include <cstdint>

#include "image/ImgBasic.h"

inline constexpr int32_t PalCubeCells = 64 * 64 * 64;
inline constexpr int32_t PalMaxColors = 256;

// One box of the split, bounds in 6-bit levels.
struct PalBox {
    int32_t RMin, RMax, GMin, GMax, BMin, BMax;
    int32_t RExt, GExt, BExt;
    uint8_t Splittable;
    int32_t Weight;
    int32_t Occupied;
};

void PalInit();
void PalBegin();
void PalHistogram(const Limg& img);
void PalReduce(int32_t count);
// 8-bit sources are remapped through their palette; 24-bit sources are
// mapped with or without error diffusion (which changes the source's pixels);
// other depths leave the target untouched.
void PalMap(Limg& source, Limg& target, bool dither);
void PalDone();
int32_t PalNearest(int32_t red, int32_t green, int32_t blue, const uint8_t (&palette)[256][3]);
// Maps a 24-bit image in place onto the palette; the image becomes 8-bit.
void PalMapFixed(Limg& img, const uint8_t (&palette)[256][3]);
void PalQuantize(const Limg& source, Limg& target);

// Cell of a colour: R6 + 64 × G6 + 4096 × B6.
inline int32_t PalCell(uint8_t red, uint8_t green, uint8_t blue)
{
    return (red >> 2) | ((green >> 2) << 6) | ((blue >> 2) << 12);
}
// The amount of a channel error passed to a neighbour of the given weight
// (1, 3, 5 or 7 sixteenths).
int32_t PalDiffusion(int32_t weight, int32_t error);

// Read access to the work block (null when none is allocated).
const int32_t* PalHistogramCells();
const uint8_t (*PalResultPalette())[3];
int32_t PalOccupiedCount();
int32_t PalBoxCount();
const PalBox* PalBoxes();
