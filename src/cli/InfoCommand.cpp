#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/Dialogs.h"
#include "cli/Cli.h"
#include "cli/CliDialogs.h"
#include "cli/CliText.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"

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

// The library's reason why a file could not be described.
std::string InfoFailure(const std::string& path, const std::string& operand)
{
    if (const std::string why = NotAPicture(path, operand); !why.empty()) return why;
    if (FormatOf(path) == static_cast<uint32_t>(INVALID_HANDLE))
        return "Format not supported (\"" + ExtractFileName(path) + "\")";
    TFileInfo fileInfo;
    FFInfo(path, fileInfo);
    return ErrText(ErrGet() != 0 ? ErrGet() : 3);
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
            run.Ui.ErrorBox("No drive holds \"" + operand + "\"");
            failed = true;
            continue;
        }
        if (!UniInfo(path, info, false)) {
            run.Ui.ErrorBox(InfoFailure(path, operand));
            failed = true;
            continue;
        }
        const std::vector<Field> fields = Describe(operand, info);
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
