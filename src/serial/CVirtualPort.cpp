#include "serial/CVirtualPort.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace korvex {

CVirtualPort::~CVirtualPort()
{
    Destroy();
}

bool CVirtualPort::Create()
{
    Destroy();
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return false;

    const auto fail = [&] {
        const int error = errno;
        ::close(master);
        ::close(slave);
        errno = error;
        return false;
    };
    if (fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || fcntl(slave, F_SETFD, FD_CLOEXEC) != 0)
        return fail();

    char path[PATH_MAX];
    if (ttyname_r(slave, path, sizeof path) != 0)
        return fail();

    // Raw, so that bytes pass unchanged until a client sets its own mode;
    // speed B0, which no client asks for.
    termios tio{};
    if (tcgetattr(slave, &tio) != 0)
        return fail();
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B0);
    cfsetospeed(&tio, B0);
    if (tcsetattr(slave, TCSANOW, &tio) != 0)
        return fail();

    m_nMasterFd = master;
    m_nSlaveFd = slave;
    m_strSlavePath = path;
    m_tioRest = tio;
    m_nClients = 0;

    // The watcher is best effort: without it a killed client's settings stay
    // until the next client's first request.
    m_nWatchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_nStopFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_nWatchFd >= 0 && m_nStopFd >= 0 &&
        inotify_add_watch(m_nWatchFd, path, IN_OPEN | IN_CLOSE) >= 0)
        m_watcher = std::thread(&CVirtualPort::WatchClients, this);
    return true;
}

void CVirtualPort::Destroy()
{
    if (m_watcher.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_nStopFd, &one, sizeof one);
        m_watcher.join();
    }
    for (int* fd : { &m_nWatchFd, &m_nStopFd, &m_nSlaveFd, &m_nMasterFd }) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_strSlavePath.clear();
}

void CVirtualPort::DropStaleAnswers()
{
    // A new client's open is queued before its first request: whatever the
    // watcher has not read yet is read here, before the request is answered.
    std::lock_guard lock(m_csClients);
    ReadClientEvents();
}

void CVirtualPort::FlushUnread()
{
    // The slave's input queue holds the bytes written to the master. Flush
    // only when something is there: a flush resets the queue under a client
    // waiting in select(), which may then see it readable and read nothing
    // (libmodbus takes that for a closed connection).
    if (m_nSlaveFd < 0)
        return;
    // Bytes written to the master just before may still be on their way to
    // that queue: the tty layer moves them on a worker, which a loaded
    // machine runs late. Polling the slave waits for the move, so that they
    // are counted (and dropped) now rather than read by the new client.
    pollfd slave{ m_nSlaveFd, POLLIN, 0 };
    [[maybe_unused]] const int ready = poll(&slave, 1, 0);
    int unread = 0;
    if (ioctl(m_nSlaveFd, FIONREAD, &unread) == 0 && unread > 0)
        tcflush(m_nSlaveFd, TCIFLUSH);
}

void CVirtualPort::ForgetClientSpeed()
{
    std::lock_guard lock(m_csSlave);
    termios tio{};
    if (m_nSlaveFd < 0 || tcgetattr(m_nSlaveFd, &tio) != 0 || cfgetospeed(&tio) == B0)
        return;
    cfsetispeed(&tio, B0);
    cfsetospeed(&tio, B0);
    tcsetattr(m_nSlaveFd, TCSANOW, &tio);
}

void CVirtualPort::Rest()
{
    // A client that opens between the last close and this set loses its
    // set-up to the resting mode, which is raw as well.
    std::lock_guard lock(m_csSlave);
    tcsetattr(m_nSlaveFd, TCSANOW, &m_tioRest);
}

bool CVirtualPort::ReadClientEvents()
{
    // Opens and closes of open files: a descriptor shared by dup or fork is
    // one open. Our own slave descriptor was opened before the watch.
    if (m_nWatchFd < 0)
        return false;
    alignas(inotify_event) std::array<char, 4096> buffer;
    bool closed = false;
    bool opened = false;
    ssize_t n = 0;
    while ((n = ::read(m_nWatchFd, buffer.data(), buffer.size())) > 0) {
        for (ssize_t pos = 0; pos < n;) {
            inotify_event event{};
            std::copy_n(buffer.data() + pos, sizeof event, reinterpret_cast<char*>(&event));
            pos += static_cast<ssize_t>(sizeof event + event.len);
            if ((event.mask & IN_IGNORED) != 0)
                return false; // the slave path is gone
            if ((event.mask & IN_OPEN) != 0) {
                ++m_nClients;
                opened = true;
            }
            if ((event.mask & IN_CLOSE) != 0) {
                --m_nClients;
                closed = true;
            }
            // Events were lost: the next close that follows puts it to rest,
            // and a client may have opened.
            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                m_nClients = 0;
                opened = true;
            }
        }
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR)
        return false;
    if (closed && m_nClients <= 0) {
        m_nClients = 0;
        Rest();
    }
    // A new client gets no answer of one that went: those still unread are
    // dropped as soon as its open is seen, before it can read them.
    if (opened)
        FlushUnread();
    return true;
}

void CVirtualPort::WatchClients()
{
    for (;;) {
        pollfd fds[2] = { { m_nStopFd, POLLIN, 0 }, { m_nWatchFd, POLLIN, 0 } };
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        std::lock_guard lock(m_csClients);
        if (!ReadClientEvents())
            return;
    }
}

} // namespace korvex
