#include "core/Text.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace korvex {

std::string StrFormatV(const char* format, va_list args)
{
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0)
        return {};
    if (static_cast<std::size_t>(n) < sizeof small)
        return std::string(small, static_cast<std::size_t>(n));
    std::vector<char> big(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), static_cast<std::size_t>(n));
}

std::string StrFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string s = StrFormatV(format, args);
    va_end(args);
    return s;
}

void AppendNumber(std::string& out, std::uint16_t value, bool hex, int width)
{
    // Every log line formats numbers: by hand, not through printf.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char digits[8];
    int n = 0;
    const unsigned base = hex ? 16 : 10;
    unsigned v = value;
    do {
        digits[n++] = kDigits[v % base];
        v /= base;
    } while (v != 0);
    if (hex)
        out += "0x";
    if (width > n)
        out.append(static_cast<std::size_t>(width - n), '0');
    while (n > 0)
        out += digits[--n];
}

std::string FormatNumber(std::uint16_t value, bool hex, int width)
{
    std::string text;
    AppendNumber(text, value, hex, width);
    return text;
}

void AppendDecimal(std::string& out, unsigned value)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

static bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

std::string Utf8Left(const std::string& text, std::size_t maxChars)
{
    if (text.size() <= maxChars)
        return text; // no more characters than bytes
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuation(static_cast<unsigned char>(text[i])))
            continue;
        if (chars == maxChars)
            return text.substr(0, i);
        ++chars;
    }
    return text;
}

std::size_t Utf8Length(const std::string& text)
{
    std::size_t chars = 0;
    for (unsigned char c : text)
        if (!IsContinuation(c))
            ++chars;
    return chars;
}

std::string FormatMessage1(std::string_view pattern, std::string_view arg)
{
    const std::size_t at = pattern.find("%1");
    if (at == std::string_view::npos)
        return std::string(pattern);
    std::string text(pattern.substr(0, at));
    text += arg;
    text += pattern.substr(at + 2);
    return text;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace korvex
