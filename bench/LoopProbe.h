#pragma once

// The delay of the event loop: a 10 ms timer on the user-interface thread
// measures its own lateness.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace korvex::bench {

struct SLoopProbe
{
    std::vector<double> lateness; // milliseconds, one per tick
    QElapsedTimer clock;
    qint64 expected{ 10 };
    QTimer tick;

    SLoopProbe()
    {
        clock.start();
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            lateness.push_back(static_cast<double>(std::max<qint64>(0, now - expected)));
            expected = now + 10;
        });
        tick.start(10);
    }
    // The lateness at quantile q (0.5 the median, 1 the maximum).
    double At(double q)
    {
        std::sort(lateness.begin(), lateness.end());
        return lateness.empty() ? 0.0
                                : lateness[static_cast<std::size_t>(q * (lateness.size() - 1))];
    }
};

} // namespace korvex::bench
