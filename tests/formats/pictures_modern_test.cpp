// WebP, HEIF/HEIC and AVIF pictures as the tools people use make them: read
// through libwebp and libheif. The HEIC and AVIF cases prove that the
// decoders the setup installs are really there.

#include <gtest/gtest.h>

#include "formats/pictures_support.h"
#include "support/TempMachine.h"

namespace {

bool Shell(const std::string& command)
{
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

TEST(PicturesModern, WebpStillsMatchPillowAndAnimationsAreClips)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("webp");
    MAKE_WITH_PYTHON(
        "from PIL import Image\n"
        "d = '" +
        dir +
        "/'\n"
        "w, h = 33, 19\n"
        "rgba = Image.frombytes('RGBA', (w, h), bytes((x * 7 + c * 50 + y * 13) % 256 if c < 3\n"
        "    else (x * 19 + y * 11) % 256 for y in range(h) for x in range(w) for c in range(4)))\n"
        "rgba.save(d + 'rgba.png')\n"
        "rgba.convert('RGB').save(d + 'rgb.png')\n");
    const std::string cd = "cd '" + dir + "' && ";
    if (!Shell(cd + "cwebp -q 80 rgb.png -o lossy.webp && cwebp -lossless rgba.png -o alpha.webp && "
                    "cwebp -q 70 rgba.png -o lossy_alpha.webp && "
                    "img2webp -lossless rgb.png -d 100 rgba.png -o anim.webp"))
        GTEST_SKIP() << "the webp tools are not installed";
    for (const char* name : {"lossy.webp", "alpha.webp", "lossy_alpha.webp"})
        pictures::ExpectSameAsPillow(dir + "/" + name);

    TUniInfo info;
    ASSERT_TRUE(UniInfo(dir + "/anim.webp", info, false));
    EXPECT_EQ(info.Format, FmtWEBP);
    EXPECT_EQ(info.Picture.Frames, 2);
    EXPECT_EQ(info.Kind, 3);  // moving pictures: a clip for the import
    pictures::Rgb first, still;
    ASSERT_EQ(pictures::OurRgb(dir + "/anim.webp", first), 0);
    ASSERT_EQ(pictures::OurRgb(dir + "/rgb.png", still), 0);
    EXPECT_TRUE(first.Pixels == still.Pixels);

    // A WebP named .jpg, as pictures saved from the web often are.
    hosttools::WriteHost(dir + "/saved.jpg", hosttools::ReadHost(dir + "/alpha.webp"));
    pictures::Rgb named, real;
    ASSERT_EQ(pictures::OurRgb(dir + "/saved.jpg", named), 0);
    ASSERT_EQ(pictures::OurRgb(dir + "/alpha.webp", real), 0);
    EXPECT_TRUE(named.Pixels == real.Pixels);
}

TEST(PicturesModern, HeicAndAvifDecodeAsLibheifsOwnConverterShowsThem)
{
    TempMachine machine;
    const std::string dir = pictures::PictureFolder("heif");
    if (!Shell("cd '" + dir + "' && convert -size 40x30 gradient:red-blue -swirl 60 in.png"))
        GTEST_SKIP() << "ImageMagick is not installed";
    if (!Shell("command -v heif-enc && command -v heif-convert && command -v ffmpeg"))
        GTEST_SKIP() << "heif-enc, heif-convert or ffmpeg is not installed";
    // heif-enc's AV1 encoder is not usable on Debian 12: ffmpeg makes the AVIF.
    ASSERT_TRUE(Shell("cd '" + dir +
                      "' && heif-enc -q 90 in.png -o photo.heic && "
                      "ffmpeg -y -i in.png -c:v libaom-av1 -still-picture 1 photo.avif && "
                      "heif-convert photo.heic heic.png && heif-convert photo.avif avif.png"));
    const std::pair<const char*, uint32_t> files[] = {{"photo.heic", FmtHEIF}, {"photo.avif", FmtAVIF}};
    for (const auto& [name, format] : files) {
        SCOPED_TRACE(name);
        TFileInfo info;
        FFInfo(dir + "/" + name, info);
        ASSERT_EQ(ErrGet(), 0);
        EXPECT_EQ(info.Format, format);
        EXPECT_EQ(info.Picture.Width, 40);
        EXPECT_EQ(info.Picture.Height, 30);
        EXPECT_TRUE(info.Picture.Loadable);
        pictures::Rgb ours, reference;
        ASSERT_EQ(pictures::OurRgb(dir + "/" + name, ours), 0);
        const std::string png = std::string(format == FmtHEIF ? "heic" : "avif") + ".png";
        ASSERT_TRUE(pictures::PillowRgb(dir + "/" + png, reference));
        EXPECT_EQ(ours.Width, reference.Width);
        EXPECT_TRUE(ours.Pixels == reference.Pixels);
    }
}

}  // namespace
