#pragma once

#include <memory>
#include <vector>

namespace korvex {

class CDocTemplate;
class CDocument;

// The application's document templates in the order they were registered,
// and the operations over every open document. User-interface thread only.
class CDocManager
{
public:
    CDocManager();
    ~CDocManager();

    CDocManager(const CDocManager&) = delete;
    CDocManager& operator=(const CDocManager&) = delete;

    CDocTemplate& AddTemplate(std::unique_ptr<CDocTemplate> tmpl);
    std::vector<CDocTemplate*> GetTemplates() const;

    // Every open document, in template and document order.
    std::vector<CDocument*> GetDocuments() const;
    bool IsAnyModified() const;

    // Saves every modified document that has a path, in template and document
    // order; each failure is reported by its document. False when any save
    // failed or a modified document has no path.
    bool SaveAllModified();

    // Destroys every document, the last template's first.
    void CloseAllDocuments();
    // The same, keeping one document alive (a project that replaces the
    // current one closes everything else).
    void CloseAllDocumentsExcept(const CDocument* keep);

private:
    std::vector<std::unique_ptr<CDocTemplate>> m_arTemplates;
};

} // namespace korvex
