#pragma once

namespace korvex {

// Told on the user-interface thread when the emulator starts and stops.
class ISessionObserver
{
public:
    virtual ~ISessionObserver() = default;
    // Called before the port opens: the protocol log resets its time base.
    virtual void OnSessionStarted() {}
    // Called after the port is closed, whatever caused the stop.
    virtual void OnSessionStopped() {}
};

} // namespace korvex
