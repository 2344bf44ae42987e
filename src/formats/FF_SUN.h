#pragma once
// Sun raster images: 8-, 24- and 32-bit pictures, raw or byte-encoded, with
// or without a colour map, are read; byte-encoded 8-bit (with colour map)
// and 24-bit pictures are written.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"

void SUNLoad(const std::string& name, Limg& img);
void SUNSave(const std::string& name, const Limg& img);
void SUNInfo(const std::string& name, TFileInfo& info);

// Decodes a byte-encoded stream into at most dstLen bytes (a run that would
// pass the end is cut). Returns the number of bytes written.
int32_t SUNunCmps(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen);

// Encodes one row. Returns the encoded length, or -1 when dstCap bytes would
// not hold it (2 × srcLen always do).
int32_t SUNdoCmpsRow(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstCap);
