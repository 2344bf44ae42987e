#pragma once
// Bounds-checked reading of little- and big-endian fields, and checked size
// arithmetic. Every file header goes through these: a short read is an
// error, never a zero.

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint16_t GetU16LE(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint16_t GetU16BE(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t GetU32LE(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t GetU32BE(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void PutU16LE(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32LE(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU16BE(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void PutU32BE(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// A cursor over bytes in memory. Reading past the end sets Failed and gives
// zeros; callers test Ok() (or Has(n) first) before trusting what they read.
class ByteReader {
public:
    ByteReader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}

    bool Ok() const { return !failed_; }
    size_t Pos() const { return pos_; }
    size_t Size() const { return size_; }
    size_t Remaining() const { return pos_ <= size_ ? size_ - pos_ : 0; }
    bool Has(size_t n) const { return n <= Remaining(); }
    const uint8_t* Here() const { return data_ + pos_; }

    bool Seek(size_t pos)
    {
        if (pos > size_) return fail();
        pos_ = pos;
        return true;
    }
    bool Skip(size_t n)
    {
        if (!Has(n)) return fail();
        pos_ += n;
        return true;
    }
    bool Bytes(void* out, size_t n)
    {
        if (!Has(n)) {
            std::memset(out, 0, n);
            return fail();
        }
        std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    uint8_t U8() { return Has(1) ? data_[pos_++] : (fail(), 0); }
    uint16_t U16LE() { return take<uint16_t>(2, GetU16LE); }
    uint16_t U16BE() { return take<uint16_t>(2, GetU16BE); }
    uint32_t U32LE() { return take<uint32_t>(4, GetU32LE); }
    uint32_t U32BE() { return take<uint32_t>(4, GetU32BE); }
    int16_t S16LE() { return static_cast<int16_t>(U16LE()); }
    int32_t S32LE() { return static_cast<int32_t>(U32LE()); }
    int32_t S32BE() { return static_cast<int32_t>(U32BE()); }

private:
    template <class T, class F>
    T take(size_t n, F get)
    {
        if (!Has(n)) {
            fail();
            return 0;
        }
        T v = get(data_ + pos_);
        pos_ += n;
        return v;
    }
    bool fail()
    {
        failed_ = true;
        return false;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// a × b (× c) into out when the product fits a positive int32.
inline bool CheckedMul32(int64_t a, int64_t b, int32_t& out)
{
    int64_t r;
    if (a < 0 || b < 0 || __builtin_mul_overflow(a, b, &r) || r > INT32_MAX) return false;
    out = static_cast<int32_t>(r);
    return true;
}
inline bool CheckedMul32(int64_t a, int64_t b, int64_t c, int32_t& out)
{
    int32_t ab;
    return CheckedMul32(a, b, ab) && CheckedMul32(ab, c, out);
}
