// The settings store: the fifteen values, their defaults and the recent
// projects, in files under a temporary configuration folder.

#include "core/CKorvexApp.h"
#include "core/Version.h"
#include "files/CPrjManager.h"
#include "serial/CSettingsStore.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <QSettings>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace korvex {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::WriteBytes;

// The configuration folder of this test program. QSettings takes its paths
// from XDG_CONFIG_HOME once, at its first use, so every test asks for the
// folder before touching a store; the user's own settings are never read or
// written.
const std::string& ConfigHome()
{
    static const test::CTempDir home;
    static const int set = ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    EXPECT_EQ(set, 0);
    return home.Path();
}

// A settings file of its own for each test.
std::string TestFile(const std::string& name)
{
    const std::string path = ConfigHome() + "/" + name + ".conf";
    std::error_code ec;
    fs::remove(path, ec);
    return path;
}

// Every stored value as its line in the file, in the file's order.
std::string Fields(const SSettings& s)
{
    std::ostringstream out;
    out << "VERSION=" << s.VERSION << "\nPORT=" << s.PORT << "\nBAUD=" << s.BAUD
        << "\nDATABIT=" << int(s.DATABIT) << "\nPARITY=" << int(s.PARITY)
        << "\nSTOPBIT=" << int(s.STOPBIT) << "\nFLOWCTRL=" << s.FLOWCTRL
        << "\nRTS_CTRL_HI=" << s.RTS_CTRL_HI << "\nDTR_CTRL_HI=" << s.DTR_CTRL_HI
        << "\nCHILDSTATE=" << s.CHILDSTATE << "\nMAXLOGP=" << s.MAXLOGP << "\nMAXLOGS=" << s.MAXLOGS
        << "\nADDRISHEX=" << s.ADDRISHEX << "\nVALUEISHEX=" << s.VALUEISHEX
        << "\nEDITHEX=" << s.EDITHEX << "\n";
    return out.str();
}

std::string Defaults()
{
    return "VERSION=" + GetVersionText() +
           "\nPORT=-1\nBAUD=9600\nDATABIT=8\nPARITY=0\nSTOPBIT=0\nFLOWCTRL=1\nRTS_CTRL_HI=1\n"
           "DTR_CTRL_HI=1\nCHILDSTATE=1\nMAXLOGP=500\nMAXLOGS=200\nADDRISHEX=1\nVALUEISHEX=1\n"
           "EDITHEX=1\n";
}

// Every field away from its default.
SSettings Changed()
{
    SSettings s;
    s.VERSION = "3.1.4.1";
    s.PORT = 2;
    s.BAUD = 115200;
    s.DATABIT = 7;
    s.PARITY = 2;
    s.STOPBIT = 2;
    s.FLOWCTRL = 0;
    s.RTS_CTRL_HI = 0;
    s.DTR_CTRL_HI = 0;
    s.CHILDSTATE = 0;
    s.MAXLOGP = 0;
    s.MAXLOGS = 12345;
    s.ADDRISHEX = 0;
    s.VALUEISHEX = 0;
    s.EDITHEX = 0;
    return s;
}

TEST(SettingsStore, UserStoreLivesUnderTheConfigurationFolder)
{
    const std::string home = ConfigHome();
    const std::string expected = home + "/Ternholm/Korvex.conf";
    CSettingsStore store;
    EXPECT_EQ(store.GetFileName(), expected);
    EXPECT_EQ(
        QSettings(QStringLiteral("Ternholm"), QStringLiteral("Korvex")).fileName().toStdString(),
        expected);

    // What is stored there, and how, is the round trip's test.
    ASSERT_TRUE(store.Save(Changed()));
    EXPECT_TRUE(fs::exists(expected));
    fs::remove(expected);
}

TEST(SettingsStore, RoundTripKeepsEveryValue)
{
    const CSettingsStore store(TestFile("roundtrip"));
    ASSERT_TRUE(store.Save(Changed()));
    SSettings loaded;
    store.Load(loaded);
    EXPECT_EQ(Fields(loaded), Fields(Changed()));

    // The file is the native text format, one key per value.
    const std::string text = ReadBytes(store.GetFileName());
    EXPECT_NE(text.find("[Settings]"), std::string::npos);
    for (const std::string& line : test::SplitLines(Fields(Changed())))
        EXPECT_NE(text.find(line + "\n"), std::string::npos) << line;

    // Saving the defaults writes them too: a later load does not depend on
    // what was there before.
    ASSERT_TRUE(store.Save(SSettings{}));
    store.Load(loaded);
    EXPECT_EQ(loaded.VERSION, "");
    EXPECT_EQ(loaded.BAUD, 9600u);
    EXPECT_EQ(loaded.PORT, -1);
}

