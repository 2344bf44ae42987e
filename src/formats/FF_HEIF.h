#pragma once
// HEIF/HEIC and AVIF pictures through libheif, read only: the primary
// picture, turned as the file says.

#include <string>

#include "formats/FFBasic.h"

void HEIFInfo(const std::string& name, TFileInfo& info);
void HEIFLoad(const std::string& name, Limg& img);
