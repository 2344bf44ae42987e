#include "formats/FF_WEBP.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <vector>

#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"

namespace {

std::vector<uint8_t> ReadWhole_(const std::string& name)
{
    int32_t file = INVALID_HANDLE;
    FOpen(file, name, FmRead);
    std::vector<uint8_t> bytes(static_cast<size_t>(FSize(file)));
    if (!bytes.empty()) FRead(file, bytes.data(), static_cast<int32_t>(bytes.size()));
    FClose(file);
    return bytes;
}

struct WebpSummary {
    WebPBitstreamFeatures Features{};
    int32_t Frames = 1;
};

void Describe_(const std::vector<uint8_t>& bytes, WebpSummary& s)
{
    if (WebPGetFeatures(bytes.data(), bytes.size(), &s.Features) != VP8_STATUS_OK) ErrSet(6002);
    if (s.Features.width <= 0 || s.Features.height <= 0) ErrSet(6002);
    if (s.Features.has_animation) {
        const WebPData data{bytes.data(), bytes.size()};
        WebPDemuxer* demux = WebPDemux(&data);
        if (demux == nullptr) ErrExternal("WebP animation cannot be read");
        s.Frames = static_cast<int32_t>(WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT));
        s.Features.width = static_cast<int>(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH));
        s.Features.height = static_cast<int>(WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT));
        WebPDemuxDelete(demux);
        if (s.Frames < 1) s.Frames = 1;
    }
}

// The first frame of an animation, as the canvas shows it, in BGRA.
void FirstFrame_(const std::vector<uint8_t>& bytes, uint8_t* out, size_t size)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) ErrSet(6007);
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (decoder == nullptr) ErrExternal("WebP animation cannot be decoded");
    uint8_t* frame = nullptr;
    int timestamp = 0;
    const bool ok = WebPAnimDecoderGetNext(decoder, &frame, &timestamp) != 0 && frame != nullptr;
    if (ok) std::memcpy(out, frame, size);
    WebPAnimDecoderDelete(decoder);
    if (!ok) ErrExternal("WebP frame cannot be decoded");
}

}  // namespace

void WEBPInfo(const std::string& name, TFileInfo& info)
{
    Guarded("WEBPInfo", [&] {
        const std::vector<uint8_t> bytes = ReadWhole_(name);
        WebpSummary s;
        Describe_(bytes, s);
        info.FileSize = static_cast<int32_t>(bytes.size());
        info.Picture.Width = s.Features.width;
        info.Picture.Height = s.Features.height;
        info.Picture.Bits = s.Features.has_alpha ? 32 : 24;
        info.Picture.BytesPP = info.Picture.Bits / 8;
        info.Picture.Frames = s.Frames;
        info.Picture.Compression = s.Features.format == 2 ? "WebP lossless (VP8L)" : "WebP lossy (VP8)";
        info.Picture.Loadable = true;
    });
}

void WEBPLoad(const std::string& name, Limg& img)
{
    Guarded("WEBPLoad", [&] {
        const std::vector<uint8_t> bytes = ReadWhole_(name);
        WebpSummary s;
        Describe_(bytes, s);
        const int32_t width = s.Features.width, height = s.Features.height;
        int32_t size = 0;
        if (!PictureBytes(width, height, 4, size)) ErrSet(6001);
        ImgAlloc(img, width, height, 32);
        if (s.Features.has_animation) {
            FirstFrame_(bytes, img.Data, static_cast<size_t>(size));
        } else if (WebPDecodeBGRAInto(bytes.data(), bytes.size(), img.Data, static_cast<size_t>(size), width * 4) ==
                   nullptr) {
            ErrExternal("WebP data is damaged or ends early");
        }
        ImgSetDims(img, width, height, 32);
        ImgAlphaOverBlack_(img);
    });
}
