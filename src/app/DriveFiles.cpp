#include "app/DriveFiles.h"

#include "app/Backup.h"
#include "app/Settings.h"
#include "platform/DiskImage.h"
#include "platform/DriveSession.h"
#include "platform/Files.h"
#include "platform/MsdosSys.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

#include <sys/stat.h>

#include <cstdlib>

namespace {

constexpr const char* DriveCValue = "DriveC";

std::string Base(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

}  // namespace

std::string DriveCChoice()
{
    const std::string image = platform::DriveImage('C');
    return image.empty() ? platform::DriveFolder('C') : image;
}

bool ChooseDriveC(const std::string& target)
{
    if (target.empty() || target[0] != '/') return false;
    struct stat st {};
    std::string file;
    int partition = 0;
    const bool folder = stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (!folder && !platform::SplitImageSpec(target, file, partition)) return false;
    platform::SetDrive('C', target);
    platform::RegKey key;
    if (platform::RegOpenKey(SettingsKey, true, key)) {
        platform::RegWriteString(key, DriveCValue, DriveCChoice());
        platform::RegCloseKey(key);
    }
    return true;
}

void ApplyStoredDriveC()
{
    if (std::getenv("LUMENADE_DRIVE_C") != nullptr) return;
    platform::RegKey key;
    std::string stored;
    if (!platform::RegOpenKey(SettingsKey, false, key)) return;
    const bool found = platform::RegReadString(key, DriveCValue, stored);
    platform::RegCloseKey(key);
    struct stat st {};
    std::string file;
    int partition = 0;
    if (found && !stored.empty() && stored[0] == '/' &&
        ((stat(stored.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) || platform::SplitImageSpec(stored, file, partition)))
        platform::SetDrive('C', stored);
}

std::string DriveCLabel()
{
    const std::string image = platform::DriveImage('C');
    if (image.empty()) return "C: " + Base(platform::DriveFolder('C'));
    platform::DiskImage disk;
    std::string error;
    if (!platform::OpenDiskImage(image, disk, error)) return "C: " + Base(image);
    return "C: " + Base(disk.File) + (disk.Partition ? ", partition " + std::to_string(disk.Partition) : std::string());
}

bool StageLogoFiles(platform::DriveSession& session)
{
    return session.Stage({Settings.LogosDir, BackupFolder()}, {"C:\\MSDOS.SYS", "C:\\IO.SYS", LogoPath(LogoStartup),
                                                               LogoPath(LogoShutDown), LogoPath(LogoTurnOff)});
}

bool OpenLogoDrives(platform::DriveSession& session, bool& runEntryWritten)
{
    runEntryWritten = true;
    if (!session.Begin()) return false;
    runEntryWritten = LoadSettings();
    const std::string windows = WindowsFolder();
    if (!StageLogoFiles(session)) return false;
    if (WindowsFolder() == windows) return true;
    runEntryWritten = LoadSettings();
    return StageLogoFiles(session);
}

std::string DriveDescription(char letter)
{
    const std::string spec = platform::DriveImage(letter);
    if (spec.empty()) return "folder " + platform::DriveFolder(letter);
    platform::DiskImage image;
    std::string error;
    if (!platform::OpenDiskImage(spec, image, error)) return "image " + spec;
    return image.Kind() + " (" + image.FileSystem + "): " + image.File;
}

std::string NoWindowsWarning()
{
    const bool windows =
        platform::FileExists("C:\\IO.SYS") || platform::FileExists("C:\\MSDOS.SYS") || FolderExists(WindowsFolder());
    if (windows) return {};
    const std::string spec = platform::DriveImage('C');
    const std::string where = spec.empty() ? "the folder " + platform::DriveFolder('C') : "the image " + spec;
    return "Warning: drive C: (" + where + ") holds no Windows 95/98 (no IO.SYS, MSDOS.SYS or Windows folder).";
}

std::string LogoOffWarning()
{
    if (!platform::ReadMsdosSys(platform::HostPath("C:\\MSDOS.SYS")).LogoOff) return {};
    return "Warning: MSDOS.SYS on drive C: has Logo=0, so Windows shows no start-up logo.";
}
