#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace korvex {

// The receive buffer: a fixed block that grows as bytes arrive. Consumed
// bytes stay until the owner discards them (see CRxPath::AppendReceived).
// The lock is recursive; every access happens under it (Mutex()).
class CRxBuffer
{
public:
    static constexpr std::uint32_t kCapacity = 0x80000; // 524,288 bytes

    explicit CRxBuffer(std::uint32_t capacity = kCapacity);

    std::recursive_mutex& Mutex() const { return m_csLock; }

    // Append and Clear take the lock themselves.
    // Appends one byte; returns false, storing nothing, when the buffer is full.
    bool Append(std::uint8_t byte);
    // Appends count bytes, or as many as fit; returns the number stored.
    std::uint32_t Append(const std::uint8_t* data, std::uint32_t count);
    void Clear();
    // Removes the first count bytes (caller holds the lock).
    void Discard(std::uint32_t count);

    const std::uint8_t* GetData() const { return m_pData.get(); }
    std::uint32_t GetLength() const { return m_nLength; }
    std::uint32_t GetCapacity() const { return m_nCapacity; }

private:
    mutable std::recursive_mutex m_csLock;
    std::uint32_t m_nCapacity;
    std::unique_ptr<std::uint8_t[]> m_pData;
    std::uint32_t m_nLength{ 0 };
};

} // namespace korvex
