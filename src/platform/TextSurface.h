#pragma once
// An off-screen drawing surface with one font, as a GDI memory device
// context gave it: measure a line, fill, draw text without a background and
// read the pixels back. Text is rasterised with FreeType in monochrome (no
// smoothing), so the output depends only on the font file.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class TextSurface {
public:
    TextSurface();
    ~TextSurface();
    TextSurface(const TextSurface&) = delete;
    TextSurface& operator=(const TextSurface&) = delete;

    // Regular face of the family as fontconfig matches it ("Arial" gives
    // Liberation Sans), at points × 96 / 72 pixels, rounded. False when no
    // font could be loaded; measuring and drawing then do nothing.
    bool SelectFont(const std::string& family, int32_t points);
    bool HasFont() const { return face_ != nullptr; }
    // Path of the selected font file.
    const std::string& FontFile() const { return fontFile_; }

    // Width (sum of advances) and height (ascent + descent) of the line.
    void MeasureText(const std::string& text, int32_t& cx, int32_t& cy) const;

    // Resizes to width × height (negative counts as 0); the contents become black.
    void SetSize(int32_t width, int32_t height);
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

    void Fill(uint8_t red, uint8_t green, uint8_t blue);
    // The text's top-left corner at (x, y); glyph pixels outside are clipped.
    void DrawText(int32_t x, int32_t y, const std::string& text, uint8_t red, uint8_t green, uint8_t blue);
    // 0x00RRGGBB; 0 outside the surface.
    uint32_t Pixel(int32_t x, int32_t y) const;

private:
    void* library_ = nullptr;  // FT_Library
    void* face_ = nullptr;     // FT_Face
    std::string fontFile_;
    int32_t ascent_ = 0;
    int32_t descent_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint32_t> pixels_;
};

}  // namespace platform
