#pragma once
// The two text encodings of Windows files the program reads and writes:
// Windows-1252 (the ANSI code page of western Windows 9x) and UTF-16LE. The
// program itself keeps text as UTF-8.

#include <string>

namespace platform {

bool IsValidUtf8(const std::string& text);
// False when a character has no Windows-1252 byte; out is then incomplete.
// Bytes that are not UTF-8 are kept as they are.
bool Utf8ToCp1252(const std::string& text, std::string& out);
std::string Cp1252ToUtf8(const std::string& bytes);
// Bytes that are not UTF-8 become U+FFFD.
std::string Utf8ToUtf16LE(const std::string& text);
// An unpaired surrogate or an odd last byte becomes U+FFFD.
std::string Utf16LEToUtf8(const std::string& bytes);

}  // namespace platform
