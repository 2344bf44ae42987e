#pragma once
// Whole-file writes and the write lock, on host paths. A file is written to
// a unique temporary name in its own folder, flushed to disk and only then
// renamed over the target, so a failure or a kill leaves the old file or no
// file, never a cut one. Every writer of the program goes through here.

#include <string>

namespace platform {

// A file being written; Fd is -1 when none.
struct PendingFile {
    int Fd = -1;
    std::string TempHost;
    std::string TargetHost;
};

// What a host path names, without following a symbolic link at its end.
enum class HostKind { Missing, Regular, Folder, Symlink, Other };
HostKind HostKindOf(const std::string& host);

// Creates a unique temporary file beside targetHost (O_EXCL, never a name a
// user's file has), with the target's permissions when it exists (newMode
// less the umask otherwise). The first time a process writes in a folder,
// temporary files of ours older than ten minutes (left by a kill) are
// removed from it. Refuses a
// target that is a symbolic link or not a regular file. False (errno set)
// when it cannot.
bool BeginWhole(const std::string& targetHost, PendingFile& file, int newMode = 0666);
// Flushes and renames over the target; false (errno set) leaves the target
// as it was and removes the temporary file.
bool CommitReplace(PendingFile& file);
// Flushes and publishes under the target's name only when no file has it
// (EEXIST otherwise); the temporary file is removed either way.
bool CommitNew(PendingFile& file);
// Closes and removes the temporary file.
void Abandon(PendingFile& file);

// The whole of bytes as targetHost, replacing it in one step.
bool WriteWholeHost(const std::string& targetHost, const std::string& bytes, int newMode = 0666);

// A reserved unique name beside targetHost ending in suffix (".bmp"), created
// empty and exclusively; empty when it cannot be made.
std::string ReserveTempBeside(const std::string& targetHost, const std::string& suffix);

// The errno of the last failed whole-file step of this thread, and whether it
// means the disk or the quota is full.
int LastWholeFileError();
void NoteWholeFileError(int error);
bool IsDiskFull(int error);

// An advisory lock (flock) on a lock file, waiting up to waitMs for another
// holder: its descriptor, LockBusy when another holder keeps it, NoLockFile
// when the lock file cannot be made (a read-only folder, where nothing can
// be written to interleave).
inline constexpr int LockBusy = -1;
inline constexpr int NoLockFile = -2;
int LockHostFile(const std::string& lockHost, int waitMs);
void UnlockHostFile(int fd);

}  // namespace platform
