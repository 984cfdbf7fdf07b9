#pragma once

#include <cstdint>

namespace korvex {

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF), table-driven.
// The high half of the result is the byte that goes first on the wire:
// Crc16("01 03 00 00 00 0A") = 0xC5CD, so the frame ends in C5 CD.
std::uint16_t Crc16(const std::uint8_t* data, unsigned length);

// One table step: crc in the form Crc16 returns, the next message byte.
std::uint16_t Crc16Step(std::uint16_t crc, std::uint8_t byte);

// True when data[length], data[length + 1] hold the CRC of the bytes before them.
inline bool CrcMatches(const std::uint8_t* data, unsigned length)
{
    const std::uint16_t crc = Crc16(data, length);
    return data[length] == (crc >> 8) && data[length + 1] == (crc & 0xFF);
}

} // namespace korvex
