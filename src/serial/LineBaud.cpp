#include "serial/LineBaud.h"

// Only the kernel's terminal header here: <termios.h> would clash with it.
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace korvex {

int SetLineBaud(int fd, std::uint32_t baud)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    // BOTHER in both speed fields: the rates are then taken from c_ospeed and
    // c_ispeed as plain numbers.
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return errno;
    return 0;
}

int GetLineBaud(int fd, std::uint32_t& baud)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    baud = tio.c_ospeed;
    return 0;
}

} // namespace korvex
