#include "webapp/data/replyreading.h"

#include "common/xml.h"
#include "common/xmlvalue.h"
#include "components/replyparts.h"
#include "contract/protocol.h"

#include <algorithm>

namespace webapp {

namespace protocol = dataserver::protocol;

namespace {

// The data server's own time limit, and a reply's time to arrive after it.
QDeadlineTimer exportDeadline() {
    return QDeadlineTimer(components::EXPORT_TIME_LIMIT_MS + DataClient::TIMEOUT_MS);
}

} // namespace

QString AttributeText(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.attribute(name).value());
}

QString ChildText(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.child(name).child_value()).trimmed();
}

qint64 ChildNumber(const pugi::xml_node& node, const char* name, qint64 fallback) {
    bool ok = false;
    const qint64 n = ChildText(node, name).toLongLong(&ok);
    return ok ? n : fallback;
}

bool ChildFlag(const pugi::xml_node& node, const char* name) {
    return ChildText(node, name) == QLatin1String(protocol::TRUE_TEXT);
}

RowSet RowSetOf(const DataReply& reply) {
    const pugi::xml_node root = reply.root();
    RowSet set;
    for (const pugi::xml_node& c : root.child(protocol::COLUMNS).children(protocol::COLUMN))
        set.columns.append(common::ValueText(c));
    for (const pugi::xml_node& r : root.child(protocol::ROWS).children(protocol::ROW)) {
        QList<Cell> row(set.columns.size());
        for (const pugi::xml_node& f : r.children(protocol::FIELD)) {
            const qsizetype at = set.column(AttributeText(f, protocol::ATTRIBUTE_NAME));
            if (at < 0)
                continue;
            row[at] = Cell{common::ValueText(f),
                           AttributeText(f, protocol::ATTRIBUTE_NULL) == protocol::TRUE_TEXT,
                           AttributeText(f, protocol::ATTRIBUTE_TYPE) == protocol::TYPE_BLOB,
                           AttributeText(f, protocol::ATTRIBUTE_LENGTH).toLongLong(),
                           {}};
            if (const pugi::xml_attribute label = f.attribute(protocol::ATTRIBUTE_LABEL))
                row[at].label = common::ToQString(label.value());
        }
        set.rows.append(row);
    }
    set.offset = ChildNumber(root, protocol::OFFSET);
    set.more = ChildFlag(root, protocol::MORE);
    set.total = ChildNumber(root, protocol::TOTAL, -1);
    set.truncated = ChildFlag(root, protocol::TRUNCATED);
    return set;
}

DataMessage TableReadMessage(const char* type, const TableRead& read) {
    DataMessage m(type);
    if (QLatin1String(type) == QLatin1String(protocol::READ_TABLE))
        m.add(protocol::TABLE, read.table);
    AddSortKeys(m, read.orderBy);
    if (!read.search.trimmed().isEmpty())
        m.add(protocol::SEARCH, read.search);
    if (read.labels)
        m.add(protocol::LABELS, QString::fromLatin1(protocol::TRUE_TEXT));
    for (const Filter& f : read.filters) {
        pugi::xml_node node = m.add(protocol::FILTER, f.value);
        node.append_attribute(protocol::ATTRIBUTE_COLUMN)
            .set_value(common::ToUtf8(f.column).c_str());
        node.append_attribute(protocol::ATTRIBUTE_OP).set_value(common::ToUtf8(f.op).c_str());
    }
    return m;
}

void AddSortKeys(DataMessage& message, const QList<SortKey>& keys) {
    for (const SortKey& key : keys) {
        pugi::xml_node o = message.add(protocol::ORDER_BY, key.column);
        if (key.descending)
            o.append_attribute(protocol::ATTRIBUTE_DESCENDING).set_value(protocol::TRUE_TEXT);
    }
}

void AddPaging(DataMessage& message, qint64 offset, int limit) {
    message.add(protocol::OFFSET, QString::number(std::max<qint64>(offset, 0)));
    message.add(protocol::LIMIT, QString::number(std::clamp(limit, 0, RemoteDatabase::MAX_LIMIT)));
}

void ExportRows(const DataClient& client, DataMessage message,
                const std::function<void(const RowSet&)>& part) {
    message.add(protocol::EXPORT, QString::fromLatin1(protocol::TRUE_TEXT));
    client.askInParts(
        message, [&](const DataReply& reply) { part(RowSetOf(reply)); }, exportDeadline());
}

} // namespace webapp
