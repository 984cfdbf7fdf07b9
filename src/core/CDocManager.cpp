#include "core/CDocManager.h"

#include "core/CDocTemplate.h"
#include "core/CDocument.h"

namespace korvex {

CDocManager::CDocManager() = default;

CDocManager::~CDocManager()
{
    CloseAllDocuments();
}

CDocTemplate& CDocManager::AddTemplate(std::unique_ptr<CDocTemplate> tmpl)
{
    m_arTemplates.push_back(std::move(tmpl));
    return *m_arTemplates.back();
}

std::vector<CDocTemplate*> CDocManager::GetTemplates() const
{
    std::vector<CDocTemplate*> templates;
    for (const auto& tmpl : m_arTemplates)
        templates.push_back(tmpl.get());
    return templates;
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

} // namespace korvex
