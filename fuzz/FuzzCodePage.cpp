// The code-page detection and conversions on arbitrary bytes, with the
// round trips they promise: code page 1251 maps every byte both ways; the
// text of a file is valid UTF-8; a valid UTF-8 text written to a file reads
// back as itself.

#include "files/CodePage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using namespace korvex;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void RoundTrip(std::string_view text)
{
    FileEncoding used = FileEncoding::Cp1251;
    const std::string bytes = EncodeFileText(text, &used);
    Check(DecodeFileText(bytes) == text);
    if (used == FileEncoding::Cp1251)
        Check(Utf8ToCp1251(text) == std::optional<std::string>(bytes));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Code page 1251 -> UTF-8 -> code page 1251 gives every byte back.
    const std::string utf8 = Cp1251ToUtf8(bytes);
    Check(IsValidUtf8(utf8));
    Check(Utf8ToCp1251(utf8) == std::optional<std::string>(std::string(bytes)));

    // The reader's text is always valid UTF-8 and survives a write.
    FileEncoding used = FileEncoding::Cp1251;
    const std::string text = DecodeFileText(bytes, &used);
    Check(IsValidUtf8(text));
    if (used == FileEncoding::Cp1251)
        Check(text == utf8);
    RoundTrip(text);

    // The bytes themselves as a text, when they are one.
    if (IsValidUtf8(bytes)) {
        RoundTrip(bytes);
        if (const std::optional<std::string> cp = Utf8ToCp1251(bytes))
            Check(Cp1251ToUtf8(*cp) == bytes);
    }
    return 0;
}
