// Several connections of one database at once, as the data server's workers use them: a
// request id applied once, statements stopped at their ceiling or when cancelled, the ledger
// pruned.
#include "common/files.h"
#include "dbsvr/config.h"
#include "dbsvr/messagehandler.h"
#include "dbsvr/workerpool.h"
#include "dbsvrfixture.h"
#include "testdatabase.h"
#include "tests/support/qtprinters.h"

#include <QSet>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <thread>

using dbsvr::Config;
using dbsvr::Database;
using dbsvr::MessageHandler;
using dbsvr::WorkerPool;

namespace {

class ConcurrencyTest : public ::testing::TestWithParam<Backend> {
protected:
    // The test database with an endless view and query, and settings added to its
    // configuration (read into config()).
    void SetUp() override {
        const QString skip =
            m_data.create(TEST_SCHEMA, TEST_SCHEMA_POSTGRESQL,
                          QString(TEST_QUERIES) + "<Query name=\"Endless\"><Sql>SELECT count(*) "
                                                  "FROM endless</Sql></Query>");
        if (!skip.isEmpty())
            GTEST_SKIP() << skip.toStdString();
        m_data.exec(m_data.pick("CREATE VIEW endless AS WITH RECURSIVE c(i) AS (SELECT 1 UNION "
                                "ALL SELECT i + 1 FROM c) SELECT i FROM c",
                                "CREATE VIEW endless AS SELECT 1 AS i FROM pg_sleep(3600)"));
    }
    void configure(const QString& settings) {
        const QString file = Config::FilePath(m_data.folder());
        QString xml = QString::fromUtf8(common::ReadFile(file));
        xml.replace("</DataServer>", settings + "</DataServer>");
        common::SaveFile(file, xml.toUtf8());
        m_config = std::make_unique<Config>(Config::Load(m_data.folder()));
    }
    Reply ask(Database& db, const QString& request) const {
        return Reply(MessageHandler(m_config ? m_config.get() : &m_data.config(), &db)
                         .handle(request.toUtf8()));
    }
    // The replies to request(k) on each of CONNECTIONS connections k, all sent at one moment.
    static constexpr int CONNECTIONS = 6;
    std::vector<Reply> askAtOnce(const std::function<QString(int)>& request) const {
        std::vector<std::unique_ptr<Database>> connections;
        for (int k = 0; k < CONNECTIONS; ++k)
            connections.push_back(m_data.open());
        std::latch start(CONNECTIONS);
        std::vector<std::future<QByteArray>> answers;
        for (int k = 0; k < CONNECTIONS; ++k)
            answers.push_back(
                std::async(std::launch::async, [&, k, database = connections[size_t(k)].get()] {
                    const QByteArray text = request(k).toUtf8();
                    start.arrive_and_wait();
                    return MessageHandler(&m_data.config(), database).handle(text);
                }));
        std::vector<Reply> replies;
        replies.reserve(answers.size());
        for (auto& answer : answers)
            replies.emplace_back(answer.get());
        return replies;
    }

    TestDatabase m_data{GetParam()};
    std::unique_ptr<Config> m_config;
};

INSTANTIATE_TEST_SUITE_P(Databases, ConcurrencyTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql), BackendName);

const QString ADD_ORDER_ONCE =
    "<XML><Type>Query</Type><Name>AddOrder</Name><Parameters><Parameter name=\"customer\">1"
    "</Parameter><Parameter name=\"amount\">2</Parameter></Parameters>"
    "<RequestId>at once</RequestId></XML>";
const QString READ_ORDERS = "<XML><Type>ReadTable</Type><Table>orders</Table></XML>";

// The same request on every connection at the same moment, the ledger not made yet: one
// applies it, the others answer with its result.
TEST_P(ConcurrencyTest, SameRequestIdAtOnceIsAppliedOnce) {
    int applied = 0;
    QSet<QString> ids; // every reply the first one's (PostgreSQL's undone writes drew ids too)
    for (const Reply& reply : askAtOnce([](int) { return ADD_ORDER_ONCE; })) {
        EXPECT_EQ(reply.text("/XML/Error"), "") << reply.raw.constData();
        ids << reply.text("/XML/LastInsertId");
        applied += reply.text("/XML/Duplicate").isEmpty() ? 1 : 0;
    }
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(m_data.value("SELECT count(*) FROM orders"), "5");
    EXPECT_EQ(ids, QSet<QString>({m_data.value("SELECT max(id) FROM orders")}));
}

// Users saved and audited writes on every connection at the same moment, the account tables not
// made yet: each connection makes them or goes on with those another made, and every user and
// entry counts.
TEST_P(ConcurrencyTest, AccountTablesMadeByManyAtOnce) {
    const QString audit = "<Audit><Action>add</Action></Audit>";
    const std::vector<Reply> replies = askAtOnce([&](int k) {
        return k % 2 ? QString(ADD_ORDER_ONCE)
                           .replace("at once", QString::number(k))
                           .replace("</XML>", audit + "</XML>")
                     : QString("<XML><Type>SaveUser</Type><Name>user %1</Name><Role>r</Role>%2"
                               "</XML>")
                           .arg(k)
                           .arg(audit);
    });
    for (const Reply& reply : replies)
        EXPECT_EQ(reply.text("/XML/Error"), "") << reply.raw.constData();
    EXPECT_EQ(m_data.value("SELECT count(*) FROM quorvex_users"), "3");
    EXPECT_EQ(m_data.value("SELECT count(*) FROM orders"), "7");
    EXPECT_EQ(m_data.value("SELECT count(*) FROM quorvex_audit"), QString::number(CONNECTIONS));
}

