#include "dbsvr/rowmessages.h"

#include "common/error.h"
#include "common/xml.h"
#include "common/xmlvalue.h"
#include "contract/protocol.h"
#include "dbsvr/accountmessages.h"
#include "dbsvr/accounts.h"
#include "dbsvr/database.h"
#include "dbsvr/filtersql.h"
#include "dbsvr/replyxml.h"
#include "dbsvr/requesterror.h"
#include "dbsvr/requestxml.h"

#include <algorithm>
#include <pugixml.hpp>

namespace dbsvr {

namespace protocol = dataserver::protocol;

namespace {

struct FieldText {
    QString column;
    QString value;
    bool isNull = false;
};

bool isKind(const QString& kind, const char* name) {
    return kind.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// The Fields of one element of the request, each column at most once.
QList<FieldText> readFields(const pugi::xml_node& request, const char* element) {
    QList<FieldText> fields;
    for (const pugi::xml_node& f : request.child(element).children(protocol::FIELD)) {
        const QString column = common::ToQString(f.attribute(protocol::ATTRIBUTE_NAME).value());
        for (const FieldText& earlier : fields)
            if (earlier.column == column)
                Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("The column ") + column +
                                                 QStringLiteral(" is given twice in ") +
                                                 QLatin1String(element) + QLatin1Char('.'));
        fields << FieldText{
            column, common::ValueText(f),
            IsTrue(common::ToQString(f.attribute(protocol::ATTRIBUTE_NULL).value()).trimmed())};
    }
    return fields;
}

// A table whose rows may be changed one by one: a table (not a view) with a primary key.
TableDescription editableTable(Database& database, const QString& name) {
    TableDescription table = database.describeTable(name); // UnknownTable, also for our own
    if (table.type != QLatin1String("table"))
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("The view ") + name +
                                         QStringLiteral(" has no rows of its own to change."));
    for (const ColumnDescription& c : table.columns)
        if (c.primaryKey > 0)
            return table;
    Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("The table ") + name +
                                     QStringLiteral(" has no primary key to find a row by."));
}

// The SQL of a statement as it is put together, with its values for $1, $2, ...
class SqlText {
public:
    QString bind(const QString& value, bool isNull = false) {
        m_values << (isNull ? BoundValue() : BoundValue(value));
        return QLatin1Char('$') + QString::number(m_values.size());
    }
    const QList<BoundValue>& values() const { return m_values; }

private:
    QList<BoundValue> m_values;
};

// "k1 = $n AND ..." for every primary key column, each given once in key and nothing else.
QString keyCondition(const TableDescription& table, const QList<FieldText>& key, SqlText& sql) {
    QStringList parts;
    for (const FieldText& f : key) {
        const ColumnDescription& c = FindColumn(table.columns, table.name, f.column);
        if (c.primaryKey == 0)
            Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("The column ") + f.column +
                                             QStringLiteral(" is not part of the "
                                                            "primary key."));
        if (f.isNull)
            Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("A key holds no NULL."));
        parts << QuoteIdentifier(c.name) + QStringLiteral(" = ") + sql.bind(f.value);
    }
    for (const ColumnDescription& c : table.columns)
        if (c.primaryKey > 0 && std::none_of(key.begin(), key.end(), [&c](const FieldText& f) {
                return f.column == c.name;
            }))
            Fail(ERROR_INVALID_ARGUMENT,
                 QStringLiteral("The key lacks its column ") + c.name + QLatin1Char('.'));
    return parts.join(QStringLiteral(" AND "));
}

// " AND c = $n ..." for every value the editor saw: the row must still hold them all.
QString originalCondition(const Database& database, const TableDescription& table,
                          const QList<FieldText>& original, SqlText& sql) {
    QString condition;
    for (const FieldText& f : original) {
        const ColumnDescription& c = FindColumn(table.columns, table.name, f.column);
        const QString quoted = QuoteIdentifier(c.name);
        condition += QStringLiteral(" AND ") +
                     (f.isNull ? quoted + QStringLiteral(" IS NULL")
                               : database.sameAsRead(c, quoted, sql.bind(f.value)));
    }
    return condition;
}

// Raised inside the write when the statement found no row as the editor saw it: the
// transaction rolls back and the row is looked at as it is now.
struct RowChanged {};

// Runs a statement bound to the row's original values; raises RowChanged when it changed
// nothing.
int64_t changeAsSeen(AccountSql& statements, const QString& statement, const SqlText& sql) {
    const int64_t changes = statements.change(statement, sql.values());
    if (changes == 0)
        throw RowChanged{};
    return changes;
}

// The ledger's name of a row message on a table.
QString ledgerAction(const char* kind, const TableDescription& table) {
    return QString::fromLatin1(kind) + QLatin1Char(' ') + table.name;
}

