#include "core/CDevDoc.h"

#include "core/CArchive.h"
#include "core/CKorvexApp.h"
#include "files/CProjectTree.h"
#include "files/CodePage.h"
#include "files/DevFile.h"

#include <algorithm>

namespace korvex {

CDevDoc::CDevDoc(CKorvexApp& app) : m_app(app)
{
    m_app.AddDevice(this);
}

CDevDoc::~CDevDoc()
{
    std::lock_guard lock(m_csLock);
    m_app.RemoveDevice(this);
    m_app.GetProjectTree().ForgetDevice(this);
    for (auto& item : m_arItems) {
        if (ICellGraph* graph = item->GetGraphWnd()) {
            item->SetGraphWnd(nullptr);
            graph->Close();
        }
    }
    m_arItems.clear();
}

CDevItem* CDevDoc::FindItem(std::int32_t type, std::uint16_t addr) const
{
    std::lock_guard lock(m_csLock);
    for (const auto& item : m_arItems)
        if (item->m_nType == type && item->m_wAddr == addr)
            return item.get();
    return nullptr;
}

CDevItem* CDevDoc::FindItemById(std::int32_t type, const std::string& id) const
{
    std::lock_guard lock(m_csLock);
    for (const auto& item : m_arItems)
        if (item->m_nType == type && item->m_strId == id)
            return item.get();
    return nullptr;
}

HROW CDevDoc::FindRow(std::int32_t type, std::uint16_t addr) const
{
    std::lock_guard lock(m_csLock);
    for (const auto& item : m_arItems)
        if (item->m_nType == type && item->m_wAddr == addr)
            return item->m_hRow;
    return 0;
}

HROW CDevDoc::FindRowById(std::int32_t type, const std::string& id) const
{
    std::lock_guard lock(m_csLock);
    for (const auto& item : m_arItems)
        if (item->m_nType == type && item->m_strId == id)
            return item->m_hRow;
    return 0;
}

std::size_t CDevDoc::GetItemCount() const
{
    std::lock_guard lock(m_csLock);
    return m_arItems.size();
}

HROW CDevDoc::ShowItem(CDevItem* item)
{
    std::lock_guard lock(m_csLock);
    if (item->m_wMin >= item->m_wMax)
        return 0;

    std::uint16_t value = item->GetValue();
    switch (item->m_nType) {
    case DINP: item->m_nAccess = ACCESS_R; [[fallthrough]];
    case COIL:
        item->m_wMin = 0;
        item->m_wMax = 1;
        value = value != 0 ? 1 : 0;
        break;
    case IREG: item->m_nAccess = ACCESS_R; break;
    default: break;
    }
    value = std::clamp(value, item->m_wMin, item->m_wMax);
    item->m_wValue.store(value, std::memory_order_relaxed);

    HROW row = item->m_hRow;
    if (row == 0)
        row = ++m_nLastRow;
    if (IDevView* view = GetDevView()) {
        item->m_hRow = row;
        view->OnItemShown(item);
    }
    return row;
}

void CDevDoc::AddItem(std::int32_t type, const std::string& id, const std::string& desc,
                      std::uint16_t addr, std::int32_t access, std::uint16_t min, std::uint16_t max,
                      std::uint16_t value)
{
    std::lock_guard lock(m_csLock);
    auto item = std::make_unique<CDevItem>(type, id, desc, addr, access, min, max, value);
    const HROW row = ShowItem(item.get());
    item->Attach(this, row);
    m_arItems.push_back(std::move(item));
    SetModifiedFlag(true);
}

void CDevDoc::RemoveItem(CDevItem* item)
{
    std::lock_guard lock(m_csLock);
    const auto it = std::find_if(m_arItems.begin(), m_arItems.end(),
                                 [item](const auto& p) { return p.get() == item; });
    if (it == m_arItems.end())
        return;
    if (IDevView* view = GetDevView())
        view->OnItemRemoved(item);
    m_arItems.erase(it);
    SetModifiedFlag(true);
}

bool CDevDoc::OnOpenDocument(const std::string& path)
{
    if (!CDocument::OnOpenDocument(m_app.ResolvePath(path)))
        return false;
    // The list holds devices in creation order and this one came last, so
    // any other device with the ID is found first.
    if (CDevDoc* other = m_app.FindDeviceById(m_strId); other != nullptr && other != this)
        return false;
    m_app.GetProjectTree().AddDeviceNode(GetPathName(), this);
    return true;
}

bool CDevDoc::Serialize(CArchive& ar)
{
    SetPathName(ar.GetFilePath());
    std::lock_guard lock(m_csLock);
    if (ar.IsLoading()) {
        LoadDevFile(*this, DecodeFileText(ar.GetBytes()));
    } else {
        const bool hex = m_app.GetSettings().EDITHEX != 0;
        ar.Write(EncodeFileText(FormatDevFile(*this, hex, CKorvexApp::GetVersionText())));
    }
    return true;
}

void CDevDoc::ReportError(const std::string& text) const
{
    m_app.ReportError(text);
}

} // namespace korvex
