#include "serial/CSerialPort.h"

#include "core/FileIo.h"
#include "serial/LineBaud.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvex {

namespace {

// How often the modem input lines are read while their events are wanted: a
// terminal has no descriptor event for a line change.
constexpr std::chrono::milliseconds kModemPollTime{ 20 };
// Nice steps the reader thread asks for above the process, so that a request
// is picked up promptly; needs CAP_SYS_NICE, skipped without it.
constexpr int kPriorityBoost = 5;

template <class F> void CallHook(F&& hook) noexcept
{
    try {
        hook();
    } catch (...) {
    }
}

struct SSpeed
{
    std::uint32_t dwBaud;
    speed_t speed;
};

constexpr SSpeed kSpeeds[] = {
    { 50, B50 },         { 75, B75 },         { 110, B110 },         { 134, B134 },
    { 150, B150 },       { 200, B200 },       { 300, B300 },         { 600, B600 },
    { 1200, B1200 },     { 1800, B1800 },     { 2400, B2400 },       { 4800, B4800 },
    { 9600, B9600 },     { 19200, B19200 },   { 38400, B38400 },     { 57600, B57600 },
    { 115200, B115200 }, { 230400, B230400 }, { 460800, B460800 },   { 500000, B500000 },
    { 576000, B576000 }, { 921600, B921600 }, { 1000000, B1000000 },
};

// The B-constant for a baud rate, or B0 when <termios.h> has none.
speed_t SpeedConstant(std::uint32_t baud)
{
    for (const SSpeed& s : kSpeeds)
        if (s.dwBaud == baud)
            return s.speed;
    return B0;
}

timespec ToTimespec(std::chrono::steady_clock::duration d)
{
    const auto ns =
        std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return ts;
}

// Character-device majors of pseudo-terminal slaves: the BSD ones and the
// Unix98 ones under /dev/pts.
constexpr unsigned kBsdPtySlaveMajor = 3;
constexpr unsigned kUnix98PtySlaveMajor = 136;
constexpr unsigned kUnix98PtyMajorCount = 8;

bool IsDeviceGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

} // namespace

CSerialPort::CSerialPort()
    : m_arTx(new std::uint8_t[kTxBufferSize]()), m_arOut(new std::uint8_t[kTxBufferSize]())
{
    m_nWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    Setup(m_strName, m_dwBaud, m_byParity, m_byDataBits, m_byStopBits, m_dwEventMask);
}

CSerialPort::~CSerialPort()
{
    Close();
    if (m_nWakeFd >= 0)
        ::close(m_nWakeFd);
}

void CSerialPort::Setup(const std::string& name, std::uint32_t baud, std::uint8_t parity,
                        std::uint8_t dataBits, std::uint8_t stopBits, std::uint32_t eventMask)
{
    m_strName = name;
    m_dwBaud = baud;
    m_byParity = parity;
    m_byDataBits = dataBits;
    m_byStopBits = stopBits;
    m_dwEventMask = eventMask;
    m_fCharTime = CharTimeMs(baud, parity, dataBits, stopBits);
    m_timeouts = TimeoutsForCharTime(m_fCharTime);
}

void CSerialPort::SetModemControl(bool rtsHigh, bool dtrHigh)
{
    m_bRtsHigh = rtsHigh;
    m_bDtrHigh = dtrHigh;
}

std::string CSerialPort::GetDevicePath() const
{
    if (!m_strName.empty() && m_strName.front() == '/')
        return m_strName;
    return "/dev/" + m_strName;
}

std::string CSerialPort::GetErrorText(int error)
{
    if (error == -1)
        error = errno;
    const std::string text = ErrorText(error);
    return text.empty() ? text : text + "\r\n";
}

bool CSerialPort::IsPseudoTerminal(int fd)
{
    // Only a master side has a pty number.
    unsigned int number = 0;
    if (ioctl(fd, TIOCGPTN, &number) == 0)
        return true;
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned devMajor = major(st.st_rdev);
    return devMajor == kBsdPtySlaveMajor ||
           (devMajor >= kUnix98PtySlaveMajor &&
            devMajor < kUnix98PtySlaveMajor + kUnix98PtyMajorCount);
}

// ---- Opening and closing ----------------------------------------------------

bool CSerialPort::Open()
{
    return OpenWith(-1);
}

