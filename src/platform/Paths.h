#pragma once
// The drive table: Windows paths ("C:\WINDOWS\LOGOW.SYS") mapped onto host
// folders, as Wine does. C: is the emulated machine, Z: is the host root.
// Existing components are found without regard to the case of a-z (exact
// match first); missing ones keep the case given.

#include <string>

namespace platform {

// Re-reads the environment: LUMENADE_DRIVE_<LETTER>, LUMENADE_WINDOWS,
// LUMENADE_REGISTRY, XDG_DATA_HOME, XDG_CONFIG_HOME. The current folder
// returns to C:\ and the registry store is read again on next use.
void ReloadConfiguration();

// Maps a drive letter to a host folder, or to a disk image file given as
// "FILE" or "FILE:N" (partition N); an empty text unmaps it.
void SetDrive(char letter, const std::string& hostFolder);
// The image a letter maps to ("FILE" or "FILE:N"), empty for a folder.
std::string DriveImage(char letter);
// While a drive session is open, an image drive's files live in a staging
// folder (DriveSession.h); returns the folder it replaces.
std::string SetDriveStaging(char letter, const std::string& folder);
// Host folder of a drive letter, empty when unmapped. The default C: is
// created on first use.
std::string DriveFolder(char letter);

// The absolute Windows form of a path: relative paths and paths without a
// drive resolve against the current folder, "." and ".." are folded, no
// trailing backslash except for a drive root. Host paths are converted with
// WindowsPath. Empty when the path cannot be made absolute (UNC, empty).
std::string FullWindowsPath(const std::string& path);

// Host path of a Windows path, components matched case-blind; a host path
// ("/...") is returned as it is. Empty for an unmapped drive or a bad path.
std::string HostPath(const std::string& path);

// Windows form of a host path through the drive table: the longest mapped
// folder wins. Empty when no drive holds it.
std::string WindowsPath(const std::string& hostPath);

// Where the Windows folder comes from: LUMENADE_WINDOWS, WinDir= in the
// MSDOS.SYS of drive C:, or the default C:\WINDOWS.
enum class WindowsSource { Environment, MsdosSys, Default };
WindowsSource WindowsFolderSource();

// The registry store file (LUMENADE_REGISTRY or the default location).
std::string RegistryFile();

// Only a-z are case-folded, as FAT does.
std::string UpperAZ(std::string text);
bool SameTextAZ(const std::string& a, const std::string& b);

}  // namespace platform
