#include "webapp/data/accountstore.h"

#include "common/xmlvalue.h"
#include "contract/protocol.h"
#include "webapp/data/accountmessages.h"
#include "webapp/data/replyreading.h"

namespace webapp {

namespace protocol = dataserver::protocol;

namespace {

// A name or a value as stored: blanks at its ends are part of it.
QString valueOf(const pugi::xml_node& node, const char* name) {
    return common::ValueText(node.child(name));
}

QList<UserRecord> userList(const DataReply& reply) {
    QList<UserRecord> users;
    for (const pugi::xml_node& u : reply.root().child(protocol::USERS).children(protocol::USER))
        users.append(UserOf(u));
    return users;
}

SessionRecord sessionOf(const DataReply& reply) {
    const pugi::xml_node root = reply.root();
    return {ChildFlag(root, protocol::FOUND),     valueOf(root, protocol::USER),
            valueOf(root, protocol::ROLE),        ChildFlag(root, protocol::DISABLED),
            ChildNumber(root, protocol::CREATED), ChildNumber(root, protocol::LAST_SEEN)};
}

DataMessage withAudit(DataMessage message, const std::optional<AuditEntry>& audit) {
    if (audit)
        AddAudit(message, *audit);
    return message;
}

DataMessage sessionMessage(const char* type, const QString& key) {
    DataMessage m(type);
    m.add(protocol::KEY, key);
    return m;
}

} // namespace

std::optional<UserRecord> AccountStore::findUser(const QString& name) const {
    // A detected user's role is looked up on every request; any change of a user is a new
    // data version, so a kept reply is never stale.
    return FoundUser(m_database.client().ask(FindUserMessage(name), Reuse::WhileDataUnchanged));
}

QList<UserRecord> AccountStore::listUsers() const {
    return m_database.client()
        .ask(DataMessage(protocol::LIST_USERS), Reuse::WhileDataUnchanged)
        .as<QList<UserRecord>>(userList);
}

bool AccountStore::saveUser(const UserChange& change,
                            const std::optional<AuditEntry>& audit) const {
    return UserCreated(m_database.client().ask(SaveUserMessage(change, audit)));
}

SessionRecord AccountStore::openSession(const QString& key, const QString& user, qint64 idleSeconds,
                                        qint64 maxSeconds,
                                        const std::optional<AuditEntry>& audit) const {
    DataMessage m = sessionMessage(protocol::OPEN_SESSION, key);
    m.add(protocol::USER, user);
    m.add(protocol::IDLE_SECONDS, QString::number(std::max<qint64>(idleSeconds, 0)));
    m.add(protocol::MAX_SECONDS, QString::number(std::max<qint64>(maxSeconds, 0)));
    return sessionOf(m_database.client().ask(withAudit(std::move(m), audit)));
}

SessionRecord AccountStore::findSession(const QString& key) const {
    return m_database.client()
        .ask(sessionMessage(protocol::FIND_SESSION, key), Reuse::WhileDataUnchanged)
        .as<SessionRecord>(sessionOf);
}

SessionRecord AccountStore::touchSession(const QString& key) const {
    return sessionOf(m_database.client().ask(sessionMessage(protocol::TOUCH_SESSION, key)));
}

int AccountStore::closeSession(const QString& key, const std::optional<AuditEntry>& audit) const {
    return closeSessions(protocol::KEY, key, audit);
}

int AccountStore::closeSessionsOf(const QString& user,
                                  const std::optional<AuditEntry>& audit) const {
    return closeSessions(protocol::USER, user, audit);
}

int AccountStore::closeSessions(const char* element, const QString& value,
                                const std::optional<AuditEntry>& audit) const {
    DataMessage m(protocol::CLOSE_SESSION);
    m.add(element, value);
    return int(ChildNumber(m_database.client().ask(withAudit(std::move(m), audit)).root(),
                           protocol::COUNT));
}

void AccountStore::addAudit(const AuditEntry& entry) const {
    m_database.client().ask(withAudit(DataMessage(protocol::ADD_AUDIT), entry));
}

void AccountStore::addAudit(const QList<AuditEntry>& entries) const {
    DataMessage message(protocol::ADD_AUDIT);
    for (const AuditEntry& entry : entries)
        AddAudit(message, entry);
    m_database.client().ask(message);
}

RowSet AccountStore::readAudit(const TableRead& read) const {
    DataMessage m = TableReadMessage(protocol::READ_AUDIT, read);
    AddPaging(m, read.offset, read.limit);
    return m_database.client().ask(m, Reuse::WhileDataUnchanged).as<RowSet>(RowSetOf);
}

void AccountStore::exportAudit(const TableRead& read,
                               const std::function<void(const RowSet&)>& part) const {
    ExportRows(m_database.client(), TableReadMessage(protocol::READ_AUDIT, read), part);
}

} // namespace webapp
