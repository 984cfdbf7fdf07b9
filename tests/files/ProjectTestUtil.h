#pragma once

// Shared pieces of the project tests: a hub with a stand-in script template,
// a temporary folder, recorded messages, save prompts that answer from a
// script of answers, a recording window side and a recording tree observer.

#include "DevFileTestUtil.h"
#include "core/CArchive.h"
#include "core/CDocManager.h"
#include "core/CDocTemplate.h"
#include "files/CPrjDoc.h"
#include "files/CProjectTree.h"
#include "files/CodePage.h"
#include "files/IProjectTreeObserver.h"
#include "files/IRecentStore.h"
#include "files/ProjectPaths.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace korvex::test {

using Answer = CPrjManager::PromptAnswer;

// A script document as far as projects see it: a text file that opens
// relative to the project and joins the tree.
class CTextDoc final : public CDocument
{
public:
    explicit CTextDoc(CKorvexApp& app)
        : CDocument(&static_cast<IProjectHost&>(app).GetDocManager()), m_app(app)
    {
    }
    ~CTextDoc() override { GetDocManager()->NotifyClosing(*this); }

    void SetText(std::string text)
    {
        m_strText = std::move(text);
        SetModifiedFlag(true);
    }
    bool OnNewDocument() override { return false; }
    bool OnOpenDocument(const std::string& path) override
    {
        if (!CDocument::OnOpenDocument(m_app.ResolvePath(path)))
            return false;
        GetDocManager()->NotifyOpened(*this);
        return true;
    }
    bool Serialize(CArchive& ar) override
    {
        if (ar.IsLoading())
            m_strText = ar.GetBytes();
        else
            ar.Write(m_strText);
        return true;
    }

private:
    CKorvexApp& m_app;
    std::string m_strText;
};

inline CDocTemplate& RegisterTextTemplate(CKorvexApp& app)
{
    CDocTemplate& tmpl = app.AddTemplate(
        std::make_unique<CDocTemplate>("Korvex.Script", "Файлы скриптов (*.kvxs)",
                                       [&app] { return std::make_unique<CTextDoc>(app); }));
    app.SetScriptTemplate(&tmpl);
    return tmpl;
}

// A script as far as the project tests care.
inline const std::string kScript = "MyObject.Print(\"x\");\r\n";

// A device file in the Windows program's form (code page 1251, CR LF).
inline std::string DeviceText(const std::string& id, int addr)
{
    return *Utf8ToCp1251(id + "\t" + std::to_string(addr) +
                         "\r\nHREG\tДавление\tP\t0\tRW\t0-1000\t7\r\n");
}

// The header the Windows program writes, in UTF-8, version given.
inline std::string PrjHeader(const std::string& version)
{
    const std::string rule = "// " + std::string(61, '-') + "\r\n";
    return "// Файл проекта эмулятора MODBUS-устройства Korvex версии " + version + "\r\n" + rule +
           "// Разделителями в файле является знак такуляции <Tab> ACSII(9)\r\n"
           "// Допустимые строки в файле:\r\n"
           "// <путь_к_файлу_устройств_kvxd>\r\n"
           "// <путь_к_файлу_скриптов_kvxs>\r\n"
           "// Пути к файлу указываются относительно файла проекта (.kvxp)\r\n" +
           rule;
}

// The lines of a project file after its header, without their CR LF.
inline std::vector<std::string> PrjBody(const std::string& bytes)
{
    std::vector<std::string> lines;
    const std::string text = DecodeFileText(bytes);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos)
            break;
        std::string line = text.substr(pos, end - pos);
        if (!line.starts_with("//"))
            lines.push_back(line);
        pos = end + 2;
    }
    return lines;
}

// Writes every change of the tree as a line: "reset", "added <label>",
// "changed <label>", "removed <label>", "selected <label>", "shown 1".
class CRecordingObserver final : public IProjectTreeObserver
{
public:
    explicit CRecordingObserver(const CProjectTree& tree) : m_tree(tree) {}
    std::vector<std::string> events;

