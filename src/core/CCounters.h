#pragma once

#include "core/CDevCounters.h"
#include "core/CTransportCounters.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

class CDevDoc;
class IDeviceLookup;

// One device's line of a snapshot.
struct SDeviceCounters
{
    std::string strId;
    std::uint8_t byAddr{ 0 };
    SDevCounterValues values;
};

// Every counter at one moment: the devices in opening order, their sum, and
// the transports, the line first.
struct SCountersSnapshot
{
    SDevCounterValues total;
    std::vector<SDeviceCounters> devices;
    std::vector<STransportCounterValues> transports;
};

// The counters of the emulator: each device's own (kept by the device, so
// the answering path reaches them without a lookup) and each transport's:
// the serial line and every network listener. The bus counters of the
// diagnostics (messages seen, CRC errors) are the transports' summed.
//
// Threads: transports are added on the controlling thread; the answering
// threads count; any thread reads and clears. m_csTransports guards the list,
// the counters guard themselves.
class CCounters
{
public:
    static constexpr char kLineName[] = "line";

    explicit CCounters(const IDeviceLookup& devices);

    CTransportCounters& Line() { return *m_pLine; }
    // A listener's counters by its name ("Modbus TCP 127.0.0.1:1502"): a
    // listener bound again goes on with the counts it had.
    std::shared_ptr<CTransportCounters> Transport(const std::string& name);

    // Messages seen and bad frames on every transport.
    std::uint64_t GetBusMessages() const;
    std::uint64_t GetBusErrors() const;
    // The same since the device's last clear.
    std::uint64_t GetBusMessages(const CDevDoc& device) const;
    std::uint64_t GetBusErrors(const CDevDoc& device) const;

    // One device's counters to zero (Diagnostics, clear counters).
    void ClearDevice(CDevDoc& device);
    // Every device's and transport's; listeners no longer served are
    // forgotten.
    void Clear();

    SCountersSnapshot Snapshot() const;

private:
    std::vector<std::shared_ptr<CTransportCounters>> Transports() const;

    const IDeviceLookup& m_devices;
    const std::shared_ptr<CTransportCounters> m_pLine;
    mutable std::mutex m_csTransports;
    std::vector<std::shared_ptr<CTransportCounters>> m_arTransports; // the line first
};

} // namespace korvex
