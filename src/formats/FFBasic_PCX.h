#pragma once
// The PCX codec (format 2): run-length encoded files with 8 bits a plane,
// one plane (palette picture) or three (24-bit picture), and palette
// pictures of 1 bit in up to four planes or 2 or 4 bits in one. A DCX file
// is read from its first page; a name ending in .dcx is written as a DCX
// file of one page.

#include <cstdint>
#include <string>

#include "formats/FFInternal.h"

void PCXOpen_(TImgf& f, const std::string& name);
void PCXInfo_(const std::string& name, TFileInfo& info);
void PCXLoad_(const std::string& name, Limg& img);
void PCXSave_(const std::string& name, const Limg& img);

// Decodes the run-length stream into at most dstLen bytes (a run that would
// pass the end is cut). Returns the number of bytes written.
int32_t PCXunCmps_(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen);

// Encodes one row (all planes as one stream). Returns the encoded length, or
// -1 when dstCap bytes would not hold it (2 × srcLen always do).
int32_t PCXdoCmps_(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstCap);
