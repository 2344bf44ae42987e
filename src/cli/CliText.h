#pragma once
// Text conversions of the command line: JSON strings, the escaped form of
// multi-line settings, yes/no values and numbers.

#include <string>

// A JSON string literal with its quotes. Valid UTF-8 passes through; any
// other byte is taken as the Latin-1 character of that value.
std::string JsonString(const std::string& text);

// Multi-line settings on one line: CR LF is written "\n" and a backslash
// "\\"; Unescape turns both back and keeps any other backslash as it is.
std::string EscapeLines(const std::string& text);
std::string UnescapeLines(const std::string& text);

// true/false, yes/no, on/off or 1/0, in any case; false for anything else.
bool ParseFlag(const std::string& text, bool& value);

// Shortest of the fixed three-decimal form: 25, 29.97, 23.976. A value that
// is not finite is written 0, so the JSON output stays valid.
std::string FormatRate(double value);

// Text without the blanks at its end.
std::string TrimRight(const std::string& text);
