#include "app/BootPreview.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "app/BootScreen.h"
#include "app/Composer.h"
#include "app/Dialogs.h"
#include "app/Settings.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "image/PalOpt.h"
#include "platform/Files.h"

namespace {

constexpr int32_t PreviewLines = 400;
constexpr int GifLoopForever = 0;

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

int AppendToBuffer(GifFileType* gif, const GifByteType* bytes, int count)
{
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + count);
    return count;
}

// A colour map of the DAC palette, red, green, blue.
ColorMapObject* DacColorMap(const uint8_t (&palette)[256][3])
{
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    if (map == nullptr) return nullptr;
    for (int32_t i = 0; i < 256; ++i) {
        map->Colors[i].Red = palette[i][2];
        map->Colors[i].Green = palette[i][1];
        map->Colors[i].Blue = palette[i][0];
    }
    return map;
}

// The smallest rectangle holding every pixel of a cycled entry: all that
// changes from one frame to the next.
struct Rect {
    int32_t X = 0, Y = 0, Width = 0, Height = 0;
};
Rect CycledArea(const Limg& indices, int32_t first)
{
    int32_t left = indices.Width, top = indices.Height, right = -1, bottom = -1;
    for (int32_t y = 0; y < indices.Height; ++y) {
        const uint8_t* row = indices.Data + static_cast<size_t>(y) * indices.Width;
        for (int32_t x = 0; x < indices.Width; ++x) {
            if (first > 0 && row[x] >= first) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) return {0, 0, 1, 1};
    return {left, top, right - left + 1, bottom - top + 1};
}

// Encodes the frames of indices, one palette per frame, into bytes. The
// first frame is the whole screen; the others repaint only the cycled area.
bool EncodeGif(const Limg& indices, int32_t first, const std::vector<std::array<uint8_t, 768>>& palettes,
               std::vector<uint8_t>& bytes, std::string& reason)
{
    const Rect area = CycledArea(indices, first);
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, AppendToBuffer, &error);
    if (gif == nullptr) {
        reason = GifErrorString(error);
        return false;
    }
    EGifSetGifVersion(gif, true);
    bool ok = true;
    const auto fail = [&](int code) {
        if (ok) reason = GifErrorString(code);
        ok = false;
    };
    const auto mapOf = [](const std::array<uint8_t, 768>& p) {
        uint8_t palette[256][3];
        std::memcpy(palette, p.data(), sizeof palette);
        return DacColorMap(palette);
    };
    ColorMapObject* screenMap = mapOf(palettes.front());
    if (screenMap == nullptr || EGifPutScreenDesc(gif, indices.Width, indices.Height, 8, 0, screenMap) != GIF_OK)
        fail(gif->Error);
    if (ok && palettes.size() > 1) {
        const GifByteType loop[3] = {1, GifLoopForever & 0xFF, GifLoopForever >> 8};
        if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
            EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") != GIF_OK || EGifPutExtensionBlock(gif, 3, loop) != GIF_OK ||
            EGifPutExtensionTrailer(gif) != GIF_OK)
            fail(gif->Error);
    }
    for (size_t f = 0; ok && f < palettes.size(); ++f) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.DelayTime = CycleStepMs / 10;
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType ext[4];
        const size_t extLen = EGifGCBToExtension(&gcb, ext);
        if (palettes.size() > 1 &&
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extLen), ext) != GIF_OK) {
            fail(gif->Error);
            break;
        }
        // The first frame uses the screen's map; the others bring their own.
        ColorMapObject* local = f == 0 ? nullptr : mapOf(palettes[f]);
        const Rect r = f == 0 ? Rect{0, 0, indices.Width, indices.Height} : area;
        const int put = EGifPutImageDesc(gif, r.X, r.Y, r.Width, r.Height, false, local);
        if (local != nullptr) GifFreeMapObject(local);
        if (put != GIF_OK) {
            fail(gif->Error);
            break;
        }
        for (int32_t y = r.Y; ok && y < r.Y + r.Height; ++y) {
            GifPixelType* row = indices.Data + static_cast<size_t>(y) * indices.Width + r.X;
            if (EGifPutLine(gif, row, r.Width) != GIF_OK) fail(gif->Error);
        }
    }
    if (screenMap != nullptr) GifFreeMapObject(screenMap);
    if (EGifCloseFile(gif, &error) != GIF_OK) fail(error);
    return ok;
}

// Writes the bytes to a temporary file beside the target and renames it over.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes, std::string& reason)
{
    const std::string temp = path + ".tmp";
    const platform::FileDescriptor fd = platform::CreateTruncate(temp);
    if (fd == platform::NoFile) {
        reason = "Cannot create file: " + temp;
        return false;
    }
    const auto size = static_cast<int64_t>(bytes.size());
    bool ok = platform::WriteSome(fd, bytes.data(), size) == size;
    ok = platform::CloseFile(fd) && ok;
    if (ok) ok = platform::MoveFile(temp, path, true);
    if (!ok) {
        platform::DeleteFile(temp);
        reason = "Cannot write to file: " + path;
    }
    return ok;
}

}  // namespace

PreviewSize ShapeInBox(int32_t shapeWidth, int32_t shapeHeight, int32_t boxWidth, int32_t boxHeight)
{
    PreviewSize s;
    if (static_cast<int64_t>(boxWidth) * shapeHeight <= static_cast<int64_t>(boxHeight) * shapeWidth) {
        s.Width = boxWidth;
        s.Height = static_cast<int32_t>(static_cast<int64_t>(boxWidth) * shapeHeight / shapeWidth);
    } else {
        s.Height = boxHeight;
        s.Width = static_cast<int32_t>(static_cast<int64_t>(boxHeight) * shapeWidth / shapeHeight);
    }
    return s;
}

