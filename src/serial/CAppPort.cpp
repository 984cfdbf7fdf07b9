#include "serial/CAppPort.h"

#include "core/IPortEvents.h"
#include "core/Text.h"
#include "serial/CVirtualPort.h"

#include <cstdarg>

namespace korvex {

CAppPort::CAppPort(IPortEvents& events) : m_events(events) {}

CAppPort::~CAppPort()
{
    CSerialPort::Close();
}

void CAppPort::Setup(const std::string& name, std::uint32_t baud, std::uint8_t parity,
                     std::uint8_t dataBits, std::uint8_t stopBits, std::uint32_t eventMask)
{
    CSerialPort::Setup(name, baud, parity, dataBits, stopBits, eventMask);
}

void CAppPort::SetModemControl(bool rtsOn, bool dtrOn)
{
    CSerialPort::SetModemControl(rtsOn, dtrOn);
}

bool CAppPort::Open()
{
    m_bReported.store(false);
    // The first block may come as soon as the reader thread runs: it is
    // answered there.
    m_events.SetTransportThread(this);
    const bool opened = m_pVirtual != nullptr ? CSerialPort::OpenFd(m_pVirtual->GetMasterFd())
                                              : CSerialPort::Open();
    if (!opened)
        m_events.SetTransportThread(nullptr);
    // A reader thread that cannot start fails the open without a report;
    // the session must still hear of it, or it would run without a port.
    if (!opened && !m_bReported.load())
        OnError("Невозможно открыть последовательный порт '%s'.", GetName().c_str());
    // A line adapter may echo what the emulator sends; a pseudo-terminal
    // never does, so there a frame equal to the last answer is a request.
    if (opened)
        m_events.SetEchoPossible(!IsOnPseudoTerminal());
    return opened;
}

void CAppPort::Close()
{
    m_events.SetTransportThread(nullptr);
    CSerialPort::Close();
}

void CAppPort::RequestDrain()
{
    RunOnReaderThread(std::chrono::milliseconds(0), [this] { m_events.DrainReceived(); });
}

void CAppPort::RunLater(std::chrono::milliseconds delay, std::function<void()> task)
{
    RunOnReaderThread(delay, std::move(task));
}

void CAppPort::OnError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = StrFormatV(format, args);
    va_end(args);
    m_bReported.store(true);
    m_events.OnPortError(text);
}

void CAppPort::OnReceive(const std::uint8_t* data, std::uint32_t count)
{
    // A virtual port keeps answers nobody read; a new master must not get
    // those of one that went. The master has set the line up by now:
    // whatever it leaves behind when it is killed must not look like the next
    // master's set-up.
    if (m_pVirtual != nullptr) {
        m_pVirtual->DropStaleAnswers();
        m_pVirtual->ForgetClientSpeed();
    }
    m_events.OnReceive(data, count);
}

} // namespace korvex
