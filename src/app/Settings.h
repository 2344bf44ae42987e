#pragma once
// The settings record, the logo locations, the Run-key entry of the
// companion changer, folder helpers and the program's random generator.

#include <cstdint>
#include <string>

// The makers' host name: the default start-up message and the window's link.
inline constexpr const char* MakersHost = "www.lumenade.example";
inline constexpr const char* DefaultWarehouseFolder = "c:\\program files\\common files\\lumenadelogos";
inline constexpr const char* SettingsKey = "\\SOFTWARE\\Lumenade\\";
inline constexpr const char* RunKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* CompanionProgram = "bootpix.exe";
inline constexpr const char* ProgramPathValueName = "Version1.20";
inline constexpr const char* DefaultShutDownMsg = "wait...\r\ndon't rush...\r\ngive me a second...\r\n";
inline constexpr const char* DefaultTurnOffMsg =
    "It is now safe to turn off your radio.\r\nTurn the light off.\r\nIt's over now.\r\n";

// Logo indexes.
inline constexpr int32_t LogoStartup = 0;
inline constexpr int32_t LogoShutDown = 1;
inline constexpr int32_t LogoTurnOff = 2;
inline constexpr int32_t LogoCount = 3;

struct SettingsRecord {
    std::string LogosDir;
    std::string StartupDir;
    std::string ShutDownDir;
    std::string TurnOffDir;
    std::string StartupMsgs;
    std::string ShutDownMsg;
    std::string TurnOffMsg;
    std::string GrabDir;
    bool FullScreen = false;
    bool AutoChange = false;
    std::string ProgramPath;
    std::string ProgramFolder;  // not stored; with its backslash
    // The boot-screen options; their defaults keep the behaviour of old.
    bool AnimatedBar = false;  // start-up logos get a cycling bar
    std::string BarColor;      // "RRGGBB" for the bar, empty: from the picture
    bool BestColors = false;   // the import reduces with the VGA-true reduction
    int32_t ScreenShape = 0;   // index into ScreenShapes
    bool BootPreview = false;  // the window previews through the VGA DAC
};

// The shapes a logo may have on screen, width : height. The first is the
// default: a 4 : 3 screen showing the 320 x 400 mode's double-scanned lines.
struct ScreenShapeInfo {
    const char* Name;
    int32_t Width;
    int32_t Height;
};
inline constexpr ScreenShapeInfo ScreenShapes[] = {{"6:5", 6, 5}, {"4:3", 4, 3}, {"8:5", 8, 5}};
inline constexpr int32_t ScreenShapeCount = 3;
// The shape of a settings index; the default for one out of range.
const ScreenShapeInfo& ScreenShapeOf(int32_t index);
// The index of a shape name, -1 when there is none of that name.
int32_t ScreenShapeIndex(const std::string& name);

extern SettingsRecord Settings;

// Fills the record from the registry and the defaults and brings the Run
// entry up to date. False when the Run entry could not be written; the
// record is complete either way.
bool LoadSettings();
void SaveSettings();
// Writes or deletes the Run entry; false when the registry refused.
bool SetAutoStart(bool enabled);

std::string AddBackslash(const std::string& path);
bool FolderExists(const std::string& path);
// Creates the folder and its missing parents; the current folder is left as
// it was.
bool ForceFolders(const std::string& path);
// The drive of a path ("C:" or "\\server\share"), empty when it has none.
std::string ExtractFileDrive(const std::string& path);
std::string WindowsFolder();
bool OpenWarehouse(std::string& folder);

std::string LogoName(int32_t index);
std::string DefaultLogoFolder(int32_t index);
std::string LogoFolder(int32_t index);
void SetLogoFolder(int32_t index, const std::string& text);
std::string LogoPath(int32_t index);
std::string LogoMessages(int32_t index);
void SetLogoMessages(int32_t index, const std::string& text);

// The random generator: one step per request, 0 <= r < n.
int32_t RandomInt(int32_t n);
int32_t RandomSeed();
void SetRandomSeed(int32_t seed);
// Seeds from the date, the time and the tick count.
void RandomizeSeed();
// Seeds from the time of day in milliseconds.
void ReseedFromClock();
