#include "webapp/data/remotedatabase.h"

#include "common/xml.h"
#include "common/xmlvalue.h"
#include "contract/protocol.h"
#include "webapp/data/replyreading.h"

#include <QElapsedTimer>
#include <algorithm>

namespace webapp {

namespace protocol = dataserver::protocol;

namespace {

QList<KeyReference> references(const pugi::xml_node& list, const char* element) {
    QList<KeyReference> out;
    for (const pugi::xml_node& ref : list.children(element)) {
        KeyReference r{AttributeText(ref, protocol::ATTRIBUTE_TABLE), {}};
        for (const pugi::xml_node& map : ref.children(protocol::MAP))
            r.columns.append({AttributeText(map, protocol::ATTRIBUTE_FROM),
                              AttributeText(map, protocol::ATTRIBUTE_TO)});
        out.append(r);
    }
    return out;
}

QList<TableInfo> tableList(const DataReply& reply) {
    QList<TableInfo> tables;
    for (const pugi::xml_node& t : reply.root().child(protocol::TABLES).children(protocol::TABLE)) {
        bool ok = false;
        const qint64 rows = AttributeText(t, protocol::ATTRIBUTE_ROWS).toLongLong(&ok);
        tables.append(
            {common::ValueText(t), AttributeText(t, protocol::ATTRIBUTE_TYPE), ok ? rows : -1});
    }
    return tables;
}

TableSchema tableSchema(const DataReply& reply) {
    const pugi::xml_node root = reply.root();
    TableSchema schema;
    schema.name = common::ValueText(root.child(protocol::TABLE));
    schema.type = AttributeText(root.child(protocol::TABLE), protocol::ATTRIBUTE_TYPE);
    schema.labelColumn = AttributeText(root.child(protocol::TABLE), protocol::ATTRIBUTE_LABEL);
    for (const pugi::xml_node& c : root.child(protocol::COLUMNS).children(protocol::COLUMN)) {
        ColumnInfo column;
        column.name = AttributeText(c, protocol::ATTRIBUTE_NAME);
        column.type = AttributeText(c, protocol::ATTRIBUTE_TYPE);
        column.notNull = AttributeText(c, protocol::ATTRIBUTE_NOT_NULL) == protocol::TRUE_TEXT;
        column.pk = AttributeText(c, protocol::ATTRIBUTE_PK).toInt();
        if (c.attribute(protocol::ATTRIBUTE_DEFAULT))
            column.defaultValue = AttributeText(c, protocol::ATTRIBUTE_DEFAULT);
        if (c.attribute(protocol::ATTRIBUTE_LENGTH))
            column.length = AttributeText(c, protocol::ATTRIBUTE_LENGTH).toInt();
        column.autoIncrement =
            AttributeText(c, protocol::ATTRIBUTE_AUTOINCREMENT) == protocol::TRUE_TEXT;
        schema.columns.append(column);
    }
    schema.foreignKeys = references(root.child(protocol::FOREIGN_KEYS), protocol::FOREIGN_KEY);
    schema.referencedBy = references(root.child(protocol::REFERENCED_BY), protocol::REFERENCE);
    return schema;
}

QList<Facet> facetList(const DataReply& reply) {
    QList<Facet> facets;
    for (const pugi::xml_node& f : reply.root().child(protocol::FACETS).children(protocol::FACET)) {
        Facet facet{AttributeText(f, protocol::ATTRIBUTE_COLUMN), {}};
        for (const pugi::xml_node& v : f.children(protocol::VALUE))
            facet.values.append({common::ValueText(v),
                                 AttributeText(v, protocol::ATTRIBUTE_NULL) == protocol::TRUE_TEXT,
                                 AttributeText(v, protocol::ATTRIBUTE_COUNT).toLongLong(),
                                 AttributeText(v, protocol::ATTRIBUTE_LABEL)});
        facets.append(facet);
    }
    return facets;
}

DisplayTexts displayTexts(const pugi::xml_node& node) {
    return {AttributeText(node, protocol::ATTRIBUTE_TITLE),
            AttributeText(node, protocol::ATTRIBUTE_DESCRIPTION),
            AttributeText(node, protocol::ATTRIBUTE_LABEL)};
}

QList<QueryInfo> queryList(const DataReply& reply) {
    QList<QueryInfo> queries;
    for (const pugi::xml_node& q :
         reply.root().child(protocol::QUERIES).children(protocol::QUERY)) {
        QueryInfo info{AttributeText(q, protocol::ATTRIBUTE_NAME),
                       {},
                       AttributeText(q, protocol::ATTRIBUTE_KIND),
                       displayTexts(q),
                       AttributeText(q, protocol::ATTRIBUTE_USE) == protocol::USE_CHOICES,
                       {}};
        for (const pugi::xml_node& p : q.children(protocol::PARAMETER))
            info.parameters.append({AttributeText(p, protocol::ATTRIBUTE_NAME),
                                    AttributeText(p, protocol::ATTRIBUTE_TYPE),
                                    AttributeText(p, protocol::ATTRIBUTE_TABLE), displayTexts(p)});
        for (const pugi::xml_node& l : q.children(protocol::LINK))
            info.links.append({AttributeText(l, protocol::ATTRIBUTE_COLUMN),
                               AttributeText(l, protocol::ATTRIBUTE_TABLE)});
        queries.append(info);
    }
    return queries;
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
    AddSortKeys(m, run.orderBy);
    if (run.total)
        m.add(protocol::TOTAL, QString::fromLatin1(protocol::TRUE_TEXT));
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
    DataMessage m = TableReadMessage(protocol::READ_TABLE, read);
    AddPaging(m, read.offset, read.limit);
    return m_client.ask(m, Reuse::WhileDataUnchanged).as<RowSet>(RowSetOf);
}

QList<Facet> RemoteDatabase::facets(const TableRead& read) const {
    TableRead unordered = read;
    unordered.orderBy.clear();
    DataMessage m = TableReadMessage(protocol::FACETS, unordered);
    m.add(protocol::TABLE, read.table);
    return m_client.ask(m, Reuse::WhileDataUnchanged).as<QList<Facet>>(facetList);
}

void RemoteDatabase::exportTable(const TableRead& read,
                                 const std::function<void(const RowSet&)>& part) const {
    ExportRows(m_client, TableReadMessage(protocol::READ_TABLE, read), part);
}

void RemoteDatabase::exportQuery(const QueryRun& run,
                                 const std::function<void(const RowSet&)>& part) const {
    ExportRows(m_client, queryMessage(run), part);
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
    AddPaging(m, run.offset, run.limit);
    // A query that writes, or reads the clock, says so in its reply, which is then never
    // reused.
    return m_client.ask(m, Reuse::WhileDataUnchanged).as<RowSet>(RowSetOf);
}

WriteResult RemoteDatabase::write(const QueryRun& run) const {
    DataMessage m = queryMessage(run);
    if (run.audit)
        AddAudit(m, *run.audit);
    const DataReply reply = m_client.ask(m);
    const pugi::xml_node root = reply.root();
    // A read query named as a write would report a save that changed nothing.
    if (!root.child(protocol::CHANGES))
        throw DataFailure{QString::fromLatin1(protocol::ERROR_INVALID_ARGUMENT),
                          QStringLiteral("The query %1 does not write.").arg(run.name)};
    return {ChildNumber(root, protocol::CHANGES), ChildNumber(root, protocol::LAST_INSERT_ID),
            ChildFlag(root, protocol::DUPLICATE)};
}

} // namespace webapp
