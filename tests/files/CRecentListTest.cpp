// The recently used projects: which paths enter, their order and the limit.

#include "files/CRecentList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvex {
namespace {

using Paths = std::vector<std::string>;

TEST(CRecentList, OnlyProjectFilesEnter)
{
    struct SCase
    {
        const char* path;
        bool project;
    };
    const SCase cases[] = {
        { "/home/op/plant.kvxp", true },
        { "/home/op/PLANT.KVXP", true }, // the extension in any letter case
        { "/home/op/plant.KvXp", true },
        { "relative/plant.kvxp", true },
        { "/home/op/pump.kvxd", false },  // device files never enter
        { "/home/op/start.kvxs", false }, // nor scripts
        { "/home/op/plant.kvxp.bak", false },
        { "/home/op/plant.kvx", false },
        { "/home/op/plantkvxp", false },
        { "/home/op/plant.kvxp/", false },
        { "", false },
    };
    for (const SCase& c : cases) {
        CRecentList list;
        EXPECT_EQ(list.Add(c.path), c.project) << c.path;
        EXPECT_EQ(list.GetSize(), c.project ? 1u : 0u) << c.path;
        EXPECT_EQ(CRecentList::IsProjectPath(c.path), c.project) << c.path;
    }
}

TEST(CRecentList, MostRecentFirstAndAtMostFour)
{
    CRecentList list;
    list.Add("/1.kvxp");
    list.Add("/2.kvxp");
    EXPECT_EQ(list.GetPaths(), (Paths{ "/2.kvxp", "/1.kvxp" }));
    list.Add("/3.kvxp");
    list.Add("/4.kvxp");
    list.Add("/5.kvxp");
    EXPECT_EQ(list.GetPaths(), (Paths{ "/5.kvxp", "/4.kvxp", "/3.kvxp", "/2.kvxp" }));

    // A rejected path leaves the list as it was.
    EXPECT_FALSE(list.Add("/6.kvxd"));
    EXPECT_EQ(list.GetPaths(), (Paths{ "/5.kvxp", "/4.kvxp", "/3.kvxp", "/2.kvxp" }));
}

TEST(CRecentList, RepeatedPathMovesToTheTop)
{
    CRecentList list;
    for (const char* p : { "/1.kvxp", "/2.kvxp", "/3.kvxp", "/4.kvxp" })
        list.Add(p);
    EXPECT_TRUE(list.Add("/2.kvxp"));
    EXPECT_EQ(list.GetPaths(), (Paths{ "/2.kvxp", "/4.kvxp", "/3.kvxp", "/1.kvxp" }));
    // Re-adding the top entry changes nothing; the oldest is not pushed out.
    list.Add("/2.kvxp");
    EXPECT_EQ(list.GetPaths(), (Paths{ "/2.kvxp", "/4.kvxp", "/3.kvxp", "/1.kvxp" }));
    // Paths differing in case are different files.
    list.Add("/1.KVXP");
    EXPECT_EQ(list.GetPaths(), (Paths{ "/1.KVXP", "/2.kvxp", "/4.kvxp", "/3.kvxp" }));
}

TEST(CRecentList, RemoveAndGet)
{
    CRecentList list;
    for (const char* p : { "/1.kvxp", "/2.kvxp", "/3.kvxp" })
        list.Add(p);
    EXPECT_EQ(list.Get(0), "/3.kvxp");
    EXPECT_EQ(list.Get(2), "/1.kvxp");
    EXPECT_EQ(list.Get(3), "");
    list.Remove(1);
    EXPECT_EQ(list.GetPaths(), (Paths{ "/3.kvxp", "/1.kvxp" }));
    list.Remove(7);
    EXPECT_EQ(list.GetSize(), 2u);
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
}

} // namespace
} // namespace korvex
