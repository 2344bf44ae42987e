#include "platform/TextSurface.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace platform {

namespace {

// Windows text is 8-bit; the host gives UTF-8. Bytes that are not valid
// UTF-8 are taken as Latin-1 so every byte still draws something.
std::vector<uint32_t> CodePoints(const std::string& text)
{
    std::vector<uint32_t> out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        size_t extra = (c >= 0xC2 && c < 0xE0) ? 1 : (c >= 0xE0 && c < 0xF0) ? 2 : (c >= 0xF0 && c < 0xF5) ? 3 : 0;
        uint32_t cp = c;
        if (extra > 0 && extra < n - i) {
            cp = c & (0x3Fu >> extra);
            for (size_t k = 1; k <= extra; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) {
                    extra = 0;
                    break;
                }
                cp = (cp << 6) | (s[i + k] & 0x3Fu);
            }
            if (extra == 0) cp = c;
        } else {
            extra = 0;
        }
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

std::string MatchFontFile(const std::string& family)
{
    std::string file;
    if (!FcInit()) return file;
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return file;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match != nullptr) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path != nullptr)
            file = reinterpret_cast<const char*>(path);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

constexpr FT_Int32 LoadFlags = FT_LOAD_TARGET_MONO;

}  // namespace

TextSurface::TextSurface() = default;

TextSurface::~TextSurface()
{
    if (face_ != nullptr) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_ != nullptr) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

bool TextSurface::SelectFont(const std::string& family, int32_t points)
{
    if (face_ != nullptr) {
        FT_Done_Face(static_cast<FT_Face>(face_));
        face_ = nullptr;
    }
    if (library_ == nullptr) {
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib) != 0) return false;
        library_ = lib;
    }
    fontFile_ = MatchFontFile(family);
    if (fontFile_.empty()) return false;
    FT_Face face = nullptr;
    if (FT_New_Face(static_cast<FT_Library>(library_), fontFile_.c_str(), 0, &face) != 0) return false;
    // 10 points are 13 pixels on a 96 dpi display.
    FT_UInt pixels = static_cast<FT_UInt>((points * 96 + 36) / 72);
    if (pixels == 0 || FT_Set_Pixel_Sizes(face, 0, pixels) != 0) {
        FT_Done_Face(face);
        return false;
    }
    face_ = face;
    ascent_ = static_cast<int32_t>((face->size->metrics.ascender + 63) >> 6);
    descent_ = static_cast<int32_t>((-face->size->metrics.descender + 63) >> 6);
    return true;
}

void TextSurface::MeasureText(const std::string& text, int32_t& cx, int32_t& cy) const
{
    cx = 0;
    cy = 0;
    if (face_ == nullptr) return;
    auto face = static_cast<FT_Face>(face_);
    int64_t width = 0;
    for (uint32_t cp : CodePoints(text)) {
        if (FT_Load_Char(face, cp, LoadFlags) != 0) continue;
        width += (face->glyph->advance.x + 32) >> 6;
    }
    cx = static_cast<int32_t>(width > INT32_MAX ? INT32_MAX : width);
    cy = ascent_ + descent_;
}

void TextSurface::SetSize(int32_t width, int32_t height)
{
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    pixels_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
}

void TextSurface::Fill(uint8_t red, uint8_t green, uint8_t blue)
{
    uint32_t colour = (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) | blue;
    for (uint32_t& p : pixels_) p = colour;
}

void TextSurface::DrawText(int32_t x, int32_t y, const std::string& text, uint8_t red, uint8_t green, uint8_t blue)
{
    if (face_ == nullptr) return;
    auto face = static_cast<FT_Face>(face_);
    uint32_t colour = (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) | blue;
    int64_t penX = x;
    const int64_t baseline = static_cast<int64_t>(y) + ascent_;
    for (uint32_t cp : CodePoints(text)) {
        if (FT_Load_Char(face, cp, LoadFlags | FT_LOAD_RENDER) != 0) continue;
        FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        int64_t left = penX + g->bitmap_left;
        int64_t top = baseline - g->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row) {
            int64_t py = top + row;
            if (py < 0 || py >= height_) continue;
            const unsigned char* line = bm.buffer + static_cast<ptrdiff_t>(row) * bm.pitch;
            for (unsigned col = 0; col < bm.width; ++col) {
                int64_t px = left + col;
                if (px < 0 || px >= width_) continue;
                bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (line[col >> 3] & (0x80 >> (col & 7))) != 0
                                                              : line[col] >= 128;
                if (on)
                    pixels_[static_cast<size_t>(py) * static_cast<size_t>(width_) + static_cast<size_t>(px)] = colour;
            }
        }
        penX += (g->advance.x + 32) >> 6;
    }
}

uint32_t TextSurface::Pixel(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

}  // namespace platform
