#pragma once

#include <atomic>
#include <shared_mutex>

namespace korvex {

class CCounters;
class IDeviceLookup;
class ILineSink;
class IPduHandler;
struct SSettings;

// What a network transport uses of the emulator: the handlers behind every
// transport, the devices, the protocol line feed, the settings with the lock
// a drain holds shared while it reads them, the session's running flag and
// the counters its listeners count in.
//
// Threads: any; each collaborator says which lock guards what.
class ITransportHost
{
public:
    virtual ~ITransportHost() = default;
    virtual IPduHandler& GetPduHandler() = 0;
    virtual const IDeviceLookup& GetDeviceLookup() const = 0;
    virtual ILineSink& GetLines() = 0;
    virtual const SSettings& GetSettings() const = 0;
    virtual std::shared_mutex& GetSettingsLock() = 0;
    virtual const std::atomic<bool>& GetRunningFlag() const = 0;
    virtual CCounters& GetCounters() = 0;
};

} // namespace korvex
