#include "formats/FF_GIF.h"

#include <cstring>

#include "formats/DecodeLimits.h"
#include "formats/FFInternal.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "foundation/Utils.h"
#include "platform/Files.h"

namespace {

constexpr int32_t ScanBufSize = 65536;
constexpr int32_t PosPerBlock = 256;
constexpr int32_t PosBlockBytes = PosPerBlock * 4;
constexpr int32_t MaxPosBlocks = MaxFramesPerFile / PosPerBlock;
constexpr int32_t MaxFrames = MaxFramesPerFile;
constexpr int32_t MaxLzwCodes = 4096;
constexpr const char* CompressionName = "Variable-Length-Code LZW (Lempel-Ziv & Welch)";

struct LzwTables {
    uint16_t Prefix[MaxLzwCodes];
    uint8_t Suffix[MaxLzwCodes];
    uint16_t Length[MaxLzwCodes];  // string length - 2
};
static_assert(sizeof(LzwTables) == GIFLzwTableSize);

struct ScanCache {
    std::string Name;
    int32_t FileSize = 0;
    int64_t ModTime = 0;
    bool Valid = false;
    GIFHandle Handle;
};

struct GifUnit {
    int32_t File = INVALID_HANDLE;
    int32_t* PosBlocks[MaxPosBlocks] = {};
    int32_t PosBlockCount = 0;
    ScanCache Cache;
    // The scanning buffer of a full scan: bytes [0, ScanValid) hold file data.
    uint8_t* ScanBuf = nullptr;
    int32_t ScanPos = 0;
    int32_t ScanValid = 0;
    bool ScanEof = false;