bool CSerialPort::OpenFd(int fd)
{
    if (fd < 0) {
        if (OnReaderThread()) {
            RequestStop();
            return false;
        }
        Close();
        OnError("Невозможно открыть последовательный порт '%s'.", m_strName.c_str());
        return false;
    }
    return OpenWith(fd);
}

bool CSerialPort::OpenPort()
{
    return OpenPortWith(-1);
}

bool CSerialPort::OpenWith(int adoptFd)
{
    if (OnReaderThread()) {
        RequestStop();
        return false;
    }
    Close();
    if (!OpenPortWith(adoptFd)) {
        OnError("Невозможно открыть последовательный порт '%s'.", m_strName.c_str());
        return false;
    }
    if (!StartThread()) {
        ClosePort();
        return false;
    }
    return true;
}

bool CSerialPort::OpenPortWith(int adoptFd)
{
    if (OnReaderThread()) {
        RequestStop();
        return false;
    }
    ClosePort();
    {
        std::lock_guard lock(m_csTx);
        std::memset(m_arTx.get(), 0, kTxBufferSize);
        m_nTxQueued = 0;
        m_nTxPending = 0;
    }
    m_nOutLength = 0;
    m_nOutPos = 0;
    m_bOutPartial = false;

    int fd = -1;
    if (adoptFd >= 0) {
        fd = fcntl(adoptFd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return false;
        // The flag belongs to the open file, which the caller shares.
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
            ::close(fd);
            return false;
        }
    } else {
        // No controlling terminal, and open must not wait for carrier.
        fd = ::open(GetDevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        // The lock makes a port that another program holds busy; TIOCEXCL
        // alone does not keep out a privileged process.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        m_bExclusive = ioctl(fd, TIOCEXCL) == 0;
    }
    m_nFd.store(fd);
    m_bPseudoTerminal.store(IsPseudoTerminal(fd));
    m_bAtOnce.store(m_blockTiming == BlockTiming::AtOnce ||
                    (m_blockTiming == BlockTiming::Detect && m_bPseudoTerminal.load()));

    if (const int error = Configure(fd); error != 0) {
        const std::string text = GetErrorText(error);
        ClosePort();
        OnError("Ошибка при открытии с порта '%s'.\n%s", m_strName.c_str(), text.c_str());
        return false;
    }
    return true;
}

int CSerialPort::Configure(int fd)
{
    termios old{};
    if (tcgetattr(fd, &old) != 0)
        return errno;
    m_oldTermios = old;
    m_bHaveOldTermios = true;
    if (GetLineBaud(fd, m_dwOldBaud) != 0)
        m_dwOldBaud = 0;

    if (m_dwBaud == 0)
        return EINVAL; // B0 would hang the line up

    tcflag_t size = 0;
    switch (m_byDataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return EINVAL;
    }
    tcflag_t parity = 0;
    switch (m_byParity) {
    case NOPARITY: break;
    case ODDPARITY: parity = PARENB | PARODD; break;
    case EVENPARITY: parity = PARENB; break;
    // Stick parity: with CMSPAR the parity bit is always 1 with PARODD (mark)
    // and always 0 without (space).
    case MARKPARITY: parity = PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: parity = PARENB | CMSPAR; break;
    default: return EINVAL;
    }
    tcflag_t stop = 0;
    switch (m_byStopBits) {
    case ONESTOPBIT: break;
    // One and a half is not offered apart from two (a UART sends 1.5 with CSTOPB
    // and five data bits).
    case ONE5STOPBITS:
    case TWOSTOPBITS: stop = CSTOPB; break;
    default: return EINVAL;
    }

    termios tio = old;
    // Binary line: no line editing, echo, signals or byte translation.
    cfmakeraw(&tio);
    // No software flow control; cfmakeraw leaves IXOFF and IXANY alone.
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // No hardware flow control; HUPCL keeps the driver's value.
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // CLOCAL: the modem lines do not gate the line; CREAD: the receiver is on.
    tio.c_cflag |= CLOCAL | CREAD | size | parity | stop;
    // With O_NONBLOCK an empty line reads EAGAIN; a read of 0 bytes then
    // means a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = SpeedConstant(m_dwBaud);
    if (speed != B0) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }

    bool bRefused = false;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        if (errno != EINVAL)
            return errno;
        // A pseudo-terminal keeps 8 data bits and no parity whatever is asked
        // and may refuse the rest; whether the baud rate took decides.
        bRefused = true;
    }
    if (speed == B0) {
        if (const int error = SetLineBaud(fd, m_dwBaud); error != 0)
            return error;
    }
    std::uint32_t actual = 0;
    if (const int error = GetLineBaud(fd, actual); error != 0)
        return bRefused ? EINVAL : error;
    if (actual != m_dwBaud)
        return EINVAL;

    const auto setLine = [fd](int line, bool high) {
        int bits = line;
        if (ioctl(fd, high ? TIOCMBIS : TIOCMBIC, &bits) == 0)
            return 0;
        // A pseudo-terminal has no modem lines.
        return (errno == ENOTTY || errno == EINVAL) ? 0 : errno;
    };
    if (const int error = setLine(TIOCM_RTS, m_bRtsHigh); error != 0)
        return error;
    if (const int error = setLine(TIOCM_DTR, m_bDtrHigh); error != 0)
        return error;

    // Bytes that arrived before the port was opened belong to nobody.
    if (tcflush(fd, TCIFLUSH) != 0)
        return errno;
    return 0;
}

