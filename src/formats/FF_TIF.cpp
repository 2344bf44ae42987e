#include "formats/FF_TIF.h"

#include <cstdio>
#include <utility>

#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "pixcodec/pixcodec.h"
#include "platform/Paths.h"

// libtiff goes on after reporting a message and fails through its return
// codes, so the error callback only records the first message; once libtiff
// has returned it is reported as the external error it is.

namespace {

struct TIFHandle {
    TIFF* Tiff = nullptr;
    uint32_t Height = 0;
    uint32_t Width = 0;
    int32_t ScanlineSize = 0;
    uint16_t BitsPerSample = 0;
    uint16_t BytesPP = 0;
    uint16_t Compression = 0;
    int16_t Photometric = 0;
    bool Loadable = false;
    uint16_t SamplesPerPixel = 1;
    uint16_t Planar = PLANARCONFIG_CONTIG;
    uint16_t Orientation = 0;  // 0 without the tag
    bool ViaRgba = false;      // the strip reader cannot take it; libtiff's RGBA interface can
};

constexpr int16_t PhotoWhiteIsZero = 0;
constexpr int16_t PhotoBlackIsZero = 1;
constexpr int16_t PhotoRgb = 2;
constexpr int16_t PhotoPalette = 3;
constexpr uint16_t CompressionNone = 1;

struct CompressionName {
    uint16_t Code;
    const char* Text;
};
constexpr CompressionName CompressionNames[] = {
    {1, "None"},
    {2, "CCITT modified Huffman RLE"},
    {3, "CCITT Group 3 fax encoding"},
    {4, "CCITT Group 4 fax encoding"},
    {5, "Variable-Length-Code LZW (Lempel-Ziv & Welch)"},
    {6, "JPEG 6.0"},
    {7, "JPEG DCT compression"},
    {8, "Deflate compression (Adobe)"},
    {32766, "NeXT 2-bit RLE"},
    {32771, "#1 w/ word alignment"},
    {32773, "Macintosh RLE (PackBits)"},
    {32809, "ThunderScan RLE"},
    {32895, "IT8 CT w/padding"},
    {32896, "IT8 Linework RLE"},
    {32897, "IT8 Monochrome picture"},
    {32898, "IT8 Binary line art"},
    {32908, "Pixar companded 10bit LZW"},
    {32909, "Pixar companded 11bit ZIP"},
    {32946, "Deflate compression (modified LZ77)"},
    {32947, "Kodak DCS encoding"},
    {34661, "ISO JBIG"},
    {34676, "SGI Log Luminance RLE"},
    {34677, "SGI Log 24-bit packed"},
};

bool errorPending = false;
char errorText[1024] = "";

void TiffError_(const char* message)
{
    if (errorPending) return;
    errorPending = true;
    std::snprintf(errorText, sizeof errorText, "%s", message != nullptr ? message : "");
}

void TiffWarning_(const char* message)
{
    try {
        WrnExternal(message != nullptr ? message : "");
    } catch (...) {
    }
}

// Reports the message libtiff gave during the last call, if any.
void Check_()
{
    if (!errorPending) return;
    errorPending = false;
    ErrExternal(errorText);
}

// The codec library opens files itself, by their host names.
std::string HostName_(const std::string& name)
{
    return platform::HostPath(name);
}

int32_t FileSizeOf_(const std::string& name)
{
    int32_t file = INVALID_HANDLE;
    FOpen(file, name, FmRead);
    int32_t size = FSize(file);
    FClose(file);
    return size;
}

// Only whole 8-bit samples in one plane decode by strips: one sample of
// grey or indices, or red-green-blue with an optional fourth sample that
// is no alpha.
bool Decodable_(const TIFHandle& h)
{
    if (h.BitsPerSample != 8 || h.Width == 0 || h.Height == 0 || TIFFIsTiled(h.Tiff)) return false;
    if (h.Planar == PLANARCONFIG_SEPARATE && h.SamplesPerPixel > 1) return false;
    if (static_cast<int64_t>(h.Width) * h.BytesPP != h.ScanlineSize) return false;
    uint16_t extras = 0;
    uint16_t* kinds = nullptr;
    if (_TIFFGetField(h.Tiff, TIFFTAG_EXTRASAMPLES, &extras, &kinds) && extras > 0 && kinds != nullptr &&
        kinds[0] != EXTRASAMPLE_UNSPECIFIED)
        return false;
    if (h.BytesPP == 1)
        return h.Photometric == PhotoWhiteIsZero || h.Photometric == PhotoBlackIsZero || h.Photometric == PhotoPalette;
    return (h.BytesPP == 3 || h.BytesPP == 4) && h.Photometric == PhotoRgb;
}

// What libtiff's RGBA interface can decode: CMYK, YCbCr and JPEG in TIFF,
// 16 bits, 1, 2 and 4 bits, alpha, tiles and planes.
bool RgbaDecodable_(const TIFHandle& h)
{
    char message[1024] = "";
    return h.Width != 0 && h.Height != 0 && TIFFRGBAImageOK(h.Tiff, message) != 0;
}

void TIFOpen_(TIFHandle& h, const std::string& name)
{
    Guarded("TIFOpen_", [&] {
        h = TIFHandle{};
        errorPending = false;
        ExternErrorSet(TiffError_);
        ExternWarningSet(TiffWarning_);
        h.Tiff = TIFFOpen(HostName_(name).c_str(), "r");
        Check_();
        if (h.Tiff == nullptr) ErrSet(6008);
        _TIFFGetField(h.Tiff, TIFFTAG_IMAGEWIDTH, &h.Width);
        _TIFFGetField(h.Tiff, TIFFTAG_IMAGELENGTH, &h.Height);
        _TIFFGetField(h.Tiff, TIFFTAG_BITSPERSAMPLE, &h.BitsPerSample);
        _TIFFGetField(h.Tiff, TIFFTAG_PHOTOMETRIC, &h.Photometric);
        _TIFFGetField(h.Tiff, TIFFTAG_COMPRESSION, &h.Compression);
        _TIFFGetField(h.Tiff, TIFFTAG_SAMPLESPERPIXEL, &h.SamplesPerPixel);
        _TIFFGetField(h.Tiff, TIFFTAG_PLANARCONFIG, &h.Planar);
        _TIFFGetField(h.Tiff, TIFFTAG_ORIENTATION, &h.Orientation);
        if (h.Orientation > 8) h.Orientation = 0;
        Check_();
        tmsize_t scanline = TIFFScanlineSize(h.Tiff);
        Check_();
        h.ScanlineSize = scanline > 0 && scanline <= INT32_MAX ? static_cast<int32_t>(scanline) : 0;
        uint32_t bytesPP = h.Width != 0 ? static_cast<uint32_t>(h.ScanlineSize) / h.Width : 0;
        h.BytesPP = bytesPP <= UINT16_MAX ? static_cast<uint16_t>(bytesPP) : 0;
        h.Loadable = Decodable_(h);
        if (!h.Loadable) {
            h.ViaRgba = RgbaDecodable_(h);
            // TIFFRGBAImageOK explains itself through the error handler too.
            errorPending = false;
            h.Loadable = h.ViaRgba;
        }
    });
}

// Also runs while a failure unwinds, so it opens no block of its own.
void TIFClose_(TIFHandle& h)
{
    LabelPush("TIFClose_");
    if (h.Tiff != nullptr) TIFFClose(h.Tiff);
    errorPending = false;
    h = TIFHandle{};
    LabelPop();
}

template <class Body>
void WithTiff_(const std::string& name, Body&& body)
{
    TIFHandle h;
    try {
        TIFOpen_(h, name);
        if (ErrGet() != 0) throw EMon("");
        body(h);
    } catch (...) {
        TIFClose_(h);
        throw;
    }
    TIFClose_(h);
}

int checkpal_(int count, const uint16_t* red, const uint16_t* green, const uint16_t* blue)
{
    for (int i = count - 1; i >= 0; --i)
        if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256) return 16;
    return 8;
}

