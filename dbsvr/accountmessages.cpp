#include "dbsvr/accountmessages.h"

#include "common/xmlvalue.h"
#include "contract/protocol.h"
#include "dbsvr/replyxml.h"
#include "dbsvr/requesterror.h"
#include "dbsvr/requestxml.h"

#include <QDateTime>
#include <QRegularExpression>
#include <pugixml.hpp>

namespace dbsvr {

namespace protocol = dataserver::protocol;

namespace {

// The exact text of an element that may be left out: none when it is.
std::optional<QString> optionalValue(const pugi::xml_node& request, const char* name) {
    const pugi::xml_node node = request.child(name);
    if (!node)
        return std::nullopt;
    return common::ValueText(node);
}

std::optional<bool> optionalFlag(const pugi::xml_node& request, const char* name) {
    if (!request.child(name))
        return std::nullopt;
    const QString text = ChildText(request, name);
    if (IsTrue(text))
        return true;
    if (text.compare(QLatin1String(protocol::FALSE_TEXT), Qt::CaseInsensitive) == 0 ||
        text == QLatin1String("0"))
        return false;
    Fail(ERROR_INVALID_ARGUMENT, QString::fromLatin1(name) +
                                     QStringLiteral(" must be true or false, not ") + text +
                                     QLatin1Char('.'));
}

void addUser(pugi::xml_node node, const UserRecord& user, bool withHash) {
    AddText(node, protocol::NAME, user.name);
    if (withHash)
        AddText(node, protocol::HASH, user.hash);
    AddText(node, protocol::ROLE, user.role);
    AddText(node, protocol::DISABLED, BoolText(user.disabled));
    if (!withHash)
        AddText(node, protocol::HAS_PASSWORD, BoolText(!user.hash.isEmpty()));
    AddText(node, protocol::CREATED, user.created);
    AddText(node, protocol::CHANGED, user.changed);
}

void addSession(pugi::xml_node reply, const SessionRecord& session) {
    AddText(reply, protocol::FOUND, BoolText(session.found));
    AddText(reply, protocol::USER, session.user);
    AddNumber(reply, protocol::CREATED, session.created);
    AddNumber(reply, protocol::LAST_SEEN, session.lastSeen);
    AddText(reply, protocol::ROLE, session.role);
    AddText(reply, protocol::DISABLED, BoolText(session.disabled));
}

void findUser(const Accounts& accounts, const pugi::xml_node& request, pugi::xml_node reply) {
    const std::optional<UserRecord> user = accounts.findUser(ChildValue(request, protocol::NAME));
    AddText(reply, protocol::FOUND, BoolText(user.has_value()));
    addUser(reply, user.value_or(UserRecord()), true);
}

void listUsers(const Accounts& accounts, const pugi::xml_node&, pugi::xml_node reply) {
    pugi::xml_node users = reply.append_child(protocol::USERS);
    for (const UserRecord& user : accounts.users())
        addUser(users.append_child(protocol::USER), user, false);
}

void saveUser(const Accounts& accounts, const pugi::xml_node& request, pugi::xml_node reply) {
    const UserChange change{
        ChildValue(request, protocol::NAME), optionalValue(request, protocol::HASH),
        optionalValue(request, protocol::ROLE), optionalFlag(request, protocol::DISABLED)};
    AddText(reply, protocol::CREATED, BoolText(accounts.saveUser(change, ReadAuditEntry(request))));
}

void openSession(const Accounts& accounts, const pugi::xml_node& request, pugi::xml_node reply) {
    const SessionLimits limits{ReadCount(request, protocol::IDLE_SECONDS, 0),
                               ReadCount(request, protocol::MAX_SECONDS, 0)};
    addSession(reply, accounts.openSession(ChildValue(request, protocol::KEY),
                                           ChildValue(request, protocol::USER), limits,
                                           ReadAuditEntry(request)));
}

void findSession(const Accounts& accounts, const pugi::xml_node& request, pugi::xml_node reply) {
    addSession(reply, accounts.findSession(ChildValue(request, protocol::KEY)));
}

void touchSession(const Accounts& accounts, const pugi::xml_node& request, pugi::xml_node reply) {
    addSession(reply, accounts.touchSession(ChildValue(request, protocol::KEY)));
}

void closeSession(const Accounts& accounts, const pugi::xml_node& request, pugi::xml_node reply) {
    const bool byKey = request.child(protocol::KEY);
    if (byKey == bool(request.child(protocol::USER)))
        Fail(ERROR_INVALID_ARGUMENT,
             QStringLiteral("CloseSession takes either a Key or a User, not both or neither."));
    const std::optional<AuditEntry> audit = ReadAuditEntry(request);
    AddNumber(reply, protocol::COUNT,
              byKey ? accounts.closeSession(ChildValue(request, protocol::KEY), audit)
                    : accounts.closeSessionsOf(ChildValue(request, protocol::USER), audit));
}

void addAudit(const Accounts& accounts, const pugi::xml_node& request, pugi::xml_node) {
    const QList<AuditEntry> entries = ReadAuditEntries(request);
    if (entries.isEmpty())
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("AddAudit needs an Audit."));
    accounts.addAudit(entries);
}

using Answer = void (*)(const Accounts&, const pugi::xml_node&, pugi::xml_node);

struct AccountMessage {
    const char* request;
    const char* reply;
    Answer answer;
};

const AccountMessage MESSAGES[] = {
    {protocol::FIND_USER, protocol::USER, findUser},
    {protocol::LIST_USERS, protocol::USERS, listUsers},
    {protocol::SAVE_USER, protocol::USER_SAVED, saveUser},
    {protocol::OPEN_SESSION, protocol::SESSION, openSession},
    {protocol::FIND_SESSION, protocol::SESSION, findSession},
    {protocol::TOUCH_SESSION, protocol::SESSION, touchSession},
    {protocol::CLOSE_SESSION, protocol::SESSION_CLOSED, closeSession},
    {protocol::ADD_AUDIT, protocol::AUDIT_ADDED, addAudit}};

const AccountMessage* find(const QString& kind) {
    for (const AccountMessage& message : MESSAGES)
        if (kind.compare(QLatin1String(message.request), Qt::CaseInsensitive) == 0)
            return &message;
    return nullptr;
}

} // namespace

