#include "app/Settings.h"

#include <algorithm>

#include "app/Dialogs.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"

SettingsRecord Settings;

namespace {

// GetWindowsDirectory was called with a buffer of this many characters.
constexpr size_t WindowsFolderBuffer = 1024;

int32_t randSeed = 0;

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\:");
    if (slash == std::string::npos) return {};
    std::string dir = path.substr(0, slash + 1);
    // The folder of C:\x is C:\ and keeps its backslash; C:\A\x gives C:\A.
    if (dir.size() > 1 && dir.back() == '\\' && !(dir.size() == 3 && dir[1] == ':')) dir.pop_back();
    return dir;
}

std::string ReadString(const platform::RegKey& key, const char* name, const std::string& fallback)
{
    std::string value;
    if (key.Open && platform::RegReadString(key, name, value)) return value;
    return fallback;
}

bool ReadFlag(const platform::RegKey& key, const char* name, bool fallback)
{
    int32_t value = 0;
    if (key.Open && platform::RegReadInteger(key, name, value)) return value != 0;
    return fallback;
}

std::string* FolderField(int32_t index)
{
    switch (index) {
        case LogoStartup:
            return &Settings.StartupDir;
        case LogoShutDown:
            return &Settings.ShutDownDir;
        case LogoTurnOff:
            return &Settings.TurnOffDir;
        default:
            return nullptr;
    }
}

std::string* MessageField(int32_t index)
{
    switch (index) {
        case LogoStartup:
            return &Settings.StartupMsgs;
        case LogoShutDown:
            return &Settings.ShutDownMsg;
        case LogoTurnOff:
            return &Settings.TurnOffMsg;
        default:
            return nullptr;
    }
}

bool IsAbsolute(const std::string& path)
{
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '\\') ||
           (!path.empty() && path[0] == '/');
}

}  // namespace

bool LoadSettings()
{
    std::string program = platform::ModuleFileName();
    Settings.ProgramFolder = program.empty() ? std::string() : AddBackslash(FolderOf(program));

    platform::RegKey key;
    platform::RegOpenKey(SettingsKey, true, key);
    Settings.LogosDir = ReadString(key, "LogosDir", DefaultWarehouseFolder);
    Settings.StartupDir = ReadString(key, "StartupDir", DefaultLogoFolder(LogoStartup));
    Settings.ShutDownDir = ReadString(key, "ShutDownDir", DefaultLogoFolder(LogoShutDown));
    Settings.TurnOffDir = ReadString(key, "TurnOffDir", DefaultLogoFolder(LogoTurnOff));
    Settings.StartupMsgs = ReadString(key, "StartupMsgs", MakersHost);
    Settings.ShutDownMsg = ReadString(key, "ShutDownMsg", DefaultShutDownMsg);
    Settings.TurnOffMsg = ReadString(key, "TurnOffMsg", DefaultTurnOffMsg);
    Settings.GrabDir = ReadString(key, "GrabDir", "");
    Settings.FullScreen = ReadFlag(key, "FullScreen", false);
    Settings.AutoChange = ReadFlag(key, "AutoChange", true);
    Settings.ProgramPath = program;
    Settings.AnimatedBar = ReadFlag(key, "AnimatedBar", false);
    Settings.BarColor = ReadString(key, "BarColor", "");
    Settings.BestColors = ReadFlag(key, "BestColors", false);
    Settings.ScreenShape = std::max(0, ScreenShapeIndex(ReadString(key, "ScreenShape", ScreenShapes[0].Name)));
    Settings.BootPreview = ReadFlag(key, "BootPreview", false);
    platform::RegCloseKey(key);

    // A failed Run entry must not leave the folders unnormalised.
    bool runEntryOk = SetAutoStart(Settings.AutoChange);
    if (Settings.LogosDir.empty()) Settings.LogosDir = DefaultWarehouseFolder;
    Settings.LogosDir = AddBackslash(Settings.LogosDir);
    Settings.StartupDir = AddBackslash(Settings.StartupDir);
    Settings.ShutDownDir = AddBackslash(Settings.ShutDownDir);
    Settings.TurnOffDir = AddBackslash(Settings.TurnOffDir);
    Settings.GrabDir = AddBackslash(Settings.GrabDir);
    return runEntryOk;
}

void SaveSettings()
{
    platform::RegKey key;
    if (!platform::RegOpenKey(SettingsKey, true, key)) return;
    platform::RegWriteString(key, "LogosDir", Settings.LogosDir);
    platform::RegWriteString(key, "StartupDir", Settings.StartupDir);
    platform::RegWriteString(key, "ShutDownDir", Settings.ShutDownDir);
    platform::RegWriteString(key, "TurnOffDir", Settings.TurnOffDir);
    platform::RegWriteString(key, "StartupMsgs", Settings.StartupMsgs);
    platform::RegWriteString(key, "ShutDownMsg", Settings.ShutDownMsg);
    platform::RegWriteString(key, "TurnOffMsg", Settings.TurnOffMsg);
    platform::RegWriteString(key, "GrabDir", Settings.GrabDir);
    platform::RegWriteInteger(key, "FullScreen", Settings.FullScreen ? 1 : 0);
    platform::RegWriteInteger(key, "AutoChange", Settings.AutoChange ? 1 : 0);
    platform::RegWriteString(key, ProgramPathValueName, Settings.ProgramPath);
    platform::RegWriteInteger(key, "AnimatedBar", Settings.AnimatedBar ? 1 : 0);
    platform::RegWriteString(key, "BarColor", Settings.BarColor);
    platform::RegWriteInteger(key, "BestColors", Settings.BestColors ? 1 : 0);
    platform::RegWriteString(key, "ScreenShape", ScreenShapeOf(Settings.ScreenShape).Name);
    platform::RegWriteInteger(key, "BootPreview", Settings.BootPreview ? 1 : 0);
    platform::RegCloseKey(key);
}

