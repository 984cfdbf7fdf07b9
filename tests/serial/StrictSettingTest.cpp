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
    s.NOSERIAL = 1;
    s.TCPON = 1;
    s.TCPADDR = "::1";
    s.TCPPORT = 15020;
    ASSERT_TRUE(store.Save(s));
    EXPECT_NE(ReadBytes(store.GetFileName()).find("MBSTRICT=1\n"), std::string::npos);
    EXPECT_NE(ReadBytes(store.GetFileName()).find("MBCELLRULES=1\n"), std::string::npos);
    store.Load(loaded);
    EXPECT_EQ(loaded.MBSTRICT, 1);
    EXPECT_EQ(loaded.MBCELLRULES, 1);
    // The network the port dialog chose.
    EXPECT_EQ(loaded.NOSERIAL, 1);
    EXPECT_EQ(loaded.TCPON, 1);
    EXPECT_EQ(loaded.TCPADDR, "::1");
    EXPECT_EQ(loaded.TCPPORT, 15020);
    EXPECT_EQ(loaded.RTUTCPON, 0);
    EXPECT_EQ(loaded.RTUTCPPORT, 1503);

    // A value that is no number reads as the default.
    WriteBytes(dir.File("bad.conf"), "[Settings]\nMBSTRICT=yes\n");
    const CSettingsStore bad(dir.File("bad.conf"));
    loaded.MBSTRICT = 1;
    bad.Load(loaded);
    EXPECT_EQ(loaded.MBSTRICT, 0);
}

} // namespace
} // namespace korvex::test
