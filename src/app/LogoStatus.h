#pragma once
// What the user is told after setting a logo; the window's status line and
// the command line say the same.

#include <cstdint>
#include <string>

#include "app/Settings.h"

// The logos as the command line names them, by logo index.
inline constexpr const char* LogoWords[LogoCount] = {"startup", "shutdown", "turnoff"};

// "\"rings.png\" is now the startup logo (C:\LOGO.SYS)."
std::string SetLogoDone(const std::string& source, int32_t index);
// Why SetLogo left the logo as it was; asked right after the call, while the
// library still holds its error.
std::string SetLogoFailure(const std::string& source, int32_t index);
