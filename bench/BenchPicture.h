#pragma once
// The picture the benchmarks share: 4000 x 3000, smooth gradients with some
// texture so that coders and the palette see something like a photo, and its
// quality-90 JPEG.

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace bench {

inline constexpr int PictureWidth = 4000;
inline constexpr int PictureHeight = 3000;

// Blue, green, red, rows from the top.
inline const std::vector<uint8_t>& PhotoLike()
{
    static const std::vector<uint8_t> bgr = [] {
        std::vector<uint8_t> p(static_cast<size_t>(PictureWidth) * PictureHeight * 3);
        uint32_t noise = 12345;
        for (int y = 0; y < PictureHeight; ++y)
            for (int x = 0; x < PictureWidth; ++x) {
                noise = noise * 1103515245u + 12345u;
                const int n = static_cast<int>((noise >> 16) & 15) - 8;
                const double wave = std::sin(x * 0.004) * std::cos(y * 0.006);
                uint8_t* q = &p[(static_cast<size_t>(y) * PictureWidth + x) * 3];
                q[0] = static_cast<uint8_t>(std::clamp(int(128 + 90 * wave) + n, 0, 255));
                q[1] = static_cast<uint8_t>(std::clamp(y * 255 / PictureHeight + n, 0, 255));
                q[2] = static_cast<uint8_t>(std::clamp(x * 255 / PictureWidth + n, 0, 255));
            }
        return p;
    }();
    return bgr;
}

inline std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& bgr, int quality)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = PictureWidth;
    c.image_height = PictureHeight;
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&bgr[static_cast<size_t>(c.next_scanline) * PictureWidth * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

inline const std::vector<uint8_t>& PhotoJpeg90()
{
    static const std::vector<uint8_t> bytes = EncodeJpeg(PhotoLike(), 90);
    return bytes;
}

}  // namespace bench
