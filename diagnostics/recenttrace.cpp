#include "diagnostics/recenttrace.h"

#include <cstdio>

namespace diagnostics {

void RecentTrace::add(const QString& line, int msecsOfDay) {
    const int ms = msecsOfDay < 0 ? 0 : msecsOfDay;
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", ms / 3600000 % 24, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    m_ring[m_next] = QLatin1String(stamp) + line;
    m_next = (m_next + 1) % RECENT_TRACE_SIZE;
    if (m_count < RECENT_TRACE_SIZE)
        ++m_count;
}

QStringList RecentTrace::entries() const {
    QStringList list;
    list.reserve(qsizetype(m_count));
    const size_t oldest = (m_next + RECENT_TRACE_SIZE - m_count) % RECENT_TRACE_SIZE;
    for (size_t k = 0; k < m_count; ++k)
        list.append(m_ring[(oldest + k) % RECENT_TRACE_SIZE]);
    return list;
}

void RecentTrace::clear() {
    m_ring.fill(QString());
    m_next = 0;
    m_count = 0;
}

} // namespace diagnostics
