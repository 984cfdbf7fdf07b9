#include "serial/CModemLines.h"
#include "serial/CSerialPort.h"
#include "serial/STimeouts.h"
#include "serial/SerialDefs.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

namespace korvex {
namespace {

struct STimeoutCase
{
    std::uint32_t baud;
    std::uint8_t parity;
    std::uint8_t dataBits;
    std::uint8_t stopBits;
    std::uint32_t interval; // also the total multiplier
    std::uint32_t constant;
    const char* why;
};

TEST(SerialTimeouts, FollowTheCharacterTime)
{
    const STimeoutCase cases[] = {
        { 9600, 0, 8, 0, 2, 5, "the default line: t = 10/9600 s = 1.042 ms" },
        { 19200, 2, 8, 0, 1, 3, "parity adds no bit in the rule: t = 9/19200 s = 0.469 ms" },
        { 110, 0, 8, 0, 91, 365, "slowest rate: t = 90.9 ms" },
        { 1200, 2, 7, 2, 9, 34, "stop code 2 counts two bits: t = 10/1200 s = 8.33 ms" },
        { 9600, 0, 8, 1, 2, 6, "stop code 1 counts as one more bit: t = 11/9600 s = 1.146 ms" },
        { 300, 0, 5, 0, 24, 94, "five data bits: t = 7/300 s = 23.3 ms" },
        { 14400, 0, 8, 0, 1, 4, "non-standard rate: t = 0.694 ms" },
        { 56000, 0, 8, 0, 1, 2, "non-standard rate: t = 0.179 ms, 4t + 0.5 = 1.21" },
        { 115200, 0, 8, 0, 1, 1, "t = 0.087 ms: every value at least 1" },
        { 256000, 1, 8, 0, 1, 1, "fastest rate, odd parity: t = 0.035 ms" },
    };
    for (const STimeoutCase& c : cases) {
        SCOPED_TRACE(c.why);
        CSerialPort port;
        port.Setup("ttyUSB0", c.baud, c.parity, c.dataBits, c.stopBits);
        const STimeouts t = port.GetTimeouts();
        EXPECT_EQ(t.dwReadInterval, c.interval);
        EXPECT_EQ(t.dwReadTotalMultiplier, c.interval);
        EXPECT_EQ(t.dwReadTotalConstant, c.constant);
        EXPECT_EQ(t.dwWriteTotalMultiplier, 0u);
        EXPECT_EQ(t.dwWriteTotalConstant, 0u);
    }
}

TEST(SerialTimeouts, CharacterTimeInMilliseconds)
{
    EXPECT_NEAR(CharTimeMs(9600, 0, 8, 0), 1.0417f, 1e-4f);
    EXPECT_NEAR(CharTimeMs(19200, 2, 8, 0), 0.46875f, 1e-5f);
    EXPECT_EQ(CharTimeMs(0, 0, 8, 0), 0.0f);
}

TEST(SerialTimeouts, DefaultsAreTheDefaultLine)
{
    CSerialPort port;
    EXPECT_EQ(port.GetTimeouts().dwReadInterval, 2u);
    EXPECT_EQ(port.GetTimeouts().dwReadTotalConstant, 5u);
    EXPECT_EQ(port.GetEventMask(), 0x179u);
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPortName, DeviceUnderDevOrAbsolutePath)
{
    CSerialPort port;
    port.Setup("ttyUSB0", 9600, 0, 8, 0);
    EXPECT_EQ(port.GetDevicePath(), "/dev/ttyUSB0");
    port.Setup("/tmp/some/tty", 9600, 0, 8, 0);
    EXPECT_EQ(port.GetDevicePath(), "/tmp/some/tty");
    EXPECT_EQ(port.GetName(), "/tmp/some/tty");
}

TEST(SerialErrorText, SystemTextWithLineBreak)
{
    EXPECT_EQ(CSerialPort::GetErrorText(ENOENT), "Нет такого файла или каталога\r\n");
    errno = ENOTTY;
    EXPECT_EQ(CSerialPort::GetErrorText(), "Неподходящий ioctl для устройства\r\n");
}

TEST(ModemLines, ReportsOnlyChangesOfMaskedLines)
{
    CModemLines lines;
    const std::uint32_t all = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

    EXPECT_EQ(lines.Update(0, all), 0u) << "all lines start off";
    EXPECT_EQ(lines.Update(TIOCM_CTS, all), EV_CTS);
    EXPECT_EQ(lines.Update(TIOCM_CTS, all), 0u) << "no change, no event";
    EXPECT_EQ(lines.Update(TIOCM_DSR, all), EV_CTS | EV_DSR) << "CTS dropped, DSR rose";
    EXPECT_EQ(lines.Update(TIOCM_DSR | TIOCM_CD, all), EV_RLSD);
    EXPECT_EQ(lines.Update(TIOCM_DSR | TIOCM_CD | TIOCM_RI, all & ~EV_RING), 0u)
        << "ring is not in the mask";
    EXPECT_EQ(lines.Update(TIOCM_DSR | TIOCM_CD | TIOCM_RI, all), EV_RING)
        << "an unmasked line keeps its stored state";

    lines.Reset();
    EXPECT_EQ(lines.Update(TIOCM_DSR, all), EV_DSR) << "reset forgets the states";
}

} // namespace
} // namespace korvex
