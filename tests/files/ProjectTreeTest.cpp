// The project tree model: groups, file nodes, labels, search, removal,
// selection, and what its observers are told.

#include "ProjectTestUtil.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

using Events = std::vector<std::string>;

// Absolute paths under /proj become ".\...", as the application does for a
// project in /proj.
std::string Relative(const std::string& path)
{
    return path.starts_with("/proj/") ? MakeRelativePathTo("/proj", path) : path;
}

struct TreeHarness
{
    CoreHarness core;
    CProjectTree tree{ Relative };
    CRecordingObserver observer{ tree };

    TreeHarness() { tree.AddObserver(&observer); }
    ~TreeHarness() { tree.RemoveObserver(&observer); }

    CDevDoc& Device(const std::string& id, std::uint8_t addr)
    {
        m_devices.push_back(std::make_unique<CDevDoc>(core.app));
        m_devices.back()->SetDevId(id);
        m_devices.back()->SetDevAddr(addr);
        return *m_devices.back();
    }

    std::vector<std::unique_ptr<CDevDoc>> m_devices;
};

TEST(ProjectTree, ResetLeavesTheTwoGroupsBoldAndExpanded)
{
    TreeHarness h;
    h.tree.AddScriptNode("/proj/a.kvxs");
    h.tree.Select(h.tree.FindNode({ NODE_SCRIPT, ".\\a.kvxs", nullptr }));
    h.observer.events.clear();

    h.tree.ResetTree();
    EXPECT_EQ(h.observer.events, Events{ "reset" });
    const auto roots = h.tree.GetChildren();
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(h.tree.GetLabel(roots[0]), "Устройства");
    EXPECT_EQ(h.tree.GetLabel(roots[1]), "Скрипты");
    for (HNODE group : roots) {
        EXPECT_EQ(h.tree.GetNode(group)->byKind, NODE_GROUP);
        EXPECT_EQ(h.tree.GetImage(group), IMG_GROUP);
        EXPECT_EQ(h.tree.GetSelectedImage(group), IMG_GROUP_SELECTED);
        EXPECT_EQ(h.tree.GetState(group), NS_BOLD | NS_EXPANDED);
        EXPECT_TRUE(h.tree.GetChildren(group).empty());
        EXPECT_EQ(h.tree.GetParent(group), 0u);
    }
    EXPECT_EQ(h.tree.GetSelected(), 0u);
    EXPECT_EQ(h.tree.GetSelectedNode(), nullptr);
}

TEST(ProjectTree, FileNodesGetRelativeNamesAndTheirLabels)
{
    TreeHarness h;
    CDevDoc& pump = h.Device("P1", 5);
    CDevDoc& boiler = h.Device("BOILER1", 0xA2);
    const HNODE p = h.tree.AddDeviceNode("/proj/pump.kvxd", &pump);
    const HNODE b = h.tree.AddDeviceNode("/proj/sub/boiler.kvxd", &boiler);
    const HNODE s = h.tree.AddScriptNode("/proj/demo.kvxs");
    const HNODE up = h.tree.AddScriptNode("/lib/x.kvxs"); // left as given by the path maker
    ASSERT_NE(p, 0u);
    ASSERT_NE(b, 0u);
    ASSERT_NE(s, 0u);

    EXPECT_EQ(h.tree.GetLabel(p), ".\\pump (ID=P1, A=0x5)");
    EXPECT_EQ(h.tree.GetLabel(b), ".\\sub\\boiler (ID=BOILER1, A=0xA2)");
    EXPECT_EQ(h.tree.GetLabel(s), ".\\demo");
    EXPECT_EQ(h.tree.GetLabel(up), "/lib/x");
    EXPECT_EQ(*h.tree.GetNode(p), (TreeNode{ NODE_DEVICE, ".\\pump.kvxd", &pump }));
    EXPECT_EQ(*h.tree.GetNode(s), (TreeNode{ NODE_SCRIPT, ".\\demo.kvxs", nullptr }));
    EXPECT_EQ(h.tree.GetParent(p), h.tree.FindGroup(CProjectTree::kDevicesGroup));
    EXPECT_EQ(h.tree.GetParent(s), h.tree.FindGroup(CProjectTree::kScriptsGroup));
    EXPECT_EQ(h.tree.GetImage(p), IMG_DEVICE);
    EXPECT_EQ(h.tree.GetSelectedImage(p), IMG_DEVICE_SELECTED);
    EXPECT_EQ(h.tree.GetImage(s), IMG_SCRIPT);
    EXPECT_EQ(h.tree.GetSelectedImage(s), IMG_SCRIPT_SELECTED);
    EXPECT_EQ(h.tree.GetState(p), NS_NONE);
    EXPECT_EQ(h.observer.events,
              (Events{ "added .\\pump (ID=P1, A=0x5)", "added .\\sub\\boiler (ID=BOILER1, A=0xA2)",
                       "added .\\demo", "added /lib/x" }));
}

