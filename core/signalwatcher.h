#pragma once

#include <QObject>

class QSocketNotifier;

namespace core {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event loop. The
// handler itself only writes the signal number into a pipe (the self-pipe trick),
// so no program code runs inside a signal handler. SIGPIPE, SIGXFSZ, SIGUSR1 and
// SIGUSR2 are ignored: a reader that went away or a file-size limit makes a write
// fail instead of ending the process, and stray user signals do nothing. One
// watcher per process; make it before anything writes.
class SignalWatcher final : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace core
