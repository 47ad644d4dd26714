#pragma once

#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <memory>

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
class ChangeWatch final {
public:
    // How often the version of a database on a server is read when no message asks for it.
    static constexpr int SERVER_POLL_MS = 100;

    explicit ChangeWatch(QString replyQueue);
    ~ChangeWatch(); // withdraws the version

    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Watches dataFile ("" for none), or reads server (nullptr for none), and publishes a
    // first version for it.
    void watch(const QString& dataFile, std::unique_ptr<DataVersionSource> server = nullptr);
    // Takes the changes seen so far; publishes a new version when there was one.
    void refresh();
    // True once the server's version could not be read: nothing is published until watch()
    // is given a new source.
    bool serverLost() const { return m_serverLost; }

private:
    void stop();
    void watchFile(const QString& dataFile);
    void watchServer(std::unique_ptr<DataVersionSource> server);
    void refreshFile();
    void refreshServer();
    bool concerns(const char* name) const;
    void publish();

    QString m_replyQueue;
    QString m_fileName; // the data file's name within its folder
    QString m_prefix;   // a fresh random text per watch, so versions of two runs never match
    quint64 m_counter = 0;
    int m_inotify = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<DataVersionSource> m_server;
    QString m_serverText; // what m_server read for the version published last
    QTimer m_serverPoll;
    bool m_serverLost = false;
};

} // namespace dbsvr
