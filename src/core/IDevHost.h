#pragma once

#include <cstdint>
#include <string>

namespace korvex {

class CCellNotifier;
class CDevDoc;
class CDocManager;

// What a device document uses of the program around it, given when the
// device is made: the documents' manager it belongs to, the registry of
// devices (the lookups by address and ID follow its own), the notifier its
// cells announce their changes to, the resolver of project-relative paths
// and the sink of the document layer's messages.
//
// Threads: the user-interface thread, but the notifier (any thread) and the
// lookup (any thread).
class IDevHost
{
public:
    virtual ~IDevHost() = default;

    virtual CDocManager& GetDocManager() = 0;
    // A device joins the registry when it is made and leaves it (its faults
    // forgotten with it) when it is destroyed.
    virtual void AddDevice(CDevDoc* device) = 0;
    virtual void RemoveDevice(CDevDoc* device) = 0;
    virtual void SetDeviceId(CDevDoc* device, const std::string& id) = 0;
    virtual void SetDeviceAddr(CDevDoc* device, std::uint8_t addr) = 0;
    virtual CDevDoc* FindDeviceById(const std::string& id) const = 0;
    virtual CCellNotifier& GetCellNotifier() = 0;
    virtual std::string ResolvePath(const std::string& path) const = 0;
    virtual void ReportError(const std::string& text) const = 0;
};

} // namespace korvex
