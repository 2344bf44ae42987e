#pragma once
// WebP pictures through libwebp, read only: the still picture, or the first
// frame of an animation (whose frames the information counts).

#include <string>

#include "formats/FFBasic.h"

void WEBPInfo(const std::string& name, TFileInfo& info);
void WEBPLoad(const std::string& name, Limg& img);
