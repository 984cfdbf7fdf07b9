#pragma once

#include <chrono>
#include <functional>

namespace korvex {

// The thread of a transport that answers on its own: the receive path drains
// there when bytes come from elsewhere (a script's injected frame), and
// delayed answers leave from there. Tasks still waiting when the transport
// closes are dropped: an answer delayed past the stop is not sent.
//
// Threads: any thread asks; the tasks run on the transport's thread.
class ITransportThread
{
public:
    virtual ~ITransportThread() = default;
    // The receive path's drain, soon, on the transport's thread.
    virtual void RequestDrain() = 0;
    // task on the transport's thread once delay has passed.
    virtual void RunLater(std::chrono::milliseconds delay, std::function<void()> task) = 0;
};

} // namespace korvex
