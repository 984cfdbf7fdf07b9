#pragma once

#include "core/IUiPoster.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace korvex {

// A poster whose queue the owner pumps by hand: the thread that calls Pump is
// the user-interface thread. Used by the headless decoder and by tests. Its
// clock stands still until the owner advances it, so delayed tasks come due
// exactly when a test says.
class CQueuePoster final : public IUiPoster
{
public:
    void Post(std::function<void()> task) override;
    void PostDelayed(std::chrono::milliseconds delay, std::function<void()> task) override;

    // Runs queued tasks, including those they post, until the queue is empty.
    // Returns the number of tasks run.
    int Pump();
    bool IsEmpty() const;

    // Moves the clock on: delayed tasks that come due join the queue in the
    // order of their due time. Pump runs them.
    void AdvanceTime(std::chrono::milliseconds elapsed);
    std::chrono::milliseconds Now() const;
    // Delayed tasks not yet due.
    std::size_t GetPendingDelayed() const;

private:
    struct STimer
    {
        std::chrono::milliseconds due;
        std::uint64_t nSeq;
        std::function<void()> task;
    };

    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
    std::vector<STimer> m_timers;
    std::chrono::milliseconds m_now{ 0 };
    std::uint64_t m_nSeq{ 0 };
};

} // namespace korvex
