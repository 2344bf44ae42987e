#include "cli/Cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <utility>

#include "app/DriveFiles.h"
#include "app/Settings.h"
#include "cli/CliDialogs.h"
#include "platform/DiskImage.h"
#include "platform/DriveSession.h"
#include "platform/Paths.h"

namespace {

struct Command {
    const char* Name;
    int (*Run)(CliRun&);
    bool Writes;  // changes files on the drives: image drives are written back
    const char* Help;
};

constexpr const char* GlobalHelp =
    "Usage: lumenade-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Manages the start-up and shut-down logos of Windows 95/98 on a drive C:\n"
    "mapped to a host folder. Shares its settings with the Lumenade window.\n"
    "\n"
    "Commands:\n"
    "  list [--json]              the warehouse pictures, their sizes and the total\n"
    "  add [OPTIONS] FILE...      import pictures into the warehouse\n"
    "  set NAME --as LOGO         make a warehouse picture the startup, shutdown or\n"
    "                             turnoff logo\n"
    "  shuffle                    random warehouse pictures as all three logos\n"
    "  restore                    bring back the logos from before the first change\n"
    "  delete NAME...             delete warehouse pictures\n"
    "  info [--json] FILE...      describe picture, video and sound files\n"
    "  convert IN OUT             convert a picture; formats by extension\n"
    "  config [NAME [VALUE]]      show all settings, show one, or change one\n"
    "  paths                      where the logos, the warehouse and the backup are\n"
    "  preview LOGO|FILE [--out F] how the boot screen shows a logo or picture\n"
    "\n"
    "Options, before the command:\n"
    "  --drive L=HOSTDIR   map drive L: to a host folder (repeatable); by default\n"
    "                      C: is $XDG_DATA_HOME/lumenade/drive_c and Z: is /\n"
    "  --windows WINPATH   the Windows folder (default C:\\WINDOWS)\n"
    "  --registry FILE     the registry store (default\n"
    "                      $XDG_CONFIG_HOME/lumenade/user.reg)\n"
    "  --seed N            seed the random generator with N (reproducible runs)\n"
    "  -q, --quiet         no progress or status lines\n"
    "  -h, --help          this help; 'lumenade-cli COMMAND --help' for a command\n"
    "  --version           the version\n"
    "\n"
    "Files may be given as host paths (/home/ann/a.jpg, or relative to the\n"
    "current folder) or as Windows paths (C:\\pics\\a.jpg). The environment\n"
    "variables LUMENADE_DRIVE_<LETTER>, LUMENADE_WINDOWS and LUMENADE_REGISTRY\n"
    "set the same as the options.\n"
    "\n"
    "Exit status: 0 success, 1 an operation failed, 2 wrong usage.\n";

const Command Commands[] = {
    {"list", CmdList, false,
     "Usage: lumenade-cli list [--json]\n"
     "\n"
     "Lists the pictures of the logo warehouse, one line each with its name and\n"
     "size in bytes, then the number of pictures and their total size.\n"
     "\n"
     "  --json   one JSON object: \"pictures\", each with \"name\", \"size\" (bytes),\n"
     "           \"windows_path\" and \"host_path\", and \"totals\" with \"count\"\n"
     "           and \"size\"\n"},
    {"add", CmdAdd, true,
     "Usage: lumenade-cli add [--fill|--borders] [--overwrite|--skip]\n"
     "                        [--quality classic|best] [--shape 6:5|4:3|8:5] FILE...\n"
     "\n"
     "Imports still pictures (BMP, PCX, TGA, GIF, JPEG, PNG, TIFF, SGI, Sun\n"
     "raster, PNM) into the warehouse as 320 x 400 PNG files with 256 colours,\n"
     "named after each file with the extension .png.\n"
     "\n"
     "  --fill       crop the picture to fill the screen (this run only)\n"
     "  --borders    show the entire picture with black borders (this run only)\n"
     "  --overwrite  replace a warehouse file of the same name\n"
     "  --skip       keep a warehouse file of the same name; skip the picture\n"
     "  --quality best     reduce the colours for the boot screen's 6-bit VGA\n"
     "                     palette (libimagequant); classic is the default\n"
     "  --shape 4:3        the shape the logo has on screen: 6:5 (default),\n"
     "                     4:3 or 8:5; the crop or borders follow it\n"
     "\n"
     "--quality and --shape hold for this run; the BestColors and ScreenShape\n"
     "settings decide otherwise. Without --fill or --borders the FullScreen setting decides. Without\n"
     "--overwrite or --skip a taken name is asked about on a terminal (Y\n"
     "overwrite, N choose another name or skip, A overwrite all, C cancel) and\n"
     "skipped elsewhere. Exit status 1 when any file could not be added.\n"},
    {"set", CmdSet, true,
     "Usage: lumenade-cli set NAME --as startup|shutdown|turnoff [--animate|--still]\n"
     "                        [--bar-color RRGGBB]\n"
     "\n"
     "Makes the warehouse picture NAME (as 'list' shows it; .png may be left\n"
     "out) the start-up logo (LOGO.SYS), the shut-down logo (LOGOW.SYS) or the\n"
     "turn-off logo (LOGOS.SYS), with a random line of that logo's messages\n"
     "drawn in a random corner. The logo in place is backed up the first time.\n"
     "\n"
     "  --animate    give the startup logo a moving bar at the bottom: the\n"
     "               picture keeps 236 colours, the last 20 palette entries\n"
     "               cycle while Windows starts\n"
     "  --still      no moving bar, whatever the AnimatedBar setting says\n"
     "  --bar-color RRGGBB  the bar's colour (implies --animate); otherwise\n"
     "               the BarColor setting, or a colour of the picture\n"
     "\n"
     "Without --animate or --still the AnimatedBar setting decides, as it does\n"
     "for 'shuffle'.\n"},
    {"shuffle", CmdShuffle, true,
     "Usage: lumenade-cli shuffle\n"
     "\n"
     "Sets a random warehouse picture as each of the three logos, each with a\n"
     "random line of its messages. Logos in place are backed up the first time.\n"
     "The startup logo gets the moving bar when the AnimatedBar setting is on.\n"},
    {"restore", CmdRestore, true,
     "Usage: lumenade-cli restore\n"
     "\n"
     "Brings back the logos that were in place before Lumenade first changed\n"
     "them, by carrying out restore.bat in the backup folder (see 'paths').\n"},
    {"delete", CmdDelete, true,
     "Usage: lumenade-cli delete NAME...\n"
     "\n"
     "Deletes the warehouse pictures NAME (as 'list' shows them; .png may be\n"
     "left out), without asking.\n"},
    {"info", CmdInfo, false,
     "Usage: lumenade-cli info FILE... [--json]\n"
     "\n"
     "Describes each file without decoding it, as 'key: value' lines: file,\n"
     "format, kind, file size, width, height, bits per pixel, bytes per pixel,\n"
     "frames, frames per second, compression, loadable, and for a file with\n"
     "sound: sound size, samples per second, channels, bits per sample, sound\n"
     "compression.\n"
     "\n"
     "  --json   one JSON object per file and line, with the same keys; a file\n"
     "           that cannot be described gives {\"file\": ..., \"error\": {\"code\":\n"
     "           NUMBER, \"string\": TEXT}} (exit status 1)\n"},
    {"convert", CmdConvert, true,
     "Usage: lumenade-cli convert IN OUT\n"
     "\n"
     "Loads the picture IN and saves it as OUT; each format follows from the\n"
     "file's extension. Written formats: BMP, DIB, PCX, TGA, JPEG, PNG, SGI\n"
     "(.rgb), Sun raster (.ras), PNM (.ppm). An existing OUT is replaced.\n"},
    {"config", CmdConfig, false,
     "Usage: lumenade-cli config [NAME [VALUE]]\n"
     "\n"
     "Without NAME prints every setting as 'NAME: VALUE'; with NAME prints its\n"
     "value; with VALUE changes it and saves the settings. Names:\n"
     "\n"
     "  LogosDir      the warehouse folder\n"
     "  StartupDir    folder of LOGO.SYS\n"
     "  ShutDownDir   folder of LOGOW.SYS\n"
     "  TurnOffDir    folder of LOGOS.SYS\n"
     "  StartupMsgs   messages drawn on the start-up logo, one a line\n"
     "  ShutDownMsg   messages drawn on the shut-down logo\n"
     "  TurnOffMsg    messages drawn on the turn-off logo\n"
     "  FullScreen    true: crop new pictures to fill the screen;\n"
     "                false: show them entire, with borders\n"
     "  AutoChange    true: the Run entry starts bootpix.exe at log-on\n"
     "                (updated at once)\n"
     "  GrabDir       the folder the window's Add dialog opens in\n"
     "  AnimatedBar   true: startup logos get the moving bar (set, shuffle)\n"
     "  BarColor      the bar's colour as RRGGBB; empty: from the picture\n"
     "  BestColors    true: new pictures are reduced for the 6-bit VGA palette\n"
     "  ScreenShape   the logo's shape on screen: 6:5, 4:3 or 8:5\n"
     "  BootPreview   true: the window previews through the VGA palette\n"
     "\n"
     "In the messages, \\n stands for a line break and \\\\ for a backslash.\n"
     "Folders may be given as host paths (/...) or Windows paths. Flags take\n"
     "true/false, yes/no, on/off or 1/0.\n"},
    {"preview", CmdPreview, false,
     "Usage: lumenade-cli preview LOGO|FILE [--out OUT.gif|OUT.png] [--animate]\n"
     "                            [--shape 6:5|4:3|8:5]\n"
     "\n"
     "Shows how the boot screen shows a logo: LOGO is startup, shutdown or\n"
     "turnoff (the logo file in place), FILE any logo file or picture. The\n"
     "palette goes through the 6-bit VGA DAC and the picture is stretched to\n"
     "the screen shape (the ScreenShape setting unless --shape is given), 400\n"
     "lines high. Prints what it found; with --out writes a GIF of one full\n"
     "cycle of the moving bar (one frame for a still logo) or a PNG of the\n"
     "first frame. The step rate, one step every 100 ms, is approximate.\n"
     "\n"
     "  --animate    show a warehouse picture as the animated startup logo\n"
     "               made of it (without its message)\n"},
    {"paths", CmdPaths, false,
     "Usage: lumenade-cli paths [--json]\n"
     "\n"
     "Prints what drive C: is (a folder, or a disk image with its partition\n"
     "and file system), the Windows folder and where it came from\n"
     "(LUMENADE_WINDOWS, MSDOS.SYS or the default), then the three logo\n"
     "files, the warehouse, the backup folder and restore.bat, each as\n"
     "'WINDOWS PATH -> WHERE'.\n"
     "\n"
     "  --json   the same as one JSON object\n"},
};

struct GlobalOptions {
    std::vector<std::pair<char, std::string>> Drives;
    bool HasWindows = false;
    std::string Windows;
    std::string Registry;
    bool HasSeed = false;
    int32_t Seed = 0;
    bool Quiet = false;
    bool Help = false;
    bool Version = false;
};

int GlobalUsage(std::ostream& err, const std::string& message)
{
    err << CliName << ": " << message << "\nTry '" << CliName << " --help'.\n";
    return ExitUsage;
}

bool ParseSeed(const std::string& text, int32_t& seed)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < -2147483648LL || v > 4294967295LL) return false;
    seed = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

