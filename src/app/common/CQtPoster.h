#pragma once

#include "core/IUiPoster.h"

#include <QObject>

namespace korvex {

// Posts tasks into the Qt event loop of the main thread, in order.
class CQtPoster final : public IUiPoster
{
public:
    explicit CQtPoster(QObject* target);
    void Post(std::function<void()> task) override;

private:
    QObject* m_pTarget; // outlives every poster user
};

} // namespace korvex
