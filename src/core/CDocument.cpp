#include "core/CDocument.h"

#include "core/CArchive.h"
#include "core/CDocManager.h"
#include "core/FileIo.h"
#include "core/Text.h"

#include <cerrno>
#include <cstdio>

namespace korvex {

CDocument::CDocument(CDocManager* manager) : m_pManager(manager) {}

CDocument::~CDocument() = default;

void CDocument::SetPathName(const std::string& path)
{
    m_strPathName = path;
    const auto slash = path.find_last_of('/');
    m_strTitle = slash == std::string::npos ? path : path.substr(slash + 1);
    TitleChanged();
}

void CDocument::SetTitle(const std::string& title)
{
    m_strTitle = title;
    TitleChanged();
}

void CDocument::TitleChanged()
{
    if (m_pManager != nullptr)
        m_pManager->PostTitleChanged(*this);
}

void CDocument::SetModifiedFlag(bool modified)
{
    if (m_bModified.exchange(modified) != modified && m_pManager != nullptr)
        m_pManager->PostModifiedChanged(*this);
}

bool CDocument::OnNewDocument()
{
    m_strPathName.clear();
    m_strTitle.clear();
    TitleChanged();
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnOpenDocument(const std::string& path)
{
    const std::string full = MakeFullPath(path);
    std::string bytes;
    bool opened = false;
    if (const int error = ReadWholeFile(full, bytes, &opened); error != 0) {
        ReportError(opened ? StrFormat("Ошибка чтения файла \"%s\": %s", full.c_str(),
                                       ErrorText(error).c_str())
                           : StrFormat("Не удаётся открыть файл \"%s\": %s", full.c_str(),
                                       ErrorText(error).c_str()));
        return false;
    }
    CArchive ar(CArchive::Mode::Load, full, std::move(bytes));
    if (!Serialize(ar)) {
        ReportError(GetBadFormatText(full));
        return false;
    }
    SetPathName(full);
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const std::string& path)
{
    const std::string full = MakeFullPath(path);
    // Serialize may take the archive's path; a failed save keeps the old one.
    const std::string oldPath = m_strPathName;
    const std::string oldTitle = m_strTitle;
    // The flag goes down before the content is taken: a cell written by the
    // master or a script while the file is written raises it again, so that
    // change is not taken for saved.
    const bool wasModified = IsModified();
    SetModifiedFlag(false);
    CArchive ar(CArchive::Mode::Store, full);
    int error = 0;
    if (Serialize(ar))
        error = ReplaceFile(full, ar.GetBytes());
    else
        error = EINVAL;
    if (error != 0) {
        m_strPathName = oldPath;
        m_strTitle = oldTitle;
        TitleChanged();
        if (wasModified)
            SetModifiedFlag(true);
        ReportError(StrFormat("Не удаётся сохранить файл \"%s\": %s", full.c_str(),
                              ErrorText(error).c_str()));
        return false;
    }
    return true;
}

bool CDocument::DoSave(const std::string& path)
{
    const std::string name = path.empty() ? GetPathName() : path;
    if (name.empty())
        return false;
    if (!OnSaveDocument(name))
        return false;
    SetPathName(MakeFullPath(name));
    return true;
}

bool CDocument::Serialize(CArchive&)
{
    return true;
}

void CDocument::ReportError(const std::string& text) const
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::string CDocument::GetBadFormatText(const std::string& path) const
{
    return StrFormat("Неверный формат файла \"%s\"", path.c_str());
}

} // namespace korvex
