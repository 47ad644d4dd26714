#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

struct sqlite3_stmt;

namespace dbsvr {

class Database;

// One prepared SQL statement. Raises common::Error (SQLite's result code and
// text) on every failure.
class Statement final {
public:
    // Prepares exactly one statement; text after it other than blanks and
    // semicolons is refused, so a second statement can never ride along.
    Statement(const Database& db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters count from 1. A named parameter's name keeps its prefix
    // (":customer"); an unnamed "?" gives "".
    int parameterCount() const;
    QString parameterName(int index) const;
    void bindText(int index, const QString& value);
    void bindInteger(int index, int64_t value);
    void bindReal(int index, double value);
    void bindNull(int index);

    // Runs to the next row: true when a row is ready, false when done.
    bool step();
    // Rows changed by the last completed insert, update or delete.
    int64_t changes() const;

    // Columns count from 0.
    int columnCount() const;
    QString columnName(int index) const;
    bool columnIsNull(int index) const;
    bool columnIsBlob(int index) const;
    QString columnText(int index) const;
    QByteArray columnBlob(int index) const;
    int64_t columnInteger(int index) const;

private:
    void check(int code) const;

    const Database& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace dbsvr
