#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // Every open device in opening order (a broadcast reaches them all); by
    // default the device each address finds.
    virtual std::vector<CDevDoc*> GetDevices() const
    {
        std::vector<CDevDoc*> devices;
        for (unsigned addr = 0; addr <= 0xFF; ++addr)
            if (CDevDoc* dev = FindDeviceByAddr(static_cast<std::uint8_t>(addr)))
                devices.push_back(dev);
        return devices;
    }
};

} // namespace korvex
