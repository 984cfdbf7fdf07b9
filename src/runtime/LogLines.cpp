#include "runtime/LogLines.h"

#include "core/Text.h"

namespace korvex {

std::string FormatProtoLine(const CProtoFeed::INTERNAL_ADDLINE& rec)
{
    const std::string address =
        rec.nAddress > 0 ? StrFormat("%u", static_cast<unsigned>(rec.nAddress)) : "";
    return StrFormat("P\t%d\t%s\t%s\t%s", rec.nKind, rec.szDevice.c_str(), address.c_str(),
                     rec.szText.c_str());
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