bool CSerialPort::ClosePort()
{
    if (OnReaderThread()) {
        RequestStop();
        return false;
    }
    // The reader thread never polls a descriptor that was closed under it.
    StopThread();
    const int fd = m_nFd.load();
    if (fd < 0)
        return false;
    // Queued bytes in both directions are dropped; close() would otherwise
    // wait for the output to drain.
    tcflush(fd, TCIOFLUSH);
    if (m_bHaveOldTermios) {
        tcsetattr(fd, TCSANOW, &m_oldTermios);
        // A rate outside the B-constants does not come back through termios.
        std::uint32_t now = 0;
        if (m_dwOldBaud != 0 && GetLineBaud(fd, now) == 0 && now != m_dwOldBaud)
            SetLineBaud(fd, m_dwOldBaud);
    }
    if (m_bExclusive)
        ioctl(fd, TIOCNXCL);
    ::close(fd);
    m_nFd.store(-1);
    m_bAtOnce.store(false);
    m_bExclusive = false;
    m_bHaveOldTermios = false;
    return true;
}

bool CSerialPort::StartThread()
{
    if (OnReaderThread() || m_nFd.load() < 0 || m_thread.joinable() || m_nWakeFd < 0)
        return false;
    DrainWake();
    m_bStop.store(false);

    SThreadParams params;
    params.nFd = m_nFd.load();
    params.interval = std::chrono::milliseconds(m_timeouts.dwReadInterval);
    params.total =
        std::chrono::milliseconds(std::uint64_t{ m_timeouts.dwReadTotalMultiplier } * kBlockSize +
                                  m_timeouts.dwReadTotalConstant);
    params.dwEventMask = m_dwEventMask;
    params.bAtOnce = m_bAtOnce.load();
    try {
        m_thread = std::thread(&CSerialPort::ReaderThread, this, params);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool CSerialPort::StopThread()
{
    if (OnReaderThread()) {
        RequestStop();
        return false;
    }
    if (!m_thread.joinable())
        return false;
    RequestStop();
    m_thread.join();
    DrainWake();
    // What the thread did not run is not run.
    std::lock_guard lock(m_csTasks);
    m_arTasks.clear();
    return true;
}

void CSerialPort::Close()
{
    if (OnReaderThread()) {
        RequestStop();
        return;
    }
    StopThread();
    ClosePort();
}

bool CSerialPort::OnReaderThread() const
{
    return m_readerId.load() == std::this_thread::get_id();
}

void CSerialPort::RequestStop()
{
    m_bStop.store(true);
    Wake();
}

void CSerialPort::Wake()
{
    if (m_nWakeFd < 0)
        return;
    const std::uint64_t one = 1;
    // Fails only when the counter is about to overflow: it is set anyway.
    [[maybe_unused]] const ssize_t n = ::write(m_nWakeFd, &one, sizeof one);
}

void CSerialPort::DrainWake()
{
    if (m_nWakeFd < 0)
        return;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_nWakeFd, &count, sizeof count);
}

// ---- Tasks --------------------------------------------------------------------

void CSerialPort::RunOnReaderThread(std::chrono::milliseconds delay, std::function<void()> task)
{
    {
        std::lock_guard lock(m_csTasks);
        m_arTasks.push_back({ Clock::now() + delay, std::move(task) });
    }
    Wake();
}

CSerialPort::Clock::time_point CSerialPort::NextTaskDue(Clock::time_point limit)
{
    std::lock_guard lock(m_csTasks);
    for (const STask& t : m_arTasks)
        limit = std::min(limit, t.due);
    return limit;
}

void CSerialPort::RunDueTasks()
{
    std::vector<std::function<void()>> due;
    {
        std::lock_guard lock(m_csTasks);
        const Clock::time_point now = Clock::now();
        // In the order they were asked for.
        auto keep = m_arTasks.begin();
        for (auto it = m_arTasks.begin(); it != m_arTasks.end(); ++it) {
            if (it->due <= now)
                due.push_back(std::move(it->task));
            else
                *keep++ = std::move(*it);
        }
        m_arTasks.erase(keep, m_arTasks.end());
    }
    for (auto& task : due)
        CallHook([&task] { task(); });
}

// ---- Transmit -----------------------------------------------------------------

bool CSerialPort::Write(const std::uint8_t* data, std::uint32_t count)
{
    {
        std::lock_guard lock(m_csTx);
        // Queued bytes never exceed pending ones, so the copy fits.
        if (std::uint64_t{ m_nTxPending } + count >= kTxBufferSize)
            return false;
        if (count != 0)
            std::memcpy(m_arTx.get() + m_nTxQueued, data, count);
        m_nTxQueued += count;
        m_nTxPending += count;
    }
    Wake();
    return true;
}

bool CSerialPort::PerformWrite(int fd, bool& bDeviceGone)
{
    if (m_nOutPos == m_nOutLength) {
        // Everything queued so far goes out in one write, in order.
        std::lock_guard lock(m_csTx);
        if (m_nTxQueued == 0) {
            m_bWaitWritable = false;
            return false;
        }
        std::memcpy(m_arOut.get(), m_arTx.get(), m_nTxQueued);
        m_nOutLength = m_nTxQueued;
        m_nOutPos = 0;
        m_nTxQueued = 0;
        m_bOutPartial = false;
    }

    const std::uint32_t offset = m_nOutPos;
    const std::uint32_t remaining = m_nOutLength - offset;
    const ssize_t n = ::write(fd, m_arOut.get() + offset, remaining);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            m_bOutPartial = true;
            m_bWaitWritable = true;
            return false;
        }
        const int error = errno;
        // The bytes stay and are tried again on the next Write.
        m_bWaitWritable = false;
        m_bWriteHalted = true;
        bDeviceGone = IsDeviceGone(error);
        CallHook([&] { OnError("Ошибка WriteFile() в порт\n"); });
        return false;
    }

    m_nWriteCount.fetch_add(1);
    const auto written = static_cast<std::uint32_t>(n);
    m_nOutPos += written;
    {
        std::lock_guard lock(m_csTx);
        m_nTxPending -= written;
    }
    if (written < remaining)
        m_bOutPartial = true;
    if (m_bOutPartial && written != 0)
        CallHook([&] { OnSent(m_arOut.get() + offset, written); });
    if (m_nOutPos == m_nOutLength) {
        m_nOutPos = 0;
        m_nOutLength = 0;
        m_bWaitWritable = false;
    } else {
        m_bWaitWritable = true;
    }
    return written != 0;
}

