#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

struct pg_conn;

// A session of the test's own on one database, open as long as the object lives: what it
// locks (an advisory lock) stays locked until it lets go or the object goes.
class PgSession final {
public:
    explicit PgSession(const QString& connectionString);
    ~PgSession();

    // Connected.
    bool valid() const;
    const QString& error() const { return m_error; }
    // The first column of the first row sql gives; "" for none.
    QString value(const QString& sql);
    // Runs sql; false (with error()) when it fails.
    bool exec(const QString& sql);

private:
    std::unique_ptr<pg_conn, void (*)(pg_conn*)> m_connection;
    QString m_error;
};

// A PostgreSQL server of the test's own (Debian's postgresql package): made
// with initdb in a temporary folder (as the user nobody when the tests run as
// root, which PostgreSQL refuses), listening only on a Unix socket in that
// folder, with trust for local connections of the superuser "postgres". Autovacuum is off:
// its commits would change the data version under tests that watch it.
class PgCluster final {
public:
    // The folder of initdb and pg_ctl; "" when PostgreSQL is not installed.
    static QString BinDir();
    // One server for the whole test process, started at first use; nullptr
    // when PostgreSQL is not installed or does not start (SkipReason() says why).
    static PgCluster* Shared();
    static QString SkipReason();

    // Makes the cluster; start() runs it.
    PgCluster();
    ~PgCluster(); // stops the server

    bool valid() const { return m_valid; }
    const QString& error() const { return m_error; }
    bool start();
    // A fast stop: connected sessions are ended, as an administrator's stop does.
    bool stop();

    // The connection string of a database on this server.
    QString connectionString(const QString& database) const;
    // A new database, with sql (several statements; lines that begin with a
    // backslash, psql's own commands, are left out) run in it; its name.
    QString createDatabase(const QString& sql);
    // A new database with the data of the staged example application
    // (its sample-postgresql.sql); its name, "" (with error()) when it cannot be made.
    QString createSampleDatabase();
    // Points an application's dataserver.xml at database on this server; false when the file
    // cannot be written.
    bool serveFrom(const QString& configFile, const QString& database) const;
    // The first column of the first row sql gives in database; "" for none.
    QString value(const QString& database, const QString& sql) const;
    // Runs sql in database; false (with error()) when it fails.
    bool exec(const QString& database, const QString& sql);

private:
    bool run(const QString& program, const QStringList& arguments);

    QTemporaryDir m_dir;
    bool m_valid = false;
    int m_databases = 0;
    QString m_error;
};
