#pragma once

#include <QString>

namespace webapp {

class DataMessage;

// What was done, by whom and from where: an entry of the audit trail, which the data server
// writes in the same transaction as the change it tells of.
struct AuditEntry {
    QString user;
    QString address;
    QString action;
    QString object;
    QString detail;
    QString recordKey; // "" for a write query: the id of the row it inserted, when it did
};

// Adds the entry to a message as its <Audit>.
void AddAudit(DataMessage& message, const AuditEntry& entry);

} // namespace webapp
