// What a database on PostgreSQL keeps on its connection between requests (prepared statements,
// table descriptions, the judgement of what is volatile), and that no change of the schema by
// another client is hidden by it.
#include "common/files.h"
#include "dbsvr/config.h"
#include "dbsvr/messagehandler.h"
#include "dbsvr/pgconnection.h"
#include "dbsvr/pgstatementcache.h"
#include "dbsvrfixture.h"
#include "pgcluster.h"
#include "testdatabase.h"
#include "tests/support/qtprinters.h"

#include <QThread>
#include <functional>
#include <future>
#include <gtest/gtest.h>

namespace {

TEST(PgStatementCache, PreparesOnceAndFollowsATableThatChanged) {
    PgCluster* cluster = PgCluster::Shared();
    if (!cluster)
        GTEST_SKIP() << PgCluster::SkipReason().toStdString();
    const QString database =
        cluster->createDatabase("CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (1), (2);");
    ASSERT_FALSE(database.isEmpty()) << cluster->error().toStdString();
    dbsvr::PgConnection connection(cluster->connectionString(database));
    dbsvr::PgStatementCache statements(connection);
    const auto prepared = [&] {
        return connection.exec("SELECT count(*) FROM pg_prepared_statements").integer(0, 0);
    };
    const QString byA = "SELECT * FROM t WHERE a = $1";

    EXPECT_EQ(statements.exec(byA, {int64_t(1)}).rows(), 1);
    EXPECT_EQ(statements.exec(byA, {int64_t(3)}).rows(), 0);
    EXPECT_EQ(prepared(), 1);
    // The same text with a value of another type is a statement of its own.
    EXPECT_EQ(statements.exec(byA, {QString("2")}).rows(), 1);
    EXPECT_EQ(prepared(), 2);
    // Not prepared, not kept.
    EXPECT_EQ(statements.run("SELECT nothing FROM t").sqlState(), "42703");
    EXPECT_EQ(statements.size(), 2);

    // Its result now has other columns: prepared again rather than failed.
    ASSERT_TRUE(cluster->exec(database, "ALTER TABLE t ADD COLUMN b TEXT DEFAULT 'x'"));
    const dbsvr::PgResult wider = statements.exec(byA, {int64_t(1)});
    EXPECT_EQ(wider.columns(), 2);
    EXPECT_EQ(wider.text(0, 1), "x");

    statements.clear();
    EXPECT_EQ(prepared(), 0);
    EXPECT_EQ(statements.exec(byA, {int64_t(2)}).rows(), 1);
}

const char VOLATILE_QUERIES[] = R"xml(
<Query name="Lucky"><Sql>SELECT id FROM customers WHERE random() &lt; 2</Sql></Query>
<Query name="Today"><Sql>SELECT id, now() AS asked FROM orders</Sql></Query>
<Query name="FromLater"><Sql>SELECT id FROM later ORDER BY id</Sql></Query>
<Query name="Stable"><Sql>SELECT id, asked() FROM orders</Sql></Query>
<Query name="Pure"><Sql>SELECT id, twice(id) FROM orders</Sql></Query>
<Query name="GatedAdd"><Sql>INSERT INTO orders (customer_id, amount) VALUES (1, gate())</Sql></Query>
<Query name="GatedNow"><Sql>SELECT id, now() AS asked FROM orders WHERE id >= gate()</Sql></Query>
)xml";

class PostgresReuse : public ::testing::Test {
protected:
    void SetUp() override {
        const QString skip = m_data.create(TEST_SCHEMA, TEST_SCHEMA_POSTGRESQL,
                                           QString(TEST_QUERIES) + VOLATILE_QUERIES);
        if (!skip.isEmpty())
            GTEST_SKIP() << skip.toStdString();
        m_db = m_data.open();
    }
    Reply ask(const QString& request) const {
        return Reply(dbsvr::MessageHandler(&m_data.config(), m_db.get()).handle(request.toUtf8()));
    }
    static QString describe(const QString& table) {
        return "<XML><Type>DescribeTable</Type><Table>" + table + "</Table></XML>";
    }
    static QString read(const QString& table) {
        return "<XML><Type>ReadTable</Type><Table>" + table + "</Table></XML>";
    }
    static QString query(const QString& name) {
        return "<XML><Type>Query</Type><Name>" + name + "</Name></XML>";
    }

    TestDatabase m_data{Backend::Postgresql};
    std::unique_ptr<dbsvr::Database> m_db;
};

