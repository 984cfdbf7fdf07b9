#include "serial/CRecordingPort.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

const char* const kFailure = "Ошибка: WaitCommEvent() - \"Input/output error\"\n";

using SerialLifecycle = PortOnPty;

TEST_F(SerialLifecycle, CallsOnAClosedPortDoNothing)
{
    EXPECT_FALSE(m_port.StopThread());
    EXPECT_FALSE(m_port.StartThread());
    EXPECT_FALSE(m_port.ClosePort());
    m_port.Close();
    m_port.Close();
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_TRUE(m_port.Errors().empty());
}

TEST_F(SerialLifecycle, PortWithoutThreadThenThread)
{
    ASSERT_TRUE(m_pair.Valid());
    m_port.Setup(m_pair.SlavePath(), 9600, 0, 8, 0);
    ASSERT_TRUE(m_port.OpenPort());
    EXPECT_TRUE(m_port.IsOpen());
    ASSERT_TRUE(WriteAll(m_pair.Master(), Bytes{ 7, 8 }));
    ASSERT_TRUE(m_port.StartThread());
    EXPECT_FALSE(m_port.StartThread()) << "one thread per port";
    ASSERT_TRUE(m_port.WaitForBytes(2)) << "bytes that came before the thread are read";
    EXPECT_TRUE(m_port.StopThread());
    EXPECT_TRUE(m_port.IsOpen());
    EXPECT_TRUE(m_port.ClosePort());
    EXPECT_FALSE(m_port.IsOpen());
}

TEST_F(SerialLifecycle, CloseReturnsAfterTheThreadEnded)
{
    std::atomic<bool> bHookDone{ false };
    m_port.SetReceiveHook([&](CRecordingPort&, const std::uint8_t*, std::uint32_t) {
        // A slow consumer: Close must wait for it.
        std::this_thread::sleep_for(300ms);
        bHookDone.store(true);
    });
    OpenAt();
    ASSERT_TRUE(WriteAll(m_pair.Master(), Bytes{ 1 }));
    ASSERT_TRUE(m_port.WaitForBytes(1)); // the hook has started
    m_port.Close();
    EXPECT_TRUE(bHookDone.load());
    EXPECT_FALSE(m_port.IsOpen());
    const std::size_t hooks = m_port.HookThreads().size();

    m_port.Close(); // harmless
    ASSERT_TRUE(WriteAll(m_pair.Master(), Bytes{ 2 }));
    EXPECT_FALSE(m_port.WaitForBytes(2, 200ms)) << "nothing is read after Close";
    EXPECT_EQ(m_port.HookThreads().size(), hooks);
}

TEST_F(SerialLifecycle, CloseFromAHookOnlyEndsTheThread)
{
    m_port.SetReceiveHook(
        [](CRecordingPort& self, const std::uint8_t*, std::uint32_t) { self.Close(); });
    OpenAt();
    ASSERT_TRUE(WriteAll(m_pair.Master(), Bytes{ 1 }));
    ASSERT_TRUE(m_port.WaitForBytes(1));
    EXPECT_TRUE(m_port.IsOpen()) << "the reader thread does not close its own descriptor";
    m_port.Close();
    EXPECT_FALSE(m_port.IsOpen());
}

TEST_F(SerialLifecycle, IdleAfter900MsOfSilence)
{
    const auto opened = std::chrono::steady_clock::now();
    OpenAt();
    ASSERT_TRUE(m_port.WaitForIdle(2, 5s));
    const auto idle = m_port.IdleTimes();
    EXPECT_GE(idle[0] - opened, CSerialPort::kIdleTime);
    EXPECT_GE(idle[1] - idle[0], CSerialPort::kIdleTime);
    EXPECT_TRUE(m_port.Blocks().empty());
}

// The far end vanishes: a pty master whose slave side nobody holds any more,
// as a port served on the master side sees it.
TEST(SerialVanish, MasterSideReportsOnceAndRests)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    CRecordingPort port;
    port.Setup("virtual", 9600, 0, 8, 0);
    ASSERT_TRUE(port.OpenFd(pair.Master()));
    ASSERT_TRUE(WriteAll(pair.Slave(), Bytes{ 0x55 }));
    ASSERT_TRUE(port.WaitForBytes(1));

    pair.CloseSlave();
    ASSERT_TRUE(port.WaitForErrors(1));
    EXPECT_EQ(port.Errors(), std::vector<std::string>{ kFailure });

    // A spinning thread would burn a core; an idle one almost nothing.
    const auto cpuBefore = ProcessCpuTime();
    EXPECT_FALSE(port.WaitForErrors(2, 1500ms));
    const Bytes frame{ 1, 2, 3 };
    EXPECT_TRUE(port.Write(frame.data(), 3)) << "queued, never written";
    EXPECT_FALSE(port.WaitForErrors(2, 300ms));
    EXPECT_LT(ProcessCpuTime() - cpuBefore, 300ms);
    EXPECT_GE(port.IdleTimes().size(), 1u) << "the thread lives on, idle, until Close";

    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Errors().size(), 1u);
    EXPECT_GE(fcntl(pair.Master(), F_GETFD), 0) << "the caller's descriptor stays open";
}

// A port on the slave side whose master goes away: the terminal is hung up.
TEST(SerialVanish, SlaveSideReportsOnceAndRests)
{
    auto pair = std::make_unique<CPtyPair>();
    ASSERT_TRUE(pair->Valid());
    CRecordingPort port;
    port.Setup(pair->SlavePath(), 9600, 0, 8, 0);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(WriteAll(pair->Master(), Bytes{ 0x33, 0x44 }));
    ASSERT_TRUE(port.WaitForBytes(2));

    pair.reset();
    ASSERT_TRUE(port.WaitForErrors(1));
    EXPECT_EQ(port.Errors(), std::vector<std::string>{ kFailure });
    const auto cpuBefore = ProcessCpuTime();
    EXPECT_FALSE(port.WaitForErrors(2, 1500ms));
    EXPECT_LT(ProcessCpuTime() - cpuBefore, 300ms);
    EXPECT_EQ(port.Received(), (Bytes{ 0x33, 0x44 }));
    port.Close();
}

TEST_F(SerialLifecycle, DestructorClosesARunningPort)
{
    ASSERT_TRUE(m_pair.Valid());
    {
        CSerialPort port;
        port.Setup(m_pair.SlavePath(), 9600, 0, 8, 0);
        ASSERT_TRUE(port.Open());
        const Bytes frame{ 1, 2 };
        ASSERT_TRUE(port.Write(frame.data(), 2));
        EXPECT_EQ(ReadExactly(m_pair.Master(), 2), frame);
    }
    // Closed: the device can be locked again.
    OpenAt();
}

} // namespace
} // namespace korvex::test
