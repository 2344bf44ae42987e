#pragma once
// What Video for Windows answered about AVI files: the file and stream calls
// of avifil32 (stream headers, formats, lengths), read here from the RIFF
// structure itself, and the information query of the video codec manager
// over a table of the codecs an installed system described.

#include <cstdint>
#include <string>

namespace platform {

struct AviFileObj;
struct AviStreamObj;
struct IcCodecObj;
using PAVIFILE = AviFileObj*;
using PAVISTREAM = AviStreamObj*;
using HIC = IcCodecObj*;

// AVISTREAMINFOW, field by field.
struct AVISTREAMINFO {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    int32_t rcFrameLeft = 0;
    int32_t rcFrameTop = 0;
    int32_t rcFrameRight = 0;
    int32_t rcFrameBottom = 0;
    uint32_t dwEditCount = 0;
    uint32_t dwFormatChangeCount = 0;
    char16_t szName[64] = {};
};
// The size callers pass, as for the Windows record.
inline constexpr int32_t AviStreamInfoSize = 204;

inline constexpr uint32_t StreamTypeVideo = 0x73646976;  // "vids"
inline constexpr uint32_t StreamTypeAudio = 0x73647561;  // "auds"

inline constexpr uint32_t OfRead = 0;

// AVIERR_* codes: MAKE_AVIERR(n) = 0x80044000 + n.
inline constexpr int32_t AviErrOk = 0;
inline constexpr int32_t AviErrBadFormat = static_cast<int32_t>(0x80044066u);
inline constexpr int32_t AviErrMemory = static_cast<int32_t>(0x80044067u);
inline constexpr int32_t AviErrBadParam = static_cast<int32_t>(0x8004406Au);
inline constexpr int32_t AviErrBadSize = static_cast<int32_t>(0x8004406Bu);
inline constexpr int32_t AviErrFileRead = static_cast<int32_t>(0x8004406Du);
inline constexpr int32_t AviErrFileOpen = static_cast<int32_t>(0x8004406Fu);
inline constexpr int32_t AviErrNoData = static_cast<int32_t>(0x80044073u);
inline constexpr int32_t AviErrBufferTooSmall = static_cast<int32_t>(0x80044074u);

void AVIFileInit();
void AVIFileExit();
// Opens and parses an AVI file for reading (mode OfRead, no handler).
int32_t AVIFileOpen(PAVIFILE* file, const std::string& name, uint32_t mode, const void* handler);
// The index-th stream of the type (any type when fccType is 0).
int32_t AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, uint32_t fccType, int32_t index);
int32_t AVIStreamInfo(PAVISTREAM stream, AVISTREAMINFO* info, int32_t size);
// With a null buffer, *size receives the format's size; otherwise up to
// *size bytes are copied and *size becomes the bytes copied.
int32_t AVIStreamReadFormat(PAVISTREAM stream, int32_t pos, void* buffer, int32_t* size);
int32_t AVIStreamLength(PAVISTREAM stream);
uint32_t AVIStreamRelease(PAVISTREAM stream);
uint32_t AVIFileRelease(PAVIFILE file);

// ICINFO, field by field.
struct ICINFO {
    uint32_t dwSize = 0;
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint32_t dwVersion = 0;
    uint32_t dwVersionICM = 0;
    char16_t szName[16] = {};
    char16_t szDescription[128] = {};
    char16_t szDriver[128] = {};
};
inline constexpr int32_t IcInfoSize = 568;
inline constexpr uint32_t IcTypeVideo = 0x63646976;  // "vidc"
inline constexpr uint32_t IcModeQuery = 4;

// Opens the codec installed for the handler code (compared without regard
// to case, as the system's driver list was); null when none is.
HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode);
// Fills info; the bytes filled, 0 on failure.
int32_t ICGetInfo(HIC hic, ICINFO* info, int32_t size);
int32_t ICClose(HIC hic);

}  // namespace platform
