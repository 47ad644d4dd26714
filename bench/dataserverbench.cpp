// Round trips web server side -> queue -> dbsvr -> reply, and the time from a killed data
// server to the first answered ping of its replacement.
//
//   qv_dataserverbench <program folder> [messages] [label=application folder ...]
//
// For each application folder (by default the program folder's example application), starts
// the program folder's dbsvr through the supervisor, with a parameter file, in a temporary
// folder; prints median and p99 of the ping, of a small named query and of the restarts, the
// databases side by side, and the named query's median against the first database's.
#include "common/dictionary.h"
#include "common/error.h"
#include "common/objectfactory.h"
#include "common/xml.h"
#include "components/components.h"
#include "components/queue.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "supervision/serverqueue.h"
#include "supervision/supervisor.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

const int RESTARTS = 10;

struct Figures {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Figures figures(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[size_t(q * double(ms.size() - 1))]; };
    return {at(0.5), at(0.99), ms.back()};
}

// Poll can report a reply that lands just as it looks as unreadable (error 13); such a
// failure is counted and the reply waited for again, so the figures still come out.
int g_races = 0;

QString pollCountingRaces(components::Queue& incoming, const QString& id) {
    for (;;) {
        try {
            return incoming.Poll(id, dataserver::QUEUE_TIMEOUT);
        } catch (const common::Error& e) {
            if (e.number() != EACCES)
                throw;
            ++g_races;
        }
    }
}

// Sends body count times and waits for each reply; the milliseconds of each round trip.
std::vector<double> roundTrips(const dataserver::QueueFolders& q, const QString& body, int count,
                               const char* expect) {
    auto outgoing = components::NewQueue();
    auto incoming = components::NewQueue();
    outgoing->folder = q.out;
    incoming->folder = q.in;
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 0; i < count; ++i) {
        clock.start();
        outgoing->package = body;
        const QString id = outgoing->send(QString());
        if (pollCountingRaces(*incoming, id).isEmpty())
            throw common::Error(common::ERR_PROGRAM, QStringLiteral("no reply"));
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (i == 0 && !incoming->package.contains(QLatin1String(expect)))
            throw common::Error(common::ERR_PROGRAM,
                                QStringLiteral("unexpected reply: ") + incoming->package);
    }
    return ms;
}

struct Measured {
    QString label;
    Figures ping, query, restart;
};

// Starts the program folder's dbsvr on the application folder app through the supervisor
// and measures the round trips and the restarts.
Measured measure(const QString& stage, const QString& label, const QString& appFolder, int count) {
    QTemporaryDir dir;
    diagnostics::OpenLog(dir.filePath("data"));
    diagnostics::Diagnostics::instance().setInteractive(false); // nobody answers a message
    const QString app = dir.filePath("app");
    QDir().mkpath(app);
    for (const char* name : {"dataserver.xml", "sample.db"})
        QFile::copy(appFolder + "/" + name, app + "/" + name);
    QString error;
    if (!dataserver::CreateQueueFolders(dir.filePath("Queue"), error))
        throw common::Error(common::ERR_PROGRAM, error);

    dataserver::SupervisorConfig c;
    c.ProgramFolder = stage;
    c.ParameterFile = dir.filePath("bench.dataserver.parameters.txt");
    c.AliveFile = dir.filePath("bench.dataserver.alive.xml");
    c.MessageFile = dir.filePath("bench.dataserver.message.xml");
    c.InQueueFolder = dir.filePath("Queue/results");
    c.OutQueueFolder = dir.filePath("Queue/requests");
    c.ApplicationPath = app;
    c.RunningMutexName = QUuid::createUuid().toString(QUuid::WithoutBraces);
    c.ApplicationDictionary = common::NewDictionary();
    dataserver::Supervisor supervisor(c);
    if (!supervisor.StartDataServer())
        throw common::Error(common::ERR_PROGRAM, QStringLiteral("dbsvr did not start"));
    const dataserver::QueueFolders q{c.InQueueFolder, c.OutQueueFolder};

    Measured m;
    m.label = label;
    m.ping = figures(roundTrips(q, "<XML><Type>Ping</Type></XML>", count, "Pong"));
    m.query = figures(roundTrips(q,
                                 "<XML><Type>Query</Type><Name>CustomerOrders</Name><Parameters>"
                                 "<Parameter name=\"customer\">1</Parameter></Parameters></XML>",
                                 count, "<Rows>"));

    // Kill, then the first answered ping of the replacement the watchdog starts.
    std::vector<double> restarts;
    for (int i = 0; i < RESTARTS; ++i) {
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(supervisor.launch().DataServerProcessId()), SIGKILL);
        while (supervisor.IsDataServerRunning())
            QThread::usleep(200);
        if (!supervisor.CheckDataServer(true))
            throw common::Error(common::ERR_PROGRAM, QStringLiteral("no restart"));
        QString info;
        if (!dataserver::PingDataServer(q, info))
            throw common::Error(common::ERR_PROGRAM, QStringLiteral("no ping after restart"));
        restarts.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    m.restart = figures(restarts);
    supervisor.StopDataServer();
    return m;
}

// One row: the figures of every database side by side.
void printRow(const char* what, const std::vector<Measured>& all, Figures Measured::*which) {
    std::printf("%-26s", what);
    for (const Measured& m : all)
        std::printf("  median %8.3f p99 %8.3f ms", (m.*which).median, (m.*which).p99);
    std::printf("\n");
}

int run(const QString& stage, int count, const QStringList& databases) {
    std::vector<Measured> all;
    for (const QString& d : databases) {
        const QString label = d.section('=', 0, 0);
        all.push_back(measure(stage, label, d.section('=', 1), count));
    }
    std::printf("%d messages each, dbsvr %s\n%-26s", count, qPrintable(stage + "/dbsvr"), "");
    for (const Measured& m : all)
        std::printf("  %-32s", qPrintable(m.label));
    std::printf("\n");
    printRow("ping round trip", all, &Measured::ping);
    printRow("named query round trip", all, &Measured::query);
    printRow("SIGKILL -> answered ping", all, &Measured::restart);
    std::printf("(%d restarts each; inside websvr a timer tick adds up to 500 ms before the "
                "check)\n",
                RESTARTS);
    for (size_t i = 1; i < all.size(); ++i)
        std::printf("named query median %s / %s: %.2f (target: at most 3)\n",
                    qPrintable(all[i].label), qPrintable(all[0].label),
                    all[i].query.median / all[0].query.median);
    if (g_races > 0)
        std::printf("Poll reported %d arriving replies as unreadable (error 13) and was asked "
                    "again\n",
                    g_races);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    components::RegisterComponents();
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: qv_dataserverbench <program folder> [messages] "
                             "[label=application folder ...]\n");
        return 2;
    }
    QStringList databases = args.mid(3);
    if (databases.isEmpty())
        databases << "sqlite=" + args.at(1) + "/examples/microsoft access";
    try {
        return run(args.at(1), args.size() > 2 ? args.at(2).toInt() : 1000, databases);
    } catch (const common::Error& e) {
        std::fprintf(stderr, "qv_dataserverbench: %s\n", e.what());
        return 1;
    }
}
