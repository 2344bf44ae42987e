#pragma once
// What a path names on the host, asked before anything opens it: opening a
// named pipe for reading waits for a writer, and a device may never end.

#include <cstdint>
#include <string>

namespace platform {

enum class FileKind {
    Missing,  // nothing there, or it cannot be examined
    Regular,
    Folder,
    Special,  // a named pipe, a device or a socket
};

// Follows symbolic links, as opening the path would. `size` is the file's
// size for a regular file, 0 otherwise.
FileKind KindOfFile(const std::string& path, int64_t& size);

}  // namespace platform
