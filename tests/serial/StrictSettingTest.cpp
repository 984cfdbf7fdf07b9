// MBSTRICT, the sixteenth stored value: answers by the MODBUS standard.

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
    store.Load(loaded);
    EXPECT_EQ(loaded.MBSTRICT, 0);

    SSettings s;
    s.MBSTRICT = 1;
    ASSERT_TRUE(store.Save(s));
    EXPECT_NE(ReadBytes(store.GetFileName()).find("MBSTRICT=1\n"), std::string::npos);
    store.Load(loaded);
    EXPECT_EQ(loaded.MBSTRICT, 1);

    // A value that is no number reads as the default.
    WriteBytes(dir.File("bad.conf"), "[Settings]\nMBSTRICT=yes\n");
    const CSettingsStore bad(dir.File("bad.conf"));
    loaded.MBSTRICT = 1;
    bad.Load(loaded);
    EXPECT_EQ(loaded.MBSTRICT, 0);
}

} // namespace
} // namespace korvex::test
