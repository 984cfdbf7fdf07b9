#include "core/CCounters.h"

#include "core/CDevDoc.h"
#include "core/IDeviceLookup.h"

#include <algorithm>

namespace korvex {

CCounters::CCounters(const IDeviceLookup& devices)
    : m_devices(devices),
      m_pLine(std::make_shared<CTransportCounters>(kLineName)), m_arTransports{ m_pLine }
{
}

std::shared_ptr<CTransportCounters> CCounters::Transport(const std::string& name)
{
    std::lock_guard lock(m_csTransports);
    for (const auto& transport : m_arTransports)
        if (transport->GetName() == name)
            return transport;
    return m_arTransports.emplace_back(std::make_shared<CTransportCounters>(name));
}

std::vector<std::shared_ptr<CTransportCounters>> CCounters::Transports() const
{
    std::lock_guard lock(m_csTransports);
    return m_arTransports;
}

std::uint64_t CCounters::GetBusMessages() const
{
    std::uint64_t sum = 0;
    for (const auto& transport : Transports())
        sum += transport->GetFrames();
    return sum;
}

std::uint64_t CCounters::GetBusErrors() const
{
    std::uint64_t sum = 0;
    for (const auto& transport : Transports())
        sum += transport->GetBadFrames();
    return sum;
}

// A clear of everything may leave a device's base above the new counts for
// a moment: such a device has seen nothing since.
std::uint64_t CCounters::GetBusMessages(const CDevDoc& device) const
{
    const std::uint64_t now = GetBusMessages();
    const std::uint64_t base = device.GetCounters().GetBusMessagesBase();
    return now > base ? now - base : 0;
}

std::uint64_t CCounters::GetBusErrors(const CDevDoc& device) const
{
    const std::uint64_t now = GetBusErrors();
    const std::uint64_t base = device.GetCounters().GetBusErrorsBase();
    return now > base ? now - base : 0;
}

void CCounters::ClearDevice(CDevDoc& device)
{
    device.GetCounters().Clear(GetBusMessages(), GetBusErrors());
}

void CCounters::Clear()
{
    {
        std::lock_guard lock(m_csTransports);
        // A listener's counters are held by the listener while it is bound.
        std::erase_if(m_arTransports, [this](const auto& transport) {
            return transport != m_pLine && transport.use_count() == 1;
        });
        for (const auto& transport : m_arTransports)
            transport->Clear();
    }
    for (CDevDoc* device : m_devices.GetDevices())
        device->GetCounters().Clear(0, 0);
}

SCountersSnapshot CCounters::Snapshot() const
{
    SCountersSnapshot snapshot;
    const std::uint64_t now = CDevCounters::CurrentSecond();
    for (const CDevDoc* device : m_devices.GetDevices()) {
        SDeviceCounters& row = snapshot.devices.emplace_back();
        row.strId = device->GetDevId();
        row.byAddr = device->GetDevAddr();
        row.values = device->GetCounters().Read(now);
        snapshot.total += row.values;
    }
    for (const auto& transport : Transports())
        snapshot.transports.push_back(transport->Read());
    return snapshot;
}

} // namespace korvex
