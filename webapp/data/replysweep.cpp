#include "webapp/data/replysweep.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace webapp {

void ReplySweep::expectLate(const QString& inQueue) {
    const std::lock_guard lock(m_lock);
    m_expected.insert(inQueue);
}

void ReplySweep::clear() {
    const std::lock_guard lock(m_lock);
    m_expected.clear();
    m_lastRun.invalidate();
}

bool ReplySweep::due(const QString& inQueue) {
    const std::lock_guard lock(m_lock);
    if (!m_expected.contains(inQueue) && m_lastRun.isValid() && m_lastRun.elapsed() < INTERVAL_MS)
        return false;
    m_lastRun.start();
    return true;
}

void ReplySweep::run(const QString& inQueue) {
    // The listing runs outside the lock: the other pages need not wait for it.
    if (inQueue.isEmpty() || !due(inQueue))
        return;
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-STALE_AFTER_SECONDS);
    const QFileInfoList replies =
        QDir(inQueue).entryInfoList({QStringLiteral("*.msg")}, QDir::Files);
    qsizetype left = 0;
    for (const QFileInfo& reply : replies)
        if (reply.lastModified().toUTC() >= cutoff || !QFile::remove(reply.filePath()))
            ++left;
    if (left == 0) {
        const std::lock_guard lock(m_lock);
        m_expected.remove(inQueue);
    }
}

} // namespace webapp
