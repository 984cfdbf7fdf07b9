#include "support/PtyPair.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace korvex::test {

namespace {

using Clock = std::chrono::steady_clock;

bool MakeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool SetNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

CPtyPair::CPtyPair()
{
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return;
    char path[PATH_MAX];
    if (ttyname_r(slave, path, sizeof path) != 0 || !MakeRaw(slave) || !SetNonBlocking(master) ||
        !SetNonBlocking(slave)) {
        ::close(master);
        ::close(slave);
        return;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_nMaster = master;
    m_nSlave = slave;
    m_strSlavePath = path;
}

CPtyPair::~CPtyPair()
{
    CloseSlave();
    CloseMaster();
}

void CPtyPair::CloseMaster()
{
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nMaster = -1;
}

void CPtyPair::CloseSlave()
{
    if (m_nSlave >= 0)
        ::close(m_nSlave);
    m_nSlave = -1;
}

bool CPtyPair::LockSlave()
{
    return m_nSlave >= 0 && ::flock(m_nSlave, LOCK_EX | LOCK_NB) == 0;
}

int OpenRawTerminal(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (!MakeRaw(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const void* data, std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (count != 0) {
        const ssize_t n = ::write(fd, p, count);
        if (n > 0) {
            p += n;
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (Clock::now() >= deadline)
            return false;
        pollfd pfd{ fd, POLLOUT, 0 };
        poll(&pfd, 1, RemainingMs(deadline));
    }
    return true;
}

bool WriteAll(int fd, const Bytes& bytes, std::chrono::milliseconds timeout)
{
    return WriteAll(fd, bytes.data(), bytes.size(), timeout);
}

Bytes ReadExactly(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    Bytes out;
    std::uint8_t buffer[4096];
    while (out.size() < count) {
        pollfd pfd{ fd, POLLIN, 0 };
        if (poll(&pfd, 1, RemainingMs(deadline)) <= 0)
            break;
        const std::size_t want = std::min(sizeof buffer, count - out.size());
        const ssize_t n = ::read(fd, buffer, want);
        if (n > 0)
            out.insert(out.end(), buffer, buffer + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
        if (Clock::now() >= deadline)
            break;
    }
    return out;
}

Bytes ReadAvailable(int fd, std::chrono::milliseconds timeout)
{
    return ReadExactly(fd, SIZE_MAX, timeout);
}

Bytes Pattern(std::size_t count, std::size_t first)
{
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>((first + i) % 251);
    return out;
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::chrono::nanoseconds ProcessCpuTime()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

} // namespace korvex::test
