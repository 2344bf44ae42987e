#pragma once
// JPEG (format 8) through the codec library.

#include <string>

#include "formats/FFBasic.h"

void JPGInfo(const std::string& name, TFileInfo& info);
void JPGLoad(const std::string& name, Limg& img);
void JPGSave(const std::string& name, const Limg& img);
