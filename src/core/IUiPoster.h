#pragma once

#include <chrono>
#include <functional>

namespace korvex {

// Hands a task to the user-interface thread. Tasks run in the order they were
// posted, one at a time, never inside Post itself. Post may be called from any
// thread.
class IUiPoster
{
public:
    virtual ~IUiPoster() = default;
    virtual void Post(std::function<void()> task) = 0;
    // The same once delay has passed; the wait blocks no thread. Tasks due at
    // the same time run in the order they were posted. Any thread.
    virtual void PostDelayed(std::chrono::milliseconds delay, std::function<void()> task) = 0;
};

} // namespace korvex
