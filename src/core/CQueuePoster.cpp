#include "core/CQueuePoster.h"

namespace korvex {

void CQueuePoster::Post(std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(task));
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

} // namespace korvex
