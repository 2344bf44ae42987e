#include "app/Composer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/Backup.h"
#include "app/BootScreen.h"
#include "app/Dialogs.h"
#include "app/Settings.h"
#include "app/WriteSession.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "image/PalOpt.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TextSurface.h"
#include "platform/WholeFile.h"

namespace {

constexpr const char* MessageFont = "Arial";
constexpr int32_t MessagePoints = 10;
constexpr uint8_t OutlineLevel = 64;

// Outline first, in this order, then the text itself at (2, 2).
constexpr int32_t OutlineOffsets[8][2] = {{3, 1}, {1, 3}, {1, 2}, {1, 1}, {2, 1}, {3, 2}, {3, 3}, {2, 3}};
constexpr int32_t TextOffset = 2;

bool IsBlankLine(const std::string& line)
{
    for (char c : line)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

bool Fail(std::string* why, const std::string& text)
{
    if (why != nullptr) *why = text;
    return false;
}

// Byte offsets where each of the first `limit` code points of a UTF-8 line
// starts, and the line's end.
std::vector<size_t> CodePointStarts(const std::string& line, size_t limit)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < line.size() && starts.size() < limit; ++i)
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) starts.push_back(i);
    return starts;
}

// The part of the line that can show on the logo. A line is drawn from the
// left margin at the latest once it is wider than the logo, so the code
// points past the first ones that reach the right edge are never seen; the
// surface is sized to what is kept, not to the whole line.
std::string VisiblePart(const platform::TextSurface& surface, const std::string& line)
{
    std::vector<size_t> starts = CodePointStarts(line, MaxMessageCodePoints + 1);
    std::string text = starts.size() > MaxMessageCodePoints ? line.substr(0, starts[MaxMessageCodePoints]) : line;
    if (starts.size() > MaxMessageCodePoints) starts.pop_back();
    const auto width = [&](size_t count) {
        int32_t cx = 0, cy = 0;
        surface.MeasureText(count < starts.size() ? text.substr(0, starts[count]) : text, cx, cy);
        return cx;
    };
    if (width(starts.size()) < LogoWidth) return text;
    // The shortest prefix that reaches the logo's width, and two code points
    // more for a glyph that reaches back over its neighbour.
    size_t low = 1, high = starts.size();
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (width(mid) >= LogoWidth)
            high = mid;
        else
            low = mid + 1;
    }
    const size_t keep = std::min(starts.size(), low + 2);
    return keep < starts.size() ? text.substr(0, starts[keep]) : text;
}

bool IsLogoImage(const Limg& img)
{
    return img.Data != nullptr && img.Width == LogoWidth && img.Height == LogoHeight && img.BytesPP == 1;
}

}  // namespace

bool SetLogo(const std::string& source, int32_t index, std::string* why)
{
    const std::string target = LogoPath(index);
    // Without a recorded original the logo is not touched.
    if (!BackupLogo(target, why)) return false;
    return MakeLogo(source, target, LogoMessages(index), why, index == LogoStartup && Settings.AnimatedBar);
}

bool MakeLogo(const std::string& source, const std::string& target, const std::string& messages, std::string* why,
              bool animated)
{
    if (source.empty() || target.empty()) return Fail(why, "No picture to make the logo from.");
    const std::string targetHost = platform::HostPath(target);
    const platform::HostKind kind = platform::HostKindOf(targetHost);
    if (kind == platform::HostKind::Symlink)
        return Fail(why, Quoted(target) + " is a symbolic link; Lumenade does not replace it.");
    if (kind != platform::HostKind::Missing && kind != platform::HostKind::Regular)
        return Fail(why, Quoted(target) + " is not a regular file.");
    if (kind == platform::HostKind::Regular && (platform::GetFileAttributes(target) & platform::AttrReadOnly) != 0)
        return Fail(why, "Couldn't replace the logo file " + Quoted(target) + ": it is read-only.");
    Limg image;
    bool written = false;
    std::string failure;
    try {
        ImgLoad(source, image);
        const bool logoImage = ErrGet() == 0 && IsLogoImage(image);
        if (logoImage && animated) AnimateLogo(image, Settings.BarColor);
        if (ErrGet() != 0) {
            failure = ErrText(ErrGet());
        } else if (!logoImage) {
            failure = Quoted(ExtractFileName(source)) + " is not a logo picture (320 x 400, 256 colours).";
        } else {
            DrawMessage(image, PickMessage(messages), animated ? CycleFirst : 256);
            // A name of its own beside the logo, so no file of the user's is
            // touched; the bitmap writer picks its format from ".bmp".
            const std::string temp = platform::ReserveTempBeside(targetHost, ".bmp");
            if (temp.empty()) {
                failure = "Couldn't replace the logo file " + Quoted(target) + ": " + WriteFailureText(target);
            } else {
                ImgSave(temp, image);
                if (ErrGet() != 0) {
                    failure = platform::IsDiskFull(platform::LastWholeFileError()) ? WriteFailureText(target)
                                                                                   : ErrText(ErrGet());
                } else if (animated && !MarkCycling(temp, CycleFirst)) {
                    failure = "Couldn't mark the colours that cycle in " + Quoted(temp) + ".";
                } else if (!platform::MoveFile(temp, target, true)) {
                    // One rename over the old logo: there is never a moment without one.
                    failure = "Couldn't replace the logo file " + Quoted(target) + ".";
                } else {
                    written = true;
                }
                if (!written) platform::DeleteFile(temp);
            }
        }
    } catch (...) {
        written = false;
        if (failure.empty()) failure = "Couldn't make the logo " + Quoted(target) + ".";
    }
    ImgFree(image);
    return written || Fail(why, failure);
}

