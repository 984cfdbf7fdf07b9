#include "serial/CRecordingPort.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

const char* const kFailure = "Ошибка: WaitCommEvent() - \"Input/output error\"\n";

TEST(SerialLifecycle, CallsOnAClosedPortDoNothing)
{
    CRecordingPort port;
    EXPECT_FALSE(port.StopThread());
    EXPECT_FALSE(port.StartThread());
    EXPECT_FALSE(port.ClosePort());
    port.Close();
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.Errors().empty());
}

TEST(SerialLifecycle, PortWithoutThreadThenThread)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    CRecordingPort port;
    port.Setup(pair.SlavePath(), 9600, 0, 8, 0);
    ASSERT_TRUE(port.OpenPort());
    EXPECT_TRUE(port.IsOpen());
    ASSERT_TRUE(WriteAll(pair.Master(), Bytes{ 7, 8 }));
    ASSERT_TRUE(port.StartThread());
    EXPECT_FALSE(port.StartThread()) << "one thread per port";
    ASSERT_TRUE(port.WaitForBytes(2)) << "bytes that came before the thread are read";
    EXPECT_TRUE(port.StopThread());
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.ClosePort());
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialLifecycle, CloseReturnsAfterTheThreadEnded)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    CRecordingPort port;
    std::atomic<bool> bHookDone{ false };
    port.SetReceiveHook([&](CRecordingPort&, const std::uint8_t*, std::uint32_t) {
        // A slow consumer: Close must wait for it.
        std::this_thread::sleep_for(300ms);
        bHookDone.store(true);
    });
    port.Setup(pair.SlavePath(), 9600, 0, 8, 0);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(WriteAll(pair.Master(), Bytes{ 1 }));
    ASSERT_TRUE(port.WaitForBytes(1)); // the hook has started
    port.Close();
    EXPECT_TRUE(bHookDone.load());
    EXPECT_FALSE(port.IsOpen());
    const std::size_t hooks = port.HookThreads().size();

    port.Close(); // harmless
    ASSERT_TRUE(WriteAll(pair.Master(), Bytes{ 2 }));
    EXPECT_FALSE(port.WaitForBytes(2, 200ms)) << "nothing is read after Close";
    EXPECT_EQ(port.HookThreads().size(), hooks);
}

TEST(SerialLifecycle, CloseFromAHookOnlyEndsTheThread)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    CRecordingPort port;
    port.SetReceiveHook(
        [](CRecordingPort& self, const std::uint8_t*, std::uint32_t) { self.Close(); });
    port.Setup(pair.SlavePath(), 9600, 0, 8, 0);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(WriteAll(pair.Master(), Bytes{ 1 }));
    ASSERT_TRUE(port.WaitForBytes(1));
    EXPECT_TRUE(port.IsOpen()) << "the reader thread does not close its own descriptor";
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialLifecycle, IdleAfter900MsOfSilence)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    CRecordingPort port;
    port.Setup(pair.SlavePath(), 9600, 0, 8, 0);
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(port.WaitForIdle(2, 5s));
    const auto idle = port.IdleTimes();
    EXPECT_GE(idle[0] - opened, CSerialPort::kIdleTime);
    EXPECT_GE(idle[1] - idle[0], CSerialPort::kIdleTime);
    EXPECT_TRUE(port.Blocks().empty());
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
    EXPECT_EQ(port.ErrorCount(), 1u);
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

TEST(SerialLifecycle, DestructorClosesARunningPort)
{
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    {
        CSerialPort port;
        port.Setup(pair.SlavePath(), 9600, 0, 8, 0);
        ASSERT_TRUE(port.Open());
        const Bytes frame{ 1, 2 };
        ASSERT_TRUE(port.Write(frame.data(), 2));
        EXPECT_EQ(ReadExactly(pair.Master(), 2), frame);
    }
    // Closed: the device can be locked again.
    CRecordingPort again;
    again.Setup(pair.SlavePath(), 9600, 0, 8, 0);
    EXPECT_TRUE(again.Open());
}

} // namespace
} // namespace korvex::test
