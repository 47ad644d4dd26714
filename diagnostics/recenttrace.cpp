#include "diagnostics/recenttrace.h"

#include <QTime>

namespace diagnostics {

void RecentTrace::add(const QString& line, int msecsOfDay) {
    m_ring[m_next] = Entry{line, msecsOfDay};
    m_next = (m_next + 1) % RECENT_TRACE_SIZE;
    if (m_count < RECENT_TRACE_SIZE)
        ++m_count;
}

QStringList RecentTrace::entries() const {
    QStringList list;
    list.reserve(qsizetype(m_count));
    const size_t oldest = (m_next + RECENT_TRACE_SIZE - m_count) % RECENT_TRACE_SIZE;
    for (size_t k = 0; k < m_count; ++k) {
        const Entry& e = m_ring[(oldest + k) % RECENT_TRACE_SIZE];
        list.append(QTime::fromMSecsSinceStartOfDay(e.msecsOfDay)
                        .toString(QStringLiteral("HH:mm:ss.zzz ")) +
                    e.line);
    }
    return list;
}

void RecentTrace::clear() {
    m_ring.fill(Entry{});
    m_next = 0;
    m_count = 0;
}

} // namespace diagnostics
