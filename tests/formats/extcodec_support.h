#pragma once
// Helpers of the JPEG, PNG and TIFF tests: host files, and Pillow as an
// independent reader and writer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/HostTools.h"

namespace extcodec {

using hosttools::Bytes;
using hosttools::FromHex;
using hosttools::HavePillow;
using hosttools::ReadHost;
using hosttools::RunPython;
using hosttools::WriteHost;

#define REQUIRE_PILLOW()                                                                        \
    do {                                                                                        \
        if (!extcodec::HavePillow()) GTEST_SKIP() << "Pillow is not installed for " LUM_PYTHON; \
    } while (0)

// Decodes a file with Pillow: "mode width height" on the first line, then
// the palette (768 bytes as hex, or "-") and the pixel bytes as hex.
struct PillowPicture {
    std::string Mode;
    int Width = 0;
    int Height = 0;
    Bytes Palette;
    Bytes Pixels;
};

inline bool PillowRead(const std::string& path, PillowPicture& pic)
{
    std::string out;
    std::string script =
        "from PIL import Image\n"
        "im = Image.open('" +
        path +
        "')\n"
        "im.load()\n"
        "print(im.mode, im.size[0], im.size[1])\n"
        "p = im.getpalette() if im.mode == 'P' else None\n"
        "print(bytes(p).hex() if p else '-')\n"
        "print(im.tobytes().hex())\n";
    if (!RunPython(script, out)) return false;
    std::istringstream in(out);
    std::string palette, pixels;
    in >> pic.Mode >> pic.Width >> pic.Height >> palette >> pixels;
    pic.Palette = palette == "-" ? Bytes{} : FromHex(palette);
    pic.Pixels = FromHex(pixels);
    return true;
}

inline std::string ToHex(const uint8_t* data, size_t size)
{
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

// Writes a picture with Pillow from raw bytes in the given mode.
inline bool PillowWrite(const std::string& path, const std::string& mode, int width, int height, const Bytes& raw,
                        const std::string& saveArgs = "", const Bytes& palette = {})
{
    std::string out;
    std::string script =
        "from PIL import Image\n"
        "im = Image.frombytes('" +
        mode + "', (" + std::to_string(width) + ", " + std::to_string(height) + "), bytes.fromhex('" +
        ToHex(raw.data(), raw.size()) + "'))\n";
    if (!palette.empty()) script += "im.putpalette(bytes.fromhex('" + ToHex(palette.data(), palette.size()) + "'))\n";
    script += "im.save('" + path + "'" + (saveArgs.empty() ? "" : ", " + saveArgs) + ")\n";
    return RunPython(script, out);
}

}  // namespace extcodec
