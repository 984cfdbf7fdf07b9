#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace korvex {

// The recently used projects, most recent first. Only project files (".kvxp",
// in any letter case) enter the list; a path already in it moves to the top;
// the oldest entry goes when a fifth arrives. Paths compare exactly, as the
// file system does.
class CRecentList
{
public:
    static constexpr std::size_t kMaxEntries = 4;
    static constexpr const char* kProjectExt = ".kvxp";

    // Puts path first. False, with the list unchanged, for a path that does
    // not name a project file.
    bool Add(const std::string& path);
    // Forgets the entry at index (a project that could not be opened); an
    // index outside the list does nothing.
    void Remove(std::size_t index);
    void Clear() { m_arPaths.clear(); }

    std::size_t GetSize() const { return m_arPaths.size(); }
    bool IsEmpty() const { return m_arPaths.empty(); }
    // The entry at index, or an empty text outside the list.
    std::string Get(std::size_t index) const;
    const std::vector<std::string>& GetPaths() const { return m_arPaths; }

    static bool IsProjectPath(const std::string& path);

private:
    std::vector<std::string> m_arPaths;
};

} // namespace korvex
