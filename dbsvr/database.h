#pragma once

#include <QString>
#include <QStringList>
#include <memory>

struct sqlite3;

namespace dbsvr {

// An open SQLite database file. Failures raise common::Error whose number is
// SQLite's result code and whose description is SQLite's own text.
class Database final {
public:
    // Opens an existing file, read-write when the file allows it and read-only
    // otherwise; never creates one, so a wrong path is an error and not a new
    // empty database. Also fails for a file that is not an SQLite database.
    static std::unique_ptr<Database> Open(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }
    bool readOnly() const { return m_readOnly; }

    // Names of the user's tables and views, in name order; SQLite's own
    // sqlite_* tables are left out.
    QStringList tables() const;
    // "table" or "view" when name is exactly one of tables(), "" otherwise.
    QString tableType(const QString& name) const;

    // Raises common::Error from the handle's current error.
    [[noreturn]] void raise(int code) const;

private:
    Database(sqlite3* db, QString path, bool readOnly);

    sqlite3* m_db = nullptr;
    QString m_path;
    bool m_readOnly = false;
};

// A name made safe to put into SQL text: double quotes around it, inner
// double quotes doubled. Use only for names already checked against the schema.
QString QuoteIdentifier(const QString& name);

} // namespace dbsvr
