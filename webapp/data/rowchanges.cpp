#include "webapp/data/rowchanges.h"

#include "common/xmlvalue.h"
#include "contract/protocol.h"
#include "webapp/data/replyreading.h"

namespace webapp {

namespace protocol = dataserver::protocol;

namespace {

const char* messageType(RowChange::Kind kind) {
    switch (kind) {
    case RowChange::Kind::Insert:
        return protocol::INSERT_ROW;
    case RowChange::Kind::Update:
        return protocol::UPDATE_ROW;
    case RowChange::Kind::Delete:
        break;
    }
    return protocol::DELETE_ROW;
}

void addFields(DataMessage& m, const char* element, const ColumnValues& values) {
    const pugi::xml_node parent = m.root().append_child(element);
    for (const auto& [column, value] : values) {
        pugi::xml_node f = m.add(protocol::FIELD, value.value_or(QString()), parent);
        f.append_attribute(protocol::ATTRIBUTE_NAME).set_value(column.toUtf8().constData());
        if (!value)
            f.append_attribute(protocol::ATTRIBUTE_NULL).set_value(protocol::TRUE_TEXT);
    }
}

DataMessage messageOf(const RowChange& change) {
    DataMessage m(messageType(change.kind));
    m.add(protocol::TABLE, change.table);
    ColumnValues key;
    for (const auto& [column, value] : change.key)
        key.append({column, value});
    if (change.kind != RowChange::Kind::Insert) {
        addFields(m, protocol::KEY, key);
        addFields(m, protocol::ORIGINAL, change.original);
    }
    if (change.kind != RowChange::Kind::Delete)
        addFields(m, protocol::VALUES, change.values);
    if (!change.requestId.isEmpty())
        m.add(protocol::REQUEST_ID, change.requestId);
    if (change.audit)
        AddAudit(m, *change.audit);
    return m;
}

QList<RowReferrer> referrersOf(const pugi::xml_node& list) {
    QList<RowReferrer> referrers;
    for (const pugi::xml_node& r : list.children(protocol::REFERENCE)) {
        RowReferrer referrer{{AttributeText(r, protocol::ATTRIBUTE_TABLE), {}},
                             AttributeText(r, protocol::ATTRIBUTE_COUNT).toLongLong()};
        for (const pugi::xml_node& map : r.children(protocol::MAP))
            referrer.key.columns.append({AttributeText(map, protocol::ATTRIBUTE_FROM),
                                         AttributeText(map, protocol::ATTRIBUTE_TO)});
        referrers.append(referrer);
    }
    return referrers;
}

} // namespace

RowChangeOutcome ChangeRow(const RemoteDatabase& database, const RowChange& change) {
    const DataReply reply = database.client().askUnchecked(messageOf(change));
    const pugi::xml_node root = reply.root();
    RowChangeOutcome outcome;
    const QString error = reply.error();
    outcome.message = common::ValueText(root.child(protocol::MESSAGE));
    if (error == QLatin1String(protocol::ERROR_CONFLICT)) {
        outcome.result = RowChangeOutcome::Result::Conflict;
        for (const pugi::xml_node& f : root.child(protocol::CURRENT).children(protocol::FIELD))
            outcome.current.insert(AttributeText(f, protocol::ATTRIBUTE_NAME),
                                   f.attribute(protocol::ATTRIBUTE_NULL)
                                       ? std::nullopt
                                       : std::optional<QString>(common::ValueText(f)));
    } else if (error == QLatin1String(protocol::ERROR_ROW_MISSING)) {
        outcome.result = RowChangeOutcome::Result::RowMissing;
    } else if (error == QLatin1String(protocol::ERROR_REFERENCED)) {
        outcome.result = RowChangeOutcome::Result::Referenced;
        outcome.referrers = referrersOf(root.child(protocol::REFERENCES));
    } else if (!error.isEmpty()) {
        throw DataFailure{error, outcome.message};
    } else {
        outcome.write = {ChildNumber(root, protocol::CHANGES),
                         ChildNumber(root, protocol::LAST_INSERT_ID),
                         ChildFlag(root, protocol::DUPLICATE)};
        for (const pugi::xml_node& f : root.child(protocol::KEY).children(protocol::FIELD))
            outcome.key.append({AttributeText(f, protocol::ATTRIBUTE_NAME), common::ValueText(f)});
    }
    return outcome;
}

} // namespace webapp
