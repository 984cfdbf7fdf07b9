#include "files/CRecentList.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace korvex {

bool CRecentList::IsProjectPath(const std::string& path)
{
    const std::size_t extLen = std::strlen(kProjectExt);
    if (path.size() < extLen)
        return false;
    const std::string tail = path.substr(path.size() - extLen);
    return std::equal(tail.begin(), tail.end(), kProjectExt, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

bool CRecentList::Add(const std::string& path)
{
    if (!IsProjectPath(path))
        return false;
    const auto it = std::find(m_arPaths.begin(), m_arPaths.end(), path);
    if (it != m_arPaths.end())
        m_arPaths.erase(it);
    m_arPaths.insert(m_arPaths.begin(), path);
    if (m_arPaths.size() > kMaxEntries)
        m_arPaths.resize(kMaxEntries);
    return true;
}

void CRecentList::Remove(std::size_t index)
{
    if (index < m_arPaths.size())
        m_arPaths.erase(m_arPaths.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string CRecentList::Get(std::size_t index) const
{
    return index < m_arPaths.size() ? m_arPaths[index] : std::string();
}

} // namespace korvex