// A host folder, or an image file given as FILE or FILE:N.
bool IsDriveTarget(const std::string& host)
{
    struct stat st {};
    std::string file;
    int partition = 0;
    return (stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) || platform::SplitImageSpec(host, file, partition);
}

// Reads the options before the command; index ends at the command.
int ParseGlobal(const std::vector<std::string>& args, size_t& index, GlobalOptions& g, std::ostream& err)
{
    for (index = 0; index < args.size(); ++index) {
        const std::string& a = args[index];
        if (a.size() < 2 || a[0] != '-') break;
        if (a == "--") {
            ++index;
            break;
        }
        std::string name = a;
        std::string value;
        bool hasInline = false;
        if (size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasInline = true;
        }
        const bool takesValue = name == "--drive" || name == "--windows" || name == "--registry" || name == "--seed";
        if (takesValue && !hasInline) {
            if (index + 1 >= args.size()) return GlobalUsage(err, name + " needs a value");
            value = args[++index];
        } else if (!takesValue && hasInline) {
            return GlobalUsage(err, name + " takes no value");
        }
        if (name == "--drive") {
            const bool letter =
                value.size() >= 2 && ((value[0] >= 'A' && value[0] <= 'Z') || (value[0] >= 'a' && value[0] <= 'z'));
            if (!letter || value[1] != '=' || value.size() == 2) {
                return GlobalUsage(err, "--drive wants LETTER=HOSTDIR, not \"" + value + "\"");
            }
            const std::string folder = value.substr(2);
            if (!IsDriveTarget(folder)) return GlobalUsage(err, "--drive " + value + ": no such folder or image file");
            g.Drives.emplace_back(value[0], folder);
        } else if (name == "--windows") {
            g.HasWindows = true;
            g.Windows = value;
        } else if (name == "--registry") {
            if (value.empty()) return GlobalUsage(err, "--registry needs a file name");
            g.Registry = value;
        } else if (name == "--seed") {
            if (!ParseSeed(value, g.Seed))
                return GlobalUsage(err, "--seed wants a 32-bit number, not \"" + value + "\"");
            g.HasSeed = true;
        } else if (name == "-q" || name == "--quiet") {
            g.Quiet = true;
        } else if (name == "-h" || name == "--help") {
            g.Help = true;
        } else if (name == "--version") {
            g.Version = true;
        } else {
            return GlobalUsage(err, "unknown option \"" + a + "\"");
        }
    }
    return ExitOk;
}

