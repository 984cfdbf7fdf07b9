#pragma once

#include "core/CDocument.h"

#include <string>

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

    // The last open could not read the project file.
    bool IsReadFailed() const { return m_bReadFailed; }

private:
    // Steps 1 and 2 of creating and opening: the save prompts, then every
    // other document closed. False when a prompt was cancelled.
    bool ReplaceProject();
    void Load(CArchive& ar);
    void Store(CArchive& ar);

    CPrjManager& m_mgr;
    bool m_bReadFailed{ false };
};

} // namespace korvex
