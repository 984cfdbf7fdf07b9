#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace korvex {

// A transport's counters at one moment.
struct STransportCounterValues
{
    std::string strName;                   // "line", "Modbus TCP 127.0.0.1:1502"
    std::uint64_t nFrames{ 0 };            // frames seen, requests and others' answers
    std::uint64_t nOtherUnits{ 0 };        // of them, frames for units the project lacks
    std::uint64_t nUnrecognizedBytes{ 0 }; // bytes that made no frame
    std::uint64_t nBadFrames{ 0 };         // runs of such bytes: frames with a bad CRC
    std::uint64_t nCrcFaultAnswers{ 0 };   // answers sent with a CRC spoiled by a fault
    std::uint64_t nConnections{ 0 };       // connections accepted (TCP)
};

// What one transport (the serial line, a TCP listener with all its
// connections) has seen. The emulator's own answers, and their echo, are not
// frames seen.
//
// Threads: the transport's answering threads count; any thread reads and
// clears. Every field is an atomic of its own.
class CTransportCounters
{
public:
    explicit CTransportCounters(std::string name) : m_strName(std::move(name)) {}

    const std::string& GetName() const { return m_strName; }

    void CountFrame(bool otherUnit)
    {
        m_nFrames.fetch_add(1, kOrder);
        if (otherUnit)
            m_nOtherUnits.fetch_add(1, kOrder);
    }
    // One run of bytes that made no frame.
    void CountUnrecognized(unsigned bytes)
    {
        m_nUnrecognizedBytes.fetch_add(bytes, kOrder);
        m_nBadFrames.fetch_add(1, kOrder);
    }
    void CountCrcFault() { m_nCrcFaultAnswers.fetch_add(1, kOrder); }
    void CountConnection() { m_nConnections.fetch_add(1, kOrder); }

    std::uint64_t GetFrames() const { return m_nFrames.load(kOrder); }
    std::uint64_t GetBadFrames() const { return m_nBadFrames.load(kOrder); }
    STransportCounterValues Read() const;
    void Clear();

private:
    static constexpr std::memory_order kOrder = std::memory_order_relaxed;

    const std::string m_strName;
    std::atomic<std::uint64_t> m_nFrames{ 0 };
    std::atomic<std::uint64_t> m_nOtherUnits{ 0 };
    std::atomic<std::uint64_t> m_nUnrecognizedBytes{ 0 };
    std::atomic<std::uint64_t> m_nBadFrames{ 0 };
    std::atomic<std::uint64_t> m_nCrcFaultAnswers{ 0 };
    std::atomic<std::uint64_t> m_nConnections{ 0 };
};

} // namespace korvex
