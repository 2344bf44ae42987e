#include "formats/FF_HEIF.h"

#include <libheif/heif.h>

#include <cstring>

#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"
#include "formats/FormatTable.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "platform/Paths.h"

namespace {

// The primary picture of a file and what holds it, released on every path.
struct HeifFile {
    heif_context* Context = nullptr;
    heif_image_handle* Handle = nullptr;
    heif_image* Image = nullptr;
    ~HeifFile()
    {
        if (Image != nullptr) heif_image_release(Image);
        if (Handle != nullptr) heif_image_handle_release(Handle);
        if (Context != nullptr) heif_context_free(Context);
    }
};

void Check_(const heif_error& error)
{
    if (error.code != heif_error_Ok) ErrExternal(error.message != nullptr ? error.message : "HEIF error");
}

void Open_(HeifFile& f, const std::string& name)
{
    int32_t file = INVALID_HANDLE;
    FOpen(file, name, FmRead);
    FClose(file);
    f.Context = heif_context_alloc();
    if (f.Context == nullptr) ErrSet(6007);
    // The library opens the file itself, by its host name.
    Check_(heif_context_read_from_file(f.Context, platform::HostPath(name).c_str(), nullptr));
    Check_(heif_context_get_primary_image_handle(f.Context, &f.Handle));
}

int32_t FileSizeOf_(const std::string& name)
{
    int32_t file = INVALID_HANDLE;
    FOpen(file, name, FmRead);
    const int32_t size = FSize(file);
    FClose(file);
    return size;
}

}  // namespace

void HEIFInfo(const std::string& name, TFileInfo& info)
{
    Guarded("HEIFInfo", [&] {
        HeifFile f;
        Open_(f, name);
        info.FileSize = FileSizeOf_(name);
        // The sizes are those of the picture turned as the file says.
        info.Picture.Width = heif_image_handle_get_width(f.Handle);
        info.Picture.Height = heif_image_handle_get_height(f.Handle);
        info.Picture.Bits = heif_image_handle_has_alpha_channel(f.Handle) ? 32 : 24;
        info.Picture.BytesPP = info.Picture.Bits / 8;
        info.Picture.Frames = 1;
        uint8_t head[SignatureBytes] = {};
        const int32_t n = ReadFileHead(name, head, SignatureBytes);
        const heif_brand2 brand = n >= 12 ? heif_read_main_brand(head, n) : 0;
        info.Picture.Compression = brand == heif_fourcc('a', 'v', 'i', 'f') || brand == heif_fourcc('a', 'v', 'i', 's')
                                       ? "AV1 (AVIF)"
                                       : "HEVC (HEIC)";
        info.Picture.Loadable = true;
    });
}

void HEIFLoad(const std::string& name, Limg& img)
{
    Guarded("HEIFLoad", [&] {
        HeifFile f;
        Open_(f, name);
        const int32_t width = heif_image_handle_get_width(f.Handle);
        const int32_t height = heif_image_handle_get_height(f.Handle);
        int32_t size = 0;
        if (!PictureBytes(width, height, 4, size)) ErrSet(6001);
        const bool alpha = heif_image_handle_has_alpha_channel(f.Handle) != 0;
        Check_(heif_decode_image(f.Handle, &f.Image, heif_colorspace_RGB,
                                 alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr));
        int stride = 0;
        const uint8_t* plane = heif_image_get_plane_readonly(f.Image, heif_channel_interleaved, &stride);
        if (plane == nullptr || heif_image_get_width(f.Image, heif_channel_interleaved) != width ||
            heif_image_get_height(f.Image, heif_channel_interleaved) != height)
            ErrSet(6003);
        const int32_t channels = alpha ? 4 : 3;
        ImgAlloc(img, width, height, channels * 8);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* in = plane + static_cast<int64_t>(y) * stride;
            uint8_t* out = img.Data + static_cast<int64_t>(y) * width * channels;
            for (int32_t x = 0; x < width; ++x, in += channels, out += channels) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                if (alpha) out[3] = in[3];
            }
        }
        ImgSetDims(img, width, height, channels * 8);
        ImgAlphaOverBlack_(img);
    });
}
