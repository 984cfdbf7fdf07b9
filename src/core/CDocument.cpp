#include "core/CDocument.h"

namespace korvex {

void CDocument::SetPathName(const std::string& path)
{
    m_strPathName = path;
    const auto slash = path.find_last_of('/');
    m_strTitle = slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace korvex
