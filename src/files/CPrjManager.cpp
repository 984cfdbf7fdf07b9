#include "files/CPrjManager.h"

#include "core/CDevDoc.h"
#include "core/CDocManager.h"
#include "core/CDocTemplate.h"
#include "core/FileIo.h"
#include "core/IProjectHost.h"
#include "core/SSettings.h"
#include "core/Text.h"
#include "core/Version.h"
#include "files/CPrjDoc.h"
#include "files/CodePage.h"
#include "files/DevFile.h"
#include "files/IRecentStore.h"
#include "files/ProjectPaths.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace korvex {

CPrjManager::CPrjManager(IProjectHost& host)
    : m_host(host), m_devFormat(host.GetLines(), host.GetSettings()),
      m_tree([this](const std::string& path) { return MakeRelativePath(path); })
{
    CDocManager& docs = m_host.GetDocManager();
    // The project's template comes first: a project is saved and asked about
    // before its devices and scripts.
    m_pPrjTemplate = &docs.AddTemplate(
        std::make_unique<CDocTemplate>("Korvex.Project", "Файлы проекта (*.kvxp)",
                                       [this] { return std::make_unique<CPrjDoc>(*this); }));
    m_pDevTemplate = &docs.AddTemplate(
        std::make_unique<CDocTemplate>("Korvex.Device", "Файлы устройств (*.kvxd)", [this] {
            auto dev = std::make_unique<CDevDoc>(m_host.GetDevHost());
            dev->SetFileFormat(&m_devFormat);
            return dev;
        }));
    docs.AddListener(this);
    m_host.SetPathResolver([this](const std::string& path) { return ResolvePath(path); });
}

CPrjManager::~CPrjManager()
{
    CDocManager& docs = m_host.GetDocManager();
    docs.CloseAllDocuments();
    docs.RemoveListener(this);
    docs.RemoveTemplate(m_pDevTemplate);
    docs.RemoveTemplate(m_pPrjTemplate);
    m_host.SetPathResolver(nullptr);
}

// ---- Paths ---------------------------------------------------------------------

std::string CPrjManager::GetBaseDir() const
{
    if (m_pProject != nullptr && !m_pProject->GetPathName().empty())
        return DirOfPath(m_pProject->GetPathName());
    if (m_fnBaseDir) {
        std::string dir = m_fnBaseDir();
        if (!dir.empty())
            return dir;
    }
    std::string dir(4096, '\0');
    while (::getcwd(dir.data(), dir.size()) == nullptr) {
        if (errno != ERANGE)
            return ".";
        dir.resize(dir.size() * 2);
    }
    dir.resize(std::char_traits<char>::length(dir.c_str()));
    return dir;
}

void CPrjManager::SetBaseDirProvider(std::function<std::string()> provider)
{
    m_fnBaseDir = std::move(provider);
}

std::string CPrjManager::ResolvePath(const std::string& path) const
{
    return ResolvePathIn(GetBaseDir(), path);
}

std::string CPrjManager::MakeRelativePath(const std::string& path) const
{
    return MakeRelativePathTo(MakeFullPath(GetBaseDir()), path);
}

std::string CPrjManager::GetItemLabel(const std::string& path) const
{
    return MakeRelativePath(RemoveExtension(path));
}

// ---- Open documents ------------------------------------------------------------

CDocument* CPrjManager::FindOpenDoc(const std::string& path, int kind) const
{
    if (kind != NODE_DEVICE && kind != NODE_SCRIPT)
        return nullptr;
    CDocTemplate* scripts = m_host.GetScriptTemplate();
    for (CDocument* doc : m_host.GetDocManager().GetDocuments()) {
        if (doc->GetPathName().empty() || MakeRelativePath(doc->GetPathName()) != path)
            continue;
        const bool matches = kind == NODE_DEVICE
                                 ? dynamic_cast<CDevDoc*>(doc) != nullptr
                                 : scripts != nullptr && doc->GetDocTemplate() == scripts;
        if (matches)
            return doc;
    }
    return nullptr;
}

void CPrjManager::ActivateDocument(CDocument& doc)
{
    if (CDocTemplate* tmpl = doc.GetDocTemplate())
        tmpl->ActivateFrame(doc);
}

CDocTemplate* CPrjManager::TemplateOfKind(int kind) const
{
    if (kind == NODE_DEVICE)
        return m_pDevTemplate;
    if (kind == NODE_SCRIPT)
        return m_host.GetScriptTemplate();
    return nullptr;
}

// ---- Document events -----------------------------------------------------------

void CPrjManager::OnDocumentOpened(CDocument& doc)
{
    if (auto* dev = dynamic_cast<CDevDoc*>(&doc))
        m_tree.AddDeviceNode(dev->GetPathName(), dev);
    else if (doc.GetDocTemplate() != nullptr && doc.GetDocTemplate() == m_host.GetScriptTemplate())
        m_tree.AddScriptNode(doc.GetPathName());
}

void CPrjManager::OnDocumentClosing(CDocument& doc)
{
    if (auto* dev = dynamic_cast<CDevDoc*>(&doc))
        m_tree.ForgetDevice(dev);
}

void CPrjManager::OnDeviceChanged(CDevDoc&)
{
    m_tree.RefreshDeviceLabels();
}

// ---- Save prompts --------------------------------------------------------------

bool CPrjManager::SaveModified(CDocument& doc)
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

bool CPrjManager::SaveModifiedDocuments(const CDocument* except)
{
    for (CDocument* doc : m_host.GetDocManager().GetDocuments())
        if (doc != except && !SaveModified(*doc))
            return false;
    return true;
}

