#include "formats/FF_PNG.h"

#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "pixcodec/pixcodec.h"

// libpng reports a fatal error through the error callback, which must not
// return into it. The callback records the message and longjmps back to the
// jump point of the step that called libpng; that step answers false and its
// caller, back in plain C++, reports the error. The stepping functions hold
// nothing with a destructor.

namespace {

// libpng refuses to work for a caller that names another version than its
// own ("1.0.2" fails the check), so the version of the headers is passed.
constexpr const char* PngVersionText = PNG_LIBPNG_VER_STRING;
constexpr int PngCompressionLevel = 6;
constexpr const char* PngCompressionName = "Deflate compression (modified LZ77)";

struct PNGHandle {
    int32_t File = INVALID_HANDLE;
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t Channels = 0;
    int32_t BitDepth = 0;
    int32_t ColorType = 0;
    int32_t Interlace = 0;
    int32_t Compression = 0;
    int32_t Filter = 0;
    int32_t Orientation = 0;  // of an eXIf chunk before the pixels, 0 without
};

// The stream the library's callbacks work on; one PNG stream is open at a time.
PNGHandle* current = nullptr;

// The failure a callback recorded before jumping: an error code of ours, or
// 0 for a library message.
int32_t pendingCode = 0;
char pendingText[1024] = "";

[[noreturn]] void Jump_(png_structp png, int32_t code, const char* text)
{
    pendingCode = code;
    std::snprintf(pendingText, sizeof pendingText, "%s", text != nullptr ? text : "");
    png_longjmp(png, 1);
}

void PngError_(png_structp png, png_const_charp message)
{
    Jump_(png, 0, message);
}

void PngWarning_(png_structp, png_const_charp message)
{
    try {
        WrnExternal(message != nullptr ? message : "");
    } catch (...) {
    }
}

void PngRead_(png_structp png, png_bytep buffer, size_t length)
{
    int32_t done = 0;
    if (current == nullptr || length > static_cast<size_t>(INT32_MAX)) Jump_(png, 5003, nullptr);
    FReadMax(current->File, buffer, static_cast<int32_t>(length), done);
    if (done != static_cast<int32_t>(length)) Jump_(png, 5003, nullptr);
}

void PngWrite_(png_structp png, png_bytep buffer, size_t length)
{
    int32_t code = 5004;
    if (current != nullptr && length <= static_cast<size_t>(INT32_MAX)) {
        try {
            GuardedBlockLocal([&] { FWrite(current->File, buffer, static_cast<int32_t>(length)); });
            code = ErrGet();
        } catch (...) {
            code = 5004;
        }
    }
    if (code != 0) Jump_(png, code, nullptr);
}

void PngFlush_(png_structp) {}

// Reports what the callbacks recorded, now that libpng has returned.
[[noreturn]] void RaisePending_()
{
    int32_t code = pendingCode;
    pendingCode = 0;
    if (code != 0) ErrSet(code);
    ErrExternal(pendingText);
    throw EMon("");  // only reached while reporting is suppressed
}

void Check_(bool ok)
{
    if (!ok) RaisePending_();
}

void GetHeader_(PNGHandle& h)
{
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0, compression = 0, filter = 0;
    png_get_IHDR(h.Png, h.Info, &width, &height, &bitDepth, &colorType, &interlace, &compression, &filter);
    h.Width = width;
    h.Height = height;
    h.BitDepth = bitDepth;
    h.ColorType = colorType;
    h.Interlace = interlace;
    h.Compression = compression;
    h.Filter = filter;
    h.Channels = png_get_channels(h.Png, h.Info);
}

int32_t ExifOrientation_(PNGHandle& h)
{
    png_uint_32 size = 0;
    png_bytep data = nullptr;
    return png_get_eXIf_1(h.Png, h.Info, &size, &data) != 0 ? ExifBlockOrientation_(data, size) : 0;
}

bool StepReadInfo_(PNGHandle& h)
{
    if (setjmp(png_jmpbuf(h.Png))) return false;
    // The ancillary chunks change nothing this reader gives, and libpng
    // buffers a text chunk whole, as long as the file claims, before it
    // looks at it: they are passed over unread. tRNS, the critical chunks
    // and eXIf (its orientation turns the picture, within the chunk limit) stay.
    static const png_byte exif[] = {'e', 'X', 'I', 'f', 0};
    png_set_keep_unknown_chunks(h.Png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(h.Png, PNG_HANDLE_CHUNK_AS_DEFAULT, exif, 1);
    png_set_chunk_malloc_max(h.Png, MaxChunkBytes);
    png_set_chunk_cache_max(h.Png, MaxCachedChunks);
    png_set_user_limits(h.Png, MaxLibrarySide, MaxLibrarySide);
    png_set_read_fn(h.Png, nullptr, PngRead_);
    png_read_info(h.Png, h.Info);
    GetHeader_(h);
    h.Orientation = ExifOrientation_(h);
    return true;
}

// What the stored pixels become: palette indices and grey samples of 8 bits
// (grey of 1, 2 and 4 bits scaled to 0..255, as every viewer shows it),
// colour in blue-green-red order, and an alpha sample where the file has
// alpha or a transparent colour other than in a palette, to be laid over
// black. A transparent grey of 8 bits or less stays a value whose palette
// entry is black.
struct PngLayout {
    bool Alpha = false;            // the rows carry alpha as their last sample
    int32_t TransparentGrey = -1;  // the grey value drawn black, or -1
};

bool StepTransform_(PNGHandle& h, size_t& rowBytes, PngLayout& layout)
{
    if (setjmp(png_jmpbuf(h.Png))) return false;
    const bool trns = png_get_valid(h.Png, h.Info, PNG_INFO_tRNS) != 0;
    png_set_strip_16(h.Png);
    if (h.ColorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(h.Png);
    } else if (h.ColorType == PNG_COLOR_TYPE_GRAY && trns && h.BitDepth <= 8) {
        png_color_16p colour = nullptr;
        png_get_tRNS(h.Png, h.Info, nullptr, nullptr, &colour);
        const int32_t top = (1 << h.BitDepth) - 1;
        if (colour != nullptr && colour->gray <= top) layout.TransparentGrey = colour->gray * 255 / top;
        png_set_expand_gray_1_2_4_to_8(h.Png);
    } else {
        // Grey of 1, 2 and 4 bits is scaled; a transparent colour becomes alpha.
        png_set_expand(h.Png);
        layout.Alpha = trns || (h.ColorType & PNG_COLOR_MASK_ALPHA) != 0;
    }
    png_set_bgr(h.Png);
    // png_read_image de-interlaces either way; asking first spares a warning.
    png_set_interlace_handling(h.Png);
    png_read_update_info(h.Png, h.Info);
    GetHeader_(h);
    rowBytes = png_get_rowbytes(h.Png, h.Info);
    return true;
}

bool StepReadImage_(PNGHandle& h, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(h.Png))) return false;
    png_read_image(h.Png, rows);
    return true;
}

