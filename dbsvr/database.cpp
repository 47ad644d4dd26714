#include "dbsvr/database.h"

#include "common/error.h"
#include "dbsvr/statement.h"

#include <QFile>
#include <sqlite3.h>

namespace dbsvr {

namespace {
constexpr int BUSY_TIMEOUT_MS = 2000;
} // namespace

std::unique_ptr<Database> Database::Open(const QString& path) {
    if (path.isEmpty())
        throw common::Error(SQLITE_CANTOPEN, QStringLiteral("No database file is set."));
    sqlite3* db = nullptr;
    // Without SQLITE_OPEN_CREATE a wrong path fails instead of making an empty
    // database; a write-protected file opens read-only.
    const int code =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_close(db);
        throw common::Error(code, QStringLiteral("Unable to open the database ") + path +
                                      QStringLiteral(". ") +
                                      QString::fromUtf8(sqlite3_errstr(code)));
    }
    std::unique_ptr<Database> database(
        new Database(db, path, sqlite3_db_readonly(db, "main") == 1));
    sqlite3_busy_timeout(db, BUSY_TIMEOUT_MS);
    try {
        // SQLite opens lazily: reading the schema is what tells a database
        // from any other file.
        Statement probe(*database, QStringLiteral("SELECT count(*) FROM sqlite_master"));
        probe.step();
    } catch (const common::Error& e) {
        throw e.wrapped(QStringLiteral("Unable to open the database ") + path +
                        QStringLiteral(". "));
    }
    return database;
}

Database::Database(sqlite3* db, QString path, bool readOnly)
    : m_db(db), m_path(std::move(path)), m_readOnly(readOnly) {}

Database::~Database() {
    sqlite3_close_v2(m_db);
}

QStringList Database::tables() const {
    Statement s(*this, QStringLiteral("SELECT name FROM sqlite_master WHERE type IN "
                                      "('table','view') AND name NOT LIKE 'sqlite\\_%' "
                                      "ESCAPE '\\' ORDER BY name"));
    QStringList names;
    while (s.step())
        names << s.columnText(0);
    return names;
}

QString Database::tableType(const QString& name) const {
    // Bound, never spliced: the name is the client's text.
    Statement s(*this, QStringLiteral("SELECT type FROM sqlite_master WHERE type IN "
                                      "('table','view') AND name = ?1 AND name NOT LIKE "
                                      "'sqlite\\_%' ESCAPE '\\'"));
    s.bindText(1, name);
    return s.step() ? s.columnText(0) : QString();
}

void Database::raise(int code) const {
    throw common::Error(code, QString::fromUtf8(sqlite3_errmsg(m_db)));
}

QString QuoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace dbsvr
