#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

class CDocManager;
class CDocument;
class IDocFrames;

// One document kind: makes its documents through a factory and owns every
// open document of the kind, in the order they were created. User-interface
// thread only.
class CDocTemplate
{
public:
    using Factory = std::function<std::unique_ptr<CDocument>()>;

    // docTypeName "Korvex.Device", filterName "Файлы устройств (*.kvxd)": the
    // file dialogs' filter, which gives the extension of the files.
    CDocTemplate(std::string docTypeName, std::string filterName, Factory factory);
    ~CDocTemplate();

    CDocTemplate(const CDocTemplate&) = delete;
    CDocTemplate& operator=(const CDocTemplate&) = delete;

    const std::string& GetDocTypeName() const { return m_strDocTypeName; }
    const std::string& GetFilterName() const { return m_strFilterName; }

    // The window side; null (the default) gives documents without windows.
    void SetFrames(IDocFrames* frames) { m_pFrames = frames; }

    // Creates a document, gives it its frame and opens the file. When opening
    // fails the document is destroyed and the result is null.
    CDocument* OpenDocumentFile(const std::string& path);
    // Creates a new, empty document; null when the kind cannot be created empty.
    CDocument* OpenNewDocument();

    // Shows and activates the document's frame; nothing without frames.
    void ActivateFrame(CDocument& doc);

    // Destroys one of this template's documents (its frame first).
    void CloseDocument(CDocument* doc);
    // Destroys every document, the newest first.
    void CloseAllDocuments();

    std::vector<CDocument*> GetDocuments() const;
    std::size_t GetDocumentCount() const { return m_arDocs.size(); }

    // The manager the template was added to; null before.
    CDocManager* GetDocManager() const { return m_pManager; }

private:
    friend class CDocManager;

    CDocument* CreateDocument();

    std::string m_strDocTypeName;
    std::string m_strFilterName;
    Factory m_factory;
    IDocFrames* m_pFrames{ nullptr };
    CDocManager* m_pManager{ nullptr };
    std::vector<std::unique_ptr<CDocument>> m_arDocs;
};

} // namespace korvex