void SetPalette_(const TIFHandle& h, Limg& img)
{
    if (h.Photometric == PhotoWhiteIsZero || h.Photometric == PhotoBlackIsZero) {
        for (int i = 0; i < 256; ++i) {
            uint8_t v = static_cast<uint8_t>(h.Photometric == PhotoWhiteIsZero ? 255 - i : i);
            img.Palette[i][0] = img.Palette[i][1] = img.Palette[i][2] = v;
        }
    } else if (h.Photometric == PhotoPalette) {
        uint16_t* red = nullptr;
        uint16_t* green = nullptr;
        uint16_t* blue = nullptr;
        _TIFFGetField(h.Tiff, TIFFTAG_COLORMAP, &red, &green, &blue);
        Check_();
        if (red == nullptr || green == nullptr || blue == nullptr) return;
        int count = h.BitsPerSample <= 8 ? 1 << h.BitsPerSample : MaxPaletteEntries;
        bool wide = checkpal_(count, red, green, blue) == 16;
        for (int i = 0; i < count && i < MaxPaletteEntries; ++i) {
            if (wide) {
                img.Palette[i][0] = static_cast<uint8_t>(blue[i] * 255u / 65535u);
                img.Palette[i][1] = static_cast<uint8_t>(green[i] * 255u / 65535u);
                img.Palette[i][2] = static_cast<uint8_t>(red[i] * 255u / 65535u);
            } else {
                img.Palette[i][0] = static_cast<uint8_t>(blue[i]);
                img.Palette[i][1] = static_cast<uint8_t>(green[i]);
                img.Palette[i][2] = static_cast<uint8_t>(red[i]);
            }
        }
    }
}

