#include "serial/CRecordingPort.h"
#include "serial/CVirtualPort.h"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

const Bytes kRequest{ 0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A };
const Bytes kAnswer{ 0x01, 0x03, 0x02, 0x00, 0x2A, 0x38, 0x5B };

// Korvex on the master side of a virtual port, answering every block with
// kAnswer; as the emulator's port does, it reads the clients' opens before
// answering, so that a late watcher never drops an answer already sent.
class VirtualPort : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_vp.Create());
        m_port.SetReceiveHook([this](CRecordingPort& port, const std::uint8_t*, std::uint32_t) {
            m_vp.DropStaleAnswers();
            port.Write(kAnswer.data(), static_cast<std::uint32_t>(kAnswer.size()));
        });
        m_port.Setup(m_vp.GetSlavePath(), 9600, 0, 8, 0);
        ASSERT_TRUE(m_port.OpenFd(m_vp.GetMasterFd()));
    }
    void TearDown() override { m_port.Close(); }

    // A client as a MODBUS master program opens it: raw, input flushed.
    int Connect()
    {
        const int fd = OpenRawTerminal(m_vp.GetSlavePath());
        if (fd >= 0)
            tcflush(fd, TCIFLUSH);
        return fd;
    }

    CVirtualPort m_vp;
    CRecordingPort m_port;
};

TEST(VirtualPortPair, CreateAndDestroy)
{
    CVirtualPort vp;
    EXPECT_FALSE(vp.IsCreated());
    ASSERT_TRUE(vp.Create());
    EXPECT_TRUE(vp.IsCreated());
    EXPECT_GE(vp.GetMasterFd(), 0);
    const std::string path = vp.GetSlavePath();
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_EQ(access(path.c_str(), R_OK | W_OK), 0);

    const int client = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(client, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(client, &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "the slave side is raw";
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    ::close(client);

    vp.Destroy();
    EXPECT_FALSE(vp.IsCreated());
    EXPECT_TRUE(vp.GetSlavePath().empty());
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the slave path is gone";
}

TEST(VirtualPortPair, AClientsLineSettingsLeaveWithTheLastClient)
{
    CVirtualPort vp;
    ASSERT_TRUE(vp.Create());
    // A client's set-up stays when it closes without putting back what it
    // found, as a killed client does.
    const auto client = [&vp](termios* setUp) {
        const int fd = ::open(vp.GetSlavePath().c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        const bool ok = setUp != nullptr ? tcsetattr(fd, TCSANOW, setUp) == 0
                                         : tcgetattr(fd, &tio) == 0 && cfgetospeed(&tio) == B0;
        ::close(fd);
        return ok;
    };
    // 19200 8E1 as libmodbus sets it up; a pseudo-terminal drops the parity.
    termios even{};
    cfsetspeed(&even, B19200);
    even.c_cflag |= CREAD | CLOCAL | CS8 | PARENB;
    ASSERT_TRUE(client(&even));
    // At rest (B0) once the last client has gone; a look is a client too.
    EXPECT_TRUE(WaitUntil([&] { return client(nullptr); }, 5s));
    EXPECT_TRUE(client(&even)) << "the same set-up again: " << std::strerror(errno);
}

TEST_F(VirtualPort, ClientsComeAndGoWithoutErrors)
{
    for (std::size_t round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        const int client = Connect();
        ASSERT_GE(client, 0);
        ASSERT_TRUE(WriteAll(client, kRequest));
        EXPECT_EQ(ReadExactly(client, kAnswer.size()), kAnswer);
        ASSERT_TRUE(m_port.WaitForBytes(round * kRequest.size()));
        ::close(client);
    }
    Bytes requests;
    for (int round = 0; round < 3; ++round)
        requests.insert(requests.end(), kRequest.begin(), kRequest.end());
    EXPECT_EQ(m_port.Received(), requests);
    // With the slave held by the virtual port, the master sees no hang-up
    // when the client leaves: the thread goes on to idle without a report.
    const std::size_t idle = m_port.IdleTimes().size();
    ASSERT_TRUE(m_port.WaitForIdle(idle + 1, 5s));
    EXPECT_TRUE(m_port.Errors().empty());
}

TEST_F(VirtualPort, StaleBytesAreDroppedWhenAClientOpens)
{
    const std::uint64_t writes = m_port.GetWriteCount();
    const Bytes stale{ 0xDE, 0xAD };
    ASSERT_TRUE(m_port.Write(stale.data(), 2)); // nobody is connected
    ASSERT_TRUE(WaitUntil([&] { return m_port.GetWriteCount() > writes; }, 5s));

    // Even a client that does not flush never reads them.
    const int careless = OpenRawTerminal(m_vp.GetSlavePath());
    ASSERT_GE(careless, 0);
    EXPECT_TRUE(WaitUntil(
        [careless] {
            int unread = -1;
            return ioctl(careless, FIONREAD, &unread) == 0 && unread == 0;
        },
        5s));
    ASSERT_TRUE(WriteAll(careless, kRequest));
    EXPECT_EQ(ReadExactly(careless, kAnswer.size()), kAnswer) << "no stale bytes first";
    ::close(careless);
}

TEST_F(VirtualPort, PortVanishesWhenThePairIsDestroyed)
{
    m_vp.Destroy();
    ASSERT_TRUE(m_port.WaitForErrors(1));
    EXPECT_EQ(m_port.Errors(),
              std::vector<std::string>{ "Ошибка: WaitCommEvent() - \"Ошибка ввода/вывода\"\n" });
    EXPECT_FALSE(m_port.WaitForErrors(2, 500ms));
}

} // namespace
} // namespace korvex::test
