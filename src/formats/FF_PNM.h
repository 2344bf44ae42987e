#pragma once
// Portable any-maps: grey and pixel maps in text and binary form (P2, P3, P5,
// P6) are read; binary pixel maps (P6) are written.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"

void PNMLoad(const std::string& name, Limg& img);
void PNMSave(const std::string& name, const Limg& img);
void PNMInfo(const std::string& name, TFileInfo& info);

// What the header of a map says.
struct TPnmHeader {
    bool TextEncoded = false;  // P2 or P3
    bool Supported = false;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Channels = 0;    // 1 grey, 3 colour, 0 other kinds
    uint32_t MaxValue = 0;   // above 255: two bytes a binary sample
    int32_t DataOffset = 0;  // first byte after the header
};

// Parses the header at the start of `data`. Returns 0, 6002 when the magic
// does not start with "P", or 6009 when the bytes end inside the header.
int32_t PNMParseHeader(const uint8_t* data, int32_t size, TPnmHeader& header);
