#pragma once

#include <QObject>

class QSocketNotifier;

namespace startup {

// Turns SIGTERM and SIGINT into a Qt signal delivered by the event loop. The
// handler itself only writes the signal number into a pipe (the self-pipe trick),
// so no program code runs inside a signal handler. One watcher per process.
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

} // namespace startup
