// MBSTRICT and MBCELLRULES: answers by the MODBUS standard, the cells' rules.

#include "serial/CSettingsStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

TEST(StrictSetting, DefaultsToOffAndIsSavedWithTheOthers)
{
    CTempDir dir;
    const CSettingsStore store(dir.File("Korvex.conf"));
    SSettings loaded;
    loaded.MBSTRICT = 7;
    loaded.MBCELLRULES = 7;
    store.Load(loaded);
    EXPECT_EQ(loaded.MBSTRICT, 0);
    EXPECT_EQ(loaded.MBCELLRULES, 0);

    SSettings s;
    s.MBSTRICT = 1;
    s.MBCELLRULES = 1;
    ASSERT_TRUE(store.Save(s));
    EXPECT_NE(ReadBytes(store.GetFileName()).find("MBSTRICT=1\n"), std::string::npos);
    EXPECT_NE(ReadBytes(store.GetFileName()).find("MBCELLRULES=1\n"), std::string::npos);
    store.Load(loaded);
    EXPECT_EQ(loaded.MBSTRICT, 1);
    EXPECT_EQ(loaded.MBCELLRULES, 1);

    // A value that is no number reads as the default.
    WriteBytes(dir.File("bad.conf"), "[Settings]\nMBSTRICT=yes\n");
    const CSettingsStore bad(dir.File("bad.conf"));
    loaded.MBSTRICT = 1;
    bad.Load(loaded);
    EXPECT_EQ(loaded.MBSTRICT, 0);
}

} // namespace
} // namespace korvex::test
