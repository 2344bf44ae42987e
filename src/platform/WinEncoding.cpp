#include "platform/WinEncoding.h"

#include <cstdint>

namespace platform {

namespace {

// 0x80-0x9F of Windows-1252; its five unassigned bytes stand for the C1
// controls of the same number, as Windows' own conversion does.
constexpr uint16_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr uint32_t Replacement = 0xFFFD;

// The code point at text[i], advancing i; false (i past one byte) when the
// bytes there are not UTF-8.
bool NextCodePoint(const std::string& text, size_t& i, uint32_t& cp)
{
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    int extra = 0;
    uint32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (i + static_cast<size_t>(extra) >= text.size()) {
        ++i;
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += static_cast<size_t>(extra) + 1;
    return true;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUnit(std::string& out, uint32_t unit)
{
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

}  // namespace

bool IsValidUtf8(const std::string& text)
{
    size_t i = 0;
    uint32_t cp = 0;
    while (i < text.size())
        if (!NextCodePoint(text, i, cp)) return false;
    return true;
}

bool Utf8ToCp1252(const std::string& text, std::string& out)
{
    out.clear();
    size_t i = 0;
    while (i < text.size()) {
        const size_t at = i;
        uint32_t cp = 0;
        if (!NextCodePoint(text, i, cp)) {
            out += text[at];
            continue;
        }
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k)
            if (HighControls[k] == cp) found = k;
        if (found < 0) return false;
        out += static_cast<char>(0x80 + found);
    }
    return true;
}

std::string Cp1252ToUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? HighControls[b - 0x80] : b);
    }
    return out;
}

std::string Utf8ToUtf16LE(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 2);
    size_t i = 0;
    while (i < text.size()) {
        uint32_t cp = 0;
        if (!NextCodePoint(text, i, cp)) cp = Replacement;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUnit(out, 0xD800 | (cp >> 10));
            AppendUnit(out, 0xDC00 | (cp & 0x3FF));
        } else {
            AppendUnit(out, cp);
        }
    }
    return out;
}

std::string Utf16LEToUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    size_t i = 0;
    while (i + 1 < bytes.size()) {
        uint32_t unit = static_cast<unsigned char>(bytes[i]) |
                        (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
        i += 2;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < bytes.size()) {
            const uint32_t low = static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? Replacement : unit);
    }
    if (i < bytes.size()) AppendUtf8(out, Replacement);
    return out;
}

}  // namespace platform
