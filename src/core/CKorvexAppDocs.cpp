// The application's document side: the templates, the base folder of
// relative paths and the document layer's messages. User-interface thread.

#include "core/CDevDoc.h"
#include "core/CDocTemplate.h"
#include "core/CKorvexApp.h"
#include "core/FileIo.h"
#include "files/CPrjDoc.h"
#include "files/CProjectTree.h"
#include "files/ProjectPaths.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace korvex {

void CKorvexApp::RegisterTemplates()
{
    // The project's template comes first: a project is saved and asked about
    // before its devices and scripts.
    m_pPrjTemplate = &m_docManager.AddTemplate(
        std::make_unique<CDocTemplate>("Korvex.Project", "Файлы проекта (*.kvxp)", ".kvxp",
                                       [this] { return std::make_unique<CPrjDoc>(*this); }));
    m_pDevTemplate = &m_docManager.AddTemplate(
        std::make_unique<CDocTemplate>("Korvex.Device", "Файлы устройств (*.kvxd)", ".kvxd",
                                       [this] { return std::make_unique<CDevDoc>(*this); }));
}

std::string CKorvexApp::GetBaseDir() const
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

void CKorvexApp::SetBaseDirProvider(std::function<std::string()> provider)
{
    m_fnBaseDir = std::move(provider);
}

std::string CKorvexApp::ResolvePath(const std::string& path) const
{
    return ResolvePathIn(GetBaseDir(), path);
}

std::string CKorvexApp::MakeRelativePath(const std::string& path) const
{
    return MakeRelativePathTo(MakeFullPath(GetBaseDir()), path);
}

std::string CKorvexApp::GetItemLabel(const std::string& path) const
{
    return MakeRelativePath(RemoveExtension(path));
}

void CKorvexApp::SetMessageHandler(MessageHandler handler)
{
    m_fnMessage = std::move(handler);
}

void CKorvexApp::ReportError(const std::string& text) const
{
    if (m_fnMessage)
        m_fnMessage(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace korvex
