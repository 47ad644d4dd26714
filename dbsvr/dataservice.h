#pragma once

#include "contract/contract.h"
#include "dbsvr/parameters.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

namespace dbsvr {

class ChangeWatch;
class Config;
class Database;
class QueueService;
class ReplySink;

// The data server's normal run: shows the web server that it lives (alive
// file, running token), serves the queue from the database, and ends when
// the parent token disappears.
class DataService final : public QObject {
public:
    static constexpr int ALIVE_INTERVAL_MS = 5000;
    static constexpr int PARENT_CHECK_INTERVAL_MS = 250;
    // While no database is open, a message retries at most this often, so a
    // database fixed through the configuration mode is picked up without a restart.
    static constexpr int RECONNECT_INTERVAL_MS = 1000;

    // The token a developer's hand-started data server holds, so that a web
    // server started after it uses it instead of starting its own.
    static QString DebugMutexName() { return QLatin1String(dataserver::DEBUG_TOKEN); }

    // With debug, the service also holds the DS_DEBUG token while it runs.
    explicit DataService(Parameters parameters, bool debug = false, QObject* parent = nullptr);
    ~DataService() override; // releases the running token

    // Writes the alive file, then takes the running token, opens the database
    // (writing the message "UnableToConnectDB" and going on without one when
    // it cannot) and starts serving. Raises common::Error for what makes
    // running impossible: the caller reports it as critical and exits.
    void start();

    // False once the parent token has gone; the event loop is told to exit then.
    bool running() const { return m_running; }
    // Why no database is open; "" when one is.
    const QString& connectError() const { return m_connectError; }

private:
    void connectDatabase();
    void watchData();
    void handle(QByteArrayView request, ReplySink& sink);
    bool parentAlive() const;
    void traceParentGone() const;
    void checkParent();
    void releaseTokens();
    void writeAlive();
    void stop();

    Parameters m_parameters;
    std::unique_ptr<Config> m_config;
    std::unique_ptr<Database> m_database;
    QString m_connectError;
    QElapsedTimer m_lastConnect;
    std::unique_ptr<QueueService> m_queue;
    std::unique_ptr<ChangeWatch> m_changes;
    QTimer m_aliveTimer;
    QTimer m_parentTimer;
    bool m_debug = false;
    int m_runningToken = 0;
    int m_debugToken = 0;
    bool m_running = false;
};

// The whole normal-mode run for `dbsvr parameterfile=<path> [hidden] [debug]`;
// verbose prints what it serves, debug holds DS_DEBUG. Returns the
// process exit code: 0 after the parent has gone, 1 after a critical error
// (reported in the message file when the parameter file names one).
int RunDataServer(const QString& parameterFile, bool verbose, bool debug);

} // namespace dbsvr
