// PNG files as optimisers and editors write them: low-bit grey, alpha and
// transparent colours, read as Pillow shows them over black.

#include <gtest/gtest.h>

#include "formats/pictures_support.h"
#include "support/TempMachine.h"

namespace {

using pictures::ExpectSameAsPillow;

TEST(PicturesPng, EveryGreyDepthAndTransparencyMatchesPillow)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("png");
    MAKE_WITH_PYTHON(
        "from PIL import Image\n"
        "import struct, zlib\n"
        "def chunk(kind, data):\n"
        "    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))\n"
        "def grey_png(path, w, h, bits, values):\n"
        "    raw = b''\n"
        "    for y in range(h):\n"
        "        row, acc, n = bytearray(), 0, 0\n"
        "        for x in range(w):\n"
        "            acc, n = (acc << bits) | values[y * w + x], n + bits\n"
        "            if n == 8: row.append(acc); acc, n = 0, 0\n"
        "        if n: row.append(acc << (8 - n))\n"
        "        raw += b'\\0' + bytes(row)\n"
        "    ihdr = struct.pack('>IIBBBBB', w, h, bits, 0, 0, 0, 0)\n"
        "    open(path, 'wb').write(b'\\x89PNG\\r\\n\\x1a\\n' + chunk(b'IHDR', ihdr) +\n"
        "        chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))\n"
        "d = '" +
        dir +
        "/'\n"
        "w, h = 37, 23\n"
        "grey = bytes((x * 7 + y * 13) % 256 for y in range(h) for x in range(w))\n"
        "rgba = bytes((x * 9 + c * 80 + y * 5) % 256 if c < 3 else (x * 17 + y * 3) % 256\n"
        "             for y in range(h) for x in range(w) for c in range(4))\n"
        "L = Image.frombytes('L', (w, h), grey)\n"
        "L.convert('1').save(d + 'grey1.png')\n"
        "L.save(d + 'grey8.png')\n"
        "for bits in (2, 4):\n"
        "    grey_png(d + 'grey%d.png' % bits, w, h, bits, [v >> (8 - bits) for v in grey])\n"
        "L.save(d + 'grey8_trns.png', transparency=91)\n"
        "Image.frombytes('RGBA', (w, h), rgba).save(d + 'rgba.png')\n"
        "Image.frombytes('RGBA', (w, h), rgba).convert('LA').save(d + 'grey_alpha.png')\n"
        "rgb = Image.frombytes('RGBA', (w, h), rgba).convert('RGB')\n"
        "rgb.save(d + 'rgb_trns.png', transparency=rgb.getpixel((3, 4)))\n"
        "p = rgb.quantize(16)\n"
        "p.save(d + 'palette_trns.png', transparency=bytes(range(0, 256, 16)))\n"
        "p.save(d + 'palette.png')\n");
    for (const char* name : {"grey1.png", "grey2.png", "grey8.png", "grey4.png", "grey8_trns.png", "rgba.png",
                             "grey_alpha.png", "rgb_trns.png", "palette_trns.png", "palette.png"})
        ExpectSameAsPillow(dir + "/" + name);
}

TEST(PicturesPng, SixteenBitAlphaFromImageMagickIsLaidOverBlack)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("png16");
    if (std::system(("convert -size 19x11 gradient:'rgba(255,0,0,0.2)-rgba(0,90,255,0.9)' -depth 16 '" + dir +
                     "/rgba16.png' 2>/dev/null")
                        .c_str()) != 0)
        GTEST_SKIP() << "ImageMagick is not installed";
    Limg img;
    ImgLoad(dir + "/rgba16.png", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(img.Bits, 24);
    ImgFree(img);
    ExpectSameAsPillow(dir + "/rgba16.png");
}

}  // namespace

namespace {

TEST(PicturesAlpha, TargaWithAlphaIsLaidOverBlack)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("tga");
    MAKE_WITH_PYTHON(
        "from PIL import Image\n"
        "d = '" +
        dir +
        "/'\n"
        "w, h = 13, 9\n"
        "im = Image.frombytes('RGBA', (w, h), bytes((x * 19 + c * 70 + y * 3) % 256 if c < 3\n"
        "    else (x * 29 + y * 7) % 256 for y in range(h) for x in range(w) for c in range(4)))\n"
        "im.save(d + 'alpha.tga')\n"
        "im.save(d + 'alpha_rle.tga', compression='tga_rle')\n");
    pictures::ExpectSameAsPillow(dir + "/alpha.tga");
    pictures::ExpectSameAsPillow(dir + "/alpha_rle.tga");
}

}  // namespace
