#pragma once

#include "core/FaultRules.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace korvex {

class CDevDoc;
class IUiPoster;

// What the faults of a device make of the answer to one request, drawn when
// the request arrives.
struct SFaultDecision
{
    bool bOff{ false };            // off: the device answers nothing
    bool bDropped{ false };        // drop: the request is lost, no answer
    std::uint8_t byException{ 0 }; // exception: this code answers instead
    bool bBadCrc{ false };         // crc: the answer's CRC is spoiled
    std::uint32_t dwDelayMs{ 0 };  // delay: the answer leaves this late
    bool bDelayed{ false };
    // The canonical texts of the rules that changed the answer, in order.
    std::vector<std::string> arRules;

    bool IsSilent() const { return bOff || bDropped; }
    bool ChangesAnswer() const { return !arRules.empty(); }
    // The protocol-log line that tells what was injected: "Неисправность
    // (delay=100-200, crc=5): ответ задержан на 153 мс; ..."
    std::string Describe() const;
};

// The faults of the project's devices, held in memory for the program's run:
// they are neither saved nor read with the device files. Devices are known by
// their documents; a device that is destroyed loses its faults.
//
// Threads: SetFaults and the queries from any thread (scripts set faults);
// Decide on the user-interface thread, in the request handlers; the listener
// hears of changes on the user-interface thread. m_csFaults guards m_faults
// and m_rng.
class CFaultInjector
{
public:
    using Listener = std::function<void(const CDevDoc* device)>;

    CFaultInjector();

    // Changes are announced through the poster (without one: at once).
    void SetPoster(IUiPoster* poster) { m_pPoster = poster; }
    // The desktop program refreshes the device's tree label. UI thread. The
    // device may be gone by the time the listener hears of it: compare the
    // pointer, do not follow it.
    void SetListener(Listener listener) { m_fnListener = std::move(listener); }

    // Replaces the device's faults; empty rules clear them.
    void SetFaults(const CDevDoc* device, const SFaultRules& rules);
    // The same from the rule text; returns the error text, or empty when the
    // text was valid and the faults are set.
    std::string SetFaults(const CDevDoc* device, const std::string& text);
    SFaultRules GetFaults(const CDevDoc* device) const;
    bool HasFaults(const CDevDoc* device) const;
    // The canonical rule text, empty without faults (the dialog's fields).
    std::string GetFaultText(const CDevDoc* device) const;
    // A short text for the device's tree label: empty without faults, else
    // "неисправности: delay=100,drop=5".
    std::string GetLabel(const CDevDoc* device) const;
    // Drops the faults of a device that goes away.
    void Forget(const CDevDoc* device);

    // Draws what the device's faults do to the answer of one request.
    SFaultDecision Decide(const CDevDoc* device);
    // Makes the draws repeatable (tests).
    void Seed(std::uint32_t seed);

private:
    bool Chance(int percent); // under m_csFaults
    void Announce(const CDevDoc* device);

    IUiPoster* m_pPoster{ nullptr };
    Listener m_fnListener;
    mutable std::mutex m_csFaults;
    std::map<const CDevDoc*, SFaultRules> m_faults;
    std::mt19937 m_rng;
};

} // namespace korvex
