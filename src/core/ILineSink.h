#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

// The frame a protocol-log line describes: its bytes as they went over the
// wire (CRC or MBAP header included) and its function code without the
// exception bit; empty and -1 for a line of no frame.
struct SLineFrame
{
    std::string_view bytes;
    int nFunction{ -1 };
};

inline SLineFrame LineFrame(const std::uint8_t* data, std::size_t length, int function)
{
    return { std::string_view(reinterpret_cast<const char*>(data), length),
             function < 0 ? -1 : function & 0x7F };
}

// Where protocol-log lines go (the line feed). Any thread.
class ILineSink
{
public:
    virtual ~ILineSink() = default;
    // Hands the line over now, then every queued line. A caller with no
    // device passes an empty text, with no address -1.
    virtual void AddLine(int kind, const std::string& device, int address, std::string text,
                         SLineFrame frame = {}) = 0;
    // Holds the line back until the next AddLine.
    virtual void AddLineQueued(int kind, const std::string& device, int address, std::string text,
                               SLineFrame frame = {}) = 0;
};

} // namespace korvex
