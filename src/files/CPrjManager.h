#pragma once

#include "core/IDocListener.h"
#include "files/CDevFileFormat.h"
#include "files/CProjectTree.h"
#include "files/CRecentList.h"

#include <functional>
#include <memory>
#include <string>

namespace korvex {

class CDocTemplate;
class CDocument;
class IProjectHost;
class CPrjDoc;
class IRecentStore;

// The project side of the application: the project and device templates,
// the current project and its tree, project-relative paths, the recent
// projects, the save prompts and the project commands with the rules of when
// each is enabled.
//
// It listens to the documents: an opened device or script joins the tree, a
// device that goes leaves its node, a device whose ID or address changed gets
// its label again. Made after the hub and destroyed before it: its
// destructor closes every document. User-interface thread only.
class CPrjManager final : public IDocListener
{
public:
    // The answer to "save the changes?"; the text names the document.
    enum class PromptAnswer
    {
        Yes,
        No,
        Cancel,
    };
    using SavePrompt = std::function<PromptAnswer(const std::string& text)>;
    // A name to save a document under that has none yet; empty cancels.
    using PathPrompt = std::function<std::string(CDocument& doc)>;
    static constexpr char kSavePrompt[] = "Сохранить изменения в %1?";

    // Registers the project template, then the device template, with the
    // hub's document manager, and installs the path resolver.
    explicit CPrjManager(IProjectHost& host);
    ~CPrjManager() override;

    CPrjManager(const CPrjManager&) = delete;
    CPrjManager& operator=(const CPrjManager&) = delete;

    IProjectHost& GetHost() const { return m_host; }
    CDocTemplate& GetPrjTemplate() { return *m_pPrjTemplate; }
    CDocTemplate& GetDevTemplate() { return *m_pDevTemplate; }
    const CDevFileFormat& GetDevFileFormat() const { return m_devFormat; }

    // The current project: null before the first is created or opened; set
    // by the project document itself.
    CPrjDoc* GetProject() const { return m_pProject; }
    void SetProject(CPrjDoc* project) { m_pProject = project; }
    // The project's content, which the project bar mirrors.
    CProjectTree& GetProjectTree() { return m_tree; }
    const CProjectTree& GetProjectTree() const { return m_tree; }

    // ---- Paths ---------------------------------------------------------------

    // The folder against which relative document paths are resolved: the
    // current project's folder when the project has a path, else what the
    // base folder provider answers, else the current directory.
    std::string GetBaseDir() const;
    void SetBaseDirProvider(std::function<std::string()> provider);
    // An absolute path unchanged; a relative one (either slash, a leading
    // ".\" dropped) joined to GetBaseDir().
    std::string ResolvePath(const std::string& path) const;
    // An absolute path made relative to GetBaseDir() in the project file's
    // form (".\sub\pump.kvxd"); a relative path unchanged.
    std::string MakeRelativePath(const std::string& path) const;
    // The path without its extension, made project-relative: ".\pump".
    std::string GetItemLabel(const std::string& path) const;

    // ---- Open documents and save prompts -------------------------------------

    // The first open document, in template and document order, whose path
    // made project-relative equals path exactly and which is a device (kind
    // 1) or a document of the script template (kind 2); null for a group.
    CDocument* FindOpenDoc(const std::string& path, int kind) const;
    // Shows and activates the document's window (nothing without windows).
    void ActivateDocument(CDocument& doc);

    // Without a save prompt every question is answered "no" (the headless
    // program); without a path prompt a document without a name is not saved.
    void SetSavePrompt(SavePrompt prompt) { m_fnSavePrompt = std::move(prompt); }
    void SetPathPrompt(PathPrompt prompt) { m_fnPathPrompt = std::move(prompt); }
    // Asks "Сохранить изменения в %1?" for a modified document: yes saves it
    // (asking for a name where needed), no leaves it. False on cancel or
    // when the save failed: the command that asked is abandoned.
    bool SaveModified(CDocument& doc);
    // SaveModified for every modified document but except, in template and
    // document order; false at the first cancel.
    bool SaveModifiedDocuments(const CDocument* except);

