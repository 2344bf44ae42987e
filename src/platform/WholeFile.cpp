#include "platform/WholeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace platform {

namespace {

thread_local int lastError = 0;

bool Fail(int error)
{
    lastError = error;
    errno = error;
    return false;
}

std::string HostFolderOf(const std::string& host)
{
    const size_t slash = host.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : host.substr(0, slash);
}

mode_t NewFileMode(int newMode)
{
    static const mode_t mask = [] {
        const mode_t m = umask(022);
        umask(m);
        return m;
    }();
    return static_cast<mode_t>(newMode) & 0777 & ~mask;
}

// A target that may be replaced: missing or a regular file.
bool Replaceable(const std::string& host, struct stat& st, bool& exists)
{
    exists = lstat(host.c_str(), &st) == 0;
    if (!exists) return errno == ENOENT || Fail(errno);
    if (S_ISLNK(st.st_mode)) return Fail(ELOOP);
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
    if (!S_ISREG(st.st_mode)) return Fail(EINVAL);
    return true;
}

bool FlushAndClose(PendingFile& file)
{
    bool ok = fsync(file.Fd) == 0;
    int error = errno;
    if (close(file.Fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    file.Fd = -1;
    if (!ok) {
        unlink(file.TempHost.c_str());
        file.TempHost.clear();
        return Fail(error);
    }
    return true;
}

// The rename is on disk only once the folder is.
void SyncFolder(const std::string& host)
{
    const int fd = open(HostFolderOf(host).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

constexpr const char* TempPrefix = ".~lumenade-";
// No write of ours keeps its temporary file this long; an older one was left
// by a killed or crashed run.
constexpr time_t StaleTempSeconds = 10 * 60;

// ".~lumenade-" and mkstemp's six characters, then nothing or a short extension.
bool IsTempName(const std::string& name)
{
    const size_t prefix = std::char_traits<char>::length(TempPrefix);
    if (name.compare(0, prefix, TempPrefix) != 0 || name.size() < prefix + 6) return false;
    for (size_t i = prefix; i < prefix + 6; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    const std::string rest = name.substr(prefix + 6);
    if (rest.empty()) return true;
    if (rest[0] != '.' || rest.size() < 2 || rest.size() > 5) return false;
    for (size_t i = 1; i < rest.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(rest[i]))) return false;
    return true;
}

// Removes the stale temporary files of ours in a folder, once a process: a
// kill leaves one beside the file it was replacing, and on a drive a Windows
// 9x machine shares it would show as a file of its own.
void SweepStaleTemps(const std::string& folder)
{
    static std::mutex guard;
    static std::set<std::string> swept;
    {
        std::lock_guard<std::mutex> lock(guard);
        if (!swept.insert(folder).second) return;
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    const time_t now = time(nullptr);
    const std::string base = folder == "/" ? std::string() : folder;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsTempName(name)) continue;
        const std::string path = base + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
        if (now - st.st_mtime >= StaleTempSeconds) unlink(path.c_str());
    }
    closedir(dir);
}

}  // namespace

HostKind HostKindOf(const std::string& host)
{
    struct stat st {};
    if (host.empty() || lstat(host.c_str(), &st) != 0) return HostKind::Missing;
    if (S_ISREG(st.st_mode)) return HostKind::Regular;
    if (S_ISDIR(st.st_mode)) return HostKind::Folder;
    if (S_ISLNK(st.st_mode)) return HostKind::Symlink;
    return HostKind::Other;
}

bool BeginWhole(const std::string& targetHost, PendingFile& file, int newMode)
{
    file = PendingFile{};
    if (targetHost.empty()) return Fail(ENOENT);
    struct stat st {};
    bool exists = false;
    if (!Replaceable(targetHost, st, exists)) return false;
    const std::string folder = HostFolderOf(targetHost);
    SweepStaleTemps(folder);
    std::string name = (folder == "/" ? std::string() : folder) + "/" + TempPrefix + "XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    const int fd = mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) return Fail(errno);
    file.Fd = fd;
    file.TempHost = buf.data();
    file.TargetHost = targetHost;
    fchmod(fd, exists ? (st.st_mode & 07777) : NewFileMode(newMode));
    return true;
}

bool CommitReplace(PendingFile& file)
{
    if (file.Fd < 0 || file.TempHost.empty()) return Fail(EBADF);
    if (!FlushAndClose(file)) return false;
    struct stat st {};
    bool exists = false;
    // The target may have changed kind while the file was written.
    if (!Replaceable(file.TargetHost, st, exists) || rename(file.TempHost.c_str(), file.TargetHost.c_str()) != 0) {
        const int error = errno;
        unlink(file.TempHost.c_str());
        file.TempHost.clear();
        return Fail(error);
    }
    file.TempHost.clear();
    SyncFolder(file.TargetHost);
    return true;
}

bool CommitNew(PendingFile& file)
{
    if (file.Fd < 0 || file.TempHost.empty()) return Fail(EBADF);
    if (!FlushAndClose(file)) return false;
    bool ok = link(file.TempHost.c_str(), file.TargetHost.c_str()) == 0;
    int error = errno;
    if (!ok && error != EEXIST) {
        // Folders without hard links (FAT): claim the name, then fill it in one step.
        const int claim = open(file.TargetHost.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (claim >= 0) {
            close(claim);
            ok = rename(file.TempHost.c_str(), file.TargetHost.c_str()) == 0;
            error = errno;
            if (!ok) unlink(file.TargetHost.c_str());
        } else {
            error = errno;
        }
    }
    unlink(file.TempHost.c_str());
    file.TempHost.clear();
    if (!ok) return Fail(error);
    SyncFolder(file.TargetHost);
    return true;
}

void Abandon(PendingFile& file)
{
    if (file.Fd >= 0) close(file.Fd);
    if (!file.TempHost.empty()) unlink(file.TempHost.c_str());
    file = PendingFile{};
}

bool WriteWholeHost(const std::string& targetHost, const std::string& bytes, int newMode)
{
    PendingFile file;
    if (!BeginWhole(targetHost, file, newMode)) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(file.Fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            Abandon(file);
            return Fail(error);
        }
        done += static_cast<size_t>(n);
    }
    return CommitReplace(file);
}

std::string ReserveTempBeside(const std::string& targetHost, const std::string& suffix)
{
    if (targetHost.empty()) return {};
    const std::string folder = HostFolderOf(targetHost);
    SweepStaleTemps(folder);
    std::string name = (folder == "/" ? std::string() : folder) + "/" + TempPrefix + "XXXXXX" + suffix;
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    const int fd = mkostemps(buf.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return {};
    }
    close(fd);
    return buf.data();
}

int LastWholeFileError()
{
    return lastError;
}

void NoteWholeFileError(int error)
{
    lastError = error;
}

bool IsDiskFull(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

int LockHostFile(const std::string& lockHost, int waitMs)
{
    const int fd = open(lockHost.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return NoLockFile;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        if (std::chrono::steady_clock::now() >= until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    close(fd);
    return LockBusy;
}

void UnlockHostFile(int fd)
{
    if (fd >= 0) close(fd);
}

}  // namespace platform
