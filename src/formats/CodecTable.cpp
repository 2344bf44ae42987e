#include "formats/Codecs.h"
#include "formats/FFBasic_PCX.h"
#include "formats/FFBasic_TGA.h"
#include "formats/FFInternal.h"
#include "formats/FF_AVI.h"
#include "formats/FF_FLC.h"
#include "formats/FF_GIF.h"
#include "formats/FF_HAV.h"
#include "formats/FF_JPG.h"
#include "formats/FF_MPG.h"
#include "formats/FF_PNG.h"
#include "formats/FF_PNM.h"
#include "formats/FF_SGI.h"
#include "formats/FF_SUN.h"
#include "formats/FF_TIF.h"
#include "formats/FF_WAV.h"

// One row per format identifier 1..15. The moving-picture and sound formats
// are only described; the dispatch refuses to load or save them.
namespace {

const CodecEntry Table[FormatCount] = {
    /* 1 TGA  */ {TGALoad_, TGASave_, TGAInfo_},
    /* 2 PCX  */ {PCXLoad_, PCXSave_, PCXInfo_},
    /* 3 BMP  */ {DIBLoad_, DIBSave_, DIBInfo_},
    /* 4 GIF  */ {GIFLoadFirst, nullptr, GIFInfoFull},
    /* 5 FLIC */ {nullptr, nullptr, FLCInfo},
    /* 6 AVI  */ {nullptr, nullptr, AVIInfo},
    /* 7 HAV  */ {nullptr, nullptr, HAVInfo},
    /* 8 JPEG */ {JPGLoad, JPGSave, JPGInfo},
    /* 9 PNG  */ {PNGLoad, PNGSave, PNGInfo},
    /* 10 TIFF */ {TIFLoad, nullptr, TIFInfo},
    /* 11 MPEG */ {nullptr, nullptr, MPGInfo},
    /* 12 WAV  */ {nullptr, nullptr, WAVInfo},
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
