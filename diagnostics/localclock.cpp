#include "diagnostics/localclock.h"

#include <limits>

namespace diagnostics {

namespace {
constexpr qint64 MSECS_PER_DAY = 86400000;

qint64 floorDiv(qint64 a, qint64 b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

// The second last looked up, per thread: the data server's threads log too.
struct CachedSecond {
    qint64 epochSecond = std::numeric_limits<qint64>::min();
    QDateTime local;
    qint64 offsetMs = 0;
};
} // namespace

LocalTime CurrentLocalTime() {
    thread_local CachedSecond cached;
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 second = floorDiv(ms, 1000);
    if (second != cached.epochSecond) {
        cached.local = QDateTime::fromSecsSinceEpoch(second, Qt::LocalTime);
        cached.offsetMs = qint64(cached.local.offsetFromUtc()) * 1000;
        cached.epochSecond = second;
    }
    const qint64 ofDay = (ms + cached.offsetMs) % MSECS_PER_DAY;
    return {second, cached.local, int(ofDay < 0 ? ofDay + MSECS_PER_DAY : ofDay)};
}

LocalTime LocalTimeOf(const QDateTime& local) {
    return {local.toSecsSinceEpoch(), local, local.time().msecsSinceStartOfDay()};
}

} // namespace diagnostics
