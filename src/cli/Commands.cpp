#include <algorithm>
#include <ostream>

#include "app/Backup.h"
#include "app/BootScreen.h"
#include "app/Catalogue.h"
#include "app/Composer.h"
#include "app/DriveFiles.h"
#include "app/Import.h"
#include "app/LogoStatus.h"
#include "app/Settings.h"
#include "app/Shuffle.h"
#include "cli/Cli.h"
#include "cli/CliDialogs.h"
#include "cli/CliText.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "platform/DiskImage.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

namespace {

// Usage error for the first option a command does not know.
int RefuseOptions(CliRun& run, const char* command, const ParsedArgs& p)
{
    if (p.Options.empty()) return ExitOk;
    return UsageError(run, command, "unknown option \"" + p.Options.front().Name + "\"");
}

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A warehouse entry named on the command line: a bare file name, ".png"
// added when it has no extension. False for anything with a folder part.
bool WarehousePath(const std::string& name, std::string& path)
{
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:") != std::string::npos) return false;
    const std::string file = ExtractFileExt(name).empty() ? name + WarehouseExtension : name;
    path = AddBackslash(Settings.LogosDir) + file;
    return true;
}

bool IsFile(const std::string& path)
{
    const uint32_t attributes = platform::GetFileAttributes(path);
    return attributes != platform::InvalidAttributes && (attributes & platform::AttrDirectory) == 0;
}

// One line each, before any logo lands: the drive holds no Windows, or
// Windows will not show the start-up logo.
void WarnAboutDrive(CliRun& run, bool startupLogo)
{
    if (const std::string w = NoWindowsWarning(); !w.empty()) run.Err << w << '\n';
    if (const std::string w = LogoOffWarning(); startupLogo && !w.empty()) run.Err << w << '\n';
}

void ShowTotals(CliRun& run)
{
    ScanWarehouse(Settings.LogosDir);
    run.Ui.ShowStatus(CatalogueSizeText(), false);
}

}  // namespace

// The warehouse as one JSON object, laid out as ffprobe -print_format json
// lays out its own: four-space indents, numbers as numbers.
void ListJson(CliRun& run)
{
    const std::string folder = AddBackslash(Settings.LogosDir);
    int64_t total = 0;
    run.Out << "{\n    \"pictures\": [";
    for (int32_t i = 0; i < Catalogue.Count; ++i) {
        const CatalogueEntry& e = Catalogue.Entries[i];
        const std::string windowsPath = folder + e.Name;
        total += e.Size;
        run.Out << (i ? "," : "") << "\n        {\n"
                << "            \"name\": " << JsonString(e.Name) << ",\n"
                << "            \"size\": " << e.Size << ",\n"
                << "            \"windows_path\": " << JsonString(windowsPath) << ",\n"
                << "            \"host_path\": " << JsonString(platform::HostPath(windowsPath)) << "\n"
                << "        }";
    }
    run.Out << (Catalogue.Count ? "\n    " : "") << "],\n"
            << "    \"totals\": {\n"
            << "        \"count\": " << Catalogue.Count << ",\n"
            << "        \"size\": " << total << "\n"
            << "    }\n}\n";
}

int CmdList(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args);
    bool json = false;
    for (const auto& o : p.Options) {
        if (o.Name != "--json" || o.HasValue) return UsageError(run, "list", "unknown option \"" + o.Name + "\"");
        json = true;
    }
    if (!p.Operands.empty()) return UsageError(run, "list", "takes no arguments");
    ScanWarehouse(Settings.LogosDir);
    if (json) {
        ListJson(run);
        return ExitOk;
    }
    size_t width = 0;
    for (int32_t i = 0; i < Catalogue.Count; ++i) width = std::max(width, Catalogue.Entries[i].Name.size());
    for (int32_t i = 0; i < Catalogue.Count; ++i) {
        const CatalogueEntry& e = Catalogue.Entries[i];
        run.Out << e.Name << std::string(width - e.Name.size() + 1, ' ') << TrimRight(ListSizeText(e.Size)) << '\n';
    }
    run.Out << CatalogueSizeText() << '\n';
    return ExitOk;
}

