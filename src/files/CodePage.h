#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvex {

// Text inside the program is UTF-8; files on disk stay compatible with the
// Windows program, which writes code page 1251. Byte 0x98, which code page
// 1251 leaves undefined, maps to U+0098 both ways, so any file's bytes
// survive a read and a write.

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Code page 1251 -> UTF-8.
std::string Cp1251ToUtf8(std::string_view bytes);

// UTF-8 -> code page 1251; nullopt when some character does not exist there
// or the text is not valid UTF-8.
std::optional<std::string> Utf8ToCp1251(std::string_view text);

// How the bytes of a text file were taken.
enum class FileEncoding
{
    Cp1251,
    Utf8,
};

// The text of a file as UTF-8: the bytes are taken as UTF-8 when they start
// with a byte-order mark (which is dropped) or are valid UTF-8 containing a
// byte above 0x7F, otherwise as code page 1251 (pure ASCII reads the same
// either way, and Cyrillic in code page 1251 is never valid UTF-8). Invalid
// sequences behind a byte-order mark become U+FFFD.
std::string DecodeFileText(std::string_view bytes, FileEncoding* used = nullptr);

// The bytes of a file holding the UTF-8 text: code page 1251 when every
// character exists there and those bytes read back as the same text, else a
// byte-order mark and the UTF-8 text, so that nothing is lost.
std::string EncodeFileText(std::string_view text, FileEncoding* used = nullptr);

} // namespace korvex
