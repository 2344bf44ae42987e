#pragma once
// The one table of formats: identifier, names, extensions, kind, signature
// and codec of each. Lookup by name, the load/save/information dispatch, the
// dialog filters and the save depths are all read from it; adding a format
// is one row here and one codec file.

#include <cstdint>
#include <span>
#include <string>

#include "formats/FFBasic.h"

using CodecLoadFn = void (*)(const std::string& name, Limg& img);
using CodecSaveFn = void (*)(const std::string& name, const Limg& img);
using CodecInfoFn = void (*)(const std::string& name, TFileInfo& info);
// True when the first bytes of a file (size of them, maybe fewer than the
// format's header) carry the format's signature.
using SignatureFn = bool (*)(const uint8_t* head, int32_t size);

// What a file of the format is to the application.
enum class FormatKind {
    Still,      // one picture, or a series of them (a multi-page file)
    Animation,  // one picture, or moving pictures when it has several frames
    Moving,     // always moving pictures
    Sound,
};

// A row of the save dialog's filter.
struct SaveEntry {
    const char* Extension = nullptr;  // null: no row
    const char* ShortName = nullptr;
    const char* Description = nullptr;
};

struct FormatDef {
    uint32_t Id;
    int32_t Flags;           // Ff* capability flags
    const char* Extensions;  // each with its dot, one after the other
    const char* ShortName;
    const char* Description;
    FormatKind Kind;
    SignatureFn Signature;  // null: the format has none to test
    CodecInfoFn Info;
    CodecLoadFn Load;  // null: not read as a picture
    CodecSaveFn Save;  // null: not written
    SaveEntry SaveRows[2];
    // Depth written for images of 8, 15, 16, 24, 32 and other bits; null
    // when save preparation has no row for the format.
    const int32_t* SaveDepth;
};

// Every format, in the order of lookup and of the dialog filters.
std::span<const FormatDef> Formats();
// The row of an identifier, null for none.
const FormatDef* FormatById(uint32_t id);

// Bytes of a file's start that the signature tests look at.
inline constexpr int32_t SignatureBytes = 64;
