#pragma once

#include <string>
#include <string_view>

namespace korvex {

// The whole content of one document file on its way in or out: a document's
// Serialize reads the bytes of a loading archive or appends the bytes of a
// storing one. The document layer does the file input and output around it.
class CArchive
{
public:
    enum class Mode
    {
        Load,
        Store,
    };

    // filePath is the file's full path.
    CArchive(Mode mode, std::string filePath, std::string bytes = {})
        : m_mode(mode), m_strFilePath(std::move(filePath)), m_bytes(std::move(bytes))
    {
    }

    bool IsLoading() const { return m_mode == Mode::Load; }
    const std::string& GetFilePath() const { return m_strFilePath; }

    // Loading: the file's bytes. Storing: the bytes written so far.
    const std::string& GetBytes() const { return m_bytes; }
    void Write(std::string_view bytes) { m_bytes += bytes; }

private:
    Mode m_mode;
    std::string m_strFilePath;
    std::string m_bytes;
};

} // namespace korvex
