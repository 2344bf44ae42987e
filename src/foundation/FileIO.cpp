#include "foundation/FileIO.h"

#include <cerrno>

#include "foundation/Errors.h"
#include "foundation/Utils.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/WholeFile.h"

namespace {

struct FileEntry {
    int32_t Id = 0;
    bool IsText = false;
    platform::FileDescriptor Fd = platform::NoFile;
    // A created file is written to a temporary name and takes the target's
    // name only when it is closed after whole, successful writes.
    platform::PendingFile Pending;
    bool WriteFailed = false;
};

struct FileTable {
    FileEntry Entries[MaxOpenFiles];
    int32_t Count = 0;
    int32_t NextId = 1;
    std::string LastFileName;
};

FileTable& T()
{
    static FileTable* table = new FileTable;
    return *table;
}

FileEntry* Find(int32_t h)
{
    FileTable& t = T();
    for (int32_t i = 0; i < t.Count; ++i)
        if (t.Entries[i].Id == h) return &t.Entries[i];
    return nullptr;
}

void Remove(FileEntry* e)
{
    FileTable& t = T();
    --t.Count;
    if (e != &t.Entries[t.Count]) *e = t.Entries[t.Count];
    t.Entries[t.Count] = FileEntry{};
}

// A folder is not a file, although POSIX would open it for reading.
platform::FileDescriptor OpenExistingFile(const std::string& name, platform::Access access)
{
    uint32_t attributes = platform::GetFileAttributes(name);
    if (attributes == platform::InvalidAttributes || (attributes & platform::AttrDirectory) != 0)
        return platform::NoFile;
    return platform::OpenExisting(name, access);
}

// Writers replace a read-only file, as they did by deleting it first; a
// link, folder or device is never replaced.
bool BeginCreate(const std::string& name, platform::PendingFile& pending)
{
    return platform::BeginWhole(platform::HostPath(name), pending);
}

// Opens by the mode table; returns the code and the descriptor.
int32_t OpenByMode(const std::string& name, int32_t mode, bool text, platform::FileDescriptor& fd,
                   platform::PendingFile& pending)
{
    fd = platform::NoFile;
    bool full = T().Count >= MaxOpenFiles;
    if (HasFlag(mode, FmCreate)) {
        if (!full && BeginCreate(name, pending)) fd = pending.Fd;
        return fd == platform::NoFile ? 5002 : 0;
    }
    if (HasFlag(mode, FmAppend)) {
        platform::Access access = platform::Access::ReadWrite;
        if (!text && HasFlag(mode, FmRead))
            access = platform::Access::Read;
        else if (text || HasFlag(mode, FmWrite))
            access = platform::Access::Write;
        if (!full) fd = OpenExistingFile(name, access);
        if (fd == platform::NoFile) return 5007;
        if (!platform::SeekToEnd(fd)) {
            platform::CloseFile(fd);
            fd = platform::NoFile;
            return text ? 5007 : 5005;
        }
        return 0;
    }
    platform::Access access = platform::Access::ReadWrite;
    if (text || HasFlag(mode, FmRead))
        access = platform::Access::Read;
    else if (HasFlag(mode, FmWrite))
        access = platform::Access::Write;
    if (!full) fd = OpenExistingFile(name, access);
    return fd == platform::NoFile ? 5001 : 0;
}

int32_t Open(int32_t& h, const std::string& name, int32_t mode, bool text)
{
    FileTable& t = T();
    t.LastFileName = name;
    platform::FileDescriptor fd;
    platform::PendingFile pending;
    int32_t code = OpenByMode(name, mode, text, fd, pending);
    if (code == 0) {
        h = t.NextId;
        t.Entries[t.Count++] = FileEntry{t.NextId, text, fd, pending, false};
        ++t.NextId;
    } else {
        h = INVALID_HANDLE;
    }
    return code;
}

// Reads or writes the whole count unless the file ends or fails.
template <class Op, class Buffer>
int64_t Transfer(Op op, platform::FileDescriptor fd, Buffer* buffer, int64_t count)
{
    int64_t done = 0;
    while (done < count) {
        int64_t n = op(fd, buffer + done, count - done);
        if (n <= 0) break;
        done += n;
    }
    return done;
}

// Closes; a created file is published when keep is set and every write
// went through, and its temporary name removed otherwise. A file that cannot
// be published fails as a write.
void Close(int32_t h, const char* label, bool keep)
{
    LabelPush(label);
    WrnClear();
    bool published = true;
    if (FileEntry* e = Find(h)) {
        bool closed = true;
        if (e->Pending.Fd != platform::NoFile) {
            platform::PendingFile pending = e->Pending;
            if (keep && !e->WriteFailed) {
                published = platform::CommitReplace(pending);
            } else {
                platform::Abandon(pending);
            }
        } else {
            closed = platform::CloseFile(e->Fd);
        }
        Remove(e);
        if (!closed) WrnSet(5001);
    }
    LabelPop();
    if (!published) ErrSet(5004);
}

int32_t ClampToInt32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

}  // namespace

