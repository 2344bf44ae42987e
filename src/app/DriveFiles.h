#pragma once
// What the logo manager's commands read and write on the drives, for the
// drive sessions that stage image drives (platform/DriveSession.h), and
// the checks that tell a user the logos may not show.

#include <string>

namespace platform {
class DriveSession;
}

// Stages the three logo files, the backup folder with restore.bat, the
// warehouse, and MSDOS.SYS and IO.SYS of drive C:. Call after LoadSettings.
bool StageLogoFiles(platform::DriveSession& session);

// Begins the session, loads the settings and stages the logo manager's
// files. An image's MSDOS.SYS arrives with them, so when it names another
// Windows folder than the one the settings started from, they are loaded
// and staged again. False with the reason in session.Error();
// runEntryWritten is what LoadSettings answered.
bool OpenLogoDrives(platform::DriveSession& session, bool& runEntryWritten);

// The warning when drive C: holds no Windows 9x at all (no IO.SYS or
// MSDOS.SYS in its root and no Windows folder), naming the drive's folder
// or image; empty otherwise.
std::string NoWindowsWarning();

// The warning when MSDOS.SYS switches the start-up logo off (Logo=0);
// empty otherwise.
std::string LogoOffWarning();

// Drive C: as the window chooses it: a folder or an image file ("FILE" or
// "FILE:N"), kept in the settings store as "DriveC". LUMENADE_DRIVE_C and
// --drive come first.
std::string DriveCChoice();
// Maps drive C: and stores the choice; false (nothing changed) when the
// text names neither a folder nor an image file.
bool ChooseDriveC(const std::string& target);
// At start: the stored choice, unless the environment maps C: itself.
void ApplyStoredDriveC();

// A short name of drive C: for the window: "C: win98.img, partition 1".
std::string DriveCLabel();

// What drive C: is, for the user: "folder /x", "raw disk image, partition
// 1 (FAT32): /x/win98.img".
std::string DriveDescription(char letter);
