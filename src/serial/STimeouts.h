#pragma once

#include <cstdint>

namespace korvex {

// Read and write time-outs of the port, in milliseconds. A block read ends
// when the block is full, when the pause after a received byte exceeds
// dwReadInterval, or when dwReadTotalMultiplier * block size +
// dwReadTotalConstant have passed. Writes have no time-out.
struct STimeouts
{
    std::uint32_t dwReadInterval{ 0 };
    std::uint32_t dwReadTotalMultiplier{ 0 };
    std::uint32_t dwReadTotalConstant{ 0 };
    std::uint32_t dwWriteTotalMultiplier{ 0 };
    std::uint32_t dwWriteTotalConstant{ 0 };
};

// Time on the line of one character in milliseconds: start bit, data bits,
// stop-bit code plus one, and one more bit when the parity code is 0 (the
// rule the settings have always used). 0 for a baud rate of 0.
float CharTimeMs(std::uint32_t baud, std::uint8_t parity, std::uint8_t dataBits,
                 std::uint8_t stopBits);

// Time-outs for a character time t: interval and multiplier ceil(t), constant
// ceil(4t + 0.5).
STimeouts TimeoutsForCharTime(float charTimeMs);

} // namespace korvex
