#pragma once

#include <cstdint>
#include <string>

namespace korvex {

// The serial line the session runs on. Open reports its own failures through
// the application's OnError and returns false.
class IPort
{
public:
    virtual ~IPort() = default;
    virtual void Setup(const std::string& name, std::uint32_t baud, std::uint8_t parity,
                       std::uint8_t dataBits, std::uint8_t stopBits, std::uint32_t eventMask) = 0;
    virtual void SetModemControl(bool rtsOn, bool dtrOn) = 0;
    virtual bool Open() = 0;
    virtual void Close() = 0;
};

} // namespace korvex
