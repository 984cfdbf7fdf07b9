#include "serial/CVirtualPort.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
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

    // Raw, so that bytes pass unchanged until a client sets its own mode.
    termios tio{};
    if (tcgetattr(slave, &tio) != 0)
        return fail();
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(slave, TCSANOW, &tio) != 0)
        return fail();

    m_nMasterFd = master;
    m_nSlaveFd = slave;
    m_strSlavePath = path;
    return true;
}

void CVirtualPort::Destroy()
{
    if (m_nSlaveFd >= 0)
        ::close(m_nSlaveFd);
    if (m_nMasterFd >= 0)
        ::close(m_nMasterFd);
    m_nSlaveFd = -1;
    m_nMasterFd = -1;
    m_strSlavePath.clear();
}

void CVirtualPort::DiscardUnread()
{
    // The slave's input queue holds the bytes written to the master. Flush
    // only when something is there: a flush resets the queue under a master
    // waiting in select(), which may then see it readable and read nothing
    // (libmodbus takes that for a closed connection).
    int unread = 0;
    if (m_nSlaveFd >= 0 && ioctl(m_nSlaveFd, FIONREAD, &unread) == 0 && unread > 0)
        tcflush(m_nSlaveFd, TCIFLUSH);
}

} // namespace korvex