// Decodes through libtiff's RGBA interface into a 24-bit picture. Its
// pixels come with alpha already multiplied in (unassociated alpha rounded
// to nearest), which is the picture laid over black.
void LoadRgba_(TIFHandle& h, const std::string& name, Limg& img)
{
    int32_t size = 0;
    if (!PictureBytes(h.Width, h.Height, 4, size)) ErrSet(6001);
    if (!CodedBytesSuffice(size / 4 * 3, FileSizeOf_(name), TiffExpansion)) ErrSet(6003);
    const int32_t width = static_cast<int32_t>(h.Width);
    const int32_t height = static_cast<int32_t>(h.Height);
    uint32_t* raster = nullptr;
    MemAlloc(raster, size);
    MemName(raster, "TIFLoad", "raster");
    // Asking for the file's own orientation leaves the rows as stored, first
    // row first; the turning is ImgOrient_'s, for every orientation alike.
    const int orientation = h.Orientation != 0 ? h.Orientation : ORIENTATION_TOPLEFT;
    const int ok = TIFFReadRGBAImageOriented(h.Tiff, h.Width, h.Height, raster, orientation, 1);
    Check_();
    if (ok == 0) ErrSet(6003);
    // libtiff multiplies unassociated alpha in for colour, but not for grey.
    uint16_t extras = 0;
    uint16_t* kinds = nullptr;
    const bool greyAlpha = (h.Photometric == PhotoWhiteIsZero || h.Photometric == PhotoBlackIsZero) &&
                           _TIFFGetField(h.Tiff, TIFFTAG_EXTRASAMPLES, &extras, &kinds) && extras > 0 &&
                           kinds != nullptr && kinds[0] == EXTRASAMPLE_UNASSALPHA;
    ImgAlloc(img, width, height, 24);
    const int64_t count = static_cast<int64_t>(width) * height;
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t p = raster[i];
        const uint32_t alpha = greyAlpha ? TIFFGetA(p) : 255;
        img.Data[i * 3 + 0] = OverBlack(TIFFGetB(p), alpha);
        img.Data[i * 3 + 1] = OverBlack(TIFFGetG(p), alpha);
        img.Data[i * 3 + 2] = OverBlack(TIFFGetR(p), alpha);
    }
    MemFree(raster);
    ImgSetDims(img, width, height, 24);
    ImgOrient_(img, h.Orientation);
}

}  // namespace

void TIFInfo(const std::string& name, TFileInfo& info)
{
    Guarded("TIFInfo", [&] {
        WithTiff_(name, [&](TIFHandle& h) {
            TPictureInfo& pic = info.Picture;
            pic.Width = static_cast<int32_t>(h.Width);
            pic.Height = static_cast<int32_t>(h.Height);
            pic.Bits = h.BitsPerSample * h.SamplesPerPixel;
            pic.BytesPP = (pic.Bits + 7) / 8;
            pic.Frames = 1;
            pic.Orientation = h.Orientation;
            if (TurnsSides(h.Orientation)) std::swap(pic.Width, pic.Height);
            bool named = false;
            for (const CompressionName& c : CompressionNames)
                if (c.Code == h.Compression) pic.Compression = c.Text, named = true;
            // The codings libtiff knows beyond the table, by its own names.
            if (const TIFFCodec* codec = TIFFFindCODEC(h.Compression); !named && codec != nullptr)
                pic.Compression = codec->name;
            pic.Loadable = h.Loadable;
            info.FileSize = FileSizeOf_(name);
        });
    });
}

void TIFLoad(const std::string& name, Limg& img)
{
    Guarded("TIFLoad", [&] {
        WithTiff_(name, [&](TIFHandle& h) {
            if (!h.Loadable) ErrSet(6001);
            if (h.ViaRgba) {
                LoadRgba_(h, name, img);
                return;
            }
            int32_t size = 0;
            if (!PictureBytes(h.Width, h.Height, h.BytesPP, size)) ErrSet(6001);
            // Uncompressed rows are stored as they are: the file must hold them
            // all; compressed ones must be able to give them.
            const int32_t fileSize = FileSizeOf_(name);
            if (h.Compression == CompressionNone && fileSize < size) ErrSet(5003);
            if (!CodedBytesSuffice(size, fileSize, TiffExpansion)) ErrSet(6003);
            const int32_t width = static_cast<int32_t>(h.Width);
            const int32_t height = static_cast<int32_t>(h.Height);
            ImgAlloc(img, width, height, h.BytesPP * 8);
            SetPalette_(h, img);
            for (int32_t r = 0; r < height; ++r) {
                int result = TIFFReadScanline(h.Tiff, img.Data + static_cast<size_t>(h.ScanlineSize) * r,
                                              static_cast<uint32_t>(r), 0);
                Check_();
                if (result < 0) ErrSet(6003);
            }
            ImgSetDims(img, width, height, h.BytesPP * 8);
            // TIFF rows are red first; a fourth sample is dropped on the way.
            if (img.BytesPP >= 3) ImgXchgRB(img, img);
            ImgOrient_(img, h.Orientation);
        });
    });
}
