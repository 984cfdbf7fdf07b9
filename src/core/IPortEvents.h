#pragma once

#include <cstdint>
#include <string>

namespace korvex {

class ITransportThread;

// What a port reports to the emulator: received blocks, a failure (the
// session stops), whether its line can echo what the emulator sends, and the
// thread it answers on while it is open.
//
// Threads: OnReceive, DrainReceived and OnPortError on the port's reader
// thread; SetEchoPossible and SetTransportThread where the port opens and
// closes.
class IPortEvents
{
public:
    virtual ~IPortEvents() = default;
    virtual void OnReceive(const std::uint8_t* data, std::uint32_t count) = 0;
    virtual void OnPortError(const std::string& text) = 0;
    // A pseudo-terminal never echoes: there a frame equal to the last
    // answer is a request.
    virtual void SetEchoPossible(bool possible) = 0;
    // The port answers on its own thread from now on; null: no longer.
    virtual void SetTransportThread(ITransportThread* thread) = 0;
    // The drain the port's thread was asked for (ITransportThread::RequestDrain).
    virtual void DrainReceived() = 0;
};

} // namespace korvex
