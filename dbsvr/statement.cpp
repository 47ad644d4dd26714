#include "dbsvr/statement.h"

#include "common/error.h"

#include <sqlite3.h>

namespace dbsvr {

namespace {
bool onlyBlanks(const char* tail) {
    for (; tail && *tail; ++tail) {
        const char c = *tail;
        if (c != ';' && c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}
} // namespace

void RaiseSqlite(sqlite3* db, int code) {
    throw common::Error(code, QString::fromUtf8(sqlite3_errmsg(db)));
}

void ExecSqlite(sqlite3* db, const char* sql) {
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        RaiseSqlite(db, code);
}

Statement::Statement(sqlite3* db, const QString& sql) : m_db(db) {
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = nullptr;
    const int code = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, &tail);
    if (code != SQLITE_OK)
        RaiseSqlite(db, code);
    if (!m_stmt)
        throw common::Error(SQLITE_MISUSE, QStringLiteral("The SQL text holds no statement."));
    if (!onlyBlanks(tail)) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw common::Error(SQLITE_MISUSE,
                            QStringLiteral("The SQL text holds more than one statement."));
    }
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

void Statement::check(int code) const {
    if (code != SQLITE_OK)
        RaiseSqlite(m_db, code);
}

int Statement::parameterCount() const {
    return sqlite3_bind_parameter_count(m_stmt);
}

QStringList Statement::parameterNames() const {
    QStringList names;
    for (int i = 1; i <= parameterCount(); ++i)
        names << QString::fromUtf8(sqlite3_bind_parameter_name(m_stmt, i));
    return names;
}

void Statement::bindText(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    check(sqlite3_bind_text64(m_stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                              SQLITE_TRANSIENT, SQLITE_UTF8));
}

void Statement::bindInteger(int index, int64_t value) {
    check(sqlite3_bind_int64(m_stmt, index, value));
}

void Statement::bind(int index, const BoundValue& value) {
    if (const auto* text = std::get_if<QString>(&value))
        bindText(index, *text);
    else if (const auto* integer = std::get_if<int64_t>(&value))
        bindInteger(index, *integer);
    else if (const auto* real = std::get_if<double>(&value))
        check(sqlite3_bind_double(m_stmt, index, *real));
    else
        check(sqlite3_bind_null(m_stmt, index));
}

void Statement::bindAll(const QList<BoundValue>& values) {
    for (qsizetype i = 0; i < values.size(); ++i)
        bind(int(i + 1), values[i]);
}

bool Statement::readOnly() const {
    return sqlite3_stmt_readonly(m_stmt) != 0;
}

bool Statement::step() {
    const int code = sqlite3_step(m_stmt);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    RaiseSqlite(m_db, code);
}

int64_t Statement::changes() const {
    return sqlite3_changes64(m_db);
}

int Statement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int index) const {
    return QString::fromUtf8(sqlite3_column_name(m_stmt, index));
}

QStringList Statement::columnNames() const {
    QStringList names;
    for (int i = 0; i < columnCount(); ++i)
        names << columnName(i);
    return names;
}

bool Statement::columnIsNull(int index) const {
    return sqlite3_column_type(m_stmt, index) == SQLITE_NULL;
}

QString Statement::columnText(int index) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, index));
    return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, index));
}

int64_t Statement::columnInteger(int index) const {
    return sqlite3_column_int64(m_stmt, index);
}

FieldValue Statement::field(int index, bool blobData) const {
    switch (sqlite3_column_type(m_stmt, index)) {
    case SQLITE_NULL:
        return std::monostate();
    case SQLITE_BLOB: {
        if (!blobData)
            return BlobSize{sqlite3_column_bytes(m_stmt, index)};
        const void* data = sqlite3_column_blob(m_stmt, index);
        return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt, index));
    }
    default:
        return columnText(index);
    }
}

} // namespace dbsvr
