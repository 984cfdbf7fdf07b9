#include "core/CDevCounters.h"

#include <chrono>

namespace korvex {
namespace {

constexpr std::uint64_t kLow32 = 0xFFFFFFFFu;

} // namespace

std::uint64_t SDevCounterValues::ExceptionCount() const
{
    std::uint64_t sum = 0;
    for (const auto& [code, count] : exceptions)
        sum += count;
    return sum;
}

SDevCounterValues& SDevCounterValues::operator+=(const SDevCounterValues& other)
{
    nRequests += other.nRequests;
    nAnswers += other.nAnswers;
    nNoAnswer += other.nNoAnswer;
    for (const auto& [code, count] : other.exceptions)
        exceptions[code] += count;
    nBytesIn += other.nBytesIn;
    nBytesOut += other.nBytesOut;
    nRate += other.nRate;
    return *this;
}

std::uint64_t CDevCounters::CurrentSecond()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

void CDevCounters::CountRequest(unsigned requestBytes, std::uint64_t second)
{
    m_nRequests.fetch_add(1, kOrder);
    m_nBytesIn.fetch_add(requestBytes, kOrder);
    std::atomic<std::uint64_t>& slot = m_arPerSecond[second & 1];
    const std::uint64_t stamp = (second & kLow32) << 32;
    std::uint64_t seen = slot.load(kOrder);
    // The first request of a second starts its count again.
    while (!slot.compare_exchange_weak(seen, (seen & ~kLow32) == stamp ? seen + 1 : stamp | 1,
                                       kOrder)) {}
}

void CDevCounters::CountAnswer(unsigned requestBytes, unsigned answerBytes, std::uint8_t exception,
                               std::uint64_t second)
{
    CountRequest(requestBytes, second);
    m_nAnswers.fetch_add(1, kOrder);
    m_nBytesOut.fetch_add(answerBytes, kOrder);
    if (exception != 0)
        m_arExceptions[exception].fetch_add(1, kOrder);
}

void CDevCounters::CountNoAnswer(unsigned requestBytes, std::uint64_t second)
{
    CountRequest(requestBytes, second);
    m_nNoAnswer.fetch_add(1, kOrder);
}

SDevCounterValues CDevCounters::Read(std::uint64_t now) const
{
    SDevCounterValues v;
    v.nRequests = m_nRequests.load(kOrder);
    v.nAnswers = m_nAnswers.load(kOrder);
    v.nNoAnswer = m_nNoAnswer.load(kOrder);
    v.nBytesIn = m_nBytesIn.load(kOrder);
    v.nBytesOut = m_nBytesOut.load(kOrder);
    for (unsigned code = 1; code < m_arExceptions.size(); ++code)
        if (const std::uint64_t count = m_arExceptions[code].load(kOrder); count != 0)
            v.exceptions[static_cast<std::uint8_t>(code)] = count;
    // The last whole second: the current one is still counting.
    const std::uint64_t last = now - 1;
    const std::uint64_t slot = m_arPerSecond[last & 1].load(kOrder);
    if ((slot >> 32) == (last & kLow32))
        v.nRate = slot & kLow32;
    return v;
}

void CDevCounters::Clear(std::uint64_t busMessages, std::uint64_t busErrors)
{
    m_nRequests.store(0, kOrder);
    m_nAnswers.store(0, kOrder);
    m_nNoAnswer.store(0, kOrder);
    m_nBytesIn.store(0, kOrder);
    m_nBytesOut.store(0, kOrder);
    for (auto& count : m_arExceptions)
        count.store(0, kOrder);
    for (auto& slot : m_arPerSecond)
        slot.store(0, kOrder);
    m_nBusMessagesBase.store(busMessages, kOrder);
    m_nBusErrorsBase.store(busErrors, kOrder);
}

} // namespace korvex
