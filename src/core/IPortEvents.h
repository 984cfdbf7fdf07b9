#pragma once

#include <cstdint>
#include <string>

namespace korvex {

// What a port reports to the emulator: received blocks, a failure (the
// session stops), and whether its line can echo what the emulator sends.
//
// Threads: OnReceive and OnPortError on the port's reader thread;
// SetEchoPossible where the port opens.
class IPortEvents
{
public:
    virtual ~IPortEvents() = default;
    virtual void OnReceive(const std::uint8_t* data, std::uint32_t count) = 0;
    virtual void OnPortError(const std::string& text) = 0;
    // A pseudo-terminal never echoes: there a frame equal to the last
    // answer is a request.
    virtual void SetEchoPossible(bool possible) = 0;
};

} // namespace korvex
