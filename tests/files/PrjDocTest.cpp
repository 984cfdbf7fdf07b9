// The project file and the project document on real files: reading, writing,
// the relative path forms, missing and duplicate files, files the Windows
// program wrote, long paths, and replacing one project by another.

#include "ProjectTestUtil.h"
#include "core/FileIo.h"
#include "core/Version.h"
#include "files/PrjFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace korvex::test {
namespace {

// ---- The file format ------------------------------------------------------------

TEST(PrjFile, LinesAreTrimmedCommentsSkippedAndKindsTakenFromTheExtension)
{
    const std::string text = "// comment\r\n"
                             "\r\n"
                             "  \t .\\pump.kvxd \t\r\n"
                             "   // an indented comment\r\n"
                             ".\\demo.kvxs\n"          // LF alone
                             "/ not a comment.txt\r\n" // a single slash is a path
                             "..\\lib\\VALVE.KVXD\r\n"
                             "last.kvxs"; // no line end at all
    EXPECT_EQ(ParsePrjFile(text), (std::vector<SPrjEntry>{ { ".\\pump.kvxd", true },
                                                           { ".\\demo.kvxs", false },
                                                           { "/ not a comment.txt", false },
                                                           { "..\\lib\\VALVE.KVXD", true },
                                                           { "last.kvxs", false } }));
    EXPECT_TRUE(ParsePrjFile("").empty());
    EXPECT_TRUE(ParsePrjFile("\r\n\n  \t\r\n").empty());
}

TEST(PrjFile, TheWriterPutsTheHeaderThenScriptsThenDevices)
{
    const std::string text =
        FormatPrjFile({ ".\\a.kvxs", "..\\b.kvxs" }, { ".\\sub\\c.kvxd" }, "2.5.0");
    EXPECT_EQ(text, PrjHeader("2.5.0") + ".\\a.kvxs\r\n..\\b.kvxs\r\n.\\sub\\c.kvxd\r\n");
    EXPECT_EQ(FormatPrjFile({}, {}, "1"), PrjHeader("1"));
    EXPECT_EQ(PrjHeader("1").find('\t'), std::string::npos) << "no tabs are written";
}

// ---- Opening a project ------------------------------------------------------------

TEST(PrjDoc, EveryRelativeFormResolvesAgainstTheProjectFolder)
{
    ProjectHarness h;
    h.MakeDir("proj/sub");
    h.MakeDir("lib");
    h.dir.Write("proj/pump.kvxd", DeviceText("PUMP", 1));
    h.dir.Write("proj/sub/boiler.kvxd", DeviceText("BOILER", 2));
    h.dir.Write("lib/valve.kvxd", DeviceText("VALVE", 3));
    h.dir.Write("proj/bare.kvxd", DeviceText("BARE", 4));
    h.dir.Write("up.kvxd", DeviceText("UP", 5));
    h.dir.Write("proj/sub/fwd.kvxd", DeviceText("FWD", 6));
    h.dir.Write("proj/demo.kvxs", kScript);
    h.dir.Write("lib/tool.kvxs", kScript);
    const std::string absolute = h.dir.File("lib/abs.kvxs");
    h.dir.Write("lib/abs.kvxs", kScript);

    CPrjDoc* project = h.OpenProject("proj/demo.kvxp", PrjHeader("1.0") +
                                                           ".\\pump.kvxd\r\n"
                                                           ".\\sub\\boiler.kvxd\r\n"
                                                           "..\\lib\\valve.kvxd\r\n"
                                                           "bare.kvxd\r\n"
                                                           "..\\up.kvxd\r\n"
                                                           "sub/fwd.kvxd\r\n"
                                                           ".\\demo.kvxs\r\n"
                                                           "..\\lib\\tool.kvxs\r\n" +
                                                           absolute + "\r\n");
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(h.prj.GetProject(), project);
    EXPECT_FALSE(project->IsReadFailed());
    EXPECT_FALSE(project->IsModified()) << "reading leaves the project unmodified";
    EXPECT_EQ(project->GetPathName(), h.dir.File("proj/demo.kvxp"));
    EXPECT_EQ(project->GetTitle(), "demo.kvxp");
    EXPECT_TRUE(h.messages.empty()) << h.messages.front();
    EXPECT_TRUE(h.Tree().IsShown());

    EXPECT_EQ(
        h.Labels(CProjectTree::kDevicesGroup),
        (std::vector<std::string>{ ".\\pump (ID=PUMP, A=0x1)", ".\\sub\\boiler (ID=BOILER, A=0x2)",
                                   "..\\lib\\valve (ID=VALVE, A=0x3)", ".\\bare (ID=BARE, A=0x4)",
                                   "..\\up (ID=UP, A=0x5)", ".\\sub\\fwd (ID=FWD, A=0x6)" }));
    EXPECT_EQ(h.Labels(CProjectTree::kScriptsGroup),
              (std::vector<std::string>{ ".\\demo", "..\\lib\\tool", "..\\lib\\abs" }));
    ASSERT_NE(h.app.FindDeviceById("BOILER"), nullptr);
    EXPECT_EQ(h.app.FindDeviceById("BOILER")->GetPathName(), h.dir.File("proj/sub/boiler.kvxd"));
    EXPECT_EQ(h.app.FindDeviceById("UP")->GetPathName(), h.dir.File("up.kvxd"));
    ASSERT_EQ(h.app.GetDevices().size(), 6u);
    for (CDevDoc* dev : h.app.GetDevices())
        EXPECT_FALSE(dev->IsModified()) << dev->GetDevId();
    EXPECT_EQ(h.ScriptCount(), 3u);
    EXPECT_EQ(h.prj.GetRecentList().GetPaths(),
              std::vector<std::string>{ h.dir.File("proj/demo.kvxp") });

    // Saved back, every path is in the Windows form.
    ASSERT_TRUE(project->Save());
    EXPECT_EQ(
        PrjBody(ReadBytes(h.dir.File("proj/demo.kvxp"))),
        (std::vector<std::string>{ ".\\demo.kvxs", "..\\lib\\tool.kvxs", "..\\lib\\abs.kvxs",
                                   ".\\pump.kvxd", ".\\sub\\boiler.kvxd", "..\\lib\\valve.kvxd",
                                   ".\\bare.kvxd", "..\\up.kvxd", ".\\sub\\fwd.kvxd" }));
}

TEST(PrjDoc, WhatAProjectOpensReportsAndWritesBack)
{
    using Strings = std::vector<std::string>;
    struct
    {
        const char* why;
        std::string lines;
        Strings devices;  // the device group's names
        Strings scripts;  // the script group's names
        Strings messages; // "missing NAME" or "unreadable NAME"
        Strings body;     // the project file after a save
    } const cases[] = {
        { "a file listed twice opens once, the second line goes at the next save",
          PrjHeader("1") +
              ".\\pump.kvxd\r\n.\\a.kvxs\r\npump.kvxd\r\n.\\pump.kvxd\r\n.\\a.kvxs\r\n",
          { ".\\pump.kvxd" },
          { ".\\a.kvxs" },
          {},
          { ".\\a.kvxs", ".\\pump.kvxd" } },
        { "scripts are written before devices, each in tree order",
          ".\\b.kvxd\r\n.\\z.kvxs\r\n.\\a.kvxd\r\n.\\y.kvxs\r\n",
          { ".\\b.kvxd", ".\\a.kvxd" },
          { ".\\z.kvxs", ".\\y.kvxs" },
          {},
          { ".\\z.kvxs", ".\\y.kvxs", ".\\b.kvxd", ".\\a.kvxd" } },
        { "a missing file is reported and skipped, the others open",
          PrjHeader("1") + ".\\a.kvxs\r\n.\\nofolder\\x.kvxd\r\n.\\pump.kvxd\r\n",
          { ".\\pump.kvxd" },
          { ".\\a.kvxs" },
          { "missing nofolder/x.kvxd" },
          { ".\\a.kvxs", ".\\pump.kvxd" } },
        { "a file that exists but cannot be read gets the document's own message",
          ".\\folder.kvxd\r\n.\\pump.kvxd\r\n",
          { ".\\pump.kvxd" },
          {},
          { "unreadable folder.kvxd" },
          { ".\\pump.kvxd" } },
        { "a device whose ID is open already is skipped silently; case counts",
          ".\\pump.kvxd\r\n.\\second.kvxd\r\n.\\other.kvxd\r\n",
          { ".\\pump.kvxd", ".\\other.kvxd" },
          {},
          {},
          { ".\\pump.kvxd", ".\\other.kvxd" } },
        { "the extension decides the template",
          ".\\UPPER.KVXD\r\n.\\Mixed.KvXd\r\n.\\notes.txt\r\n.\\script.kvxs\r\n.\\noext\r\n",
          { ".\\UPPER.KVXD", ".\\Mixed.KvXd" },
          { ".\\notes.txt", ".\\script.kvxs", ".\\noext" },
          {},
          { ".\\notes.txt", ".\\script.kvxs", ".\\noext", ".\\UPPER.KVXD", ".\\Mixed.KvXd" } },
    };
    // Devices with their IDs (second.kvxd repeats PUMP; other.kvxd differs in
    // case), and scripts.
    const std::pair<const char*, const char*> devices[] = {
        { "pump.kvxd", "PUMP" }, { "second.kvxd", "PUMP" }, { "other.kvxd", "pump" },
        { "a.kvxd", "A" },       { "b.kvxd", "B" },         { "UPPER.KVXD", "U" },
        { "Mixed.KvXd", "M" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ProjectHarness h;
        h.MakeDir("sub");
        h.MakeDir("folder.kvxd");
        int addr = 0;
        for (const auto& [name, id] : devices)
            h.dir.Write(name, DeviceText(id, ++addr));
        for (const char* name :
             { "a.kvxs", "y.kvxs", "z.kvxs", "notes.txt", "script.kvxs", "noext" })
            h.dir.Write(name, kScript);
        CPrjDoc* project = h.OpenProject("p.kvxp", c.lines);
        ASSERT_NE(project, nullptr);
        EXPECT_FALSE(project->IsReadFailed());
        EXPECT_EQ(h.Names(CProjectTree::kDevicesGroup), c.devices);
        EXPECT_EQ(h.Names(CProjectTree::kScriptsGroup), c.scripts);
        EXPECT_EQ(h.DeviceCount(), c.devices.size());
        EXPECT_EQ(h.ScriptCount(), c.scripts.size());
        Strings messages;
        for (const std::string& m : c.messages) {
            const std::string path = h.dir.File(m.substr(m.find(' ') + 1));
            messages.push_back(m.starts_with("missing")
                                   ? path + "\nНевозможно найти файл.\nПроверьте правильность "
                                            "имяени файла и пути к нему."
                                   : "Ошибка чтения файла \"" + path + "\": " + ErrorText(EISDIR));
        }
        EXPECT_EQ(h.messages, messages);
        ASSERT_TRUE(project->Save());
        EXPECT_EQ(PrjBody(ReadBytes(h.dir.File("p.kvxp"))), c.body);
    }
}

TEST(PrjDoc, ManyMissingFilesAndAFileThatIsNoProjectAreOneMessageEach)
{
    using Strings = std::vector<std::string>;
    ProjectHarness h;
    h.dir.Write("pump.kvxd", DeviceText("PUMP", 1));
    std::string lines = PrjHeader("1") + ".\\pump.kvxd\r\n";
    for (int i = 1; i <= 8; ++i)
        lines += ".\\gone" + std::to_string(i) + ".kvxd\r\n";
    const CPrjDoc* project = h.OpenProject("p.kvxp", lines);
    EXPECT_EQ(h.Names(CProjectTree::kDevicesGroup), Strings{ ".\\pump.kvxd" });
    std::string missing = "Невозможно найти файлы проекта (8):";
    for (int i = 1; i <= 5; ++i)
        missing += "\n" + h.dir.File("gone" + std::to_string(i) + ".kvxd");
    EXPECT_EQ(h.messages, Strings{ missing + "\nи ещё 3\n"
                                             "Проверьте правильность имён файлов и путей к ним." });

    // 50 KB of noise, where the lines would be taken for paths.
    std::string noise(50 * 1024, '\0');
    std::mt19937 random(11);
    for (char& c : noise)
        c = static_cast<char>(random());
    h.messages.clear();
    const std::string path = h.dir.Write("noise.kvxp", noise);
    project = h.prj.OnOpenProject(path);
    ASSERT_NE(project, nullptr);
    EXPECT_TRUE(project->IsReadFailed());
    EXPECT_EQ(h.messages, Strings{ "Файл \"" + path + "\" не является файлом проекта Korvex." });
    EXPECT_EQ(h.DeviceCount(), 0u);
}

TEST(PrjDoc, AProjectTheWindowsProgramWroteOpensAndIsWrittenBackUnchanged)
{
    ProjectHarness h;
    h.MakeDir("proj/sub");
    h.MakeDir("lib");
    h.dir.Write("proj/pump.kvxd", DeviceText("PUMP", 1));
    h.dir.Write("proj/sub/boiler.kvxd", DeviceText("BOILER", 2));
    h.dir.Write("lib/valve.kvxd", DeviceText("VALVE", 3));
    h.dir.Write("proj/demo.kvxs", kScript);
    h.dir.Write("lib/common.kvxs", kScript);
    // Code page 1251, CR LF, backslashes: as the Windows program writes it.
    const std::string original = *Utf8ToCp1251(PrjHeader("1.0.0.17") + ".\\demo.kvxs\r\n"
                                                                       "..\\lib\\common.kvxs\r\n"
                                                                       ".\\pump.kvxd\r\n"
                                                                       ".\\sub\\boiler.kvxd\r\n"
                                                                       "..\\lib\\valve.kvxd\r\n");
    ASSERT_EQ(static_cast<unsigned char>(original[3]), 0xD4) << "the Ф of Файл in code page 1251";
    h.dir.Write("proj/demo.kvxp", original);
    CPrjDoc* project = h.prj.OnOpenProject(h.dir.File("proj/demo.kvxp"));
    ASSERT_NE(project, nullptr);
    EXPECT_TRUE(h.messages.empty());
    EXPECT_EQ(h.DeviceCount(), 3u);
    EXPECT_EQ(h.ScriptCount(), 2u);

    ASSERT_TRUE(project->Save());
    const std::string written = ReadBytes(h.dir.File("proj/demo.kvxp"));
    const std::string firstLine = *Utf8ToCp1251(
        "// Файл проекта эмулятора MODBUS-устройства Korvex версии " + GetVersionText() + "\r\n");
    EXPECT_EQ(written.substr(0, firstLine.size()), firstLine);
    EXPECT_EQ(written.substr(written.find('\n')), original.substr(original.find('\n')));
}

TEST(PrjDoc, ThePathsMayBeLongerThanTheOldLimit)
{
    ProjectHarness h;
    std::string proj = "p";
    for (int i = 0; i < 5; ++i)
        proj += "/project_folder_with_quite_a_long_name_number_" + std::to_string(i);
    const std::string sub = "sub_" + std::string(150, 's');
    h.MakeDir(proj + "/" + sub);
    ASSERT_GT(h.dir.File(proj + "/" + sub).size(), 259u);
    const std::string device = std::string(120, 'd') + ".kvxd";
    h.dir.Write(proj + "/" + sub + "/" + device, DeviceText("LONG", 7));
    h.dir.Write(proj + "/" + std::string(200, 's') + ".kvxs", kScript);
    const std::string lines =
        ".\\" + sub + "\\" + device + "\r\n.\\" + std::string(200, 's') + ".kvxs\r\n";
    ASSERT_GT(lines.size(), 259u);
    CPrjDoc* project = h.OpenProject(proj + "/long.kvxp", lines);
    ASSERT_NE(project, nullptr);
    EXPECT_TRUE(h.messages.empty()) << h.messages.front();
    ASSERT_NE(h.app.FindDeviceById("LONG"), nullptr);
    EXPECT_EQ(h.ScriptCount(), 1u);
    EXPECT_EQ(h.Labels(CProjectTree::kDevicesGroup),
              std::vector<std::string>{ ".\\" + sub + "\\" + std::string(120, 'd') +
                                        " (ID=LONG, A=0x7)" });
    EXPECT_NE(h.prj.FindOpenDoc(".\\" + sub + "\\" + device, NODE_DEVICE), nullptr);
    ASSERT_TRUE(project->Save());
    EXPECT_EQ(PrjBody(ReadBytes(h.dir.File(proj + "/long.kvxp"))),
              (std::vector<std::string>{ ".\\" + std::string(200, 's') + ".kvxs",
                                         ".\\" + sub + "\\" + device }));
}

TEST(PrjDoc, AProjectFileThatCannotBeReadLeavesAnEmptyCurrentProject)
{
    ProjectHarness h;
    h.dir.Write("pump.kvxd", DeviceText("PUMP", 1));
    CPrjDoc* first = h.OpenProject("first.kvxp", ".\\pump.kvxd\r\n");
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(h.DeviceCount(), 1u);
    h.messages.clear();

    CPrjDoc* second = h.prj.OnOpenProject(h.dir.File("missing.kvxp"));
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->IsReadFailed());
    EXPECT_EQ(h.prj.GetProject(), second);
    EXPECT_EQ(second->GetPathName(), "");
    EXPECT_EQ(h.DeviceCount(), 0u) << "the previous project's devices are closed";
    EXPECT_EQ(h.prj.GetPrjTemplate().GetDocuments(), std::vector<CDocument*>{ second });
    EXPECT_TRUE(h.Tree().GetChildren(h.Tree().FindGroup(CProjectTree::kDevicesGroup)).empty());
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_NE(h.messages[0].find(h.dir.File("missing.kvxp")), std::string::npos);
    EXPECT_EQ(h.prj.GetRecentList().GetPaths(),
              std::vector<std::string>{ h.dir.File("first.kvxp") })
        << "only a project that opened enters the list";
}

TEST(PrjDoc, ANewOrOpenedProjectClosesThePreviousProjectsDocuments)
{
    ProjectHarness h;
    CRecordingObserver observer(h.Tree());
    h.Tree().AddObserver(&observer);
    h.dir.Write("pump.kvxd", DeviceText("PUMP", 1));
    h.dir.Write("a.kvxs", kScript);
    h.dir.Write("b.kvxd", DeviceText("B", 2));
    CPrjDoc* first = h.OpenProject("first.kvxp", ".\\pump.kvxd\r\n.\\a.kvxs\r\n");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(observer.events, (std::vector<std::string>{ "reset", "added .\\pump (ID=PUMP, A=0x1)",
                                                          "added .\\a", "shown 1" }));

    observer.events.clear();
    h.frames.events.clear();
    CPrjDoc* fresh = h.prj.OnNewProject();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(h.prj.GetProject(), fresh);
    EXPECT_EQ(h.DeviceCount(), 0u);
    EXPECT_EQ(h.ScriptCount(), 0u);
    EXPECT_TRUE(h.app.GetDevices().empty());
    EXPECT_EQ(h.prj.GetPrjTemplate().GetDocuments(), std::vector<CDocument*>{ fresh });
    EXPECT_EQ(fresh->GetPathName(), "");
    EXPECT_EQ(fresh->GetTitle(), "");
    EXPECT_FALSE(fresh->IsModified());
    EXPECT_EQ(h.frames.events, (std::vector<std::string>{ "destroy a.kvxs", "destroy pump.kvxd" }))
        << "scripts go first, then devices";
    EXPECT_EQ(observer.events, (std::vector<std::string>{ "reset", "shown 1" }));

    CPrjDoc* next = h.OpenProject("next.kvxp", ".\\b.kvxd\r\n");
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(h.prj.GetPrjTemplate().GetDocuments(), std::vector<CDocument*>{ next });
    EXPECT_EQ(h.Names(CProjectTree::kDevicesGroup), std::vector<std::string>{ ".\\b.kvxd" });
    h.Tree().RemoveObserver(&observer);
}

TEST(PrjDoc, SavingIntoAnotherFolderKeepsThePathsRight)
{
    ProjectHarness h;
    h.MakeDir("one");
    h.MakeDir("two/deeper");
    h.dir.Write("one/pump.kvxd", DeviceText("PUMP", 1));
    h.dir.Write("one/a.kvxs", kScript);
    CPrjDoc* project = h.OpenProject("one/p.kvxp", ".\\pump.kvxd\r\n.\\a.kvxs\r\n");
    ASSERT_NE(project, nullptr);
    ASSERT_TRUE(project->DoSave(h.dir.File("two/deeper/p.kvxp")));
    EXPECT_EQ(PrjBody(ReadBytes(h.dir.File("two/deeper/p.kvxp"))),
              (std::vector<std::string>{ "..\\..\\one\\a.kvxs", "..\\..\\one\\pump.kvxd" }));
    EXPECT_EQ(h.Names(CProjectTree::kDevicesGroup),
              std::vector<std::string>{ "..\\..\\one\\pump.kvxd" });
    EXPECT_NE(h.prj.FindOpenDoc("..\\..\\one\\pump.kvxd", NODE_DEVICE), nullptr);
    // The file left behind is as it was.
    EXPECT_EQ(ReadBytes(h.dir.File("one/p.kvxp")), *Utf8ToCp1251(".\\pump.kvxd\r\n.\\a.kvxs\r\n"));
}

TEST(PrjDoc, TheDemoProjectIsInTheWritersFormAndOpensEverything)
{
    // A copy of the examples, so that the save writes nothing into the sources.
    ProjectHarness h;
    std::filesystem::copy(KORVEX_SOURCE_DIR "/examples", h.dir.Path(),
                          std::filesystem::copy_options::recursive);
    CPrjDoc* project = h.prj.OnOpenProject(h.dir.File("demo.kvxp"));
    ASSERT_NE(project, nullptr);
    h.poster.Pump();
    EXPECT_TRUE(h.messages.empty());
    EXPECT_TRUE(h.lines.empty()) << "the device files read without warnings";
    EXPECT_EQ(h.Labels(CProjectTree::kDevicesGroup),
              (std::vector<std::string>{ ".\\pump (ID=PUMP1, A=0x1)",
                                         ".\\sub\\boiler (ID=BOILER1, A=0x2)" }));
    EXPECT_EQ(h.Labels(CProjectTree::kScriptsGroup), std::vector<std::string>{ ".\\demo" });

    ASSERT_TRUE(project->DoSave(h.dir.File("written.kvxp")));
    const std::string written = ReadBytes(h.dir.File("written.kvxp"));
    const std::string original = ReadBytes(KORVEX_SOURCE_DIR "/examples/demo.kvxp");
    EXPECT_EQ(written.substr(written.find('\n')), original.substr(original.find('\n')));
    EXPECT_EQ(written.substr(0, written.find('\n')), original.substr(0, original.find('\n')))
        << "written by this version";
}

} // namespace
} // namespace korvex::test
