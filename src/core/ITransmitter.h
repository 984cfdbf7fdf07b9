#pragma once

#include <cstdint>

namespace korvex {

// Where complete frames go to the line: the serial port's transmit buffer.
// Write may be called from any thread; false means the frame was refused.
class ITransmitter
{
public:
    virtual ~ITransmitter() = default;
    virtual bool Write(const std::uint8_t* data, std::uint32_t count) = 0;
};

} // namespace korvex
