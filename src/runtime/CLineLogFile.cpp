#include "runtime/CLineLogFile.h"

namespace korvex {

CLineLogFile::~CLineLogFile()
{
    if (m_pFile != nullptr)
        std::fclose(m_pFile);
}

bool CLineLogFile::Open(const std::string& path)
{
    m_pFile = std::fopen(path.c_str(), "ae");
    return m_pFile != nullptr;
}

void CLineLogFile::Write(const std::vector<std::string>& lines)
{
    if (m_pFile == nullptr)
        return;
    for (const std::string& line : lines) {
        std::fwrite(line.data(), 1, line.size(), m_pFile);
        std::fputc('\n', m_pFile);
    }
    std::fflush(m_pFile);
}

} // namespace korvex
