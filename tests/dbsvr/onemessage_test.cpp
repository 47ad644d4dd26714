// The staged dbsvr in its one-message mode: one request on standard input, its reply on
// standard output, the exit code telling how it went.
#include "contract/contract.h"
#include "dbsvrfixture.h"
#include "testdatabase.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace support;

namespace {

// Runs `dbsvr message=- configfolder=<folder>` with request on its standard input.
Finished AskOnce(const QString& folder, const QByteArray& request) {
    static QTemporaryDir logs;
    return RunToEnd(StageDir() + "/dbsvr", {"message=-", "configfolder=" + folder}, request,
                    {QString::fromLatin1(dataserver::LOGS_FOLDER_VARIABLE) + "=" + logs.path()});
}

class OneMessageTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        const QString skip = m_data.createSample();
        if (!skip.isEmpty())
            GTEST_SKIP() << skip.toStdString();
    }

    TestDatabase m_data{GetParam()};
};

TEST_P(OneMessageTest, PingAnswersWithTheDatabase) {
    const Finished answer = AskOnce(m_data.folder(), "<XML><Type>Ping</Type></XML>");
    EXPECT_EQ(answer.exitCode, 0) << answer.err.toStdString();
    const Reply pong(answer.out);
    EXPECT_EQ(pong.text("/XML/Type"), "Pong");
    EXPECT_TRUE(pong.text("/XML/Message").contains("database ")) << answer.out.constData();
    EXPECT_TRUE(pong.text("/XML/Message").contains(m_data.name())) << answer.out.constData();
    EXPECT_TRUE(answer.err.isEmpty()) << answer.err.toStdString();
}

// A write is committed before the process ends: the database shows it to anyone.
TEST_P(OneMessageTest, WriteIsCommitted) {
    const Finished answer =
        AskOnce(m_data.folder(), "<XML><Type>Query</Type><Name>AddCustomer</Name><Parameters>"
                                 "<Parameter name=\"name\">Ola</Parameter>"
                                 "<Parameter name=\"city\">Bergen</Parameter>"
                                 "<Parameter name=\"country\">Norway</Parameter>"
                                 "<Parameter name=\"email\"/></Parameters></XML>");
    EXPECT_EQ(answer.exitCode, 0) << answer.err.toStdString();
    EXPECT_EQ(Reply(answer.out).text("/XML/Changes"), "1") << answer.out.constData();
    EXPECT_EQ(m_data.value("SELECT count(*) FROM customers WHERE name = 'Ola'"), "1");
}

// A request that fails gets its error reply on standard output and the exit code 1.
TEST_P(OneMessageTest, FailedRequestExitsOne) {
    const struct {
        QByteArray request;
        const char* error;
    } CASES[] = {
        {"<XML><Type>ReadTable</Type><Table>nowhere</Table></XML>", "UnknownTable"},
        {"<XML><Type>Query</Type><Name>Nothing</Name></XML>", "UnknownQuery"},
        {"<XML><Type>Nonsense</Type></XML>", "InvalidRequest"},
        {"not XML at all", "InvalidRequest"},
        {"", "InvalidRequest"},
        // Larger than a queue message may be: refused as the queue refuses it.
        {"<XML><Type>Ping</Type><Message>" + QByteArray(16 * 1024 * 1024, 'x') + "</Message></XML>",
         "InvalidRequest"},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.request.left(60).toStdString());
        const Finished answer = AskOnce(m_data.folder(), c.request);
        EXPECT_EQ(answer.exitCode, 1) << answer.err.toStdString();
        const Reply reply(answer.out);
        EXPECT_EQ(reply.text("/XML/Type"), "Error") << answer.out.left(300).constData();
        EXPECT_EQ(reply.text("/XML/Error"), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, OneMessageTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql), BackendName);

// No database to open: exit code 2, why on standard error, nothing on standard output.
TEST(OneMessage, WithoutADatabaseExitsTwo) {
    QTemporaryDir dir;
    const QString noConfig = dir.filePath("no config");
    const QString noFile = dir.filePath("no file");
    QDir().mkpath(noConfig);
    QDir().mkpath(noFile);
    WriteConfig(noFile, "missing.db", "");
    const struct {
        QString folder;
        const char* says;
    } CASES[] = {
        {noConfig, "dataserver.xml"},
        {noFile, "missing.db"},
        {dir.filePath("no folder"), "no such folder"},
        {"", "configfolder= is missing"},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.folder.toStdString());
        const Finished answer = AskOnce(c.folder, "<XML><Type>Ping</Type></XML>");
        EXPECT_EQ(answer.exitCode, 2);
        EXPECT_TRUE(answer.out.isEmpty()) << answer.out.constData();
        EXPECT_TRUE(answer.err.startsWith("dbsvr: ")) << answer.err.toStdString();
        EXPECT_TRUE(answer.err.contains(c.says)) << answer.err.toStdString();
    }
}

} // namespace
