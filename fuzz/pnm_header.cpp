// The PNM header parser on its own.

#include <vector>

#include "formats/FF_PNM.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const std::vector<uint8_t> bytes(data, data + size);
    TPnmHeader header;
    const int32_t code = PNMParseHeader(bytes.data(), static_cast<int32_t>(bytes.size()), header);
    if (code != 0 && code != 6002 && code != 6009) __builtin_trap();
    if (code == 0 && (header.DataOffset < 0 || header.DataOffset > static_cast<int32_t>(size))) __builtin_trap();
    return 0;
}
