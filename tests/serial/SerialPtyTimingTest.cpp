#include "serial/CRecordingPort.h"
#include "serial/CVirtualPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

TEST(SerialPtyTiming, EitherSideOfAPseudoTerminalIsRecognised)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    EXPECT_TRUE(CSerialPort::IsPseudoTerminal(pair.Master()));
    EXPECT_TRUE(CSerialPort::IsPseudoTerminal(pair.Slave()));
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GE(null, 0);
    EXPECT_FALSE(CSerialPort::IsPseudoTerminal(null));
    ::close(null);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    EXPECT_FALSE(CSerialPort::IsPseudoTerminal(pipeFds[0]));
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST(SerialPtyTiming, TheTimingInForceFollowsTheSettingAndTheDevice)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    CVirtualPort virtualPort;
    ASSERT_TRUE(virtualPort.Create());
    struct
    {
        CSerialPort::BlockTiming timing;
        bool bVirtual;
        bool bAtOnce;
    } const cases[] = {
        { CSerialPort::BlockTiming::Detect, false, true },
        { CSerialPort::BlockTiming::Detect, true, true },
        { CSerialPort::BlockTiming::LineTimeouts, false, false },
        { CSerialPort::BlockTiming::LineTimeouts, true, false },
        { CSerialPort::BlockTiming::AtOnce, false, true },
    };
    for (const auto& c : cases) {
        CRecordingPort port;
        port.SetBlockTiming(c.timing);
        port.Setup(pair.SlavePath(), 9600, 0, 8, 0);
        ASSERT_TRUE(c.bVirtual ? port.OpenFd(virtualPort.GetMasterFd()) : port.Open());
        EXPECT_EQ(port.DeliversAtOnce(), c.bAtOnce)
            << static_cast<int>(c.timing) << " virtual " << c.bVirtual;
        port.Close();
        EXPECT_FALSE(port.DeliversAtOnce());
    }
}

// At 110 baud the interval time-out is 91 ms and the total time-out about 93 s:
// bytes arriving every 5 ms would make one block of 1024 bytes on a line. On a
// pseudo-terminal the first byte is delivered while the far end still sends.
TEST(SerialPtyTiming, APseudoTerminalHandsEachReadOverWithoutWaitingForAPause)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    CRecordingPort port;
    port.SetBlockTiming(CSerialPort::BlockTiming::Detect);
    port.Setup(pair.SlavePath(), 110, 0, 8, 0);
    ASSERT_TRUE(port.Open());

    std::size_t sent = 0;
    while (sent < 600 && port.Blocks().empty()) {
        ASSERT_TRUE(WriteAll(pair.Master(), Bytes{ static_cast<std::uint8_t>(sent) }));
        ++sent;
        std::this_thread::sleep_for(5ms);
    }
    const std::vector<Bytes> blocks = port.Blocks();
    ASSERT_FALSE(blocks.empty()) << "no block while " << sent << " bytes came without a pause";
    EXPECT_EQ(blocks.front().front(), 0);
}

} // namespace
} // namespace korvex::test
