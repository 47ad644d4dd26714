#include "diagnostics/localclock.h"

namespace diagnostics {

namespace {
constexpr qint64 MSECS_PER_DAY = 86400000;

qint64 floorDiv(qint64 a, qint64 b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}
} // namespace

LocalTime LocalClock::now() {
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 second = floorDiv(ms, 1000);
    if (second != m_epochSecond || !m_local.isValid()) {
        m_local = QDateTime::fromSecsSinceEpoch(second, Qt::LocalTime);
        m_offsetMs = qint64(m_local.offsetFromUtc()) * 1000;
        m_epochSecond = second;
    }
    const qint64 ofDay = (ms + m_offsetMs) % MSECS_PER_DAY;
    return {second, m_local, int(ofDay < 0 ? ofDay + MSECS_PER_DAY : ofDay)};
}

LocalTime LocalTimeOf(const QDateTime& local) {
    return {local.toSecsSinceEpoch(), local, local.time().msecsSinceStartOfDay()};
}

} // namespace diagnostics