    ~GifUnit();
};

GifUnit unit;

// A block whose owner variable may have gone stale (the clean-up of a failed
// block frees blocks without clearing their variables). MemAlloc matches the
// block by address and owner, so resizing it either keeps our live block or
// gives a fresh one; the table count tells which.
template <class T>
bool KeepAlive_(T*& p, int32_t size)
{
    int32_t before = MemCount();
    MemAlloc(p, size);
    return MemCount() == before;
}

// Frees a block that may be stale without touching a block that someone
// else now holds at the same address.
template <class T>
void FreeOwned_(T*& p)
{
    if (p == nullptr) return;
    if (MemAlloc(p, 4) == 0) MemFree(p);
    p = nullptr;
}

GifUnit::~GifUnit()
{
    // At program end the leak report may already have released everything;
    // free only what is still tracked.
    for (auto& block : PosBlocks)
        if (block != nullptr && MemIsTracked(block)) MemFree(block);
}

// The file's last modification in the finest steps the host keeps (a file
// rewritten at the same size within one second must not match its old
// scan); 0 when it cannot be read.
int64_t ModTimeOf_(const std::string& name)
{
    int64_t nanoseconds = 0;
    return platform::FileModificationTime(name, nanoseconds) ? nanoseconds : 0;
}

void ReadPalette_(uint8_t (*palette)[3], int32_t entries)
{
    uint8_t rgb[256 * 3];
    FRead(unit.File, rgb, entries * 3);
    for (int32_t i = 0; i < entries; ++i) {
        palette[i][0] = rgb[i * 3 + 2];
        palette[i][1] = rgb[i * 3 + 1];
        palette[i][2] = rgb[i * 3];
    }
}

int32_t TableEntries_(uint8_t packed)
{
    return 2 << (packed & 7);
}

void InvalidateCache_()
{
    unit.Cache.Valid = false;
    unit.Cache.Name.clear();
}

// Makes sure the position block of `frame` exists and holds its positions.
void GIFChk4ImgFPos_(int32_t frame)
{
    Guarded("GIFChk4ImgFPos_", [&] {
        if (frame < 0 || frame >= MaxFrames) ErrSet(6009);
        int32_t b = frame / PosPerBlock;
        int32_t*& block = unit.PosBlocks[b];
        if (block == nullptr) {
            MemAlloc(block, PosBlockBytes);
            MemName(block, "GIFChk4ImgFPos_", "ImgFPosBlk" + std::to_string(b));
            FillBytes(0, PosBlockBytes, block);
            ++unit.PosBlockCount;
        } else if (!KeepAlive_(block, PosBlockBytes)) {
            // Freed by a failed operation: its positions are gone.
            MemName(block, "GIFChk4ImgFPos_", "ImgFPosBlk" + std::to_string(b));
            FillBytes(0, PosBlockBytes, block);
            InvalidateCache_();
        }
    });
}

void SetFramePos_(int32_t frame, int32_t position)
{
    unit.PosBlocks[frame / PosPerBlock][frame % PosPerBlock] = position;
}

int32_t FramePos_(int32_t frame)
{
    return unit.PosBlocks[frame / PosPerBlock][frame % PosPerBlock];
}

// Every block that frames [0, frames) need is still ours.
bool PosTableAlive_(int32_t frames)
{
    for (int32_t b = 0; b * PosPerBlock < frames && b < MaxPosBlocks; ++b) {
        int32_t*& block = unit.PosBlocks[b];
        if (block == nullptr) return false;
        if (!KeepAlive_(block, PosBlockBytes)) {
            FillBytes(0, PosBlockBytes, block);
            return false;
        }
    }
    return true;
}

void FreePosTable_()
{
    for (auto& block : unit.PosBlocks) FreeOwned_(block);
    unit.PosBlockCount = 0;
}

// Finds the next frame from the current file position by walking the blocks
// that come before its image descriptor: the graphic control block is kept,
// comment, application (XMP among them), plain-text and unknown extensions
// are passed over, whatever their order. A frame without a control block
// gets a zero one. `position` is where the walk started, so that walking
// again from there finds the same frame.
bool GIFGetImgHdr_(uint8_t* control, uint8_t* descriptor, int32_t& position, int32_t framesFound)
{
    bool found = false;
    Guarded("GIFGetImgHdr_", [&] {
        const int32_t start = FPos(unit.File);
        std::memset(control, 0, 8);
        // The end of the blocks: past the last frame, or no frame at all.
        const auto end = [&] {
            if (framesFound > 0) ErrAbort();
            ErrSet(6004);
        };
        const auto readByte = [&](uint8_t& b) {
            int32_t got = 0;
            FReadMax(unit.File, &b, 1, got);
            return got == 1;
        };
        // Passes over sub-blocks up to their terminator; the first one is
        // given to `first` when asked.
        const auto skipSubBlocks = [&](uint8_t* first, int32_t firstSize) {
            for (bool isFirst = true;; isFirst = false) {
                uint8_t size = 0;
                if (!readByte(size)) return false;
                if (size == 0) return true;
                const int32_t at = FPos(unit.File);
                if (isFirst && first != nullptr && size >= firstSize) {
                    int32_t got = 0;
                    FReadMax(unit.File, first, firstSize, got);
                    if (got != firstSize) return false;
                }
                if (at + static_cast<int64_t>(size) > FSize(unit.File)) return false;
                FSeek(unit.File, at + size);
            }
        };
        for (bool first = true;; first = false) {
            uint8_t introducer = 0;
            // Nothing at all after the last block: no further frame, no error.
            if (!readByte(introducer)) first ? ErrAbort() : end();
            if (introducer == 0x2C) {
                descriptor[0] = introducer;
                int32_t got = 0;
                FReadMax(unit.File, descriptor + 1, 9, got);
                if (got != 9) end();
                position = start;
                found = true;
                return;
            }
            if (introducer == 0x21) {
                uint8_t label = 0;
                if (!readByte(label)) end();
                uint8_t fields[4] = {};
                const bool isControl = label == 0xF9;
                if (!skipSubBlocks(isControl ? fields : nullptr, 4)) end();
                if (isControl) {
                    const uint8_t block[8] = {0x21, 0xF9, 0x04, fields[0], fields[1], fields[2], fields[3], 0};
                    std::memcpy(control, block, 8);
                }
                continue;
            }
            // Some encoders leave a stray zero between blocks; anything else
            // (the trailer among it) ends the frames.
            if (introducer != 0x00) end();
        }
    });
    return found;
}

// Moves the unread tail of the scanning buffer to its start and refills.
void GIFGetNewCmpsData_()
{
    Guarded("GIFGetNewCmpsData_", [&] {
        int32_t tail = unit.ScanValid - unit.ScanPos;
        if (tail < 0) tail = 0;
        MoveBytes(tail, unit.ScanBuf, unit.ScanBuf + unit.ScanPos);
        int32_t want = ScanBufSize - tail;
        int32_t got = 0;
        FReadMax(unit.File, unit.ScanBuf + tail, want, got);
        if (got < 0) got = 0;
        if (got < want) unit.ScanEof = true;
        unit.ScanValid = tail + got;
        unit.ScanPos = 0;
        if (unit.ScanValid < 1) ErrSet(6009);
    });
}

bool IsPartial_(const GIFHandle& h, int32_t left, int32_t top, int32_t width, int32_t height)
{
    return (left != 0 && left < h.Width) || (top != 0 && top < h.Height) || width < h.Width || height < h.Height;
}

// Counts the frames and records their positions.
void FullScan_(GIFHandle& h)
{
    MemAlloc(unit.ScanBuf, ScanBufSize);
    MemName(unit.ScanBuf, "GIFOpen", "GIFCmpsBuf");
    int64_t delaySum = 0;
    h.Frames = 0;
    uint8_t control[8];
    uint8_t desc[10];
    int32_t position = 0;
    while (h.Frames < MaxFrames && GIFGetImgHdr_(control, desc, position, h.Frames)) {
        int32_t c = FPos(unit.File);
        GIFChk4ImgFPos_(h.Frames);
        SetFramePos_(h.Frames, position);
        if (desc[9] & 0x80) {
            c += 3 * TableEntries_(desc[9]);
            FSeek(unit.File, c);
        }
        delaySum += GetU16LE(control + 4);
        if (!h.Partial && h.Frames > 0 &&
            IsPartial_(h, GetU16LE(desc + 1), GetU16LE(desc + 3), GetU16LE(desc + 5), GetU16LE(desc + 7)))
            h.Partial = true;
        unit.ScanPos = unit.ScanValid = 0;
        unit.ScanEof = false;
        GIFGetNewCmpsData_();
        ++unit.ScanPos;  // the minimum code size
        ++c;
        bool brokenOff = false;
        for (;;) {
            if (unit.ScanPos + 260 > unit.ScanValid && !unit.ScanEof) GIFGetNewCmpsData_();
            // Image data that breaks off: the frame counts, and is the last.
            if (unit.ScanPos >= unit.ScanValid) {
                brokenOff = true;
                break;
            }
            int32_t length = unit.ScanBuf[unit.ScanPos];
            unit.ScanPos += length + 1;
            c += length + 1;
            if (length == 0) break;
        }
        ++h.Frames;
        if (brokenOff) break;
        if (unit.ScanPos >= unit.ScanValid && !unit.ScanEof) GIFGetNewCmpsData_();
        if (unit.ScanPos < unit.ScanValid && unit.ScanBuf[unit.ScanPos] == 0x3B) break;
        FSeek(unit.File, c);
    }
    MemFree(unit.ScanBuf);
    h.FrameRate = delaySum != 0 ? static_cast<double>(h.Frames) * 100.0 / static_cast<double>(delaySum) : 0.0;
}

void FillWin_(uint8_t* pixels, int32_t rowLength, int32_t left, uint8_t value, int32_t rows, int32_t width, int32_t top)
{
    Guarded("FillWin_", [&] {
        for (int32_t r = 0; r < rows; ++r)
            std::memset(pixels + static_cast<int64_t>(top + r) * rowLength + left, value, static_cast<size_t>(width));
    });
}

void InsertWin_(const uint8_t* saved, uint8_t* pixels, int32_t width, int32_t rowLength, int32_t top, int32_t left,
                int32_t rows)
{
    Guarded("InsertWin_", [&] {
        for (int32_t r = 0; r < rows; ++r)
            std::memcpy(pixels + static_cast<int64_t>(top + r) * rowLength + left,
                        saved + static_cast<int64_t>(r) * width, static_cast<size_t>(width));
    });
}

void ExtractWin_(const uint8_t* pixels, uint8_t* saved, int32_t left, int32_t rows, int32_t width, int32_t rowLength,
                 int32_t top)
{
    Guarded("ExtractWin_", [&] {
        for (int32_t r = 0; r < rows; ++r)
            std::memcpy(saved + static_cast<int64_t>(r) * width,
                        pixels + static_cast<int64_t>(top + r) * rowLength + left, static_cast<size_t>(width));
    });
}

// Source rows arrive in pass order: every 8th row from 0, from 4, every 4th
// from 2, every 2nd from 1.
void GIFunInterlace_(const uint8_t* source, uint8_t* dest, int32_t rowLength, int32_t rows)
{
    Guarded("GIFunInterlace_", [&] {
        static const int32_t starts[4] = {0, 4, 2, 1};
        static const int32_t steps[4] = {8, 8, 4, 2};
        int64_t s = 0;
        for (int32_t pass = 0; pass < 4; ++pass)
            for (int32_t r = starts[pass]; r < rows; r += steps[pass])
                std::memcpy(dest + static_cast<int64_t>(r) * rowLength, source + (s++) * rowLength,
                            static_cast<size_t>(rowLength));
    });
}

// Codes of `width` bits, least significant bit first, from the payloads of
// the sub-blocks that follow the minimum code size byte.
class CodeReader {
public:
    CodeReader(const uint8_t* data, int32_t size) : data_(data), size_(size) {}

