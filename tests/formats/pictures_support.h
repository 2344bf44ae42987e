#pragma once
// The picture tests compare what the import reads with Pillow's decode of
// the same file, turned as its EXIF orientation says and with any alpha laid
// over black (rounded to nearest), as RGB bytes.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "image/ImgBasic.h"
#include "support/HostTools.h"

namespace pictures {

using hosttools::Bytes;

struct Rgb {
    int Width = 0;
    int Height = 0;
    Bytes Pixels;  // red, green, blue
};

// Pillow's picture; false when Pillow cannot read it.
inline bool PillowRgb(const std::string& path, Rgb& out)
{
    const std::string script =
        "from PIL import Image, ImageOps\n"
        "im = Image.open('" +
        path +
        "')\n"
        "im = ImageOps.exif_transpose(im)\n"
        "if im.mode in ('RGBA', 'LA', 'PA') or 'transparency' in im.info:\n"
        "    d = im.convert('RGBA').tobytes()\n"
        "    o = bytearray()\n"
        "    for i in range(0, len(d), 4):\n"
        "        a = d[i + 3]\n"
        "        o += bytes(((d[i] * a + 127) // 255, (d[i + 1] * a + 127) // 255, (d[i + 2] * a + 127) // 255))\n"
        "else:\n"
        "    o = im.convert('RGB').tobytes()\n"
        "print(im.size[0], im.size[1])\n"
        "print(bytes(o).hex())\n";
    std::string text;
    if (!hosttools::RunPython(script, text)) return false;
    std::istringstream in(text);
    std::string hex;
    in >> out.Width >> out.Height >> hex;
    out.Pixels = hosttools::FromHex(hex);
    return true;
}

// Our picture through ImgLoad, as RGB bytes; the error code, 0 on success.
inline int32_t OurRgb(const std::string& path, Rgb& out)
{
    Limg img;
    ImgLoad(path, img);
    const int32_t code = ErrGet();
    if (code == 0) {
        out.Width = img.Width;
        out.Height = img.Height;
        out.Pixels.clear();
        Limg wide;
        const Limg* src = &img;
        if (img.Bits != 8 && img.Bits != 24) {
            ImgConvBit(img, wide, 24);
            src = &wide;
        }
        const int64_t n = static_cast<int64_t>(src->Width) * src->Height;
        for (int64_t i = 0; i < n; ++i) {
            const uint8_t* bgr = src->Bits == 8 ? src->Palette[src->Data[i]] : src->Data + i * 3;
            out.Pixels.insert(out.Pixels.end(), {bgr[2], bgr[1], bgr[0]});
        }
        ImgFree(wide);
    }
    ImgFree(img);
    ErrClear();
    return code;
}

// Runs a Pillow script that makes the test's pictures; skips without Pillow.
#define MAKE_WITH_PYTHON(script)                                                         \
    do {                                                                                 \
        if (!hosttools::HavePillow()) GTEST_SKIP() << "Pillow is not installed";         \
        std::string made_;                                                               \
        ASSERT_TRUE(hosttools::RunPython(script, made_)) << "the picture script failed"; \
    } while (0)

// Our decode equals Pillow's, pixel for pixel.
inline void ExpectSameAsPillow(const std::string& path)
{
    SCOPED_TRACE(path);
    Rgb ours, theirs;
    ASSERT_TRUE(PillowRgb(path, theirs));
    ASSERT_EQ(OurRgb(path, ours), 0);
    EXPECT_EQ(ours.Width, theirs.Width);
    EXPECT_EQ(ours.Height, theirs.Height);
    ASSERT_EQ(ours.Pixels.size(), theirs.Pixels.size());
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < ours.Pixels.size(); ++i)
        if (ours.Pixels[i] != theirs.Pixels[i] && differ++ == 0) first = i;
    EXPECT_EQ(differ, 0u) << "first at byte " << first << ": ours " << int(ours.Pixels[first]) << ", Pillow's "
                          << int(theirs.Pixels[first]);
}

// A folder of its own for one test's pictures.
inline std::string PictureFolder(const std::string& name)
{
    const std::string folder = testing::TempDir() + "lum_pictures_" + std::to_string(::getpid()) + "_" + name;
    std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
    return folder;
}

}  // namespace pictures
