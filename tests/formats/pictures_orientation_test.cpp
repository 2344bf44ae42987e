// Phone photos stand up: JPEG files turned by their EXIF orientation (read
// with libexif) and TIFF files by their Orientation tag; TIFF variants the
// strip reader cannot take come through libtiff's RGBA interface.

#include <gtest/gtest.h>

#include "formats/pictures_support.h"
#include "support/TempMachine.h"

namespace {

// A Pillow script that makes a 24 x 16 picture `im` in folder `d`, then runs
// its next lines once for each orientation `o`, with `e` an EXIF block naming it.
std::string TurnedPictures(const std::string& dir)
{
    return "from PIL import Image\n"
           "d = '" +
           dir +
           "/'\n"
           "w, h = 24, 16\n"
           "im = Image.frombytes('RGB', (w, h), bytes((x * 10 + c * 70 + y * 15) % 256\n"
           "    for y in range(h) for x in range(w) for c in range(3)))\n"
           "for o in range(1, 9):\n"
           "    e = Image.Exif()\n"
           "    e[0x0112] = o\n";
}

TEST(PicturesOrientation, JpegTurnsByItsExifOrientationAsPillowDoes)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("exif");
    MAKE_WITH_PYTHON(TurnedPictures(dir) +
                     "    im.save(d + 'o%d.jpg' % o, quality=100, subsampling=0, exif=e.tobytes())\n"
                     "im.save(d + 'plain.jpg', quality=100, subsampling=0)\n"
                     "raw = open(d + 'plain.jpg', 'rb').read()\n"
                     "bad = b'\\xff\\xe1\\x00\\x10Exif\\x00\\x00II*\\x00\\xff\\xff\\xff\\x7f'\n"
                     "open(d + 'damaged.jpg', 'wb').write(raw[:2] + bad + raw[2:])\n");
    for (int o = 1; o <= 8; ++o) {
        const std::string file = dir + "/o" + std::to_string(o) + ".jpg";
        pictures::ExpectSameAsPillow(file);
        TFileInfo info;
        FFInfo(file, info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(info.Picture.Orientation, o);
        EXPECT_EQ(info.Picture.Width, o >= 5 ? 16 : 24) << o;
        EXPECT_EQ(info.Picture.Height, o >= 5 ? 24 : 16) << o;
    }
    // A damaged EXIF block is no orientation: the picture loads as stored.
    pictures::Rgb plain, damaged;
    ASSERT_EQ(pictures::OurRgb(dir + "/plain.jpg", plain), 0);
    ASSERT_EQ(pictures::OurRgb(dir + "/damaged.jpg", damaged), 0);
    EXPECT_EQ(damaged.Width, 24);
    EXPECT_TRUE(damaged.Pixels == plain.Pixels);
}

TEST(PicturesOrientation, PngTurnsByItsExifChunkAsPillowDoes)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("pngexif");
    MAKE_WITH_PYTHON(TurnedPictures(dir) +
                     "    im.save(d + 'o%d.png' % o, exif=e.tobytes())\n"
                     "e = Image.Exif()\n"
                     "e[0x0112] = 6\n"
                     "im.convert('P').save(d + 'pal6.png', exif=e.tobytes())\n"
                     "im.save(d + 'damaged.png', exif=b'II*\\x00\\xff\\xff\\xff\\x7f')\n"
                     // ImageMagick writes the chunk after the pixels.
                     "import struct\n"
                     "raw = open(d + 'o6.png', 'rb').read()\n"
                     "chunks, i = [], 8\n"
                     "while i < len(raw):\n"
                     "    n = struct.unpack('>I', raw[i:i + 4])[0]\n"
                     "    chunks.append(raw[i:i + 12 + n])\n"
                     "    i += 12 + n\n"
                     "exif = [c for c in chunks if c[4:8] == b'eXIf']\n"
                     "rest = [c for c in chunks if c[4:8] != b'eXIf']\n"
                     "open(d + 'trailing6.png', 'wb').write(raw[:8] + b''.join(rest[:-1] + exif + rest[-1:]))\n");
    for (int o = 1; o <= 8; ++o) {
        const std::string file = dir + "/o" + std::to_string(o) + ".png";
        pictures::ExpectSameAsPillow(file);
        TFileInfo info;
        FFInfo(file, info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(info.Picture.Width, o >= 5 ? 16 : 24) << o;
    }
    pictures::ExpectSameAsPillow(dir + "/pal6.png");
    pictures::ExpectSameAsPillow(dir + "/trailing6.png");
    pictures::Rgb damaged;
    ASSERT_EQ(pictures::OurRgb(dir + "/damaged.png", damaged), 0);
    EXPECT_EQ(damaged.Width, 24) << "a damaged block is no orientation";
}

TEST(PicturesOrientation, TiffVariantsLoadAsPillowShowsThem)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("tiff");
    MAKE_WITH_PYTHON(
        "from PIL import Image\n"
        "import subprocess\n"
        "d = '" +
        dir +
        "/'\n"
        "w, h = 21, 13\n"
        "rgba = Image.frombytes('RGBA', (w, h), bytes((x * 11 + c * 60 + y * 17) % 256 if c < 3\n"
        "    else (x * 23 + y * 9) % 256 for y in range(h) for x in range(w) for c in range(4)))\n"
        "rgb = rgba.convert('RGB')\n"
        "rgba.save(d + 'rgba.tif')\n"
        "rgba.convert('LA').save(d + 'grey_alpha.tif')\n"
        "rgb.convert('1').save(d + 'bilevel.tif')\n"
        "rgb.save(d + 'deflate.tif', compression='tiff_adobe_deflate')\n"
        "rgb.save(d + 'turned.tif', tiffinfo={274: 6})\n"
        "rgb.save(d + 'mirrored.tif', tiffinfo={274: 4})\n"
        "rgb.save(d + 'plain.tif')\n"
        "# Pillow turns a TIFF on loading and again in exif_transpose: the\n"
        "# references are turned here once.\n"
        "rgb.transpose(Image.Transpose.ROTATE_270).save(d + 'turned.png')\n"
        "rgb.transpose(Image.Transpose.FLIP_TOP_BOTTOM).save(d + 'mirrored.png')\n"
        "rgb.convert('CMYK').save(d + 'cmyk.tif')\n"
        "for name, args in (('rgb16.tif', ['-depth', '16']),\n"
        "                   ('tiled.tif', ['-define', 'tiff:tile-geometry=16x16']),\n"
        "                   ('planar.tif', ['-interlace', 'plane']),\n"
        "                   ('ycbcr_jpeg.tif', ['-compress', 'JPEG'])):\n"
        "    subprocess.run(['convert', d + 'plain.tif'] + args + [d + name], check=True)\n");
    for (const char* name : {"rgba.tif", "grey_alpha.tif", "bilevel.tif", "deflate.tif", "tiled.tif", "planar.tif"})
        pictures::ExpectSameAsPillow(dir + "/" + name);
    for (const char* name : {"turned", "mirrored"}) {
        SCOPED_TRACE(name);
        pictures::Rgb ours, reference;
        ASSERT_EQ(pictures::OurRgb(dir + "/" + name + ".tif", ours), 0);
        ASSERT_TRUE(pictures::PillowRgb(dir + "/" + name + ".png", reference));
        EXPECT_EQ(ours.Width, reference.Width);
        EXPECT_TRUE(ours.Pixels == reference.Pixels);
    }
    // 16-bit samples are cut to 8 as Pillow does not read them; CMYK and
    // JPEG in TIFF are converted by libtiff's own rules: they load whole.
    for (const char* name : {"rgb16.tif", "cmyk.tif", "ycbcr_jpeg.tif"}) {
        SCOPED_TRACE(name);
        pictures::Rgb ours;
        ASSERT_EQ(pictures::OurRgb(dir + "/" + name, ours), 0);
        EXPECT_EQ(ours.Width, 21);
        EXPECT_EQ(ours.Height, 13);
    }
    TFileInfo info;
    FFInfo(dir + "/turned.tif", info);
    EXPECT_EQ(info.Picture.Orientation, 6);
    EXPECT_EQ(info.Picture.Width, 13);
    FFInfo(dir + "/deflate.tif", info);
    EXPECT_EQ(info.Picture.Compression, "Deflate compression (Adobe)");
}

}  // namespace
