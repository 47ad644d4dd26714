#include "webapp/remotedatabase.h"

#include "common/xml.h"
#include "common/xmlvalue.h"
#include "components/replyparts.h"

#include <QElapsedTimer>
#include <algorithm>

namespace webapp {

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
        KeyReference r{attribute(ref, "table"), {}};
        for (const pugi::xml_node& map : ref.children("Map"))
            r.columns.append({attribute(map, "from"), attribute(map, "to")});
        out.append(r);
    }
    return out;
}

RowSet rowSet(const DataReply& reply) {
    const pugi::xml_node root = reply.root();
    RowSet set;
    for (const pugi::xml_node& c : root.child("Columns").children("Column"))
        set.columns.append(common::ValueText(c));
    for (const pugi::xml_node& r : root.child("Rows").children("Row")) {
        QList<Cell> row(set.columns.size());
        for (const pugi::xml_node& f : r.children("Field")) {
            const qsizetype at = set.column(attribute(f, "name"));
            if (at < 0)
                continue;
            row[at] = Cell{common::ValueText(f), attribute(f, "null") == "true",
                           attribute(f, "type") == "blob", attribute(f, "length").toLongLong()};
        }
        set.rows.append(row);
    }
    set.offset = childNumber(root, "Offset");
    set.more = childText(root, "More") == QLatin1String("true");
    set.total = childNumber(root, "Total", -1);
    return set;
}

QList<TableInfo> tableList(const DataReply& reply) {
    QList<TableInfo> tables;
    for (const pugi::xml_node& t : reply.root().child("Tables").children("Table")) {
        bool ok = false;
        const qint64 rows = attribute(t, "rows").toLongLong(&ok);
        tables.append({common::ValueText(t), attribute(t, "type"), ok ? rows : -1});
    }
    return tables;
}

TableSchema tableSchema(const DataReply& reply) {
    const pugi::xml_node root = reply.root();
    TableSchema schema;
    schema.name = common::ValueText(root.child("Table"));
    schema.type = attribute(root.child("Table"), "type");
    for (const pugi::xml_node& c : root.child("Columns").children("Column"))
        schema.columns.append({attribute(c, "name"), attribute(c, "type"),
                               attribute(c, "notnull") == "true", attribute(c, "pk").toInt()});
    schema.foreignKeys = references(root.child("ForeignKeys"), "ForeignKey");
    schema.referencedBy = references(root.child("ReferencedBy"), "Reference");
    return schema;
}

QList<QueryInfo> queryList(const DataReply& reply) {
    QList<QueryInfo> queries;
    for (const pugi::xml_node& q : reply.root().child("Queries").children("Query")) {
        QueryInfo info{attribute(q, "name"), {}, attribute(q, "kind")};
        for (const pugi::xml_node& p : q.children("Parameter"))
            info.parameters.append({attribute(p, "name"), attribute(p, "type")});
        queries.append(info);
    }
    return queries;
}

void addPaging(DataMessage& m, qint64 offset, int limit) {
    m.add("Offset", QString::number(std::max<qint64>(offset, 0)));
    m.add("Limit", QString::number(std::clamp(limit, 0, RemoteDatabase::MAX_LIMIT)));
}

DataMessage tableMessage(const TableRead& read) {
    DataMessage m("ReadTable");
    m.add("Table", read.table);
    if (!read.orderBy.isEmpty()) {
        m.add("OrderBy", read.orderBy);
        m.add("Descending", read.descending ? QStringLiteral("true") : QStringLiteral("false"));
    }
    for (const Filter& f : read.filters) {
        pugi::xml_node node = m.add("Filter", f.value);
        node.append_attribute("column").set_value(common::ToUtf8(f.column).c_str());
        node.append_attribute("op").set_value(common::ToUtf8(f.op).c_str());
    }
    return m;
}

// The data server's own time limit, and a reply's time to arrive after it.
QDeadlineTimer exportDeadline() {
    return QDeadlineTimer(components::EXPORT_TIME_LIMIT_MS + DataClient::TIMEOUT_MS);
}

DataMessage queryMessage(const QueryRun& run) {
    DataMessage m("Query");
    m.add("Name", run.name);
    const pugi::xml_node parameters = m.root().append_child("Parameters");
    for (const auto& [name, value] : run.arguments) {
        pugi::xml_node p = m.add("Parameter", value.value_or(QString()), parameters);
        p.append_attribute("name").set_value(common::ToUtf8(name).c_str());
        if (!value)
            p.append_attribute("null").set_value("true");
    }
    if (!run.requestId.isEmpty())
        m.add("RequestId", run.requestId);
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
    const DataReply reply = m_client.askUnchecked(DataMessage("Ping"));
    return {timer.nsecsElapsed() / 1e6, reply.text("Message")};
}

QList<TableInfo> RemoteDatabase::listTables() const {
    return m_client.ask(DataMessage("ListTables"), Reuse::WhileDataUnchanged)
        .as<QList<TableInfo>>(tableList);
}

TableSchema RemoteDatabase::describeTable(const QString& table) const {
    DataMessage m("DescribeTable");
    m.add("Table", table);
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
    message.add("Export", QStringLiteral("true"));
    m_client.askInParts(
        message, [&](const DataReply& reply) { part(rowSet(reply)); }, exportDeadline());
}

QList<QueryInfo> RemoteDatabase::listQueries() const {
    return m_client.ask(DataMessage("ListQueries"), Reuse::WhileDataUnchanged)
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
    if (!root.child("Changes"))
        throw DataFailure{QStringLiteral("InvalidArgument"),
                          QStringLiteral("The query %1 does not write.").arg(run.name)};
    return {childNumber(root, "Changes"), childNumber(root, "LastInsertId"),
            childText(root, "Duplicate") == QLatin1String("true")};
}

} // namespace webapp
