#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace korvex {

class CArchive;
class CDocManager;
class CDocTemplate;

// The document layer's base: a path name, a title (the file name), a modified
// flag, and open and save through Serialize. The flag may be raised from any
// thread (scripts write cells); everything else runs on the user-interface
// thread. A document made for a manager tells the manager's listeners of its
// changes (IDocListener).
class CDocument
{
public:
    explicit CDocument(CDocManager* manager = nullptr);
    virtual ~CDocument();

    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    const std::string& GetPathName() const { return m_strPathName; }
    // Sets the path and makes the title its file name.
    virtual void SetPathName(const std::string& path);
    const std::string& GetTitle() const { return m_strTitle; }
    void SetTitle(const std::string& title);

    virtual bool IsModified() const { return m_bModified.load(); }
    // Any thread; a change of the flag is posted to the listeners.
    virtual void SetModifiedFlag(bool modified = true);

    // The template that made the document; null for one made directly.
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }
    CDocManager* GetDocManager() const { return m_pManager; }

    // A new, empty document: not modified, no path. False when the kind
    // cannot be created empty.
    virtual bool OnNewDocument();
    // Reads the whole file and loads it through Serialize; on success the
    // document takes the file's full path and is not modified. A file that
    // cannot be opened or read, or content Serialize refuses, is reported
    // through ReportError and gives false.
    virtual bool OnOpenDocument(const std::string& path);
    // Stores the document through Serialize and replaces the file with the
    // result (a temporary file renamed over the old one). On success the
    // document is not modified; on failure the old file stays as it was, the
    // failure is reported through ReportError and the document keeps its path
    // and stays modified.
    virtual bool OnSaveDocument(const std::string& path);
    // Saves under path, or under the document's own path when path is empty;
    // false when there is no path. On success the document takes the path.
    bool DoSave(const std::string& path);
    // Saves under the document's own path.
    bool Save() { return DoSave(GetPathName()); }

    // Loads the content from a loading archive or writes it into a storing
    // one. False when a loading archive's content is unusable.
    virtual bool Serialize(CArchive& ar);

    // Shows a message of the document layer (file errors) to the user. The
    // base writes it to standard error; documents pass it to their application.
    virtual void ReportError(const std::string& text) const;
    // The message for a file whose content Serialize refused; path is the
    // file's full path.
    virtual std::string GetBadFormatText(const std::string& path) const;

    // Lives as long as the document: a posted task holds it weakly to learn
    // whether the document still exists when it runs.
    std::weak_ptr<const int> GetAliveToken() const { return m_pAlive; }

private:
    friend class CDocTemplate;

    void TitleChanged();

    std::string m_strPathName;
    std::string m_strTitle;
    std::atomic<bool> m_bModified{ false };
    CDocTemplate* m_pDocTemplate{ nullptr };
    CDocManager* m_pManager{ nullptr };
    std::shared_ptr<const int> m_pAlive{ std::make_shared<const int>(0) };
};

} // namespace korvex
