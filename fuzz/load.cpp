// ImgLoad of one format, picked at build time by its extension (LUM_FUZZ_EXT).

#include "FuzzMachine.h"
#include "formats/FFBasic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (fuzz::SkipForGifUnit(data, size, LUM_FUZZ_KEEPS_BLOCKS)) return 0;
    const std::string name = fuzz::Machine::Get().PutInput(LUM_FUZZ_EXT, data, size);
    static Limg img;
    const fuzz::Tracked before = fuzz::Begin();
    ImgLoad(name, img);
    if (ErrGet() == 0) {
        fuzz::CheckImage(img);
        ImgFree(img);
    }
    img = Limg{};
    fuzz::Check(before, LUM_FUZZ_KEEPS_BLOCKS);
    return 0;
}
