#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// The program's one parser of cell numbers: decimal, or hexadecimal behind
// "0x"/"0X". Leading blanks and tabs are skipped; then, when more than two
// characters remain and they start with "0x", the rest is converted in base
// 16, otherwise the text is converted in base 10, both with strtol's rules
// (white space, an optional sign, digits up to the first non-digit, no digits
// give 0). The result is clamped to the 32-bit range; callers keep its low 16
// bits (cell numbers) or 8 bits (device address), so "-1" becomes 65535.
std::int32_t ParseNumber(std::string_view text);

// Cuts text into fields at any of the separator characters. The text is
// first cut at its last LF, and a CR that then ends it is dropped; other CRs
// stay in their fields. A run of separators is
// one separator, leading separators are skipped, and an empty field occurs
// only last, after trailing separators ("5-" gives "5" and "").
std::vector<std::string> SplitFields(std::string_view text, std::string_view separators);

// Text without the given characters at either end.
std::string_view TrimChars(std::string_view text, std::string_view chars);

// Blank, tab, CR, LF, vertical tab and form feed.
inline constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// Equal when the texts differ at most in the case of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The cell kind a keyword names ("COIL", "DINP", "HREG", "IREG", letters in
// any case, blanks around it ignored); -1 for any other text.
std::int32_t ParseCellTypeName(std::string_view field);

// The text holds NUL or another control character (0x01-0x1F, 0x7F) other
// than TAB, CR and LF: no text file of the program's.
bool HoldsControlCharacters(std::string_view text);

} // namespace korvex
