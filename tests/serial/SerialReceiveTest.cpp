#include "serial/CRecordingPort.h"

#include <atomic>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdexcept>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

using SerialReceive = PortOnPty;

TEST_F(SerialReceive, BytesFromTheFarEndArriveOnTheReaderThread)
{
    OpenAt(9600);
    const Bytes request{ 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD };
    ASSERT_TRUE(WriteAll(m_pair.Master(), request));
    ASSERT_TRUE(m_port.WaitForBytes(request.size()));
    EXPECT_EQ(m_port.Received(), request);
    EXPECT_TRUE(m_port.Errors().empty());
    const auto threads = m_port.HookThreads();
    ASSERT_FALSE(threads.empty());
    for (const auto& id : threads)
        EXPECT_NE(id, std::this_thread::get_id());
}

// 300 baud: the interval time-out is 34 ms, long beside the scheduling delays
// between back-to-back writes of the test.
TEST_F(SerialReceive, BurstArrivesAsOneBlock)
{
    OpenAt(300);
    const Bytes burst = Pattern(90);
    for (std::size_t part = 0; part < 3; ++part)
        ASSERT_TRUE(WriteAll(m_pair.Master(), burst.data() + part * 30, 30));
    ASSERT_TRUE(m_port.WaitForBytes(burst.size()));
    EXPECT_EQ(m_port.Blocks(), std::vector<Bytes>{ burst });
}

TEST_F(SerialReceive, PauseOfSeveralCharacterTimesSplitsBlocks)
{
    OpenAt(300);
    const Bytes first = Pattern(20);
    const Bytes second = Pattern(25, 100);
    ASSERT_TRUE(WriteAll(m_pair.Master(), first));
    // The pause is the stimulus here: about 7 character times of silence.
    std::this_thread::sleep_for(240ms);
    ASSERT_TRUE(WriteAll(m_pair.Master(), second));
    ASSERT_TRUE(m_port.WaitForBytes(first.size() + second.size()));
    EXPECT_EQ(m_port.Blocks(), (std::vector<Bytes>{ first, second }));
}

TEST_F(SerialReceive, BlocksHoldAtMost1024Bytes)
{
    OpenAt(9600);
    const Bytes stream = Pattern(3000);
    ASSERT_TRUE(WriteAll(m_pair.Master(), stream));
    ASSERT_TRUE(m_port.WaitForBytes(stream.size()));
    EXPECT_EQ(m_port.Received(), stream);
    const auto blocks = m_port.Blocks();
    bool bFull = false;
    for (const Bytes& b : blocks) {
        EXPECT_LE(b.size(), CSerialPort::kBlockSize);
        EXPECT_FALSE(b.empty());
        bFull = bFull || b.size() == CSerialPort::kBlockSize;
    }
    EXPECT_TRUE(bFull) << "a block that fills up is delivered at once";
}

TEST_F(SerialReceive, BytesWaitingBeforeOpenArePurged)
{
    ASSERT_TRUE(m_pair.Valid());
    ASSERT_TRUE(WriteAll(m_pair.Master(), Bytes{ 0xEE, 0xEE, 0xEE }));
    pollfd pfd{ m_pair.Slave(), POLLIN, 0 };
    ASSERT_EQ(poll(&pfd, 1, 5000), 1) << "the stale bytes reached the slave's input queue";

    OpenAt(9600);
    const Bytes fresh{ 0x11, 0x06 };
    ASSERT_TRUE(WriteAll(m_pair.Master(), fresh));
    ASSERT_TRUE(m_port.WaitForBytes(fresh.size()));
    EXPECT_EQ(m_port.Received(), fresh);
}

TEST_F(SerialReceive, ExceptionFromTheHookIsSwallowed)
{
    std::atomic<int> calls{ 0 };
    m_port.SetReceiveHook([&](CRecordingPort&, const std::uint8_t*, std::uint32_t) {
        if (calls.fetch_add(1) == 0)
            throw std::runtime_error("hook failure");
    });
    OpenAt(9600);
    ASSERT_TRUE(WriteAll(m_pair.Master(), Bytes{ 1 }));
    ASSERT_TRUE(m_port.WaitForBytes(1));
    ASSERT_TRUE(WriteAll(m_pair.Master(), Bytes{ 2 }));
    ASSERT_TRUE(m_port.WaitForBytes(2)) << "the thread goes on after the exception";
    EXPECT_EQ(m_port.Received(), (Bytes{ 1, 2 }));
    EXPECT_TRUE(m_port.Errors().empty());
}

} // namespace
} // namespace korvex::test
