#include "files/CodePage.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace korvex {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD
constexpr char kUndefined1251 = '\x98';
constexpr std::string_view kUndefinedUtf8 = "\xC2\x98"; // U+0098

// One conversion descriptor for the length of a call.
class CIconv
{
public:
    CIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CIconv()
    {
        if (IsOpen())
            iconv_close(m_cd);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of in as it can and appends it to out; leaves in at
    // the first byte that could not be converted. Returns 0 when everything
    // was converted, else errno (EILSEQ, EINVAL).
    int Convert(std::string_view& in, std::string& out)
    {
        char buffer[1024];
        while (!in.empty()) {
            char* src = const_cast<char*>(in.data());
            std::size_t srcLeft = in.size();
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            const int err = rc == static_cast<std::size_t>(-1) ? errno : 0;
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            in.remove_prefix(in.size() - srcLeft);
            if (err != 0 && err != E2BIG)
                return err;
        }
        return 0;
    }

private:
    iconv_t m_cd;
};

// Length of the well-formed UTF-8 sequence at the start of s, or 0.
std::size_t Utf8SequenceLength(std::string_view s)
{
    const auto b = [&s](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const std::uint8_t c = b(0);
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (c == 0xE0 && b(1) < 0xA0) // overlong
            return 0;
        if (c == 0xED && b(1) >= 0xA0) // surrogate
            return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if (c == 0xF0 && b(1) < 0x90) // overlong
            return 0;
        if (c == 0xF4 && b(1) >= 0x90) // above U+10FFFF
            return 0;
        return 4;
    }
    return 0;
}

// Valid sequences kept, each invalid byte replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t n = Utf8SequenceLength(bytes);
        if (n == 0) {
            out += kReplacement;
            bytes.remove_prefix(1);
        } else {
            out += bytes.substr(0, n);
            bytes.remove_prefix(n);
        }
    }
    return out;
}

bool HasNonAscii(std::string_view bytes)
{
    for (char c : bytes)
        if (static_cast<std::uint8_t>(c) >= 0x80)
            return true;
    return false;
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t n = Utf8SequenceLength(bytes);
        if (n == 0)
            return false;
        bytes.remove_prefix(n);
    }
    return true;
}

std::string Cp1251ToUtf8(std::string_view bytes)
{
    if (!HasNonAscii(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    CIconv cd("UTF-8", "CP1251");
    if (!cd.IsOpen()) {
        for (char c : bytes) {
            if (static_cast<std::uint8_t>(c) < 0x80)
                out += c;
            else
                out += kReplacement;
        }
        return out;
    }
    while (!bytes.empty()) {
        if (cd.Convert(bytes, out) == 0)
            break;
        // The only byte iconv refuses is the one code page 1251 leaves undefined.
        out += bytes.front() == kUndefined1251 ? kUndefinedUtf8 : kReplacement;
        bytes.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> Utf8ToCp1251(std::string_view text)
{
    if (!HasNonAscii(text))
        return std::string(text);
    if (!IsValidUtf8(text))
        return std::nullopt;
    CIconv cd("CP1251", "UTF-8");
    if (!cd.IsOpen())
        return std::nullopt;
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        if (cd.Convert(text, out) == 0)
            break;
        if (!text.starts_with(kUndefinedUtf8))
            return std::nullopt;
        out += kUndefined1251;
        text.remove_prefix(kUndefinedUtf8.size());
    }
    return out;
}

std::string DecodeFileText(std::string_view bytes, FileEncoding* used)
{
    FileEncoding encoding = FileEncoding::Cp1251;
    std::string text;
    if (bytes.starts_with(kBom)) {
        encoding = FileEncoding::Utf8;
        text = SanitizeUtf8(bytes.substr(kBom.size()));
    } else if (HasNonAscii(bytes) && IsValidUtf8(bytes)) {
        encoding = FileEncoding::Utf8;
        text = std::string(bytes);
    } else {
        text = Cp1251ToUtf8(bytes);
    }
    if (used != nullptr)
        *used = encoding;
    return text;
}

std::string EncodeFileText(std::string_view text, FileEncoding* used)
{
    // Code-page bytes that would be taken for UTF-8 ("НЁ" is CD A8, which is
    // U+0368) are not written: the file would read back as another text.
    if (auto cp1251 = Utf8ToCp1251(text); cp1251 && DecodeFileText(*cp1251) == text) {
        if (used != nullptr)
            *used = FileEncoding::Cp1251;
        return std::move(*cp1251);
    }
    if (used != nullptr)
        *used = FileEncoding::Utf8;
    std::string out(kBom);
    out += text;
    return out;
}

} // namespace korvex
