#pragma once
// The multimedia file calls of winmm for reading RIFF files: open, read,
// seek, and descending into and ascending out of chunks. Paths are Windows
// paths, resolved as Files.h does.

#include <cstdint>
#include <string>

namespace platform {

struct MmioFile;
using HMMIO = MmioFile*;

// A chunk: identifier, data size, form type (RIFF and LIST only), the file
// offset of its data, flags.
struct MMCKINFO {
    uint32_t ckid = 0;
    uint32_t cksize = 0;
    uint32_t fccType = 0;
    uint32_t dwDataOffset = 0;
    uint32_t dwFlags = 0;
};

inline constexpr uint32_t MmioRead = 0x0000;
inline constexpr uint32_t MmioFindChunk = 0x0010;
inline constexpr uint32_t MmioFindRiff = 0x0020;
inline constexpr uint32_t MmioFindList = 0x0040;

inline constexpr int MmioSeekSet = 0;
inline constexpr int MmioSeekCur = 1;
inline constexpr int MmioSeekEnd = 2;

inline constexpr uint32_t MmioErrCannotRead = 261;
inline constexpr uint32_t MmioErrCannotSeek = 263;
inline constexpr uint32_t MmioErrChunkNotFound = 265;
// The chunk's header was read but its data runs past the end of its parent
// chunk or of the file (winmm itself does not check this).
inline constexpr uint32_t MmioErrChunkOverrun = MmioErrCannotRead;

constexpr uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}
inline constexpr uint32_t FourCCRiff = MakeFourCC('R', 'I', 'F', 'F');
inline constexpr uint32_t FourCCList = MakeFourCC('L', 'I', 'S', 'T');

// Opens an existing file for reading (only MmioRead is supported); null
// when it cannot be opened. The info argument of winmm is not used.
HMMIO mmioOpenA(const std::string& name, void* info, uint32_t flags);
uint32_t mmioClose(HMMIO h, uint32_t flags);
// Reads up to count bytes at the current position; the bytes read (0 at the
// end of the file), -1 on an I/O error.
int32_t mmioRead(HMMIO h, void* buffer, int32_t count);
// The new position, -1 when it would be negative or beyond 2 GB.
int32_t mmioSeek(HMMIO h, int32_t offset, int origin);
// Descends into the next chunk at the current position, or, with a find
// flag, into the first matching one, skipping the others. With a parent the
// search stays inside it. Afterwards the file is positioned at the chunk's
// data (after the form type for RIFF and LIST). With a parent, a chunk whose
// data runs past the parent's end or the file's end gives MmioErrChunkOverrun
// (ck filled in). A top-level chunk is not checked: truncated RIFF forms
// are common and their chunks are checked against the file instead.
uint32_t mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags);
// Positions the file after the chunk and its pad byte.
uint32_t mmioAscend(HMMIO h, MMCKINFO* ck, uint32_t flags);
// Size of the open file in bytes.
int64_t mmioFileSize(HMMIO h);

}  // namespace platform
