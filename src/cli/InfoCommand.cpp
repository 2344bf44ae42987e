#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/BootScreen.h"
#include "app/Dialogs.h"
#include "cli/Cli.h"
#include "cli/CliDialogs.h"
#include "cli/CliText.h"
#include "formats/FFBasic.h"
#include "formats/FormatTable.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "platform/FileKind.h"

namespace {

constexpr const char* KindNames[] = {"none", "single picture", "picture series", "moving pictures", "sound"};

std::string KindName(int32_t kind)
{
    return kind >= 0 && kind <= 4 ? KindNames[kind] : "none";
}

// One key with its value as text and whether JSON writes it as a string.
struct Field {
    std::string Key;
    std::string Value;
    bool Text = false;
};

std::vector<Field> Describe(const std::string& file, const TUniInfo& info)
{
    const auto number = [](int64_t v) { return std::to_string(v); };
    std::vector<Field> f = {
        {"file", file, true},
        {"format", FormatShortName(info.Format), true},
        {"kind", KindName(info.Kind), true},
        {"file size", number(info.TotalSize)},
        {"width", number(info.Picture.Width)},
        {"height", number(info.Picture.Height)},
        {"bits per pixel", number(info.Picture.Bits)},
        {"bytes per pixel", number(info.Picture.BytesPP)},
        {"frames", number(info.Picture.Frames)},
        {"frames per second", FormatRate(info.Picture.FramesPerSec)},
        {"compression", info.Picture.Compression, true},
        {"loadable", info.Picture.Loadable ? "true" : "false"},
    };
    // Width and height are those of the picture turned as its orientation says.
    if (info.Picture.Orientation != 0) f.push_back({"orientation", number(info.Picture.Orientation)});
    if (info.Sound.Present) {
        f.push_back({"sound size", number(info.Sound.Size)});
        f.push_back({"samples per second", number(info.Sound.SamplesPerSec)});
        f.push_back({"channels", number(info.Sound.Channels)});
        f.push_back({"bits per sample", number(info.Sound.BitsPerSample)});
        f.push_back({"sound compression", info.Sound.Compression, true});
    }
    return f;
}

// A logo file (LOGO.SYS: its extension names no format) described by the BMP
// reader.
bool LogoFileInfo(const std::string& path, TUniInfo& info)
{
    if (CycleStartOf(path) < 0) return false;
    TFileInfo fileInfo;
    fileInfo.Format = FmtBMP;
    fileInfo.Picture.Compression = "None";
    ErrClear();
    FormatById(FmtBMP)->Info(path, fileInfo);
    if (ErrGet() != 0) return false;
    info = TUniInfo{};
    info.Format = FmtBMP;
    info.Kind = 1;
    info.FileName = path;
    info.TotalSize = fileInfo.FileSize;
    info.Picture = fileInfo.Picture;
    return true;
}

// Why a file could not be described: the library's error number and text.
struct Failure {
    int32_t Code;
    std::string Text;
};
constexpr int32_t FormatNotSupported = 6001;
constexpr int32_t CannotOpenFile = 5001;

Failure InfoFailure(const std::string& path, const std::string& operand)
{
    if (const std::string why = NotAPicture(path, operand); !why.empty()) {
        int64_t size = 0;
        const bool regular = platform::KindOfFile(path, size) == platform::FileKind::Regular;
        return {regular ? FormatNotSupported : CannotOpenFile, why};
    }
    if (FormatOf(path) == static_cast<uint32_t>(INVALID_HANDLE))
        return {FormatNotSupported, "Format not supported (\"" + ExtractFileName(path) + "\")"};
    TFileInfo fileInfo;
    FFInfo(path, fileInfo);
    const int32_t code = ErrGet() != 0 ? ErrGet() : 3;
    return {code, ErrText(code)};
}

// A file that could not be described: the reason on standard error, and
// with --json an error object in the file's place, as ffprobe writes one.
void ReportFailure(CliRun& run, bool json, const std::string& operand, const Failure& failure)
{
    run.Ui.ErrorBox(failure.Text);
    if (json) {
        run.Out << "{\"file\": " << JsonString(operand) << ", \"error\": {\"code\": " << failure.Code
                << ", \"string\": " << JsonString(failure.Text) << "}}\n";
    }
}

}  // namespace

int CmdInfo(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args);
    bool json = false;
    for (const auto& o : p.Options) {
        if (o.Name != "--json" || o.HasValue) return UsageError(run, "info", "unknown option \"" + o.Name + "\"");
        json = true;
    }
    if (p.Operands.empty()) return UsageError(run, "info", "no FILE given");

    bool failed = false;
    bool first = true;
    for (const std::string& operand : p.Operands) {
        const std::string path = ArgumentPath(operand);
        TUniInfo info;
        if (path.empty()) {
            ReportFailure(run, json, operand, {CannotOpenFile, "No drive holds \"" + operand + "\""});
            failed = true;
            continue;
        }
        if (!UniInfo(path, info, false) && !LogoFileInfo(path, info)) {
            ReportFailure(run, json, operand, InfoFailure(path, operand));
            failed = true;
            continue;
        }
        std::vector<Field> fields = Describe(operand, info);
        if (const int32_t first = CycleStartOf(path); first >= 0)
            fields.push_back({"cycled entries", first == 0 ? "none" : std::to_string(first) + "-255", true});
        if (json) {
            run.Out << '{';
            for (size_t i = 0; i < fields.size(); ++i) {
                const Field& f = fields[i];
                run.Out << (i ? ", " : "") << JsonString(f.Key) << ": " << (f.Text ? JsonString(f.Value) : f.Value);
            }
            run.Out << "}\n";
        } else {
            if (!first) run.Out << '\n';
            for (const Field& f : fields) {
                const std::string value = f.Key == "loadable" ? (info.Picture.Loadable ? "yes" : "no") : f.Value;
                run.Out << f.Key << ": " << value << '\n';
            }
        }
        first = false;
    }
    return failed ? ExitFailed : ExitOk;
}
