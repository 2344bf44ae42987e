#include <ostream>
#include <string>

#include "app/BootPreview.h"
#include "app/BootScreen.h"
#include "app/Dialogs.h"
#include "app/Settings.h"
#include "cli/Cli.h"
#include "cli/CliDialogs.h"
#include "foundation/Errors.h"

namespace {

constexpr const char* LogoWords[LogoCount] = {"startup", "shutdown", "turnoff"};

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

}  // namespace

int CmdPreview(CliRun& run)
{
    const ParsedArgs p = SplitArgs(run.Args, {"--out", "--shape"});
    std::string out, shape;
    bool animate = false;
    for (const auto& o : p.Options) {
        if (o.Name == "--animate" && !o.HasValue) {
            animate = true;
        } else if ((o.Name == "--out" || o.Name == "--shape") && o.HasValue) {
            (o.Name == "--out" ? out : shape) = o.Value;
        } else {
            return UsageError(run, "preview", "unknown option or missing value \"" + o.Name + "\"");
        }
    }
    if (p.Operands.size() != 1) return UsageError(run, "preview", "wants one LOGO or FILE");
    if (!shape.empty() && ScreenShapeIndex(shape) < 0)
        return UsageError(run, "preview", "--shape wants 6:5, 4:3 or 8:5, not " + Quoted(shape));
    const ScreenShapeInfo& screen = ScreenShapeOf(shape.empty() ? Settings.ScreenShape : ScreenShapeIndex(shape));

    std::string path;
    for (int32_t i = 0; i < LogoCount; ++i)
        if (p.Operands[0] == LogoWords[i]) path = LogoPath(i);
    if (path.empty()) path = ArgumentPath(p.Operands[0]);
    if (path.empty()) {
        run.Ui.ErrorBox("No drive holds " + Quoted(p.Operands[0]));
        return ExitFailed;
    }

    BootPreview preview;
    if (!preview.Load(path, animate)) {
        run.Ui.ErrorBox("Couldn't load " + Quoted(path) + ": " + ErrText(ErrGet() != 0 ? ErrGet() : 3));
        return ExitFailed;
    }
    const PreviewSize size = ScreenSizeOf(screen.Width, screen.Height);
    const Limg& picture = preview.Picture();
    run.Out << path << ": " << picture.Width << " x " << picture.Height << ", "
            << (picture.BytesPP == 1 ? "256 colours" : "24-bit colour") << ", shown at " << size.Width << " x "
            << size.Height << " (" << screen.Name << ")";
    if (preview.CycleStart() > 0) {
        run.Out << ", entries " << preview.CycleStart() << "-255 cycle in " << preview.Steps() << " steps of about "
                << CycleStepMs << " ms";
    }
    run.Out << '\n';
    if (out.empty()) return ExitOk;

    const std::string target = ArgumentPath(out);
    if (target.empty()) {
        run.Ui.ErrorBox("No drive holds " + Quoted(out));
        return ExitFailed;
    }
    std::string reason;
    if (!WritePreview(preview, target, size.Width, size.Height, reason)) {
        run.Ui.ErrorBox("Couldn't write the preview " + Quoted(out) + ": " + reason);
        return ExitFailed;
    }
    return ExitOk;
}
