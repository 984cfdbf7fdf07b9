#include "core/CFaultInjector.h"

#include "core/IUiPoster.h"
#include "core/Text.h"

namespace korvex {

std::string SFaultDecision::Describe() const
{
    std::string rules;
    for (const std::string& rule : arRules)
        rules += (rules.empty() ? "" : ", ") + rule;
    std::vector<std::string> effects;
    if (bOff)
        effects.emplace_back("устройство отключено, ответа нет");
    if (bDropped)
        effects.emplace_back("запрос потерян, ответа нет");
    if (byException != 0)
        effects.push_back(
            StrFormat("вместо ответа исключение 0x%02X", static_cast<unsigned>(byException)));
    if (bBadCrc)
        effects.emplace_back("ответ отправлен с неверной контрольной суммой");
    if (bDelayed)
        effects.push_back(StrFormat("ответ задержан на %u мс", static_cast<unsigned>(dwDelayMs)));
    std::string text = "Неисправность (" + rules + "): ";
    for (std::size_t i = 0; i < effects.size(); ++i)
        text += (i > 0 ? "; " : "") + effects[i];
    return text;
}

CFaultInjector::CFaultInjector() : m_rng(std::random_device{}()) {}

void CFaultInjector::SetFaults(const CDevDoc* device, const SFaultRules& rules)
{
    {
        std::lock_guard lock(m_csFaults);
        if (rules.IsEmpty())
            m_faults.erase(device);
        else
            m_faults[device] = rules;
    }
    Announce(device);
}

std::string CFaultInjector::SetFaults(const CDevDoc* device, const std::string& text)
{
    SFaultRules rules;
    std::string error = ParseFaultRules(text, rules);
    if (error.empty())
        SetFaults(device, rules);
    return error;
}

SFaultRules CFaultInjector::GetFaults(const CDevDoc* device) const
{
    std::lock_guard lock(m_csFaults);
    const auto it = m_faults.find(device);
    return it == m_faults.end() ? SFaultRules() : it->second;
}

bool CFaultInjector::HasFaults(const CDevDoc* device) const
{
    std::lock_guard lock(m_csFaults);
    return m_faults.find(device) != m_faults.end();
}

std::string CFaultInjector::GetFaultText(const CDevDoc* device) const
{
    return FormatFaultRules(GetFaults(device));
}

std::string CFaultInjector::GetLabel(const CDevDoc* device) const
{
    const std::string text = GetFaultText(device);
    return text.empty() ? text : "неисправности: " + text;
}

void CFaultInjector::Forget(const CDevDoc* device)
{
    std::lock_guard lock(m_csFaults);
    m_faults.erase(device);
}

void CFaultInjector::Seed(std::uint32_t seed)
{
    std::lock_guard lock(m_csFaults);
    m_rng.seed(seed);
}

bool CFaultInjector::Chance(int percent)
{
    if (percent <= 0)
        return false;
    if (percent >= 100)
        return true;
    return std::uniform_int_distribution<int>(0, 99)(m_rng) < percent;
}

SFaultDecision CFaultInjector::Decide(const CDevDoc* device)
{
    SFaultDecision d;
    std::lock_guard lock(m_csFaults);
    const auto it = m_faults.find(device);
    if (it == m_faults.end())
        return d;
    const SFaultRules& r = it->second;
    // A device that is off or a lost request leaves nothing else to do.
    if (r.bOff) {
        d.bOff = true;
        d.arRules.emplace_back("off");
        return d;
    }
    if (r.drop && Chance(*r.drop)) {
        d.bDropped = true;
        d.arRules.push_back(FormatPercentRule("drop", *r.drop));
        return d;
    }
    if (r.exception && Chance(r.exception->nPercent)) {
        d.byException = r.exception->byCode;
        d.arRules.push_back(FormatExceptionRule(*r.exception));
    }
    if (r.crc && Chance(*r.crc)) {
        d.bBadCrc = true;
        d.arRules.push_back(FormatPercentRule("crc", *r.crc));
    }
    if (r.delay) {
        d.bDelayed = true;
        d.dwDelayMs =
            std::uniform_int_distribution<std::uint32_t>(r.delay->dwMin, r.delay->dwMax)(m_rng);
        d.arRules.push_back(FormatDelayRule(*r.delay));
    }
    return d;
}

void CFaultInjector::Announce(const CDevDoc* device)
{
    if (m_pPoster != nullptr)
        m_pPoster->Post([this, device] {
            if (m_fnListener)
                m_fnListener(device);
        });
    else if (m_fnListener)
        m_fnListener(device);
}

} // namespace korvex