// Descriptions and reads kept on the connection follow every change another client makes.
TEST_F(PostgresReuse, SchemaChangesByAnotherClientShowInTheNextReplies) {
    EXPECT_EQ(ask(describe("orders")).count("/XML/Columns/Column"), 3u);
    EXPECT_EQ(ask(read("orders")).count("/XML/Columns/Column"), 3u);

    m_data.exec("ALTER TABLE orders ADD COLUMN note TEXT NOT NULL DEFAULT 'n'");
    const Reply described = ask(describe("orders"));
    EXPECT_EQ(described.count("/XML/Columns/Column"), 4u);
    EXPECT_EQ(described.text("/XML/Columns/Column[@name='note']/@notnull"), "true");
    const Reply added = ask(read("orders"));
    EXPECT_EQ(added.text("/XML/Error"), "") << added.raw.constData();
    EXPECT_EQ(added.text("/XML/Rows/Row[1]/Field[@name='note']"), "n");

    m_data.exec("DROP VIEW customer_orders; ALTER TABLE orders DROP COLUMN amount");
    const Reply dropped = ask(read("orders"));
    EXPECT_EQ(dropped.text("/XML/Error"), "") << dropped.raw.constData();
    EXPECT_EQ(dropped.count("/XML/Columns/Column"), 3u);

    m_data.exec("ALTER TABLE orders RENAME TO purchases");
    EXPECT_EQ(ask(read("orders")).text("/XML/Error"), "UnknownTable");
    EXPECT_EQ(ask(read("purchases")).text("/XML/Total"), "4");
    EXPECT_EQ(ask(describe("customers"))
                  .text("/XML/ReferencedBy/Reference[@table='purchases']/Map/@from"),
              "customer_id");
    const Reply tables = ask("<XML><Type>ListTables</Type></XML>");
    EXPECT_EQ(tables.count("//*[.='orders' or @name='orders']"), 0u) << tables.raw.constData();
}

// Replies that may read otherwise with no change to the data are marked, also once a view
// is redefined to read the clock; a query judged before its table existed is judged again.
TEST_F(PostgresReuse, QueriesAndViewsThatFollowTheClockOrChanceAreMarkedVolatile) {
    EXPECT_EQ(ask(query("Lucky")).text("/XML/Volatile"), "true");
    EXPECT_EQ(ask(query("Today")).text("/XML/Volatile"), "true");
    EXPECT_EQ(ask(query("AllCustomers")).text("/XML/Volatile"), "");
    // The application's own functions: a stable one may read the clock, an immutable one not.
    m_data.exec("CREATE FUNCTION asked() RETURNS timestamptz STABLE LANGUAGE plpgsql "
                "AS 'BEGIN RETURN now(); END'; CREATE FUNCTION twice(integer) RETURNS integer "
                "IMMUTABLE LANGUAGE plpgsql AS 'BEGIN RETURN 2 * $1; END'");
    EXPECT_EQ(ask(query("Stable")).text("/XML/Volatile"), "true");
    EXPECT_EQ(ask(query("Pure")).text("/XML/Volatile"), "");
    EXPECT_EQ(ask(query("FromLater")).text("/XML/Error"), "DatabaseError");

    m_data.exec("CREATE VIEW later AS SELECT id FROM orders");
    const Reply plain = ask(query("FromLater"));
    EXPECT_EQ(plain.text("/XML/Error"), "") << plain.raw.constData();
    EXPECT_EQ(plain.text("/XML/Volatile"), "");
    EXPECT_EQ(ask(read("later")).text("/XML/Volatile"), "");

    m_data.exec("CREATE OR REPLACE VIEW later AS SELECT id FROM orders "
                "WHERE clock_timestamp() IS NOT NULL");
    EXPECT_EQ(ask(read("later")).text("/XML/Volatile"), "true");
    EXPECT_EQ(ask(query("FromLater")).text("/XML/Volatile"), "true");
}

// gate() waits while the test's own session holds advisory lock 42. It is immutable and takes
// no arguments, so the planner calls it: whatever plans a statement that names it (EXPLAIN
// too) waits there, after the statement was prepared and before anything ran.
const char GATE[] =
    "CREATE FUNCTION gate() RETURNS integer IMMUTABLE LANGUAGE plpgsql AS 'BEGIN PERFORM "
    "pg_advisory_lock_shared(42); PERFORM pg_advisory_unlock_shared(42); RETURN 1; END'; "
    "CREATE VIEW gated AS SELECT id, clock_timestamp() AS at FROM orders WHERE id >= gate()";

class StoppedStatements : public PostgresReuse {
protected:
    enum class Stop { Ceiling, Cancel };

    void SetUp() override {
        PostgresReuse::SetUp();
        if (IsSkipped())
            return;
        m_data.exec(GATE);
        const QString file = dbsvr::Config::FilePath(m_data.folder());
        QString xml = QString::fromUtf8(common::ReadFile(file));
        xml.replace("</DataServer>", "<StatementTimeLimit>0.2</StatementTimeLimit></DataServer>");
        common::SaveFile(file, xml.toUtf8());
        m_short = std::make_unique<dbsvr::Config>(dbsvr::Config::Load(m_data.folder()));
        m_gatekeeper = std::make_unique<dbsvr::PgConnection>(m_data.config().databaseSetting());
    }

