#include "platform/Mmio.h"

#include <algorithm>
#include <cstring>

#include "platform/Files.h"

namespace platform {

struct MmioFile {
    FileDescriptor fd = NoFile;
    int64_t size = 0;
    int64_t pos = 0;
};

namespace {

constexpr int64_t MaxPosition = INT32_MAX;

uint32_t U32At(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Reads at the current position into buffer; the bytes read or -1.
int64_t ReadAt(MmioFile& f, void* buffer, int64_t count)
{
    if (count <= 0 || f.pos >= f.size) return 0;
    count = std::min(count, f.size - f.pos);
    if (!SeekTo(f.fd, f.pos)) return -1;
    int64_t done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < count) {
        int64_t got = ReadSome(f.fd, out + done, count - done);
        if (got < 0) return -1;
        if (got == 0) break;
        done += got;
    }
    f.pos += done;
    return done;
}

bool SetPos(MmioFile& f, int64_t pos)
{
    if (pos < 0 || pos > MaxPosition) return false;
    f.pos = pos;
    return true;
}

}  // namespace

HMMIO mmioOpenA(const std::string& name, void* /*info*/, uint32_t flags)
{
    if (flags != MmioRead) return nullptr;
    FileDescriptor fd = OpenExisting(name, Access::Read);
    if (fd == NoFile) return nullptr;
    int64_t size = FileSizeOf(fd);
    if (size < 0) {
        CloseFile(fd);
        return nullptr;
    }
    auto* f = new MmioFile;
    f->fd = fd;
    f->size = size;
    return f;
}

uint32_t mmioClose(HMMIO h, uint32_t /*flags*/)
{
    if (!h) return 0;
    bool ok = CloseFile(h->fd);
    delete h;
    return ok ? 0 : MmioErrCannotRead;
}

int32_t mmioRead(HMMIO h, void* buffer, int32_t count)
{
    if (!h || count < 0) return -1;
    return static_cast<int32_t>(ReadAt(*h, buffer, count));
}

int32_t mmioSeek(HMMIO h, int32_t offset, int origin)
{
    if (!h) return -1;
    int64_t base = 0;
    if (origin == MmioSeekCur)
        base = h->pos;
    else if (origin == MmioSeekEnd)
        base = h->size;
    else if (origin != MmioSeekSet)
        return -1;
    if (!SetPos(*h, base + offset)) return -1;
    return static_cast<int32_t>(h->pos);
}

int64_t mmioFileSize(HMMIO h)
{
    return h ? h->size : -1;
}

uint32_t mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags)
{
    if (!h || !ck) return MmioErrChunkNotFound;
    int64_t start = h->pos;
    int64_t limit = MaxPosition;
    if (parent) {
        int64_t parentEnd = static_cast<int64_t>(parent->dwDataOffset) + parent->cksize;
        if (start < parent->dwDataOffset || start >= parentEnd) return MmioErrChunkNotFound;
        limit = std::min(parentEnd, h->size);
    }

    uint32_t wantId = 0;
    uint32_t wantType = 0;
    if (flags & MmioFindChunk) wantId = ck->ckid;
    if (flags & MmioFindList) {
        wantId = FourCCList;
        wantType = ck->fccType;
    }
    if (flags & MmioFindRiff) {
        wantId = FourCCRiff;
        wantType = ck->fccType;
    }

    for (;;) {
        uint8_t head[12];
        h->pos = start;
        int64_t got = parent ? ReadAt(*h, head, std::min<int64_t>(12, std::max<int64_t>(0, limit - start)))
                             : ReadAt(*h, head, 12);
        if (got < 8) {
            h->pos = start;
            return MmioErrChunkNotFound;
        }
        MMCKINFO found;
        found.ckid = U32At(head);
        found.cksize = U32At(head + 4);
        found.fccType = got >= 12 ? U32At(head + 8) : 0;
        int64_t dataOffset = start + 8;
        int64_t dataEnd = dataOffset + found.cksize;
        if (dataOffset > MaxPosition) {
            h->pos = start;
            return MmioErrChunkNotFound;
        }
        found.dwDataOffset = static_cast<uint32_t>(dataOffset);
        bool isForm = found.ckid == FourCCRiff || found.ckid == FourCCList;
        if (!isForm) found.fccType = 0;

        if (parent && (dataEnd > limit || (isForm && found.cksize < 4))) {
            *ck = found;
            h->pos = start;
            return MmioErrChunkOverrun;
        }
        bool match = (!wantId || wantId == found.ckid) && (!wantType || (isForm && wantType == found.fccType));
        if (match) {
            *ck = found;
            h->pos = isForm ? dataOffset + 4 : dataOffset;
            return 0;
        }
        int64_t next = dataOffset + found.cksize + (found.cksize & 1);
        if (next > MaxPosition) {
            h->pos = start;
            return MmioErrChunkNotFound;
        }
        start = next;
    }
}

uint32_t mmioAscend(HMMIO h, MMCKINFO* ck, uint32_t /*flags*/)
{
    if (!h || !ck) return MmioErrCannotSeek;
    int64_t next = static_cast<int64_t>(ck->dwDataOffset) + ck->cksize + (ck->cksize & 1);
    if (!SetPos(*h, next)) return MmioErrCannotSeek;
    return 0;
}

}  // namespace platform
