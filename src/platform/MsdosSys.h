#pragma once
// MSDOS.SYS of Windows 95/98: a small INI text in the boot drive's root
// (often hidden, system and read-only) whose [Paths] section names the
// Windows folder and whose [Options] section can switch the start-up logo off.

#include <string>

namespace platform {

struct MsdosSys {
    bool Present = false;  // a readable text file of plausible size
    std::string WinDir;    // [Paths] WinDir=, as written ("C:\WIN98"); empty when absent
    bool LogoOff = false;  // [Options] Logo=0
};

// Reads a host file; a missing, oversized or binary file (the MS-DOS 6
// MSDOS.SYS is a program) gives an empty record.
MsdosSys ReadMsdosSys(const std::string& hostFile);
// The same for text already read.
MsdosSys ParseMsdosSys(const std::string& text);

}  // namespace platform
