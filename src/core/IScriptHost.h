#pragma once

#include <cstdint>
#include <string>

namespace korvex {

class CDevDoc;
class CDocManager;
class IScript;
class IUiPoster;

// What a script document and its script use of the program around it, given
// when the script is made: the documents' manager, the session that starts
// and stops it (and stops at its errors), the line (frames sent, bytes
// injected as if a master had sent them), the devices' lookups and faults,
// the post to the user-interface thread, paths and messages.
//
// Threads: the session and documents on the user-interface thread; the
// line, lookups and faults from the script's own thread as well.
class IScriptHost
{
public:
    virtual ~IScriptHost() = default;

    virtual CDocManager& GetDocManager() = 0;
    virtual void AddScript(IScript* script) = 0;
    virtual void RemoveScript(IScript* script) = 0;
    // Stops the emulator from any thread (a script error).
    virtual void PostStop() = 0;
    virtual IUiPoster* GetPoster() const = 0;

    virtual void SendFrame(const std::uint8_t* frame, unsigned length) = 0;
    virtual void InjectReceived(const std::uint8_t* data, std::uint32_t count) = 0;
    virtual CDevDoc* FindDeviceByAddr(std::uint8_t addr) const = 0;
    virtual CDevDoc* FindDeviceById(const std::string& id) const = 0;
    // Replaces the device's faults by the rule text (empty: none); returns
    // the error text, empty when the rules were valid.
    virtual std::string SetFaults(const CDevDoc* device, const std::string& rules) = 0;

    virtual std::string ResolvePath(const std::string& path) const = 0;
    virtual void ReportError(const std::string& text) const = 0;
};

} // namespace korvex