std::string PickMessage(const std::string& messages)
{
    const size_t len = messages.size();
    const int32_t n = 1 + static_cast<int32_t>(std::count(messages.begin(), messages.end(), '\r'));
    const int32_t k = RandomInt(n) + 1;
    size_t p = 0;
    if (k > 1) {
        int32_t passed = 0;
        while (p < len && passed < k - 1) {
            if (messages[p] == '\r') ++passed;
            ++p;
        }
        while (p < len && (messages[p] == '\r' || messages[p] == '\n')) ++p;
    }
    size_t q = p;
    while (q < len && messages[q] != '\r') ++q;
    return messages.substr(p, q - p);
}

void DrawMessage(Limg& image, const std::string& line, int32_t stillEntries)
{
    if (IsBlankLine(line)) return;
    if (image.Data == nullptr || image.BytesPP != 1) return;

    platform::TextSurface surface;
    Limg message;
    int32_t cx = 0, cy = 0;
    const bool font = surface.SelectFont(MessageFont, MessagePoints);
    const std::string shown = font ? VisiblePart(surface, line) : line;
    if (font) surface.MeasureText(shown, cx, cy);
    surface.SetSize(cx + 2 * TextOffset, cy + 2 * TextOffset);
    surface.Fill(0, 0, 0);
    for (const auto& offset : OutlineOffsets)
        surface.DrawText(offset[0], offset[1], shown, OutlineLevel, OutlineLevel, OutlineLevel);
    surface.DrawText(TextOffset, TextOffset, shown, 255, 255, 255);

    // Entries above the still ones repeat entry 0, which comes first among
    // equals: the message never lands on a cycled entry.
    uint8_t palette[256][3];
    std::memcpy(palette, image.Palette, sizeof palette);
    for (int32_t i = std::clamp(stillEntries, 1, 256); i < 256; ++i) std::memcpy(palette[i], palette[0], 3);
    BitmapToImage(surface, message);
    if (ErrGet() == 0) PalMapFixed(message, palette);
    if (ErrGet() != 0) {
        ImgFree(message);
        return;
    }
    const int32_t transparent = PalNearest(0, 0, 0, palette);
    // The sprite brings its palette along: the logo's own, cycled entries included.
    std::memcpy(message.Palette, image.Palette, sizeof message.Palette);

    const int32_t w = message.Width;
    const int32_t h = message.Height;
    const int32_t right = LogoWidth - MessageMargin - w;
    const int32_t bottom = LogoHeight - MessageMargin - h;
    int32_t x = MessageMargin, y = MessageMargin;
    switch (RandomInt(4)) {
        case 1:
            x = right;
            break;
        case 2:
            y = bottom;
            break;
        case 3:
            x = right;
            y = bottom;
            break;
        default:
            break;
    }
    x = std::max(x, MessageMinPos);
    y = std::max(y, MessageMinPos);
    ImgSprite(message, image, x, y, transparent);
    ImgFree(message);
}

void BitmapToImage(const platform::TextSurface& surface, Limg& image)
{
    const int32_t width = surface.Width();
    const int32_t height = surface.Height();
    ImgAlloc(image, width, height, 24);
    if (ErrGet() != 0 || image.Data == nullptr) return;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t rgb = surface.Pixel(x, y);
            uint8_t* px =
                image.Data + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
            px[0] = static_cast<uint8_t>(rgb);
            px[1] = static_cast<uint8_t>(rgb >> 8);
            px[2] = static_cast<uint8_t>(rgb >> 16);
        }
    }
}
