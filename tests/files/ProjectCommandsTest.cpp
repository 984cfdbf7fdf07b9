// The project commands without windows: the save prompts of new, open and
// remove, FindOpenDoc, add, remove, open the selected object, save all, the
// recent projects and when each command is enabled.

#include "ProjectTestUtil.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

using Strings = std::vector<std::string>;

std::string Prompt(const std::string& title)
{
    return "Сохранить изменения в " + title + "?";
}

// A project p.kvxp with pump.kvxd (PUMP at 1, HREG 0 = 7) and a.kvxs.
struct CommandHarness : ProjectHarness
{
    CPrjDoc* project{ nullptr };

    CommandHarness()
    {
        dir.Write("pump.kvxd", DeviceText("PUMP", 1));
        dir.Write("a.kvxs", kScript);
        dir.Write("other.kvxp", ".\\pump.kvxd\r\n");
        project = OpenProject("p.kvxp", ".\\a.kvxs\r\n.\\pump.kvxd\r\n");
        EXPECT_NE(project, nullptr);
        frames.events.clear();
    }

    CDevDoc* Pump() { return app.FindDeviceById("PUMP"); }
    CTextDoc* Script()
    {
        const auto docs = app.GetScriptTemplate()->GetDocuments();
        return docs.empty() ? nullptr : static_cast<CTextDoc*>(docs.front());
    }
    // Changes the pump's register as the master does; the file still holds 7.
    void EditPump()
    {
        Pump()->FindItem(HREG, 0)->SetValue(42);
        Pump()->SetModifiedFlag(true);
    }
    // The register's value in the file, as written ("0x2A") or as first
    // written by the test ("7").
    bool PumpFileHolds(const std::string& value)
    {
        return ReadBytes(dir.File("pump.kvxd")).find("\t" + value + "\r\n") != std::string::npos;
    }
};

// ---- The save prompts ------------------------------------------------------------------

