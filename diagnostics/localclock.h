#pragma once

#include <QDateTime>

namespace diagnostics {

// A reading of the local clock for log and trace stamps.
struct LocalTime {
    qint64 epochSecond = 0; // whole seconds since the epoch
    QDateTime second;       // the local date and time of that whole second
    int msecsOfDay = 0;     // the local time of day, in milliseconds
};

// The local time for stamps. The time zone is consulted once a second (an
// offset changes only at a whole second) rather than for every entry.
class LocalClock final {
public:
    LocalTime now();

private:
    qint64 m_epochSecond = -1; // the second last looked up
    QDateTime m_local;
    qint64 m_offsetMs = 0;
};

// The reading of a given local date and time (a clock that tests set).
LocalTime LocalTimeOf(const QDateTime& local);

} // namespace diagnostics
