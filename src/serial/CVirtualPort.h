#pragma once

#include <string>

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
// Used from one thread.
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
    // Drops what was written to the master and no client has read yet.
    void DiscardUnread();

private:
    int m_nMasterFd{ -1 };
    int m_nSlaveFd{ -1 };
    std::string m_strSlavePath;
};

} // namespace korvex
