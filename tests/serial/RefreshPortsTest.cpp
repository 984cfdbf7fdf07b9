// The hub's port list from the scan of the machine's ports.

#include "core/CKorvexApp.h"
#include "serial/EnumeratePorts.h"
#include "support/CFakeSysfs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvex {
namespace {

TEST(RefreshPorts, BusyPortsStayMarkedTheFirstFreeIsChosenAndTheVirtualPortComesLast)
{
    test::CFakeSysfs sys;
    sys.AddUart("ttyS0", 4); // no device node: busy
    sys.AddUsbSerial("ttyUSB0", "FT232R USB UART", "FTDI");
    sys.AddDevFile("ttyUSB0");

    CKorvexApp app;
    std::string sysRoot = sys.GetSysRoot();
    app.SetPortEnumerator([&] {
        std::vector<SSerInfo> list;
        EnumeratePorts(list, false, sysRoot, sys.GetDevRoot());
        return list;
    });
    SSettings& settings = app.GetSettings();
    EXPECT_EQ(app.RefreshPorts(), 1);
    const std::vector<SSerInfo>& list = app.GetPorts();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(list[0].m_bBusy);
    EXPECT_FALSE(list[1].m_bBusy);
    EXPECT_EQ(settings.PORT, 1);
    EXPECT_EQ(settings.m_info.m_strComName, "ttyUSB0");
    EXPECT_EQ(settings.m_info.m_strShownName, "FT232R USB UART - FTDI (ttyUSB0)");
    EXPECT_EQ(settings.m_info.m_strOpenPath, sys.GetDevPath("ttyUSB0"));

    // A stored index that is still in range selects whatever port now sits there.
    settings.PORT = 0;
    EXPECT_EQ(app.RefreshPorts(), 0);
    EXPECT_EQ(settings.m_info.m_strComName, "ttyS0");

    // The built-in virtual port ends the list; with no port of the machine
    // it is the one chosen, so the list is never empty.
    SSerInfo virtualPort;
    virtualPort.m_strComName = "/run/user/1/korvex/tty";
    virtualPort.m_bVirtual = true;
    app.SetVirtualPortEntry(virtualPort);
    sysRoot = sys.GetRoot() + "/missing";
    settings.PORT = 2;
    EXPECT_EQ(app.RefreshPorts(), 0);
    ASSERT_EQ(app.GetPorts().size(), 1u);
    EXPECT_TRUE(settings.m_info.m_bVirtual);

    // Without it, no port leaves the list empty and the settings alone.
    app.SetVirtualPortEntry(std::nullopt);
    settings.PORT = 2;
    EXPECT_EQ(app.RefreshPorts(), -1);
    EXPECT_TRUE(app.GetPorts().empty());
    EXPECT_EQ(settings.PORT, 2);
}

} // namespace
} // namespace korvex