TEST(ProjectTree, AnEqualNodeIsRefreshedNotAddedTwice)
{
    TreeHarness h;
    CDevDoc& first = h.Device("P1", 5);
    CDevDoc& second = h.Device("P2", 6);
    const HNODE node = h.tree.AddDeviceNode("/proj/pump.kvxd", &first);
    h.observer.events.clear();

    // The same file again, given absolute or already relative.
    EXPECT_EQ(h.tree.AddDeviceNode("/proj/pump.kvxd", &second), node);
    EXPECT_EQ(h.tree.AddDeviceNode(".\\pump.kvxd", &second), node);
    EXPECT_EQ(h.tree.GetChildren(h.tree.FindGroup(CProjectTree::kDevicesGroup)).size(), 1u);
    EXPECT_EQ(h.tree.GetNode(node)->pDevice, &second);
    EXPECT_EQ(h.observer.events,
              (Events{ "changed .\\pump (ID=P2, A=0x6)", "changed .\\pump (ID=P2, A=0x6)" }));

    // A device's new ID shows once the labels are set again.
    second.SetDevId("P9");
    h.observer.events.clear();
    h.tree.RefreshDeviceLabels();
    EXPECT_EQ(h.observer.events, Events{ "changed .\\pump (ID=P9, A=0x6)" });
    h.tree.RefreshDeviceLabels();
    EXPECT_EQ(h.observer.events.size(), 1u) << "nothing changed the second time";

    // A script of the same name is another node.
    EXPECT_NE(h.tree.AddScriptNode(".\\pump.kvxd"), node);
}

