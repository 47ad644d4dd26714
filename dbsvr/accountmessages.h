#pragma once

#include "dbsvr/accounts.h"

#include <QString>
#include <optional>

namespace pugi {
class xml_node;
}

// The account messages of the data server (dbsvr/README.md): FindUser, ListUsers, SaveUser,
// OpenSession, FindSession, TouchSession, CloseSession and AddAudit.

namespace dbsvr {

// The Type of the reply to a request of type kind (any letter case); nullptr when kind is not
// an account message.
const char* AccountReplyType(const QString& kind);

// Answers a request of type kind on accounts: adds what the reply tells to reply, whose Type is
// set already. Raises RequestError (InvalidArgument for what the request says wrongly) and
// common::Error (the database's failures).
void AnswerAccountMessage(const Accounts& accounts, const QString& kind,
                          const pugi::xml_node& request, pugi::xml_node reply);

// The <Audit> of a request; none when it has none.
std::optional<AuditEntry> ReadAuditEntry(const pugi::xml_node& request);
// Every <Audit> of the request, in order (AddAudit writes several at once).
QList<AuditEntry> ReadAuditEntries(const pugi::xml_node& request);
// The At of an Audit: "" (now), or a UTC "YYYY-MM-DD HH:MM:SS"; RequestError InvalidArgument
// for anything else.
QString AuditTime(const QString& text);

} // namespace dbsvr