int CmdAdd(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args, {"--quality", "--shape"});
    bool fill = false, borders = false, overwrite = false, skip = false;
    std::string quality, shape;
    for (const auto& o : p.Options) {
        if (o.Name == "--quality" || o.Name == "--shape") {
            if (!o.HasValue) return UsageError(run, "add", o.Name + " needs a value");
            (o.Name == "--quality" ? quality : shape) = Lower(o.Value);
            continue;
        }
        if (o.HasValue) return UsageError(run, "add", o.Name + " takes no value");
        if (o.Name == "--fill") {
            fill = true;
        } else if (o.Name == "--borders") {
            borders = true;
        } else if (o.Name == "--overwrite") {
            overwrite = true;
        } else if (o.Name == "--skip") {
            skip = true;
        } else {
            return UsageError(run, "add", "unknown option \"" + o.Name + "\"");
        }
    }
    if (fill && borders) return UsageError(run, "add", "--fill and --borders exclude each other");
    if (overwrite && skip) return UsageError(run, "add", "--overwrite and --skip exclude each other");
    if (!quality.empty() && quality != "classic" && quality != "best")
        return UsageError(run, "add", "--quality wants classic or best, not " + Quoted(quality));
    if (!shape.empty() && ScreenShapeIndex(shape) < 0)
        return UsageError(run, "add", "--shape wants 6:5, 4:3 or 8:5, not " + Quoted(shape));
    if (p.Operands.empty()) return UsageError(run, "add", "no FILE given");

    // The fitting chosen here holds for this run; the setting is not saved.
    if (fill) Settings.FullScreen = true;
    if (borders) Settings.FullScreen = false;
    if (!quality.empty()) Settings.BestColors = quality == "best";
    if (!shape.empty()) Settings.ScreenShape = ScreenShapeIndex(shape);
    run.Ui.Policy = overwrite ? OverwritePolicy::Overwrite : skip ? OverwritePolicy::Skip : OverwritePolicy::Ask;

    bool failed = false;
    std::vector<std::string> files;
    for (const std::string& operand : p.Operands) {
        std::string path = ArgumentPath(operand);
        if (path.empty()) {
            run.Ui.ErrorBox("No drive holds " + Quoted(operand));
            failed = true;
        } else {
            files.push_back(path);
        }
    }

    const AddResult result = AddFiles(files);
    if (result.Refused > 0 || result.Failed > 0) failed = true;
    const size_t n = files.size();
    if (n > 0) ShowTotals(run);
    return failed ? ExitFailed : ExitOk;
}

