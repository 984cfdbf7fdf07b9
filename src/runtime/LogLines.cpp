#include "runtime/LogLines.h"

#include "core/Text.h"

namespace korvex {
namespace {

// "01 03 00 10": the bytes in upper-case hex, one blank between them.
void AppendHex(std::string& out, const std::uint8_t* data, std::uint32_t count)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.reserve(out.size() + count * 3);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i > 0)
            out += ' ';
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0xF];
    }
}

} // namespace

std::string FormatProtoLine(const CProtoFeed::INTERNAL_ADDLINE& rec, bool raw)
{
    std::string line = "P\t";
    line.reserve(16 + rec.szDevice.size() + rec.szText.size() + rec.strRaw.size() * 3);
    line += std::to_string(rec.nKind);
    line += '\t';
    line += rec.szDevice;
    line += '\t';
    if (rec.nAddress > 0)
        line += std::to_string(rec.nAddress);
    line += '\t';
    line += rec.szText;
    if (raw) {
        line += '\t';
        AppendHex(line, reinterpret_cast<const std::uint8_t*>(rec.strRaw.data()),
                  static_cast<std::uint32_t>(rec.strRaw.size()));
    }
    return line;
}

std::string FormatTxLine(const std::uint8_t* data, std::uint32_t count)
{
    std::string line = "T\t";
    AppendHex(line, data, count);
    return line;
}

} // namespace korvex
