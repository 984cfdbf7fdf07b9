#pragma once

// A temporary folder for tests on real files, removed with everything in it.

#include <string>
#include <vector>

namespace korvex::test {

class CTempDir
{
public:
    CTempDir();
    ~CTempDir();

    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // The path of name inside the folder.
    std::string File(const std::string& name) const { return m_strPath + "/" + name; }
    // Writes the bytes to name inside the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    // Names of the entries in the folder, sorted.
    std::vector<std::string> List() const;

private:
    std::string m_strPath;
};

// The whole file; the test fails when it cannot be read.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

} // namespace korvex::test
