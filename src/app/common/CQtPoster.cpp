#include "app/common/CQtPoster.h"

#include <QMetaObject>

namespace korvex {

void CQtPoster::Post(std::function<void()> task)
{
    // Queued calls to one object run in the order they were posted.
    QMetaObject::invokeMethod(&m_target, std::move(task), Qt::QueuedConnection);
}

} // namespace korvex
