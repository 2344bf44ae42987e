#pragma once
// Turns a warehouse image into one of the system's logo files, with one line
// of the logo's messages drawn in a random corner.

#include <cstdint>
#include <string>

#include "image/ImgBasic.h"

namespace platform {
class TextSurface;
}

inline constexpr int32_t LogoWidth = 320;
inline constexpr int32_t LogoHeight = 400;
// Distance of the message from the logo's edges, and the least it keeps.
inline constexpr int32_t MessageMargin = 12;
inline constexpr int32_t MessageMinPos = 4;

// Backs up the logo of the index (also for an empty or refused source), then
// makes it from source. True when the logo file was written.
bool SetLogo(const std::string& source, int32_t index);
// Writes target from a 320 × 400 8-bit source; anything else leaves the
// target untouched. An animated logo gets the cycling bar (BootScreen.h).
// True when the logo file was replaced.
bool MakeLogo(const std::string& source, const std::string& target, const std::string& messages, bool animated = false);
// One line of the messages at random, each of the 1 + CR-count candidates
// equally likely; may be empty.
std::string PickMessage(const std::string& messages);
// Draws the line with its outline into a random corner of the 8-bit image,
// in palette entries below stillEntries only.
void DrawMessage(Limg& image, const std::string& line, int32_t stillEntries = 256);
// A new 24-bit image with the surface's pixels.
void BitmapToImage(const platform::TextSurface& surface, Limg& image);