bool AsksForHelp(const std::vector<std::string>& args)
{
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

// The drive table and the registry store of this run, before anything reads them.
void ApplyGlobal(const GlobalOptions& g)
{
    if (!g.Registry.empty()) setenv("LUMENADE_REGISTRY", g.Registry.c_str(), 1);
    if (g.HasWindows) setenv("LUMENADE_WINDOWS", g.Windows.c_str(), 1);
    platform::ReloadConfiguration();
    for (const auto& [letter, folder] : g.Drives) platform::SetDrive(letter, folder);
    if (g.HasSeed) {
        SetRandomSeed(g.Seed);
    } else {
        RandomizeSeed();
    }
}

}  // namespace

int UsageError(CliRun& run, const std::string& command, const std::string& message)
{
    run.Err << CliName << ' ' << command << ": " << message << "\nTry '" << CliName << ' ' << command << " --help'.\n";
    return ExitUsage;
}

ParsedArgs SplitArgs(const std::vector<std::string>& args, const std::vector<std::string>& valued)
{
    ParsedArgs parsed;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && a.size() >= 2 && a[0] == '-') {
            ParsedArgs::Option o;
            size_t eq = a.find('=');
            if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
                o.Name = a.substr(0, eq);
                o.Value = a.substr(eq + 1);
                o.HasValue = true;
            } else {
                o.Name = a;
                for (const std::string& v : valued) {
                    if (o.Name == v && i + 1 < args.size()) {
                        o.Value = args[++i];
                        o.HasValue = true;
                    }
                }
            }
            parsed.Options.push_back(o);
        } else {
            parsed.Operands.push_back(a);
        }
    }
    return parsed;
}

