// UniInfo with sequences: the first byte picks the extension, the rest is
// written as pic1 and pic2, so the numbered-sequence probe runs too. Two
// folders take turns, as PutInput's names do.

#include "FuzzMachine.h"
#include "formats/FFBasic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const exts[] = {"tga", "pcx", "bmp", "gif", "flc", "avi", "hav", "jpg",
                                       "png", "tif", "mpg", "wav", "rgb", "ras", "pnm", "sys"};
    if (size < 1) return 0;
    fuzz::Machine& m = fuzz::Machine::Get();
    const std::string ext = exts[data[0] % (sizeof exts / sizeof exts[0])];
    static bool turn = false;
    const std::string folder = (turn = !turn) ? "SEQ1" : "SEQ2";
    mkdir((m.DriveC() + "/" + folder).c_str(), 0777);
    for (const char* n : {"/pic1.", "/pic2."}) fuzz::WriteHost(m.DriveC() + "/" + folder + n + ext, data + 1, size - 1);
    const fuzz::Tracked before = fuzz::Begin();
    TUniInfo info;
    if (UniInfo("C:\\" + folder + "\\pic1." + ext, info, true) && (info.Kind < 0 || info.Kind > 4 || info.SeqCount < 0))
        fuzz::Fail("UniInfo answer out of range");
    fuzz::Check(before, true);
    return 0;
}