// The error for a row that changed or went, after the write was undone.
[[noreturn]] void failChanged(Database& database, const TableDescription& table,
                              const QList<FieldText>& key) {
    TableRead read;
    read.table = table.name;
    read.paging = {0, 1};
    for (const FieldText& f : key)
        read.filters << Filter{f.column, FilterOp::Equal, f.value, false};
    const RowPage now = database.readTable(read);
    if (now.rows.isEmpty())
        Fail(ERROR_ROW_MISSING, QStringLiteral("No row of ") + table.name +
                                    QStringLiteral(" has this key: it was deleted."));
    throw RequestError{QString::fromLatin1(ERROR_CONFLICT),
                       QStringLiteral("The row of ") + table.name +
                           QStringLiteral(" was changed by someone else since it was read; "
                                          "nothing was written."),
                       [now](pugi::xml_node root) {
                           AddFields(root.append_child(protocol::CURRENT), now.columns,
                                     now.rows.first());
                       }};
}

struct Referrer {
    KeyReference key;
    int64_t count = 0;
};

// How many rows of each referring key point at the row.
QList<Referrer> countReferrers(AccountSql& sql, const TableDescription& table,
                               const QString& keySql, const QList<BoundValue>& keyValues) {
    QList<Referrer> referrers;
    for (const KeyReference& ref : table.referencedBy) {
        QStringList matches;
        for (const ColumnMap& map : ref.columns)
            matches << QuoteIdentifier(map.from) + QStringLiteral(" = (SELECT ") +
                           QuoteIdentifier(map.to) + QStringLiteral(" FROM ") +
                           QuoteIdentifier(table.name) + QStringLiteral(" WHERE ") + keySql +
                           QLatin1Char(')');
        const QString count = QStringLiteral("SELECT count(*) FROM ") + QuoteIdentifier(ref.table) +
                              QStringLiteral(" WHERE ") + matches.join(QStringLiteral(" AND "));
        referrers << Referrer{
            ref, sql.rows(count, keyValues).value(0).value(0).value_or(QString()).toLongLong()};
    }
    return referrers;
}

[[noreturn]] void failReferenced(const QString& table, const QList<Referrer>& referrers) {
    throw RequestError{
        QString::fromLatin1(ERROR_REFERENCED),
        QStringLiteral("Other rows refer to this row of ") + table +
            QStringLiteral(", and the database keeps it for them; nothing was deleted."),
        [referrers](pugi::xml_node root) {
            pugi::xml_node list = root.append_child(protocol::REFERENCES);
            for (const Referrer& r : referrers) {
                if (r.count == 0)
                    continue;
                pugi::xml_node item = list.append_child(protocol::REFERENCE);
                item.append_attribute(protocol::ATTRIBUTE_TABLE)
                    .set_value(common::ToUtf8(r.key.table).c_str());
                item.append_attribute(protocol::ATTRIBUTE_COUNT)
                    .set_value(static_cast<long long>(r.count));
                for (const ColumnMap& map : r.key.columns) {
                    pugi::xml_node m = item.append_child(protocol::MAP);
                    m.append_attribute(protocol::ATTRIBUTE_FROM)
                        .set_value(common::ToUtf8(map.from).c_str());
                    m.append_attribute(protocol::ATTRIBUTE_TO)
                        .set_value(common::ToUtf8(map.to).c_str());
                }
            }
        }};
}

// What one of the messages needs from its request, read and checked before anything runs.
struct RowRequest {
    TableDescription table;
    QList<FieldText> key;
    QList<FieldText> original;
    QList<FieldText> values;
    QString requestId;
    WriteCompanion audit;
};

RowRequest readRowRequest(Database& database, const pugi::xml_node& request) {
    RowRequest r;
    r.table = editableTable(database, ChildValue(request, protocol::TABLE));
    r.key = readFields(request, protocol::KEY);
    r.original = readFields(request, protocol::ORIGINAL);
    r.values = readFields(request, protocol::VALUES);
    for (const FieldText& f : r.values)
        FindColumn(r.table.columns, r.table.name, f.column);
    r.requestId = ReadRequestId(request);
    if (const std::optional<AuditEntry> entry = ReadAuditEntry(request))
        r.audit = Accounts::AuditOfWrite(*entry);
    return r;
}

