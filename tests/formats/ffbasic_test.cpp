#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/FFBasic.h"
#include "formats/FormatTable.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t NotFound = static_cast<uint32_t>(INVALID_HANDLE);

// An uncompressed 8-bit BMP with a 4-entry palette; `extra` bytes pad the file.
Bytes SmallBmp(int32_t width, int32_t height, size_t extra = 0)
{
    const int32_t line = (width + 3) / 4 * 4;
    Bytes b(54 + 16 + static_cast<size_t>(line) * height + extra, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutU32LE(&b[2], static_cast<uint32_t>(b.size()));
    PutU32LE(&b[10], 70);
    PutU32LE(&b[14], 40);
    PutU32LE(&b[18], static_cast<uint32_t>(width));
    PutU32LE(&b[22], static_cast<uint32_t>(height));
    PutU16LE(&b[26], 1);
    PutU16LE(&b[28], 8);
    return b;
}

class FFBasicTest : public ::testing::Test {
protected:
    void SetUp() override { ErrResetState(); }
    void TearDown() override { ErrResetState(); }
    TempMachine machine;
};

TEST(FormatLookup, ExtensionsAndPartialExtensions)
{
    EXPECT_EQ(FormatOf("photo.JPG"), FmtJPEG);
    EXPECT_EQ(FormatOf("photo.jpg"), FmtJPEG);
    EXPECT_EQ(FormatOf("x.jp"), FmtJPEG);
    EXPECT_EQ(FormatOf("x.J"), FmtJPEG);
    EXPECT_EQ(FormatOf("x.pn"), FmtPNG);
    EXPECT_EQ(FormatOf("x.b"), FmtBMP);
    EXPECT_EQ(FormatOf("x.r"), FmtBMP);
    EXPECT_EQ(FormatOf("x.t"), FmtTGA);
    EXPECT_EQ(FormatOf("x.v"), FmtTGA);
    EXPECT_EQ(FormatOf("x.s"), FmtRGB);
    EXPECT_EQ(FormatOf("C:\\PICS\\A.PGM"), FmtPNM);
    EXPECT_EQ(FormatOf("C:\\LOGO.SYS"), NotFound);
    EXPECT_EQ(FormatOf("C:\\WINDOWS\\README"), NotFound);
    EXPECT_EQ(FormatOf("C:\\my.pics\\README"), NotFound);
    EXPECT_EQ(FormatOf("x.xyz"), NotFound);
    EXPECT_EQ(FormatOf(""), NotFound);
}

TEST(FormatLookup, EveryListedExtensionMapsToItsRow)
{
    const std::vector<std::pair<const char*, uint32_t>> rows = {{".avi", FmtAVI},
                                                                {".dib.bmp.rle", FmtBMP},
                                                                {".fli.flc", FmtFLIC},
                                                                {".gif.giff", FmtGIF},
                                                                {".hav", FmtHAV},
                                                                {".jpg.jpeg.jif.jfif.jpe", FmtJPEG},
                                                                {".pcx.pcc.dcx", FmtPCX},
                                                                {".png", FmtPNG},
                                                                {".tga.pix.bpx.vda.icb.vst", FmtTGA},
                                                                {".tif.tim.tiff", FmtTIFF},
                                                                {".mpg.mpeg.m1v.m2v.mpe", FmtMPEG},
                                                                {".wav", FmtWAV},
                                                                {".rgb.bw.iris.sgi", FmtRGB},
                                                                {".ras.sun", FmtRAS},
                                                                {".pnm.ppm.pgm.pbm.pam.rpnm.rppm.rpgm", FmtPNM}};
    for (const auto& [list, id] : rows) {
        std::string exts = list;
        size_t pos = 0;
        while (pos < exts.size()) {
            size_t next = exts.find('.', pos + 1);
            if (next == std::string::npos) next = exts.size();
            const std::string name = "file" + exts.substr(pos, next - pos);
            EXPECT_EQ(FormatOf(name), id) << name;
            pos = next;
        }
    }
}

TEST(Filters, OpenAndSaveStringsForTheApplication)
{
    EXPECT_EQ(OpenFilter(1, 1),
              "All supported formats|*.dib;*.bmp;*.rle;*.gif;*.giff;*.jpg;*.jpeg;*.jif;*.jfif;*.jpe;*.J;*.pcx;*.pcc;*"
              ".dcx;*.png;*.tga;*.pix;*.bpx;*.vda;*.icb;*.vst;*.tif;*.tim;*.tiff;*.rgb;*.bw;*.iris;*.sgi;*.ras;*.sun;*"
              ".pnm;*.ppm;*.pgm;*.pbm;*.pam;*.rpnm;*.rppm;*.rpgm;*.webp;*.heic;*.heif;*.hif;*.avif|BMP, Windows "
              "Device Independent Bitmap|*.dib;*.bmp;*.rle|GIF, "
              "Graphics Interchange Format|*.gif;*.giff|JPEG-JFIF, Joint Photographic Expert "
              "Group|*.jpg;*.jpeg;*.jif;*.jfif;*.jpe;*.J|PCX, Zsoft Paintbrush|*.pcx;*.pcc;*.dcx|PNG, Portable "
              "Network Graphics|*.png|PNM, Portable Image|*.pnm;*.ppm;*.pgm;*.pbm;*.pam;*.rpnm;*.rppm;*.rpgm|RAS, Sun "
              "Raster "
              "Image|*.ras;*.sun|RGB, Silicon Graphics Image|*.rgb;*.bw;*.iris;*.sgi|TGA, Truevision "
              "Targa|*.tga;*.pix;*.bpx;*.vda;*.icb;*.vst|TIFF, Tagged Image File Format|*.tif;*.tim;*.tiff|"
              // The read-only formats follow the others, in table order.
              "WebP, Web Picture|*.webp|HEIF/HEIC, High Efficiency Image File|*.heic;*.heif;*.hif|AVIF, AV1 Image "
              "File|*.avif|Any file (*.*)|*.*");
    EXPECT_EQ(SaveFilter(1, 1),
              "All supported formats|*.bmp;*.dib;*.jpg;*.pcx;*.png;*.tga;*.rgb;*.ras;*.ppm|BMP, Windows "
              "Bitmap|*.bmp|DIB, Windows Device Independent Bitmap|*.dib|JPEG-JFIF, Joint Photographic Expert "
              "Group|*.jpg|PCX, Zsoft Paintbrush|*.pcx|PNG, Portable Network Graphics|*.png|PPM, Portable "
              "PixelMap|*.ppm|RAS, Sun Raster Image|*.ras|RGB, Silicon Graphics Image|*.rgb|TGA, Truevision "
              "Targa|*.tga|Any file (*.*)|*.*");
}

TEST(Filters, OneSelectedRowHasNoAllFormatsGroup)
{
    EXPECT_EQ(OpenFilter(4, 1), "WAV, Windows Wave Sound|*.wav|Any file (*.*)|*.*");
    EXPECT_EQ(OpenFilter(4, 2), "WAV (wav)|*.wav|Any file (*.*)|*.*");
    EXPECT_EQ(SaveFilter(4, 0), "WAV|*.wav|Any file (*.*)|*.*");
    EXPECT_EQ(OpenFilter(16, 3).substr(0, 22), "All supported formats|");
    EXPECT_NE(OpenFilter(2, 3).find("|FLIC/FLIC-Pro, Autodesk (fli,flc)|*.fli;*.flc|"), std::string::npos);
}

TEST(Filters, MaskZeroTakesEveryRowSortedByText)
{
    const std::string f = OpenFilter(0, 0);
    const size_t avi = f.find("|AVI|*.avi|");
    const size_t bmp = f.find("|BMP|*.dib;*.bmp;*.rle|");
    const size_t wav = f.find("|WAV|*.wav|");
    ASSERT_NE(avi, std::string::npos);
    EXPECT_LT(avi, bmp);
    EXPECT_LT(bmp, wav);
    EXPECT_EQ(f.rfind("|Any file (*.*)|*.*"), f.size() - 19);
}

TEST_F(FFBasicTest, UniInfoCountsNumberedSequences)
{
    machine.WriteFile("C:\\SEQ\\a1.bmp", SmallBmp(4, 4));
    machine.WriteFile("C:\\SEQ\\a2.bmp", SmallBmp(4, 4, 10));
    machine.WriteFile("C:\\SEQ\\a3.bmp", SmallBmp(4, 4, 20));
    const int32_t s1 = static_cast<int32_t>(SmallBmp(4, 4).size());
    TUniInfo info;
    ASSERT_TRUE(UniInfo("C:\\SEQ\\a1.bmp", info, true));
    EXPECT_EQ(info.Format, FmtBMP);
    EXPECT_EQ(info.Kind, 2);
    EXPECT_EQ(info.Picture.Frames, 3);
    EXPECT_EQ(info.TotalSize, 3 * s1 + 30);
    EXPECT_EQ(info.FileName, "C:\\SEQ\\a1.bmp");
    EXPECT_EQ(info.SeqPrefix, "C:\\SEQ\\a");
    EXPECT_EQ(info.SeqSuffix, ".bmp");
    EXPECT_EQ(info.SeqFirst, 1);
    EXPECT_EQ(info.SeqCount, 3);
    EXPECT_EQ(info.SeqDigits, 1);
    EXPECT_EQ(ErrGet(), 0);

    ASSERT_TRUE(UniInfo("C:\\SEQ\\a1.bmp", info, false));
    EXPECT_EQ(info.Kind, 1);
    EXPECT_EQ(info.Picture.Frames, 1);
    EXPECT_EQ(info.TotalSize, s1);

    machine.WriteFile("C:\\SEQ\\a2.bmp", SmallBmp(4, 5));
    ASSERT_TRUE(UniInfo("C:\\SEQ\\a1.bmp", info, true));
    EXPECT_EQ(info.Kind, 1);
    EXPECT_EQ(info.Picture.Frames, 1);
    EXPECT_EQ(info.TotalSize, s1);
    EXPECT_EQ(FCount(), 0);
}

TEST_F(FFBasicTest, SequenceNumbersKeepTheirDigits)
{
    machine.WriteFile("C:\\pic007.bmp", SmallBmp(4, 4));
    machine.WriteFile("C:\\pic008.bmp", SmallBmp(4, 4));
    machine.WriteFile("C:\\pic9.bmp", SmallBmp(4, 4));
    TUniInfo info;
    ASSERT_TRUE(UniInfo("C:\\pic007.bmp", info, true));
    EXPECT_EQ(info.Kind, 2);
    EXPECT_EQ(info.SeqCount, 2);
    EXPECT_EQ(info.SeqFirst, 7);
    EXPECT_EQ(info.SeqDigits, 3);
    EXPECT_EQ(info.SeqPrefix, "C:\\pic");

    // Digits that reach the start of the name leave the folder as prefix.
    machine.WriteFile("C:\\D\\41.bmp", SmallBmp(4, 4));
    machine.WriteFile("C:\\D\\42.bmp", SmallBmp(4, 4));
    ASSERT_TRUE(UniInfo("C:\\D\\41.bmp", info, true));
    EXPECT_EQ(info.SeqPrefix, "C:\\D\\");
    EXPECT_EQ(info.SeqCount, 2);
}

TEST_F(FFBasicTest, UniInfoFailuresBecomeAWarning)
{
    TUniInfo info;
    EXPECT_FALSE(UniInfo("C:\\x.xyz", info, true));
    EXPECT_EQ(info.Kind, 0);
    EXPECT_EQ(info.Format, NotFound);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(WrnGet(), 5002);

    EXPECT_FALSE(UniInfo("C:\\missing.bmp", info, false));
    EXPECT_EQ(WrnGet(), 5002);
    EXPECT_EQ(ErrGet(), 0);
    EXPECT_EQ(FCount(), 0);
    EXPECT_EQ(ErrFrameDepth(), 0);
}

TEST_F(FFBasicTest, FFInfoOfUnknownFormat)
{
    machine.WriteFile("C:\\x.xyz", {1, 2, 3});
    TFileInfo info;
    FFInfo("C:\\x.xyz", info);
    EXPECT_EQ(ErrGet(), 11002);
    EXPECT_EQ(ErrText(11002), "File format not supported.");
}

TEST_F(FFBasicTest, LoadRefusesFormatsWithoutPicturesBeforeOpening)
{
    Limg img;
    ImgLoad("C:\\movie.avi", img);  // the file does not even exist
    EXPECT_EQ(ErrGet(), 6002);
    ImgLoad("C:\\sound.wav", img);
    EXPECT_EQ(ErrGet(), 6002);
    ImgLoad("C:\\LOGO.SYS", img);
    EXPECT_EQ(ErrGet(), 6002);
    EXPECT_EQ(ErrText(6002), "Invalid image format.");
    EXPECT_EQ(img.Data, nullptr);
}

TEST_F(FFBasicTest, SaveRefusesReadOnlyFormatsAndDeadImages)
{
    Limg img;
    ImgSave("C:\\out.bmp", img);
    EXPECT_EQ(ErrGet(), 6009);
    ImgSave("C:\\out.gif", img);
    EXPECT_EQ(ErrGet(), 6009);

    ImgAlloc(img, 4, 4, 8);
    ImgSave("C:\\out.gif", img);
    EXPECT_EQ(ErrGet(), 6002);
    ImgSave("C:\\out.tif", img);
    EXPECT_EQ(ErrGet(), 6002);
    ImgSave("C:\\out.avi", img);
    EXPECT_EQ(ErrGet(), 6002);
    EXPECT_FALSE(machine.Exists("C:\\out.gif"));
    ImgFree(img);
}

TEST(FormatTable, EveryIdHasARowAndBmpIsComplete)
{
    const FormatDef* bmp = FormatById(FmtBMP);
    ASSERT_NE(bmp, nullptr);
    EXPECT_NE(bmp->Load, nullptr);
    EXPECT_NE(bmp->Save, nullptr);
    EXPECT_NE(bmp->Info, nullptr);
    EXPECT_EQ(FormatById(0), nullptr);
    EXPECT_EQ(FormatById(FormatCount + 1), nullptr);
    EXPECT_EQ(FormatById(NotFound), nullptr);
    for (uint32_t id = 1; id <= FormatCount; ++id) {
        ASSERT_NE(FormatById(id), nullptr) << id;
        EXPECT_NE(FormatById(id)->Info, nullptr) << id;
    }
    // Formats that are only described never load or save.
    for (uint32_t id : {FmtFLIC, FmtAVI, FmtHAV, FmtMPEG, FmtWAV}) {
        EXPECT_EQ(FormatById(id)->Load, nullptr) << id;
        EXPECT_EQ(FormatById(id)->Save, nullptr) << id;
    }
}

TEST_F(FFBasicTest, SavePrepareConvertsToTheSaveDepth)
{
    Limg img;
    ImgAlloc(img, 4, 4, 8);
    const int32_t blocks = MemCount();
    TSaveCtx ctx;
    SavePrepare(FmtBMP, ctx, img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_EQ(ctx.Img, &img);
    EXPECT_FALSE(ctx.OwnsTemp);
    SaveRelease(ctx);

    SavePrepare(FmtJPEG, ctx, img);
    ASSERT_EQ(ErrGet(), 0);
    EXPECT_TRUE(ctx.OwnsTemp);
    EXPECT_EQ(ctx.Img, &ctx.Temp);
    EXPECT_EQ(ctx.Img->Bits, 24);
    EXPECT_EQ(MemCount(), blocks + 1);
    SaveRelease(ctx);
    EXPECT_EQ(MemCount(), blocks);
    EXPECT_EQ(ctx.Img, nullptr);

    SavePrepare(FmtGIF, ctx, img);
    EXPECT_EQ(ErrGet(), 11001);
    ImgAlloc(img, 3, 4, 8);
    SavePrepare(FmtBMP, ctx, img);
    EXPECT_EQ(ErrGet(), 11001);
    ImgFree(img);
    SavePrepare(FmtBMP, ctx, img);
    EXPECT_EQ(ErrGet(), 11001);
}

}  // namespace