bool SetAutoStart(bool enabled)
{
    platform::RegKey key;
    if (!platform::RegOpenKey(RunKey, true, key)) return false;
    bool ok = enabled ? platform::RegWriteString(key, CompanionProgram, Settings.ProgramFolder + CompanionProgram)
                      : platform::RegDeleteValue(key, CompanionProgram);
    platform::RegCloseKey(key);
    return ok;
}

const ScreenShapeInfo& ScreenShapeOf(int32_t index)
{
    return index >= 0 && index < ScreenShapeCount ? ScreenShapes[index] : ScreenShapes[0];
}

int32_t ScreenShapeIndex(const std::string& name)
{
    for (int32_t i = 0; i < ScreenShapeCount; ++i)
        if (name == ScreenShapes[i].Name) return i;
    return -1;
}

std::string AddBackslash(const std::string& path)
{
    if (path.empty() || path.back() == '\\') return path;
    return path + "\\";
}

bool FolderExists(const std::string& path)
{
    uint32_t attr = platform::GetFileAttributes(path);
    return attr != platform::InvalidAttributes && (attr & platform::AttrDirectory) != 0;
}

bool ForceFolders(const std::string& path)
{
    if (path.empty()) return true;
    const std::string remembered = platform::GetCurrentDirectory();
    // Levels are made the working folder one after another; a relative path
    // must still be read against the folder the caller was in.
    const std::string base = IsAbsolute(path) ? std::string() : AddBackslash(remembered);
    const size_t n = path.size();
    size_t from = (n >= 2 && path[1] == ':') ? 3 : 1;  // zero-based: characters 4 and 2
    while (true) {
        size_t end = path.find('\\', from);
        if (end == std::string::npos) end = n;
        std::string prefix = path.substr(0, end);
        if (!prefix.empty() && prefix != "\\\\") {
            std::string level = base + prefix;
            if (!platform::SetCurrentDirectory(level)) {
                if (!platform::CreateDirectory(level) || !platform::SetCurrentDirectory(level)) {
                    platform::SetCurrentDirectory(remembered);
                    return false;
                }
            }
        }
        if (end + 1 >= n) break;
        from = end + 1;
    }
    platform::SetCurrentDirectory(remembered);
    return true;
}

std::string ExtractFileDrive(const std::string& path)
{
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t server = path.find('\\', 2);
        if (server == std::string::npos || server == 2) return {};
        size_t share = path.find('\\', server + 1);
        return path.substr(0, share == std::string::npos ? path.size() : share);
    }
    return {};
}

std::string WindowsFolder()
{
    std::string folder = platform::GetWindowsDirectory();
    if (folder.empty() || folder.size() >= WindowsFolderBuffer) return {};
    return AddBackslash(folder);
}

bool OpenWarehouse(std::string& folder)
{
    folder = Settings.LogosDir;
    return FolderExists(folder) || ForceFolders(folder);
}

std::string LogoName(int32_t index)
{
    switch (index) {
        case LogoStartup:
            return "LOGO.SYS";
        case LogoShutDown:
            return "LOGOW.SYS";
        case LogoTurnOff:
            return "LOGOS.SYS";
        default:
            return {};
    }
}

std::string DefaultLogoFolder(int32_t index)
{
    switch (index) {
        case LogoStartup: {
            std::string drive = ExtractFileDrive(WindowsFolder());
            return drive.empty() ? std::string() : drive + "\\";
        }
        case LogoShutDown:
        case LogoTurnOff:
            return WindowsFolder();
        default:
            return {};
    }
}

std::string LogoFolder(int32_t index)
{
    const std::string* field = FolderField(index);
    return field ? AddBackslash(*field) : std::string();
}

void SetLogoFolder(int32_t index, const std::string& text)
{
    if (std::string* field = FolderField(index)) *field = AddBackslash(TrimText(text));
}

std::string LogoPath(int32_t index)
{
    if (!FolderField(index)) return {};
    return LogoFolder(index) + LogoName(index);
}

std::string LogoMessages(int32_t index)
{
    const std::string* field = MessageField(index);
    return field ? *field : std::string();
}

void SetLogoMessages(int32_t index, const std::string& text)
{
    if (std::string* field = MessageField(index)) *field = text;
}

int32_t RandomInt(int32_t n)
{
    randSeed = static_cast<int32_t>(static_cast<uint32_t>(randSeed) * 134775813u + 1u);
    if (n <= 0) return 0;
    return static_cast<int32_t>((static_cast<uint64_t>(static_cast<uint32_t>(randSeed)) * static_cast<uint32_t>(n)) >>
                                32);
}

int32_t RandomSeed()
{
    return randSeed;
}

void SetRandomSeed(int32_t seed)
{
    randSeed = seed;
}

void RandomizeSeed()
{
    double now = platform::DateTimeOf(platform::GetLocalTime());
    auto days = static_cast<int64_t>(now);
    auto fraction = static_cast<int64_t>((now - static_cast<double>(days)) * 100000.0);
    int32_t ticks = platform::GetTickCount();
    int64_t sum = days + fraction + (ticks % 100000);
    randSeed = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sum)));
}

void ReseedFromClock()
{
    platform::SystemTime t = platform::GetLocalTime();
    randSeed = ((t.Hour * 60 + t.Minute) * 60 + t.Second) * 1000 + t.Milliseconds;
}
