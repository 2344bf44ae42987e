// The SGI run-length row decoder on its own.

#include "DecoderInput.h"
#include "formats/FF_SGI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::DecoderInput in;
    if (!in.Split(data, size)) return 0;
    in.CheckWritten(SGIunCmpsRow(in.Src.data(), in.SrcLen(), in.Dst.data(), in.DstLen()));
    return 0;
}
