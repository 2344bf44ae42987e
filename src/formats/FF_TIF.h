#pragma once
// TIFF (format 10) through libtiff, which the codec library passes on. There
// is no TIFF writer.

#include <string>

#include "formats/FFBasic.h"

void TIFInfo(const std::string& name, TFileInfo& info);
void TIFLoad(const std::string& name, Limg& img);
