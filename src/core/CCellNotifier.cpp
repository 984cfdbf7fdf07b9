#include "core/CCellNotifier.h"

#include "core/CDevDoc.h"
#include "core/CDevItem.h"
#include "core/IUiPoster.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace korvex {

void CCellNotifier::MarkChanged(CDevItem* item)
{
    std::lock_guard lock(m_cs);
    if (item->m_bMarked)
        return;
    item->m_bMarked = true;
    m_arChanged.push_back(item);
    if (!m_bPosted && m_pPoster != nullptr) {
        m_bPosted = true;
        m_pPoster->Post([this] { Announce(); });
    }
}

void CCellNotifier::Forget(const CDevItem* item)
{
    std::lock_guard lock(m_cs);
    if (item->m_bMarked)
        std::erase(m_arChanged, item);
}

void CCellNotifier::ForgetDevice(const CDevDoc* device)
{
    std::lock_guard lock(m_cs);
    std::erase_if(m_arChanged, [device](const CDevItem* item) { return item->GetDoc() == device; });
}

void CCellNotifier::Announce()
{
    std::vector<CDevItem*> changed;
    {
        std::lock_guard lock(m_cs);
        changed.swap(m_arChanged);
        for (CDevItem* item : changed)
            item->m_bMarked = false;
        m_bPosted = false;
    }
    // Each device hears of its own cells, in the order they were first set.
    std::vector<std::pair<CDevDoc*, std::vector<CDevItem*>>> groups;
    std::unordered_map<CDevDoc*, std::size_t> index;
    for (CDevItem* item : changed) {
        const auto [it, added] = index.try_emplace(item->GetDoc(), groups.size());
        if (added)
            groups.emplace_back(item->GetDoc(), std::vector<CDevItem*>());
        groups[it->second].second.push_back(item);
    }
    for (auto& [device, cells] : groups)
        device->NotifyValuesChanged(cells);
    // A graph takes a sample now.
    for (CDevItem* item : changed)
        if (ICellGraph* graph = item->GetGraphWnd())
            graph->RequestSample();
}

} // namespace korvex
