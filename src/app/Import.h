#pragma once
// The Add command: pictures of any still format become warehouse PNGs of
// 320 × 400 pixels with an optimised 256-colour palette.

#include <cstdint>
#include <string>
#include <vector>

#include "image/ImgBasic.h"

// Set by the answers All and Cancel of the overwrite question; both are
// cleared at the start of every Add command.
extern bool OverwriteAll;
extern bool CancelAll;

enum class ImportOutcome {
    Imported,
    Refused,  // not a format, or a video clip: an error box was shown
    Skipped,  // the overwrite question or the save-as dialog said no
    Failed,   // a library step failed; ImportResult::Error holds its code
};

struct ImportResult {
    ImportOutcome Outcome = ImportOutcome::Failed;
    std::string Source;
    std::string Target;  // the file written (after the overwrite question)
    int32_t Error = 0;
};

struct AddResult {
    int32_t Chosen = 0;
    int32_t Imported = 0;
    int32_t Refused = 0;
    int32_t Failed = 0;
    // File name of the last target proposed (before any other name was chosen).
    std::string LastTarget;
    std::vector<ImportResult> Results;  // one per file tried, in order
};

// Shows the open dialog and imports the chosen files. The caller rebuilds
// the list and selects LastTarget when Chosen > 0.
AddResult AddImages();
// The import loop of the Add command for files already chosen.
AddResult AddFiles(const std::vector<std::string>& files);
ImportResult ImportImage(const std::string& source, const std::string& target);
// The name to write, or empty to skip; may set OverwriteAll or CancelAll.
std::string ResolveTarget(const std::string& target);
// Makes the image 8-bit with an optimised, dithered palette of 256 colours,
// or of fewer when told.
void ReduceColors(Limg& image, int32_t colours = 256);

// Rectangle of the fitting rules, in the picture's or the canvas's pixels.
struct FitRect {
    int32_t X = 0, Y = 0, Width = 0, Height = 0;
};
// "Fill the screen": the largest centred rectangle of the screen shape
// (6 : 5 unless told) in a w × h picture.
FitRect FillCrop(int32_t w, int32_t h, int32_t shapeWidth = 6, int32_t shapeHeight = 5);
// "Show entire image": the canvas of the screen shape (Width, Height) and
// where the picture goes on it (X, Y).
FitRect BorderCanvas(int32_t w, int32_t h, int32_t shapeWidth = 6, int32_t shapeHeight = 5);