    // ---- Recent projects -------------------------------------------------------

    // Loaded from the store when it is set and saved to it on every change;
    // without a store the list lives in memory only.
    void SetRecentStore(const IRecentStore* store);
    // Called after every change of the list.
    void SetRecentListener(std::function<void()> listener)
    {
        m_fnRecentChanged = std::move(listener);
    }
    const CRecentList& GetRecentList() const { return m_recent; }
    // Puts a project path first; other paths do not enter the list.
    void AddToRecentFileList(const std::string& path);
    // Forgets the entry (a recent project that is gone).
    void RemoveFromRecentFileList(std::size_t index);

    // ---- Commands --------------------------------------------------------------

    // Each does nothing (null or false) while the emulator runs, or without
    // the node it needs selected. New and open
    // give the project, which may be left empty by a file that cannot be read
    // (CPrjDoc::IsReadFailed), or null when a save prompt was cancelled. A
    // recent entry whose project cannot be read leaves the list.
    CPrjDoc* OnNewProject();
    CPrjDoc* OnOpenProject(const std::string& path);
    CPrjDoc* OnOpenRecentProject(std::size_t index);
    // The open document of the file, activated, or the file opened (it joins
    // the tree) and the project marked modified; null when it does not open.
    CDocument* OnAddDevice(const std::string& path);
    CDocument* OnAddScript(const std::string& path);
    // Writes the file of a new device without cells (or of a new script, its
    // bytes given), replacing what is there, and adds it to the project as
    // OnAddDevice and OnAddScript do. Null, with the reason reported, when
    // the file cannot be written; enabled when adding is.
    CDocument* OnNewDevice(const std::string& path, const std::string& id, std::uint8_t addr);
    CDocument* OnNewScript(const std::string& path, const std::string& bytes);
    // The selected device or script: its document, when open, is saved if
    // the user says so and closed; its node deleted; the project modified.
    // False when nothing suitable is selected or the prompt was cancelled.
    bool OnRemoveFromProject();
    // The selected device's or script's document, activated, or opened from
    // the node's path. While the emulator runs only an open document is
    // activated.
    CDocument* OnOpenSelected();
    // Saves every modified document, asking for names where needed; false
    // when a save failed or a name was not given.
    bool OnSaveAll();

    // The device of the selected node, or null.
    CDevDoc* GetSelectedDevice() const;

    // IDocListener.
    void OnDocumentOpened(CDocument& doc) override;
    void OnDocumentClosing(CDocument& doc) override;
    void OnDeviceChanged(CDevDoc& dev) override;

private:
    CDocument* WriteAndAdd(const std::string& path, const std::string& bytes, int kind);
    CDocument* AddToProject(const std::string& path, int kind);
    CDocTemplate* TemplateOfKind(int kind) const;
    bool IsFileNodeSelected() const;
    // The project's lists of devices and scripts do not change while the
    // emulator runs; the windows decide when a command is offered.
    bool IsIdle() const;
    void RecentChanged();

    IProjectHost& m_host;
    CDevFileFormat m_devFormat;
    CProjectTree m_tree;
    CDocTemplate* m_pPrjTemplate{ nullptr }; // owned by the document manager
    CDocTemplate* m_pDevTemplate{ nullptr }; // owned by the document manager
    CPrjDoc* m_pProject{ nullptr };          // owned by the document manager
    std::function<std::string()> m_fnBaseDir;
    SavePrompt m_fnSavePrompt;
    PathPrompt m_fnPathPrompt;
    CRecentList m_recent;
    const IRecentStore* m_pRecentStore{ nullptr };
    std::function<void()> m_fnRecentChanged;
};

} // namespace korvex
