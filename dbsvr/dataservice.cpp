#include "dbsvr/dataservice.h"

#include "common/error.h"
#include "components/dataversion.h"
#include "contract/contract.h"
#include "contract/namedmutex.h"
#include "dbsvr/changewatch.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/dataserverlog.h"
#include "dbsvr/messagehandler.h"
#include "dbsvr/queueservice.h"
#include "dbsvr/replysink.h"
#include "dbsvr/statusfiles.h"
#include "diagnostics/trace.h"

#include <QCoreApplication>
#include <cstdio>

namespace dbsvr {

DataService::DataService(Parameters parameters, bool debug, QObject* parent)
    : QObject(parent), m_parameters(std::move(parameters)), m_debug(debug) {
    m_aliveTimer.setInterval(ALIVE_INTERVAL_MS);
    m_parentTimer.setInterval(PARENT_CHECK_INTERVAL_MS);
    connect(&m_aliveTimer, &QTimer::timeout, this, &DataService::writeAlive);
    connect(&m_parentTimer, &QTimer::timeout, this, &DataService::checkParent);
}

DataService::~DataService() {
    releaseTokens();
}

void DataService::releaseTokens() {
    for (int* token : {&m_runningToken, &m_debugToken}) {
        if (*token <= 0)
            continue;
        try {
            dataserver::DestroyInstanceMutex(*token);
        } catch (const common::Error& e) {
            ReportFault(e);
        }
        *token = 0;
    }
}

bool DataService::parentAlive() const {
    if (m_parameters.parentMutex.isEmpty())
        return true;
    try {
        return dataserver::MutexExists(m_parameters.parentMutex);
    } catch (const common::Error& e) {
        // A name that cannot even be tested can never be watched: stop rather
        // than run on without a parent.
        ReportFault(e);
        return false;
    }
}

void DataService::start() {
    if (m_parameters.inQueue.isEmpty() || m_parameters.outQueue.isEmpty())
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("The parameter file names no inqueue or outqueue."));
    // Whoever wanted us is gone already: nothing to show or serve.
    if (!parentAlive()) {
        traceParentGone();
        return;
    }
    // A version left by a data server that died vouches for nothing now.
    components::WithdrawDataVersion(m_parameters.outQueue);
    // The web server watches the alive file from the moment it sees the running token.
    WriteAliveFile(m_parameters.aliveFile);
    if (!m_parameters.runningMutex.isEmpty())
        m_runningToken = dataserver::CreateInstanceMutex(m_parameters.runningMutex);
    if (m_debug)
        m_debugToken = dataserver::CreateInstanceMutex(DebugMutexName());
    m_running = true;
    m_aliveTimer.start();
    if (!m_parameters.parentMutex.isEmpty())
        m_parentTimer.start();

    connectDatabase();
    if (!m_database)
        WriteMessageFile(m_parameters.messageFile, QString::fromLatin1(dataserver::MESSAGE_MESSAGE),
                         QString::fromLatin1(dataserver::CODE_UNABLE_TO_CONNECT_DB),
                         m_connectError);

    m_queue = std::make_unique<QueueService>(
        m_parameters.inQueue, m_parameters.outQueue,
        [this](QByteArrayView request, ReplySink& sink) { handle(request, sink); });
    m_queue->start();
    m_changes = std::make_unique<ChangeWatch>(m_parameters.outQueue);
    watchData();
    diagnostics::WriteTrace(QStringLiteral("Serving ") + m_parameters.inQueue +
                            QStringLiteral(", replies into ") + m_parameters.outQueue);
}

void DataService::watchData() {
    if (!m_changes)
        return;
    std::unique_ptr<DataVersionSource> server;
    try {
        if (m_database)
            server = m_database->versionSource();
    } catch (const common::Error& e) {
        ReportFault(e); // nothing is reused then, which is never wrong
    }
    m_changes->watch(m_database ? m_database->dataFile() : QString(), std::move(server));
}

void DataService::connectDatabase() {
    m_lastConnect.start();
    m_database.reset();
    m_config.reset();
    try {
        m_config = std::make_unique<Config>(Config::Load(m_parameters.configFolder));
        m_database = Database::Connect(*m_config);
        m_connectError.clear();
        const QString file = m_database->dataFile();
        diagnostics::WriteTrace(QStringLiteral("Database opened: ") +
                                (file.isEmpty() ? m_config->databaseSetting() : file));
    } catch (const common::Error& e) {
        // Said once, not at each retry of the requests that follow.
        if (e.description() != m_connectError)
            diagnostics::WriteTrace(QStringLiteral("Unable to connect to the database: ") +
                                        e.description(),
                                    diagnostics::Severity::Warning);
        m_connectError = e.description();
    }
    watchData();
}

