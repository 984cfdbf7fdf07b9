#include "serial/CRecordingPort.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

const char* const kFailure = "Ошибка: WaitCommEvent() - \"Ошибка ввода/вывода\"\n";

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

// The far end vanishes. A port served on the master side of a pseudo-terminal
// sees its slave side closed; a port on the slave side sees its master go,
// and the terminal is hung up. Either reports once and rests.
TEST(SerialVanish, EitherSideReportsOnceAndRests)
{
    for (const bool onMaster : { true, false }) {
        SCOPED_TRACE(onMaster ? "served on the master side" : "on the slave side");
        CPtyPair pair;
        ASSERT_TRUE(pair.Valid());
        CRecordingPort port;
        port.Setup(onMaster ? "virtual" : pair.SlavePath(), 9600, 0, 8, 0);
        ASSERT_TRUE(onMaster ? port.OpenFd(pair.Master()) : port.Open());
        ASSERT_TRUE(WriteAll(onMaster ? pair.Slave() : pair.Master(), Bytes{ 0x33, 0x44 }));
        ASSERT_TRUE(port.WaitForBytes(2));

        onMaster ? pair.CloseSlave() : pair.CloseMaster();
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
        EXPECT_EQ(port.Received(), (Bytes{ 0x33, 0x44 }));

        port.Close();
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.Errors().size(), 1u);
        if (onMaster) {
            EXPECT_GE(fcntl(pair.Master(), F_GETFD), 0) << "the caller's descriptor stays open";
        }
    }
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
