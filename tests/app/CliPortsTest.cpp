// korvex-cli ports on fake sysfs trees.

#include "app/CliTestUtil.h"
#include "support/CFakeSysfs.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

SProcessResult Ports(const std::string& sysRoot, const std::string& devRoot)
{
    return RunProcess(KORVEX_CLI_PATH, { "ports", "--sys-root", sysRoot, "--dev-root", devRoot });
}

TEST(CliPorts, OneTabSeparatedLinePerPort)
{
    CFakeSysfs sys;
    CPtyPair held;
    ASSERT_TRUE(held.Valid());
    ASSERT_TRUE(held.LockSlave());

    sys.AddVirtual("tty0");
    sys.AddUart("ttyS0", 4);
    sys.AddDevFile("ttyS0");
    sys.AddSerial8250Line("ttyS1", 0);
    sys.AddUsbSerial("ttyUSB0", "FT232R USB UART", "FTDI");
    sys.AddDevLink("ttyUSB0", held.SlavePath());
    sys.AddUsbInterfacePort("ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)", "");
    sys.AddDevFile("ttyACM0");

    const auto r = Ports(sys.GetSysRoot(), sys.GetDevRoot());
    EXPECT_EQ(r.nExitCode, 0);
    EXPECT_EQ(r.strOut, "0\tttyACM0\tArduino Uno - Arduino (www.arduino.cc) (ttyACM0)\tfree\tusb\n"
                        "1\tttyS0\tttyS0 (ttyS0)\tfree\t\n"
                        "2\tttyUSB0\tFT232R USB UART - FTDI (ttyUSB0)\tbusy\tusb\n");
}

TEST(CliPorts, NoPortsPrintNothing)
{
    CFakeSysfs sys;
    sys.AddVirtual("console");
    for (const std::string& sysRoot : { sys.GetSysRoot(), sys.GetRoot() + "/missing" }) {
        const auto r = Ports(sysRoot, sys.GetDevRoot());
        EXPECT_EQ(r.nExitCode, 0) << sysRoot;
        EXPECT_EQ(r.strOut, "") << sysRoot;
    }
}

} // namespace
} // namespace korvex::test