bool StepReadEnd_(PNGHandle& h)
{
    if (setjmp(png_jmpbuf(h.Png))) return false;
    // ImageMagick writes eXIf after the pixels; the info takes it from there.
    png_read_end(h.Png, h.Info);
    return true;
}

bool StepGetPalette_(PNGHandle& h, png_colorp& palette, int& count, png_bytep& alpha, int& alphas)
{
    if (setjmp(png_jmpbuf(h.Png))) return false;
    if (png_get_PLTE(h.Png, h.Info, &palette, &count) == 0) {
        palette = nullptr;
        count = 0;
    }
    if (png_get_tRNS(h.Png, h.Info, &alpha, &alphas, nullptr) == 0) {
        alpha = nullptr;
        alphas = 0;
    }
    return true;
}

bool StepWrite_(PNGHandle& h, const Limg& img, png_colorp palette, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(h.Png))) return false;
    png_set_compression_level(h.Png, PngCompressionLevel);
    png_set_write_fn(h.Png, nullptr, PngWrite_, PngFlush_);
    int colorType = img.BytesPP == 1 ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(h.Png, h.Info, static_cast<png_uint_32>(img.Width), static_cast<png_uint_32>(img.Height), 8, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (img.BytesPP == 1) png_set_PLTE(h.Png, h.Info, palette, 256);
    png_write_info(h.Png, h.Info);
    png_set_bgr(h.Png);
    png_write_image(h.Png, rows);
    png_write_end(h.Png, h.Info);
    return true;
}

