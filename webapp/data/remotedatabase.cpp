#include "webapp/data/remotedatabase.h"

#include "common/xml.h"
#include "common/xmlvalue.h"
#include "components/replyparts.h"
#include "contract/protocol.h"

#include <QElapsedTimer>
#include <algorithm>

namespace webapp {

namespace protocol = dataserver::protocol;

namespace {

QString attribute(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.attribute(name).value());
}

QString childText(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.child(name).child_value()).trimmed();
}

qint64 childNumber(const pugi::xml_node& node, const char* name, qint64 fallback = 0) {
    bool ok = false;
    const qint64 n = childText(node, name).toLongLong(&ok);
    return ok ? n : fallback;
}

QList<KeyReference> references(const pugi::xml_node& list, const char* element) {
    QList<KeyReference> out;
    for (const pugi::xml_node& ref : list.children(element)) {
        KeyReference r{attribute(ref, protocol::ATTRIBUTE_TABLE), {}};
        for (const pugi::xml_node& map : ref.children(protocol::MAP))
            r.columns.append(
                {attribute(map, protocol::ATTRIBUTE_FROM), attribute(map, protocol::ATTRIBUTE_TO)});
        out.append(r);
    }
    return out;
}

RowSet rowSet(const DataReply& reply) {
    const pugi::xml_node root = reply.root();
    RowSet set;
    for (const pugi::xml_node& c : root.child(protocol::COLUMNS).children(protocol::COLUMN))
        set.columns.append(common::ValueText(c));
    for (const pugi::xml_node& r : root.child(protocol::ROWS).children(protocol::ROW)) {
        QList<Cell> row(set.columns.size());
        for (const pugi::xml_node& f : r.children(protocol::FIELD)) {
            const qsizetype at = set.column(attribute(f, protocol::ATTRIBUTE_NAME));
            if (at < 0)
                continue;
            row[at] = Cell{common::ValueText(f),
                           attribute(f, protocol::ATTRIBUTE_NULL) == protocol::TRUE_TEXT,
                           attribute(f, protocol::ATTRIBUTE_TYPE) == protocol::TYPE_BLOB,
                           attribute(f, protocol::ATTRIBUTE_LENGTH).toLongLong()};
        }
        set.rows.append(row);
    }
    set.offset = childNumber(root, protocol::OFFSET);
    set.more = childText(root, protocol::MORE) == QLatin1String(protocol::TRUE_TEXT);
    set.total = childNumber(root, protocol::TOTAL, -1);
    return set;
}

QList<TableInfo> tableList(const DataReply& reply) {
    QList<TableInfo> tables;
    for (const pugi::xml_node& t : reply.root().child(protocol::TABLES).children(protocol::TABLE)) {
        bool ok = false;
        const qint64 rows = attribute(t, protocol::ATTRIBUTE_ROWS).toLongLong(&ok);
        tables.append(
            {common::ValueText(t), attribute(t, protocol::ATTRIBUTE_TYPE), ok ? rows : -1});
    }
    return tables;
}

TableSchema tableSchema(const DataReply& reply) {
    const pugi::xml_node root = reply.root();
    TableSchema schema;
    schema.name = common::ValueText(root.child(protocol::TABLE));
    schema.type = attribute(root.child(protocol::TABLE), protocol::ATTRIBUTE_TYPE);
    for (const pugi::xml_node& c : root.child(protocol::COLUMNS).children(protocol::COLUMN))
        schema.columns.append({attribute(c, protocol::ATTRIBUTE_NAME),
                               attribute(c, protocol::ATTRIBUTE_TYPE),
                               attribute(c, protocol::ATTRIBUTE_NOT_NULL) == protocol::TRUE_TEXT,
                               attribute(c, protocol::ATTRIBUTE_PK).toInt()});
    schema.foreignKeys = references(root.child(protocol::FOREIGN_KEYS), protocol::FOREIGN_KEY);
    schema.referencedBy = references(root.child(protocol::REFERENCED_BY), protocol::REFERENCE);
    return schema;
}

QList<QueryInfo> queryList(const DataReply& reply) {
    QList<QueryInfo> queries;
    for (const pugi::xml_node& q :
         reply.root().child(protocol::QUERIES).children(protocol::QUERY)) {
        QueryInfo info{
            attribute(q, protocol::ATTRIBUTE_NAME), {}, attribute(q, protocol::ATTRIBUTE_KIND)};
        for (const pugi::xml_node& p : q.children(protocol::PARAMETER))
            info.parameters.append(
                {attribute(p, protocol::ATTRIBUTE_NAME), attribute(p, protocol::ATTRIBUTE_TYPE)});
        queries.append(info);
    }
    return queries;
}

void addPaging(DataMessage& m, qint64 offset, int limit) {
    m.add(protocol::OFFSET, QString::number(std::max<qint64>(offset, 0)));
    m.add(protocol::LIMIT, QString::number(std::clamp(limit, 0, RemoteDatabase::MAX_LIMIT)));
}

