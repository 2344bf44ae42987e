// The registry store parser: the input is the store file. Values read from
// it must read the same after a write has rewritten the store and it has
// been read again, and the written value must come back.

#include "FuzzMachine.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::Machine& m = fuzz::Machine::Get();
    fuzz::WriteHost(m.RegistryFile(), data, size);
    RegistryReset();
    RegKey key;
    if (!RegOpenKey("\\SOFTWARE\\Lumenade\\", true, key)) fuzz::Fail("cannot open or create the key");
    std::string text, again, back;
    int32_t number = 0, numberAgain = 0;
    const bool hasText = RegReadString(key, "Text", text), hasNumber = RegReadInteger(key, "Number", number);
    if (!RegWriteString(key, "Fuzz", "line\r\n\"quoted\" \\")) fuzz::Fail("cannot write a value");
    RegistryReset();
    if (!RegReadString(key, "Fuzz", back) || back != "line\r\n\"quoted\" \\") fuzz::Fail("written value lost");
    if (RegReadString(key, "Text", again) != hasText || again != text) fuzz::Fail("string changed by a rewrite");
    if (RegReadInteger(key, "Number", numberAgain) != hasNumber || numberAgain != number) fuzz::Fail("number changed");
    return 0;
}
