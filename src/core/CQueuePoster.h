#pragma once

#include "core/IUiPoster.h"

#include <deque>
#include <mutex>

namespace korvex {

// A poster whose queue the owner pumps by hand: the thread that calls Pump is
// the user-interface thread. Used by the headless decoder and by tests.
class CQueuePoster final : public IUiPoster
{
public:
    void Post(std::function<void()> task) override;

    // Runs queued tasks, including those they post, until the queue is empty.
    // Returns the number of tasks run.
    int Pump();
    bool IsEmpty() const;

private:
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
};

} // namespace korvex
