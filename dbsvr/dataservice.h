#pragma once

#include "contract/contract.h"
#include "dbsvr/parameters.h"
#include "dbsvr/workerdatabase.h"
#include "dbsvr/workerpool.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

namespace dbsvr {

class ChangeWatch;
class DatabaseStatus;
class QueueService;
class ReplySink;

// The data server's normal run: shows the web server that it lives (alive
// file, running token), serves the queue from the database, and ends when
// the parent token disappears.
//
// The event loop's thread takes the messages, answers a Ping at once and carries out a Cancel;
// every other message is served by a pool of workers, each with a connection of its own, so
// that a slow statement holds up neither the others nor the signs of life.
class DataService final : public QObject {
public:
    static constexpr int ALIVE_INTERVAL_MS = 5000;
    static constexpr int PARENT_CHECK_INTERVAL_MS = 250;
    // While no database is open, a message retries at most this often, so a
    // database fixed through the configuration mode is picked up without a restart.
    static constexpr int RECONNECT_INTERVAL_MS = WorkerDatabase::RECONNECT_INTERVAL_MS;
    // How often the ledger is rid of entries older than LEDGER_MAX_AGE_DAYS (and at start).
    static constexpr int PRUNE_INTERVAL_MS = 3600 * 1000;

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
    // Why no database could be opened at start; "" when one was.
    const QString& connectError() const { return m_connectError; }
    // The number of workers.
    int workers() const;

private:
    void take(const QString& id, const QByteArray& request, std::unique_ptr<ReplySink> sink);
    void serve(WorkerPool::Turn& turn, const QByteArray& request, ReplySink& sink);
    void pruneLedger(int worker);
    bool parentAlive() const;
    void traceParentGone() const;
    void checkParent();
    void releaseTokens();
    void writeAlive();
    void stop();

    Parameters m_parameters;
    QString m_connectError;
    std::unique_ptr<DatabaseStatus> m_status;
    std::unique_ptr<ChangeWatch> m_changes;
    std::vector<std::unique_ptr<WorkerDatabase>> m_databases; // per worker
    std::unique_ptr<WorkerPool> m_pool;                       // uses all of the above
    std::unique_ptr<QueueService> m_queue;
    QTimer m_aliveTimer;
    QTimer m_parentTimer;
    QTimer m_pruneTimer;
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
