#pragma once
// What a writer takes from the name it is given: the variant of its format
// that the extension stands for (.pgm a grey map, .bw a grey SGI file, .dcx
// a multi-page PCX file), and the grey levels that the grey variants write.

#include <cstdint>
#include <string>

#include "image/ImgBasic.h"

// True when the name ends in the extension (".pgm"), a-z without regard to case.
inline bool NameHasExtension(const std::string& name, const std::string& extension)
{
    if (name.size() < extension.size()) return false;
    const size_t at = name.size() - extension.size();
    for (size_t i = 0; i < extension.size(); ++i) {
        char c = name[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != extension[i]) return false;
    }
    return true;
}

// The luma of ITU-R 601 in 16-bit fixed point, as Pillow's "L" conversion
// computes it, so that a grey entry (v, v, v) gives v back.
inline uint8_t GreyLevel(uint8_t red, uint8_t green, uint8_t blue)
{
    return static_cast<uint8_t>((red * 19595u + green * 38470u + blue * 7471u + 0x8000u) >> 16);
}

// Row y of a 24-bit picture (blue, green, red pixels) as grey levels.
inline void GreyRow(const Limg& img, int32_t y, uint8_t* out)
{
    const uint8_t* p = img.Data + static_cast<size_t>(y) * img.Width * 3;
    for (int32_t k = 0; k < img.Width; ++k, p += 3) out[k] = GreyLevel(p[2], p[1], p[0]);
}
