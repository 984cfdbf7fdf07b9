#pragma once

#include "core/IDeviceLookup.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

class CDevDoc;

// Every live device document, in creation order (not owned); devices add and
// remove themselves. Lookups walk the list, first match wins.
//
// Threads: devices come and go on the user-interface thread; lookups run on
// any thread. m_csDevices guards m_arDevices.
class CDeviceRegistry final : public IDeviceLookup
{
public:
    void AddDevice(CDevDoc* doc);
    void RemoveDevice(CDevDoc* doc);
    CDevDoc* FindDeviceByAddr(std::uint8_t addr) const override;
    CDevDoc* FindDeviceById(const std::string& id) const override;
    std::vector<CDevDoc*> GetDevices() const;

private:
    mutable std::mutex m_csDevices;
    std::vector<CDevDoc*> m_arDevices;
};

} // namespace korvex
