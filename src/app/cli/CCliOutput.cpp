#include "CCliOutput.h"

#include "runtime/LogLines.h"

#include <cstdio>

namespace korvex {

CCliOutput::CCliOutput(ITransmitter* next) : m_pNext(next) {}

bool CCliOutput::Write(const std::uint8_t* data, std::uint32_t count)
{
    PrintLine(FormatTxLine(data, count));
    return m_pNext == nullptr || m_pNext->Write(data, count);
}

void CCliOutput::PrintBatch(const CProtoFeed::Batch& batch)
{
    for (const auto& rec : batch)
        PrintLine(FormatProtoLine(rec));
}

void CCliOutput::PrintLine(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace korvex
