#pragma once
// Portable any-maps: bitmaps, grey and pixel maps in text and binary form
// (P1 to P6) and arbitrary maps (P7) of grey or colour tuples, with or
// without alpha, are read; binary pixel maps (P6) are written, binary grey
// maps (P5) for names ending in .pgm.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"

void PNMLoad(const std::string& name, Limg& img);
void PNMSave(const std::string& name, const Limg& img);
void PNMInfo(const std::string& name, TFileInfo& info);

// What the header of a map says.
struct TPnmHeader {
    bool TextEncoded = false;  // P1, P2 or P3
    bool Bitmap = false;       // P1 or P4: one bit a pixel, 1 is black
    bool Supported = false;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Channels = 0;    // what loads: 1 grey, 3 colour, 0 other kinds
    int32_t Depth = 0;       // samples a pixel in the file (P7: up to 4, alpha last)
    uint32_t MaxValue = 0;   // above 255: two bytes a binary sample
    int32_t DataOffset = 0;  // first byte after the header
};

// Parses the header at the start of `data`. Returns 0, 6002 when the magic
// does not start with "P", or 6009 when the bytes end inside the header.
// Sides from 1 up to the library's limit are supported.
int32_t PNMParseHeader(const uint8_t* data, int32_t size, TPnmHeader& header);
