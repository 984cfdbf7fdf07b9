#pragma once

#include "core/CDocument.h"

#include <cstddef>
#include <string>
#include <vector>

namespace korvex {

class CPrjManager;

// The project document: the list of device and script files served together.
// Its content is the application's project tree; it has no window of its own.
// Creating or opening a project first asks to save every modified document
// (a cancel abandons it), then closes every other document, the previous
// project included, and makes this the application's current project.
// User-interface thread only.
class CPrjDoc : public CDocument
{
public:
    // The message for a listed file that does not exist; %1 is its path.
    static constexpr char kMissingFile[] =
        "%1\nНевозможно найти файл.\nПроверьте правильность имяени файла и пути к нему.";
    // Several listed files that do not exist are one message: their count,
    // the first kMissingShown paths and how many more there are.
    static constexpr char kMissingFiles[] = "Невозможно найти файлы проекта (%d):";
    static constexpr char kMissingMore[] = "и ещё %d";
    static constexpr char kMissingCheck[] = "Проверьте правильность имён файлов и путей к ним.";
    static constexpr std::size_t kMissingShown = 5;
    // A file with control characters other than TAB, CR and LF holds no
    // paths: a binary file, or another kind of file.
    static constexpr char kNotAProject[] = "Файл \"%s\" не является файлом проекта Korvex.";

    explicit CPrjDoc(CPrjManager& manager);
    ~CPrjDoc() override;

    // A new, empty project; false only when a save prompt was cancelled.
    bool OnNewDocument() override;
    // Reads the project file and opens every file it lists. A file that
    // cannot be read leaves the project current but empty and without a path
    // (IsReadFailed); false only when a save prompt was cancelled.
    bool OnOpenDocument(const std::string& path) override;
    // Saves; when the project's folder changes, the tree's names are made
    // relative to the new one.
    bool OnSaveDocument(const std::string& path) override;
    // Loading opens the listed files through the device and script
    // templates, each of which adds its node to the tree; storing writes the
    // tree's scripts, then its devices.
    bool Serialize(CArchive& ar) override;
    void ReportError(const std::string& text) const override;
    std::string GetBadFormatText(const std::string& path) const override;

    // The last open could not read the project file.
    bool IsReadFailed() const { return m_bReadFailed; }

private:
    // Steps 1 and 2 of creating and opening: the save prompts, then every
    // other document closed. False when a prompt was cancelled.
    bool ReplaceProject();
    // False for a file that is no project; nothing is opened then.
    bool Load(CArchive& ar);
    // One message for the listed files that do not exist.
    void ReportMissing(const std::vector<std::string>& paths) const;
    void Store(CArchive& ar);

    CPrjManager& m_mgr;
    bool m_bReadFailed{ false };
};

} // namespace korvex
