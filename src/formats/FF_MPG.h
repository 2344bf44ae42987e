#pragma once
// MPEG-1 and MPEG-2 video files, summarised by the codec library's stream
// scan: size, frame-rate code, picture count and the standard. Never decoded.

#include <string>

#include "formats/FFBasic.h"

void MPGInfo(const std::string& name, TFileInfo& info);
