#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace korvex {

// A file the program appends its record of a run to, line by line (see
// LogLines.h), flushed after each write. User-interface thread.
class CLineLogFile
{
public:
    CLineLogFile() = default;
    ~CLineLogFile();

    CLineLogFile(const CLineLogFile&) = delete;
    CLineLogFile& operator=(const CLineLogFile&) = delete;

    // Opens the file for appending; false with errno when it cannot.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_pFile != nullptr; }
    void Write(const std::vector<std::string>& lines);
    void Write(const std::string& line) { Write(std::vector<std::string>{ line }); }
    // P lines carry the frame's bytes (--raw).
    void SetRaw(bool raw) { m_bRaw = raw; }
    bool IsRaw() const { return m_bRaw; }

private:
    std::FILE* m_pFile{ nullptr };
    bool m_bRaw{ false };
};

} // namespace korvex
