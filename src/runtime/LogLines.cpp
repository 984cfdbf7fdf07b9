#include "runtime/LogLines.h"

#include "core/Text.h"

namespace korvex {

std::string FormatProtoLine(const CProtoFeed::INTERNAL_ADDLINE& rec, bool raw)
{
    const std::string address =
        rec.nAddress > 0 ? StrFormat("%u", static_cast<unsigned>(rec.nAddress)) : "";
    std::string line = StrFormat("P\t%d\t%s\t%s\t%s", rec.nKind, rec.szDevice.c_str(),
                                 address.c_str(), rec.szText.c_str());
    if (raw) {
        line += '\t';
        for (std::size_t i = 0; i < rec.strRaw.size(); ++i)
            line += StrFormat(i == 0 ? "%02X" : " %02X",
                              static_cast<unsigned>(static_cast<unsigned char>(rec.strRaw[i])));
    }
    return line;
}

std::string FormatTxLine(const std::uint8_t* data, std::uint32_t count)
{
    std::string line = "T\t";
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i > 0)
            line += ' ';
        line += StrFormat("%02X", static_cast<unsigned>(data[i]));
    }
    return line;
}

} // namespace korvex
