#include "tests/support/xserver.h"

#include "tests/support/processes.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace support {

QString UnusedDisplay() {
    for (int n = 499;; --n)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return QStringLiteral(":%1").arg(n);
}

bool XServer::Installed() {
    return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty();
}

XServer::XServer() {
    // -displayfd: Xvfb takes a free number and prints it once it accepts clients.
    m_process.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24")});
    if (!m_process.waitForStarted(WAIT_MS))
        return;
    const QDeadlineTimer deadline(WAIT_MS);
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
           !deadline.hasExpired())
        m_process.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray number = m_process.readLine().trimmed();
    if (!number.isEmpty())
        m_display = QLatin1Char(':') + QString::fromLatin1(number);
}

XServer::~XServer() {
    stop();
}

void XServer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(WAIT_MS))
        m_process.kill();
    m_process.waitForFinished(WAIT_MS);
}

} // namespace support
