#include "webapp/data/accountmessages.h"

#include "common/xml.h"
#include "common/xmlvalue.h"
#include "contract/protocol.h"

namespace webapp {

namespace protocol = dataserver::protocol;

namespace {

QString boolText(bool value) {
    return QString::fromLatin1(value ? protocol::TRUE_TEXT : protocol::FALSE_TEXT);
}

bool childFlag(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.child(name).child_value())
               .trimmed()
               .compare(QLatin1String(protocol::TRUE_TEXT), Qt::CaseInsensitive) == 0;
}

// A name or a value as stored: blanks at its ends are part of it.
QString valueOf(const pugi::xml_node& node, const char* name) {
    return common::ValueText(node.child(name));
}

void addAudit(DataMessage& message, const AuditEntry& entry) {
    const pugi::xml_node audit = message.root().append_child(protocol::AUDIT);
    message.add(protocol::USER, entry.user, audit);
    message.add(protocol::ADDRESS, entry.address, audit);
    message.add(protocol::ACTION, entry.action, audit);
    message.add(protocol::OBJECT, entry.object, audit);
    message.add(protocol::DETAIL, entry.detail, audit);
    message.add(protocol::RECORD_KEY, entry.recordKey, audit);
}

} // namespace

DataMessage FindUserMessage(const QString& name) {
    DataMessage m(protocol::FIND_USER);
    m.add(protocol::NAME, name);
    return m;
}

std::optional<UserRecord> FoundUser(const DataReply& reply) {
    const pugi::xml_node root = reply.root();
    if (!childFlag(root, protocol::FOUND))
        return std::nullopt;
    UserRecord user;
    user.name = valueOf(root, protocol::NAME);
    user.hash = valueOf(root, protocol::HASH);
    user.role = valueOf(root, protocol::ROLE);
    user.disabled = childFlag(root, protocol::DISABLED);
    user.hasPassword = !user.hash.isEmpty();
    user.created = valueOf(root, protocol::CREATED);
    user.changed = valueOf(root, protocol::CHANGED);
    return user;
}

DataMessage SaveUserMessage(const UserChange& change, const std::optional<AuditEntry>& audit) {
    DataMessage m(protocol::SAVE_USER);
    m.add(protocol::NAME, change.name);
    if (change.hash)
        m.add(protocol::HASH, *change.hash);
    if (change.role)
        m.add(protocol::ROLE, *change.role);
    if (change.disabled)
        m.add(protocol::DISABLED, boolText(*change.disabled));
    if (audit)
        addAudit(m, *audit);
    return m;
}

bool UserCreated(const DataReply& reply) {
    return childFlag(reply.root(), protocol::CREATED);
}

} // namespace webapp
