#include "files/TextFields.h"

#include "core/Types.h"

#include <cstdlib>
#include <limits>

namespace korvex {

std::int32_t ParseNumber(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    // strtol needs a terminated string; fields may hold any byte.
    std::string rest(text.substr(start));
    int base = 10;
    std::size_t from = 0;
    if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        base = 16;
        from = 2;
    }
    const long long value = std::strtoll(rest.c_str() + from, nullptr, base);
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::vector<std::string> SplitFields(std::string_view text, std::string_view separators)
{
    // A line ends at LF, and only a CR right before it goes with it: a CR
    // inside a field stays, so what was read is written back the same.
    if (const auto lf = text.rfind('\n'); lf != std::string_view::npos)
        text = text.substr(0, lf);
    if (text.ends_with('\r'))
        text.remove_suffix(1);

    const auto isSeparator = [separators](char c) {
        return separators.find(c) != std::string_view::npos;
    };
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && isSeparator(text[pos]))
            ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && !isSeparator(text[pos]))
            ++pos;
        fields.emplace_back(text.substr(start, pos - start));
    }
    return fields;
}

std::string_view TrimChars(std::string_view text, std::string_view chars)
{
    const auto first = text.find_first_not_of(chars);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(chars);
    return text.substr(first, last - first + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool HoldsControlCharacters(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F)
            return true;
    }
    return false;
}

std::int32_t ParseCellTypeName(std::string_view field)
{
    const std::string_view word = TrimChars(field, kWhiteSpace);
    for (std::int32_t type : { COIL, DINP, HREG, IREG })
        if (EqualsNoCase(word, CellTypeName(type)))
            return type;
    return -1;
}

} // namespace korvex
