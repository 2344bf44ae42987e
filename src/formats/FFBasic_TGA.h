#pragma once
// The TGA codec (format 1): colour-mapped, true-colour and grey pictures,
// uncompressed or run-length encoded, 1 to 4 bytes a pixel.

#include <cstdint>
#include <string>

#include "formats/FFInternal.h"

void TGAOpen_(TImgf& f, const std::string& name);
void TGAInfo_(const std::string& name, TFileInfo& info);
void TGALoad_(const std::string& name, Limg& img);
void TGASave_(const std::string& name, const Limg& img);

// Decodes packets of pixelSize-byte pixels into at most dstLen bytes (a
// packet that would overfill is cut). Returns the number of bytes written.
int32_t TGAunCmps_(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen, int32_t pixelSize);

// Encodes one row of `pixels` pixels. Returns the encoded length, or -1 when
// dstCap bytes would not hold it (2 × the row's bytes always do).
int32_t TGAdoCmps_(const uint8_t* src, int32_t pixels, int32_t pixelSize, uint8_t* dst, int32_t dstCap);
