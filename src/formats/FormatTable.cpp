#include "formats/FormatTable.h"

#include <cstring>
#include <initializer_list>

#include "formats/FFBasic_PCX.h"
#include "formats/FFBasic_TGA.h"
#include "formats/FFInternal.h"
#include "formats/FF_AVI.h"
#include "formats/FF_FLC.h"
#include "formats/FF_GIF.h"
#include "formats/FF_HAV.h"
#include "formats/FF_HEIF.h"
#include "formats/FF_JPG.h"
#include "formats/FF_MPG.h"
#include "formats/FF_PNG.h"
#include "formats/FF_PNM.h"
#include "formats/FF_SGI.h"
#include "formats/FF_SUN.h"
#include "formats/FF_TIF.h"
#include "formats/FF_WAV.h"
#include "formats/FF_WEBP.h"

namespace {

bool Starts(const uint8_t* head, int32_t size, const char* magic, int32_t length, int32_t at = 0)
{
    return size >= at + length && std::memcmp(head + at, magic, static_cast<size_t>(length)) == 0;
}

bool IsRiff(const uint8_t* head, int32_t size, const char* form)
{
    return Starts(head, size, "RIFF", 4) && Starts(head, size, form, 4, 8);
}

bool BmpSignature(const uint8_t* h, int32_t n)
{
    return Starts(h, n, "BM", 2);
}
bool GifSignature(const uint8_t* h, int32_t n)
{
    return Starts(h, n, "GIF87a", 6) || Starts(h, n, "GIF89a", 6);
}
bool JpegSignature(const uint8_t* h, int32_t n)
{
    return Starts(h, n, "\xFF\xD8\xFF", 3);
}
bool PngSignature(const uint8_t* h, int32_t n)
{
    return Starts(h, n, "\x89PNG\r\n\x1A\n", 8);
}
bool TiffSignature(const uint8_t* h, int32_t n)
{
    return Starts(h, n, "II*\0", 4) || Starts(h, n, "MM\0*", 4) || Starts(h, n, "II+\0", 4) || Starts(h, n, "MM\0+", 4);
}
bool PcxSignature(const uint8_t* h, int32_t n)
{
    // A PCX header has no magic number of its own: maker 10, a known version
    // and coding 0 or 1 are all it offers. A DCX file starts with its own.
    if (Starts(h, n, "\xB1\x68\xDE\x3A", 4)) return true;
    return n >= 4 && h[0] == 10 && (h[1] <= 5 && h[1] != 1) && h[2] <= 1 &&
           (h[3] == 1 || h[3] == 2 || h[3] == 4 || h[3] == 8);
}
bool SgiSignature(const uint8_t* h, int32_t n)
{
    return Starts(h, n, "\x01\xDA", 2) && n >= 3 && h[2] <= 1;
}
bool SunSignature(const uint8_t* h, int32_t n)
{
    return Starts(h, n, "\x59\xA6\x6A\x95", 4);
}
bool PnmSignature(const uint8_t* h, int32_t n)
{
    return n >= 3 && h[0] == 'P' && h[1] >= '1' && h[1] <= '7' &&
           (h[2] == ' ' || h[2] == '\t' || h[2] == '\r' || h[2] == '\n' || h[2] == '#');
}
bool FlicSignature(const uint8_t* h, int32_t n)
{
    return n >= 6 && h[5] == 0xAF && (h[4] == 0x11 || h[4] == 0x12);
}
bool AviSignature(const uint8_t* h, int32_t n)
{
    return IsRiff(h, n, "AVI ");
}
bool WavSignature(const uint8_t* h, int32_t n)
{
    return IsRiff(h, n, "WAVE");
}
bool MpegSignature(const uint8_t* h, int32_t n)
{
    return Starts(h, n, "\0\0\1\xBA", 4) || Starts(h, n, "\0\0\1\xB3", 4);
}

bool WebpSignature(const uint8_t* h, int32_t n)
{
    return IsRiff(h, n, "WEBP");
}
// An ISO media file whose major brand names a still picture coding.
bool BrandIs(const uint8_t* h, int32_t n, std::initializer_list<const char*> brands)
{
    if (!Starts(h, n, "ftyp", 4, 4)) return false;
    for (const char* brand : brands)
        if (Starts(h, n, brand, 4, 8)) return true;
    return false;
}
bool HeifSignature(const uint8_t* h, int32_t n)
{
    return BrandIs(h, n, {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs", "mif1", "msf1"});
}
bool AvifSignature(const uint8_t* h, int32_t n)
{
    return BrandIs(h, n, {"avif", "avis"});
}

constexpr int32_t DepthPaletteOr24[6] = {8, 15, 24, 24, 24, 24};
constexpr int32_t DepthFlic[6] = {8, 8, 8, 8, 8, 8};
constexpr int32_t DepthHav[6] = {8, 16, 16, 24, 24, 24};
constexpr int32_t DepthTrueColour[6] = {24, 24, 24, 24, 24, 24};
constexpr int32_t DepthPaletteElse24[6] = {8, 24, 24, 24, 24, 24};
constexpr int32_t DepthNone[6] = {0, 0, 0, 0, 0, 0};

using K = FormatKind;

// The order is that of lookup by extension (the first row whose list holds
// the extension wins) and of the dialog filters.
// clang-format off
const FormatDef Table[] = {
    {FmtAVI, 26, ".avi", "AVI", "AVI, Windows Audio Video Interleaved", K::Moving, AviSignature,
     AVIInfo, nullptr, nullptr, {{".avi", "AVI", "AVI, Windows Audio Video Interleaved"}}, DepthPaletteOr24},
    {FmtBMP, 9, ".dib.bmp.rle", "BMP", "BMP, Windows Device Independent Bitmap", K::Still, BmpSignature,
     DIBInfo_, DIBLoad_, DIBSave_,
     {{".bmp", "BMP", "BMP, Windows Bitmap"}, {".dib", "DIB", "DIB, Windows Device Independent Bitmap"}},
     DepthPaletteOr24},
    {FmtFLIC, 10, ".fli.flc", "FLIC", "FLIC/FLIC-Pro, Autodesk", K::Moving, FlicSignature,
     FLCInfo, nullptr, nullptr, {{".fli.flc", "FLIC", "FLIC/FLIC-Pro, Autodesk"}}, DepthFlic},
    {FmtGIF, 11, ".gif.giff", "GIF", "GIF, Graphics Interchange Format", K::Animation, GifSignature,
     GIFInfoFull, GIFLoadFirst, nullptr, {}, nullptr},
    {FmtHAV, 26, ".hav", "HAV", "HAV, High quality Audio Video", K::Moving, nullptr,
     HAVInfo, nullptr, nullptr, {{".hav", "HAV", "HAV, High quality Audio Video"}}, DepthHav},
    {FmtJPEG, 9, ".jpg.jpeg.jif.jfif.jpe.J", "JPEG", "JPEG-JFIF, Joint Photographic Expert Group", K::Still,
     JpegSignature, JPGInfo, JPGLoad, JPGSave,
     {{".jpg", "JPEG", "JPEG-JFIF, Joint Photographic Expert Group"}}, DepthTrueColour},
    {FmtPCX, 9, ".pcx.pcc.dcx", "PCX", "PCX, Zsoft Paintbrush", K::Still, PcxSignature,
     PCXInfo_, PCXLoad_, PCXSave_, {{".pcx", "PCX", "PCX, Zsoft Paintbrush"}}, DepthPaletteElse24},
    {FmtPNG, 9, ".png", "PNG", "PNG, Portable Network Graphics", K::Still, PngSignature,
     PNGInfo, PNGLoad, PNGSave, {{".png", "PNG", "PNG, Portable Network Graphics"}}, DepthPaletteElse24},
    {FmtTGA, 9, ".tga.pix.bpx.vda.icb.vst", "TGA", "TGA, Truevision Targa", K::Still, nullptr,
     TGAInfo_, TGALoad_, TGASave_, {{".tga", "TGA", "TGA, Truevision Targa"}}, DepthPaletteOr24},
    {FmtTIFF, 9, ".tif.tim.tiff", "TIFF", "TIFF, Tagged Image File Format", K::Still, TiffSignature,
     TIFInfo, TIFLoad, nullptr, {}, nullptr},
    {FmtMPEG, 10, ".mpg.mpeg.m1v.m2v.mpe", "MPEG", "MPEG Layer I/II, Moving Pictures Expert Group", K::Moving,
     MpegSignature, MPGInfo, nullptr, nullptr,
     {{".mpg", "MPEG-I", "MPEG Layer I, Moving Pictures Expert Group"},
      {".m2v", "MPEG-II", "MPEG Layer II, Moving Pictures Expert Group"}},
     DepthTrueColour},
    {FmtWAV, 20, ".wav", "WAV", "WAV, Windows Wave Sound", K::Sound, WavSignature,
     WAVInfo, nullptr, nullptr, {{".wav", "WAV", "WAV, Windows Wave Sound"}}, DepthNone},
    {FmtRGB, 9, ".rgb.bw.iris.sgi", "RGB", "RGB, Silicon Graphics Image", K::Still, SgiSignature,
     SGIInfo, SGILoad, SGISave, {{".rgb", "RGB", "RGB, Silicon Graphics Image"}}, DepthTrueColour},
    {FmtRAS, 9, ".ras.sun", "RAS", "RAS, Sun Raster Image", K::Still, SunSignature,
     SUNInfo, SUNLoad, SUNSave, {{".ras", "RAS", "RAS, Sun Raster Image"}}, DepthPaletteElse24},
    {FmtPNM, 9, ".pnm.ppm.pgm.pbm.pam.rpnm.rppm.rpgm", "PNM", "PNM, Portable Image", K::Still, PnmSignature,
     PNMInfo, PNMLoad, PNMSave, {{".ppm", "PPM", "PPM, Portable PixelMap"}}, DepthTrueColour},
    // Read only, after the formats above in the dialog filters.
    {FmtWEBP, 9, ".webp", "WEBP", "WebP, Web Picture", K::Animation, WebpSignature,
     WEBPInfo, WEBPLoad, nullptr, {}, nullptr},
    {FmtHEIF, 9, ".heic.heif.hif", "HEIF", "HEIF/HEIC, High Efficiency Image File", K::Still, HeifSignature,
     HEIFInfo, HEIFLoad, nullptr, {}, nullptr},
    {FmtAVIF, 9, ".avif", "AVIF", "AVIF, AV1 Image File", K::Still, AvifSignature,
     HEIFInfo, HEIFLoad, nullptr, {}, nullptr},
};
// clang-format on

}  // namespace

std::span<const FormatDef> Formats()
{
    return Table;
}

const FormatDef* FormatById(uint32_t id)
{
    for (const FormatDef& f : Table)
        if (f.Id == id) return &f;
    return nullptr;
}