int32_t FOpen(int32_t& h, const std::string& name, int32_t mode)
{
    LabelPush("FOpen(" + name + ")");
    int32_t code = Open(h, name, mode, false);
    ErrSet(code);
    LabelPop();
    return code;
}

int32_t FRead(int32_t h, void* buffer, int32_t count)
{
    LabelPush("FRead");
    int32_t code = 0;
    FileEntry* e = Find(h);
    if (e != nullptr && count > 0) {
        int64_t done = Transfer(platform::ReadSome, e->Fd, static_cast<uint8_t*>(buffer), count);
        if (done < count) code = 5003;
    }
    ErrSet(code);
    LabelPop();
    return code;
}

void FReadMax(int32_t h, void* buffer, int32_t count, int32_t& done)
{
    done = 0;
    FileEntry* e = Find(h);
    if (e != nullptr && count > 0)
        done = static_cast<int32_t>(Transfer(platform::ReadSome, e->Fd, static_cast<uint8_t*>(buffer), count));
}

int32_t FWrite(int32_t h, const void* buffer, int32_t count)
{
    LabelPush("FWrite");
    int32_t code = 0;
    FileEntry* e = Find(h);
    if (e != nullptr && count > 0) {
        errno = 0;
        int64_t done = Transfer(platform::WriteSome, e->Fd, static_cast<const uint8_t*>(buffer), count);
        if (done < count) {
            code = 5004;
            e->WriteFailed = true;
            // A short write without an error is a full disk.
            platform::NoteWholeFileError(errno != 0 ? errno : ENOSPC);
        }
    }
    ErrSet(code);
    LabelPop();
    return code;
}

int32_t FSeek(int32_t h, int32_t position)
{
    LabelPush("FSeek");
    int32_t code = 0;
    if (FileEntry* e = Find(h)) {
        if (position < 0 || !platform::SeekTo(e->Fd, position)) code = 5005;
    }
    ErrSet(code);
    LabelPop();
    return code;
}

int32_t FSize(int32_t h)
{
    FileEntry* e = Find(h);
    if (e == nullptr) return INVALID_HANDLE;
    int64_t size = platform::FileSizeOf(e->Fd);
    return size < 0 ? 0 : ClampToInt32(size);
}

int32_t FPos(int32_t h)
{
    FileEntry* e = Find(h);
    if (e == nullptr) return INVALID_HANDLE;
    int64_t pos = platform::PositionOf(e->Fd);
    return pos < 0 ? 0 : ClampToInt32(pos);
}

void FClose(int32_t h)
{
    Close(h, "FClose", true);
}

int32_t FDelete(const std::string& name)
{
    LabelPush("FDelete(" + name + ")");
    T().LastFileName = name;
    int32_t code = 0;
    if (platform::FileExists(name)) {
        platform::SetFileAttributes(name, platform::AttrArchive);
        if (!platform::DeleteFile(name)) code = 5006;
    }
    ErrSet(code);
    LabelPop();
    return code;
}

int32_t TxtOpen(int32_t& h, const std::string& name, int32_t mode)
{
    LabelPush("TxtOpen");
    int32_t code = Open(h, name, mode, true);
    ErrSet(code);
    LabelPop();
    return code;
}

int32_t TxtWrite(int32_t h, const std::string& line)
{
    LabelPush("TxtWrite");
    int32_t code = 0;
    if (FileEntry* e = Find(h)) {
        std::string text = line + "\r\n";
        int64_t size = static_cast<int64_t>(text.size());
        if (Transfer(platform::WriteSome, e->Fd, text.data(), size) < size) {
            code = 5004;
            e->WriteFailed = true;
        }
    }
    ErrSet(code);
    LabelPop();
    return code;
}

void TxtClose(int32_t h)
{
    Close(h, "TxtClose", true);
}

int32_t FCount()
{
    return T().Count;
}

void FCloseDownTo(int32_t n)
{
    FileTable& t = T();
    if (n < 0) n = 0;
    while (t.Count > n) {
        // Files left open by a failed block are incomplete: none is published.
        const FileEntry& e = t.Entries[t.Count - 1];
        Close(e.Id, e.IsText ? "TxtClose" : "FClose", false);
    }
}

const std::string& LastFileName()
{
    return T().LastFileName;
}

void SetLastFileName(const std::string& name)
{
    T().LastFileName = name;
}
