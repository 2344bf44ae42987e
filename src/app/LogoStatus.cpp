#include "app/LogoStatus.h"

#include "app/Composer.h"
#include "app/Dialogs.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"

namespace {

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

}  // namespace

std::string SetLogoDone(const std::string& source, int32_t index)
{
    const bool animated = index == LogoStartup && Settings.AnimatedBar;
    return Quoted(ExtractFileName(source)) + " is now the " + (animated ? "animated " : "") + LogoWords[index] +
           " logo (" + LogoPath(index) + ").";
}

std::string SetLogoFailure(const std::string& source, int32_t index)
{
    if (const int32_t code = ErrGet(); code != 0) return ErrText(code);
    Limg image;
    ImgLoad(source, image);
    const bool logoImage =
        ErrGet() == 0 && image.Width == LogoWidth && image.Height == LogoHeight && image.BytesPP == 1;
    ImgFree(image);
    if (!logoImage) return Quoted(ExtractFileName(source)) + " is not a logo picture (320 x 400, 256 colours).";
    return "Couldn't replace the logo file: " + Quoted(LogoPath(index));
}
