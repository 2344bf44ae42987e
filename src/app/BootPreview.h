#pragma once
// What the boot screen shows of a logo: its palette through the VGA DAC,
// which keeps 6 bits a channel, the 320 x 400 picture stretched to the
// screen's shape, and the cycled entries rotating at CycleStepMs a step.

#include <cstdint>
#include <string>

#include "image/ImgBasic.h"

// An 8-bit palette channel as the DAC shows it.
inline uint8_t DacLevel(uint8_t v)
{
    return static_cast<uint8_t>((v >> 2) * 255 / 63);
}

struct PreviewSize {
    int32_t Width = 0;
    int32_t Height = 0;
};
// The largest area of the shape (shapeWidth : shapeHeight) in a box.
PreviewSize ShapeInBox(int32_t shapeWidth, int32_t shapeHeight, int32_t boxWidth, int32_t boxHeight);
// The size of a preview written to a file: 400 lines, as the mode has.
PreviewSize ScreenSizeOf(int32_t shapeWidth, int32_t shapeHeight);

class BootPreview {
public:
    BootPreview() = default;
    BootPreview(const BootPreview&) = delete;
    BootPreview& operator=(const BootPreview&) = delete;
    ~BootPreview();

    // Loads a logo file or any picture. asAnimatedLogo shows a 320 x 400
    // 8-bit picture as the animated start-up logo made of it (without the
    // message). False, with the library's error state, when it cannot be loaded.
    bool Load(const std::string& path, bool asAnimatedLogo);
    // The first cycled entry, 0 for a still picture.
    int32_t CycleStart() const { return first_; }
    // Frames of one full cycle: 1 for a still picture.
    int32_t Steps() const { return first_ > 0 ? 256 - first_ : 1; }
    const Limg& Picture() const { return picture_; }
    // The palette after `step` cycle steps, as the DAC shows it.
    void FramePalette(int32_t step, uint8_t (&palette)[256][3]) const;
    // The frame after `step` steps stretched to width x height, 24 bits.
    void Frame(int32_t step, int32_t width, int32_t height, Limg& out) const;
    // The picture stretched to width x height as palette indices (8-bit
    // pictures) or 24-bit pixels before the DAC.
    void Stretch(int32_t width, int32_t height, Limg& out) const;

private:
    Limg picture_;
    int32_t first_ = 0;
};

// Writes the preview as a GIF of one full cycle (one frame for a still
// picture, each frame with its own palette) or as a PNG of the first frame,
// as the file's extension says; the file is written whole or not at all.
// False with a reason when it cannot be written.
bool WritePreview(const BootPreview& preview, const std::string& path, int32_t width, int32_t height,
                  std::string& reason);
