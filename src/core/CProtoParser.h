#pragma once

#include "core/Types.h"

#include <cstdint>

namespace korvex {

// Turns the bytes at the start of the receive buffer into one drain step.
class CProtoParser
{
public:
    virtual ~CProtoParser() = default;
    virtual void Parse(const std::uint8_t* data, unsigned available, SFrameInfo& info) = 0;
};

} // namespace korvex
