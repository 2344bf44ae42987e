#include "app/Import.h"

#include <cmath>

#include "app/Catalogue.h"
#include "app/Composer.h"
#include "app/Dialogs.h"
#include "app/Settings.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "image/PalOpt.h"
#include "platform/Files.h"

bool OverwriteAll = false;
bool CancelAll = false;

namespace {

constexpr int32_t KindMoving = 3;
constexpr int32_t KindSound = 4;
constexpr int32_t UndefinedError = 3;
constexpr double LogoRatio = 1.2;

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

std::string OverwriteQuestion(const std::string& target)
{
    return "File \"" + ExtractFileName(target) + "\" " + "already exists. Do you want to overwrite it? " +
           "\"Yes\"=Overwrite, \"No\"=Select another name or skip, " + "\"All\"=Overwrite always, \"Cancel\"=Abort.";
}

// Nearest integer, an exact half to the even neighbour.
int32_t RoundEven(double v)
{
    return static_cast<int32_t>(std::nearbyint(v));
}

// Steps 4 to 11 of an import; false at the first library failure, and
// false with `damage` set for a picture whose data is broken.
bool Convert_(const std::string& source, const std::string& target, const TUniInfo& info, Limg& picture,
              std::string& damage)
{
    ImgAlloc(picture, info.Picture.Width, info.Picture.Height, 24);
    if (ErrGet() != 0) return false;
    ImgLoad(source, picture);
    if (ErrGet() != 0) return false;
    // Half a picture must not go into the warehouse as if it were whole.
    damage = LoadDamage();
    if (!damage.empty()) return false;

    const int32_t w = picture.Width;
    const int32_t h = picture.Height;
    if (w <= 0 || h <= 0) return false;
    const bool exact = w == LogoWidth && h == LogoHeight;
    // 320 x 200 and 640 x 400 have the logo's screen shape already: stretched whole.
    const bool native = exact || (w == LogoWidth && h == LogoHeight / 2) || (w == 2 * LogoWidth && h == LogoHeight);

    // A logo-sized picture of 15, 16 or 32 bits is converted too: the colour
    // reduction takes only 8 and 24 bits.
    if (picture.Bits != 24 && !(exact && picture.Bits == 8)) {
        ImgConvBit(picture, picture, 24);
        if (ErrGet() != 0) return false;
    }

    if (native && !exact) {
        ImgResample(picture, picture, LogoWidth, LogoHeight);
        if (ErrGet() != 0) return false;
    } else if (!exact) {
        // The crop or the bordered canvas is read in place, never made.
        if (Settings.FullScreen) {
            const FitRect r = FillCrop(w, h);
            ImgResampleRect_(picture, picture, LogoWidth, LogoHeight, r.Width, r.Height, -r.X, -r.Y);
        } else {
            const FitRect r = BorderCanvas(w, h);
            ImgResampleRect_(picture, picture, LogoWidth, LogoHeight, r.Width, r.Height, r.X, r.Y);
        }
        if (ErrGet() != 0) return false;
    }

    ReduceColors(picture);
    if (ErrGet() != 0) return false;
    const std::string folder = ExtractFilePath(target);
    if (!folder.empty() && !FolderExists(folder)) ForceFolders(folder);
    ImgSave(target, picture);
    return ErrGet() == 0;
}

}  // namespace

FitRect FillCrop(int32_t w, int32_t h)
{
    FitRect r;
    const double ratio = static_cast<double>(w) / static_cast<double>(h);
    if (ratio < LogoRatio) {
        r.Width = w;
        r.Height = static_cast<int32_t>(static_cast<int64_t>(w) * 5 / 6);
        r.X = 0;
        r.Y = (h - r.Height) / 2;
    } else {
        r.Height = h;
        r.Width = static_cast<int32_t>(static_cast<int64_t>(h) * 6 / 5);
        r.X = (w - r.Width) / 2;
        r.Y = 0;
    }
    return r;
}

FitRect BorderCanvas(int32_t w, int32_t h)
{
    FitRect r;
    const double ratio = static_cast<double>(w) / static_cast<double>(h);
    if (ratio < LogoRatio) {
        r.Height = h;
        r.Width = RoundEven(static_cast<double>(h) * 1.2);
        r.X = (r.Width - w) / 2;
        r.Y = 0;
    } else {
        r.Width = w;
        r.Height = RoundEven(static_cast<double>(w) * 5.0 / 6.0);
        r.X = 0;
        r.Y = (r.Height - h) / 2;
    }
    return r;
}

AddResult AddImages()
{
    OverwriteAll = false;
    CancelAll = false;
    Dialogs& ui = CurrentDialogs();
    std::vector<std::string> files = ui.OpenFiles("Add New Image", Settings.GrabDir, OpenFilter(1, 1), 0);
    return AddFiles(files);
}

