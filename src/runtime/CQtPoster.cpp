#include "runtime/CQtPoster.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace korvex {

void CQtPoster::Post(std::function<void()> task)
{
    // Queued calls to one object run in the order they were posted.
    QMetaObject::invokeMethod(&m_target, std::move(task), Qt::QueuedConnection);
}

void CQtPoster::PostDelayed(std::chrono::milliseconds delay, std::function<void()> task)
{
    // A timer belongs to the thread that starts it: it is started on the
    // target's thread. Precise timers keep a delay of a few milliseconds
    // from being rounded to the coarse timers' 5 percent.
    QObject* target = &m_target;
    auto start = [target, delay, task = std::move(task)]() mutable {
        QTimer::singleShot(delay, Qt::PreciseTimer, target, std::move(task));
    };
    if (QThread::currentThread() == target->thread())
        start();
    else
        QMetaObject::invokeMethod(target, std::move(start), Qt::QueuedConnection);
}

} // namespace korvex
