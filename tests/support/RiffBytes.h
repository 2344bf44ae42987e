#pragma once
// Builders of RIFF files for tests: little-endian fields, chunks with their
// pad byte, forms, and the headers AVI and WAVE files carry.

#include <cstdint>
#include <vector>

namespace riff {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutId(Bytes& b, const char* id)
{
    b.insert(b.end(), id, id + 4);
}
inline Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A chunk with its pad byte; a size of -1 stores the real size.
inline Bytes Chunk(const char* id, const Bytes& data, int64_t size = -1)
{
    Bytes b;
    PutId(b, id);
    Put32(b, size < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(size));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    return b;
}

inline Bytes Form(const char* id, const char* type, const std::vector<Bytes>& children, int64_t size = -1)
{
    Bytes data;
    PutId(data, type);
    for (const Bytes& c : children) data.insert(data.end(), c.begin(), c.end());
    return Chunk(id, data, size);
}

// An AVISTREAMHEADER with a 64 x 48 frame rectangle.
inline Bytes StreamHeader(const char* type, const char* handler, uint32_t scale, uint32_t rate, uint32_t length)
{
    Bytes b;
    PutId(b, type);
    if (handler)
        PutId(b, handler);
    else
        Put32(b, 0);
    // flags, priority and language, initial frames, scale, rate, start,
    // length, suggested buffer, quality, sample size
    for (uint32_t v : {0u, 0u, 0u, scale, rate, 0u, length, 4096u, 0xFFFFFFFFu, 0u}) Put32(b, v);
    for (uint16_t v : {0, 0, 64, 48}) Put16(b, v);
    return b;
}

// A BITMAPINFOHEADER; `length` pads or cuts it.
inline Bytes BitmapInfo(int32_t w, int32_t h, uint16_t bits, const char* compression, size_t length = 40)
{
    Bytes b;
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(w));
    Put32(b, static_cast<uint32_t>(h));
    Put16(b, 1);
    Put16(b, bits);
    if (compression)
        PutId(b, compression);
    else
        Put32(b, 0);
    for (int i = 0; i < 5; ++i) Put32(b, 0);
    b.resize(length, 0);
    return b;
}

// A WAVEFORMATEX; `length` cuts it short (16 is a PCMWAVEFORMAT).
inline Bytes WaveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg, uint16_t align, uint16_t bits,
                        size_t length = 18)
{
    Bytes b;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, avg);
    Put16(b, align);
    Put16(b, bits);
    Put16(b, 0);
    b.resize(length, 0);
    return b;
}

}  // namespace riff
