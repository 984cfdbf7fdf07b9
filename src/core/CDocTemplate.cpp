#include "core/CDocTemplate.h"

#include "core/CDocument.h"
#include "core/IDocFrames.h"

#include <algorithm>

namespace korvex {

CDocTemplate::CDocTemplate(std::string docTypeName, std::string filterName, Factory factory)
    : m_strDocTypeName(std::move(docTypeName)), m_strFilterName(std::move(filterName)),
      m_factory(std::move(factory))
{
}

CDocTemplate::~CDocTemplate()
{
    CloseAllDocuments();
}

CDocument* CDocTemplate::CreateDocument()
{
    std::unique_ptr<CDocument> doc = m_factory();
    if (!doc)
        return nullptr;
    doc->m_pDocTemplate = this;
    m_arDocs.push_back(std::move(doc));
    CDocument* created = m_arDocs.back().get();
    if (m_pFrames != nullptr)
        m_pFrames->CreateFrame(*created);
    return created;
}

CDocument* CDocTemplate::OpenDocumentFile(const std::string& path)
{
    CDocument* doc = CreateDocument();
    if (doc != nullptr && !doc->OnOpenDocument(path)) {
        CloseDocument(doc);
        return nullptr;
    }
    if (doc != nullptr && m_pFrames != nullptr)
        m_pFrames->InitialUpdateFrame(*doc);
    return doc;
}

CDocument* CDocTemplate::OpenNewDocument()
{
    CDocument* doc = CreateDocument();
    if (doc != nullptr && !doc->OnNewDocument()) {
        CloseDocument(doc);
        return nullptr;
    }
    return doc;
}

void CDocTemplate::ActivateFrame(CDocument& doc)
{
    if (m_pFrames != nullptr)
        m_pFrames->ActivateFrame(doc);
}

void CDocTemplate::CloseDocument(CDocument* doc)
{
    const auto it = std::find_if(m_arDocs.begin(), m_arDocs.end(),
                                 [doc](const auto& p) { return p.get() == doc; });
    if (it == m_arDocs.end())
        return;
    if (m_pFrames != nullptr)
        m_pFrames->DestroyFrame(*doc);
    // Out of the list before it is destroyed, so that its destructor sees a
    // consistent list.
    std::unique_ptr<CDocument> owned = std::move(*it);
    m_arDocs.erase(it);
    owned.reset();
}

void CDocTemplate::CloseAllDocuments()
{
    while (!m_arDocs.empty())
        CloseDocument(m_arDocs.back().get());
}

std::vector<CDocument*> CDocTemplate::GetDocuments() const
{
    std::vector<CDocument*> docs;
    docs.reserve(m_arDocs.size());
    for (const auto& doc : m_arDocs)
        docs.push_back(doc.get());
    return docs;
}

} // namespace korvex