    // The request on m_db, stopped while one of its statements waits for what the test's own
    // session holds (hold, until release; by default the gate): by the ceiling, or by a
    // cancel once the wait is seen.
    Reply stopped(Stop how, const QString& request,
                  const QByteArray& hold = "SELECT pg_advisory_lock(42)",
                  const QByteArray& release = "SELECT pg_advisory_unlock(42)") {
        m_gatekeeper->execScript(hold.constData());
        const dbsvr::Config* config = how == Stop::Ceiling ? m_short.get() : &m_data.config();
        std::future<QByteArray> reply = std::async(std::launch::async, [&] {
            return dbsvr::MessageHandler(config, m_db.get()).handle(request.toUtf8());
        });
        if (how == Stop::Cancel) {
            while (m_gatekeeper->exec("SELECT count(*) FROM pg_locks WHERE NOT granted")
                       .integer(0, 0) == 0)
                QThread::msleep(10);
            m_db->interrupt();
        }
        Reply answer(reply.get());
        m_gatekeeper->execScript(release.constData());
        // As the worker does before its next message.
        m_db->clearInterrupt();
        return answer;
    }

    std::unique_ptr<dbsvr::Config> m_short;
    std::unique_ptr<dbsvr::PgConnection> m_gatekeeper;
};

// A statement stopped by the ceiling or a cancel before its judgement was made leaves nothing
// judged: the same request on the same connection answers as if it were the first.
TEST_F(StoppedStatements, LeaveNothingJudgedForTheNextRequest) {
    struct Case {
        const char* name;
        QString request;
        std::function<void(const Reply&)> expect;
    };
    const Case cases[] = {
        {"a write's kind", query("GatedAdd"),
         [](const Reply& r) { EXPECT_EQ(r.text("/XML/Changes"), "1") << r.raw.constData(); }},
        {"a read's volatile flag", query("GatedNow"),
         [](const Reply& r) {
             EXPECT_EQ(r.text("/XML/Error"), "") << r.raw.constData();
             EXPECT_EQ(r.count("/XML/Rows/Row"), 4u);
             EXPECT_EQ(r.text("/XML/Volatile"), "true");
         }},
        {"a query's listed kind", "<XML><Type>ListQueries</Type></XML>",
         [](const Reply& r) {
             EXPECT_EQ(r.text("/XML/Queries/Query[@name='GatedAdd']/@kind"), "write");
             EXPECT_EQ(r.text("/XML/Queries/Query[@name='GatedNow']/@kind"), "read");
         }},
        {"a view's volatile flag", read("gated"),
         [](const Reply& r) {
             EXPECT_EQ(r.text("/XML/Total"), "4") << r.raw.constData();
             EXPECT_EQ(r.text("/XML/Volatile"), "true");
         }},
    };
    for (const Stop how : {Stop::Ceiling, Stop::Cancel}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (how == Stop::Ceiling ? ", ceiling" : ", cancel"));
            m_db = m_data.open();
            const Reply first = stopped(how, c.request);
            EXPECT_EQ(first.text("/XML/Error"),
                      how == Stop::Ceiling ? "TimeLimit" : "DatabaseError")
                << first.raw.constData();
            c.expect(ask(c.request));
            m_data.exec("DELETE FROM orders WHERE id > 4");
        }
    }
}

// A write stopped while its transaction begins leaves no transaction open, aborted, to fail
// every later statement of the connection.
TEST_F(StoppedStatements, WriteStoppedAsItBeginsLeavesTheConnectionUsable) {
    const QString add = "<XML><Type>Query</Type><Name>AddOrder</Name><Parameters><Parameter "
                        "name=\"customer\">1</Parameter><Parameter name=\"amount\">2</Parameter>"
                        "</Parameters></XML>";
    for (const Stop how : {Stop::Ceiling, Stop::Cancel}) {
        SCOPED_TRACE(how == Stop::Ceiling ? "ceiling" : "cancel");
        m_db = m_data.open();
        ASSERT_EQ(ask(add).text("/XML/Changes"), "1");
        // The sequence every write draws from as its transaction begins, locked meanwhile.
        const QString probe = m_data.value(
            "SELECT n.nspname || '.qv_probe' FROM pg_class c JOIN pg_namespace n ON n.oid = "
            "c.relnamespace WHERE c.relname = 'qv_probe'");
        ASSERT_FALSE(probe.isEmpty());
        const Reply first = stopped(
            how, add, "BEGIN; ALTER SEQUENCE " + probe.toUtf8() + " RENAME TO held", "ROLLBACK");
        EXPECT_NE(first.text("/XML/Error"), "") << first.raw.constData();
        const Reply orders = ask(read("orders"));
        EXPECT_EQ(orders.text("/XML/Total"), "5") << orders.raw.constData();
        EXPECT_EQ(ask(add).text("/XML/Changes"), "1");
        m_data.exec("DELETE FROM orders WHERE id > 4");
    }
}

} // namespace
