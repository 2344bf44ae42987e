// The TGA run-length decoder on its own; the parameter byte picks 1 to 4
// bytes a pixel.

#include "DecoderInput.h"
#include "formats/FFBasic_TGA.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::DecoderInput in;
    if (!in.Split(data, size)) return 0;
    const int32_t pixelSize = in.Param % 4 + 1;
    in.CheckWritten(TGAunCmps_(in.Src.data(), in.SrcLen(), in.Dst.data(), in.DstLen(), pixelSize));
    return 0;
}
