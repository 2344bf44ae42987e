#pragma once
// Animated start-up logos. Windows 95/98 rotate the palette entries from the
// one named in byte 0x32 of LOGO.SYS (the low byte of the BMP header's
// "important colours") up to 255 while the system starts; 0 there means a
// still logo. Windows' own logo cycles the last 20 entries under a bar at the
// bottom of the screen, and so do ours.

#include <cstdint>
#include <string>

#include "image/ImgBasic.h"

inline constexpr int32_t CycleFirst = 236;
inline constexpr int32_t CycleLength = 256 - CycleFirst;
inline constexpr int32_t CycleStartOffset = 0x32;
// The bar of cycled entries: the bottom rows of the logo, full width.
inline constexpr int32_t BarHeight = 10;
// One cycle step every this many milliseconds: an approximation, the real
// rate depends on the machine.
inline constexpr int32_t CycleStepMs = 100;

// One step of the cycle: each entry from `first` to 254 takes the colour of
// the entry above it, and 255 takes the old colour of `first`.
void CyclePalette(uint8_t (&palette)[256][3], int32_t first);
// "RRGGBB" (hex, an optional leading '#') as red, green, blue.
bool ParseBarColor(const std::string& text, uint8_t (&rgb)[3]);
// Fills the cycled entries with a smooth band around the colour that wraps
// around, so the rotation shows no seam. Entries are multiples of 4, as the
// VGA DAC shows them.
void MakeBand(uint8_t (&palette)[256][3], const uint8_t (&rgb)[3]);
// The colour the band is built around when none is chosen: the picture's
// most colourful frequent entry, or a blue for a picture without colour.
void BandColorOf(const Limg& image, int32_t stillEntries, uint8_t (&rgb)[3]);
// Makes an 8-bit 320 x 400 logo picture animated: the picture reduced to
// the still entries, the band in the cycled ones (around barColor, or a
// colour of the picture when it is empty or not a colour), the bar drawn.
// Library errors are left in the error state.
void AnimateLogo(Limg& image, const std::string& barColor);

// Writes the first cycled index into a BMP file's important-colours field,
// whose low byte is byte 0x32. False when the file is not an 8-bit BMP or
// cannot be written.
bool MarkCycling(const std::string& path, int32_t first);
// The first cycled entry of an 8-bit BMP file (a logo file): 0 for a still
// one; -1 when the file is not an 8-bit BMP.
int32_t CycleStartOf(const std::string& path);
// Loads a picture; a logo file (.SYS, whose extension names no format) that
// holds a BMP is loaded by the BMP reader.
void LoadLogoPicture(const std::string& path, Limg& image);