    bool Read(int32_t width, int32_t& code)
    {
        while (bits_ < width) {
            if (blockLeft_ == 0) {
                if (pos_ >= size_) return false;
                blockLeft_ = data_[pos_++];
                if (blockLeft_ == 0) {
                    pos_ = size_;
                    return false;
                }
            }
            if (pos_ >= size_) return false;
            acc_ |= static_cast<uint32_t>(data_[pos_++]) << bits_;
            bits_ += 8;
            --blockLeft_;
        }
        code = static_cast<int32_t>(acc_ & ((1u << width) - 1));
        acc_ >>= width;
        bits_ -= width;
        return true;
    }

private:
    const uint8_t* data_;
    int32_t size_;
    int32_t pos_ = 1;
    int32_t blockLeft_ = 0;
    uint32_t acc_ = 0;
    int32_t bits_ = 0;
};

}  // namespace

int32_t GIFDecodeLZW(const uint8_t* data, int32_t size, uint8_t* out, int32_t outSize, void* tables)
{
    if (data == nullptr || size < 1 || out == nullptr || outSize < 0 || tables == nullptr) return -1;
    const int32_t minCodeSize = data[0];
    if (minCodeSize < 1 || minCodeSize > 11) return -1;
    auto* t = static_cast<LzwTables*>(tables);
    const int32_t clear = 1 << minCodeSize;
    const int32_t end = clear + 1;
    const int32_t firstFree = clear + 2;
    int32_t next = firstFree;
    int32_t width = minCodeSize + 1;
    int32_t mask = (1 << width) - 1;
    int32_t old = -1;  // none yet after a clear code
    uint8_t first = 0;
    int32_t written = 0;
    CodeReader reader(data, size);
    int32_t code = 0;
    while (written < outSize && reader.Read(width, code)) {
        if (code == clear) {
            next = firstFree;
            width = minCodeSize + 1;
            mask = (1 << width) - 1;
            old = -1;
            continue;
        }
        if (code == end) break;
        const int32_t avail = outSize - written;
        if (code < clear) {
            out[written++] = static_cast<uint8_t>(code);
            first = static_cast<uint8_t>(code);
        } else if (code < next) {
            // Walk the prefix chain backwards; bytes past the limit are dropped.
            const int32_t length = t->Length[code - firstFree] + 2;
            int32_t k = length - 1;
            int32_t c = code;
            while (c >= firstFree && k > 0) {
                if (k < avail) out[written + k] = t->Suffix[c - firstFree];
                --k;
                c = t->Prefix[c - firstFree];
            }
            if (k != 0 || c >= clear) break;  // a table that does not hold together
            out[written] = static_cast<uint8_t>(c);
            first = static_cast<uint8_t>(c);
            written += length < avail ? length : avail;
        } else if (code == next && old >= 0) {
            // The string of the previous code followed by its own first byte.
            int32_t length = old < clear ? 1 : t->Length[old - firstFree] + 2;
            int32_t k = length - 1;
            int32_t c = old;
            while (c >= firstFree && k > 0) {
                if (k < avail) out[written + k] = t->Suffix[c - firstFree];
                --k;
                c = t->Prefix[c - firstFree];
            }
            if (k != 0 || c >= clear) break;
            out[written] = static_cast<uint8_t>(c);
            if (length < avail) out[written + length] = first;
            written += length + 1 < avail ? length + 1 : avail;
        } else {
            break;  // a code outside the table
        }
        if (old >= 0 && next < MaxLzwCodes) {
            t->Prefix[next - firstFree] = static_cast<uint16_t>(old);
            t->Suffix[next - firstFree] = first;
            t->Length[next - firstFree] = static_cast<uint16_t>(old >= firstFree ? t->Length[old - firstFree] + 1 : 0);
            ++next;
            if (next > mask && width < 12) {
                ++width;
                mask = (1 << width) - 1;
            }
        }
        old = code;
    }
    return written;
}