// A request whose statement passes the ceiling gets TimeLimit, also before its first row and
// in a count, and the connection serves the next one.
TEST_P(ConcurrencyTest, StatementsStopAtTheCeiling) {
    configure("<StatementTimeLimit>0.5</StatementTimeLimit>");
    const std::unique_ptr<Database> db = m_data.open();
    for (const QString& endless :
         {QString("<XML><Type>ReadTable</Type><Table>endless</Table></XML>"),
          QString("<XML><Type>Query</Type><Name>Endless</Name></XML>")}) {
        const Reply stopped = ask(*db, endless);
        EXPECT_EQ(stopped.text("/XML/Error"), "TimeLimit") << stopped.raw.constData();
        EXPECT_TRUE(stopped.text("/XML/Message").contains("0.5 s")) << stopped.raw.constData();
        EXPECT_EQ(ask(*db, READ_ORDERS).text("/XML/Total"), "4");
    }
}

// A cancel reaches the statement that runs, whenever it comes: the worker is free for the next
// message at once, long before the ceiling.
TEST_P(ConcurrencyTest, CancelledStatementFreesItsWorker) {
    configure("<StatementTimeLimit>3600</StatementTimeLimit>");
    const std::unique_ptr<Database> db = m_data.open();
    WorkerPool pool(1);
    std::promise<void> began;
    std::promise<QByteArray> endless, next;
    const auto serve = [&](const QString& request, std::promise<QByteArray>& reply) {
        return [&, request](WorkerPool::Turn& turn) {
            turn.runsOn(db.get());
            if (request != READ_ORDERS)
                began.set_value();
            reply.set_value(MessageHandler(m_config.get(), db.get()).handle(request.toUtf8()));
            turn.runsOn(nullptr);
        };
    };
    pool.post("endless", serve("<XML><Type>Query</Type><Name>Endless</Name></XML>", endless));
    pool.post("next", serve(READ_ORDERS, next));
    began.get_future().wait();
    EXPECT_TRUE(pool.cancel("endless"));
    const Reply stopped(endless.get_future().get());
    EXPECT_EQ(stopped.text("/XML/Error"), "DatabaseError") << stopped.raw.constData();
    EXPECT_EQ(Reply(next.get_future().get()).text("/XML/Total"), "4");
    EXPECT_FALSE(pool.cancel("endless")); // done with
}

// A job cancelled while it waits still runs, in its turn, and knows it was cancelled.
TEST(WorkerPool, CancelledWaitingJobKnowsIt) {
    WorkerPool pool(1);
    std::promise<void> release, first, last;
    std::shared_future<void> released = release.get_future().share();
    QStringList ran;
    const auto note = [&](const QString& name) {
        return [&, name](WorkerPool::Turn& turn) {
            ran << name + (turn.cancelled() ? " cancelled" : "");
        };
    };
    pool.post("busy", [&](WorkerPool::Turn& turn) {
        first.set_value();
        released.wait();
        note("busy")(turn);
    });
    pool.post("waiting", note("waiting"));
    pool.post("last", [&](WorkerPool::Turn& turn) {
        note("last")(turn);
        last.set_value();
    });
    first.get_future().wait();
    EXPECT_TRUE(pool.cancel("waiting"));
    EXPECT_FALSE(pool.cancel("unknown"));
    release.set_value();
    last.get_future().wait();
    EXPECT_EQ(ran, QStringList({"busy", "waiting cancelled", "last"}));
}

// Entries older than the age kept go; newer ones, and a database without a ledger, stay.
TEST_P(ConcurrencyTest, LedgerKeepsAWeekOfRequestIds) {
    const std::unique_ptr<Database> db = m_data.open();
    db->pruneLedger(dbsvr::LEDGER_MAX_AGE_DAYS); // no ledger yet
    for (const char* id : {"old", "recent"})
        ASSERT_EQ(ask(*db, QString(ADD_ORDER_ONCE).replace("at once", id)).text("/XML/Error"), "");
    m_data.exec("UPDATE quorvex_requests SET applied_at = '2000-01-01T00:00:00.000Z' "
                "WHERE id = 'old'");
    m_data.exec(m_data.pick("UPDATE quorvex_requests SET applied_at = strftime('%Y-%m-%dT%H:%M:"
                            "%fZ', 'now', '-6 days') WHERE id = 'recent'",
                            "UPDATE quorvex_requests SET applied_at = to_char((now() - interval "
                            "'6 days') AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"') "
                            "WHERE id = 'recent'"));
    db->pruneLedger(dbsvr::LEDGER_MAX_AGE_DAYS);
    EXPECT_EQ(m_data.value("SELECT count(*) FROM quorvex_requests"), "1");
    EXPECT_EQ(m_data.value("SELECT id FROM quorvex_requests"), "recent");
}

} // namespace
