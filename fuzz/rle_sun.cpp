// The Sun raster byte-encoding decoder on its own.

#include "DecoderInput.h"
#include "formats/FF_SUN.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::DecoderInput in;
    if (!in.Split(data, size)) return 0;
    in.CheckWritten(SUNunCmps(in.Src.data(), in.SrcLen(), in.Dst.data(), in.DstLen()));
    return 0;
}
