#pragma once

#include <cstdint>
#include <functional>

namespace korvex {

// The one transmit path for complete frames (CRC included): it remembers the
// frame for the echo test before the port gets it. Any thread.
class IFrameSender
{
public:
    virtual ~IFrameSender() = default;
    virtual void SendFrame(const std::uint8_t* frame, unsigned length) = 0;
    // Sends a copy of the frame through SendFrame once delayMs have passed,
    // then calls sent; neither happens when the session stops first. The wait
    // blocks no thread. User-interface thread.
    virtual void SendFrameDelayed(const std::uint8_t* frame, unsigned length, std::uint32_t delayMs,
                                  std::function<void()> sent) = 0;
};

// The echo test of the drain: true when the frame is the emulator's last
// transmitted one. Any test forgets that frame.
class IEchoFilter
{
public:
    virtual ~IEchoFilter() = default;
    virtual bool TakeEcho(const std::uint8_t* frame, unsigned length) = 0;
};

} // namespace korvex
