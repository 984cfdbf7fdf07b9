#pragma once

#include "core/IUiPoster.h"

#include <QObject>

namespace korvex {

// Posts tasks into the Qt event loop of the thread that makes the poster (the
// user-interface thread), in order. Tasks go to an object of the poster's
// own: when the poster goes, tasks still queued go with it, never run on a
// hub that no longer exists.
class CQtPoster final : public IUiPoster
{
public:
    CQtPoster() = default;

    void Post(std::function<void()> task) override;

private:
    QObject m_target;
};

} // namespace korvex