// ---- Recent projects -----------------------------------------------------------

void CPrjManager::SetRecentStore(const IRecentStore* store)
{
    m_pRecentStore = store;
    if (store != nullptr) {
        store->LoadRecent(m_recent);
        RecentChanged();
    }
}

void CPrjManager::AddToRecentFileList(const std::string& path)
{
    if (!m_recent.Add(path))
        return;
    if (m_pRecentStore != nullptr)
        m_pRecentStore->SaveRecent(m_recent);
    RecentChanged();
}

void CPrjManager::RemoveFromRecentFileList(std::size_t index)
{
    if (index >= m_recent.GetSize())
        return;
    m_recent.Remove(index);
    if (m_pRecentStore != nullptr)
        m_pRecentStore->SaveRecent(m_recent);
    RecentChanged();
}

void CPrjManager::RecentChanged()
{
    if (m_fnRecentChanged)
        m_fnRecentChanged();
}

// ---- Commands ------------------------------------------------------------------

CPrjDoc* CPrjManager::OnNewProject()
{
    if (!IsIdle())
        return nullptr;
    return static_cast<CPrjDoc*>(m_pPrjTemplate->OpenNewDocument());
}

CPrjDoc* CPrjManager::OnOpenProject(const std::string& path)
{
    if (!IsIdle())
        return nullptr;
    return static_cast<CPrjDoc*>(m_pPrjTemplate->OpenDocumentFile(path));
}

CPrjDoc* CPrjManager::OnOpenRecentProject(std::size_t index)
{
    if (index >= m_recent.GetSize())
        return nullptr;
    const std::string path = m_recent.Get(index);
    CPrjDoc* project = static_cast<CPrjDoc*>(m_pPrjTemplate->OpenDocumentFile(path));
    if (project != nullptr && project->IsReadFailed()) {
        const auto& paths = m_recent.GetPaths();
        const auto it = std::find(paths.begin(), paths.end(), path);
        if (it != paths.end())
            RemoveFromRecentFileList(static_cast<std::size_t>(it - paths.begin()));
    }
    return project;
}

CDocument* CPrjManager::AddToProject(const std::string& path, int kind)
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

CDocument* CPrjManager::OnAddDevice(const std::string& path)
{
    return IsIdle() ? AddToProject(path, NODE_DEVICE) : nullptr;
}

CDocument* CPrjManager::OnAddScript(const std::string& path)
{
    return IsIdle() ? AddToProject(path, NODE_SCRIPT) : nullptr;
}

CDocument* CPrjManager::OnNewDevice(const std::string& path, const std::string& id,
                                    std::uint8_t addr)
{
    if (!IsIdle())
        return nullptr;
    const bool hex = m_host.GetSettings().EDITHEX != 0;
    return WriteAndAdd(path, EncodeFileText(FormatEmptyDevFile(id, addr, hex, GetVersionText())),
                       NODE_DEVICE);
}

CDocument* CPrjManager::OnNewScript(const std::string& path, const std::string& bytes)
{
    return IsIdle() ? WriteAndAdd(path, bytes, NODE_SCRIPT) : nullptr;
}

CDocument* CPrjManager::WriteAndAdd(const std::string& path, const std::string& bytes, int kind)
{
    const std::string full = MakeFullPath(ResolvePath(path));
    if (const int error = ReplaceFile(full, bytes); error != 0) {
        m_host.ReportError(StrFormat("Не удаётся сохранить файл \"%s\": %s", full.c_str(),
                                     ErrorText(error).c_str()));
        return nullptr;
    }
    return AddToProject(full, kind);
}

bool CPrjManager::OnRemoveFromProject()
{
    if (!IsIdle() || !IsFileNodeSelected())
        return false;
    const HNODE node = m_tree.GetSelected();
    const TreeNode record = *m_tree.GetNode(node);
    if (CDocument* doc = FindOpenDoc(record.strName, record.byKind)) {
        // Unsaved changes are not lost without asking.
        if (!SaveModified(*doc))
            return false;
        doc->GetDocTemplate()->CloseDocument(doc);
    }
    m_tree.DeleteNode(node);
    if (m_pProject != nullptr)
        m_pProject->SetModifiedFlag(true);
    return true;
}

CDocument* CPrjManager::OnOpenSelected()
{
    if (!IsFileNodeSelected())
        return nullptr;
    const TreeNode record = *m_tree.GetSelectedNode();
    if (CDocument* doc = FindOpenDoc(record.strName, record.byKind)) {
        ActivateDocument(*doc);
        return doc;
    }
    // The lists of devices and scripts do not change while the emulator runs.
    if (!IsIdle())
        return nullptr;
    CDocTemplate* tmpl = TemplateOfKind(record.byKind);
    return tmpl != nullptr ? tmpl->OpenDocumentFile(record.strName) : nullptr;
}

bool CPrjManager::OnSaveAll()
{
    bool ok = true;
    for (CDocument* doc : m_host.GetDocManager().GetDocuments()) {
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

bool CPrjManager::IsFileNodeSelected() const
{
    const TreeNode* node = m_tree.GetSelectedNode();
    return node != nullptr && (node->byKind == NODE_DEVICE || node->byKind == NODE_SCRIPT);
}

bool CPrjManager::IsIdle() const
{
    return !m_host.IsRunning();
}

CDevDoc* CPrjManager::GetSelectedDevice() const
{
    const TreeNode* node = m_tree.GetSelectedNode();
    return node != nullptr && node->byKind == NODE_DEVICE ? node->pDevice : nullptr;
}

} // namespace korvex
