// The project commands of the application: new, open and recent projects,
// adding, removing and opening the project's files, save all, the save
// prompts and when each command is enabled. User-interface thread.

#include "core/CDevDoc.h"
#include "core/CDocTemplate.h"
#include "core/CKorvexApp.h"
#include "core/FileIo.h"
#include "core/IRecentStore.h"
#include "core/Text.h"
#include "files/CPrjDoc.h"
#include "files/CProjectTree.h"

#include <algorithm>

namespace korvex {

// ---- Open documents ------------------------------------------------------------

CDocument* CKorvexApp::FindOpenDoc(const std::string& path, int kind) const
{
    if (kind != NODE_DEVICE && kind != NODE_SCRIPT)
        return nullptr;
    for (CDocument* doc : m_docManager.GetDocuments()) {
        if (doc->GetPathName().empty() || MakeRelativePath(doc->GetPathName()) != path)
            continue;
        const bool matches = kind == NODE_DEVICE ? dynamic_cast<CDevDoc*>(doc) != nullptr
                                                 : m_pScriptTemplate != nullptr &&
                                                       doc->GetDocTemplate() == m_pScriptTemplate;
        if (matches)
            return doc;
    }
    return nullptr;
}

void CKorvexApp::ActivateDocument(CDocument& doc)
{
    if (CDocTemplate* tmpl = doc.GetDocTemplate())
        tmpl->ActivateFrame(doc);
}

CDocTemplate* CKorvexApp::TemplateOfKind(int kind) const
{
    if (kind == NODE_DEVICE)
        return m_pDevTemplate;
    if (kind == NODE_SCRIPT)
        return m_pScriptTemplate;
    return nullptr;
}

// ---- Save prompts --------------------------------------------------------------

bool CKorvexApp::SaveModified(CDocument& doc)
{
    if (!doc.IsModified())
        return true;
    const std::string text = FormatMessage1(kSavePrompt, doc.GetTitle());
    const PromptAnswer answer = m_fnSavePrompt ? m_fnSavePrompt(text) : PromptAnswer::No;
    if (answer == PromptAnswer::Cancel)
        return false;
    if (answer == PromptAnswer::No)
        return true;
    std::string path = doc.GetPathName();
    if (path.empty() && m_fnPathPrompt)
        path = m_fnPathPrompt(doc);
    return !path.empty() && doc.DoSave(path);
}

bool CKorvexApp::SaveModifiedDocuments(const CDocument* except)
{
    for (CDocument* doc : m_docManager.GetDocuments())
        if (doc != except && !SaveModified(*doc))
            return false;
    return true;
}

// ---- Recent projects -----------------------------------------------------------

void CKorvexApp::SetRecentStore(const IRecentStore* store)
{
    m_pRecentStore = store;
    if (store != nullptr)
        store->LoadRecent(m_recent);
}

void CKorvexApp::AddToRecentFileList(const std::string& path)
{
    if (m_recent.Add(path) && m_pRecentStore != nullptr)
        m_pRecentStore->SaveRecent(m_recent);
}

// ---- Commands ------------------------------------------------------------------

CPrjDoc* CKorvexApp::OnNewProject()
{
    if (!CanNewProject())
        return nullptr;
    return static_cast<CPrjDoc*>(m_pPrjTemplate->OpenNewDocument());
}

CPrjDoc* CKorvexApp::OnOpenProject(const std::string& path)
{
    if (!CanOpenProject())
        return nullptr;
    return static_cast<CPrjDoc*>(m_pPrjTemplate->OpenDocumentFile(path));
}

CPrjDoc* CKorvexApp::OnOpenRecentProject(std::size_t index)
{
    if (!CanOpenRecentProject() || index >= m_recent.GetSize())
        return nullptr;
    const std::string path = m_recent.Get(index);
    CPrjDoc* project = static_cast<CPrjDoc*>(m_pPrjTemplate->OpenDocumentFile(path));
    if (project != nullptr && project->IsReadFailed()) {
        const auto& paths = m_recent.GetPaths();
        const auto it = std::find(paths.begin(), paths.end(), path);
        if (it != paths.end()) {
            m_recent.Remove(static_cast<std::size_t>(it - paths.begin()));
            if (m_pRecentStore != nullptr)
                m_pRecentStore->SaveRecent(m_recent);
        }
    }
    return project;
}

CDocument* CKorvexApp::AddToProject(const std::string& path, int kind)
{
    CDocTemplate* tmpl = TemplateOfKind(kind);
    if (tmpl == nullptr || path.empty())
        return nullptr;
    // Compared in the tree's form of paths, as the documents open them.
    const std::string full = MakeFullPath(ResolvePath(path));
    if (CDocument* open = FindOpenDoc(MakeRelativePath(full), kind)) {
        ActivateDocument(*open);
        return open;
    }
    CDocument* doc = tmpl->OpenDocumentFile(full);
    if (doc != nullptr && m_pProject != nullptr)
        m_pProject->SetModifiedFlag(true);
    return doc;
}

CDocument* CKorvexApp::OnAddDevice(const std::string& path)
{
    return CanAddDevice() ? AddToProject(path, NODE_DEVICE) : nullptr;
}

CDocument* CKorvexApp::OnAddScript(const std::string& path)
{
    return CanAddScript() ? AddToProject(path, NODE_SCRIPT) : nullptr;
}

bool CKorvexApp::OnRemoveFromProject()
{
    if (!CanRemoveFromProject())
        return false;
    const HNODE node = m_pTree->GetSelected();
    const TreeNode record = *m_pTree->GetNode(node);
    if (CDocument* doc = FindOpenDoc(record.strName, record.byKind)) {
        // Unsaved changes are not lost without asking.
        if (!SaveModified(*doc))
            return false;
        doc->GetDocTemplate()->CloseDocument(doc);
    }
    m_pTree->DeleteNode(node);
    if (m_pProject != nullptr)
        m_pProject->SetModifiedFlag(true);
    return true;
}

CDocument* CKorvexApp::OnOpenSelected()
{
    if (!IsFileNodeSelected())
        return nullptr;
    const TreeNode record = *m_pTree->GetSelectedNode();
    if (CDocument* doc = FindOpenDoc(record.strName, record.byKind)) {
        ActivateDocument(*doc);
        return doc;
    }
    // The lists of devices and scripts do not change while the emulator runs.
    if (!CanOpenSelected())
        return nullptr;
    CDocTemplate* tmpl = TemplateOfKind(record.byKind);
    return tmpl != nullptr ? tmpl->OpenDocumentFile(record.strName) : nullptr;
}

bool CKorvexApp::OnSaveAll()
{
    bool ok = true;
    for (CDocument* doc : m_docManager.GetDocuments()) {
        if (!doc->IsModified())
            continue;
        std::string path = doc->GetPathName();
        if (path.empty() && m_fnPathPrompt)
            path = m_fnPathPrompt(*doc);
        if (path.empty())
            return false;
        if (!doc->DoSave(path))
            ok = false;
    }
    return ok;
}

// ---- Enabled when --------------------------------------------------------------

bool CKorvexApp::IsFileNodeSelected() const
{
    const TreeNode* node = m_pTree->GetSelectedNode();
    return node != nullptr && (node->byKind == NODE_DEVICE || node->byKind == NODE_SCRIPT);
}

bool CKorvexApp::CanRemoveFromProject() const
{
    return m_pTree->IsShown() && !IsRunning() && IsFileNodeSelected();
}

bool CKorvexApp::CanOpenSelected() const
{
    return !IsRunning() && IsFileNodeSelected();
}

bool CKorvexApp::CanChangeIdAndAddress() const
{
    return m_pTree->IsShown() && !IsRunning();
}

bool CKorvexApp::CanSaveAll() const
{
    return m_docManager.IsAnyModified();
}

} // namespace korvex