TEST(SettingsStore, MissingFileGivesTheDefaults)
{
    const std::string path = TestFile("missing");
    SSettings loaded = Changed();
    loaded.m_info.m_strComName = "ttyUSB0";
    CSettingsStore(path).Load(loaded);
    EXPECT_EQ(Fields(loaded), Defaults());
    // The chosen port's record is not stored and stays as it was.
    EXPECT_EQ(loaded.m_info.m_strComName, "ttyUSB0");
    // Loading creates nothing.
    EXPECT_FALSE(fs::exists(path));
}

TEST(SettingsStore, UnreadableValuesFallBackOneByOne)
{
    const std::string path = TestFile("garbage");
    WriteBytes(path, "[Settings]\n"
                     "VERSION=0.9\n"
                     "PORT=99999999999\n" // beyond 32 bits
                     "BAUD=fast\n"        // not a number
                     "DATABIT=300\n"      // does not fit the 8-bit field
                     "PARITY=-1\n"        // nor does a negative
                     "STOPBIT=1\n"        // good
                     "FLOWCTRL=\n"        // empty
                     "RTS_CTRL_HI=0x0\n"  // decimal only
                     "DTR_CTRL_HI=0\n"    // good
                     "CHILDSTATE=1, 0\n"  // a list
                     "MAXLOGP=12abc\n"    // trailing letters
                     "MAXLOGS=1.5\n"      // not an integer
                     "ADDRISHEX=@Variant(\\0\\0)\n"
                     "VALUEISHEX= 0 \n" // blanks around a number are fine
                     "EDITHEX=0\n"
                     "this line is no key\n"
                     "\x01\x02\xff\n");
    SSettings loaded;
    CSettingsStore(path).Load(loaded);
    EXPECT_EQ(Fields(loaded),
              "VERSION=0.9\nPORT=-1\nBAUD=9600\nDATABIT=8\nPARITY=0\nSTOPBIT=1\n"
              "FLOWCTRL=1\nRTS_CTRL_HI=1\nDTR_CTRL_HI=0\nCHILDSTATE=1\nMAXLOGP=500\n"
              "MAXLOGS=200\nADDRISHEX=1\nVALUEISHEX=0\nEDITHEX=0\n");
}

TEST(SettingsStore, ReadValuesAreKeptUncheckedAndMissingOnesTakeTheirDefaults)
{
    // Readable numbers are kept even where no line setting matches them; the
    // port choice and the dialogs deal with them.
    const std::string path = TestFile("unchecked");
    WriteBytes(path, "[Settings]\nPORT=7\nBAUD=4000\nDATABIT=9\nPARITY=7\nFLOWCTRL=-3\n"
                     "MAXLOGP=-1\nMAXLOGS=0\n[Other]\nSTOPBIT=2\n");
    SSettings loaded;
    CSettingsStore(path).Load(loaded);
    EXPECT_EQ(Fields(loaded), "VERSION=" + GetVersionText() +
                                  "\nPORT=7\nBAUD=4000\nDATABIT=9\nPARITY=7\nSTOPBIT=0\n"
                                  "FLOWCTRL=-3\nRTS_CTRL_HI=1\nDTR_CTRL_HI=1\nCHILDSTATE=1\n"
                                  "MAXLOGP=-1\nMAXLOGS=0\nADDRISHEX=1\nVALUEISHEX=1\nEDITHEX=1\n")
        << "STOPBIT of another group does not count";
}

