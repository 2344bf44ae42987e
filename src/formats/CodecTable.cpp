#include "formats/Codecs.h"
#include "formats/FFInternal.h"
#include "formats/FF_JPG.h"
#include "formats/FF_PNG.h"
#include "formats/FF_TIF.h"

// One row per format identifier 1..15. Each codec fills its own row when it
// is in; until then the dispatch answers 6001 (load, save) or 11002 (info).
namespace {

const CodecEntry Table[FormatCount] = {
    /* 1 TGA  */ {nullptr, nullptr, nullptr},
    /* 2 PCX  */ {nullptr, nullptr, nullptr},
    /* 3 BMP  */ {DIBLoad_, DIBSave_, DIBInfo_},
    /* 4 GIF  */ {nullptr, nullptr, nullptr},
    /* 5 FLIC */ {nullptr, nullptr, nullptr},
    /* 6 AVI  */ {nullptr, nullptr, nullptr},
    /* 7 HAV  */ {nullptr, nullptr, nullptr},
    /* 8 JPEG */ {JPGLoad, JPGSave, JPGInfo},
    /* 9 PNG  */ {PNGLoad, PNGSave, PNGInfo},
    /* 10 TIFF */ {TIFLoad, nullptr, TIFInfo},
    /* 11 MPEG */ {nullptr, nullptr, nullptr},
    /* 12 WAV  */ {nullptr, nullptr, nullptr},
    /* 13 RGB  */ {nullptr, nullptr, nullptr},
    /* 14 RAS  */ {nullptr, nullptr, nullptr},
    /* 15 PNM  */ {nullptr, nullptr, nullptr},
};

const CodecEntry Empty{};

}  // namespace

const CodecEntry& CodecFor(uint32_t id)
{
    if (id < 1 || id > FormatCount) return Empty;
    return Table[id - 1];
}
