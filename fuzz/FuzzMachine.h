#pragma once
// What every fuzz target shares: a private emulated machine (drive C: in a
// temporary host folder, its own registry file, every other drive unmapped so
// an input naming Z:\ reaches no host file), the input written there as a
// file, and the check that a call left no tracked block, file or error frame
// behind.

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

namespace fuzz {

[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline int RemoveEntry(const char* path, const struct stat*, int, FTW*)
{
    chmod(path, 0700);
    return remove(path);
}

inline void WriteHost(const std::string& host, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(host.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) Fail("cannot write the input file");
}

class Machine {
public:
    static Machine& Get()
    {
        static Machine machine;
        return machine;
    }

    const std::string& Root() const { return root_; }
    const std::string& DriveC() const { return driveC_; }
    const std::string& RegistryFile() const { return registry_; }

    // Writes the input as C:\<base><ext>. Two names take turns, so a reader
    // that caches by name, size and time never sees the last input again.
    std::string PutInput(const std::string& ext, const uint8_t* data, size_t size)
    {
        turn_ = !turn_;
        const std::string base = turn_ ? "in1." : "in2.";
        WriteHost(driveC_ + "/" + base + ext, data, size);
        return "C:\\" + base + ext;
    }

    // Empties drive C: and gives it a fresh C:\WINDOWS\ again.
    void Wipe() const
    {
        nftw(driveC_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
        mkdir(driveC_.c_str(), 0777);
        mkdir((driveC_ + "/WINDOWS").c_str(), 0777);
    }

private:
    Machine()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/lumenade-fuzz-XXXXXX";
        if (!mkdtemp(templ.data())) Fail("cannot create the temporary machine");
        root_ = templ;
        driveC_ = root_ + "/drive_c";
        registry_ = root_ + "/user.reg";
        Wipe();
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const std::string var = std::string("LUMENADE_DRIVE_") + letter;
            setenv(var.c_str(), letter == 'C' ? driveC_.c_str() : "", 1);
        }
        setenv("LUMENADE_REGISTRY", registry_.c_str(), 1);
        unsetenv("LUMENADE_WINDOWS");
        platform::ReloadConfiguration();
        std::atexit([] { nftw(Get().root_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); });
    }

    std::string root_;
    std::string driveC_;
    std::string registry_;
    bool turn_ = false;
};

// The tracked tables before a call.
struct Tracked {
    int32_t Blocks;
    int32_t Files;
};

inline Tracked Begin()
{
    ErrResetState();
    return {MemCount(), FCount()};
}

// A file with GIF's signature is read by the GIF unit whatever its name, and
// that unit keeps blocks between calls; its own targets check it, so the
// other formats' targets pass such input over and keep their strict check.
inline bool SkipForGifUnit(const uint8_t* data, size_t size, bool keepsBlocks)
{
    return !keepsBlocks && size >= 6 &&
           (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

// A call must close its files and its error frames; and free its blocks
// unless the unit keeps some between calls (the GIF frame positions).
inline void Check(const Tracked& before, bool keepsBlocks = false)
{
    if (ErrFrameDepth() != 0 || ErrLabelDepth() != 0) Fail("error frames or labels left open");
    if (FCount() != before.Files) Fail("tracked file left open");
    if (!keepsBlocks && MemCount() != before.Blocks) Fail("tracked memory block left behind");
}

// A loaded image must be what its record says: every byte readable.
inline void CheckImage(const Limg& img)
{
    if (!MemIsTracked(img.Data) || img.Width <= 0 || img.Height <= 0) Fail("loaded image without data");
    const int64_t need = static_cast<int64_t>(img.Width) * img.Height * img.BytesPP;
    if (img.BytesPP < 1 || img.BytesPP > 4 || img.Size < need) Fail("image size below its geometry");
    volatile uint8_t sink = 0;
    for (int64_t i = 0; i < need; i += 4093) sink = sink ^ img.Data[i];
    sink = sink ^ img.Data[need - 1];
}

}  // namespace fuzz