const char* AccountReplyType(const QString& kind) {
    const AccountMessage* message = find(kind);
    return message ? message->reply : nullptr;
}

void AnswerAccountMessage(const Accounts& accounts, const QString& kind,
                          const pugi::xml_node& request, pugi::xml_node reply) {
    if (const AccountMessage* message = find(kind))
        message->answer(accounts, request, reply);
}

namespace {
AuditEntry auditEntry(const pugi::xml_node& audit) {
    return AuditEntry{
        ChildValue(audit, protocol::USER),         ChildValue(audit, protocol::ADDRESS),
        ChildValue(audit, protocol::ACTION),       ChildValue(audit, protocol::OBJECT),
        ChildValue(audit, protocol::DETAIL),       ChildValue(audit, protocol::RECORD_KEY),
        AuditTime(ChildValue(audit, protocol::AT))};
}
} // namespace

std::optional<AuditEntry> ReadAuditEntry(const pugi::xml_node& request) {
    const pugi::xml_node audit = request.child(protocol::AUDIT);
    if (!audit)
        return std::nullopt;
    return auditEntry(audit);
}

QList<AuditEntry> ReadAuditEntries(const pugi::xml_node& request) {
    QList<AuditEntry> entries;
    for (const pugi::xml_node& audit : request.children(protocol::AUDIT))
        entries.append(auditEntry(audit));
    return entries;
}

QString AuditTime(const QString& text) {
    if (text.isEmpty())
        return {};
    // Only the form the trail is kept in, so that the trail sorts and filters as text.
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    if (!form.match(text).hasMatch() ||
        !QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid())
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("An Audit's At must be a UTC time "
                                                    "YYYY-MM-DD HH:MM:SS, not ") +
                                         text + QLatin1Char('.'));
    return text;
}

} // namespace dbsvr
