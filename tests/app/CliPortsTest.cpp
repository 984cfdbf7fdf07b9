// korvex-cli ports on fake sysfs trees.

#include "support/CFakeSysfs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>

namespace korvex {
namespace {

struct SRun
{
    int m_nExit{ -1 };
    std::string m_strOut;
};

// Runs korvex-cli with the arguments (already quoted for the shell), standard
// error joined to standard output when asked.
SRun RunCli(const std::string& args, bool withStderr = false)
{
    // The command must not need the user's settings; should it ever read
    // them, it reads an empty folder.
    const std::string config = test::MakeTempDir("cli-config");
    const std::string command = "XDG_CONFIG_HOME='" + config + "' '" KORVEX_CLI_PATH "' " + args +
                                (withStderr ? " 2>&1" : " 2>/dev/null");
    SRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[512];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.m_strOut.append(buffer, got);
    const int status = ::pclose(pipe);
    run.m_nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::error_code ec;
    std::filesystem::remove_all(config, ec);
    return run;
}

std::string Roots(const test::CFakeSysfs& sys)
{
    return "--sys-root '" + sys.GetSysRoot() + "' --dev-root '" + sys.GetDevRoot() + "'";
}

TEST(CliPorts, OneTabSeparatedLinePerPort)
{
    test::CFakeSysfs sys;
    test::CLockablePty held;
    ASSERT_TRUE(held.IsOpen());
    ASSERT_TRUE(held.LockSlave());

    sys.AddVirtual("tty0");
    sys.AddUart("ttyS0", 4);
    sys.AddDevFile("ttyS0");
    sys.AddSerial8250Line("ttyS1", 0);
    sys.AddUsbSerial("ttyUSB0", "FT232R USB UART", "FTDI");
    sys.AddDevLink("ttyUSB0", held.GetSlavePath());
    sys.AddUsbInterfacePort("ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)", "");
    sys.AddDevFile("ttyACM0");

    const SRun run = RunCli("ports " + Roots(sys));
    EXPECT_EQ(run.m_nExit, 0);
    EXPECT_EQ(run.m_strOut,
              "0\tttyACM0\tArduino Uno - Arduino (www.arduino.cc) (ttyACM0)\tfree\tusb\n"
              "1\tttyS0\tttyS0 (ttyS0)\tfree\t\n"
              "2\tttyUSB0\tFT232R USB UART - FTDI (ttyUSB0)\tbusy\tusb\n");
}

TEST(CliPorts, NoPortsPrintNothing)
{
    test::CFakeSysfs sys;
    sys.AddVirtual("console");
    SRun run = RunCli("ports " + Roots(sys));
    EXPECT_EQ(run.m_nExit, 0);
    EXPECT_EQ(run.m_strOut, "");

    run = RunCli("ports --sys-root '" + sys.GetRoot() + "/missing' --dev-root '" +
                 sys.GetDevRoot() + "'");
    EXPECT_EQ(run.m_nExit, 0);
    EXPECT_EQ(run.m_strOut, "");
}

TEST(CliPorts, BadOptionsAreUsageErrors)
{
    SRun run = RunCli("ports --baud 9600", true);
    EXPECT_EQ(run.m_nExit, 2);
    EXPECT_NE(run.m_strOut.find("unknown option '--baud'"), std::string::npos) << run.m_strOut;
    EXPECT_NE(run.m_strOut.find("usage: korvex-cli ports"), std::string::npos) << run.m_strOut;

    run = RunCli("ports --sys-root", true);
    EXPECT_EQ(run.m_nExit, 2);
    EXPECT_NE(run.m_strOut.find("option '--sys-root' needs a folder"), std::string::npos)
        << run.m_strOut;
}

} // namespace
} // namespace korvex
