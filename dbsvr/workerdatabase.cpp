#include "dbsvr/workerdatabase.h"

#include "common/error.h"
#include "dbsvr/changewatch.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/databasestatus.h"
#include "dbsvr/dataserverlog.h"
#include "dbsvr/dataversionsource.h"
#include "diagnostics/trace.h"

namespace dbsvr {

WorkerDatabase::WorkerDatabase(QString configFolder, DatabaseStatus& status, ChangeWatch* changes)
    : m_configFolder(std::move(configFolder)), m_status(status), m_changes(changes) {}

WorkerDatabase::~WorkerDatabase() = default;

bool WorkerDatabase::connect() {
    m_lastConnect.start();
    m_losses = m_status.losses();
    m_database.reset();
    m_config.reset();
    try {
        m_config = std::make_unique<Config>(Config::Load(m_configFolder));
        m_database = Database::Connect(*m_config);
        m_connectError.clear();
        const QString file = m_database->dataFile();
        m_status.opened(*m_database, file.isEmpty() ? m_config->databaseSetting() : file);
    } catch (const common::Error& e) {
        m_connectError = e.description();
        m_status.failed(m_connectError);
    }
    watchData();
    return m_database != nullptr;
}

void WorkerDatabase::prepare() {
    // A file moved over the database's name is the database from now on.
    if (m_database ? m_database->replaced() || m_losses != m_status.losses()
                   : !m_lastConnect.isValid() || m_lastConnect.elapsed() >= RECONNECT_INTERVAL_MS)
        connect();
    // The version's own connection broke while this one did not: a new one, now and then.
    else if (m_database && m_database->dataFile().isEmpty())
        watchServer();
}

void WorkerDatabase::finish() {
    if (!m_database || !m_database->connectionLost())
        return;
    m_database.reset();
    m_connectError = QStringLiteral("The connection to the database server was lost.");
    diagnostics::WriteTrace(m_connectError, diagnostics::Severity::Warning);
    m_status.lost(m_connectError);
    watchData();
}

void WorkerDatabase::watchData() {
    if (!m_changes)
        return;
    const QString file = m_database ? m_database->dataFile() : QString();
    if (m_database && file.isEmpty())
        watchServer();
    else
        m_changes->watch(file);
}

void WorkerDatabase::watchServer() {
    if (!m_changes || !m_changes->wantsServer(RECONNECT_INTERVAL_MS))
        return;
    // Made outside the watch's lock: connecting may take a while, and the event loop polls.
    std::unique_ptr<DataVersionSource> server;
    try {
        server = m_database->versionSource();
    } catch (const common::Error& e) {
        ReportFault(e); // nothing is reused then, which is never wrong
    }
    m_changes->watchServer(std::move(server));
}

} // namespace dbsvr