TEST(ProjectTree, FindNodeMatchesKindAndExactName)
{
    TreeHarness h;
    const HNODE a = h.tree.AddScriptNode(".\\a.kvxs");
    const HNODE b = h.tree.AddScriptNode(".\\b.kvxs");
    const HNODE devices = h.tree.FindGroup(CProjectTree::kDevicesGroup);
    const HNODE scripts = h.tree.FindGroup(CProjectTree::kScriptsGroup);
    struct
    {
        const char* why;
        TreeNode record;
        HNODE start;
        HNODE found;
    } const cases[] = {
        { "a script from the first root", { NODE_SCRIPT, ".\\b.kvxs", nullptr }, 0, b },
        { "a group", { NODE_GROUP, "Скрипты", nullptr }, 0, scripts },
        { "letter case counts", { NODE_SCRIPT, ".\\A.kvxs", nullptr }, 0, 0 },
        { "the kind counts", { NODE_DEVICE, ".\\a.kvxs", nullptr }, 0, 0 },
        { "a group name is no script", { NODE_SCRIPT, "Скрипты", nullptr }, 0, 0 },
        { "from a node on", { NODE_SCRIPT, ".\\b.kvxs", nullptr }, a, b },
        { "not before the start", { NODE_SCRIPT, ".\\a.kvxs", nullptr }, b, 0 },
        { "later siblings' children", { NODE_SCRIPT, ".\\a.kvxs", nullptr }, devices, a },
        { "a start that is no node", { NODE_GROUP, "Скрипты", nullptr }, 999, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(h.tree.FindNode(c.record, c.start), c.found);
    }
}

TEST(ProjectTree, AParentThatIsNoNodeRefusesTheNode)
{
    TreeHarness h;
    EXPECT_EQ(h.tree.AddNode({ NODE_SCRIPT, ".\\x.kvxs", nullptr }, 12345, IMG_SCRIPT,
                             IMG_SCRIPT_SELECTED, NS_NONE),
              0u);
    EXPECT_EQ(h.tree.AddNode({ NODE_SCRIPT, ".\\x.kvxs", nullptr }, 0, IMG_SCRIPT,
                             IMG_SCRIPT_SELECTED, NS_NONE),
              0u);
    EXPECT_EQ(h.tree.FindNode({ NODE_SCRIPT, ".\\x.kvxs", nullptr }), 0u);
    EXPECT_TRUE(h.observer.events.empty());
}

TEST(ProjectTree, SelectionAndRemovalAreTold)
{
    TreeHarness h;
    const HNODE a = h.tree.AddScriptNode(".\\a.kvxs");
    const HNODE b = h.tree.AddScriptNode(".\\b.kvxs");
    h.observer.events.clear();

    h.tree.Select(a);
    h.tree.Select(a); // no change, nothing told
    EXPECT_EQ(h.tree.GetSelectedNode()->strName, ".\\a.kvxs");
    EXPECT_TRUE(h.tree.DeleteNode(b));
    EXPECT_EQ(h.tree.GetSelected(), a) << "another node's removal keeps the selection";
    EXPECT_TRUE(h.tree.DeleteNode(a));
    EXPECT_EQ(h.tree.GetSelected(), 0u);
    EXPECT_FALSE(h.tree.DeleteNode(a)) << "a handle is not reused";
    EXPECT_EQ(h.tree.GetNode(a), nullptr);
    h.tree.Select(777);
    EXPECT_EQ(h.observer.events,
              (Events{ "selected .\\a", "removed .\\b", "removed .\\a", "selected " }));

    // A group goes with its children.
    const HNODE c = h.tree.AddScriptNode(".\\c.kvxs");
    h.tree.Select(c);
    h.observer.events.clear();
    EXPECT_TRUE(h.tree.DeleteNode(h.tree.FindGroup(CProjectTree::kScriptsGroup)));
    EXPECT_EQ(h.tree.GetNode(c), nullptr);
    EXPECT_EQ(h.tree.GetChildren().size(), 1u);
    EXPECT_EQ(h.observer.events, (Events{ "removed Скрипты", "selected " }));
    // Without the group a script has nowhere to go.
    EXPECT_EQ(h.tree.AddScriptNode(".\\d.kvxs"), 0u);
}

TEST(ProjectTree, ShownAndRenamedAreToldAndObserversCanLeave)
{
    TreeHarness h;
    CDevDoc& dev = h.Device("D", 1);
    h.tree.AddDeviceNode(".\\x.kvxd", &dev);
    h.tree.AddScriptNode(".\\y.kvxs");
    h.observer.events.clear();

    h.tree.SetShown(true);
    EXPECT_TRUE(h.tree.IsShown());
    h.tree.RenameFiles([](const std::string& name) {
        return name == ".\\x.kvxd" ? std::string(".\\sub\\x.kvxd") : name;
    });
    EXPECT_EQ(h.observer.events, (Events{ "shown 1", "changed .\\sub\\x (ID=D, A=0x1)" }));
    EXPECT_NE(h.tree.FindNode({ NODE_DEVICE, ".\\sub\\x.kvxd", nullptr }), 0u);

    // A device that goes leaves its node without a device.
    h.tree.ForgetDevice(&dev);
    EXPECT_EQ(h.tree.GetNode(h.tree.FindNode({ NODE_DEVICE, ".\\sub\\x.kvxd", nullptr }))->pDevice,
              nullptr);

    h.tree.RemoveObserver(&h.observer);
    h.tree.SetShown(false);
    EXPECT_FALSE(h.tree.IsShown());
    EXPECT_EQ(h.observer.events.size(), 2u);
}

} // namespace
} // namespace korvex::test
