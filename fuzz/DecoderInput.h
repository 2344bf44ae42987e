#pragma once
// Splits a decoder target's input into an output size (the first two bytes,
// plus one), a parameter byte and the coded bytes (at least one), each in a
// block of its own size so that AddressSanitizer sees any access past either
// end. Neither buffer is empty: readers never hand a decoder a null block.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzz {

struct DecoderInput {
    std::vector<uint8_t> Src;
    std::vector<uint8_t> Dst;
    uint8_t Param = 0;

    bool Split(const uint8_t* data, size_t size)
    {
        if (size < 4) return false;
        Dst.assign(static_cast<size_t>(data[0] << 8 | data[1]) + 1, 0xA5);
        Param = data[2];
        Src.assign(data + 3, data + size);
        Src.shrink_to_fit();
        return true;
    }
    int32_t SrcLen() const { return static_cast<int32_t>(Src.size()); }
    int32_t DstLen() const { return static_cast<int32_t>(Dst.size()); }

    // A decoder returns how many bytes it wrote: never more than it was given room for.
    void CheckWritten(int32_t written) const
    {
        if (written < 0 || written > DstLen()) std::abort();
    }
};

}  // namespace fuzz
