#pragma once

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
};

} // namespace korvex
