#include "dbsvr/dataservice.h"

#include "common/error.h"
#include "common/xml.h"
#include "common/xmlvalue.h"
#include "components/dataversion.h"
#include "contract/contract.h"
#include "contract/namedmutex.h"
#include "dbsvr/changewatch.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/databasestatus.h"
#include "dbsvr/dataserverlog.h"
#include "dbsvr/messagehandler.h"
#include "dbsvr/queueservice.h"
#include "dbsvr/replysink.h"
#include "dbsvr/replyxml.h"
#include "dbsvr/requesterror.h"
#include "dbsvr/statusfiles.h"
#include "dbsvr/workerdatabase.h"
#include "dbsvr/workerpool.h"
#include "diagnostics/trace.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <pugixml.hpp>

namespace dbsvr {

DataService::DataService(Parameters parameters, bool debug, QObject* parent)
    : QObject(parent), m_parameters(std::move(parameters)), m_debug(debug) {
    m_aliveTimer.setInterval(ALIVE_INTERVAL_MS);
    m_parentTimer.setInterval(PARENT_CHECK_INTERVAL_MS);
    connect(&m_aliveTimer, &QTimer::timeout, this, &DataService::writeAlive);
    connect(&m_parentTimer, &QTimer::timeout, this, &DataService::checkParent);
    m_pruneTimer.setInterval(PRUNE_INTERVAL_MS);
    connect(&m_pruneTimer, &QTimer::timeout, this, [this] {
        m_pool->post({}, [this](WorkerPool::Turn& turn) { pruneLedger(turn.worker()); });
    });
}

DataService::~DataService() {
    // Nothing is taken any more, and no worker is left that uses what follows.
    m_queue.reset();
    m_pool.reset();
    releaseTokens();
}

int DataService::workers() const {
    return m_pool ? m_pool->size() : 0;
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
        // Its listener is there but could not be told apart for a moment: ask again later.
        if (e.number() == EAGAIN)
            return true;
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

    m_status = std::make_unique<DatabaseStatus>();
    // The reply queue is there before the first data version is published into it.
    QueueService::CreateFolders(m_parameters.inQueue, m_parameters.outQueue);
    m_changes = std::make_unique<ChangeWatch>(m_parameters.outQueue);
    // The first worker's connection is opened now: a database that cannot be used is reported
    // at once. The number of workers is read from the configuration once.
    auto first =
        std::make_unique<WorkerDatabase>(m_parameters.configFolder, *m_status, m_changes.get());
    if (!first->connect()) {
        m_connectError = first->connectError();
        WriteMessageFile(m_parameters.messageFile, QString::fromLatin1(dataserver::MESSAGE_MESSAGE),
                         QString::fromLatin1(dataserver::CODE_UNABLE_TO_CONNECT_DB),
                         m_connectError);
    }
    const int workers = first->config() && first->config()->workers() > 0
                            ? first->config()->workers()
                            : Config::DefaultWorkers();
    const bool connected = first->database() != nullptr;
    m_databases.push_back(std::move(first));
    while (int(m_databases.size()) < workers) {
        m_databases.push_back(std::make_unique<WorkerDatabase>(m_parameters.configFolder, *m_status,
                                                               m_changes.get()));
        // All at once now: opening a connection touches the database's files, which must not
        // pass for a change of its data at the first request of each worker.
        if (connected)
            m_databases.back()->connect();
    }
    m_changes->settle();
    m_pool = std::make_unique<WorkerPool>(workers);

    m_queue = std::make_unique<QueueService>(
        m_parameters.inQueue, m_parameters.outQueue,
        [this](const QString& id, const QByteArray& request, std::unique_ptr<ReplySink> sink) {
            take(id, request, std::move(sink));
        });
    m_queue->start();
    m_pool->post({}, [this](WorkerPool::Turn& turn) { pruneLedger(turn.worker()); });
    m_pruneTimer.start();
    diagnostics::WriteTrace(QStringLiteral("Serving ") + m_parameters.inQueue +
                            QStringLiteral(", replies into ") + m_parameters.outQueue);
    diagnostics::WriteTrace(QStringLiteral("Workers: %1").arg(workers));
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

namespace {
// What the event loop needs to know of a request: its Type, and the Id a Cancel names.
struct Routing {
    QString type;
    QString id;
};

Routing route(const QByteArray& request) {
    namespace protocol = dataserver::protocol;
    pugi::xml_document doc;
    if (!doc.load_buffer(request.constData(), size_t(request.size()), common::MESSAGE_PARSE))
        return {};
    const pugi::xml_node root = doc.document_element();
    return {common::ToQString(root.child(protocol::TYPE).child_value()).trimmed(),
            common::ToQString(root.child(protocol::ID).child_value()).trimmed()};
}

bool isType(const QString& type, const char* name) {
    return type.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}
} // namespace

void DataService::take(const QString& id, const QByteArray& request,
                       std::unique_ptr<ReplySink> sink) {
    const Routing routing = route(request);
    // Answered here, whatever the workers do: the web server's watchdog must never take a
    // busy data server for a hung one.
    if (isType(routing.type, dataserver::protocol::PING)) {
        sink->send(PongReply(m_status->state()));
        return;
    }
    // Nobody waits for a reply to this.
    if (isType(routing.type, dataserver::protocol::CANCEL)) {
        m_pool->cancel(routing.id);
        sink->finishWithoutReply();
        return;
    }
    std::shared_ptr<ReplySink> replies(std::move(sink));
    m_pool->post(id, [this, request, replies](WorkerPool::Turn& turn) {
        serve(turn, request, *replies);
        turn.runsOn(nullptr);
        m_databases[size_t(turn.worker())]->finish();
    });
}

void DataService::serve(WorkerPool::Turn& turn, const QByteArray& request, ReplySink& sink) {
    // Answered all the same: a reply nobody reads is removed by the web application's sweep.
    if (turn.cancelled()) {
        sink.send(ErrorReply(QString::fromLatin1(ERROR_DATABASE),
                             QStringLiteral("The request was cancelled before it began.")));
        return;
    }
    WorkerDatabase& database = *m_databases[size_t(turn.worker())];
    database.prepare();
    // Set before the statements run, so that a Cancel reaches them.
    turn.runsOn(database.database());
    RefreshedReplies replies(sink, m_changes.get(), database.database());
    ServeRequest(MessageHandler(database.config(), database.database(), database.connectError()),
                 request, replies);
}

void DataService::pruneLedger(int worker) {
    WorkerDatabase& database = *m_databases[size_t(worker)];
    database.prepare();
    if (Database* db = database.database()) {
        try {
            db->limitStatements(QDeadlineTimer(database.config()->statementTimeLimitMs()));
            db->pruneLedger(LEDGER_MAX_AGE_DAYS);
        } catch (const common::Error& e) {
            ReportFault(e);
        }
    }
    database.finish();
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
    m_pruneTimer.stop();
    m_queue.reset();
    // What the workers run is interrupted; they end before what they use goes, and the data
    // version is withdrawn before the token tells that this server has gone.
    m_pool.reset();
    m_databases.clear();
    m_changes.reset();
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
