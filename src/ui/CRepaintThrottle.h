#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

namespace korvex {

// At most one repaint batch every so many milliseconds. The first change
// after a quiet spell is flushed at once; the changes that follow within the
// interval wait for one flush at its end. A view over data that a master or
// a script changes as fast as it can would otherwise repaint on every turn of
// the event loop and hold up the user-interface thread, which also answers
// the master. User-interface thread.
class CRepaintThrottle final
{
public:
    // interval in milliseconds; flush takes what waits to the view.
    CRepaintThrottle(int interval, std::function<void()> flush);

    // Something waits: flushed now when the last flush is the interval or
    // more ago, else once at the end of the interval.
    void Request();
    // Flushes now: what waits belongs before what comes next.
    void Flush();

private:
    int m_nInterval;
    std::function<void()> m_fnFlush;
    QElapsedTimer m_sinceFlush;
    QTimer m_timer;
};

} // namespace korvex
