#include "support/CoreHarness.h"

#include "core/Crc16.h"

namespace korvex::test {

Bytes WithCrc(Bytes frame)
{
    const std::uint16_t crc = Crc16(frame.data(), static_cast<unsigned>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return frame;
}

} // namespace korvex::test
