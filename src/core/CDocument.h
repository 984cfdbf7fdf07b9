#pragma once

#include <atomic>
#include <string>

namespace korvex {

// The document layer's base: a path name, a title (the file name) and a
// modified flag. The flag may be raised from any thread (scripts write cells).
class CDocument
{
public:
    CDocument() = default;
    virtual ~CDocument() = default;

    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    const std::string& GetPathName() const { return m_strPathName; }
    // Sets the path and makes the title its file name.
    virtual void SetPathName(const std::string& path);
    const std::string& GetTitle() const { return m_strTitle; }
    void SetTitle(const std::string& title) { m_strTitle = title; }

    virtual bool IsModified() const { return m_bModified.load(); }
    virtual void SetModifiedFlag(bool modified = true) { m_bModified.store(modified); }

private:
    std::string m_strPathName;
    std::string m_strTitle;
    std::atomic<bool> m_bModified { false };
};

} // namespace korvex