TEST(SettingsStore, VersionIsWrittenBackAsRead)
{
    const std::string path = TestFile("version");
    WriteBytes(path, "[Settings]\nVERSION=0.0.0.1\nBAUD=2400\n");
    const CSettingsStore store(path);
    SSettings loaded;
    store.Load(loaded);
    ASSERT_EQ(loaded.VERSION, "0.0.0.1");
    ASSERT_NE(loaded.VERSION, GetVersionText());

    loaded.BAUD = 4800;
    ASSERT_TRUE(store.Save(loaded));
    const std::string text = ReadBytes(path);
    EXPECT_NE(text.find("VERSION=0.0.0.1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("BAUD=4800\n"), std::string::npos) << text;

    // Without a stored version the program's own is taken, and then kept.
    const std::string fresh = TestFile("version-fresh");
    SSettings first;
    CSettingsStore(fresh).Load(first);
    EXPECT_EQ(first.VERSION, GetVersionText());
    ASSERT_TRUE(CSettingsStore(fresh).Save(first));
    EXPECT_NE(ReadBytes(fresh).find("VERSION=" + GetVersionText() + "\n"), std::string::npos);
}

TEST(SettingsStore, SaveReportsAFileThatCannotBeWritten)
{
    const std::string blocker = TestFile("blocker");
    WriteBytes(blocker, "a file, not a folder\n");
    const CSettingsStore store(blocker + "/sub/Korvex.conf");
    EXPECT_FALSE(store.Save(Changed()));
    CRecentList recent;
    recent.Add("/a.kvxp");
    EXPECT_FALSE(store.SaveRecent(recent));
    // Reading it gives the defaults.
    SSettings loaded = Changed();
    store.Load(loaded);
    EXPECT_EQ(Fields(loaded), Defaults());
}

// ---- Recent projects -------------------------------------------------------

TEST(SettingsStore, RecentListRoundTripInItsOwnGroup)
{
    const std::string path = TestFile("recent");
    const CSettingsStore store(path);
    CRecentList list;
    for (const char* p : { "/home/op/old.kvxp", "/home/op/a.kvxp", "/home/op/with, comma/b.kvxp",
                           "/home/op/Пульт/c.KVXP" })
        list.Add(p);
    ASSERT_TRUE(store.SaveRecent(list));
    // A shorter list removes the rest.
    list.Remove(3);
    ASSERT_TRUE(store.SaveRecent(list));

    QSettings direct(QString::fromStdString(path), QSettings::NativeFormat);
    direct.beginGroup(QStringLiteral("Recent File List"));
    const auto value = [&direct](const char* key) {
        return direct.value(QString::fromLatin1(key)).toString().toStdString();
    };
    EXPECT_EQ(direct.childKeys().size(), 3);
    EXPECT_EQ(value("File1"), "/home/op/Пульт/c.KVXP");
    EXPECT_EQ(value("File2"), "/home/op/with, comma/b.kvxp");
    EXPECT_EQ(value("File3"), "/home/op/a.kvxp");
    direct.endGroup();

    CRecentList loaded;
    loaded.Add("/stale.kvxp");
    store.LoadRecent(loaded);
    EXPECT_EQ(loaded.GetPaths(), list.GetPaths());

    // The settings and the list share the file without disturbing each other.
    ASSERT_TRUE(store.Save(Changed()));
    store.LoadRecent(loaded);
    EXPECT_EQ(loaded.GetPaths(), list.GetPaths());
    SSettings settings;
    store.Load(settings);
    EXPECT_EQ(Fields(settings), Fields(Changed()));
}

TEST(SettingsStore, TheApplicationKeepsItsRecentProjectsInTheStore)
{
    const std::string path = TestFile("recent-app");
    const CSettingsStore store(path);
    CRecentList list;
    list.Add("/home/op/old.kvxp");
    ASSERT_TRUE(store.SaveRecent(list));

    CKorvexApp app;
    CPrjManager prj(app);
    prj.SetRecentStore(&store);
    EXPECT_EQ(prj.GetRecentList().GetPaths(), std::vector<std::string>{ "/home/op/old.kvxp" });
    prj.AddToRecentFileList("/home/op/new.kvxp");
    prj.AddToRecentFileList("/home/op/device.kvxd");

    CRecentList loaded;
    CSettingsStore(path).LoadRecent(loaded);
    EXPECT_EQ(loaded.GetPaths(),
              (std::vector<std::string>{ "/home/op/new.kvxp", "/home/op/old.kvxp" }));
}

TEST(SettingsStore, LoadedRecentListKeepsOnlyProjectsOnce)
{
    // A list edited by hand: a gap, a device file, a repeated project and
    // more than four entries.
    const std::string path = TestFile("recent-edited");
    WriteBytes(path, "[Recent%20File%20List]\n"
                     "File1=/a.kvxd\n"
                     "File2=/b.KVXP\n"
                     "File4=/b.KVXP\n"
                     "File5=/e.kvxp\n"
                     "File3=/c.kvxp\n");
    CRecentList loaded;
    CSettingsStore(path).LoadRecent(loaded);
    EXPECT_EQ(loaded.GetPaths(), (std::vector<std::string>{ "/b.KVXP", "/c.kvxp" }));

    CSettingsStore(TestFile("recent-none")).LoadRecent(loaded);
    EXPECT_TRUE(loaded.IsEmpty());
}

} // namespace
} // namespace korvex
