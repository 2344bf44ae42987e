#include "app/BootScreen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/Composer.h"
#include "app/Import.h"
#include "formats/FFBasic.h"
#include "formats/FormatTable.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "image/PalOpt.h"
#include "platform/Files.h"

namespace {

constexpr int32_t BmpHeaderBytes = 54;
constexpr int32_t InfoHeaderSize = 40;
// The band's darkest entry keeps this share of the colour, so the bar never
// turns black.
constexpr double BandFloor = 0.25;
// A colour whose channels differ by less than this counts as grey.
constexpr int32_t GreyChroma = 48;
constexpr uint8_t FallbackBand[3] = {40, 100, 252};

uint32_t U32At(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The 54 header bytes of an 8-bit BMP file; false for anything else.
bool ReadBmpHeader(const std::string& path, uint8_t (&header)[BmpHeaderBytes])
{
    const platform::FileDescriptor fd = platform::OpenExisting(path, platform::Access::Read);
    if (fd == platform::NoFile) return false;
    const bool read = platform::ReadSome(fd, header, BmpHeaderBytes) == BmpHeaderBytes;
    platform::CloseFile(fd);
    return read && header[0] == 'B' && header[1] == 'M' && U32At(header + 14) == InfoHeaderSize && header[28] == 8 &&
           header[29] == 0;
}

int32_t Chroma(const uint8_t* bgr)
{
    return std::max({bgr[0], bgr[1], bgr[2]}) - std::min({bgr[0], bgr[1], bgr[2]});
}

}  // namespace

void CyclePalette(uint8_t (&palette)[256][3], int32_t first)
{
    if (first <= 0 || first > 255) return;
    uint8_t wrap[3];
    std::memcpy(wrap, palette[first], 3);
    std::memmove(palette[first], palette[first + 1], static_cast<size_t>(255 - first) * 3);
    std::memcpy(palette[255], wrap, 3);
}

bool ParseBarColor(const std::string& text, uint8_t (&rgb)[3])
{
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (hex.size() != 6) return false;
    for (int32_t i = 0; i < 3; ++i) {
        int32_t v = 0;
        for (int32_t k = 0; k < 2; ++k) {
            const char c = hex[static_cast<size_t>(2 * i + k)];
            int32_t d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0) return false;
            v = v * 16 + d;
        }
        rgb[i] = static_cast<uint8_t>(v);
    }
    return true;
}

void MakeBand(uint8_t (&palette)[256][3], const uint8_t (&rgb)[3])
{
    // A raised cosine over the band: brightest in the middle, equal at both
    // ends, so entry 255 leads smoothly into entry CycleFirst.
    const double pi = std::acos(-1.0);
    for (int32_t k = 0; k < CycleLength; ++k) {
        const double wave = 0.5 - 0.5 * std::cos(2.0 * pi * (k + 0.5) / CycleLength);
        const double share = BandFloor + (1.0 - BandFloor) * wave;
        uint8_t* entry = palette[CycleFirst + k];
        for (int32_t c = 0; c < 3; ++c) {
            const auto level = static_cast<int32_t>(std::lround(rgb[2 - c] * share));
            entry[c] = static_cast<uint8_t>(std::min(level, 255) & 0xFC);
        }
    }
}

void BandColorOf(const Limg& image, int32_t stillEntries, uint8_t (&rgb)[3])
{
    std::memcpy(rgb, FallbackBand, 3);
    if (image.BytesPP != 1 || image.Data == nullptr) return;
    int64_t counts[256] = {};
    const int64_t pixels = static_cast<int64_t>(image.Width) * image.Height;
    for (int64_t i = 0; i < pixels; ++i) ++counts[image.Data[i]];
    int64_t bestScore = 0;
    int32_t best = -1;
    for (int32_t i = 0; i < std::min(stillEntries, 256); ++i) {
        const int32_t chroma = Chroma(image.Palette[i]);
        if (chroma < GreyChroma) continue;
        const int64_t score = counts[i] * chroma;
        if (score > bestScore) {
            bestScore = score;
            best = i;
        }
    }
    if (best < 0) return;
    // Brought to full brightness: the band darkens it itself.
    const uint8_t* bgr = image.Palette[best];
    const int32_t top = std::max({bgr[0], bgr[1], bgr[2]});
    for (int32_t c = 0; c < 3; ++c) rgb[c] = static_cast<uint8_t>(bgr[2 - c] * 255 / top);
}

void AnimateLogo(Limg& image, const std::string& barColor)
{
    if (image.Data == nullptr || image.Width != LogoWidth || image.Height != LogoHeight) {
        ErrSet(6001);
        return;
    }
    ImgConvBit(image, image, 24);
    if (ErrGet() != 0) return;
    ReduceColors(image, CycleFirst);
    if (ErrGet() != 0) return;

    // The dithered mapping may reach an unused (white) entry for a colour
    // outside every box; such pixels go to the nearest still entry.
    uint8_t still[256][3];
    std::memcpy(still, image.Palette, sizeof still);
    for (int32_t i = CycleFirst; i < 256; ++i) std::memcpy(still[i], still[0], 3);
    const int32_t pixels = image.Width * image.Height;
    for (int32_t i = 0; i < pixels; ++i) {
        uint8_t& p = image.Data[i];
        if (p >= CycleFirst) {
            const uint8_t* c = image.Palette[p];
            p = static_cast<uint8_t>(PalNearest(c[2], c[1], c[0], still));
        }
    }

    uint8_t rgb[3];
    if (!ParseBarColor(barColor, rgb)) BandColorOf(image, CycleFirst, rgb);
    MakeBand(image.Palette, rgb);
    // The highest entry on the left: each step hands a colour to the entry
    // below it, so the band moves to the right.
    for (int32_t y = LogoHeight - BarHeight; y < LogoHeight; ++y) {
        uint8_t* row = image.Data + static_cast<size_t>(y) * LogoWidth;
        for (int32_t x = 0; x < LogoWidth; ++x) row[x] = static_cast<uint8_t>(255 - x * CycleLength / LogoWidth);
    }
}

bool MarkCycling(const std::string& path, int32_t first)
{
    uint8_t header[BmpHeaderBytes];
    if (first < 0 || first > 255 || !ReadBmpHeader(path, header)) return false;
    const platform::FileDescriptor fd = platform::OpenExisting(path, platform::Access::ReadWrite);
    if (fd == platform::NoFile) return false;
    // The whole field, so the file stays a valid BMP (important colours
    // no more than the palette holds).
    const uint8_t field[4] = {static_cast<uint8_t>(first), 0, 0, 0};
    bool ok = platform::SeekTo(fd, CycleStartOffset) && platform::WriteSome(fd, field, 4) == 4;
    ok = platform::CloseFile(fd) && ok;
    return ok;
}

int32_t CycleStartOf(const std::string& path)
{
    uint8_t header[BmpHeaderBytes];
    if (!ReadBmpHeader(path, header)) return -1;
    return header[CycleStartOffset];
}

void LoadLogoPicture(const std::string& path, Limg& image)
{
    if (FormatOf(path) == static_cast<uint32_t>(INVALID_HANDLE) && CycleStartOf(path) >= 0) {
        FormatById(FmtBMP)->Load(path, image);
        return;
    }
    ImgLoad(path, image);
}
