#pragma once

#include <QSocketNotifier>
#include <QString>
#include <memory>

namespace dbsvr {

// Keeps the reply queue's data version (components/dataversion.h) true: a new version
// whenever a file of the SQLite database (the file, its "-wal" and its "-journal") changes,
// whoever changed it. The data server refreshes after every message, before its reply goes
// out, so its own writes are never answered under the old version; changes by other programs
// are seen as soon as the event loop is free. Without a data file to watch, no version is
// published and nothing may be reused.
class ChangeWatch final {
public:
    explicit ChangeWatch(QString replyQueue);
    ~ChangeWatch(); // withdraws the version

    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Watches dataFile ("" for none) and publishes a first version for it.
    void watch(const QString& dataFile);
    // Takes the changes seen so far; publishes a new version when there was one.
    void refresh();

private:
    void stop();
    bool concerns(const char* name) const;
    void publish();

    QString m_replyQueue;
    QString m_fileName; // the data file's name within its folder
    QString m_prefix;   // a fresh random text per watch, so versions of two runs never match
    quint64 m_counter = 0;
    int m_inotify = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace dbsvr
