#include "webapp/data/accountmessages.h"

#include "common/xmlvalue.h"
#include "contract/protocol.h"
#include "webapp/data/auditentry.h"
#include "webapp/data/replyreading.h"

namespace webapp {

namespace protocol = dataserver::protocol;

namespace {

QString boolText(bool value) {
    return QString::fromLatin1(value ? protocol::TRUE_TEXT : protocol::FALSE_TEXT);
}

// A name or a value as stored: blanks at its ends are part of it.
QString valueOf(const pugi::xml_node& node, const char* name) {
    return common::ValueText(node.child(name));
}

} // namespace

UserRecord UserOf(const pugi::xml_node& node) {
    UserRecord user;
    user.name = valueOf(node, protocol::NAME);
    user.hash = valueOf(node, protocol::HASH);
    user.role = valueOf(node, protocol::ROLE);
    user.disabled = ChildFlag(node, protocol::DISABLED);
    // A list tells whether there is a password; a user found tells its hash.
    user.hasPassword = node.child(protocol::HAS_PASSWORD) ? ChildFlag(node, protocol::HAS_PASSWORD)
                                                          : !user.hash.isEmpty();
    user.created = ChildText(node, protocol::CREATED);
    user.changed = ChildText(node, protocol::CHANGED);
    return user;
}

DataMessage FindUserMessage(const QString& name) {
    DataMessage m(protocol::FIND_USER);
    m.add(protocol::NAME, name);
    return m;
}

std::optional<UserRecord> FoundUser(const DataReply& reply) {
    if (!ChildFlag(reply.root(), protocol::FOUND))
        return std::nullopt;
    return UserOf(reply.root());
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
        AddAudit(m, *audit);
    return m;
}

bool UserCreated(const DataReply& reply) {
    return ChildFlag(reply.root(), protocol::CREATED);
}

} // namespace webapp
