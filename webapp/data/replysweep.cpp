#include "webapp/data/replysweep.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace webapp {

void ReplySweep::run(const QString& inQueue) {
    if (inQueue.isEmpty())
        return;
    if (!m_expected.contains(inQueue) && m_lastRun.isValid() && m_lastRun.elapsed() < INTERVAL_MS)
        return;
    m_lastRun.start();
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-STALE_AFTER_SECONDS);
    const QFileInfoList replies =
        QDir(inQueue).entryInfoList({QStringLiteral("*.msg")}, QDir::Files);
    qsizetype left = 0;
    for (const QFileInfo& reply : replies)
        if (reply.lastModified().toUTC() >= cutoff || !QFile::remove(reply.filePath()))
            ++left;
    if (left == 0)
        m_expected.remove(inQueue);
}

} // namespace webapp
