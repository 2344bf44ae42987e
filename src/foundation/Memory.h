#pragma once
// Tracked memory: every block lives in one table, registered under the
// address of the pointer variable that holds it, so a failed guarded block
// can release what it allocated and leaks can be reported at program end.

#include <cstdint>
#include <string>

inline constexpr int MaxMemBlocks = 256;

// The untyped core. `owner` is the address of the caller's pointer variable,
// `block` its current value; on success `block` holds the new address.
int32_t MemAllocAt(const void* owner, void*& block, int32_t size);
void MemNameAt(const void* ownerVar, const void* block, const std::string& owner, const std::string& name);
void MemXchgAt(const void* ownerA, const void* ownerB);
bool MemFreeBlock(const void* block);  // false when the block is not tracked
bool MemIsTrackedBlock(const void* block);

// Allocates, or resizes the block held in p (contents kept). 0 or 2001.
template <class T>
int32_t MemAlloc(T*& p, int32_t size)
{
    void* block = const_cast<void*>(static_cast<const void*>(p));
    int32_t code = MemAllocAt(&p, block, size);
    if (code == 0) p = static_cast<T*>(block);
    return code;
}

// Names the block held in p Owner + ": " + Name.
template <class T>
void MemName(T*& p, const std::string& owner, const std::string& name)
{
    MemNameAt(&p, p, owner, name);
}

// Exchanges the table records of the blocks held by a and b; the caller then
// exchanges the variables themselves. Error 2002 when either is not tracked.
template <class T>
void MemXchg(T*& a, T*& b)
{
    MemXchgAt(&a, &b);
}

// Frees the block whose address p holds and sets p to null; an untracked or
// null p is left as it is.
template <class T>
void MemFree(T*& p)
{
    if (MemFreeBlock(p)) p = nullptr;
}

// p holds the address of a live block.
template <class T>
bool MemIsTracked(T* const& p)
{
    return MemIsTrackedBlock(p);
}

int32_t MemCount();
void MemFreeDownTo(int32_t n);

// Diagnostics and tests: the recorded (padded) size and name of entry i.
int32_t MemEntrySize(int32_t index);
std::string MemEntryName(int32_t index);
