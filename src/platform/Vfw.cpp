#include "platform/Vfw.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <vector>

#include "platform/Mmio.h"

namespace platform {

struct AviStreamObj {
    AVISTREAMINFO info;
    std::vector<uint8_t> format;
    int32_t refs = 1;
};

struct AviFileObj {
    std::vector<AviStreamObj> streams;
    int32_t refs = 1;
};

struct IcCodecObj {
    uint32_t fccHandler = 0;
    const char* description = nullptr;
};

namespace {

constexpr uint32_t FourCCAvi = MakeFourCC('A', 'V', 'I', ' ');
constexpr uint32_t FourCCHdrl = MakeFourCC('h', 'd', 'r', 'l');
constexpr uint32_t FourCCStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr uint32_t FourCCStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr uint32_t FourCCStrf = MakeFourCC('s', 't', 'r', 'f');
constexpr uint32_t FourCCStrn = MakeFourCC('s', 't', 'r', 'n');

constexpr uint32_t StreamHeaderSize = 56;
// Formats are a BITMAPINFOHEADER with its palette or a WAVEFORMATEX with a
// codec's extra bytes; anything far larger is not a real stream format.
constexpr uint32_t MaxFormatSize = 1u << 20;
// An AVI file holds one stream list per stream; a few dozen in practice.
constexpr size_t MaxStreams = 256;

int32_t InitCount = 0;

uint32_t U32At(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16At(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Reads the whole chunk ck (positioned at its data) into out.
bool ReadChunk(HMMIO h, const MMCKINFO& ck, std::vector<uint8_t>& out, uint32_t maxSize)
{
    uint32_t size = std::min(ck.cksize, maxSize);
    out.assign(size, 0);
    if (size == 0) return true;
    return mmioRead(h, out.data(), static_cast<int32_t>(size)) == static_cast<int32_t>(size);
}

void FillFromHeader(AVISTREAMINFO& info, const std::vector<uint8_t>& strh)
{
    // A short or empty stream header reads as far as it goes; the rest is 0.
    uint8_t h[StreamHeaderSize] = {};
    if (!strh.empty()) std::memcpy(h, strh.data(), std::min<size_t>(strh.size(), StreamHeaderSize));
    info.fccType = U32At(h);
    info.fccHandler = U32At(h + 4);
    info.dwFlags = U32At(h + 8);
    info.wPriority = U16At(h + 12);
    info.wLanguage = U16At(h + 14);
    info.dwInitialFrames = U32At(h + 16);
    info.dwScale = U32At(h + 20);
    info.dwRate = U32At(h + 24);
    info.dwStart = U32At(h + 28);
    info.dwLength = U32At(h + 32);
    info.dwSuggestedBufferSize = U32At(h + 36);
    info.dwQuality = U32At(h + 40);
    info.dwSampleSize = U32At(h + 44);
    info.rcFrameLeft = static_cast<int16_t>(U16At(h + 48));
    info.rcFrameTop = static_cast<int16_t>(U16At(h + 50));
    info.rcFrameRight = static_cast<int16_t>(U16At(h + 52));
    info.rcFrameBottom = static_cast<int16_t>(U16At(h + 54));
}

// One "strl" list: its stream header, format and name; other chunks
// (indexes, driver data, padding) are passed over.
int32_t ReadStreamList(HMMIO h, const MMCKINFO& strl, AviStreamObj& stream)
{
    bool haveHeader = false;
    for (;;) {
        MMCKINFO ck;
        uint32_t r = mmioDescend(h, &ck, &strl, 0);
        if (r == MmioErrChunkNotFound) break;
        if (r != 0) return AviErrBadFormat;
        std::vector<uint8_t> data;
        if (ck.ckid == FourCCStrh) {
            if (!ReadChunk(h, ck, data, StreamHeaderSize)) return AviErrFileRead;
            FillFromHeader(stream.info, data);
            haveHeader = true;
        } else if (ck.ckid == FourCCStrf) {
            if (ck.cksize > MaxFormatSize) return AviErrBadFormat;
            if (!ReadChunk(h, ck, stream.format, MaxFormatSize)) return AviErrFileRead;
        } else if (ck.ckid == FourCCStrn) {
            if (!ReadChunk(h, ck, data, 63)) return AviErrFileRead;
            for (size_t i = 0; i < data.size() && data[i]; ++i) stream.info.szName[i] = data[i];
        }
        if (mmioAscend(h, &ck, 0) != 0) return AviErrFileRead;
    }
    return haveHeader ? AviErrOk : AviErrBadFormat;
}

int32_t ParseAvi(HMMIO h, AviFileObj& file)
{
    MMCKINFO riff;
    if (mmioDescend(h, &riff, nullptr, 0) != 0) return AviErrBadFormat;
    if (riff.ckid != FourCCRiff || riff.fccType != FourCCAvi) return AviErrBadFormat;
    MMCKINFO hdrl;
    hdrl.fccType = FourCCHdrl;
    if (mmioDescend(h, &hdrl, &riff, MmioFindList) != 0) return AviErrBadFormat;
    for (;;) {
        MMCKINFO ck;
        uint32_t r = mmioDescend(h, &ck, &hdrl, 0);
        if (r == MmioErrChunkNotFound) break;
        if (r != 0) return AviErrBadFormat;
        if (ck.ckid == FourCCList && ck.fccType == FourCCStrl) {
            if (file.streams.size() >= MaxStreams) return AviErrBadFormat;
            AviStreamObj stream;
            int32_t sr = ReadStreamList(h, ck, stream);
            if (sr != AviErrOk) return sr;
            file.streams.push_back(std::move(stream));
        }
        if (mmioAscend(h, &ck, 0) != 0) return AviErrFileRead;
    }
    return file.streams.empty() ? AviErrBadFormat : AviErrOk;
}

struct CodecName {
    const char* Code;
    const char* Description;
};

// Descriptions the installed video codecs gave for their handler codes.
constexpr CodecName CodecNames[] = {
    {"cvid", "Cinepak Codec by Radius"},
    {"msvc", "Microsoft Video 1"},
    {"mrle", "Microsoft RLE"},
    {"iv31", "Intel Indeo(R) Video R3.1"},
    {"iv32", "Intel Indeo(R) Video R3.2"},
    {"iv41", "Intel Indeo(R) Video Interactive R4.1"},
    {"iv50", "Indeo(R) video 5.10"},
    {"rt21", "Intel Indeo(R) Video R2.1"},
    {"yvu9", "Intel Indeo(R) Video Raw R1.2"},
    {"iyuv", "Intel IYUV codec"},
    {"i263", "Intel I.263 Video Driver"},
    {"ulti", "IBM Ultimotion"},
    {"mjpg", "Motion JPEG Codec"},
    {"mpg4", "Microsoft MPEG-4 Video Codec V1"},
    {"mp42", "Microsoft MPEG-4 Video Codec V2"},
    {"mp43", "Microsoft MPEG-4 Video Codec V3"},
    {"div3", "DivX ;-) MPEG-4 Low-Motion"},
    {"div4", "DivX ;-) MPEG-4 Fast-Motion"},
    {"divx", "DivX Pro 5.0 Codec"},
    {"dx50", "DivX Pro 5.0 Codec"},
    {"xvid", "XviD MPEG-4 Codec"},
    {"dvsd", "DV Video Codec"},
    {"huyu", "Huffyuv v2.1.1"},
    {"hfyu", "Huffyuv v2.1.1"},
};

bool SameCode(uint32_t code, const char* text)
{
    for (int i = 0; i < 4; ++i) {
        int c = static_cast<uint8_t>(code >> (8 * i));
        if (std::tolower(c) != std::tolower(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

}  // namespace

void AVIFileInit()
{
    ++InitCount;
}

void AVIFileExit()
{
    if (InitCount > 0) --InitCount;
}

int32_t AVIFileOpen(PAVIFILE* file, const std::string& name, uint32_t mode, const void* /*handler*/)
{
    if (!file) return AviErrBadParam;
    *file = nullptr;
    if (mode != OfRead) return AviErrBadParam;
    HMMIO h = mmioOpenA(name, nullptr, MmioRead);
    if (!h) return AviErrFileOpen;
    auto* obj = new (std::nothrow) AviFileObj;
    int32_t r = obj ? ParseAvi(h, *obj) : AviErrMemory;
    mmioClose(h, 0);
    if (r != AviErrOk) {
        delete obj;
        return r;
    }
    *file = obj;
    return AviErrOk;
}

int32_t AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, uint32_t fccType, int32_t index)
{
    if (!stream) return AviErrBadParam;
    *stream = nullptr;
    if (!file || index < 0) return AviErrNoData;
    int32_t seen = 0;
    for (const AviStreamObj& s : file->streams) {
        if (fccType != 0 && s.info.fccType != fccType) continue;
        if (seen++ != index) continue;
        auto* copy = new (std::nothrow) AviStreamObj(s);
        if (!copy) return AviErrMemory;
        copy->refs = 1;
        *stream = copy;
        return AviErrOk;
    }
    return AviErrNoData;
}

int32_t AVIStreamInfo(PAVISTREAM stream, AVISTREAMINFO* info, int32_t size)
{
    if (!stream || !info) return AviErrBadParam;
    if (size < AviStreamInfoSize) return AviErrBadSize;
    *info = stream->info;
    return AviErrOk;
}

int32_t AVIStreamReadFormat(PAVISTREAM stream, int32_t /*pos*/, void* buffer, int32_t* size)
{
    if (!stream || !size) return AviErrBadParam;
    int32_t have = static_cast<int32_t>(stream->format.size());
    if (!buffer) {
        *size = have;
        return AviErrOk;
    }
    if (*size < 0) return AviErrBadParam;
    int32_t n = std::min(*size, have);
    if (n > 0) std::memcpy(buffer, stream->format.data(), static_cast<size_t>(n));
    bool complete = *size >= have;
    *size = n;
    return complete ? AviErrOk : AviErrBufferTooSmall;
}

int32_t AVIStreamLength(PAVISTREAM stream)
{
    if (!stream) return -1;
    return static_cast<int32_t>(stream->info.dwLength);
}

uint32_t AVIStreamRelease(PAVISTREAM stream)
{
    if (!stream) return 0;
    int32_t left = --stream->refs;
    if (left <= 0) {
        delete stream;
        return 0;
    }
    return static_cast<uint32_t>(left);
}

uint32_t AVIFileRelease(PAVIFILE file)
{
    if (!file) return 0;
    int32_t left = --file->refs;
    if (left <= 0) {
        delete file;
        return 0;
    }
    return static_cast<uint32_t>(left);
}

HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode)
{
    if (!SameCode(fccType, "vidc") || mode != IcModeQuery) return nullptr;
    for (const CodecName& c : CodecNames) {
        if (!SameCode(fccHandler, c.Code)) continue;
        auto* hic = new (std::nothrow) IcCodecObj;
        if (!hic) return nullptr;
        hic->fccHandler = MakeFourCC(c.Code[0], c.Code[1], c.Code[2], c.Code[3]);
        hic->description = c.Description;
        return hic;
    }
    return nullptr;
}

int32_t ICGetInfo(HIC hic, ICINFO* info, int32_t size)
{
    if (!hic || !info || size < IcInfoSize) return 0;
    *info = ICINFO{};
    info->dwSize = IcInfoSize;
    info->fccType = IcTypeVideo;
    info->fccHandler = hic->fccHandler;
    for (int i = 0; i < 4; ++i) info->szName[i] = static_cast<char16_t>((hic->fccHandler >> (8 * i)) & 0xFF);
    const char* d = hic->description;
    for (size_t i = 0; d[i] && i + 1 < std::size(info->szDescription); ++i)
        info->szDescription[i] = static_cast<unsigned char>(d[i]);
    return IcInfoSize;
}

int32_t ICClose(HIC hic)
{
    delete hic;
    return 0;
}

}  // namespace platform
