// The BMP RLE8 decoder is private to its unit, so it is reached through
// ImgLoad: a valid RLE8 header (width and height from the first two bytes,
// 1 to 256) and an empty palette before the fuzzed data.

#include <vector>

#include "FuzzMachine.h"
#include "formats/FFBasic.h"
#include "foundation/Bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    std::vector<uint8_t> file(54 + 1024);
    file[0] = 'B', file[1] = 'M';
    PutU32LE(&file[2], static_cast<uint32_t>(file.size() + size - 2));
    PutU32LE(&file[10], 54 + 1024);
    PutU32LE(&file[14], 40);
    PutU32LE(&file[18], data[0] + 1u);
    PutU32LE(&file[22], data[1] + 1u);
    PutU16LE(&file[26], 1);
    PutU16LE(&file[28], 8);
    PutU32LE(&file[30], 1);
    file.insert(file.end(), data + 2, data + size);
    const std::string name = fuzz::Machine::Get().PutInput("bmp", file.data(), file.size());
    static Limg img;
    const fuzz::Tracked before = fuzz::Begin();
    ImgLoad(name, img);
    if (ErrGet() != 0) fuzz::Fail("a valid RLE8 header did not load");
    fuzz::CheckImage(img);
    ImgFree(img);
    img = Limg{};
    fuzz::Check(before);
    return 0;
}
