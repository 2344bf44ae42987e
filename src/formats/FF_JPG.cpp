#include "formats/FF_JPG.h"

#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "pixcodec/pixcodec.h"
#include "platform/Paths.h"
#include "platform/WholeFile.h"

namespace {

constexpr int32_t JpegQuality = 85;
constexpr const char* JpegCompressionName = "ISO/IEC IS 10918-1, ITU-T T.81";

// The codec library opens files itself, by their host names.
std::string HostName_(const std::string& name)
{
    return platform::HostPath(name);
}

// The library's own text goes to the trace as a warning beside the error.
void JpegFailed_()
{
    WrnExternal(pixcodec_JPEG_message());
    ErrSet(6008);
}

}  // namespace

void JPGInfo(const std::string& name, TFileInfo& info)
{
    Guarded("JPGInfo", [&] {
        int32_t width = 0, height = 0, components = 0;
        if (info_JPEG_file(HostName_(name).c_str(), &width, &height, &components) != 0) JpegFailed_();
        int32_t file = INVALID_HANDLE;
        FOpen(file, name, FmRead);
        info.FileSize = FSize(file);
        FClose(file);
        info.Picture.Orientation = ExifFileOrientation_(HostName_(name));
        const bool turned = TurnsSides(info.Picture.Orientation);
        info.Picture.Width = turned ? height : width;
        info.Picture.Height = turned ? width : height;
        info.Picture.Bits = components * 8;
        info.Picture.BytesPP = components;
        info.Picture.Frames = 1;
        info.Picture.Compression = JpegCompressionName;
        info.Picture.Loadable = true;
    });
}

void JPGLoad(const std::string& name, Limg& img)
{
    Guarded("JPGLoad", [&] {
        TFileInfo info;
        JPGInfo(name, info);
        const TPictureInfo& pic = info.Picture;
        const int32_t storedWidth = TurnsSides(pic.Orientation) ? pic.Height : pic.Width;
        const int32_t storedHeight = TurnsSides(pic.Orientation) ? pic.Width : pic.Height;
        int32_t size = 0;
        if (pic.Width <= 0 || pic.Height <= 0) ErrSet(6002);
        if (!PictureBytes(pic.Width, pic.Height, pic.BytesPP, size)) ErrSet(6001);
        // libjpeg fills a picture whose data ends early with grey: a header
        // alone must not make it allocate the whole picture.
        if (!CodedBytesSuffice(size, info.FileSize, JpegExpansion)) ErrSet(6003);
        ImgAlloc(img, storedWidth, storedHeight, pic.Bits);
        int32_t width = 0, height = 0, components = 0;
        if (read_JPEG_file(HostName_(name).c_str(), img.Data, static_cast<size_t>(size), &width, &height,
                           &components) != 0)
            JpegFailed_();
        if (const char* damage = pixcodec_JPEG_damage(); damage[0] != 0) NoteLoadDamage(damage);
        ImgSetDims(img, width, height, components * 8);
        if (components == 1)
            for (int i = 0; i < MaxPaletteEntries; ++i)
                img.Palette[i][0] = img.Palette[i][1] = img.Palette[i][2] = static_cast<uint8_t>(i);
        ImgOrient_(img, pic.Orientation);
    });
}

void JPGSave(const std::string& name, const Limg& img)
{
    Guarded("JPGSave", [&] {
        SetLastFileName(name);
        TSaveCtx ctx;
        SavePrepare(FmtJPEG, ctx, img);
        const Limg& out = *ctx.Img;
        // The library writes a temporary file of ours, which then replaces the old one whole.
        platform::PendingFile file;
        if (!platform::BeginWhole(HostName_(name), file)) ErrSet(5002);
        if (write_JPEG_file(file.TempHost.c_str(), out.Data, out.Width, out.Height, JpegQuality) != 0) {
            platform::Abandon(file);
            JpegFailed_();
        }
        if (!platform::CommitReplace(file)) ErrSet(5004);
        SaveRelease(ctx);
    });
}
