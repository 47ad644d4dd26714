#pragma once

#include "dbsvr/arguments.h"
#include "dbsvr/database.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace dbsvr {

// Raises common::Error with SQLite's result code and the connection's text.
[[noreturn]] void RaiseSqlite(sqlite3* db, int code);
// Runs SQL that takes no parameters and gives no rows (BEGIN, PRAGMA ...).
void ExecSqlite(sqlite3* db, const char* sql);

// One prepared SQLite statement. Raises common::Error (SQLite's result code
// and text) on every failure.
class Statement final {
public:
    // Prepares exactly one statement; text after it other than blanks and
    // semicolons is refused, so a second statement can never ride along.
    Statement(sqlite3* db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept
        : m_db(other.m_db), m_stmt(std::exchange(other.m_stmt, nullptr)) {}

    // Parameters count from 1. A named parameter's name keeps its prefix
    // (":customer"); an unnamed "?" gives "".
    int parameterCount() const;
    QStringList parameterNames() const;
    void bindText(int index, const QString& value);
    void bindInteger(int index, int64_t value);
    void bind(int index, const BoundValue& value);
    // Binds values to the parameters 1, 2, ... in order.
    void bindAll(const QList<BoundValue>& values);

    // True when running it cannot change the database file.
    bool readOnly() const;

    // Runs to the next row: true when a row is ready, false when done.
    bool step();
    // Rows changed by the last completed insert, update or delete.
    int64_t changes() const;

    // Columns count from 0.
    int columnCount() const;
    QString columnName(int index) const;
    QStringList columnNames() const;
    bool columnIsNull(int index) const;
    QString columnText(int index) const;
    int64_t columnInteger(int index) const;
    // A BLOB gives its bytes with blobData, otherwise only its size.
    FieldValue field(int index, bool blobData) const;

private:
    void check(int code) const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace dbsvr