AddResult AddFiles(const std::vector<std::string>& files)
{
    OverwriteAll = false;
    CancelAll = false;
    Dialogs& ui = CurrentDialogs();
    AddResult result;
    const int32_t n = static_cast<int32_t>(files.size());
    result.Chosen = n;
    for (int32_t i = 0; i < n; ++i) {
        const std::string& file = files[static_cast<size_t>(i)];
        const std::string name = ExtractFileName(file);
        const std::string target = AddBackslash(Settings.LogosDir) + WarehouseName(file);
        result.LastTarget = ExtractFileName(target);
        ui.ShowStatus(
            "Adding file " + Quoted(name) + " (file " + std::to_string(i + 1) + " of " + std::to_string(n) + ")", true);
        ImportResult r = ImportImage(file, target);
        if (r.Outcome == ImportOutcome::Imported) ++result.Imported;
        if (r.Outcome == ImportOutcome::Refused) ++result.Refused;
        if (r.Outcome == ImportOutcome::Failed) ++result.Failed;
        result.Results.push_back(r);
        if (CancelAll) break;
    }
    return result;
}

ImportResult ImportImage(const std::string& source, const std::string& target)
{
    ImportResult result;
    result.Source = source;
    Dialogs& ui = CurrentDialogs();
    const std::string shown = ExtractFileName(source);
    if (const std::string why = NotAPicture(source, shown); !why.empty()) {
        ui.ErrorBox(why);
        result.Outcome = ImportOutcome::Refused;
        return result;
    }
    TUniInfo info;
    if (!UniInfo(source, info, false)) {
        ui.ErrorBox("Format not supported (" + Quoted(shown) + ")");
        result.Outcome = ImportOutcome::Refused;
        result.Error = ErrGet();
        return result;
    }
    if (info.Kind == KindMoving) {
        ui.ErrorBox("Video clips are not accepted (" + Quoted(shown) + ")");
        result.Outcome = ImportOutcome::Refused;
        return result;
    }
    if (info.Kind == KindSound) {
        ui.ErrorBox("Sound files are not accepted (" + Quoted(shown) + ")");
        result.Outcome = ImportOutcome::Refused;
        return result;
    }
    const std::string chosen = ResolveTarget(target);
    if (CancelAll || chosen.empty()) {
        result.Outcome = ImportOutcome::Skipped;
        return result;
    }
    result.Target = chosen;

    Limg picture;
    bool ok = false;
    std::string damage;
    try {
        ok = Convert_(source, chosen, info, picture, damage);
        result.Error = ErrGet();
    } catch (...) {
        ErrSet(UndefinedError);
        result.Error = UndefinedError;
    }
    ImgFree(picture);
    if (!damage.empty()) {
        ui.ErrorBox(Quoted(shown) + " is damaged: " + damage);
        result.Outcome = ImportOutcome::Refused;
        return result;
    }
    result.Outcome = ok ? ImportOutcome::Imported : ImportOutcome::Failed;
    return result;
}

std::string ResolveTarget(const std::string& target)
{
    std::string current = target;
    const std::string ext = ExtractFileExt(target);
    Dialogs& ui = CurrentDialogs();
    for (;;) {
        if (!platform::FileExists(current) || OverwriteAll) return current;
        const char answer = ui.AskOverwrite(OverwriteQuestion(current));
        if (answer == AnswerYes || answer == AnswerAll) {
            if (answer == AnswerAll) OverwriteAll = true;
            return current;
        }
        if (answer != AnswerNo) {
            CancelAll = true;
            return "";
        }
        std::string folder = ExtractFilePath(current);
        std::string chosen;
        ui.SaveAs("Select a different name", folder, ExtractFileName(current), chosen, 0, SaveFilter(1, 1));
        if (chosen.empty()) return "";
        current = ChangeFileExt(chosen, ext);
    }
}

void ReduceColors(Limg& image)
{
    Limg temp;
    ImgAlloc(temp, image.Width, image.Height, 8);
    if (ErrGet() != 0) return;
    // Each step runs only after the ones before it succeeded, and the first
    // failure is what the caller sees, though PalDone clears the error state.
    int32_t code = 0;
    const auto step = [&code](auto&& call) {
        if (code != 0) return;
        call();
        code = ErrGet();
    };
    step([] { PalInit(); });
    step([] { PalBegin(); });
    step([&] { PalHistogram(image); });
    step([] { PalReduce(PalMaxColors); });
    step([&] { PalMap(image, temp, true); });
    PalDone();
    step([&] { ImgXchg(image, temp); });
    ImgFree(temp);
    if (code != 0) ErrSet(code);
}