// Also runs while a failure unwinds, so it opens no block of its own.
void PNGClose_(PNGHandle& h)
{
    LabelPush("PNGClose_");
    if (h.Png != nullptr) png_destroy_read_struct(&h.Png, h.Info != nullptr ? &h.Info : nullptr, nullptr);
    FClose(h.File);
    if (current == &h) current = nullptr;
    h = PNGHandle{};
    LabelPop();
}

void PNGOpen_(PNGHandle& h, const std::string& name)
{
    Guarded("PNGOpen_", [&] {
        h = PNGHandle{};
        FOpen(h.File, name, FmRead);
        current = &h;
        // A file too short for a signature is as foreign as a wrong one.
        uint8_t signature[4] = {};
        int32_t done = 0;
        FReadMax(h.File, signature, 4, done);
        if (done != 4 || png_sig_cmp(signature, 0, 4) != 0) ErrSet(6002);
        FSeek(h.File, 0);
        h.Png = png_create_read_struct(PngVersionText, nullptr, PngError_, PngWarning_);
        if (h.Png == nullptr) ErrSet(6007);
        h.Info = png_create_info_struct(h.Png);
        if (h.Info == nullptr) {
            png_destroy_read_struct(&h.Png, nullptr, nullptr);
            ErrSet(6007);
        }
        Check_(StepReadInfo_(h));
    });
}

// Runs body on an open stream and closes it on every path.
template <class Body>
void WithPng_(const std::string& name, Body&& body)
{
    PNGHandle h;
    try {
        PNGOpen_(h, name);
        if (ErrGet() != 0) throw EMon("");
        body(h);
    } catch (...) {
        PNGClose_(h);
        throw;
    }
    PNGClose_(h);
}

}  // namespace

void PNGInfo(const std::string& name, TFileInfo& info)
{
    Guarded("PNGInfo", [&] {
        WithPng_(name, [&](PNGHandle& h) {
            info.FileSize = FSize(h.File);
            const bool turned = TurnsSides(h.Orientation);
            info.Picture.Orientation = h.Orientation;
            info.Picture.Width = static_cast<int32_t>(turned ? h.Height : h.Width);
            info.Picture.Height = static_cast<int32_t>(turned ? h.Width : h.Height);
            info.Picture.Bits = h.BitDepth * h.Channels;
            info.Picture.BytesPP = (info.Picture.Bits + 7) / 8;
            info.Picture.Frames = 1;
            info.Picture.Compression = PngCompressionName;
            info.Picture.Loadable = true;
        });
    });
}