int CmdSet(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args, {"--as", "--bar-color"});
    std::string as;
    bool animate = false, still = false;
    for (const auto& o : p.Options) {
        if (o.Name == "--animate" || o.Name == "--still") {
            if (o.HasValue) return UsageError(run, "set", o.Name + " takes no value");
            (o.Name == "--animate" ? animate : still) = true;
            continue;
        }
        if (o.Name == "--bar-color") {
            uint8_t rgb[3];
            if (!o.HasValue || !ParseBarColor(o.Value, rgb))
                return UsageError(run, "set", "--bar-color wants RRGGBB in hex, as 2864FC");
            Settings.BarColor = o.Value;
            animate = true;
            continue;
        }
        if (o.Name != "--as") return UsageError(run, "set", "unknown option \"" + o.Name + "\"");
        if (!o.HasValue) return UsageError(run, "set", "--as needs startup, shutdown or turnoff");
        as = Lower(o.Value);
    }
    if (animate && still) return UsageError(run, "set", "--animate and --still exclude each other");
    if (p.Operands.size() != 1) return UsageError(run, "set", "wants one NAME");
    if (as.empty()) return UsageError(run, "set", "--as startup|shutdown|turnoff is missing");
    int32_t index = -1;
    for (int32_t i = 0; i < LogoCount; ++i) {
        if (as == LogoWords[i]) index = i;
    }
    if (index < 0) return UsageError(run, "set", "--as wants startup, shutdown or turnoff, not " + Quoted(as));
    if (animate && index != LogoStartup) return UsageError(run, "set", "only the startup logo animates");
    // Like --fill, the choice holds for this run; the setting is not saved.
    if (animate) Settings.AnimatedBar = true;
    if (still) Settings.AnimatedBar = false;
    std::string source;
    if (!WarehousePath(p.Operands[0], source)) {
        return UsageError(run, "set", "NAME is a warehouse file name, without a folder");
    }
    // A missing picture would still back up the logo; refuse before that.
    if (!IsFile(source)) {
        run.Ui.ErrorBox("Cannot open file: " + source);
        return ExitFailed;
    }
    WarnAboutDrive(run, index == LogoStartup);
    std::string why;
    if (!SetLogo(source, index, &why)) {
        run.Ui.ErrorBox(why);
        return ExitFailed;
    }
    run.Ui.ShowStatus(SetLogoDone(source, index), false);
    return ExitOk;
}

int CmdShuffle(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args);
    if (int s = RefuseOptions(run, "shuffle", p); s != ExitOk) return s;
    if (!p.Operands.empty()) return UsageError(run, "shuffle", "takes no arguments");
    // The window's command does nothing for an empty list; here that is a failure.
    ScanWarehouse(Settings.LogosDir);
    if (Catalogue.Count == 0) {
        run.Ui.ErrorBox("The logo warehouse holds no pictures: " + Settings.LogosDir);
        return ExitFailed;
    }
    WarnAboutDrive(run, true);
    return ShuffleCommand(Catalogue.Count) ? ExitOk : ExitFailed;
}

int CmdRestore(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args);
    if (int s = RefuseOptions(run, "restore", p); s != ExitOk) return s;
    if (!p.Operands.empty()) return UsageError(run, "restore", "takes no arguments");
    // As the window's restore does: the changer would undo it at the next log-on.
    Settings.AutoChange = false;
    bool failed = !SaveSetting("AutoChange") || !SetAutoStart(false);
    if (failed)
        run.Ui.ErrorBox("Couldn't turn the automatic change off in the registry store " + platform::RegistryFile());
    const RestoreReport report = RestoreLogos();
    for (const std::string& failure : report.Failures) run.Ui.ErrorBox(failure);
    if (!report.Failures.empty()) return ExitFailed;
    run.Ui.ShowStatus(report.Recorded ? RestoredText : NothingToRestoreText, false);
    return failed ? ExitFailed : ExitOk;
}

int CmdDelete(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args);
    if (int s = RefuseOptions(run, "delete", p); s != ExitOk) return s;
    if (p.Operands.empty()) return UsageError(run, "delete", "no NAME given");
    std::vector<std::string> paths;
    for (const std::string& name : p.Operands) {
        std::string path;
        if (!WarehousePath(name, path)) {
            return UsageError(run, "delete", Quoted(name) + " is not a warehouse file name");
        }
        paths.push_back(path);
    }
    bool failed = false;
    for (const std::string& path : paths) {
        if (!platform::DeleteFile(path)) {
            run.Ui.ErrorBox("Couldn't delete file: " + Quoted(path));
            failed = true;
        }
    }
    ShowTotals(run);
    return failed ? ExitFailed : ExitOk;
}

