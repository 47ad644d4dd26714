#pragma once

#include "webapp/data/accountstore.h"
#include "webapp/data/dataclient.h"

#include <optional>

// The user messages of the data server (dbsvr/README.md) as requests and replies, for whoever
// sends them: the account store through the queue, a command through the data server's
// one-message mode.

namespace webapp {

// A user as a reply tells of it: a FindUser reply's root, or a user of a ListUsers reply.
UserRecord UserOf(const pugi::xml_node& node);

DataMessage FindUserMessage(const QString& name);
// The user a FindUser reply tells of; none when there is none of that name.
std::optional<UserRecord> FoundUser(const DataReply& reply);

// Adds the user (a role is needed then) or changes what change gives, with its audit entry.
DataMessage SaveUserMessage(const UserChange& change, const std::optional<AuditEntry>& audit);
// Whether the SaveUser its reply answers added the user.
bool UserCreated(const DataReply& reply);

} // namespace webapp