void PNGLoad(const std::string& name, Limg& img)
{
    Guarded("PNGLoad", [&] {
        WithPng_(name, [&](PNGHandle& h) {
            // The rows as stored, before libpng sizes its buffers for them.
            const int64_t storedRow = (static_cast<int64_t>(h.Width) * h.BitDepth * h.Channels + 7) / 8;
            if (!CodedBytesSuffice(storedRow * h.Height, FSize(h.File), DeflateExpansion)) ErrSet(6003);
            const int32_t storedType = h.ColorType;
            size_t rowBytes = 0;
            PngLayout layout;
            Check_(StepTransform_(h, rowBytes, layout));
            int32_t size = 0;
            const int32_t colours = layout.Alpha ? h.Channels - 1 : h.Channels;
            if (h.Width == 0 || h.Height == 0 || (colours != 1 && colours != 3) || h.BitDepth != 8) ErrSet(6002);
            if (!CheckedMul32(h.Width, h.Height, h.Channels, size)) ErrSet(6001);
            const int32_t width = static_cast<int32_t>(h.Width);
            const int32_t height = static_cast<int32_t>(h.Height);
            const int32_t stride = width * h.Channels;
            if (rowBytes != static_cast<size_t>(stride)) ErrSet(6002);
            ImgAlloc(img, width, height, h.Channels * 8);

            png_bytep* rows = nullptr;
            int32_t tableSize = 0;
            if (!CheckedMul32(height, static_cast<int64_t>(sizeof(png_bytep)), tableSize)) ErrSet(2001);
            MemAlloc(rows, tableSize);
            MemName(rows, "PNGLoad", "rows");
            for (int32_t i = 0; i < height; ++i) rows[i] = img.Data + static_cast<size_t>(stride) * i;
            Check_(StepReadImage_(h, rows));

            if (layout.Alpha) AlphaOverBlack_(img.Data, static_cast<int64_t>(width) * height, h.Channels);
            if (colours == 1 && storedType != PNG_COLOR_TYPE_PALETTE) {
                png_build_grayscale_palette(8, reinterpret_cast<png_colorp>(img.Palette));
                if (layout.TransparentGrey >= 0) std::memset(img.Palette[layout.TransparentGrey], 0, 3);
            } else if (storedType == PNG_COLOR_TYPE_PALETTE) {
                png_colorp palette = nullptr;
                png_bytep alpha = nullptr;
                int count = 0, alphas = 0;
                Check_(StepGetPalette_(h, palette, count, alpha, alphas));
                // Entries the file does not hold are black; transparent ones lie over black.
                std::memset(img.Palette, 0, sizeof img.Palette);
                for (int i = 0; i < count && i < MaxPaletteEntries; ++i) {
                    const uint32_t a = i < alphas ? alpha[i] : 255;
                    img.Palette[i][0] = OverBlack(palette[i].blue, a);
                    img.Palette[i][1] = OverBlack(palette[i].green, a);
                    img.Palette[i][2] = OverBlack(palette[i].red, a);
                }
            }
            ImgSetDims(img, width, height, h.Channels * 8);
            Check_(StepReadEnd_(h));
            MemFree(rows);
            if (colours != h.Channels) ImgShrink_(img, colours * 8);
            ImgOrient_(img, h.Orientation != 0 ? h.Orientation : ExifOrientation_(h));
        });
    });
}

void PNGSave(const std::string& name, const Limg& img)
{
    Guarded("PNGSave", [&] {
        TSaveCtx ctx;
        SavePrepare(FmtPNG, ctx, img);
        const Limg& out = *ctx.Img;
        PNGHandle h;
        try {
            FOpen(h.File, name, FmCreate);
            current = &h;
            h.Png = png_create_write_struct(PngVersionText, nullptr, PngError_, PngWarning_);
            if (h.Png == nullptr) ErrSet(6007);
            h.Info = png_create_info_struct(h.Png);
            if (h.Info == nullptr) {
                png_destroy_write_struct(&h.Png, nullptr);
                ErrSet(6007);
            }
            png_color palette[256];
            for (int i = 0; i < 256; ++i) {
                palette[i].red = out.Palette[i][2];
                palette[i].green = out.Palette[i][1];
                palette[i].blue = out.Palette[i][0];
            }
            png_bytep* rows = nullptr;
            MemAlloc(rows, out.Height * static_cast<int32_t>(sizeof(png_bytep)));
            MemName(rows, "PNGSave", "rows");
            const size_t stride = static_cast<size_t>(out.Width) * out.BytesPP;
            for (int32_t i = 0; i < out.Height; ++i) rows[i] = out.Data + stride * i;
            Check_(StepWrite_(h, out, palette, rows));
            MemFree(rows);
        } catch (...) {
            if (h.Png != nullptr) png_destroy_write_struct(&h.Png, &h.Info);
            current = nullptr;
            throw;
        }
        png_destroy_write_struct(&h.Png, &h.Info);
        current = nullptr;
        FClose(h.File);
        SaveRelease(ctx);
    });
}