int CmdConvert(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args);
    if (int s = RefuseOptions(run, "convert", p); s != ExitOk) return s;
    if (p.Operands.size() != 2) return UsageError(run, "convert", "wants IN and OUT");
    const std::string in = ArgumentPath(p.Operands[0]);
    const std::string out = ArgumentPath(p.Operands[1]);
    for (size_t i = 0; i < 2; ++i) {
        if ((i == 0 ? in : out).empty()) {
            run.Ui.ErrorBox("No drive holds " + Quoted(p.Operands[i]));
            return ExitFailed;
        }
    }
    if (const std::string why = NotAPicture(in, p.Operands[0]); !why.empty()) {
        run.Ui.ErrorBox(why);
        return ExitFailed;
    }
    Limg image;
    ImgLoad(in, image);
    std::string failure = ErrGet() != 0 ? ErrText(ErrGet()) : "";
    // A partial picture is not written out as if it were the whole one.
    if (failure.empty() && !LoadDamage().empty()) failure = Quoted(p.Operands[0]) + " is damaged: " + LoadDamage();
    if (failure.empty()) {
        ImgSave(out, image);
        if (ErrGet() != 0) failure = ErrText(ErrGet());
    }
    ImgFree(image);
    if (!failure.empty()) {
        run.Ui.ErrorBox(failure);
        return ExitFailed;
    }
    return ExitOk;
}

namespace {

const char* WindowsSourceName(platform::WindowsSource source)
{
    switch (source) {
        case platform::WindowsSource::Environment:
            return "LUMENADE_WINDOWS";
        case platform::WindowsSource::MsdosSys:
            return "MSDOS.SYS";
        case platform::WindowsSource::Default:
            break;
    }
    return "default";
}

// Where a Windows path lives: its host path on a folder drive; on an image
// drive the image and the path inside its file system.
std::string Location(const std::string& path, bool folder)
{
    if (path.empty()) return {};
    const std::string image = platform::DriveImage(path[0]);
    if (!image.empty()) {
        std::string inside = platform::FullWindowsPath(path).substr(2);
        if (folder && inside.back() != '\\') inside += '\\';
        return image + " " + inside;
    }
    std::string host = platform::HostPath(path);
    if (folder && !host.empty() && host.back() != '/') host += '/';
    return host;
}

}  // namespace

int CmdPaths(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args);
    bool json = false;
    for (const auto& o : p.Options) {
        if (o.Name != "--json" || o.HasValue) return UsageError(run, "paths", "unknown option \"" + o.Name + "\"");
        json = true;
    }
    if (!p.Operands.empty()) return UsageError(run, "paths", "takes no arguments");
    struct Item {
        const char* Label;
        const char* Key;
        std::string Path;
        bool Folder;
    };
    const Item items[] = {
        {"startup logo", "startup_logo", LogoPath(LogoStartup), false},
        {"shutdown logo", "shutdown_logo", LogoPath(LogoShutDown), false},
        {"turnoff logo", "turnoff_logo", LogoPath(LogoTurnOff), false},
        {"warehouse", "warehouse", Settings.LogosDir, true},
        {"backup folder", "backup_folder", BackupFolder(), true},
        {"restore.bat", "restore_bat", RestoreBatchPath(), false},
    };
    const std::string image = platform::DriveImage('C');
    platform::DiskImage disk;
    std::string diskError;
    const bool diskOk = !image.empty() && platform::OpenDiskImage(image, disk, diskError);
    const std::string windows = WindowsFolder();
    const char* source = WindowsSourceName(platform::WindowsFolderSource());
    if (json) {
        run.Out << "{\"drive_c\": {";
        if (image.empty()) {
            run.Out << "\"kind\": \"folder\", \"folder\": " << JsonString(platform::DriveFolder('C'));
        } else {
            const std::string kind = !diskOk          ? "image"
                                     : disk.Vhd       ? "fixed VHD"
                                     : disk.Partition ? "raw disk image"
                                                      : "FAT volume image";
            run.Out << "\"kind\": " << JsonString(kind) << ", \"image\": " << JsonString(diskOk ? disk.File : image)
                    << ", \"partition\": " << (diskOk ? disk.Partition : 0)
                    << ", \"offset\": " << (diskOk ? disk.Offset : 0)
                    << ", \"file_system\": " << JsonString(diskOk ? disk.FileSystem : "");
        }
        run.Out << "}, \"windows\": {\"path\": " << JsonString(windows) << ", \"source\": " << JsonString(source)
                << "}";
        for (const Item& item : items) {
            run.Out << ", " << JsonString(item.Key) << ": {\"path\": " << JsonString(item.Path)
                    << ", \"where\": " << JsonString(Location(item.Path, item.Folder)) << "}";
        }
        run.Out << "}\n";
        return ExitOk;
    }
    auto line = [&](const std::string& label, const std::string& text) {
        run.Out << label << std::string(label.size() < 15 ? 15 - label.size() : 1, ' ') << text << '\n';
    };
    for (const Item& item : items) {
        const std::string where = Location(item.Path, item.Folder);
        line(std::string(item.Label) + ":",
             (item.Path.empty() ? "(unknown)" : item.Path) + " -> " + (where.empty() ? "(no drive)" : where));
    }
    line("drive C:", image.empty() ? "folder " + platform::DriveFolder('C')
                     : diskOk      ? disk.Kind() + ", " + disk.FileSystem + ": " + disk.File
                                   : image + " (" + diskError + ")");
    line("windows:", (windows.empty() ? std::string("(unknown)") : windows) + " (" + source + ")");
    return ExitOk;
}

