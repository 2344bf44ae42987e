#include "app/Composer.h"

#include <algorithm>
#include <cstring>

#include "app/Backup.h"
#include "app/BootScreen.h"
#include "app/Dialogs.h"
#include "app/Settings.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "image/PalOpt.h"
#include "platform/Files.h"
#include "platform/TextSurface.h"

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

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

bool IsLogoImage(const Limg& img)
{
    return img.Data != nullptr && img.Width == LogoWidth && img.Height == LogoHeight && img.BytesPP == 1;
}

}  // namespace

bool SetLogo(const std::string& source, int32_t index)
{
    const std::string target = LogoPath(index);
    BackupLogo(target);
    return MakeLogo(source, target, LogoMessages(index), index == LogoStartup && Settings.AnimatedBar);
}

bool MakeLogo(const std::string& source, const std::string& target, const std::string& messages, bool animated)
{
    if (source.empty() || target.empty()) return false;
    Limg image;
    bool written = false;
    try {
        ImgLoad(source, image);
        if (animated && ErrGet() == 0 && IsLogoImage(image)) AnimateLogo(image, Settings.BarColor);
        if (ErrGet() == 0 && IsLogoImage(image)) {
            DrawMessage(image, PickMessage(messages), animated ? CycleFirst : 256);
            const std::string temp = ChangeFileExt(target, ".bmp");
            const bool tempIsTarget = SameName(temp, target);
            ImgSave(temp, image);
            if (ErrGet() == 0 && animated && !MarkCycling(temp, CycleFirst)) {
                if (!tempIsTarget) platform::DeleteFile(temp);
            } else if (ErrGet() == 0) {
                // One rename over the old logo: there is never a moment without one.
                written = tempIsTarget || platform::MoveFile(temp, target, true);
            } else if (!tempIsTarget) {
                platform::DeleteFile(temp);
            }
        }
    } catch (...) {
        written = false;
    }
    ImgFree(image);
    return written;
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
    if (surface.SelectFont(MessageFont, MessagePoints)) surface.MeasureText(line, cx, cy);
    surface.SetSize(cx + 2 * TextOffset, cy + 2 * TextOffset);
    surface.Fill(0, 0, 0);
    for (const auto& offset : OutlineOffsets)
        surface.DrawText(offset[0], offset[1], line, OutlineLevel, OutlineLevel, OutlineLevel);
    surface.DrawText(TextOffset, TextOffset, line, 255, 255, 255);

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
