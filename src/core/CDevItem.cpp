#include "core/CDevItem.h"

#include "core/CDevDoc.h"

namespace korvex {

CDevItem::CDevItem(std::int32_t type, std::string id, std::string desc, std::uint16_t addr,
                   std::int32_t access, std::uint16_t min, std::uint16_t max, std::uint16_t value)
    : m_strDesc(std::move(desc)), m_nAccess(access), m_wMin(min), m_wMax(max), m_nType(type),
      m_strId(std::move(id)), m_wAddr(addr), m_wValue(value)
{
}

ICellGraph* CDevItem::GetGraphWnd() const
{
    std::lock_guard lock(m_csLock);
    return m_pGraphWnd;
}

void CDevItem::SetGraphWnd(ICellGraph* graph)
{
    std::lock_guard lock(m_csLock);
    m_pGraphWnd = graph;
}

void CDevItem::Attach(CDevDoc* doc, HROW row)
{
    m_pDoc = doc;
    m_hRow = row;
}

void CDevItem::SetValue(std::uint16_t value)
{
    std::lock_guard lock(m_csLock);
    m_wValue.store(value, std::memory_order_relaxed);
    if (m_pDoc != nullptr)
        m_pDoc->MarkChanged(this);
}

} // namespace korvex