// ---- Reader thread --------------------------------------------------------------

void CSerialPort::RaiseThreadPriority()
{
    const pid_t tid = gettid();
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno == 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice - kPriorityBoost);
}

void CSerialPort::DeliverBlock(const std::uint8_t* data, std::uint32_t count)
{
    try {
        OnReceive(data, count);
    } catch (...) {
        std::this_thread::yield();
    }
}

void CSerialPort::ReportLineChanges(int fd, std::uint32_t mask, bool& bSupported, bool& bEvent)
{
    int status = 0;
    if (ioctl(fd, TIOCMGET, &status) != 0) {
        bSupported = false; // a pseudo-terminal has no modem lines
        return;
    }
    const std::uint32_t changed = m_modemLines.Update(status, mask);
    for (const std::uint32_t event : { EV_CTS, EV_DSR, EV_RING, EV_RLSD }) {
        if (changed & event) {
            CallHook([&] { OnCommEvent(event); });
            bEvent = true;
        }
    }
}

void CSerialPort::ReaderThread(SThreadParams params)
{
    m_readerId.store(std::this_thread::get_id());
    RaiseThreadPriority();
    m_modemLines.Reset();
    m_bWaitWritable = false;
    m_bWriteHalted = false;

    const int fd = params.nFd;
    std::uint8_t block[kBlockSize];
    std::uint32_t nBlock = 0;
    Clock::time_point tFirst{}; // first byte of the block
    Clock::time_point tLast{};  // last byte of the block
    Clock::time_point tEvent = Clock::now();
    // After a failure the descriptor is left alone until Close.
    bool bFailed = false;
    const std::uint32_t modemMask = params.dwEventMask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING);
    bool bModem = modemMask != 0;

    const auto deliver = [&] {
        if (nBlock != 0) {
            DeliverBlock(block, nBlock);
            nBlock = 0;
        }
    };
    const auto fail = [&](int error) {
        deliver();
        bFailed = true;
        const std::string text = ErrorText(error);
        CallHook([&] { OnError("Ошибка: WaitCommEvent() - \"%s\"\n", text.c_str()); });
    };

    while (!m_bStop.load()) {
        Clock::time_point now = Clock::now();
        Clock::time_point deadline = tEvent + kIdleTime;
        if (nBlock != 0)
            deadline = std::min({ deadline, tLast + params.interval, tFirst + params.total });
        if (bModem && !bFailed)
            deadline = std::min(deadline, now + kModemPollTime);
        deadline = NextTaskDue(deadline);

        pollfd fds[2] = {
            { m_nWakeFd, POLLIN, 0 },
            { fd, static_cast<short>(POLLIN | (m_bWaitWritable ? POLLOUT : 0)), 0 },
        };
        const timespec timeout = ToTimespec(deadline - now);
        const int ready = ppoll(fds, bFailed ? 1 : 2, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            if (!bFailed) {
                fail(errno);
            } else {
                // Only the wake descriptor is left and even that fails: do
                // not spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            continue;
        }
        now = Clock::now();
        if (fds[0].revents & POLLIN) {
            DrainWake();
            tEvent = now;
            m_bWriteHalted = false;
        }
        if (m_bStop.load())
            break;

        // A pause longer than the interval, or the total time, ends the block
        // before newer bytes are read.
        if (nBlock != 0 && (now - tLast >= params.interval || now - tFirst >= params.total))
            deliver();

        if (!bFailed && ready > 0) {
            const short events = fds[1].revents;
            if (events & POLLNVAL) {
                fail(EBADF);
            } else if (events & POLLIN) {
                const ssize_t n = ::read(fd, block + nBlock, kBlockSize - nBlock);
                if (n > 0) {
                    if (nBlock == 0)
                        tFirst = now;
                    nBlock += static_cast<std::uint32_t>(n);
                    tLast = now;
                    tEvent = now;
                    if (nBlock == kBlockSize || params.bAtOnce)
                        deliver();
                } else if (n == 0) {
                    fail(EIO); // end of file on a terminal: it was hung up
                } else if (errno != EAGAIN && errno != EINTR) {
                    fail(errno);
                } else if (events & (POLLHUP | POLLERR)) {
                    fail(EIO);
                }
            } else if (events & (POLLHUP | POLLERR)) {
                fail(EIO);
            }
        }

        if (bModem && !bFailed) {
            bool bEvent = false;
            ReportLineChanges(fd, modemMask, bModem, bEvent);
            if (bEvent)
                tEvent = now;
        }

        // Drains asked for and answers held back: their frames are written
        // below, in this turn.
        RunDueTasks();

        if (!bFailed && !m_bWriteHalted) {
            bool bGone = false;
            if (PerformWrite(fd, bGone))
                tEvent = now;
            if (bGone) {
                deliver();
                bFailed = true; // reported as the failed write
            }
        }

        if (now - tEvent >= kIdleTime) {
            CallHook([&] { OnIdle(); });
            tEvent = now;
        }
    }
    m_readerId.store(std::thread::id{});
}

// ---- Hooks --------------------------------------------------------------------

void CSerialPort::OnCommEvent(std::uint32_t) {}

void CSerialPort::OnError(const char*, ...) {}

void CSerialPort::OnSent(const std::uint8_t*, std::uint32_t) {}

void CSerialPort::OnReceive(const std::uint8_t*, std::uint32_t) {}

void CSerialPort::OnIdle() {}

} // namespace korvex