void DataService::traceParentGone() const {
    diagnostics::WriteTrace(QStringLiteral("Parent mutex ") + m_parameters.parentMutex +
                            QStringLiteral(" is not active. Closing data server."));
}

namespace {
// Takes the changes seen so far before each reply goes out: a write is never answered under the
// version before it. A database that surely changed nothing is not asked again.
class RefreshedReplies final : public ReplySink {
public:
    RefreshedReplies(ReplySink& out, ChangeWatch* changes, Database* database)
        : m_out(out), m_changes(changes), m_database(database) {}
    void send(const QByteArray& reply) override {
        refresh();
        m_out.send(reply);
    }
    bool sendPart(const QByteArray& part, const QDeadlineTimer& deadline) override {
        refresh();
        return m_out.sendPart(part, deadline);
    }

private:
    void refresh() {
        if (m_changes && (!m_database || m_database->takeChanged()))
            m_changes->refresh();
    }

    ReplySink& m_out;
    ChangeWatch* m_changes;
    Database* m_database;
};
} // namespace

void DataService::handle(QByteArrayView request, ReplySink& sink) {
    // A file moved over the database's name is the database from now on.
    if (m_database && m_database->replaced())
        connectDatabase();
    else if (!m_database && m_lastConnect.elapsed() >= RECONNECT_INTERVAL_MS)
        connectDatabase();
    RefreshedReplies replies(sink, m_changes.get(), m_database.get());
    MessageHandler(m_config.get(), m_database.get(), m_connectError).handle(request, replies);
    // The server went away under this request, which got its error: the next
    // request connects anew.
    if (m_database && m_database->connectionLost()) {
        m_database.reset();
        m_connectError = QStringLiteral("The connection to the database server was lost.");
        diagnostics::WriteTrace(m_connectError, diagnostics::Severity::Warning);
        watchData();
    }
    // The version's own connection broke while the database's did not: a new one, now and then.
    if (m_database && m_changes && m_changes->serverLost() &&
        m_lastConnect.elapsed() >= RECONNECT_INTERVAL_MS) {
        m_lastConnect.start();
        watchData();
    }
}

void DataService::checkParent() {
    if (m_running && !parentAlive()) {
        traceParentGone();
        stop();
    }
}

void DataService::writeAlive() {
    try {
        WriteAliveFile(m_parameters.aliveFile);
    } catch (const common::Error& e) {
        // The next write may succeed; if none does, the web server sees a hang
        // and restarts us, which is the right outcome.
        ReportFault(e);
    }
}

void DataService::stop() {
    m_running = false;
    m_aliveTimer.stop();
    m_parentTimer.stop();
    m_changes.reset();
    m_queue.reset();
    releaseTokens();
    QCoreApplication::exit(0);
}

int RunDataServer(const QString& parameterFile, bool verbose, bool debug) {
    Parameters parameters;
    try {
        parameters = ReadParameterFile(parameterFile);
    } catch (const common::Error& e) {
        // Without the parameters there is no message file to report in.
        ReportFault(e, diagnostics::Severity::Error);
        return 1;
    }
    DataService service(parameters, debug);
    try {
        service.start();
    } catch (const common::Error& e) {
        ReportFault(e, diagnostics::Severity::Error);
        try {
            WriteMessageFile(parameters.messageFile,
                             QString::fromLatin1(dataserver::MESSAGE_CRITICAL),
                             QString::number(e.number()), e.description());
        } catch (const common::Error& again) {
            ReportFault(again, diagnostics::Severity::Error);
        }
        return 1;
    }
    if (verbose) {
        std::printf("dbsvr: serving %s, replies into %s\n", qPrintable(parameters.inQueue),
                    qPrintable(parameters.outQueue));
        if (!service.connectError().isEmpty())
            std::printf("dbsvr: %s\n", qPrintable(service.connectError()));
        std::fflush(stdout);
    }
    if (!service.running())
        return 0;
    return QCoreApplication::exec();
}

} // namespace dbsvr