    void OnTreeReset() override { events.push_back("reset"); }
    void OnNodeAdded(HNODE node) override { events.push_back("added " + m_tree.GetLabel(node)); }
    void OnNodeChanged(HNODE node) override
    {
        events.push_back("changed " + m_tree.GetLabel(node));
    }
    void OnNodeRemoved(HNODE node) override
    {
        events.push_back("removed " + m_tree.GetLabel(node));
    }
    void OnSelectionChanged(HNODE node) override
    {
        events.push_back("selected " + m_tree.GetLabel(node));
    }
    void OnTreeShown(bool shown) override
    {
        events.push_back(std::string("shown ") + (shown ? "1" : "0"));
    }

private:
    const CProjectTree& m_tree;
};

// A recent list kept in memory, counting its saves.
class CMemoryRecentStore final : public IRecentStore
{
public:
    mutable std::vector<std::string> stored;
    mutable int saves{ 0 };

    void LoadRecent(CRecentList& list) const override
    {
        list.Clear();
        for (auto it = stored.rbegin(); it != stored.rend(); ++it)
            list.Add(*it);
    }
    bool SaveRecent(const CRecentList& list) const override
    {
        ++saves;
        stored = list.GetPaths();
        return true;
    }
};

struct ProjectHarness : DevFileHarness
{
    std::vector<std::string> prompts;
    std::deque<Answer> answers; // empty: every prompt fails the test and cancels
    std::vector<std::string> named;
    std::string saveAsPath; // the path prompt's answer
    CRecordingFrames frames;

    ProjectHarness()
    {
        RegisterTextTemplate(app);
        prj.GetDevTemplate().SetFrames(&frames);
        app.GetScriptTemplate()->SetFrames(&frames);
        prj.SetSavePrompt([this](const std::string& text) {
            prompts.push_back(text);
            if (answers.empty()) {
                ADD_FAILURE() << "unexpected prompt: " << text;
                return Answer::Cancel;
            }
            const Answer answer = answers.front();
            answers.pop_front();
            return answer;
        });
        prj.SetPathPrompt([this](CDocument& doc) {
            named.push_back(doc.GetDocTemplate() != nullptr ? doc.GetDocTemplate()->GetDocTypeName()
                                                            : std::string());
            return saveAsPath;
        });
    }

    // The documents go before the window side and the prompts they use.
    ~ProjectHarness()
    {
        app.CloseAllDocuments();
        prj.GetDevTemplate().SetFrames(nullptr);
        app.GetScriptTemplate()->SetFrames(nullptr);
    }

    CProjectTree& Tree() { return prj.GetProjectTree(); }

    // The labels of a group's children in tree order.
    std::vector<std::string> Labels(const char* group)
    {
        std::vector<std::string> labels;
        for (HNODE node : Tree().GetChildren(Tree().FindGroup(group)))
            labels.push_back(Tree().GetLabel(node));
        return labels;
    }
    std::vector<std::string> Names(const char* group)
    {
        std::vector<std::string> names;
        for (HNODE node : Tree().GetChildren(Tree().FindGroup(group)))
            names.push_back(Tree().GetNode(node)->strName);
        return names;
    }

    // The node of a file by its name in the tree, selected.
    HNODE SelectFile(int kind, const std::string& name)
    {
        const HNODE node = Tree().FindNode({ static_cast<std::uint8_t>(kind), name, nullptr });
        EXPECT_NE(node, 0u) << name;
        Tree().Select(node);
        return node;
    }

    // Writes the project file (UTF-8 text given, stored in code page 1251)
    // and opens it.
    CPrjDoc* OpenProject(const std::string& name, const std::string& text)
    {
        dir.Write(name, *Utf8ToCp1251(text));
        CPrjDoc* project = prj.OnOpenProject(dir.File(name));
        poster.Pump();
        return project;
    }

    std::size_t DeviceCount() { return prj.GetDevTemplate().GetDocumentCount(); }
    std::size_t ScriptCount() { return app.GetScriptTemplate()->GetDocumentCount(); }

    void MakeDir(const std::string& name) { std::filesystem::create_directories(dir.File(name)); }
};

} // namespace korvex::test
