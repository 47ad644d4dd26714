#include "testdatabase.h"

#include "dbsvr/messagehandler.h"
#include "dbsvr/postgresdatabase.h"
#include "dbsvrfixture.h"
#include "pgcluster.h"
#include "tests/support/programfolder.h"

#include <QDir>
#include <QFile>

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Sqlite ? "SQLite" : "PostgreSQL";
}

TestDatabase::TestDatabase(Backend backend) : m_backend(backend), m_folderPath(m_folder.path()) {}

QString TestDatabase::configure(const QString& queries, const QString& connectionExtra) {
    if (m_backend == Backend::Sqlite)
        WriteConfig(m_folderPath, "test.db", queries);
    else
        WriteConfig(m_folderPath,
                    PgCluster::Shared()->connectionString(m_pgDatabase) + connectionExtra, queries,
                    "postgresql");
    m_config = std::make_unique<dbsvr::Config>(dbsvr::Config::Load(m_folderPath));
    return {};
}

QString TestDatabase::create(const char* sqliteSchema, const char* postgresqlSchema,
                             const QString& queries, const QString& connectionExtra) {
    if (m_backend == Backend::Sqlite) {
        MakeDatabase(QDir(m_folderPath).filePath("test.db"), sqliteSchema);
        return configure(queries, connectionExtra);
    }
    PgCluster* cluster = PgCluster::Shared();
    if (!cluster)
        return PgCluster::SkipReason();
    m_pgDatabase = cluster->createDatabase(QString::fromUtf8(postgresqlSchema));
    if (m_pgDatabase.isEmpty())
        return QStringLiteral("the test database was not made: ") + cluster->error();
    return configure(queries, connectionExtra);
}

QString TestDatabase::createSample() {
    if (!support::CopySampleApplication(m_folderPath))
        return QStringLiteral("the sample application was not copied");
    if (m_backend == Backend::Postgresql) {
        PgCluster* cluster = PgCluster::Shared();
        if (!cluster)
            return PgCluster::SkipReason();
        m_pgDatabase = cluster->createSampleDatabase();
        if (m_pgDatabase.isEmpty())
            return QStringLiteral("the sample database was not made: ") + cluster->error();
        if (!cluster->serveFrom(QDir(m_folderPath).filePath("dataserver.xml"), m_pgDatabase))
            return QStringLiteral("dataserver.xml was not written");
    }
    m_config = std::make_unique<dbsvr::Config>(dbsvr::Config::Load(m_folderPath));
    return {};
}

void TestDatabase::exec(const QString& sql) {
    if (m_backend == Backend::Sqlite)
        MakeDatabase(m_config->databasePath(), sql.toUtf8().constData());
    else
        EXPECT_TRUE(PgCluster::Shared()->exec(m_pgDatabase, sql))
            << PgCluster::Shared()->error().toStdString();
}

QString TestDatabase::value(const QString& sql) const {
    if (m_backend == Backend::Sqlite)
        return QueryValue(m_config->databasePath(), sql.toUtf8().constData());
    return PgCluster::Shared()->value(m_pgDatabase, sql);
}

std::unique_ptr<dbsvr::Database> TestDatabase::open() const {
    return dbsvr::Database::Connect(*m_config);
}

std::unique_ptr<dbsvr::Database> TestDatabase::openReadOnly() const {
    return std::make_unique<dbsvr::PostgresDatabase>(
        m_config->databaseSetting() + " options='-c default_transaction_read_only=on'");
}

QStringList TestDatabase::readOnly(const std::function<QStringList(dbsvr::Database&)>& body) const {
    if (m_backend == Backend::Postgresql)
        return body(*openReadOnly());
    EXPECT_TRUE(QFile::setPermissions(m_config->databasePath(),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    EXPECT_TRUE(QFile::setPermissions(m_folderPath, QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ExeOwner | QFile::ReadOther |
                                                        QFile::ExeOther));
    return AsUnprivilegedUser([&] { return body(*open()); });
}

QString TestDatabase::name() const {
    return m_backend == Backend::Sqlite ? QFileInfo(m_config->databasePath()).fileName()
                                        : m_pgDatabase;
}

void TestSchemaTest::SetUp() {
    const QString skip = m_data.create(TEST_SCHEMA, TEST_SCHEMA_POSTGRESQL, TEST_QUERIES);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    m_db = m_data.open();
}

Reply TestSchemaTest::ask(const QString& request) const {
    return Reply(dbsvr::MessageHandler(&m_data.config(), m_db.get()).handle(request.toUtf8()));
}
