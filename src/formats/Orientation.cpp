#include <libexif/exif-data.h>

#include <cstring>
#include <vector>

#include "formats/FFInternal.h"

namespace {

int32_t OrientationOf(ExifData* data)
{
    if (data == nullptr) return 0;
    int32_t orientation = 0;
    if (ExifEntry* entry = exif_data_get_entry(data, EXIF_TAG_ORIENTATION);
        entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data != nullptr &&
        entry->size >= 2) {
        const int32_t value = exif_get_short(entry->data, exif_data_get_byte_order(data));
        if (value >= 1 && value <= 8) orientation = value;
    }
    exif_data_unref(data);
    return orientation;
}

// Where the pixel (x, y) of the turned picture lies in the stored one.
void SourceOf(int32_t orientation, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& sx, int32_t& sy)
{
    switch (orientation) {
        case 2:
            sx = w - 1 - x, sy = y;
            break;
        case 3:
            sx = w - 1 - x, sy = h - 1 - y;
            break;
        case 4:
            sx = x, sy = h - 1 - y;
            break;
        case 5:
            sx = y, sy = x;
            break;
        case 6:
            sx = y, sy = h - 1 - x;
            break;
        case 7:
            sx = w - 1 - y, sy = h - 1 - x;
            break;
        case 8:
            sx = w - 1 - y, sy = x;
            break;
        default:
            sx = x, sy = y;
            break;
    }
}

}  // namespace

int32_t ExifFileOrientation_(const std::string& hostName)
{
    return OrientationOf(exif_data_new_from_file(hostName.c_str()));
}

int32_t ExifBlockOrientation_(const uint8_t* tiff, size_t size)
{
    if (tiff == nullptr || size == 0 || size > UINT32_MAX - 6) return 0;
    // libexif takes a block behind the header JPEG's APP1 gives it.
    static const uint8_t header[6] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<uint8_t> block(header, header + sizeof header);
    block.insert(block.end(), tiff, tiff + size);
    return OrientationOf(exif_data_new_from_data(block.data(), static_cast<unsigned int>(block.size())));
}

bool TurnsSides(int32_t orientation)
{
    return orientation >= 5 && orientation <= 8;
}

void ImgOrient_(Limg& img, int32_t orientation)
{
    if (orientation < 2 || orientation > 8 || img.Data == nullptr) return;
    const int32_t w = img.Width, h = img.Height, bpp = img.BytesPP;
    const int32_t outW = TurnsSides(orientation) ? h : w;
    const int32_t outH = TurnsSides(orientation) ? w : h;
    Limg out;
    ImgAlloc(out, outW, outH, img.Bits);
    std::memcpy(out.Palette, img.Palette, sizeof out.Palette);
    for (int32_t y = 0; y < outH; ++y) {
        uint8_t* row = out.Data + static_cast<int64_t>(y) * outW * bpp;
        for (int32_t x = 0; x < outW; ++x) {
            int32_t sx = 0, sy = 0;
            SourceOf(orientation, x, y, w, h, sx, sy);
            std::memcpy(row + static_cast<int64_t>(x) * bpp, img.Data + (static_cast<int64_t>(sy) * w + sx) * bpp,
                        static_cast<size_t>(bpp));
        }
    }
    ImgXchg(img, out);
    ImgFree(out);
}
