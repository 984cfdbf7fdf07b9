#include "core/CRxBuffer.h"

#include <algorithm>
#include <cstring>

namespace korvex {

CRxBuffer::CRxBuffer(std::uint32_t capacity)
    : m_nCapacity(capacity), m_pData(new std::uint8_t[capacity])
{
}

bool CRxBuffer::Append(std::uint8_t byte)
{
    std::lock_guard lock(m_csLock);
    if (m_nLength >= m_nCapacity)
        return false;
    m_pData[m_nLength++] = byte;
    return true;
}

std::uint32_t CRxBuffer::Append(const std::uint8_t* data, std::uint32_t count)
{
    std::lock_guard lock(m_csLock);
    const std::uint32_t n = std::min(count, m_nCapacity - m_nLength);
    if (n > 0)
        std::memcpy(m_pData.get() + m_nLength, data, n);
    m_nLength += n;
    return n;
}

void CRxBuffer::Clear()
{
    std::lock_guard lock(m_csLock);
    m_nLength = 0;
}

void CRxBuffer::Discard(std::uint32_t count)
{
    std::lock_guard lock(m_csLock);
    count = std::min(count, m_nLength);
    std::memmove(m_pData.get(), m_pData.get() + count, m_nLength - count);
    m_nLength -= count;
}

} // namespace korvex
