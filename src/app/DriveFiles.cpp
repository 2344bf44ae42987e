#include "app/DriveFiles.h"

#include "app/Backup.h"
#include "app/Settings.h"
#include "platform/DiskImage.h"
#include "platform/DriveSession.h"
#include "platform/Files.h"
#include "platform/MsdosSys.h"
#include "platform/Paths.h"

bool StageLogoFiles(platform::DriveSession& session)
{
    return session.Stage({Settings.LogosDir, BackupFolder()},
                         {LogoPath(LogoStartup), LogoPath(LogoShutDown), LogoPath(LogoTurnOff)});
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
