// Project-relative paths: Linux paths inside, the Windows program's form in
// the project file, either slash on the way in, no length limit.

#include "files/ProjectPaths.h"
#include "ProjectTestUtil.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

TEST(ProjectPaths, AbsolutePathsBecomeRelativeInTheWindowsForm)
{
    struct
    {
        const char* why;
        const char* base;
        const char* path;
        const char* relative;
    } const cases[] = {
        { "a file in the folder", "/p/proj", "/p/proj/pump.kvxd", ".\\pump.kvxd" },
        { "a file in a subfolder", "/p/proj", "/p/proj/sub/x", ".\\sub\\x" },
        { "two levels down", "/p/proj", "/p/proj/a/b/c.kvxs", ".\\a\\b\\c.kvxs" },
        { "a sibling folder", "/p/proj", "/p/lib/pump.kvxd", "..\\lib\\pump.kvxd" },
        { "two levels up", "/p/proj/deep", "/p/lib/pump.kvxd", "..\\..\\lib\\pump.kvxd" },
        { "the folder above", "/p/proj", "/p/pump.kvxd", "..\\pump.kvxd" },
        { "only the root in common", "/home/u", "/srv/x.kvxd", "..\\..\\srv\\x.kvxd" },
        { "a base at the root", "/", "/x.kvxd", ".\\x.kvxd" },
        { "a name that merely starts like the base", "/p/proj", "/p/project/x", "..\\project\\x" },
        { "a base with a trailing slash", "/p/proj/", "/p/proj/x", ".\\x" },
        { "dot steps are resolved by name", "/p/./proj", "/p/proj/sub/../x/./y", ".\\x\\y" },
        { "letter case matters", "/p/Proj", "/p/proj/x", "..\\proj\\x" },
        { "a relative path stays as it is", "/p/proj", "sub/x.kvxd", "sub/x.kvxd" },
        { "a relative path in the Windows form too", "/p/proj", "..\\x", "..\\x" },
        { "an empty path", "/p/proj", "", "" },
        { "a base that is not absolute", "proj", "/p/proj/x", "/p/proj/x" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(MakeRelativePathTo(c.base, c.path), c.relative);
    }
}

TEST(ProjectPaths, RelativePathsResolveAgainstTheBaseWithEitherSlash)
{
    struct
    {
        const char* why;
        const char* path;
        const char* resolved;
    } const cases[] = {
        { "dot-backslash is dropped", ".\\pump.kvxd", "/p/proj/pump.kvxd" },
        { "dot-slash is dropped", "./pump.kvxd", "/p/proj/pump.kvxd" },
        { "a bare file name", "pump.kvxd", "/p/proj/pump.kvxd" },
        { "backslashes inside", ".\\sub\\x.kvxs", "/p/proj/sub/x.kvxs" },
        { "two dots and a backslash", "..\\lib\\pump.kvxd", "/p/proj/../lib/pump.kvxd" },
        { "an absolute path stays", "/abs/x.kvxd", "/abs/x.kvxd" },
        { "an absolute path keeps its backslashes", "/abs/a\\b", "/abs/a\\b" },
        { "from the root of the drive", "\\abs\\x.kvxd", "/abs/x.kvxd" },
        { "only the first dot step is dropped", ".\\.\\x", "/p/proj/./x" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ResolvePathIn("/p/proj", c.path), c.resolved);
        EXPECT_EQ(ResolvePathIn("/p/proj/", c.path), c.resolved) << "one slash between";
    }
}

TEST(ProjectPaths, ExtensionsAndFolders)
{
    struct
    {
        const char* path;
        const char* withoutExt;
        bool device;
    } const cases[] = {
        { ".\\pump.kvxd", ".\\pump", true },
        { ".\\PUMP.KVXD", ".\\PUMP", true },
        { "x.Kvxd", "x", true },
        { "x.kvxdbak", "x", true }, // the extension only has to begin with .kvxd
        { "x.kvxs", "x", false },
        { "notes.txt", "notes", false }, // anything else is a script
        { "x.kvx", "x", false },
        { "..\\pump", "..\\pump", false }, // the last dot belongs to ".."
        // The rule looks at the text from the last dot of the whole line.
        { "dir.kvxd\\file", "dir.kvxd\\file", true },
        { "a.b.kvxd", "a.b", true },
        { "noext", "noext", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(RemoveExtension(c.path), c.withoutExt);
        EXPECT_EQ(IsDevicePath(c.path), c.device);
    }
    EXPECT_EQ(DirOfPath("/p/proj/demo.kvxp"), "/p/proj");
    EXPECT_EQ(DirOfPath("/demo.kvxp"), "/");
    EXPECT_EQ(DirOfPath("demo.kvxp"), "");
}

// ---- The application's path operations ------------------------------------------

TEST(AppPaths, TheBaseIsTheCurrentProjectsFolder)
{
    ProjectHarness h;
    h.prj.SetBaseDirProvider([] { return std::string("/provided"); });
    EXPECT_EQ(h.prj.GetBaseDir(), "/provided") << "no project yet";

    CPrjDoc* project = h.prj.OnNewProject();
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(h.prj.GetProject(), project);
    EXPECT_EQ(h.prj.GetBaseDir(), "/provided") << "a project without a path";

    h.MakeDir("proj/sub");
    ASSERT_TRUE(project->DoSave(h.dir.File("proj/demo.kvxp")));
    EXPECT_EQ(h.prj.GetBaseDir(), h.dir.File("proj"));
    EXPECT_EQ(h.app.ResolvePath(".\\sub\\x.kvxd"), h.dir.File("proj/sub/x.kvxd"));
    EXPECT_EQ(h.app.ResolvePath("..\\x.kvxd"), h.dir.File("proj/../x.kvxd"));
    EXPECT_EQ(h.prj.MakeRelativePath(h.dir.File("proj/sub/x.kvxd")), ".\\sub\\x.kvxd");
    EXPECT_EQ(h.prj.MakeRelativePath(h.dir.File("lib/x.kvxd")), "..\\lib\\x.kvxd");
    EXPECT_EQ(h.prj.GetItemLabel(h.dir.File("proj/pump.kvxd")), ".\\pump");
    EXPECT_EQ(h.prj.GetItemLabel(".\\sub\\pump.kvxd"), ".\\sub\\pump");

    // Without a current project the base is the provider's again.
    h.prj.GetPrjTemplate().CloseAllDocuments();
    EXPECT_EQ(h.prj.GetProject(), nullptr);
    EXPECT_EQ(h.prj.GetBaseDir(), "/provided");
}

TEST(AppPaths, WithoutProjectOrProviderTheBaseIsTheCurrentDirectory)
{
    ProjectHarness h;
    h.dir.Write("c.kvxd", DeviceText("C", 1));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(h.dir.Path());
    const std::string base = h.prj.GetBaseDir();
    const std::string relative = h.prj.MakeRelativePath(h.dir.File("pump.kvxd"));
    CDevDoc* doc = h.Open("c.kvxd");
    std::filesystem::current_path(previous);
    EXPECT_EQ(std::filesystem::path(base), std::filesystem::path(h.dir.Path()));
    EXPECT_EQ(relative, ".\\pump.kvxd");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetPathName(), h.dir.File("c.kvxd"));
}

} // namespace
} // namespace korvex::test
