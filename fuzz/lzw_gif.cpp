// The GIF LZW decoder on its own: the coded bytes start with the minimum
// code size, as in a file; the work area is a block of its exact size.

#include <memory>

#include "DecoderInput.h"
#include "formats/FF_GIF.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::DecoderInput in;
    if (!in.Split(data, size)) return 0;
    auto tables = std::make_unique<uint8_t[]>(GIFLzwTableSize);
    const int32_t n = GIFDecodeLZW(in.Src.data(), in.SrcLen(), in.Dst.data(), in.DstLen(), tables.get());
    if (n != -1) in.CheckWritten(n);
    return 0;
}
