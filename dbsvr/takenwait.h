#pragma once

#include <QDeadlineTimer>
#include <QString>

namespace dbsvr {

// Waits for a reader to take a message out of a queue folder (the reader removes what it reads),
// woken by inotify, not by looking again and again.
class TakenWait final {
public:
    explicit TakenWait(QString folder) : m_folder(std::move(folder)) {}
    ~TakenWait();
    TakenWait(const TakenWait&) = delete;
    TakenWait& operator=(const TakenWait&) = delete;

    // True once folder holds no file fileName (at once when it holds none now); false when the
    // deadline passed first, or the folder cannot be watched and the file is still there.
    bool wait(const QString& fileName, const QDeadlineTimer& deadline);

private:
    QString m_folder;
    int m_inotify = -1;
};

} // namespace dbsvr