void GIFOpen(GIFHandle& handle, std::string& name, bool firstFrameOnly)
{
    Guarded("GIFOpen", [&] {
        handle = GIFHandle{};
        unit.File = INVALID_HANDLE;
        FOpen(unit.File, name, FmRead);
        uint8_t header[13];
        int32_t got = 0;
        FReadMax(unit.File, header, 13, got);
        if (got < 13 || std::memcmp(header, "GIF", 3) != 0 ||
            (std::memcmp(header + 3, "87a", 3) != 0 && std::memcmp(header + 3, "89a", 3) != 0))
            ErrSet(6002);
        handle.FileSize = FSize(unit.File);
        handle.Width = GetU16LE(header + 6);
        handle.Height = GetU16LE(header + 8);
        handle.Planes = 1;
        handle.Bits = 8;
        if (header[10] & 0x80) {
            ReadPalette_(handle.Palette, TableEntries_(header[10]));
            handle.Background = header[11];
        } else {
            handle.Background = -1;
        }
        if (firstFrameOnly) {
            uint8_t control[8];
            uint8_t desc[10];
            int32_t position = 0;
            if (!GIFGetImgHdr_(control, desc, position, 0)) return;
            GIFChk4ImgFPos_(0);
            // The table may hold a cached scan of another file.
            if (FramePos_(0) != position) InvalidateCache_();
            SetFramePos_(0, position);
            handle.Frames = 1;
            int32_t delay = GetU16LE(control + 4);
            handle.FrameRate = delay != 0 ? static_cast<double>(100 / delay) : 0.0;
            return;
        }
        name = LowerAscii(name);
        int64_t modTime = ModTimeOf_(name);
        ScanCache& cache = unit.Cache;
        if (cache.Valid && cache.Name == name && cache.FileSize == handle.FileSize && cache.ModTime == modTime &&
            PosTableAlive_(cache.Handle.Frames)) {
            handle = cache.Handle;
            return;
        }
        InvalidateCache_();
        FreePosTable_();
        FullScan_(handle);
        cache.Handle = handle;
        cache.FileSize = handle.FileSize;
        cache.ModTime = modTime;
        cache.Name = name;
        cache.Valid = true;
    });
}

