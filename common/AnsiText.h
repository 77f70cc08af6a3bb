#pragma once

#include <string>
#include <string_view>

namespace cep {

// Text inside the program is 8-bit Windows-1252 (the Windows ANSI code page of
// the original platform); the front ends convert at their edge.

/// Lower-cases by the Windows-1252 rules: A-Z and the accented capitals
/// (À-Þ except ×, and Š, Œ, Ž, Ÿ) become their small letters.
std::string AnsiLowerCase(std::string_view text);

/// Turns only the letters A-Z into a-z.
std::string AsciiLowerCase(std::string_view text);

/// Removes every leading and trailing character whose code is 32 or less.
std::string_view TrimControl(std::string_view text);

/// Removes the trailing blanks (the padding of a CHAR value).
std::string RightTrimmed(std::string text);

/// SQL string literal: single quotes around, each single quote doubled.
std::string QuoteSql(std::string_view text);

/// Windows-1252 to UTF-8 and back, for the front ends. Bytes without a
/// character in Windows-1252 map to U+FFFD; characters outside it to '?'.
std::string Win1252ToUtf8(std::string_view text);
std::string Utf8ToWin1252(std::string_view text);

/// A text of the run (Windows-1252, "\r" or "\r\n" a line break) as the
/// front ends show it: UTF-8 with "\n".
std::string DisplayUtf8(std::string_view text);

}  // namespace cep
