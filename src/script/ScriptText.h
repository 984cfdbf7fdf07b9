#pragma once

#include <cstddef>
#include <string>

namespace korvex {

// Script files: text in code page 1251 with CR LF between lines, the format
// of the Windows program. A file whose bytes are valid UTF-8 and hold a
// non-ASCII byte, or that starts with a UTF-8 byte-order mark, is read as
// UTF-8. Texts inside the program are UTF-8.

// The longest line a save writes, in characters.
inline constexpr std::size_t kMaxScriptLine = 8192;

// File bytes to the editor's text: the file is read line by line, a line
// ending at LF with a CR before the LF dropped, and every line is appended
// followed by CR LF. So "a\nb" and "a\r\nb\r\n" both give "a\r\nb\r\n".
std::string DecodeScriptFile(const std::string& bytes);

// The editor's text to file bytes: its lines (split at LF, a CR before the
// LF belonging to the break), each cut to kMaxScriptLine characters, with
// CR LF between them and none after the last. Code page 1251 unless a
// character does not exist there; then UTF-8 behind a byte-order mark.
std::string EncodeScriptFile(const std::string& text);

} // namespace korvex
