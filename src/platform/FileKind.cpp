#include "platform/FileKind.h"

#include <sys/stat.h>

#include "platform/Paths.h"

namespace platform {

FileKind KindOfFile(const std::string& path, int64_t& size)
{
    size = 0;
    const std::string host = HostPath(path);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0) return FileKind::Missing;
    if (S_ISDIR(st.st_mode)) return FileKind::Folder;
    if (!S_ISREG(st.st_mode)) return FileKind::Special;
    size = st.st_size;
    return FileKind::Regular;
}

}  // namespace platform
