#include "files/CPrjDoc.h"

#include "core/CArchive.h"
#include "core/CDocManager.h"
#include "core/CDocTemplate.h"
#include "core/FileIo.h"
#include "core/IProjectHost.h"
#include "core/Text.h"
#include "core/Version.h"
#include "files/CPrjManager.h"
#include "files/CProjectTree.h"
#include "files/CodePage.h"
#include "files/PrjFile.h"
#include "files/ProjectPaths.h"
#include "files/TextFields.h"

#include <cerrno>
#include <sys/stat.h>

namespace korvex {
namespace {

// The names of a group's children in tree order.
std::vector<std::string> GroupNames(const CProjectTree& tree, const char* group)
{
    std::vector<std::string> names;
    const HNODE node = tree.FindNode({ NODE_GROUP, group, nullptr });
    for (const HNODE child : tree.GetChildren(node))
        names.push_back(tree.GetNode(child)->strName);
    return names;
}

bool FileIsMissing(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

} // namespace

CPrjDoc::CPrjDoc(CPrjManager& manager)
    : CDocument(&manager.GetHost().GetDocManager()), m_mgr(manager)
{
}

CPrjDoc::~CPrjDoc()
{
    GetDocManager()->NotifyClosing(*this);
    if (m_mgr.GetProject() == this)
        m_mgr.SetProject(nullptr);
}

bool CPrjDoc::ReplaceProject()
{
    // No edits are lost without asking, whether or not the project itself is
    // modified.
    if (!m_mgr.SaveModifiedDocuments(this))
        return false;
    m_mgr.GetHost().GetDocManager().CloseAllDocumentsExcept(this);
    return true;
}

bool CPrjDoc::OnNewDocument()
{
    if (!ReplaceProject())
        return false;
    CDocument::OnNewDocument();
    m_bReadFailed = false;
    m_mgr.SetProject(this);
    CProjectTree& tree = m_mgr.GetProjectTree();
    tree.ResetTree();
    tree.SetShown(true);
    return true;
}

bool CPrjDoc::OnOpenDocument(const std::string& path)
{
    if (!ReplaceProject())
        return false;
    CProjectTree& tree = m_mgr.GetProjectTree();
    tree.ResetTree();
    m_mgr.SetProject(this);
    const std::string title = GetTitle();
    SetPathName(MakeFullPath(path));
    m_bReadFailed = !CDocument::OnOpenDocument(path);
    if (m_bReadFailed) {
        // Current but empty; the previous project's documents are closed.
        SetPathName(title);
        return true;
    }
    tree.SetShown(true);
    m_mgr.AddToRecentFileList(GetPathName());
    return true;
}

bool CPrjDoc::OnSaveDocument(const std::string& path)
{
    const std::string oldBase = MakeFullPath(m_mgr.GetBaseDir());
    if (!CDocument::OnSaveDocument(path))
        return false;
    // The path name is the file's now, so the base is its folder.
    const std::string newBase = m_mgr.GetBaseDir();
    if (newBase != oldBase)
        m_mgr.GetProjectTree().RenameFiles([&](const std::string& name) {
            return MakeRelativePathTo(newBase, MakeFullPath(ResolvePathIn(oldBase, name)));
        });
    // Saved under a name, the project is found again among the recent ones.
    m_mgr.AddToRecentFileList(GetPathName());
    return true;
}

bool CPrjDoc::Serialize(CArchive& ar)
{
    if (ar.IsLoading())
        return Load(ar);
    Store(ar);
    return true;
}

bool CPrjDoc::Load(CArchive& ar)
{
    const std::string text = DecodeFileText(ar.GetBytes());
    if (HoldsControlCharacters(text))
        return false;
    // From here on the base of relative paths is the project file's folder.
    SetPathName(ar.GetFilePath());
    std::vector<std::string> missing;
    for (const SPrjEntry& entry : ParsePrjFile(text)) {
        const int kind = entry.bDevice ? NODE_DEVICE : NODE_SCRIPT;
        CDocTemplate* tmpl =
            entry.bDevice ? &m_mgr.GetDevTemplate() : m_mgr.GetHost().GetScriptTemplate();
        if (tmpl == nullptr)
            continue;
        const std::string full = MakeFullPath(m_mgr.ResolvePath(entry.strPath));
        // A file listed twice opens once; the next save drops the second line.
        if (m_mgr.FindOpenDoc(m_mgr.MakeRelativePath(full), kind) != nullptr)
            continue;
        if (FileIsMissing(full)) {
            missing.push_back(full);
            continue;
        }
        // The document adds its own node; one that does not open is skipped.
        tmpl->OpenDocumentFile(full);
    }
    ReportMissing(missing);
    return true;
}

void CPrjDoc::ReportMissing(const std::vector<std::string>& paths) const
{
    if (paths.size() == 1)
        ReportError(FormatMessage1(kMissingFile, paths.front()));
    if (paths.size() <= 1)
        return;
    std::string text = StrFormat(kMissingFiles, static_cast<int>(paths.size()));
    for (std::size_t i = 0; i < paths.size() && i < kMissingShown; ++i)
        text += "\n" + paths[i];
    if (paths.size() > kMissingShown)
        text += "\n" + StrFormat(kMissingMore, static_cast<int>(paths.size() - kMissingShown));
    ReportError(text + "\n" + kMissingCheck);
}

void CPrjDoc::Store(CArchive& ar)
{
    // The tree's names are relative to the folder the project was in; they
    // are written relative to the folder of the file being written.
    const std::string oldBase = MakeFullPath(m_mgr.GetBaseDir());
    SetPathName(ar.GetFilePath());
    const CProjectTree& tree = m_mgr.GetProjectTree();
    auto rebase = [&](std::vector<std::string> names) {
        for (std::string& name : names)
            name = m_mgr.MakeRelativePath(MakeFullPath(ResolvePathIn(oldBase, name)));
        return names;
    };
    const std::string text =
        FormatPrjFile(rebase(GroupNames(tree, CProjectTree::kScriptsGroup)),
                      rebase(GroupNames(tree, CProjectTree::kDevicesGroup)), GetVersionText());
    ar.Write(EncodeFileText(text));
}

void CPrjDoc::ReportError(const std::string& text) const
{
    m_mgr.GetHost().ReportError(text);
}

std::string CPrjDoc::GetBadFormatText(const std::string& path) const
{
    return StrFormat(kNotAProject, path.c_str());
}

} // namespace korvex
