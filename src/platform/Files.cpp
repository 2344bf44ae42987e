#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Paths.h"
#include "platform/WholeFile.h"

namespace platform {

namespace {

bool HostStat(const std::string& host, struct stat& st)
{
    return !host.empty() && stat(host.c_str(), &st) == 0;
}

// Windows keeps read-only files from being written or deleted even by an
// administrator, so the owner's write bit decides, not access().
bool ReadOnlyMode(const struct stat& st)
{
    return (st.st_mode & S_IWUSR) == 0;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string HostParent(const std::string& host)
{
    size_t slash = host.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : host.substr(0, slash);
}

uint32_t AttributesOf(const std::string& name, const struct stat& st)
{
    uint32_t attr = 0;
    if (S_ISDIR(st.st_mode)) {
        attr = AttrDirectory;
    } else {
        attr = AttrArchive;
        if (ReadOnlyMode(st)) attr |= AttrReadOnly;
    }
    // Dot files are hidden, as Wine shows them.
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attr |= AttrHidden;
    return attr;
}

// Opens without blocking on a FIFO and refuses anything but a regular file.
int OpenRegular(const std::string& host, int flags, mode_t mode = 0666)
{
    if (host.empty()) return NoFile;
    int fd = open(host.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0) return NoFile;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return NoFile;
    }
    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

bool CopyBytes(int from, int to)
{
    char buf[65536];
    for (;;) {
        ssize_t n = read(from, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = write(to, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

// Copies a regular file (never through a symbolic link) whole onto a host
// path: replacing it, or only when no file has the name yet.
bool CopyHost(const std::string& fromHost, const std::string& toHost, bool exclusive)
{
    int src = OpenRegular(fromHost, O_RDONLY | O_NOFOLLOW);
    if (src == NoFile) return false;
    struct stat st {};
    fstat(src, &st);
    PendingFile file;
    if (!BeginWhole(toHost, file, static_cast<int>(st.st_mode & 0777))) {
        close(src);
        return false;
    }
    bool ok = CopyBytes(src, file.Fd);
    const int error = errno;
    close(src);
    if (!ok) {
        Abandon(file);
        NoteWholeFileError(error);
        return false;
    }
    timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(file.Fd, times);
    return exclusive ? CommitNew(file) : CommitReplace(file);
}

bool MatchPattern(const std::string& name, const std::string& pattern)
{
    size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

FileDescriptor OpenExisting(const std::string& path, Access access)
{
    std::string host = HostPath(path);
    struct stat st {};
    if (!HostStat(host, st) || !S_ISREG(st.st_mode)) return NoFile;
    if (access != Access::Read && ReadOnlyMode(st)) return NoFile;
    int flags = access == Access::Read ? O_RDONLY : (access == Access::Write ? O_WRONLY : O_RDWR);
    return OpenRegular(host, flags);
}

FileDescriptor CreateTruncate(const std::string& path)
{
    std::string host = HostPath(path);
    if (host.empty()) return NoFile;
    struct stat st {};
    if (HostStat(host, st) && (!S_ISREG(st.st_mode) || ReadOnlyMode(st))) return NoFile;
    int fd = OpenRegular(host, O_RDWR | O_CREAT);
    if (fd == NoFile) return NoFile;
    if (ftruncate(fd, 0) != 0) {
        close(fd);
        return NoFile;
    }
    return fd;
}

int64_t ReadSome(FileDescriptor fd, void* buffer, int64_t count)
{
    if (fd < 0) return -1;
    int64_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = read(fd, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t WriteSome(FileDescriptor fd, const void* buffer, int64_t count)
{
    if (fd < 0) return -1;
    int64_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < count) {
        ssize_t n = write(fd, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

bool SeekTo(FileDescriptor fd, int64_t position)
{
    return fd >= 0 && position >= 0 && lseek(fd, static_cast<off_t>(position), SEEK_SET) == position;
}

bool SeekToEnd(FileDescriptor fd)
{
    return fd >= 0 && lseek(fd, 0, SEEK_END) >= 0;
}

int64_t FileSizeOf(FileDescriptor fd)
{
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) return -1;
    return st.st_size;
}

int64_t PositionOf(FileDescriptor fd)
{
    if (fd < 0) return -1;
    return lseek(fd, 0, SEEK_CUR);
}

bool CloseFile(FileDescriptor fd)
{
    return fd >= 0 && close(fd) == 0;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return HostStat(HostPath(path), st);
}

bool FileModificationTime(const std::string& path, int64_t& nanoseconds)
{
    struct stat st {};
    if (!HostStat(HostPath(path), st)) return false;
    nanoseconds = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

uint32_t GetFileAttributes(const std::string& path)
{
    std::string host = HostPath(path);
    struct stat st {};
    if (!HostStat(host, st)) return InvalidAttributes;
    return AttributesOf(BaseName(host), st);
}

bool SetFileAttributes(const std::string& path, uint32_t attributes)
{
    std::string host = HostPath(path);
    struct stat st {};
    if (!HostStat(host, st)) return false;
    if (S_ISDIR(st.st_mode)) return true;
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & AttrReadOnly) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    return chmod(host.c_str(), mode) == 0;
}

bool DeleteFile(const std::string& path)
{
    std::string host = HostPath(path);
    struct stat st {};
    if (host.empty() || lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISREG(st.st_mode) && ReadOnlyMode(st)) return false;
    return unlink(host.c_str()) == 0;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists)
{
    std::string fromHost = HostPath(from);
    std::string toHost = HostPath(to);
    struct stat src {
    }, dst{};
    if (fromHost.empty() || lstat(fromHost.c_str(), &src) != 0 || !S_ISREG(src.st_mode) || toHost.empty()) {
        NoteWholeFileError(ENOENT);
        return false;
    }
    if (lstat(toHost.c_str(), &dst) == 0) {
        NoteWholeFileError(failIfExists ? EEXIST : EACCES);
        if (failIfExists || !S_ISREG(dst.st_mode) || ReadOnlyMode(dst)) return false;
        // Copying a file onto itself would truncate it before reading.
        if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) return false;
    }
    return CopyHost(fromHost, toHost, failIfExists);
}

bool MoveFile(const std::string& from, const std::string& to, bool replaceExisting)
{
    std::string fromHost = HostPath(from);
    std::string toHost = HostPath(to);
    struct stat src {
    }, dst{};
    if (fromHost.empty() || lstat(fromHost.c_str(), &src) != 0 || toHost.empty()) return false;
    if (lstat(toHost.c_str(), &dst) == 0) {
        if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
            // The same file under another case: a rename to the case given.
            std::string parent = HostParent(toHost);
            std::string target = (parent == "/" ? "/" : parent + "/") + BaseName(to);
            return target == fromHost || rename(fromHost.c_str(), target.c_str()) == 0;
        }
        // Only a regular file is ever replaced, never a link, folder or device.
        if (!replaceExisting || !S_ISREG(dst.st_mode) || S_ISDIR(src.st_mode)) return false;
        if (ReadOnlyMode(dst)) return false;
    }
    if (rename(fromHost.c_str(), toHost.c_str()) == 0) return true;
    if (errno != EXDEV || !S_ISREG(src.st_mode)) return false;
    // Across file systems: a whole copy beside the target, renamed over it.
    if (!CopyHost(fromHost, toHost, false)) return false;
    return unlink(fromHost.c_str()) == 0;
}

bool CreateDirectory(const std::string& path)
{
    std::string host = HostPath(path);
    return !host.empty() && mkdir(host.c_str(), 0777) == 0;
}

bool RemoveDirectory(const std::string& path)
{
    std::string host = HostPath(path);
    return !host.empty() && rmdir(host.c_str()) == 0;
}

std::vector<FindData> FindFiles(const std::string& pattern)
{
    std::vector<FindData> found;
    if (pattern.empty()) return found;
    std::string folderHost;
    std::string namePattern;
    if (pattern[0] == '/') {
        size_t slash = pattern.find_last_of('/');
        folderHost = slash == 0 ? "/" : pattern.substr(0, slash);
        namePattern = pattern.substr(slash + 1);
    } else {
        std::string p = pattern;
        std::replace(p.begin(), p.end(), '/', '\\');
        size_t slash = p.find_last_of('\\');
        std::string folder;
        if (slash != std::string::npos) {
            folder = p.substr(0, slash + 1);
            namePattern = p.substr(slash + 1);
        } else if (p.size() >= 2 && p[1] == ':') {
            folder = p.substr(0, 2);
            namePattern = p.substr(2);
        } else {
            folder = ".";
            namePattern = p;
        }
        folderHost = HostPath(folder);
    }
    if (namePattern.empty() || folderHost.empty()) return found;
    if (namePattern == "*.*") namePattern = "*";
    namePattern = UpperAZ(namePattern);
    DIR* dir = opendir(folderHost.c_str());
    if (!dir) return found;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || !MatchPattern(UpperAZ(name), namePattern)) continue;
        std::string host = folderHost == "/" ? "/" + name : folderHost + "/" + name;
        struct stat st {};
        if (stat(host.c_str(), &st) != 0 && lstat(host.c_str(), &st) != 0) continue;
        FindData d;
        d.Name = name;
        struct stat own {};
        d.Regular = lstat(host.c_str(), &own) == 0 && S_ISREG(own.st_mode);
        d.Attributes = AttributesOf(name, st);
        d.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
        found.push_back(std::move(d));
    }
    closedir(dir);
    // A fixed order keeps runs reproducible across file systems.
    std::sort(found.begin(), found.end(), [](const FindData& a, const FindData& b) { return a.Name < b.Name; });
    return found;
}

}  // namespace platform
