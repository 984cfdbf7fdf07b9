#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>

namespace korvex {

// A device's counters at one moment, or their sum over devices.
struct SDevCounterValues
{
    std::uint64_t nRequests{ 0 }; // requests addressed to the device
    std::uint64_t nAnswers{ 0 };  // answers sent, exception answers included
    std::uint64_t nNoAnswer{ 0 }; // requests left unanswered (a fault, a broadcast)
    std::map<std::uint8_t, std::uint64_t> exceptions; // by exception code
    std::uint64_t nBytesIn{ 0 };                      // request frames, as received
    std::uint64_t nBytesOut{ 0 };                     // answer frames, as sent
    std::uint64_t nRate{ 0 };                         // requests in the last whole second

    std::uint64_t ExceptionCount() const;
    SDevCounterValues& operator+=(const SDevCounterValues& other);
};

// What one device has seen and answered, named after the MODBUS diagnostic
// counters where one exists. Every request is counted once it is handled,
// by one call: answered or not. The bus counters (messages seen, CRC errors)
// are the transports'; a device keeps only where they stood at its last
// clear.
//
// Threads: the answering threads count (the serial reader thread, the
// network thread, at once); any thread reads and clears. Every field is an
// atomic of its own: a read while requests are answered may see one request
// half counted, never a torn number.
class CDevCounters
{
public:
    // The second requests are counted in, from a steady clock.
    static std::uint64_t CurrentSecond();

    // A request answered: its frame's bytes and the answer's; exception is
    // the exception code of an exception answer, 0 for a normal one.
    void CountAnswer(unsigned requestBytes, unsigned answerBytes, std::uint8_t exception,
                     std::uint64_t second = CurrentSecond());
    // A request that got no answer.
    void CountNoAnswer(unsigned requestBytes, std::uint64_t second = CurrentSecond());

    // now: the second to take the rate at.
    SDevCounterValues Read(std::uint64_t now = CurrentSecond()) const;
    // Everything to zero; the bus counters start again from where they stand.
    void Clear(std::uint64_t busMessages, std::uint64_t busErrors);
    std::uint64_t GetBusMessagesBase() const { return m_nBusMessagesBase.load(kOrder); }
    std::uint64_t GetBusErrorsBase() const { return m_nBusErrorsBase.load(kOrder); }

private:
    static constexpr std::memory_order kOrder = std::memory_order_relaxed;
    void CountRequest(unsigned requestBytes, std::uint64_t second);

    std::atomic<std::uint64_t> m_nRequests{ 0 };
    std::atomic<std::uint64_t> m_nAnswers{ 0 };
    std::atomic<std::uint64_t> m_nNoAnswer{ 0 };
    std::atomic<std::uint64_t> m_nBytesIn{ 0 };
    std::atomic<std::uint64_t> m_nBytesOut{ 0 };
    std::array<std::atomic<std::uint64_t>, 256> m_arExceptions{};
    // Requests per second, for this second and the one before: the second's
    // low 32 bits in the high half, the count in the low half, so that one
    // compare-and-swap moves both.
    std::array<std::atomic<std::uint64_t>, 2> m_arPerSecond{};
    std::atomic<std::uint64_t> m_nBusMessagesBase{ 0 };
    std::atomic<std::uint64_t> m_nBusErrorsBase{ 0 };
};

} // namespace korvex
