#pragma once
// The Win32 file and folder calls the program uses, over POSIX. Every path
// argument is a Windows path ("C:\WINDOWS\LOGOW.SYS", "\trace.txt",
// "pictures\a.bmp"); it is resolved through the drive table (Paths.h).
// Host paths starting with "/" are accepted too and used as they are.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Win32 attribute bits, as GetFileAttributes reports them.
inline constexpr uint32_t AttrReadOnly = 0x01;
inline constexpr uint32_t AttrHidden = 0x02;
inline constexpr uint32_t AttrSystem = 0x04;
inline constexpr uint32_t AttrDirectory = 0x10;
inline constexpr uint32_t AttrArchive = 0x20;
inline constexpr uint32_t AttrNormal = 0x80;
inline constexpr uint32_t InvalidAttributes = 0xFFFFFFFFu;

enum class Access { Read, Write, ReadWrite };

// Open files are host file descriptors; -1 stands for none.
using FileDescriptor = int;
inline constexpr FileDescriptor NoFile = -1;

// Opens an existing file; NoFile when it does not exist or cannot be opened.
FileDescriptor OpenExisting(const std::string& path, Access access);
// Creates a file or truncates an existing one, for reading and writing.
// Missing parent folders are not created (as CreateFile does not).
FileDescriptor CreateTruncate(const std::string& path);
// Reads or writes up to count bytes; returns the bytes done, -1 on an I/O error.
int64_t ReadSome(FileDescriptor fd, void* buffer, int64_t count);
int64_t WriteSome(FileDescriptor fd, const void* buffer, int64_t count);
bool SeekTo(FileDescriptor fd, int64_t position);
bool SeekToEnd(FileDescriptor fd);
int64_t FileSizeOf(FileDescriptor fd);  // -1 on failure
int64_t PositionOf(FileDescriptor fd);  // -1 on failure
bool CloseFile(FileDescriptor fd);

bool FileExists(const std::string& path);  // a file or a folder
// The last modification of a file in nanoseconds since 1970, as finely as
// the host keeps it (Windows' file times tick in 100 ns, FAT's in 2 s);
// false when the file cannot be examined.
bool FileModificationTime(const std::string& path, int64_t& nanoseconds);
uint32_t GetFileAttributes(const std::string& path);  // InvalidAttributes when missing
bool SetFileAttributes(const std::string& path, uint32_t attributes);
bool DeleteFile(const std::string& path);
// Copies whole (see WholeFile.h); never reads through or replaces a symbolic
// link. With failIfExists the copy appears only under a name no file had.
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
// Renames; with replaceExisting an existing target is replaced in one step.
bool MoveFile(const std::string& from, const std::string& to, bool replaceExisting);
bool CreateDirectory(const std::string& path);
bool RemoveDirectory(const std::string& path);

// The current folder, kept per process in Windows form with no trailing
// backslash except for a drive root ("C:\", "C:\WINDOWS").
std::string GetCurrentDirectory();
bool SetCurrentDirectory(const std::string& path);

struct FindData {
    std::string Name;  // as the folder holds it, no folder part
    uint32_t Attributes = 0;
    int64_t Size = 0;
    bool Regular = false;  // a regular file itself, not a link, folder or device
};
// Entries of one folder matching a "*"/"?" pattern in the last component,
// compared without regard to the case of a-z (FAT behaviour). "." and ".."
// are never returned.
std::vector<FindData> FindFiles(const std::string& pattern);

// The Windows folder with no trailing backslash ("C:\WINDOWS"); empty when
// it cannot be determined.
std::string GetWindowsDirectory();
// Full path of the running executable, in Windows form.
std::string ModuleFileName();

}  // namespace platform