PreviewSize ScreenSizeOf(int32_t shapeWidth, int32_t shapeHeight)
{
    return {static_cast<int32_t>((static_cast<int64_t>(PreviewLines) * shapeWidth + shapeHeight / 2) / shapeHeight),
            PreviewLines};
}

BootPreview::~BootPreview()
{
    ImgFree(picture_);
}

bool BootPreview::Load(const std::string& path, bool asAnimatedLogo)
{
    ImgFree(picture_);
    first_ = 0;
    LoadLogoPicture(path, picture_);
    if (ErrGet() != 0 || picture_.Data == nullptr) return false;
    if (picture_.BytesPP == 1) {
        const int32_t first = CycleStartOf(path);
        if (first > 0) first_ = first;
        if (asAnimatedLogo && picture_.Width == LogoWidth && picture_.Height == LogoHeight) {
            AnimateLogo(picture_, Settings.BarColor);
            if (ErrGet() != 0) return false;
            first_ = CycleFirst;
        }
    } else if (picture_.BytesPP != 3) {
        ImgConvBit(picture_, picture_, 24);
        if (ErrGet() != 0) return false;
    }
    return true;
}

void BootPreview::FramePalette(int32_t step, uint8_t (&palette)[256][3]) const
{
    std::memcpy(palette, picture_.Palette, sizeof palette);
    if (first_ > 0) {
        for (int32_t k = 0; k < step % Steps(); ++k) CyclePalette(palette, first_);
    }
    for (auto& entry : palette)
        for (uint8_t& c : entry) c = DacLevel(c);
}

void BootPreview::Stretch(int32_t width, int32_t height, Limg& out) const
{
    const int32_t bpp = picture_.BytesPP;
    ImgAlloc(out, width, height, bpp * 8);
    if (ErrGet() != 0) return;
    ImgCopyPalette(picture_, out);
    // Whole source pixels repeated, as the screen's stretch does.
    std::vector<int32_t> columns(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x)
        columns[static_cast<size_t>(x)] = static_cast<int32_t>(static_cast<int64_t>(x) * picture_.Width / width);
    for (int32_t y = 0; y < height; ++y) {
        const int32_t sy = static_cast<int32_t>(static_cast<int64_t>(y) * picture_.Height / height);
        const uint8_t* in = picture_.Data + static_cast<size_t>(sy) * picture_.Width * bpp;
        uint8_t* row = out.Data + static_cast<size_t>(y) * width * bpp;
        for (int32_t x = 0; x < width; ++x)
            std::memcpy(row + static_cast<size_t>(x) * bpp, in + static_cast<size_t>(columns[x]) * bpp, bpp);
    }
}

void BootPreview::Frame(int32_t step, int32_t width, int32_t height, Limg& out) const
{
    Limg stretched;
    Stretch(width, height, stretched);
    if (ErrGet() != 0) return;
    ImgAlloc(out, width, height, 24);
    if (ErrGet() != 0) {
        ImgFree(stretched);
        return;
    }
    const size_t pixels = static_cast<size_t>(width) * height;
    if (stretched.BytesPP == 1) {
        uint8_t palette[256][3];
        FramePalette(step, palette);
        for (size_t i = 0; i < pixels; ++i) std::memcpy(out.Data + 3 * i, palette[stretched.Data[i]], 3);
    } else {
        for (size_t i = 0; i < 3 * pixels; ++i) out.Data[i] = DacLevel(stretched.Data[i]);
    }
    ImgFree(stretched);
}

bool WritePreview(const BootPreview& preview, const std::string& path, int32_t width, int32_t height,
                  std::string& reason)
{
    const std::string ext = Lower(ExtractFileExt(path));
    if (ext == ".png") {
        Limg frame;
        preview.Frame(0, width, height, frame);
        if (ErrGet() == 0) ImgSave(path, frame);
        const int32_t code = ErrGet();
        ImgFree(frame);
        if (code != 0) reason = ErrText(code);
        return code == 0;
    }
    if (ext != ".gif") {
        reason = "The preview is written as .gif or .png, not \"" + ext + "\"";
        return false;
    }
    Limg indices;
    std::vector<std::array<uint8_t, 768>> palettes;
    preview.Stretch(width, height, indices);
    if (ErrGet() == 0 && indices.BytesPP == 3) {
        // A picture without a palette gets one, as a logo made of it would.
        Limg reduced;
        PalQuantize(indices, reduced);
        ImgXchg(indices, reduced);
        ImgFree(reduced);
    }
    if (ErrGet() != 0) {
        reason = ErrText(ErrGet());
        ImgFree(indices);
        return false;
    }
    for (int32_t step = 0; step < preview.Steps(); ++step) {
        uint8_t palette[256][3];
        if (preview.Picture().BytesPP == 1) {
            preview.FramePalette(step, palette);
        } else {
            std::memcpy(palette, indices.Palette, sizeof palette);
            for (auto& entry : palette)
                for (uint8_t& c : entry) c = DacLevel(c);
        }
        std::array<uint8_t, 768> flat{};
        std::memcpy(flat.data(), palette, flat.size());
        palettes.push_back(flat);
    }
    std::vector<uint8_t> bytes;
    const int32_t first = preview.Picture().BytesPP == 1 ? preview.CycleStart() : 0;
    const bool encoded = EncodeGif(indices, first, palettes, bytes, reason);
    ImgFree(indices);
    return encoded && WriteWhole(path, bytes, reason);
}
