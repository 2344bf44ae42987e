#include "foundation/Utils.h"

#include <cstdio>
#include <cstring>

void FillBytes(uint8_t value, int32_t count, void* buffer)
{
    if (count > 0) std::memset(buffer, value, static_cast<size_t>(count));
}

void MoveBytes(int32_t count, void* dest, const void* source)
{
    if (count < 1 || source == dest) return;
    std::memmove(dest, source, static_cast<size_t>(count));
}

void SwapBytes(int32_t count, void* a, void* b)
{
    auto* pa = static_cast<uint8_t*>(a);
    auto* pb = static_cast<uint8_t*>(b);
    for (int32_t i = 0; i < count; ++i) {
        uint8_t t = pa[i];
        pa[i] = pb[i];
        pb[i] = t;
    }
}

int32_t FindPattern(int32_t step, int32_t size, int32_t patternLength, const void* buffer, const void* pattern)
{
    if (size == 0 || size < patternLength || step < 1 || patternLength < 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    for (int64_t offset = 0; offset <= static_cast<int64_t>(size) - patternLength; offset += step) {
        if (std::memcmp(bytes + offset, pattern, static_cast<size_t>(patternLength)) == 0)
            return static_cast<int32_t>(offset / step + 1);
    }
    return 0;
}

std::string NumToStr(uint32_t value, int32_t width)
{
    std::string digits = std::to_string(value);
    char pad = ' ';
    int32_t field = width;
    if (width >= 200) {
        pad = '0';
        field = width - 200;
    } else if (width >= 100) {
        field = width - 100;
        std::string grouped;
        int n = static_cast<int>(digits.size());
        for (int i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0) grouped += ',';
            grouped += digits[static_cast<size_t>(i)];
        }
        digits = grouped;
    }
    if (field > static_cast<int32_t>(digits.size())) digits.insert(0, static_cast<size_t>(field) - digits.size(), pad);
    if (digits.size() > 255) digits.resize(255);
    return digits;
}

std::string FloatToStrW(int32_t width, int32_t decimals, double value)
{
    char buffer[512];
    if (decimals < 0) decimals = 0;
    if (decimals > 64) decimals = 64;
    if (width > 255) width = 255;
    std::snprintf(buffer, sizeof buffer, "%*.*f", width, decimals, value);
    return buffer;
}

int32_t StrToNum(const char* text)
{
    uint32_t value = 0;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p)
        value = value * 10u + static_cast<uint8_t>(static_cast<uint8_t>(*p) - 48u);
    return static_cast<int32_t>(value);
}

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string LowerExtension(const std::string& name)
{
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    const size_t sep = name.find_last_of("\\/:");
    if (sep != std::string::npos && sep > dot) return {};
    return LowerAscii(name.substr(dot));
}
