#include "formats/Codecs.h"
#include "formats/FFInternal.h"
#include "formats/FFBasic_PCX.h"
#include "formats/FFBasic_TGA.h"
#include "formats/FF_GIF.h"
#include "formats/FF_JPG.h"
#include "formats/FF_PNG.h"
#include "formats/FF_TIF.h"
#include "formats/FF_PNM.h"
#include "formats/FF_SGI.h"
#include "formats/FF_SUN.h"

// One row per format identifier 1..15. Each codec fills its own row when it
// is in; until then the dispatch answers 6001 (load, save) or 11002 (info).
namespace {

const CodecEntry Table[FormatCount] = {
    /* 1 TGA  */ {TGALoad_, TGASave_, TGAInfo_},
    /* 2 PCX  */ {PCXLoad_, PCXSave_, PCXInfo_},
    /* 3 BMP  */ {DIBLoad_, DIBSave_, DIBInfo_},
    /* 4 GIF  */ {GIFLoadFirst, nullptr, GIFInfoFull},
    /* 5 FLIC */ {nullptr, nullptr, nullptr},
    /* 6 AVI  */ {nullptr, nullptr, nullptr},
    /* 7 HAV  */ {nullptr, nullptr, nullptr},
    /* 8 JPEG */ {JPGLoad, JPGSave, JPGInfo},
    /* 9 PNG  */ {PNGLoad, PNGSave, PNGInfo},
    /* 10 TIFF */ {TIFLoad, nullptr, TIFInfo},
    /* 11 MPEG */ {nullptr, nullptr, nullptr},
    /* 12 WAV  */ {nullptr, nullptr, nullptr},
    /* 13 RGB  */ {SGILoad, SGISave, SGIInfo},
    /* 14 RAS  */ {SUNLoad, SUNSave, SUNInfo},
    /* 15 PNM  */ {PNMLoad, PNMSave, PNMInfo},
};

const CodecEntry Empty{};

}  // namespace

const CodecEntry& CodecFor(uint32_t id)
{
    if (id < 1 || id > FormatCount) return Empty;
    return Table[id - 1];
}