void GIFLoad(GIFHandle& handle, Limg& img)
{
    Guarded("GIFLoad", [&] {
        GIFHandle& h = handle;
        if (unit.File == INVALID_HANDLE || h.NextFrame < 0 || h.NextFrame >= h.Frames) ErrSet(6004);
        int32_t screenPixels = 0;
        if (h.Width <= 0 || h.Height <= 0) ErrSet(6009);
        // The screen is refused when the whole file could not fill it.
        if (!PictureBytes(h.Width, h.Height, 1, screenPixels) ||
            !CodedBytesSuffice(screenPixels, h.FileSize, LzwExpansion))
            ErrSet(6001);
        const int32_t frame = h.NextFrame;
        if (!PosTableAlive_(frame + (frame + 1 < h.Frames ? 2 : 1))) ErrSet(6004);
        const int32_t position = FramePos_(frame);
        if (position <= 0 || position >= h.FileSize) ErrSet(6009);

        ImgAlloc(img, h.Width, h.Height, 8);
        ImgSetDims(img, h.Width, h.Height, 8);
        const int32_t rowLength = h.Width;

        // Undo the previous frame.
        if (h.Disposal == 2 && h.WinWidth > 0 && h.WinHeight > 0) {
            uint8_t value = h.Background < 0 ? 255 : static_cast<uint8_t>(h.Background);
            FillWin_(img.Data, rowLength, h.WinLeft, value, h.WinHeight, h.WinWidth, h.WinTop);
        } else if (h.Disposal == 3 && h.WinWidth > 0 && h.WinHeight > 0 && h.SavedWin != nullptr &&
                   KeepAlive_(h.SavedWin, h.WinWidth * h.WinHeight)) {
            InsertWin_(h.SavedWin, img.Data, h.WinWidth, rowLength, h.WinTop, h.WinLeft, h.WinHeight);
        }

        FSeek(unit.File, position);
        uint8_t control[8];
        uint8_t desc[10];
        int32_t found = 0;
        if (!GIFGetImgHdr_(control, desc, found, 0)) ErrSet(6004);
        const int32_t left = GetU16LE(desc + 1);
        const int32_t top = GetU16LE(desc + 3);
        const int32_t width = GetU16LE(desc + 5);
        const int32_t height = GetU16LE(desc + 7);
        const bool interlaced = (desc[9] & 0x40) != 0;
        const bool transparent = (control[3] & 0x01) != 0;
        const uint8_t transIndex = control[6];
        int32_t pixelCount = 0;
        if (width == 0 || height == 0) ErrSet(6009);
        if (!PictureBytes(width, height, 1, pixelCount)) ErrSet(6001);
        const bool exact = left == 0 && top == 0 && width == h.Width && height == h.Height;
        // A frame that does not match the screen, or lets earlier frames show
        // through, is drawn through a temporary image and placed, clipped.
        const bool placed = !exact || (transparent && frame > 0);

        if (desc[9] & 0x80) {
            ReadPalette_(img.Palette, TableEntries_(desc[9]));
        } else {
            std::memcpy(img.Palette, h.Palette, sizeof img.Palette);
        }
        if (frame == 0) {
            uint8_t fill = h.Background < 0 ? 0 : static_cast<uint8_t>(h.Background);
            FillBytes(fill, screenPixels, img.Data);
        }

        int32_t cmpsSize = frame + 1 == h.Frames ? h.FileSize - position : FramePos_(frame + 1) - position;
        if (cmpsSize < 1 || cmpsSize > h.FileSize) ErrSet(6009);
        if (!CodedBytesSuffice(pixelCount, cmpsSize, LzwExpansion)) ErrSet(6003);

        int32_t disposal = (control[3] >> 2) & 7;
        int32_t winLeft = 0, winTop = 0, winWidth = 0, winHeight = 0;
        if (disposal == 2 || disposal == 3) {
            winLeft = left < h.Width ? left : h.Width;
            winTop = top < h.Height ? top : h.Height;
            winWidth = (left + width < h.Width ? left + width : h.Width) - winLeft;
            winHeight = (top + height < h.Height ? top + height : h.Height) - winTop;
        }
        if (disposal == 3 && winWidth > 0 && winHeight > 0) {
            MemAlloc(h.SavedWin, winWidth * winHeight);
            MemName(h.SavedWin, "GIFLoad", "SavedWin");
            ExtractWin_(img.Data, h.SavedWin, winLeft, winHeight, winWidth, rowLength, winTop);
        }

        uint8_t* cmps = nullptr;
        MemAlloc(cmps, cmpsSize);
        MemName(cmps, "GIFLoad", "GIFCmpsBuf");
        int32_t cmpsGot = 0;
        FReadMax(unit.File, cmps, cmpsSize, cmpsGot);
        if (cmpsGot < 1) ErrSet(6009);

        Limg temp;
        uint8_t* target = img.Data;
        if (interlaced || placed) {
            ImgAlloc(temp, width, height, 8);
            ImgName(temp, "GIFLoad", "ih_temp");
            uint8_t fill = transparent ? transIndex : (h.Background < 0 ? 0 : static_cast<uint8_t>(h.Background));
            FillBytes(fill, pixelCount, temp.Data);
            target = temp.Data;
        }

        uint8_t* tables = nullptr;
        MemAlloc(tables, GIFLzwTableSize);
        MemName(tables, "GIFLoad", "GIFLZWChBuf");
        int32_t decoded = GIFDecodeLZW(cmps, cmpsGot, target, pixelCount, tables);
        MemFree(tables);
        MemFree(cmps);
        if (decoded < 0) ErrSet(6003);
        // The frame is shown as far as its data goes; the loss is told.
        if (decoded < pixelCount) NoteLoadDamage("GIF image data ends early");

        Limg* placeFrom = &temp;
        Limg sprite;
        if (interlaced) {
            uint8_t* dest = img.Data;
            if (placed) {
                ImgAlloc(sprite, width, height, 8);
                ImgName(sprite, "GIFLoad", "ih_sprite");
                dest = sprite.Data;
                placeFrom = &sprite;
            }
            GIFunInterlace_(temp.Data, dest, width, height);
        }
        if (placed) {
            // Placing copies the source palette into the image.
            std::memcpy(placeFrom->Palette, img.Palette, sizeof img.Palette);
            if (transparent)
                ImgSprite(*placeFrom, img, left, top, transIndex);
            else
                ImgInsert(*placeFrom, img, left, top);
        }
        ImgFree(sprite);
        ImgFree(temp);

        h.Disposal = disposal;
        h.WinLeft = winLeft;
        h.WinTop = winTop;
        h.WinWidth = winWidth;
        h.WinHeight = winHeight;
        ++h.NextFrame;
        h.EndFlag = h.NextFrame >= h.Frames;
    });
}

