#include "core/CQueuePoster.h"

#include <algorithm>

namespace korvex {

void CQueuePoster::Post(std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(task));
}

void CQueuePoster::PostDelayed(std::chrono::milliseconds delay, std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    m_timers.push_back(
        STimer{ m_now + std::max(delay, std::chrono::milliseconds(0)), m_nSeq++, std::move(task) });
}

int CQueuePoster::Pump()
{
    int count = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return count;
            task = std::move(m_queue.front());
            m_queue.pop_front();
        }
        task();
        ++count;
    }
}

bool CQueuePoster::IsEmpty() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.empty();
}

void CQueuePoster::AdvanceTime(std::chrono::milliseconds elapsed)
{
    std::lock_guard lock(m_mutex);
    m_now += elapsed;
    std::stable_sort(m_timers.begin(), m_timers.end(), [](const STimer& a, const STimer& b) {
        return a.due != b.due ? a.due < b.due : a.nSeq < b.nSeq;
    });
    const auto firstLater = std::find_if(m_timers.begin(), m_timers.end(),
                                         [this](const STimer& t) { return t.due > m_now; });
    for (auto it = m_timers.begin(); it != firstLater; ++it)
        m_queue.push_back(std::move(it->task));
    m_timers.erase(m_timers.begin(), firstLater);
}

std::chrono::milliseconds CQueuePoster::Now() const
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

std::size_t CQueuePoster::GetPendingDelayed() const
{
    std::lock_guard lock(m_mutex);
    return m_timers.size();
}

} // namespace korvex
