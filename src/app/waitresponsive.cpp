#include "waitresponsive.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarvet::app {

void waitResponsive(double timeout)
{
    QElapsedTimer clock;
    clock.start();
    if (!(timeout >= 0))
        return;
    constexpr double longest = std::numeric_limits<qint64>::max() / 2;
    const qint64 deadline = static_cast<qint64>(std::min(timeout * 1e9, longest));
    while (clock.nsecsElapsed() <= deadline) {
        // Sleep in the event loop rather than spin: the rest of the wait, at least a tick.
        const qint64 remaining = (deadline - clock.nsecsElapsed()) / 1000000;
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(std::max<qint64>(remaining, 0)),
                           Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace quarvet::app
