#pragma once

#include <string>

namespace korvex {

// Where protocol-log lines go (the line feed). Any thread.
class ILineSink
{
public:
    virtual ~ILineSink() = default;
    // Hands the line over now, then every queued line. A caller with no
    // device passes an empty text, with no address -1.
    virtual void AddLine(int kind, const std::string& device, int address,
                         const std::string& text) = 0;
    // Holds the line back until the next AddLine.
    virtual void AddLineQueued(int kind, const std::string& device, int address,
                               const std::string& text) = 0;
};

} // namespace korvex
