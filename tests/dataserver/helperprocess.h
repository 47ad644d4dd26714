#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <memory>

// A helper program of these tests (built beside them), killed when the test ends.
class HelperProcess final {
public:
    explicit HelperProcess(const QString& name, const QStringList& arguments) {
        QString dir = qEnvironmentVariable("QV_TEST_BIN_DIR");
        if (dir.isEmpty())
            dir = QCoreApplication::applicationDirPath();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(dir + QLatin1Char('/') + name, arguments);
        m_process.waitForStarted();
    }
    ~HelperProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // The next line the helper prints, "" when it ends first.
    QString readLine() {
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(1000);
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

// Pumps events until condition holds or 10 seconds pass; returns the condition.
template <typename Condition> bool eventually(Condition condition) {
    const QDeadlineTimer deadline(10000);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return condition();
}
