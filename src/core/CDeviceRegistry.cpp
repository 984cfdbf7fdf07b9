#include "core/CDeviceRegistry.h"

#include "core/CDevDoc.h"

#include <algorithm>

namespace korvex {

void CDeviceRegistry::AddDevice(CDevDoc* doc)
{
    std::lock_guard lock(m_csDevices);
    m_arDevices.push_back(doc);
}

void CDeviceRegistry::RemoveDevice(CDevDoc* doc)
{
    std::lock_guard lock(m_csDevices);
    const auto it = std::find(m_arDevices.begin(), m_arDevices.end(), doc);
    if (it != m_arDevices.end())
        m_arDevices.erase(it);
}

CDevDoc* CDeviceRegistry::FindDeviceByAddr(std::uint8_t addr) const
{
    std::lock_guard lock(m_csDevices);
    for (CDevDoc* doc : m_arDevices)
        if (doc->GetDevAddr() == addr)
            return doc;
    return nullptr;
}

CDevDoc* CDeviceRegistry::FindDeviceById(const std::string& id) const
{
    std::lock_guard lock(m_csDevices);
    for (CDevDoc* doc : m_arDevices)
        if (doc->m_strId == id)
            return doc;
    return nullptr;
}

std::vector<CDevDoc*> CDeviceRegistry::GetDevices() const
{
    std::lock_guard lock(m_csDevices);
    return m_arDevices;
}

} // namespace korvex
