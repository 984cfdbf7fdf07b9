#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

// printf into a std::string.
std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string StrFormatV(const char* format, va_list args);

// The program's one formatter of cell numbers. width > 1: at least width digits,
// zero-padded, hexadecimal behind "0x" with upper-case digits or unsigned decimal;
// width <= 1: "0x%X" or "%u".
std::string FormatNumber(std::uint16_t value, bool hex, int width);
// The same, appended to out.
void AppendNumber(std::string& out, std::uint16_t value, bool hex, int width);
// "%u" appended to out.
void AppendDecimal(std::string& out, unsigned value);

// Cuts UTF-8 text to at most maxChars characters without splitting a sequence.
std::string Utf8Left(const std::string& text, std::size_t maxChars);

// Number of characters (code points) in UTF-8 text.
std::size_t Utf8Length(const std::string& text);

// A message with its first "%1" replaced by arg, as the framework's messages
// take their argument.
std::string FormatMessage1(std::string_view pattern, std::string_view arg);

// The value of a hexadecimal digit, or -1.
int HexDigit(char c);

} // namespace korvex
