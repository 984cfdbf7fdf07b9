#include "core/Crc16.h"

#include <array>

namespace korvex {
namespace {

// The two tables of the MODBUS serial line specification, computed at compile
// time: auchCRCHi holds the byte that ends up first on the wire, auchCRCLo the
// second.
struct CrcTables
{
    std::array<std::uint8_t, 256> hi{};
    std::array<std::uint8_t, 256> lo{};
};

constexpr CrcTables MakeTables()
{
    CrcTables t;
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        t.hi[i] = static_cast<std::uint8_t>(crc & 0xFF);
        t.lo[i] = static_cast<std::uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kTables = MakeTables();

} // namespace

std::uint16_t Crc16Step(std::uint16_t crc, std::uint8_t byte)
{
    const std::uint8_t hi = static_cast<std::uint8_t>(crc >> 8);
    const std::uint8_t lo = static_cast<std::uint8_t>(crc & 0xFF);
    const std::uint8_t index = hi ^ byte;
    return static_cast<std::uint16_t>(((lo ^ kTables.hi[index]) << 8) | kTables.lo[index]);
}

std::uint16_t Crc16(const std::uint8_t* data, unsigned length)
{
    std::uint16_t crc = 0xFFFF;
    for (unsigned i = 0; i < length; ++i)
        crc = Crc16Step(crc, data[i]);
    return crc;
}

} // namespace korvex