TEST(ProjectPrompts, NewAndOpenAskForEveryModifiedDocument)
{
    enum class Cmd
    {
        New,
        Open,
    };
    struct
    {
        const char* why;
        Cmd cmd;
        Answer answer;
        bool replaced;
        bool saved;
    } const cases[] = {
        { "new, yes: saved, then closed", Cmd::New, Answer::Yes, true, true },
        { "new, no: changes dropped", Cmd::New, Answer::No, true, false },
        { "new, cancel: nothing happens", Cmd::New, Answer::Cancel, false, false },
        { "open, yes", Cmd::Open, Answer::Yes, true, true },
        { "open, no", Cmd::Open, Answer::No, true, false },
        { "open, cancel", Cmd::Open, Answer::Cancel, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        CommandHarness h;
        // Only the device is modified: it is asked about all the same.
        h.EditPump();
        h.answers = { c.answer };
        CPrjDoc* result = c.cmd == Cmd::New ? h.prj.OnNewProject()
                                            : h.prj.OnOpenProject(h.dir.File("other.kvxp"));
        EXPECT_EQ(h.prompts, Strings{ Prompt("pump.kvxd") });
        EXPECT_EQ(result != nullptr, c.replaced);
        EXPECT_EQ(h.PumpFileHolds("0x2A"), c.saved);
        EXPECT_EQ(h.PumpFileHolds("7"), !c.saved);
        if (c.replaced) {
            EXPECT_EQ(h.prj.GetProject(), result);
            EXPECT_NE(result, h.project);
            EXPECT_EQ(h.prj.GetPrjTemplate().GetDocumentCount(), 1u);
        } else {
            EXPECT_EQ(h.prj.GetProject(), h.project) << "the old project stays";
            EXPECT_EQ(h.prj.GetPrjTemplate().GetDocuments(), std::vector<CDocument*>{ h.project });
            ASSERT_NE(h.Pump(), nullptr);
            EXPECT_TRUE(h.Pump()->IsModified());
            EXPECT_EQ(h.ScriptCount(), 1u);
            EXPECT_EQ(h.Names(CProjectTree::kDevicesGroup), Strings{ ".\\pump.kvxd" });
        }
    }
}

TEST(ProjectPrompts, EachModifiedDocumentInOrderAndACancelStops)
{
    CommandHarness h;
    h.project->SetModifiedFlag(true);
    h.EditPump();
    h.Script()->SetText("MyObject.Print(\"changed\");\r\n");
    h.Script()->SetModifiedFlag(true);

    // The project, then the device, then the script; the cancel at the
    // device leaves the script unasked and the project saved.
    h.answers = { Answer::Yes, Answer::Cancel };
    EXPECT_EQ(h.prj.OnNewProject(), nullptr);
    EXPECT_EQ(h.prompts, (Strings{ Prompt("p.kvxp"), Prompt("pump.kvxd") }));
    EXPECT_FALSE(h.project->IsModified());
    EXPECT_TRUE(h.Pump()->IsModified());

    h.prompts.clear();
    h.answers = { Answer::No, Answer::Yes };
    ASSERT_NE(h.prj.OnNewProject(), nullptr);
    EXPECT_EQ(h.prompts, (Strings{ Prompt("pump.kvxd"), Prompt("a.kvxs") }));
    EXPECT_TRUE(h.PumpFileHolds("7"));
    EXPECT_EQ(ReadBytes(h.dir.File("a.kvxs")), "MyObject.Print(\"changed\");\r\n");
}

TEST(ProjectPrompts, NothingModifiedAsksNothing)
{
    CommandHarness h;
    ASSERT_NE(h.prj.OnNewProject(), nullptr);
    ASSERT_NE(h.prj.OnOpenProject(h.dir.File("p.kvxp")), nullptr);
    EXPECT_TRUE(h.prompts.empty());
}

TEST(ProjectPrompts, YesOnADocumentWithoutANameAsksForOne)
{
    CommandHarness h;
    CPrjDoc* fresh = h.prj.OnNewProject();
    ASSERT_NE(fresh, nullptr);
    ASSERT_NE(h.prj.OnAddDevice(h.dir.File("pump.kvxd")), nullptr);
    ASSERT_TRUE(fresh->IsModified());

    // No name given: the command is abandoned.
    h.answers = { Answer::Yes };
    EXPECT_EQ(h.prj.OnNewProject(), nullptr);
    EXPECT_EQ(h.named, Strings{ "Korvex.Project" });
    EXPECT_EQ(h.prj.GetProject(), fresh);

    h.saveAsPath = h.dir.File("named.kvxp");
    h.answers = { Answer::Yes };
    ASSERT_NE(h.prj.OnNewProject(), nullptr);
    EXPECT_EQ(PrjBody(ReadBytes(h.dir.File("named.kvxp"))), Strings{ ".\\pump.kvxd" });
}

TEST(ProjectPrompts, WithoutAPromptTheAnswerIsNo)
{
    CommandHarness h;
    h.prj.SetSavePrompt(nullptr);
    h.EditPump();
    ASSERT_NE(h.prj.OnNewProject(), nullptr);
    EXPECT_TRUE(h.PumpFileHolds("7"));
}

TEST(ProjectPrompts, RemovingAModifiedFileAsks)
{
    struct
    {
        const char* why;
        int kind;
        Answer answer;
        bool removed;
        bool saved;
    } const cases[] = {
        { "device, yes: saved, then closed", NODE_DEVICE, Answer::Yes, true, true },
        { "device, no: closed, changes dropped", NODE_DEVICE, Answer::No, true, false },
        { "device, cancel: stays", NODE_DEVICE, Answer::Cancel, false, false },
        { "script, yes", NODE_SCRIPT, Answer::Yes, true, true },
        { "script, no", NODE_SCRIPT, Answer::No, true, false },
        { "script, cancel", NODE_SCRIPT, Answer::Cancel, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        CommandHarness h;
        const bool device = c.kind == NODE_DEVICE;
        if (device) {
            h.EditPump();
        } else {
            h.Script()->SetText("MyObject.Print(\"edited\");\r\n");
            h.Script()->SetModifiedFlag(true);
        }
        const std::string name = device ? ".\\pump.kvxd" : ".\\a.kvxs";
        h.SelectFile(c.kind, name);
        h.answers = { c.answer };

        EXPECT_EQ(h.prj.OnRemoveFromProject(), c.removed);
        EXPECT_EQ(h.prompts, Strings{ Prompt(device ? "pump.kvxd" : "a.kvxs") });
        EXPECT_EQ(h.project->IsModified(), c.removed);
        EXPECT_EQ(h.Tree().FindNode({ static_cast<std::uint8_t>(c.kind), name, nullptr }) != 0,
                  !c.removed);
        EXPECT_EQ(h.prj.FindOpenDoc(name, c.kind) != nullptr, !c.removed);
        if (device) {
            EXPECT_EQ(h.PumpFileHolds("0x2A"), c.saved);
            EXPECT_EQ(h.app.FindDeviceByAddr(1) != nullptr, !c.removed);
        } else {
            EXPECT_EQ(ReadBytes(h.dir.File("a.kvxs")) == "MyObject.Print(\"edited\");\r\n",
                      c.saved);
            EXPECT_EQ(h.ScriptCount(), c.removed ? 0u : 1u);
        }
    }
}

// ---- FindOpenDoc --------------------------------------------------------------------------

TEST(FindOpenDoc, MatchesTheRelativePathExactlyAndTheKind)
{
    CommandHarness h;
    h.MakeDir("sub");
    h.dir.Write("sub/b.kvxd", DeviceText("B", 2));
    ASSERT_NE(h.prj.OnAddDevice(h.dir.File("sub/b.kvxd")), nullptr);
    CDocument* pump = h.Pump();
    CDocument* script = h.Script();
    CDocument* b = h.app.FindDeviceById("B");
    struct
    {
        const char* why;
        std::string path;
        int kind;
        CDocument* found;
    } const cases[] = {
        { "a device", ".\\pump.kvxd", NODE_DEVICE, pump },
        { "a script", ".\\a.kvxs", NODE_SCRIPT, script },
        { "in a subfolder", ".\\sub\\b.kvxd", NODE_DEVICE, b },
        { "the kind must match", ".\\pump.kvxd", NODE_SCRIPT, nullptr },
        { "a script is no device", ".\\a.kvxs", NODE_DEVICE, nullptr },
        { "a group has no document", ".\\pump.kvxd", NODE_GROUP, nullptr },
        { "letter case counts", ".\\Pump.kvxd", NODE_DEVICE, nullptr },
        { "the bare name is another text", "pump.kvxd", NODE_DEVICE, nullptr },
        { "the absolute path is another text", h.dir.File("pump.kvxd"), NODE_DEVICE, nullptr },
        { "forward slashes are another text", "./sub/b.kvxd", NODE_DEVICE, nullptr },
        { "the project itself is no device", ".\\p.kvxp", NODE_DEVICE, nullptr },
        { "an empty path", "", NODE_DEVICE, nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(h.prj.FindOpenDoc(c.path, c.kind), c.found);
    }
}

TEST(FindOpenDoc, TheFirstMatchInTemplateAndDocumentOrderWins)
{
    ProjectHarness h;
    ASSERT_NE(h.prj.OnNewProject(), nullptr);
    h.dir.Write("x.kvxs", kScript);
    CDocument* first = h.app.GetScriptTemplate()->OpenDocumentFile(h.dir.File("x.kvxs"));
    CDocument* second = h.app.GetScriptTemplate()->OpenDocumentFile(h.dir.File("x.kvxs"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const std::string name = h.prj.MakeRelativePath(h.dir.File("x.kvxs"));
    EXPECT_EQ(h.prj.FindOpenDoc(name, NODE_SCRIPT), first);
}

// ---- Add, remove, open the selected object ------------------------------------------------

TEST(ProjectCommands, AddOpensAFileOnceAndMarksTheProjectModified)
{
    CommandHarness h;
    h.MakeDir("lib");
    h.dir.Write("lib/valve.kvxd", DeviceText("VALVE", 3));
    h.dir.Write("lib/b.kvxs", kScript);

    CDocument* valve = h.prj.OnAddDevice(h.dir.File("lib/valve.kvxd"));
    ASSERT_NE(valve, nullptr);
    EXPECT_TRUE(h.project->IsModified());
    EXPECT_EQ(h.Names(CProjectTree::kDevicesGroup),
              (Strings{ ".\\pump.kvxd", ".\\lib\\valve.kvxd" }));
    CDocument* script = h.prj.OnAddScript(h.dir.File("lib/b.kvxs"));
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(h.Names(CProjectTree::kScriptsGroup), (Strings{ ".\\a.kvxs", ".\\lib\\b.kvxs" }));
    EXPECT_EQ(h.frames.events, (Strings{ "create", "shown P", "create" }));

    // Added again: the open document is activated, nothing else happens.
    h.frames.events.clear();
    h.project->SetModifiedFlag(false);
    EXPECT_EQ(h.prj.OnAddDevice(h.dir.File("lib/valve.kvxd")), valve);
    EXPECT_EQ(h.prj.OnAddScript(h.dir.File("lib/../lib/b.kvxs")), script);
    EXPECT_EQ(h.frames.events, (Strings{ "activate valve.kvxd", "activate b.kvxs" }));
    EXPECT_FALSE(h.project->IsModified());
    EXPECT_EQ(h.DeviceCount(), 2u);
    EXPECT_EQ(h.ScriptCount(), 2u);

    // A file that does not open leaves the project as it was.
    h.dir.Write("dup.kvxd", DeviceText("PUMP", 9));
    EXPECT_EQ(h.prj.OnAddDevice(h.dir.File("dup.kvxd")), nullptr);
    EXPECT_EQ(h.prj.OnAddScript(h.dir.File("none.kvxs")), nullptr);
    EXPECT_FALSE(h.project->IsModified());
    EXPECT_EQ(h.Names(CProjectTree::kDevicesGroup),
              (Strings{ ".\\pump.kvxd", ".\\lib\\valve.kvxd" }));

    ASSERT_TRUE(h.project->Save());
    EXPECT_EQ(PrjBody(ReadBytes(h.dir.File("p.kvxp"))),
              (Strings{ ".\\a.kvxs", ".\\lib\\b.kvxs", ".\\pump.kvxd", ".\\lib\\valve.kvxd" }));
}

TEST(ProjectCommands, RemoveClosesTheDocumentAndLeavesTheFile)
{
    CommandHarness h;
    const std::string before = ReadBytes(h.dir.File("pump.kvxd"));
    h.SelectFile(NODE_DEVICE, ".\\pump.kvxd");
    ASSERT_TRUE(h.prj.OnRemoveFromProject());
    EXPECT_EQ(h.frames.events, Strings{ "destroy pump.kvxd" });
    EXPECT_TRUE(h.prompts.empty()) << "an unmodified device is not asked about";
    EXPECT_EQ(h.app.FindDeviceByAddr(1), nullptr) << "its cells vanish from the master's view";
    EXPECT_EQ(h.Tree().GetSelected(), 0u);
    EXPECT_TRUE(h.project->IsModified());
    EXPECT_EQ(ReadBytes(h.dir.File("pump.kvxd")), before);

    // The request to the removed device stays unanswered.
    h.Receive(WithCrc(Hex("01 03 00 00 00 01")));
    EXPECT_TRUE(h.tx.Frames().empty());

    // A group is not removed.
    h.Tree().Select(h.Tree().FindGroup(CProjectTree::kScriptsGroup));
    EXPECT_FALSE(h.prj.OnRemoveFromProject());
    EXPECT_EQ(h.ScriptCount(), 1u);
    ASSERT_TRUE(h.project->Save());
    EXPECT_EQ(PrjBody(ReadBytes(h.dir.File("p.kvxp"))), Strings{ ".\\a.kvxs" });
}

TEST(ProjectCommands, OpenSelectedActivatesOrOpensFromTheNodesPath)
{
    CommandHarness h;
    h.SelectFile(NODE_SCRIPT, ".\\a.kvxs");
    EXPECT_EQ(h.prj.OnOpenSelected(), h.Script());
    EXPECT_EQ(h.frames.events, Strings{ "activate a.kvxs" });

    // A node whose file is not open (its document went another way).
    h.dir.Write("sub.kvxs", kScript);
    h.Tree().AddScriptNode(".\\sub.kvxs");
    h.SelectFile(NODE_SCRIPT, ".\\sub.kvxs");
    h.app.SetRunning(true);
    EXPECT_EQ(h.prj.OnOpenSelected(), nullptr) << "nothing opens while the emulator runs";
    h.app.SetRunning(false);
    CDocument* opened = h.prj.OnOpenSelected();
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->GetPathName(), h.dir.File("sub.kvxs"));
    EXPECT_EQ(h.ScriptCount(), 2u);

    // While the emulator runs an open document is still brought up.
    h.frames.events.clear();
    h.SelectFile(NODE_DEVICE, ".\\pump.kvxd");
    h.app.SetRunning(true);
    EXPECT_EQ(h.prj.OnOpenSelected(), h.Pump());
    EXPECT_EQ(h.frames.events, Strings{ "activate pump.kvxd" });
    h.app.SetRunning(false);

    h.Tree().Select(h.Tree().FindGroup(CProjectTree::kDevicesGroup));
    EXPECT_EQ(h.prj.OnOpenSelected(), nullptr);
}

TEST(ProjectCommands, SaveAllSavesEveryModifiedDocumentAskingForNames)
{
    CommandHarness h;
    EXPECT_TRUE(h.prj.OnSaveAll()) << "nothing to save";
    h.EditPump();
    h.Script()->SetText("MyObject.Print(2);\r\n");
    h.Script()->SetModifiedFlag(true);
    ASSERT_TRUE(h.prj.OnSaveAll());
    EXPECT_TRUE(h.PumpFileHolds("0x2A"));
    EXPECT_EQ(ReadBytes(h.dir.File("a.kvxs")), "MyObject.Print(2);\r\n");
    EXPECT_FALSE(h.app.IsAnyModified());
    EXPECT_TRUE(h.named.empty());

    // A new project has no name yet.
    CPrjDoc* fresh = h.prj.OnNewProject();
    ASSERT_NE(h.prj.OnAddScript(h.dir.File("a.kvxs")), nullptr);
    EXPECT_FALSE(h.prj.OnSaveAll()) << "no name given";
    EXPECT_TRUE(fresh->IsModified());
    h.saveAsPath = h.dir.File("saved.kvxp");
    ASSERT_TRUE(h.prj.OnSaveAll());
    EXPECT_EQ(h.named, (Strings{ "Korvex.Project", "Korvex.Project" }));
    EXPECT_EQ(fresh->GetPathName(), h.dir.File("saved.kvxp"));
    EXPECT_EQ(PrjBody(ReadBytes(h.dir.File("saved.kvxp"))), Strings{ ".\\a.kvxs" });
}

// ---- While the emulator runs ---------------------------------------------------------------

TEST(ProjectCommands, TheProjectStaysAsItIsWhileTheEmulatorRuns)
{
    for (const int kind : { NODE_DEVICE, NODE_SCRIPT }) {
        CommandHarness h;
        h.SelectFile(kind, kind == NODE_DEVICE ? ".\\pump.kvxd" : ".\\a.kvxs");
        h.app.SetRunning(true);
        EXPECT_EQ(h.prj.OnNewProject(), nullptr);
        EXPECT_EQ(h.prj.OnOpenProject(h.dir.File("other.kvxp")), nullptr);
        EXPECT_EQ(h.prj.OnAddDevice(h.dir.File("pump.kvxd")), nullptr);
        EXPECT_EQ(h.prj.OnAddScript(h.dir.File("a.kvxs")), nullptr);
        EXPECT_FALSE(h.prj.OnRemoveFromProject());
        EXPECT_EQ(h.prj.GetProject(), h.project);
        EXPECT_EQ(h.DeviceCount(), 1u);
        EXPECT_FALSE(h.project->IsModified());
        h.app.SetRunning(false);
        // Stopped, a group selected: nothing to remove.
        h.Tree().Select(h.Tree().FindGroup(CProjectTree::kDevicesGroup));
        EXPECT_FALSE(h.prj.OnRemoveFromProject());
        EXPECT_EQ(h.DeviceCount(), 1u);
    }
}

// ---- Recent projects --------------------------------------------------------------------------

TEST(RecentProjects, OpenedProjectsEnterTheListAndTheStore)
{
    ProjectHarness h;
    CMemoryRecentStore store;
    store.stored = { "/old/one.kvxp" };
    h.prj.SetRecentStore(&store);
    EXPECT_EQ(h.prj.GetRecentList().GetPaths(), Strings{ "/old/one.kvxp" });

    for (int i = 0; i < 5; ++i)
        h.dir.Write("p" + std::to_string(i) + ".kvxp", "");
    ASSERT_NE(h.prj.OnNewProject(), nullptr);
    EXPECT_EQ(store.saves, 0) << "a new project has no path to remember";
    for (int i = 0; i < 5; ++i)
        ASSERT_NE(h.prj.OnOpenProject(h.dir.File("p" + std::to_string(i) + ".kvxp")), nullptr);
    EXPECT_EQ(store.saves, 5);
    EXPECT_EQ(store.stored, (Strings{ h.dir.File("p4.kvxp"), h.dir.File("p3.kvxp"),
                                      h.dir.File("p2.kvxp"), h.dir.File("p1.kvxp") }));

    // Only project files enter the list.
    h.prj.AddToRecentFileList(h.dir.File("pump.kvxd"));
    EXPECT_EQ(store.saves, 5);
    EXPECT_EQ(h.prj.GetRecentList().GetSize(), 4u);

    // Opening an entry moves it to the top.
    CPrjDoc* project = h.prj.OnOpenRecentProject(2);
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(project->GetPathName(), h.dir.File("p2.kvxp"));
    EXPECT_EQ(store.stored.front(), h.dir.File("p2.kvxp"));
    EXPECT_EQ(h.prj.OnOpenRecentProject(4), nullptr) << "outside the list";
}

TEST(RecentProjects, AnEntryThatCannotBeReadLeavesTheList)
{
    ProjectHarness h;
    CMemoryRecentStore store;
    h.dir.Write("a.kvxp", "");
    store.stored = { h.dir.File("a.kvxp"), h.dir.File("gone.kvxp") };
    h.prj.SetRecentStore(&store);

    CPrjDoc* project = h.prj.OnOpenRecentProject(1);
    ASSERT_NE(project, nullptr);
    EXPECT_TRUE(project->IsReadFailed());
    EXPECT_EQ(store.stored, Strings{ h.dir.File("a.kvxp") });
    EXPECT_EQ(h.prj.GetRecentList().GetPaths(), Strings{ h.dir.File("a.kvxp") });
    EXPECT_EQ(h.messages.size(), 1u);
}

} // namespace
} // namespace korvex::test
