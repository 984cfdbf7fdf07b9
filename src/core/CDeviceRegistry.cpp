#include "core/CDeviceRegistry.h"

#include "core/CDevDoc.h"

#include <algorithm>

namespace korvex {

// Changes are rare and the list is short: finding a device's place in it by
// a walk is good enough. Lookups never walk.

void CDeviceRegistry::AddDevice(CDevDoc* doc)
{
    std::lock_guard lock(m_csDevices);
    m_arDevices.push_back({ doc, doc->GetDevId(), doc->GetDevAddr() });
    // The newest device comes after every other one.
    const auto later = [](const CDevDoc*, const CDevDoc*) { return false; };
    m_byAddr.Add(m_arDevices.back().nAddr, doc, later);
    m_byId.Add(m_arDevices.back().strId, doc, later);
}

void CDeviceRegistry::RemoveDevice(CDevDoc* doc)
{
    std::lock_guard lock(m_csDevices);
    const auto it = FindEntry(doc);
    if (it == m_arDevices.end())
        return;
    m_byAddr.Remove(it->nAddr, doc, [&] { return FirstOther(doc, it->nAddr); });
    m_byId.Remove(it->strId, doc, [&] { return FirstOther(doc, it->strId); });
    m_arDevices.erase(it);
}

void CDeviceRegistry::SetDeviceId(CDevDoc* doc, const std::string& id)
{
    std::lock_guard lock(m_csDevices);
    const auto it = FindEntry(doc);
    if (it == m_arDevices.end() || it->strId == id)
        return;
    m_byId.Remove(it->strId, doc, [&] { return FirstOther(doc, it->strId); });
    it->strId = id;
    m_byId.Add(id, doc, [this](const CDevDoc* a, const CDevDoc* b) { return Before(a, b); });
}

void CDeviceRegistry::SetDeviceAddr(CDevDoc* doc, std::uint8_t addr)
{
    std::lock_guard lock(m_csDevices);
    const auto it = FindEntry(doc);
    if (it == m_arDevices.end() || it->nAddr == addr)
        return;
    m_byAddr.Remove(it->nAddr, doc, [&] { return FirstOther(doc, it->nAddr); });
    it->nAddr = addr;
    m_byAddr.Add(addr, doc, [this](const CDevDoc* a, const CDevDoc* b) { return Before(a, b); });
}

CDevDoc* CDeviceRegistry::FindDeviceByAddr(std::uint8_t addr) const
{
    std::lock_guard lock(m_csDevices);
    return m_byAddr.Find(addr);
}

CDevDoc* CDeviceRegistry::FindDeviceById(const std::string& id) const
{
    std::lock_guard lock(m_csDevices);
    return m_byId.Find(std::string_view(id));
}

std::vector<CDevDoc*> CDeviceRegistry::GetDevices() const
{
    std::lock_guard lock(m_csDevices);
    std::vector<CDevDoc*> devices;
    devices.reserve(m_arDevices.size());
    for (const SEntry& entry : m_arDevices)
        devices.push_back(entry.pDoc);
    return devices;
}

std::vector<CDeviceRegistry::SEntry>::iterator CDeviceRegistry::FindEntry(const CDevDoc* doc)
{
    return std::find_if(m_arDevices.begin(), m_arDevices.end(),
                        [doc](const SEntry& e) { return e.pDoc == doc; });
}

bool CDeviceRegistry::Before(const CDevDoc* a, const CDevDoc* b) const
{
    for (const SEntry& entry : m_arDevices) {
        if (entry.pDoc == a)
            return true;
        if (entry.pDoc == b)
            return false;
    }
    return false;
}

CDevDoc* CDeviceRegistry::FirstOther(const CDevDoc* doc, std::uint8_t addr) const
{
    for (const SEntry& entry : m_arDevices)
        if (entry.pDoc != doc && entry.nAddr == addr)
            return entry.pDoc;
    return nullptr;
}

CDevDoc* CDeviceRegistry::FirstOther(const CDevDoc* doc, const std::string& id) const
{
    for (const SEntry& entry : m_arDevices)
        if (entry.pDoc != doc && entry.strId == id)
            return entry.pDoc;
    return nullptr;
}

} // namespace korvex