namespace {

enum class SettingKind { Folder, LogoFolder, Messages, Flag, Shape, Color };

struct SettingItem {
    const char* Name;
    SettingKind Kind;
    int32_t Index;  // logo index, for the logo folders and messages
};

constexpr SettingItem SettingItems[] = {
    {"LogosDir", SettingKind::Folder, 0},
    {"StartupDir", SettingKind::LogoFolder, LogoStartup},
    {"ShutDownDir", SettingKind::LogoFolder, LogoShutDown},
    {"TurnOffDir", SettingKind::LogoFolder, LogoTurnOff},
    {"StartupMsgs", SettingKind::Messages, LogoStartup},
    {"ShutDownMsg", SettingKind::Messages, LogoShutDown},
    {"TurnOffMsg", SettingKind::Messages, LogoTurnOff},
    {"FullScreen", SettingKind::Flag, 0},
    {"AutoChange", SettingKind::Flag, 1},
    {"GrabDir", SettingKind::Folder, 1},
    {"AnimatedBar", SettingKind::Flag, 2},
    {"BarColor", SettingKind::Color, 0},
    {"BestColors", SettingKind::Flag, 3},
    {"ScreenShape", SettingKind::Shape, 0},
    {"BootPreview", SettingKind::Flag, 4},
};

std::string& FolderField(const SettingItem& item)
{
    return item.Index == 0 ? Settings.LogosDir : Settings.GrabDir;
}

bool& FlagField(const SettingItem& item)
{
    switch (item.Index) {
        case 0:
            return Settings.FullScreen;
        case 1:
            return Settings.AutoChange;
        case 2:
            return Settings.AnimatedBar;
        case 3:
            return Settings.BestColors;
        default:
            return Settings.BootPreview;
    }
}

// The value as the registry holds it, for the check after saving.
std::string StoredValue(const SettingItem& item)
{
    switch (item.Kind) {
        case SettingKind::Folder:
            return FolderField(item);
        case SettingKind::LogoFolder:
            return LogoFolder(item.Index);
        case SettingKind::Messages:
            return LogoMessages(item.Index);
        case SettingKind::Flag:
            return FlagField(item) ? "1" : "0";
        case SettingKind::Shape:
            return ScreenShapeOf(Settings.ScreenShape).Name;
        case SettingKind::Color:
            return Settings.BarColor;
    }
    return {};
}

std::string ShownValue(const SettingItem& item)
{
    switch (item.Kind) {
        case SettingKind::Messages:
            return EscapeLines(LogoMessages(item.Index));
        case SettingKind::Flag:
            return FlagField(item) ? "true" : "false";
        default:
            return StoredValue(item);
    }
}

// True when the store now holds the value the record has.
bool SavedAsSet(const SettingItem& item)
{
    platform::RegistryReset();
    platform::RegKey key;
    if (!platform::RegOpenKey(SettingsKey, false, key)) return false;
    bool same = false;
    if (item.Kind == SettingKind::Flag) {
        int32_t v = 0;
        same = platform::RegReadInteger(key, item.Name, v) && (v != 0) == FlagField(item);
    } else {
        std::string v;
        same = platform::RegReadString(key, item.Name, v) && v == StoredValue(item);
    }
    platform::RegCloseKey(key);
    return same;
}

}  // namespace

