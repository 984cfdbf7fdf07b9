#pragma once

#include "core/IUiPoster.h"

#include <QObject>

namespace korvex {

// Posts tasks into the Qt event loop of the thread that makes the poster (the
// user-interface thread), in order; delayed tasks run from timers of that
// loop. Tasks and timers go to an object of the poster's own: when the
// poster goes, those still waiting go with it, never run on a hub that no
// longer exists.
class CQtPoster final : public IUiPoster
{
public:
    CQtPoster() = default;

    void Post(std::function<void()> task) override;
    void PostDelayed(std::chrono::milliseconds delay, std::function<void()> task) override;

private:
    QObject m_target;
};

} // namespace korvex
