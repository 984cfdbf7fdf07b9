#pragma once

#include <cstdint>
#include <string>

namespace korvex {

class CDevDoc;

// Finds an open device; the first match in opening order wins. Any thread.
class IDeviceLookup
{
public:
    virtual ~IDeviceLookup() = default;
    virtual CDevDoc* FindDeviceByAddr(std::uint8_t addr) const = 0;
    // Exact, case-sensitive comparison of the ID.
    virtual CDevDoc* FindDeviceById(const std::string& id) const = 0;
};

} // namespace korvex
