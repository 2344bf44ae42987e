#include "app/LogoStatus.h"

#include "app/Composer.h"
#include "app/Dialogs.h"

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
