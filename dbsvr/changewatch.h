#pragma once

#include <QSocketNotifier>
#include <QString>
#include <memory>
#include <mutex>

namespace dbsvr {

// Keeps the reply queue's data version (components/dataversion.h): a new version whenever a
// file of the SQLite database (the file, its "-wal" and its "-journal") changes, whoever
// changed it. The data server refreshes after every message, before its reply goes out, so its
// own writes are never answered under the old version; changes by other programs are seen as
// soon as the event loop is free. Without a data file to watch, no version is published and
// nothing may be reused.
//
// Made on the event loop's thread; watch() and refresh() may be called from any thread.
class ChangeWatch final {
public:
    explicit ChangeWatch(QString replyQueue);
    ~ChangeWatch(); // withdraws the version

    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Watches dataFile ("" for none) and publishes a first version for it; the file watched
    // already is left as it is (its changes are seen anyway).
    void watch(const QString& dataFile);
    // Takes the changes seen so far; publishes a new version when there was one.
    void refresh();

private:
    void stop();
    bool concerns(const char* name) const;
    void publish();

    std::mutex m_mutex;
    QString m_replyQueue;
    QString m_filePath; // the data file watched, "" for none
    QString m_fileName; // its name within its folder
    QString m_prefix;   // a fresh random text per watch, so versions of two runs never match
    quint64 m_counter = 0;
    int m_inotify = -1;
    int m_watch = -1; // the folder's watch, -1 for none
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace dbsvr
