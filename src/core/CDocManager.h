#pragma once

#include "core/CObserverList.h"

#include <memory>
#include <vector>

namespace korvex {

class CDevDoc;
class CDocTemplate;
class CDocument;
class IDocListener;
class IUiPoster;

// The application's document templates in the order they were registered,
// the operations over every open document, and the listeners told of what
// happens to documents. User-interface thread only, except the two Post
// calls, which documents make from any thread.
class CDocManager
{
public:
    CDocManager();
    ~CDocManager();

    CDocManager(const CDocManager&) = delete;
    CDocManager& operator=(const CDocManager&) = delete;

    CDocTemplate& AddTemplate(std::unique_ptr<CDocTemplate> tmpl);
    // Closes the template's documents and destroys it.
    void RemoveTemplate(CDocTemplate* tmpl);

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

    // Listeners and the poster are set while wiring, before threads run.
    void SetPoster(IUiPoster* poster) { m_pPoster = poster; }
    void AddListener(IDocListener* listener);
    void RemoveListener(IDocListener* listener);

    // Called by documents.
    void NotifyOpened(CDocument& doc);
    void NotifyClosing(CDocument& doc);
    void NotifyDeviceChanged(CDevDoc& dev);
    void PostModifiedChanged(CDocument& doc);
    void PostTitleChanged(CDocument& doc);

private:
    template <typename Fn> void Notify(Fn fn);
    template <typename Fn> void Post(CDocument& doc, Fn fn);

    std::vector<std::unique_ptr<CDocTemplate>> m_arTemplates;
    CObserverList<IDocListener> m_listeners;
    IUiPoster* m_pPoster{ nullptr };
};

} // namespace korvex
