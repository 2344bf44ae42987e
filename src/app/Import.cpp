#include "app/Import.h"

#include "app/Catalogue.h"
#include "app/Composer.h"
#include "app/Dialogs.h"
#include "app/Settings.h"
#include "app/WriteSession.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "image/ImgBoxFit.h"
#include "image/PalOpt.h"
#include "image/PalVga.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/WholeFile.h"

bool OverwriteAll = false;
bool CancelAll = false;

namespace {

constexpr int32_t KindMoving = 3;
constexpr int32_t KindSound = 4;
constexpr int32_t UndefinedError = 3;

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

std::string Megabytes(int64_t bytes)
{
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

// Why an import failed, told while its error is fresh.
std::string FailureText(const ImportResult& r)
{
    if (platform::IsDiskFull(platform::LastWholeFileError()) && r.Error == 5004) return WriteFailureText(r.Target);
    return ErrText(r.Error != 0 ? r.Error : UndefinedError);
}

std::string OverwriteQuestion(const std::string& target)
{
    return "File \"" + ExtractFileName(target) + "\" " + "already exists. Do you want to overwrite it? " +
           "\"Yes\"=Overwrite, \"No\"=Select another name or skip, " + "\"All\"=Overwrite always, \"Cancel\"=Abort.";
}

// The nearest integer to a / b (both positive), an exact half to the even neighbour.
int32_t RoundEven(int64_t a, int64_t b)
{
    int64_t q = a / b;
    const int64_t twice = 2 * (a % b);
    if (twice > b || (twice == b && q % 2 != 0)) ++q;
    return static_cast<int32_t>(q);
}

// The canvas with the picture at (x, y) resampled to the logo size: the
// best colours start from an area-averaged fit, the classic reduction from
// the library's resampling.
void Fit_(Limg& picture, int32_t canvasWidth, int32_t canvasHeight, int32_t x, int32_t y)
{
    if (Settings.BestColors) {
        ImgBoxFit(picture, picture, LogoWidth, LogoHeight, canvasWidth, canvasHeight, x, y);
    } else {
        ImgResampleRect_(picture, picture, LogoWidth, LogoHeight, canvasWidth, canvasHeight, x, y);
    }
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
        if (Settings.BestColors) {
            ImgBoxFit(picture, picture, LogoWidth, LogoHeight, w, h, 0, 0);
        } else {
            ImgResample(picture, picture, LogoWidth, LogoHeight);
        }
        if (ErrGet() != 0) return false;
    } else if (!exact) {
        // The crop or the bordered canvas is read in place, never made.
        const ScreenShapeInfo& shape = ScreenShapeOf(Settings.ScreenShape);
        if (Settings.FullScreen) {
            const FitRect r = FillCrop(w, h, shape.Width, shape.Height);
            Fit_(picture, r.Width, r.Height, -r.X, -r.Y);
        } else {
            const FitRect r = BorderCanvas(w, h, shape.Width, shape.Height);
            Fit_(picture, r.Width, r.Height, r.X, r.Y);
        }
        if (ErrGet() != 0) return false;
    }

    if (Settings.BestColors) {
        PalReduceVga(picture, PalMaxColors);
    } else {
        ReduceColors(picture);
    }
    if (ErrGet() != 0) return false;
    const std::string folder = ExtractFilePath(target);
    if (!folder.empty() && !FolderExists(folder)) ForceFolders(folder);
    ImgSave(target, picture);
    return ErrGet() == 0;
}

}  // namespace

FitRect FillCrop(int32_t w, int32_t h, int32_t shapeWidth, int32_t shapeHeight)
{
    // w / h < shapeWidth / shapeHeight, compared without rounding.
    FitRect r;
    if (static_cast<int64_t>(w) * shapeHeight < static_cast<int64_t>(h) * shapeWidth) {
        r.Width = w;
        r.Height = static_cast<int32_t>(static_cast<int64_t>(w) * shapeHeight / shapeWidth);
        r.X = 0;
        r.Y = (h - r.Height) / 2;
    } else {
        r.Height = h;
        r.Width = static_cast<int32_t>(static_cast<int64_t>(h) * shapeWidth / shapeHeight);
        r.X = (w - r.Width) / 2;
        r.Y = 0;
    }
    return r;
}

FitRect BorderCanvas(int32_t w, int32_t h, int32_t shapeWidth, int32_t shapeHeight)
{
    FitRect r;
    if (static_cast<int64_t>(w) * shapeHeight < static_cast<int64_t>(h) * shapeWidth) {
        r.Height = h;
        r.Width = RoundEven(static_cast<int64_t>(h) * shapeWidth, shapeHeight);
        r.X = (r.Width - w) / 2;
        r.Y = 0;
    } else {
        r.Width = w;
        r.Height = RoundEven(static_cast<int64_t>(w) * shapeHeight, shapeWidth);
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
        if (r.Outcome == ImportOutcome::Failed) {
            ++result.Failed;
            ui.ErrorBox("Couldn't add " + Quoted(name) + ": " + FailureText(r));
        }
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
    // The whole picture is held at 24 bits while it is fitted.
    const int64_t pictureBytes = static_cast<int64_t>(info.Picture.Width) * info.Picture.Height * 3;
    if (info.Picture.Width > 0 && info.Picture.Height > 0 && pictureBytes > MaxImportBytes) {
        ui.ErrorBox(Quoted(ExtractFileName(source)) + " is too large to import: " + std::to_string(info.Picture.Width) +
                    " x " + std::to_string(info.Picture.Height) + " pixels (" + Megabytes(pictureBytes) +
                    "); the limit is " + Megabytes(MaxImportBytes) + ".");
        result.Outcome = ImportOutcome::Refused;
        return result;
    }
    const std::string chosen = ResolveTarget(target);
    if (CancelAll || chosen.empty()) {
        result.Outcome = ImportOutcome::Skipped;
        return result;
    }
    result.Target = chosen;
    // A warehouse name that is a link or a device is never written through.
    if (const auto kind = platform::HostKindOf(platform::HostPath(chosen));
        kind != platform::HostKind::Missing && kind != platform::HostKind::Regular) {
        ui.ErrorBox(Quoted(chosen) + (kind == platform::HostKind::Symlink
                                          ? " is a symbolic link; Lumenade does not write through it."
                                          : " is not a regular file; it is not replaced."));
        result.Outcome = ImportOutcome::Refused;
        return result;
    }

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
        const std::string warehouse = ExtractFilePath(current);
        std::string chosen;
        for (;;) {
            std::string folder = warehouse;
            ui.SaveAs("Select a different name", folder, ExtractFileName(current), chosen, 0, SaveFilter(1, 1));
            if (chosen.empty()) return "";
            // A picture anywhere else would never show in the list.
            if (platform::SameTextAZ(ExtractFilePath(chosen), warehouse)) break;
            ui.ErrorBox("Choose a name in the warehouse folder \"" + warehouse + "\".");
        }
        current = ChangeFileExt(chosen, ext);
    }
}

void ReduceColors(Limg& image, int32_t colours)
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
    step([&] { PalReduce(colours); });
    step([&] { PalMap(image, temp, true); });
    PalDone();
    step([&] { ImgXchg(image, temp); });
    ImgFree(temp);
    if (code != 0) ErrSet(code);
}
