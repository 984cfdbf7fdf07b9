#include "ui/CRepaintThrottle.h"

namespace korvex {

CRepaintThrottle::CRepaintThrottle(int interval, std::function<void()> flush)
    : m_nInterval(interval), m_fnFlush(std::move(flush))
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Flush(); });
}

void CRepaintThrottle::Request()
{
    if (!m_sinceFlush.isValid() || m_sinceFlush.elapsed() >= m_nInterval)
        Flush();
    else if (!m_timer.isActive())
        m_timer.start(static_cast<int>(m_nInterval - m_sinceFlush.elapsed()));
}

void CRepaintThrottle::Flush()
{
    m_timer.stop();
    m_sinceFlush.start();
    m_fnFlush();
}

} // namespace korvex