std::string ArgumentPath(const std::string& argument)
{
    if (argument.empty()) return {};
    const char c = argument[0];
    const bool drive = argument.size() >= 2 && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && argument[1] == ':';
    if (drive || c == '\\') return argument;
    // Host paths, absolute or relative to the host's current folder.
    return platform::WindowsPath(argument);
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    GlobalOptions g;
    size_t index = 0;
    if (int status = ParseGlobal(args, index, g, err); status != ExitOk) return status;
    if (g.Help) {
        out << GlobalHelp;
        return ExitOk;
    }
    if (g.Version) {
        out << CliName << ' ' << LUM_VERSION << '\n';
        return ExitOk;
    }
    if (index >= args.size()) {
        err << GlobalHelp;
        return ExitUsage;
    }
    const std::string& name = args[index];
    const Command* command = nullptr;
    for (const Command& c : Commands) {
        if (name == c.Name) command = &c;
    }
    if (command == nullptr) return GlobalUsage(err, "unknown command \"" + name + "\"");
    std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(index) + 1, args.end());
    if (AsksForHelp(rest)) {
        out << command->Help;
        return ExitOk;
    }

    ApplyGlobal(g);
    CliDialogs ui(std::cin, out, err, g.Quiet, isatty(STDIN_FILENO) == 1);
    SetDialogs(&ui);
    CliRun run{rest, out, err, ui, g.Quiet};
    int status = ExitFailed;
    try {
        // Drives in disk images: the files of this command are staged before
        // it runs and written back after it.
        platform::DriveSession drives(command->Writes ? platform::DriveSession::Mode::Write
                                                      : platform::DriveSession::Mode::Read);
        bool runEntryWritten = true;
        const bool opened = OpenLogoDrives(drives, runEntryWritten);
        if (!runEntryWritten) {
            err << CliName << ": couldn't write the Run value \"" << CompanionProgram << "\" to the registry store "
                << platform::RegistryFile() << '\n';
        }
        if (!opened) {
            err << CliName << ' ' << name << ": " << drives.Error() << '\n';
            SetDialogs(nullptr);
            return ExitFailed;
        }
        // Files named on the command line may live on an image drive too.
        std::vector<std::string> named;
        for (const std::string& operand : SplitArgs(rest).Operands) {
            if (std::string path = ArgumentPath(operand); !path.empty()) named.push_back(path);
        }
        if (!drives.Stage({}, named)) {
            err << CliName << ' ' << name << ": " << drives.Error() << '\n';
            SetDialogs(nullptr);
            return ExitFailed;
        }
        status = command->Run(run);
        if (!drives.Commit()) {
            err << CliName << ' ' << name << ": " << drives.Error() << '\n';
            status = ExitFailed;
        }
    } catch (const std::exception& e) {
        err << CliName << ' ' << name << ": " << e.what() << '\n';
        status = ExitFailed;
    }
    out.flush();
    SetDialogs(nullptr);
    return status;
}