void GIFClose(GIFHandle& handle)
{
    Guarded("GIFClose", [&] {
        FreeOwned_(handle.SavedWin);
        if (unit.File != INVALID_HANDLE) FClose(unit.File);
        unit.File = INVALID_HANDLE;
    });
}

void GIFInfo(const std::string& name, TFileInfo& info, bool fullScan)
{
    Guarded("GIFInfo", [&] {
        GIFHandle h;
        std::string openName = name;
        GIFOpen(h, openName, !fullScan);
        info.FileSize = h.FileSize;
        info.Picture.Width = h.Width;
        info.Picture.Height = h.Height;
        info.Picture.BytesPP = 1;
        info.Picture.Bits = 8;
        info.Picture.Frames = h.Frames;
        info.Picture.FramesPerSec = h.FrameRate;
        info.Picture.Compression = CompressionName;
        info.Picture.Loadable = h.Frames > 0 && h.Width > 0 && h.Height > 0;
        GIFClose(h);
    });
}

void GIFLoadFirst(const std::string& name, Limg& img)
{
    // One block, so that a failure of GIFOpen or GIFLoad is what the caller sees.
    GuardedBlock([&] {
        GIFHandle h;
        std::string openName = name;
        GIFOpen(h, openName, true);
        if (ErrGet() == 0) GIFLoad(h, img);
        GIFClose(h);
    });
}

void GIFInfoFull(const std::string& name, TFileInfo& info)
{
    GIFInfo(name, info, true);
}
