#include "foundation/Memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Utils.h"

namespace {

struct MemEntry {
    void* Ptr = nullptr;
    const void* Owner = nullptr;
    int32_t Size = 0;
    std::string Name;
};

struct MemTable {
    MemEntry Entries[MaxMemBlocks];
    int32_t Count = 0;
};

// Never destroyed: the leak report runs from a static destructor.
MemTable& T()
{
    static MemTable* table = new MemTable;
    return *table;
}

int32_t FindByPtr(const void* block)
{
    if (block == nullptr) return -1;
    MemTable& t = T();
    for (int32_t i = 0; i < t.Count; ++i)
        if (t.Entries[i].Ptr == block) return i;
    return -1;
}

int32_t FindByOwner(const void* owner)
{
    MemTable& t = T();
    for (int32_t i = 0; i < t.Count; ++i)
        if (t.Entries[i].Owner == owner) return i;
    return -1;
}

void RemoveEntry(int32_t i)
{
    MemTable& t = T();
    std::free(t.Entries[i].Ptr);
    --t.Count;
    if (i != t.Count) t.Entries[i] = std::move(t.Entries[t.Count]);
    t.Entries[t.Count] = MemEntry{};
}

// 5 % headroom rounded up to a multiple of 4; 0 when the size is not
// positive or the padded size would not fit in 32 bits.
int32_t PaddedSize(int32_t size)
{
    if (size <= 0) return 0;
    int64_t padded = ((static_cast<int64_t>(std::nearbyint(size * 1.05)) + 3) / 4) * 4;
    return padded > INT32_MAX ? 0 : static_cast<int32_t>(padded);
}

// Picture blocks run to tens of megabytes. Touching such a block page by
// small page costs more than the pixel work done on it, so large blocks ask
// for huge pages (a hint the system may ignore), and a fresh one starts on a
// huge-page boundary: only whole aligned huge pages can be given, and an
// unaligned block would fault in its first and last two megabytes by small
// pages.
constexpr int64_t LargeBlock = 4 * 1024 * 1024;
constexpr size_t HugePage = 2 * 1024 * 1024;

void AdviseLargeBlock(void* block, int32_t size)
{
    if (size < LargeBlock) return;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + static_cast<uintptr_t>(size)) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void* NewBlock(int32_t size)
{
    if (size < LargeBlock) return std::malloc(static_cast<size_t>(size));
    void* block = nullptr;
    return posix_memalign(&block, HugePage, static_cast<size_t>(size)) == 0 ? block : nullptr;
}

// Reports what is still tracked when the program ends.
struct LeakReporter {
    ~LeakReporter() { ReportLeaks(); }
} leakReporter;

}  // namespace

int32_t MemAllocAt(const void* owner, void*& block, int32_t size)
{
    LabelPush("MemAlloc");
    int32_t code = 0;
    int32_t padded = PaddedSize(size);
    MemTable& t = T();
    if (padded <= 0) {
        code = 2001;
    } else {
        int32_t i = FindByPtr(block);
        if (i >= 0 && t.Entries[i].Owner == owner) {
            void* resized = std::realloc(t.Entries[i].Ptr, static_cast<size_t>(padded));
            if (resized == nullptr) {
                code = 2001;
            } else {
                AdviseLargeBlock(resized, padded);
                t.Entries[i].Ptr = resized;
                t.Entries[i].Size = padded;
                block = resized;
            }
        } else if (t.Count >= MaxMemBlocks) {
            code = 2001;
        } else {
            void* fresh = NewBlock(padded);
            if (fresh == nullptr) {
                code = 2001;
            } else {
                AdviseLargeBlock(fresh, padded);
                MemEntry& e = t.Entries[t.Count];
                e.Ptr = fresh;
                e.Owner = owner;
                e.Size = padded;
                e.Name = "Handle #" + std::to_string(t.Count);
                ++t.Count;
                block = fresh;
            }
        }
    }
    ErrSet(code);
    LabelPop();
    return code;
}

void MemNameAt(const void* ownerVar, const void* block, const std::string& owner, const std::string& name)
{
    int32_t i = FindByPtr(block);
    if (i >= 0 && T().Entries[i].Owner == ownerVar) T().Entries[i].Name = owner + ": " + name;
}

void MemXchgAt(const void* ownerA, const void* ownerB)
{
    Guarded("MemXchg", [&] {
        int32_t a = FindByOwner(ownerA);
        int32_t b = FindByOwner(ownerB);
        if (a < 0 || b < 0) ErrSet(2002);
        MemEntry& ea = T().Entries[a];
        MemEntry& eb = T().Entries[b];
        std::swap(ea.Ptr, eb.Ptr);
        std::swap(ea.Size, eb.Size);
    });
}

bool MemFreeBlock(const void* block)
{
    LabelPush("MemFree");
    WrnClear();
    int32_t i = FindByPtr(block);
    if (i >= 0) RemoveEntry(i);
    LabelPop();
    return i >= 0;
}

bool MemIsTrackedBlock(const void* block)
{
    return FindByPtr(block) >= 0;
}

int32_t MemCount()
{
    return T().Count;
}

void MemFreeDownTo(int32_t n)
{
    MemTable& t = T();
    if (n < 0) n = 0;
    while (t.Count > n) RemoveEntry(t.Count - 1);
}

int32_t MemEntrySize(int32_t index)
{
    return index >= 0 && index < T().Count ? T().Entries[index].Size : 0;
}

std::string MemEntryName(int32_t index)
{
    return index >= 0 && index < T().Count ? T().Entries[index].Name : "";
}

void ReportLeaks()
{
    MemTable& t = T();
    std::string text;
    if (t.Count > 0) {
        text = "Unallocated memory:";
        for (int32_t i = t.Count - 1; i >= 0; --i) {
            text +=
                "\r\n  " + t.Entries[i].Name + ":" + NumToStr(static_cast<uint32_t>(t.Entries[i].Size), 106) + "\r\n";
            RemoveEntry(i);
        }
    } else if (FCount() > 0) {
        text = "Open files: " + NumToStr(static_cast<uint32_t>(FCount()), 100) + "\r\n";
        FCloseDownTo(0);
    }
    if (!text.empty()) TraceWrite(text);
}
