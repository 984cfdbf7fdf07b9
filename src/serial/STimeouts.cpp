#include "serial/STimeouts.h"

#include <cmath>

namespace korvex {

float CharTimeMs(std::uint32_t baud, std::uint8_t parity, std::uint8_t dataBits,
                 std::uint8_t stopBits)
{
    if (baud == 0)
        return 0.0f;
    const unsigned bits = dataBits + (parity == 0 ? 1u : 0u) + stopBits + 1u;
    return static_cast<float>(bits) * 1000.0f / static_cast<float>(baud);
}

STimeouts TimeoutsForCharTime(float charTimeMs)
{
    STimeouts t;
    const auto interval = static_cast<std::uint32_t>(std::ceil(charTimeMs));
    t.dwReadInterval = interval;
    t.dwReadTotalMultiplier = interval;
    t.dwReadTotalConstant = static_cast<std::uint32_t>(std::ceil(4.0f * charTimeMs + 0.5f));
    return t;
}

} // namespace korvex