DataMessage tableMessage(const TableRead& read) {
    DataMessage m(protocol::READ_TABLE);
    m.add(protocol::TABLE, read.table);
    if (!read.orderBy.isEmpty()) {
        m.add(protocol::ORDER_BY, read.orderBy);
        m.add(protocol::DESCENDING, read.descending ? QString::fromLatin1(protocol::TRUE_TEXT)
                                                    : QString::fromLatin1(protocol::FALSE_TEXT));
    }
    for (const Filter& f : read.filters) {
        pugi::xml_node node = m.add(protocol::FILTER, f.value);
        node.append_attribute(protocol::ATTRIBUTE_COLUMN)
            .set_value(common::ToUtf8(f.column).c_str());
        node.append_attribute(protocol::ATTRIBUTE_OP).set_value(common::ToUtf8(f.op).c_str());
    }
    return m;
}

// The data server's own time limit, and a reply's time to arrive after it.
QDeadlineTimer exportDeadline() {
    return QDeadlineTimer(components::EXPORT_TIME_LIMIT_MS + DataClient::TIMEOUT_MS);
}

DataMessage queryMessage(const QueryRun& run) {
    DataMessage m(protocol::QUERY);
    m.add(protocol::NAME, run.name);
    const pugi::xml_node parameters = m.root().append_child(protocol::PARAMETERS);
    for (const auto& [name, value] : run.arguments) {
        pugi::xml_node p = m.add(protocol::PARAMETER, value.value_or(QString()), parameters);
        p.append_attribute(protocol::ATTRIBUTE_NAME).set_value(common::ToUtf8(name).c_str());
        if (!value)
            p.append_attribute(protocol::ATTRIBUTE_NULL).set_value(protocol::TRUE_TEXT);
    }
    if (!run.requestId.isEmpty())
        m.add(protocol::REQUEST_ID, run.requestId);
    return m;
}

} // namespace

QStringList TableSchema::primaryKey() const {
    QList<ColumnInfo> key;
    for (const ColumnInfo& c : columns)
        if (c.pk > 0)
            key.append(c);
    std::sort(key.begin(), key.end(),
              [](const ColumnInfo& a, const ColumnInfo& b) { return a.pk < b.pk; });
    QStringList names;
    for (const ColumnInfo& c : key)
        names.append(c.name);
    return isView() ? QStringList() : names;
}

std::pair<double, QString> RemoteDatabase::ping() const {
    QElapsedTimer timer;
    timer.start();
    const DataReply reply = m_client.askUnchecked(DataMessage(protocol::PING));
    return {timer.nsecsElapsed() / 1e6, reply.text(protocol::MESSAGE)};
}

QList<TableInfo> RemoteDatabase::listTables() const {
    return m_client.ask(DataMessage(protocol::LIST_TABLES), Reuse::WhileDataUnchanged)
        .as<QList<TableInfo>>(tableList);
}

TableSchema RemoteDatabase::describeTable(const QString& table) const {
    DataMessage m(protocol::DESCRIBE_TABLE);
    m.add(protocol::TABLE, table);
    return m_client.ask(m, Reuse::WhileDataUnchanged).as<TableSchema>(tableSchema);
}

RowSet RemoteDatabase::readTable(const TableRead& read) const {
    DataMessage m = tableMessage(read);
    addPaging(m, read.offset, read.limit);
    return m_client.ask(m, Reuse::WhileDataUnchanged).as<RowSet>(rowSet);
}

void RemoteDatabase::exportTable(const TableRead& read,
                                 const std::function<void(const RowSet&)>& part) const {
    exportRows(tableMessage(read), part);
}

void RemoteDatabase::exportQuery(const QueryRun& run,
                                 const std::function<void(const RowSet&)>& part) const {
    exportRows(queryMessage(run), part);
}

void RemoteDatabase::exportRows(DataMessage message,
                                const std::function<void(const RowSet&)>& part) const {
    message.add(protocol::EXPORT, QString::fromLatin1(protocol::TRUE_TEXT));
    m_client.askInParts(
        message, [&](const DataReply& reply) { part(rowSet(reply)); }, exportDeadline());
}

QList<QueryInfo> RemoteDatabase::listQueries() const {
    return m_client.ask(DataMessage(protocol::LIST_QUERIES), Reuse::WhileDataUnchanged)
        .as<QList<QueryInfo>>(queryList);
}

std::optional<QueryInfo> RemoteDatabase::findQuery(const QString& name) const {
    for (const QueryInfo& q : listQueries())
        if (q.name == name)
            return q;
    return std::nullopt;
}

RowSet RemoteDatabase::query(const QueryRun& run) const {
    DataMessage m = queryMessage(run);
    addPaging(m, run.offset, run.limit);
    // A query that writes, or reads the clock, says so in its reply, which is then never
    // reused.
    return m_client.ask(m, Reuse::WhileDataUnchanged).as<RowSet>(rowSet);
}

WriteResult RemoteDatabase::write(const QueryRun& run) const {
    const DataReply reply = m_client.ask(queryMessage(run));
    const pugi::xml_node root = reply.root();
    // A read query named as a write would report a save that changed nothing.
    if (!root.child(protocol::CHANGES))
        throw DataFailure{QString::fromLatin1(protocol::ERROR_INVALID_ARGUMENT),
                          QStringLiteral("The query %1 does not write.").arg(run.name)};
    return {childNumber(root, protocol::CHANGES), childNumber(root, protocol::LAST_INSERT_ID),
            childText(root, protocol::DUPLICATE) == QLatin1String(protocol::TRUE_TEXT)};
}

} // namespace webapp
