// restore.bat handling in RestoreLogos: the input is the batch file, in a
// drive C: that also holds a logo and a backup copy for its lines to act on.
// Host paths ("/...") would reach host files, so slashes become backslashes.

#include <algorithm>
#include <vector>

#include "FuzzMachine.h"
#include "app/Backup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Machine& m = fuzz::Machine::Get();
    m.Wipe();
    std::vector<uint8_t> batch(data, data + size);
    std::replace(batch.begin(), batch.end(), uint8_t('/'), uint8_t('\\'));
    const std::string folder = m.DriveC() + "/WINDOWS/logos.bak";
    mkdir(folder.c_str(), 0777);
    fuzz::WriteHost(folder + "/restore.bat", batch.data(), batch.size());
    fuzz::WriteHost(folder + "/00000001.bmp", data, std::min<size_t>(size, 64));
    fuzz::WriteHost(m.DriveC() + "/LOGO.SYS", data, std::min<size_t>(size, 32));
    const fuzz::Tracked before = fuzz::Begin();
    RestoreLogos();
    fuzz::Check(before);
    return 0;
}
