#pragma once
// Silicon Graphics images: verbatim and run-length encoded files with one
// or two bytes per channel (scaled to one) are read; run-length encoded
// three-channel files are written, one-channel grey ones for names ending
// in .bw.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"

void SGILoad(const std::string& name, Limg& img);
void SGISave(const std::string& name, const Limg& img);
void SGIInfo(const std::string& name, TFileInfo& info);

// Decodes one run-length row of at most srcLen bytes into at most dstLen
// bytes (a packet that would pass the end is cut); stops at the end byte.
// Returns the number of bytes written.
int32_t SGIunCmpsRow(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen);

// The same for two bytes a channel: big-endian codes and samples, of which
// the high bytes are written.
int32_t SGIunCmpsRow16(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstLen);

// Encodes one row, end byte included. Returns the encoded length, or -1 when
// dstCap bytes would not hold it (2 × srcLen + 2 always do).
int32_t SGIdoCmpsRow(const uint8_t* src, int32_t srcLen, uint8_t* dst, int32_t dstCap);
