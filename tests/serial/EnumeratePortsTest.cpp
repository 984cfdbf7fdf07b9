// The port scan on fake sysfs trees, the busy test on pseudo-terminals the
// tests make, and the completion of port names.

#include "serial/EnumeratePorts.h"
#include "support/CFakeSysfs.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace korvex {
namespace {

using test::CFakeSysfs;
using test::CPtyPair;

std::vector<std::string> Names(const std::vector<SSerInfo>& list)
{
    std::vector<std::string> names;
    for (const SSerInfo& info : list)
        names.push_back(info.m_strComName);
    return names;
}

// The ports of the fake tree, whose class folder the scan must find.
std::vector<SSerInfo> Scan(const CFakeSysfs& sys, bool dropBusy = false)
{
    std::vector<SSerInfo> list;
    EXPECT_TRUE(EnumeratePorts(list, dropBusy, sys.GetSysRoot(), sys.GetDevRoot()));
    return list;
}

// Each port as "name|shown name|description|usb|busy", one line each.
std::string Rows(const std::vector<SSerInfo>& list)
{
    std::string rows;
    for (const SSerInfo& p : list)
        rows += p.m_strComName + "|" + p.m_strShownName + "|" + p.m_strDesc + "|" +
                (p.m_bUsb ? "usb" : "") + "|" + (p.m_bBusy ? "busy" : "free") + "\n";
    return rows;
}

TEST(EnumeratePorts, TheScanListsRealPortsWithTheirNamesInNaturalOrder)
{
    struct
    {
        const char* why;
        std::function<void(CFakeSysfs&)> make;
        std::string rows; // a port without a device node is busy
    } const cases[] = {
        { "a USB converter takes product and manufacturer",
          [](CFakeSysfs& sys) {
              sys.AddUsbSerial("ttyUSB0", "FT232R USB UART", "FTDI");
              sys.AddDevFile("ttyUSB0");
          },
          "ttyUSB0|FT232R USB UART - FTDI (ttyUSB0)|FT232R USB UART - FTDI|usb|free\n" },
        { "a USB description falls back to what the device has",
          [](CFakeSysfs& sys) {
              sys.AddUsbSerial("ttyUSB0", "CP2102 USB to UART Bridge Controller", "");
              sys.AddUsbSerial("ttyUSB1", "", "Prolific Technology Inc.");
              // Neither: the interface string of the modem; nothing at all:
              // the shown name is built from the name alone.
              sys.AddUsbInterfacePort("ttyACM0", "", "", "CDC Abstract Control Model");
              sys.AddUsbInterfacePort("ttyACM1", "", "", "");
          },
          "ttyACM0|CDC Abstract Control Model (ttyACM0)|CDC Abstract Control Model|usb|busy\n"
          "ttyACM1|ttyACM1 (ttyACM1)||usb|busy\n"
          "ttyUSB0|CP2102 USB to UART Bridge Controller (ttyUSB0)|CP2102 USB to UART Bridge "
          "Controller|usb|busy\n"
          "ttyUSB1|Prolific Technology Inc. (ttyUSB1)|Prolific Technology Inc.|usb|busy\n" },
        { "any tty under a USB interface is USB, whatever its driver's name",
          [](CFakeSysfs& sys) {
              sys.AddUsbInterfacePort("ttyXRUSB0", "XR21V1410 USB UART", "Exar Corp.", "");
              sys.AddUart("ttyS0", 4);
          },
          "ttyS0|ttyS0 (ttyS0)|||busy\n"
          "ttyXRUSB0|XR21V1410 USB UART - Exar Corp. (ttyXRUSB0)|XR21V1410 USB UART - Exar "
          "Corp.|usb|busy\n" },
        { "on-board UARTs are listed, unused 8250 lines left out",
          [](CFakeSysfs& sys) {
              sys.AddUart("ttyS0", 4);            // 16550A found by firmware: a real port
              sys.AddSerial8250Line("ttyS1", 0);  // unused 8250 line: PORT_UNKNOWN
              sys.AddSerial8250Line("ttyS2", -1); // unused 8250 line, no type attribute
              sys.AddSerial8250Line("ttyS3", 4);  // a legacy port configured on the 8250 device
              sys.AddUart("ttyS4", 0);            // a described port whose UART did not answer
          },
          "ttyS0|ttyS0 (ttyS0)|||busy\nttyS3|ttyS3 (ttyS3)|||busy\n" },
        { "entries without a device are ignored",
          [](CFakeSysfs& sys) {
              for (const char* name : { "console", "ptmx", "tty0", "tty1" })
                  sys.AddVirtual(name);
              sys.AddDanglingDevice("ttyUSB7");
              sys.AddUsbSerial("ttyUSB0", "FT232R USB UART", "FTDI");
          },
          "ttyUSB0|FT232R USB UART - FTDI (ttyUSB0)|FT232R USB UART - FTDI|usb|busy\n" },
        { "the list keeps the natural order of the names",
          [](CFakeSysfs& sys) {
              sys.AddUart("ttyS10", 4);
              sys.AddUsbSerial("ttyUSB1", "B", "");
              sys.AddUart("ttyS2", 4);
              sys.AddUsbSerial("ttyUSB0", "A", "");
              sys.AddUart("ttyS0", 4);
              sys.AddUsbInterfacePort("ttyACM0", "C", "", "");
          },
          "ttyACM0|C (ttyACM0)|C|usb|busy\nttyS0|ttyS0 (ttyS0)|||busy\n"
          "ttyS2|ttyS2 (ttyS2)|||busy\nttyS10|ttyS10 (ttyS10)|||busy\n"
          "ttyUSB0|A (ttyUSB0)|A|usb|busy\nttyUSB1|B (ttyUSB1)|B|usb|busy\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        CFakeSysfs sys;
        c.make(sys);
        const std::vector<SSerInfo> list = Scan(sys);
        EXPECT_EQ(Rows(list), c.rows);
        for (const SSerInfo& port : list)
            EXPECT_EQ(port.m_strOpenPath, sys.GetDevPath(port.m_strComName));
    }
}

TEST(EnumeratePorts, NaturalLessComparesDigitRunsByValue)
{
    struct SCase
    {
        const char* a;
        const char* b;
        bool less;
    };
    const SCase cases[] = {
        { "ttyS2", "ttyS10", true },
        { "ttyS10", "ttyS2", false },
        { "ttyS1", "ttyS1", false },
        { "ttyACM0", "ttyS0", true }, // letters before digits decide
        { "ttyS9", "ttyUSB0", true },
        { "ttyS", "ttyS0", true },    // a prefix goes first
        { "ttyS01", "ttyS1", false }, // same value: fewer leading zeros first
        { "ttyS1", "ttyS01", true },
        { "ttyS99999999999999999999", "ttyS100000000000000000000", true }, // beyond 64 bits
    };
    for (const SCase& c : cases)
        EXPECT_EQ(NaturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}

TEST(EnumeratePorts, MissingSysRootIsNoPorts)
{
    CFakeSysfs sys;
    std::vector<SSerInfo> list(2);
    list[0].m_strComName = "stale";
    EXPECT_FALSE(EnumeratePorts(list, false, sys.GetRoot() + "/no/such/folder", sys.GetDevRoot()));
    EXPECT_TRUE(list.empty());
}

// ---- Busy test -------------------------------------------------------------

TEST(EnumeratePorts, BusyMarksPortsThatCannotBeOpenedOrAreLocked)
{
    CFakeSysfs sys;
    CPtyPair heldPty;
    CPtyPair freePty;
    ASSERT_TRUE(heldPty.Valid());
    ASSERT_TRUE(freePty.Valid());
    ASSERT_TRUE(heldPty.LockSlave());

    sys.AddUart("ttyS0", 4);                 // no device node: busy
    sys.AddUsbSerial("ttyUSB0", "Held", ""); // a program holds the port locked
    sys.AddDevLink("ttyUSB0", heldPty.SlavePath());
    sys.AddUsbSerial("ttyUSB1", "Open", ""); // open in a program, not locked
    sys.AddDevLink("ttyUSB1", freePty.SlavePath());
    sys.AddUsbSerial("ttyUSB2", "Locked file", ""); // a plain file locked by us
    sys.AddDevFile("ttyUSB2");
    sys.AddUsbSerial("ttyUSB3", "Free file", "");
    sys.AddDevFile("ttyUSB3");

    const int lockedFd = ::open(sys.GetDevPath("ttyUSB2").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lockedFd, 0);
    ASSERT_EQ(::flock(lockedFd, LOCK_EX | LOCK_NB), 0);

    std::vector<SSerInfo> list = Scan(sys);
    ASSERT_EQ(Names(list),
              (std::vector<std::string>{ "ttyS0", "ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3" }));
    EXPECT_TRUE(list[0].m_bBusy);
    EXPECT_TRUE(list[1].m_bBusy);
    EXPECT_FALSE(list[2].m_bBusy);
    EXPECT_TRUE(list[3].m_bBusy);
    EXPECT_FALSE(list[4].m_bBusy);

    // With dropBusy only the ports that could be opened remain, in order.
    list = Scan(sys, true);
    EXPECT_EQ(Names(list), (std::vector<std::string>{ "ttyUSB1", "ttyUSB3" }));
    for (const SSerInfo& port : list)
        EXPECT_FALSE(port.m_bBusy);

    // The lock of the holder is still in place after the scans.
    const int again = ::open(sys.GetDevPath("ttyUSB2").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(again, 0);
    EXPECT_NE(::flock(again, LOCK_EX | LOCK_NB), 0);
    ::close(again);
    ::close(lockedFd);

    // Released, the file is free again.
    list = Scan(sys);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_FALSE(list[3].m_bBusy) << list[3].m_strComName;
}

TEST(EnumeratePorts, TrialOpenDoesNotDisturbAPortInUse)
{
    CPtyPair pty;
    ASSERT_TRUE(pty.Valid());

    // The program using the port has its own line settings.
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &before), 0);
    ::cfmakeraw(&before);
    ::cfsetispeed(&before, B19200);
    ::cfsetospeed(&before, B19200);
    ASSERT_EQ(::tcsetattr(pty.Slave(), TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(pty.Slave(), &before), 0);

    // Bytes wait in the port's input while the scan runs.
    const char pending[] = "\x01\x03\x00\x00\x00\x01";
    ASSERT_EQ(::write(pty.Master(), pending, 6), 6);

    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(CanOpenPort(pty.SlavePath()));

    termios after{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &after), 0);
    EXPECT_EQ(::cfgetispeed(&after), ::cfgetispeed(&before));
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);

    // The waiting bytes were neither flushed nor read by the trial open.
    pollfd pfd{ pty.Slave(), POLLIN, 0 };
    ASSERT_EQ(::poll(&pfd, 1, 2000), 1);
    char got[16]{};
    ASSERT_EQ(::read(pty.Slave(), got, sizeof got), 6);
    EXPECT_EQ(std::memcmp(got, pending, 6), 0);

    // The line still carries data both ways.
    ASSERT_EQ(::write(pty.Slave(), "ok", 2), 2);
    pfd = { pty.Master(), POLLIN, 0 };
    ASSERT_EQ(::poll(&pfd, 1, 2000), 1);
    ASSERT_EQ(::read(pty.Master(), got, sizeof got), 2);
}

TEST(EnumeratePorts, CanOpenPortRefusesWhatIsNoPort)
{
    CFakeSysfs sys;
    EXPECT_FALSE(CanOpenPort(sys.GetDevPath("missing")));
    EXPECT_FALSE(CanOpenPort(sys.GetDevRoot())); // a folder
}

// ---- Name completion -------------------------------------------------------

TEST(CompletePortNames, EachNameIsCompletedFromTheOther)
{
    struct SCase
    {
        const char* shown;
        const char* com;
        const char* shownAfter;
        const char* comAfter;
        const char* why;
    };
    const SCase cases[] = {
        { "USB Serial Port (COM5)", "", "USB Serial Port (COM5)", "COM5",
          "the closing parenthesis ends the name" },
        { "Prolific USB-to-Serial Comm Port (COM3)", "", "Prolific USB-to-Serial Comm Port (COM3)",
          "COM3", "a dash before \" (\" does not count" },
        { "Port (COM7-1)", "", "Port (COM7-1)", "COM7",
          "a dash after \" (\" wins over the parenthesis" },
        { "Port (COM7) - 2", "", "Port (COM7) - 2", "COM7) ",
          "the last dash wins, wherever it is" },
        { "Port (COM8 x", "", "Port (COM8 x", "COM8",
          "without dash or parenthesis, the last blank" },
        { "Port (COM9", "", "Port (COM9", "", "no end mark after \" (\"" },
        { "Port without parenthesis", "", "Port without parenthesis", "", "no \" (\" at all" },
        { " (COM2)", "", " (COM2)", "", "\" (\" at the very start" },
        { "A (B) (C)", "", "A (B) (C)", "B) (C", "the first \" (\" starts the name" },
        { "X ()", "", "X ()", "", "nothing between the marks" },
        { "", "ttyS0", "ttyS0", "ttyS0", "the shown name taken from the short name" },
        { "Adapter (ttyUSB0)", "ttyUSB1", "Adapter (ttyUSB0)", "ttyUSB1",
          "both present: nothing changes, even when they disagree" },
        { "", "", "", "", "both empty: both stay empty" },
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.why);
        SSerInfo info;
        info.m_strShownName = c.shown;
        info.m_strComName = c.com;
        CompletePortNames(info);
        EXPECT_EQ(info.m_strComName, c.comAfter);
        EXPECT_EQ(info.m_strShownName, c.shownAfter);
    }
}

} // namespace
} // namespace korvex
