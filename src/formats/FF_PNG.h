#pragma once
// PNG (format 9) through libpng, which the codec library passes on.

#include <string>

#include "formats/FFBasic.h"

void PNGInfo(const std::string& name, TFileInfo& info);
void PNGLoad(const std::string& name, Limg& img);
void PNGSave(const std::string& name, const Limg& img);
