#include "webapp/data/dataserversilence.h"

namespace webapp {

void DataServerSilence::waitRanOut() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::lock_guard lock(m_lock);
    if (!m_since.isValid())
        m_since = now;
}

void DataServerSilence::heard() {
    const std::lock_guard lock(m_lock);
    m_since = QDateTime();
}

QDateTime DataServerSilence::silentSince(const QDateTime& lastAlive) {
    const std::lock_guard lock(m_lock);
    // Alive signals reach pages in whole seconds: one in the second the wait ran out counts.
    if (m_since.isValid() && lastAlive.isValid() &&
        lastAlive.toSecsSinceEpoch() >= m_since.toSecsSinceEpoch())
        m_since = QDateTime(); // alive again since: worth asking
    return m_since;
}

} // namespace webapp
