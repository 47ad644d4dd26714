#pragma once

#include <QElapsedTimer>
#include <QString>
#include <memory>

namespace dbsvr {

class ChangeWatch;
class Config;
class Database;
class DatabaseStatus;

// The database connection of one worker, with the configuration it was opened by: opened at
// the worker's first request, opened anew when the database file was replaced, given up when
// the connection to a database server was lost (by this worker or another one: a server that
// restarted has ended every connection). While there is none, a request tries again at
// most once every RECONNECT_INTERVAL_MS, so a database fixed in the configuration mode is used
// without a restart. While the database is on a server whose version is not read, it tries to
// read it again at most as often. Used by one thread at a time.
class WorkerDatabase final {
public:
    static constexpr int RECONNECT_INTERVAL_MS = 1000;

    // status and changes (nullptr for none) are shared by all workers and outlive this.
    WorkerDatabase(QString configFolder, DatabaseStatus& status, ChangeWatch* changes);
    ~WorkerDatabase();
    WorkerDatabase(const WorkerDatabase&) = delete;
    WorkerDatabase& operator=(const WorkerDatabase&) = delete;

    // Reads the configuration and opens the database; false (connectError() says why) when
    // that fails.
    bool connect();
    // Before a request: connects when there is no database and it is time to try, or when the
    // file open is no longer the database's.
    void prepare();
    // After a request: a connection that broke under it is given up, so the next one connects.
    void finish();

    Database* database() const { return m_database.get(); }
    const Config* config() const { return m_config.get(); }
    // Why no database is open; "" when one is.
    const QString& connectError() const { return m_connectError; }

private:
    // Keeps the data version for what is open now: its file, or the server's own version
    // (one source for all workers, on a connection of its own), or none.
    void watchData();
    // Gives the watch a source of the server's version when it has none and it is time to try.
    void watchServer();

    QString m_configFolder;
    DatabaseStatus& m_status;
    ChangeWatch* m_changes;
    std::unique_ptr<Config> m_config;
    std::unique_ptr<Database> m_database;
    QString m_connectError;
    QElapsedTimer m_lastConnect; // invalid until the first try
    int m_losses = 0;            // DatabaseStatus::losses() when the connection was made
};

} // namespace dbsvr
