#pragma once

#include "dbsvr/config.h"
#include "dbsvr/database.h"

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// The databases the data server tests run against, each test once per kind.
enum class Backend { Sqlite, Postgresql };
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);

// A test database of either kind with its application folder: made from SQL
// straight through the database's own library, configured in dataserver.xml,
// and opened by the code under test.
class TestDatabase final {
public:
    explicit TestDatabase(Backend backend);

    Backend backend() const { return m_backend; }
    // Text that differs between the kinds: the SQLite one or the PostgreSQL one.
    QString pick(const QString& sqlite, const QString& postgresql) const {
        return m_backend == Backend::Sqlite ? sqlite : postgresql;
    }

    // Makes the database from the schema of its kind and configures it with
    // queries; connectionExtra is added to a PostgreSQL connection string.
    // "" on success, else why it could not be done (the test skips when
    // PostgreSQL is not installed).
    QString create(const char* sqliteSchema, const char* postgresqlSchema, const QString& queries,
                   const QString& connectionExtra = {});
    // The example application as it ships, on a database of this kind.
    QString createSample();

    // SQL run straight in the database, and the first value it gives ("" for none).
    void exec(const QString& sql);
    QString value(const QString& sql) const;

    const QString& folder() const { return m_folderPath; }
    const dbsvr::Config& config() const { return *m_config; }
    // Opens the database through the configuration, as the data server does.
    std::unique_ptr<dbsvr::Database> open() const;
    // PostgreSQL only: a session of the same database that may not write.
    std::unique_ptr<dbsvr::Database> openReadOnly() const;
    // What body gives for the database opened so that it may only be read: an SQLite file
    // that may not be written (by another user when the tests run as root, to whom every file
    // is writable), a PostgreSQL session that may not write.
    QStringList readOnly(const std::function<QStringList(dbsvr::Database&)>& body) const;
    // What a ping names: the SQLite file, or the PostgreSQL database.
    QString name() const;

private:
    QString configure(const QString& queries, const QString& connectionExtra);

    Backend m_backend;
    QTemporaryDir m_folder;
    QString m_folderPath;
    QString m_pgDatabase;
    std::unique_ptr<dbsvr::Config> m_config;
};

struct Reply;

// A test run once on each kind of database: the test schema with its queries (dbsvrfixture.h),
// opened as the data server opens it, and asked as the data server asks.
class TestSchemaTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    // The reply of the message handler to request.
    Reply ask(const QString& request) const;

    TestDatabase m_data{GetParam()};
    std::unique_ptr<dbsvr::Database> m_db;
};
