#include "runtime/LogLines.h"

#include "core/Text.h"

namespace korvex {
namespace {

// "01 03 00 10": the bytes in upper-case hex, one blank between them.
void AppendHex(std::string& out, const std::uint8_t* data, std::uint32_t count)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (count == 0)
        return;
    const std::size_t at = out.size();
    out.resize(at + count * 3 - 1, ' ');
    char* p = out.data() + at;
    for (std::uint32_t i = 0; i < count; ++i, p += 3) {
        p[0] = kDigits[data[i] >> 4];
        p[1] = kDigits[data[i] & 0xF];
    }
}

void AppendProtoFields(std::string& line, const CProtoFeed::INTERNAL_ADDLINE& rec, bool raw)
{
    line.reserve(line.size() + 24 + rec.szDevice.size() + rec.szText.size() +
                 (raw ? rec.strRaw.size() * 3 : 0));
    line += "P\t";
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
}

} // namespace

std::string FormatProtoLine(const CProtoFeed::INTERNAL_ADDLINE& rec, bool raw)
{
    std::string line;
    AppendProtoFields(line, rec, raw);
    return line;
}

void AppendProtoLine(std::string& out, const CProtoFeed::INTERNAL_ADDLINE& rec, bool raw)
{
    AppendProtoFields(out, rec, raw);
    out += '\n';
}

void AppendTxLine(std::string& out, const std::uint8_t* data, std::uint32_t count)
{
    out += "T\t";
    AppendHex(out, data, count);
    out += '\n';
}

} // namespace korvex
