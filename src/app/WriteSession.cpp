#include "app/WriteSession.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "app/Settings.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/WholeFile.h"

namespace {

constexpr const char* BackupLockName = "lumenade.lock";

struct SessionState {
    int depth = 0;
    int storeLock = -1;
    int folderLock = -1;
    std::string folderHost;
};

SessionState& State()
{
    static SessionState* state = new SessionState;
    return *state;
}

bool MakeHostParents(const std::string& file)
{
    for (size_t i = 1; i < file.size(); ++i) {
        if (file[i] != '/') continue;
        if (mkdir(file.substr(0, i).c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

WriteSession::WriteSession(int waitMs)
{
    SessionState& s = State();
    if (s.depth > 0) {
        ++s.depth;
        held_ = true;
        return;
    }
    const std::string lockFile = platform::RegistryFile() + ".lock";
    MakeHostParents(lockFile);
    s.storeLock = platform::LockHostFile(lockFile, waitMs);
    if (s.storeLock == platform::LockBusy) return;
    s.depth = 1;
    held_ = true;
    outer_ = true;
}

WriteSession::~WriteSession()
{
    if (!held_) return;
    SessionState& s = State();
    if (--s.depth > 0 || !outer_) return;
    platform::UnlockHostFile(s.folderLock);
    platform::UnlockHostFile(s.storeLock);
    s.folderLock = -1;
    s.storeLock = -1;
    s.folderHost.clear();
}

bool LockBackupFolder(const std::string& folder)
{
    SessionState& s = State();
    if (s.depth == 0) return true;
    // A disk image is locked whole for the command that stages it; a lock
    // file here would be written back into the image.
    if (folder.size() > 1 && folder[1] == ':' && !platform::DriveImage(folder[0]).empty()) return true;
    if (!FolderExists(folder) && !ForceFolders(folder)) return false;
    const std::string host = platform::HostPath(AddBackslash(folder) + BackupLockName);
    if (host.empty()) return false;
    if (s.folderLock >= 0 && s.folderHost == host) return true;
    const int fd = platform::LockHostFile(host, LockWaitMs);
    if (fd == platform::LockBusy) return false;
    // A folder where no lock file can be made is a folder nothing can be written to.
    if (fd == platform::NoLockFile) return true;
    platform::UnlockHostFile(s.folderLock);
    s.folderLock = fd;
    s.folderHost = host;
    return true;
}

std::string WriteFailureText(const std::string& file)
{
    const int error = platform::LastWholeFileError();
    if (platform::IsDiskFull(error)) return "disk full: \"" + file + "\"";
    return "couldn't write \"" + file + "\": " + (error != 0 ? std::strerror(error) : "unknown error");
}
