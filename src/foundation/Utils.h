#pragma once
// Small byte and number utilities the codecs share.

#include <cstdint>
#include <string>

inline bool HasFlag(int32_t mode, int32_t flag)
{
    return (mode & flag) != 0;
}

inline uint16_t Swap16(uint16_t v)
{
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}
inline uint32_t Swap32(uint32_t v)
{
    return __builtin_bswap32(v);
}
inline void Swap16InPlace(uint16_t& v)
{
    v = Swap16(v);
}
inline void Swap32InPlace(uint32_t& v)
{
    v = Swap32(v);
}

void FillBytes(uint8_t value, int32_t count, void* buffer);
void MoveBytes(int32_t count, void* dest, const void* source);
void SwapBytes(int32_t count, void* a, void* b);
int32_t FindPattern(int32_t step, int32_t size, int32_t patternLength, const void* buffer, const void* pattern);
std::string NumToStr(uint32_t value, int32_t width = 0);
std::string FloatToStrW(int32_t width, int32_t decimals, double value);
int32_t StrToNum(const char* text);
inline int32_t Clamp(int32_t v, int32_t low, int32_t high)
{
    return v < low ? low : (v > high ? high : v);
}

// The text with A-Z turned into a-z; other bytes stay as they are.
std::string LowerAscii(std::string text);
// The lower-cased extension of a file name, dot included: from the last dot
// of the name part (after the last \, / or :), empty when it has none.
std::string LowerExtension(const std::string& name);
