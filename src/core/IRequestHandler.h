#pragma once

#include <cstdint>

namespace korvex {

// What the decoder hands a recognized request to: the whole frame (slave
// address on, CRC included), its slave address, the start address and the
// fourth field (quantity, value, or 0 for function 7).
class IRequestHandler
{
public:
    virtual ~IRequestHandler() = default;
    virtual void OnRequest(std::uint8_t code, const std::uint8_t* frame, unsigned length,
                           std::uint8_t slave, std::uint16_t start, std::uint16_t fourth) = 0;
};

} // namespace korvex
