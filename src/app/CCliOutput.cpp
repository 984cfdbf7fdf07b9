#include "CCliOutput.h"

#include "core/Text.h"

#include <cstdio>

namespace korvex {

CCliOutput::CCliOutput(ITransmitter* next) : m_pNext(next) {}

bool CCliOutput::Write(const std::uint8_t* data, std::uint32_t count)
{
    std::string line = "T\t";
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i > 0)
            line += ' ';
        line += StrFormat("%02X", static_cast<unsigned>(data[i]));
    }
    PrintLine(line);
    return m_pNext == nullptr || m_pNext->Write(data, count);
}

void CCliOutput::PrintRecord(const CProtoFeed::INTERNAL_ADDLINE& rec)
{
    const std::string address =
        rec.nAddress > 0 ? StrFormat("%u", static_cast<unsigned>(rec.nAddress)) : "";
    PrintLine(StrFormat("P\t%d\t%s\t%s\t%s", rec.nKind, rec.szDevice.c_str(), address.c_str(),
                        rec.szText.c_str()));
}

void CCliOutput::PrintLine(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace korvex
