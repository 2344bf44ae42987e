// GIF files as editors and the web arrange them: extension blocks between a
// frame's control block and its image, frames without control blocks, and
// image data that breaks off.

#include <gtest/gtest.h>

#include "formats/pictures_support.h"
#include "support/TempMachine.h"

namespace {

// Rewrites a GIF with comment, application (NETSCAPE and XMP) and unknown
// extensions before every image descriptor, after its control block. Their
// data holds the bytes a search for blocks would take for an image
// separator or a control block.
constexpr const char* Rearranged =
    "def blocks(data, at):\n"
    "    while data[at]:\n"
    "        at += data[at] + 1\n"
    "    return at + 1\n"
    "def rearrange(src, dst, drop_controls=False):\n"
    "    d = open(src, 'rb').read()\n"
    "    at = 13 + (3 << ((d[10] & 7) + 1) if d[10] & 0x80 else 0)\n"
    "    out = bytearray(d[:at])\n"
    "    noise = b'\\x2c\\x21\\xf9\\x04, a comma, and more'\n"
    "    extra = (b'\\x21\\xfe' + bytes([len(noise)]) + noise + b'\\x00' +\n"
    "             b'\\x21\\xff\\x0bXMP DataXMP' + bytes([len(noise)]) + noise + b'\\x00' +\n"
    "             b'\\x21\\x77\\x03abc\\x00')\n"
    "    while d[at] != 0x3b:\n"
    "        if d[at] == 0x21:\n"
    "            end = blocks(d, at + 2)\n"
    "            if not (drop_controls and d[at + 1] == 0xf9):\n"
    "                out += d[at:end]\n"
    "            at = end\n"
    "        else:\n"
    "            desc = 10 + (3 << ((d[at + 9] & 7) + 1) if d[at + 9] & 0x80 else 0)\n"
    "            end = blocks(d, at + desc + 1)\n"
    "            out += extra + d[at:end]\n"
    "            at = end\n"
    "    open(dst, 'wb').write(bytes(out) + b'\\x3b')\n";

TEST(PicturesGif, AnimationsAreRecognisedHoweverTheirBlocksStand)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("gif");
    MAKE_WITH_PYTHON(std::string("from PIL import Image\n") + Rearranged + "d = '" + dir +
                     "/'\n"
                     "w, h = 23, 17\n"
                     "frames = [Image.frombytes('L', (w, h), bytes((x * 5 + y * 9 + k * 60) % 256\n"
                     "    for y in range(h) for x in range(w))).convert('P') for k in range(3)]\n"
                     "frames[0].save(d + 'anim.gif', save_all=True, append_images=frames[1:], duration=100,\n"
                     "               loop=0, comment=b'made, with commas')\n"
                     "frames[0].save(d + 'still.gif')\n"
                     "rearrange(d + 'anim.gif', d + 'blocks.gif')\n"
                     "rearrange(d + 'anim.gif', d + 'nodelay.gif', drop_controls=True)\n"
                     "rearrange(d + 'still.gif', d + 'still_blocks.gif')\n");
    for (const char* name : {"anim.gif", "blocks.gif", "nodelay.gif"}) {
        SCOPED_TRACE(name);
        TUniInfo info;
        ASSERT_TRUE(UniInfo(dir + "/" + name, info, false));
        EXPECT_EQ(info.Picture.Frames, 3);
        EXPECT_EQ(info.Kind, 3);
    }
    // The first frame loads past the blocks as Pillow shows it.
    pictures::ExpectSameAsPillow(dir + "/blocks.gif");
    pictures::ExpectSameAsPillow(dir + "/still_blocks.gif");
    TUniInfo still;
    ASSERT_TRUE(UniInfo(dir + "/still_blocks.gif", still, false));
    EXPECT_EQ(still.Kind, 1);
}

TEST(PicturesGif, ImageDataThatBreaksOffIsTold)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("gifcut");
    MAKE_WITH_PYTHON(
        "from PIL import Image\n"
        "d = '" +
        dir +
        "/'\n"
        "im = Image.frombytes('L', (64, 48), bytes((x * x + y * 7) % 256 for y in range(48)\n"
        "    for x in range(64))).convert('P')\n"
        "im.save(d + 'whole.gif')\n"
        "data = open(d + 'whole.gif', 'rb').read()\n"
        "open(d + 'cut.gif', 'wb').write(data[:len(data) * 2 // 3])\n");
    Limg img;
    ImgLoad(dir + "/whole.gif", img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(LoadDamage(), "");
    ImgFree(img);
    ImgLoad(dir + "/cut.gif", img);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(LoadDamage(), "GIF image data ends early");
    ImgFree(img);
    TUniInfo info;
    ASSERT_TRUE(UniInfo(dir + "/cut.gif", info, false));
    EXPECT_EQ(info.Picture.Frames, 1);
}

}  // namespace
