// Form posts from many concurrent clients through the staged websvr and its real dbsvr:
// while the data server is killed, and with two web servers on one PostgreSQL database.
#include "formposter.h"
#include "tests/dbsvr/pgcluster.h"
#include "tests/support/heldwritelock.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <csignal>
#include <gtest/gtest.h>
#include <latch>
#include <sqlite3.h>
#include <thread>

using namespace support;
using namespace dynamictest;

namespace {

const int POSTS = 200;
const int CLIENTS = 20;

QStringList Names(const QString& prefix) {
    QStringList names;
    for (int k = 0; k < POSTS; ++k)
        names.append(QString("%1 %2").arg(prefix).arg(k, 3, 10, QChar('0')));
    return names;
}

// The last data server websvr started, from its log; 0 before the first.
qint64 DataServerPid(const ProgramFolder& program, qint64 websvr) {
    static const QRegularExpression line("Data server process id: (\\d+)");
    qint64 last = 0;
    for (auto it = line.globalMatch(program.log(websvr)); it.hasNext();)
        last = it.next().captured(1).toLongLong();
    return last;
}

// Starts websvr hidden in program and waits until "/" is the application's home page.
::testing::AssertionResult ServesTheApplication(ProgramFolder& program, ChildProcess*& websvr) {
    websvr = &program.startWebsvr({"hidden"});
    const QString line = websvr->readLine();
    if (!line.startsWith("Serving "))
        return ::testing::AssertionFailure() << "printed \"" << line.toStdString() << "\"";
    if (!Eventually([&] { return program.get("/").startsWith("HTTP/1.1 200 OK"); }))
        return ::testing::AssertionFailure() << "/ is not served";
    return ::testing::AssertionSuccess();
}

// name -> number of customers of that name, for the names that start with prefix.
QHash<QString, int> CustomersInSqlite(const QString& file, const QString& prefix) {
    QHash<QString, int> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT name, count(*) FROM customers GROUP BY name", -1, &st,
                           nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            const QString name =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            if (name.startsWith(prefix))
                rows.insert(name, sqlite3_column_int(st, 1));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

// Requests for "/" itself in websvr's log: the form posts and the home page.
int RootRequests(const ProgramFolder& program, qint64 websvr) {
    return int(program.log(websvr).count("] HTTP GET: /'"));
}

// The staged websvr, for the tests that serve the example application from its SQLite file.
class FormPosts : public ::testing::Test {
protected:
    void serve() {
        ASSERT_TRUE(program.isValid());
        ASSERT_TRUE(ServesTheApplication(program, websvr));
    }

    ProgramFolder program;
    ChildProcess* websvr = nullptr;
    const QString database = program.path("examples/microsoft access/sample.db");
};

} // namespace

// Pages that wait for the data server hold nobody else: not the files, not the pages that
// need no data, not the pages that read.
TEST_F(FormPosts, WhilePostsWaitForTheDatabaseFilesPagesAndTablesAreAnswered) {
    ASSERT_NO_FATAL_FAILURE(serve());
    HeldWriteLock lock(database);
    ASSERT_TRUE(lock.held());

    const int before = RootRequests(program, websvr->pid());
    std::atomic<int> answered{0};
    std::vector<PostOutcome> outcomes(2);
    std::vector<std::thread> posts;
    for (int k = 0; k < 2; ++k)
        posts.emplace_back([&, k] {
            outcomes[size_t(k)] = PostCustomer(program.port(), QString("Waiting %1").arg(k));
            ++answered;
        });
    // Both posts have reached websvr, and their writes cannot end while the lock is held.
    EXPECT_TRUE(Eventually([&] { return RootRequests(program, websvr->pid()) == before + 2; }));

    EXPECT_TRUE(program.get("/style.css").startsWith("HTTP/1.1 200 OK"));
    EXPECT_TRUE(program.get("/").startsWith("HTTP/1.1 200 OK"));
    const QByteArray table = program.get("/?page=table&name=orders");
    EXPECT_TRUE(table.startsWith("HTTP/1.1 200 OK")) << table.left(300).toStdString();
    EXPECT_EQ(answered, 0);

    lock.release();
    for (std::thread& post : posts)
        post.join();
    const QHash<QString, int> rows = CustomersInSqlite(database, "Waiting ");
    for (const PostOutcome& o : outcomes) {
        EXPECT_TRUE(o.saved) << o.answer.left(300).toStdString();
        EXPECT_EQ(rows.value(o.name), 1) << o.name.toStdString();
    }
}

TEST_F(FormPosts, EachSavedPostIsWrittenOnceWhileTheDataServerIsKilledTwice) {
    ASSERT_NO_FATAL_FAILURE(serve());

    std::atomic<int> done{0};
    std::vector<PostOutcome> outcomes;
    std::thread posting(
        [&] { outcomes = PostConcurrently({program.port()}, Names("Load"), CLIENTS, done); });
    qint64 killed = 0;
    for (const int after : {POSTS / 4, POSTS / 2}) {
        Eventually([&] { return done >= after; }, 120000);
        // A replacement must be running before it can be killed in its turn.
        ASSERT_TRUE(Eventually([&] {
            const qint64 pid = DataServerPid(program, websvr->pid());
            return pid != killed && ProcessRuns(pid);
        }));
        killed = DataServerPid(program, websvr->pid());
        ::kill(pid_t(killed), SIGKILL);
    }
    posting.join();

    const QHash<QString, int> rows = CustomersInSqlite(database, "Load ");
    int saved = 0;
    for (const PostOutcome& o : outcomes) {
        const int status = StatusOf(o.answer);
        if (o.saved) {
            ++saved;
            EXPECT_EQ(rows.value(o.name), 1) << o.name.toStdString();
        } else {
            // An error page: the post may have been written, at most once.
            EXPECT_TRUE(status == 200 || status == 500 || status == 503)
                << o.name.toStdString() << ": " << o.answer.left(300).toStdString();
            EXPECT_GT(o.answer.size() - o.answer.indexOf("\r\n\r\n"), 4) << o.name.toStdString();
            EXPECT_LE(rows.value(o.name), 1) << o.name.toStdString();
        }
    }
    // Nothing but what was posted.
    for (auto it = rows.begin(); it != rows.end(); ++it)
        EXPECT_TRUE(Names("Load").contains(it.key())) << it.key().toStdString();
    EXPECT_GT(saved, 0);
    // The data server was really lost twice, and replaced.
    EXPECT_GE(program.log(websvr->pid()).count("The Data Server has stopped running"), 2);
    EXPECT_TRUE(ProcessRuns(DataServerPid(program, websvr->pid())));
    std::printf("%d of %d posts saved while the data server was killed twice\n", saved, POSTS);
}

// The data server is killed while it holds every post: its successor serves them again, and the
// ledger still writes the entry once. Every client gets an answer of the form, none the "try
// again" page.
TEST_F(FormPosts, OneFormPostedByTwentyClientsWhileTheDataServerIsKilledIsWrittenOnce) {
    ASSERT_NO_FATAL_FAILURE(serve());
    const FormFields form = FetchForm(program.port());
    ASSERT_FALSE(form.token.isEmpty());
    const qint64 dbsvr = DataServerPid(program, websvr->pid());
    ASSERT_TRUE(ProcessRuns(dbsvr));
    // The writes cannot end before the kill.
    HeldWriteLock lock(database);
    ASSERT_TRUE(lock.held());

    const int before = RootRequests(program, websvr->pid());
    std::vector<PostOutcome> outcomes(CLIENTS);
    std::latch ready(CLIENTS);
    std::vector<std::thread> posts;
    for (int k = 0; k < CLIENTS; ++k)
        posts.emplace_back([&, k] {
            ready.arrive_and_wait();
            outcomes[size_t(k)] = PostForm(program.port(), form, "Posted twenty times");
        });
    EXPECT_TRUE(
        Eventually([&] { return RootRequests(program, websvr->pid()) == before + CLIENTS; }));
    ::kill(pid_t(dbsvr), SIGKILL);
    lock.release();
    for (std::thread& post : posts)
        post.join();

    EXPECT_EQ(CustomersInSqlite(database, "Posted twenty times").value("Posted twenty times"), 1);
    for (const PostOutcome& o : outcomes) {
        EXPECT_LT(StatusOf(o.answer), 500) << o.answer.left(300).toStdString();
        EXPECT_TRUE(o.saved) << o.answer.left(300).toStdString();
    }
    EXPECT_GE(program.log(websvr->pid()).count("The Data Server has stopped running"), 1);
}

TEST_F(FormPosts, TwoWebServersShareOnePostgresqlDatabase) {
    PgCluster* cluster = PgCluster::Shared();
    if (!cluster)
        GTEST_SKIP() << PgCluster::SkipReason().toStdString();
    const QString database = cluster->createSampleDatabase();
    ASSERT_FALSE(database.isEmpty()) << cluster->error().toStdString();

    // Two program folders, two ports, as on two machines; one database.
    ProgramFolder first, second;
    ChildProcess* websvr[2] = {};
    ProgramFolder* programs[2] = {&first, &second};
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(programs[k]->isValid());
        ASSERT_TRUE(cluster->serveFrom(
            programs[k]->path("examples/microsoft access/dataserver.xml"), database));
        ASSERT_TRUE(ServesTheApplication(*programs[k], websvr[k]));
    }

    // Written through one, read through the other.
    const PostOutcome across = PostCustomer(first.port(), "Across the servers");
    ASSERT_TRUE(across.saved) << across.answer.left(300).toStdString();
    const QByteArray table = second.get("/?page=table&name=customers&col1=name&op1=eq&val1=" +
                                        QUrl::toPercentEncoding("Across the servers"));
    EXPECT_TRUE(table.contains("Across the servers")) << table.left(300).toStdString();

    std::atomic<int> done{0};
    const std::vector<PostOutcome> outcomes =
        PostConcurrently({first.port(), second.port()}, Names("Split"), CLIENTS, done);
    for (const PostOutcome& o : outcomes)
        EXPECT_TRUE(o.saved) << o.name.toStdString() << ": " << o.answer.left(300).toStdString();
    EXPECT_EQ(cluster->value(database, "SELECT count(*) FROM customers WHERE name LIKE 'Split %'"),
              QString::number(POSTS));
    EXPECT_EQ(cluster->value(
                  database, "SELECT count(DISTINCT name) FROM customers WHERE name LIKE 'Split %'"),
              QString::number(POSTS));
}
