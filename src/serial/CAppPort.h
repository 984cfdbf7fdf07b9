#pragma once

#include "core/IPort.h"
#include "core/ITransportThread.h"
#include "serial/CSerialPort.h"

#include <atomic>

namespace korvex {

class IPortEvents;
class CVirtualPort;

// The application's serial port: received blocks go to the receive path,
// which answers them on the reader thread at once, and errors to the error
// hook (which posts the stop). Optionally serves the master side of a
// virtual port instead of a named device.
//
// Threads: Setup/Open/Close on the UI thread; the hooks and the tasks asked
// for (drains, delayed answers) on the reader thread.
class CAppPort final : public CSerialPort, public IPort, public ITransportThread
{
public:
    explicit CAppPort(IPortEvents& events);
    ~CAppPort() override;

    // Serve this pseudo-terminal pair on the next Open (null: the named port).
    void SetVirtualPort(CVirtualPort* port) { m_pVirtual = port; }

    void Setup(const std::string& name, std::uint32_t baud, std::uint8_t parity,
               std::uint8_t dataBits, std::uint8_t stopBits, std::uint32_t eventMask) override;
    void SetModemControl(bool rtsOn, bool dtrOn) override;
    bool Open() override;
    void Close() override;

    // ITransportThread: the emulator answers on the reader thread while the
    // port is open.
    void RequestDrain() override;
    void RunLater(std::chrono::milliseconds delay, std::function<void()> task) override;

protected:
    void OnError(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    void OnReceive(const std::uint8_t* data, std::uint32_t count) override;

private:
    IPortEvents& m_events;
    CVirtualPort* m_pVirtual{ nullptr };
    std::atomic<bool> m_bReported{ false }; // an error was reported since Open began
};

} // namespace korvex