// The new row's key: what the insert gave, else the number the database drew for it.
QList<FieldText> insertedKey(const RowRequest& r, const WriteResult& result) {
    QList<FieldText> key;
    int keyColumns = 0;
    for (const ColumnDescription& c : r.table.columns)
        keyColumns += c.primaryKey > 0 ? 1 : 0;
    for (const ColumnDescription& c : r.table.columns) {
        if (c.primaryKey == 0)
            continue;
        const auto given = std::find_if(r.values.begin(), r.values.end(),
                                        [&c](const FieldText& f) { return f.column == c.name; });
        if (given != r.values.end())
            key << *given;
        else if (keyColumns == 1 && result.lastInsertId)
            key << FieldText{c.name, QString::number(*result.lastInsertId)};
    }
    return key;
}

WriteResult insertRow(Database& database, RowRequest& r) {
    SqlText sql;
    QStringList columns, placeholders;
    for (const FieldText& f : r.values) {
        columns << QuoteIdentifier(f.column);
        placeholders << sql.bind(f.value, f.isNull);
    }
    const QString insert =
        QStringLiteral("INSERT INTO ") + QuoteIdentifier(r.table.name) +
        (columns.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                           : QStringLiteral(" (") + columns.join(QLatin1Char(',')) +
                                 QStringLiteral(") VALUES (") +
                                 placeholders.join(QLatin1Char(',')) + QLatin1Char(')'));
    WriteResult result = database.runRowWrite(
        ledgerAction(protocol::INSERT_ROW, r.table), r.requestId, r.audit,
        [&](AccountSql& statements) { return statements.change(insert, sql.values()); });
    r.key = insertedKey(r, result);
    return result;
}

WriteResult updateRow(Database& database, const RowRequest& r) {
    if (r.values.isEmpty())
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("An update needs at least one value."));
    SqlText sql;
    QStringList sets;
    for (const FieldText& f : r.values)
        sets << QuoteIdentifier(f.column) + QStringLiteral(" = ") + sql.bind(f.value, f.isNull);
    const QString where = keyCondition(r.table, r.key, sql);
    const QString update = QStringLiteral("UPDATE ") + QuoteIdentifier(r.table.name) +
                           QStringLiteral(" SET ") + sets.join(QLatin1Char(',')) +
                           QStringLiteral(" WHERE ") + where +
                           originalCondition(database, r.table, r.original, sql);
    try {
        return database.runRowWrite(
            ledgerAction(protocol::UPDATE_ROW, r.table), r.requestId, r.audit,
            [&](AccountSql& statements) { return changeAsSeen(statements, update, sql); });
    } catch (const RowChanged&) {
        failChanged(database, r.table, r.key);
    }
}

WriteResult deleteRow(Database& database, const RowRequest& r) {
    SqlText keyOnly;
    const QString keySql = keyCondition(r.table, r.key, keyOnly);
    SqlText sql;
    const QString where = keyCondition(r.table, r.key, sql);
    const QString erase = QStringLiteral("DELETE FROM ") + QuoteIdentifier(r.table.name) +
                          QStringLiteral(" WHERE ") + where +
                          originalCondition(database, r.table, r.original, sql);
    QList<Referrer> referrers;
    try {
        return database.runRowWrite(ledgerAction(protocol::DELETE_ROW, r.table), r.requestId,
                                    r.audit, [&](AccountSql& statements) {
                                        referrers = countReferrers(statements, r.table, keySql,
                                                                   keyOnly.values());
                                        return changeAsSeen(statements, erase, sql);
                                    });
    } catch (const RowChanged&) {
        failChanged(database, r.table, r.key);
    } catch (const common::Error&) {
        // The database refused: when rows refer to this one, its keys' rules are why.
        if (std::any_of(referrers.begin(), referrers.end(),
                        [](const Referrer& ref) { return ref.count > 0; }))
            failReferenced(r.table.name, referrers);
        throw;
    }
}

} // namespace

bool IsRowMessage(const QString& kind) {
    return isKind(kind, protocol::INSERT_ROW) || isKind(kind, protocol::UPDATE_ROW) ||
           isKind(kind, protocol::DELETE_ROW);
}

void AnswerRowMessage(Database& database, const QString& kind, const pugi::xml_node& request,
                      pugi::xml_node reply) {
    RowRequest r = readRowRequest(database, request);
    const WriteResult result = isKind(kind, protocol::INSERT_ROW)   ? insertRow(database, r)
                               : isKind(kind, protocol::UPDATE_ROW) ? updateRow(database, r)
                                                                    : deleteRow(database, r);
    AddText(reply, protocol::TABLE, r.table.name);
    AddWriteResult(reply, result);
    pugi::xml_node key = reply.append_child(protocol::KEY);
    for (const FieldText& f : r.key) {
        pugi::xml_node field = key.append_child(protocol::FIELD);
        field.append_attribute(protocol::ATTRIBUTE_NAME)
            .set_value(common::ToUtf8(f.column).c_str());
        common::SetValueText(field, f.value);
    }
}

} // namespace dbsvr