int CmdConfig(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args);
    if (int s = RefuseOptions(run, "config", p); s != ExitOk) return s;
    if (p.Operands.size() > 2) return UsageError(run, "config", "wants at most NAME and VALUE");
    if (p.Operands.empty()) {
        for (const SettingItem& item : SettingItems) run.Out << item.Name << ": " << ShownValue(item) << '\n';
        return ExitOk;
    }
    const SettingItem* item = nullptr;
    for (const SettingItem& candidate : SettingItems) {
        if (platform::SameTextAZ(candidate.Name, p.Operands[0])) item = &candidate;
    }
    if (item == nullptr) return UsageError(run, "config", "no setting named " + Quoted(p.Operands[0]));
    if (p.Operands.size() == 1) {
        run.Out << ShownValue(*item) << '\n';
        return ExitOk;
    }

    std::string value = p.Operands[1];
    if ((item->Kind == SettingKind::Folder || item->Kind == SettingKind::LogoFolder) && !value.empty() &&
        value[0] == '/') {
        const std::string host = value;
        value = platform::WindowsPath(host);
        if (value.empty()) {
            run.Ui.ErrorBox("No drive holds " + Quoted(host));
            return ExitFailed;
        }
    }
    if (item->Kind == SettingKind::LogoFolder && !IsBatchSafe(value)) {
        run.Ui.ErrorBox(item->Name + std::string(" cannot hold ") + BatchUnsafeText + ": " + Quoted(value));
        return ExitFailed;
    }
    switch (item->Kind) {
        case SettingKind::Folder:
            FolderField(*item) = AddBackslash(value);
            break;
        case SettingKind::LogoFolder:
            SetLogoFolder(item->Index, value);
            break;
        case SettingKind::Messages:
            SetLogoMessages(item->Index, UnescapeLines(value));
            break;
        case SettingKind::Flag: {
            bool flag = false;
            if (!ParseFlag(value, flag)) {
                return UsageError(run, "config",
                                  item->Name + std::string(" wants true or false, not ") + Quoted(value));
            }
            FlagField(*item) = flag;
            break;
        }
        case SettingKind::Shape:
            if (ScreenShapeIndex(value) < 0)
                return UsageError(run, "config", "ScreenShape wants 6:5, 4:3 or 8:5, not " + Quoted(value));
            Settings.ScreenShape = ScreenShapeIndex(value);
            break;
        case SettingKind::Color: {
            uint8_t rgb[3];
            if (!value.empty() && !ParseBarColor(value, rgb))
                return UsageError(run, "config", "BarColor wants RRGGBB in hex, or nothing, not " + Quoted(value));
            Settings.BarColor = value;
            break;
        }
    }
    // Only the value asked for: a value another command saved meanwhile stays.
    SaveSetting(item->Name);
    bool ok = SavedAsSet(*item);
    if (!ok) run.Ui.ErrorBox("Couldn't save the settings to the registry store " + platform::RegistryFile());
    if (item->Kind == SettingKind::Flag && item->Index == 1 && !SetAutoStart(Settings.AutoChange)) {
        run.Ui.ErrorBox("Couldn't write the Run value " + Quoted(CompanionProgram) + " to the registry store " +
                        platform::RegistryFile());
        ok = false;
    }
    return ok ? ExitOk : ExitFailed;
}
