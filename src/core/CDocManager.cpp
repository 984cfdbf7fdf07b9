#include "core/CDocManager.h"

#include "core/CDocTemplate.h"
#include "core/CDocument.h"
#include "core/IDocListener.h"
#include "core/IUiPoster.h"

#include <algorithm>

namespace korvex {

CDocManager::CDocManager() = default;

CDocManager::~CDocManager()
{
    CloseAllDocuments();
}

CDocTemplate& CDocManager::AddTemplate(std::unique_ptr<CDocTemplate> tmpl)
{
    tmpl->m_pManager = this;
    m_arTemplates.push_back(std::move(tmpl));
    return *m_arTemplates.back();
}

void CDocManager::RemoveTemplate(CDocTemplate* tmpl)
{
    const auto it = std::find_if(m_arTemplates.begin(), m_arTemplates.end(),
                                 [tmpl](const auto& p) { return p.get() == tmpl; });
    if (it == m_arTemplates.end())
        return;
    (*it)->CloseAllDocuments();
    m_arTemplates.erase(it);
}

std::vector<CDocument*> CDocManager::GetDocuments() const
{
    std::vector<CDocument*> docs;
    for (const auto& tmpl : m_arTemplates)
        for (CDocument* doc : tmpl->GetDocuments())
            docs.push_back(doc);
    return docs;
}

bool CDocManager::IsAnyModified() const
{
    for (CDocument* doc : GetDocuments())
        if (doc->IsModified())
            return true;
    return false;
}

bool CDocManager::SaveAllModified()
{
    bool ok = true;
    for (CDocument* doc : GetDocuments())
        if (doc->IsModified() && !doc->Save())
            ok = false;
    return ok;
}

void CDocManager::CloseAllDocuments()
{
    for (auto it = m_arTemplates.rbegin(); it != m_arTemplates.rend(); ++it)
        (*it)->CloseAllDocuments();
}

void CDocManager::CloseAllDocumentsExcept(const CDocument* keep)
{
    for (auto it = m_arTemplates.rbegin(); it != m_arTemplates.rend(); ++it) {
        std::vector<CDocument*> docs = (*it)->GetDocuments();
        // The newest first, as CloseAllDocuments does.
        for (auto doc = docs.rbegin(); doc != docs.rend(); ++doc)
            if (*doc != keep)
                (*it)->CloseDocument(*doc);
    }
}

void CDocManager::AddListener(IDocListener* listener)
{
    m_listeners.Add(listener);
}

void CDocManager::RemoveListener(IDocListener* listener)
{
    m_listeners.Remove(listener);
}

template <typename Fn> void CDocManager::Notify(Fn fn)
{
    m_listeners.Notify(fn);
}

template <typename Fn> void CDocManager::Post(CDocument& doc, Fn fn)
{
    if (m_pPoster == nullptr)
        return;
    // Documents and the manager are destroyed on the user-interface thread,
    // where the task runs: a live token means both are still there.
    m_pPoster->Post([this, doc = &doc, alive = doc.GetAliveToken(), fn] {
        if (alive.lock())
            Notify([&](IDocListener& l) { fn(l, *doc); });
    });
}

void CDocManager::NotifyOpened(CDocument& doc)
{
    Notify([&](IDocListener& l) { l.OnDocumentOpened(doc); });
}

void CDocManager::NotifyClosing(CDocument& doc)
{
    Notify([&](IDocListener& l) { l.OnDocumentClosing(doc); });
}

void CDocManager::NotifyDeviceChanged(CDevDoc& dev)
{
    Notify([&](IDocListener& l) { l.OnDeviceChanged(dev); });
}

void CDocManager::PostModifiedChanged(CDocument& doc)
{
    Post(doc, [](IDocListener& l, CDocument& d) { l.OnModifiedChanged(d); });
}

void CDocManager::PostTitleChanged(CDocument& doc)
{
    Post(doc, [](IDocListener& l, CDocument& d) { l.OnTitleChanged(d); });
}

} // namespace korvex
