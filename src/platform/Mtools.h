#pragma once
// GNU mtools, the engine behind drives that live in disk images. Every run
// gets an argument vector (never a shell), standard input from /dev/null,
// a fixed configuration and a UTF-8 locale, so long names come back as
// the bytes the rest of the program uses.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ToolOutput {
    int Status = -1;  // exit status; -1 when the program could not be started or died
    std::string Out;
    std::string Err;
};

// Runs one mtools program ("mdir", "mcopy", ...) with its arguments.
ToolOutput RunMtools(const std::vector<std::string>& args);

// The -i argument that reaches a file system at a byte offset of an image.
std::string MtoolsImage(const std::string& file, int64_t offset);

// Descriptors every mtools run inherits (the image locks of DriveSession),
// while they are open; all others stay closed to the runs and to any
// other program this process starts.
void ShareWithMtools(int fd);
void StopSharingWithMtools(int fd);

// How many mtools runs this process has made, for the reports of cost.
int64_t MtoolsRuns();

// The messages of an mtools run that are not about a missing file: what
// tells a damaged file system or a failed write from a name that does not
// exist. Lines are joined with "; ".
std::string MtoolsFailure(const std::string& err);

}  // namespace platform
