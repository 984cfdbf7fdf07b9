#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <termios.h>
#include <thread>

namespace korvex {

// A virtual serial port: a pseudo-terminal pair whose master side Korvex
// serves (CSerialPort::OpenFd) while a MODBUS master program opens the slave
// path as its serial port.
//
// The pair keeps a descriptor of its own on the slave side. Without it the
// master polls POLLHUP and reads EIO in a loop whenever no program has the
// slave open; with it a client may come and go. The price: bytes written to
// the master while no client is connected wait in the slave's input queue
// and reach the next client, so a client should flush its input after it
// opens the slave.
//
// The slave's settings outlive the client that made them: the kernel keeps
// them while the master side is open, and a client that is killed never puts
// back what it found. Setting them clears PARENB and CSIZE on a
// pseudo-terminal, and glibc's tcsetattr answers EINVAL when a set changed
// nothing although parity was asked for; so a client asking for exactly what
// a killed one with the same line left behind (19200 8E1 after 19200 8E1)
// could not connect. The pair therefore keeps the slave in a state no client
// asks for: its speed is B0 (meaningless on a pseudo-terminal) at rest, again
// after the last client has closed it, and once a client has sent a request;
// every client's set-up then changes something.
//
// Threads: Create and Destroy on the controlling thread; DropStaleAnswers
// and ForgetClientSpeed on the serial reader thread; a watcher thread of the
// pair follows the clients' opens and closes. m_csSlave orders the changes of
// the slave's settings; m_csClients guards the reading of the opens and
// closes and their counts.
class CVirtualPort
{
public:
    CVirtualPort() = default;
    ~CVirtualPort();

    CVirtualPort(const CVirtualPort&) = delete;
    CVirtualPort& operator=(const CVirtualPort&) = delete;

    // Creates a new pair (destroying an earlier one) with a raw slave side.
    // false when the system refuses; errno tells why.
    bool Create();
    // Closes both sides; the slave path disappears.
    void Destroy();

    bool IsCreated() const { return m_nMasterFd >= 0; }
    // The master descriptor, owned by this object; -1 when not created.
    int GetMasterFd() const { return m_nMasterFd; }
    // The device a client opens, for example /dev/pts/3; empty when not created.
    const std::string& GetSlavePath() const { return m_strSlavePath; }
    // A request has come: the opens not yet seen are seen now, before it is
    // answered. When a client opens the slave, what was written before and
    // no client read is stale (the answers of a client that went without
    // reading them) and is dropped. Bytes the client may still read are
    // never dropped: one that sends its next request before reading gets
    // both answers, as on a line.
    void DropStaleAnswers();
    // A request came, so the client has set the line up: its speed becomes
    // B0, and what the client leaves behind differs from any client's set-up.
    void ForgetClientSpeed();

private:
    // The watcher thread: counts the clients' opens and closes of the slave
    // path and puts the slave back to rest when the last client has gone.
    void WatchClients();
    // Reads the opens and closes the watch has queued (m_csClients held);
    // false when the watch has ended.
    bool ReadClientEvents();
    void FlushUnread();
    void Rest();

    int m_nMasterFd{ -1 };
    int m_nSlaveFd{ -1 };
    int m_nWatchFd{ -1 }; // inotify on the slave path
    int m_nStopFd{ -1 };  // eventfd: ends the watcher
    std::string m_strSlavePath;
    termios m_tioRest{};
    std::mutex m_csSlave;
    std::mutex m_csClients;
    int m_nClients{ 0 };
    std::thread m_watcher;
};

} // namespace korvex
