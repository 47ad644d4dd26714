#pragma once

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <memory>
#include <mutex>

namespace dbsvr {

class DataVersionSource;

// Keeps the reply queue's data version (components/dataversion.h) true: a new version
// whenever a file of the SQLite database (the file, its "-wal" and its "-journal") changes,
// whoever changed it; for a database on a server, whenever the text its DataVersionSource
// reads differs, which is read every SERVER_POLL_MS. The data server refreshes after every
// message, before its reply goes out, so its own writes are never answered under the old
// version; changes by other programs are seen as soon as the event loop is free (on a server,
// at its next read). Without a data file or a source, or once the source cannot be read, no
// version is published and nothing may be reused.
//
// Made on the event loop's thread, where the server's version is polled; watch(),
// watchServer(), wantsServer() and refresh() may be called from any thread. The source is
// only ever read under the lock, so its connection is used by one thread at a time.
class ChangeWatch final {
public:
    // How often the version of a database on a server is read when no message asks for it.
    static constexpr int SERVER_POLL_MS = 100;

    explicit ChangeWatch(QString replyQueue);
    ~ChangeWatch(); // withdraws the version

    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Watches dataFile ("" for none) and publishes a first version for it; the file watched
    // already is left as it is (its changes are seen anyway).
    void watch(const QString& dataFile);
    // True when watchServer() is to be given a new source: none is read now, and none was
    // asked for in the last retryMs (or since stop). Counts as asked for from now, so that
    // of the connections that want one at the same time only one makes it.
    bool wantsServer(int retryMs);
    // Reads server (nullptr: it could not be made) from now on and publishes a first version
    // for it; a source read already is kept and server dropped.
    void watchServer(std::unique_ptr<DataVersionSource> server);
    // Takes the changes seen so far; publishes a new version when there was one.
    void refresh();
    // Forgets the file events seen so far without a new version: what the data server's own
    // connections did to the files while they opened (the journal mode, the "-wal" made) is
    // no change of the data. Only before the first message is served.
    void settle();

private:
    void stop();
    struct Events {
        bool changed = false;    // a file of the database changed, or events were lost
        bool folderGone = false; // the watched folder went away
    };
    Events readEvents(); // under m_mutex
    void refreshFile();
    void refreshServer();
    // On the event loop's thread: reads the server's version, and ends the poll without one.
    void pollServer();
    bool concerns(const char* name) const;
    void newPrefix();
    // Writes a new version; one that cannot be written (the queue's folders are made after the
    // first watch) is written again at the next refresh, nothing being vouched for meanwhile.
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
    std::unique_ptr<DataVersionSource> m_server;
    QString m_serverText;        // what m_server read for the version published last
    QElapsedTimer m_serverAsked; // when wantsServer() last said yes; invalid after stop()
    QTimer m_serverPoll;         // the event loop's; started and stopped there only
    bool m_unwritten = false;    // the last version could not be written
};

} // namespace dbsvr
