#pragma once
// The codec of each format identifier. A null entry means the format has no
// such operation here; the dispatch in FFBasic answers for it.

#include <cstdint>
#include <string>

#include "formats/FFBasic.h"

using CodecLoadFn = void (*)(const std::string& name, Limg& img);
using CodecSaveFn = void (*)(const std::string& name, const Limg& img);
using CodecInfoFn = void (*)(const std::string& name, TFileInfo& info);

struct CodecEntry {
    CodecLoadFn Load = nullptr;
    CodecSaveFn Save = nullptr;
    CodecInfoFn Info = nullptr;
};

// Entry for identifiers 1..15; an empty entry for any other value.
const CodecEntry& CodecFor(uint32_t id);
